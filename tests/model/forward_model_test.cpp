#include "forward_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orva {
namespace {

constexpr double kPi = 3.141592653589793;

// A pavement as the input reader hands it over (engine units: cm, kgf, kgf/cm2).
struct Pavement {
  std::vector<double> modulus;
  std::vector<double> poisson;
  std::vector<double> thickness;  // n_layers entries, last unused
  std::vector<double> slip;       // n_layers entries, last unused
  std::vector<double> offsets = {0, 15, 20, 30, 45, 60, 75, 90, 120, 150};
  double load = 4900;  // kgf
  double radius = 15;  // cm

  ModelInputs inputs() const {
    return ModelInputs{static_cast<int>(modulus.size()),
                       static_cast<int>(offsets.size()),
                       poisson,
                       thickness,
                       slip,
                       offsets,
                       load,
                       radius};
  }
  std::vector<double> deflections(ModelState& state) const {
    std::vector<double> d(offsets.size());
    compute_deflections(state, inputs(), modulus, d);
    return d;
  }
  std::vector<double> deflections() const {
    ModelState state;
    return deflections(state);
  }
};

// Boussinesq's half-space under a uniform circular load (pressure q over radius a), surface
// deflection at distance r; written here in the engine's units (kgf/cm2 and cm).
double boussinesq(double q, double a, double r, double nu, double e) {
  const double f = 4 * (1 - nu * nu) * q / (kPi * e);
  if (r <= a) return f * a * std::comp_ellint_2(r / a);
  return f * r * (std::comp_ellint_2(a / r) - (1 - a * a / (r * r)) * std::comp_ellint_1(a / r));
}

std::vector<double> boussinesq_basin(const Pavement& p, double nu, double e) {
  const double q = p.load / (kPi * p.radius * p.radius);
  std::vector<double> w;
  for (double r : p.offsets) w.push_back(boussinesq(q, p.radius, r, nu, e));
  return w;
}

void expect_relative(const std::vector<double>& actual,
                     const std::vector<double>& expected,
                     const std::vector<double>& offsets,
                     double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i] / expected[i], 1.0, tolerance)
        << "offset " << offsets[i] << " cm: actual " << actual[i] << ", expected " << expected[i];
  }
}

TEST(ForwardModel, SingleLayerIsTheExactHalfSpace) {
  for (double nu : {0.35, 0.5}) {
    SCOPED_TRACE("nu = " + std::to_string(nu));
    Pavement p;
    p.modulus = {1200};
    p.poisson = {nu};
    p.thickness = {0};
    p.slip = {0};
    expect_relative(p.deflections(), boussinesq_basin(p, nu, 1200), p.offsets, 1e-12);
  }
}

TEST(ForwardModel, IdenticalBondedLayersEqualTheHalfSpace) {
  Pavement p;
  p.modulus = {1500, 1500, 1500, 1500};
  p.poisson = {0.4, 0.4, 0.4, 0.4};
  p.thickness = {12, 25, 40, 0};
  p.slip = {0, 0, 0, 0};
  expect_relative(p.deflections(), boussinesq_basin(p, 0.4, 1500), p.offsets, 1e-9);
}

}  // namespace
}  // namespace orva
