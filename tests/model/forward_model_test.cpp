#include "forward_model.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "layer_kernel.h"

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

// Gauss-Legendre nodes and weights of order n on [-1, 1], by Newton's iteration on P_n.
struct GaussLegendre {
  std::vector<double> x, w;
  explicit GaussLegendre(int n) {
    for (int i = 1; i <= n; ++i) {
      double z = std::cos(kPi * (i - 0.25) / (n + 0.5));
      double dp = 0;
      for (int it = 0; it < 100; ++it) {
        double p0 = 1, p1 = z;
        for (int k = 2; k <= n; ++k) {
          const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
          p0 = p1;
          p1 = p2;
        }
        dp = n * (z * p1 - p0) / (z * z - 1);
        const double dz = p1 / dp;
        z -= dz;
        if (std::fabs(dz) < 1e-16) break;
      }
      x.push_back(z);
      w.push_back(2 / ((1 - z * z) * dp * dp));
    }
  }
};

// The deflections of p by composite Gauss-Legendre panels over the same kernel: the integrand less
// its half-space part (the first sublayer's material), from 0 to m_max, plus Boussinesq. Panels are
// a quarter of pi / (4 rho_max): that resolves J0(rho m) at the farthest sensor, and the kernel of
// a deep structure, which varies on the scale of plate radius over depth near m = 0.
std::vector<double> panel_oracle(const Pavement& p, double m_max) {
  ModelState state;
  p.deflections(state);  // sets up the sublayers, compliances and load values
  const ModelLayers& layers = state.layers;
  const double a = p.radius;
  const double e1 = p.modulus[0] * 0.0981;  // MPa, as the kernel has it
  const double nu1 = p.poisson[0];
  const double q = state.values.contact_pressure;
  double rho_max = 0;
  for (double r : p.offsets) rho_max = std::max(rho_max, r / a);
  const double width_limit = kPi / (16 * rho_max);
  const int panels = static_cast<int>(std::ceil(m_max / width_limit));
  const double width = m_max / panels;
  const GaussLegendre gl(8);

  std::vector<double> sums(p.offsets.size(), 0.0);
  ModelLayers work = layers;
  for (int k = 0; k < panels; ++k) {
    const double centre = (k + 0.5) * width;
    for (std::size_t g = 0; g < gl.x.size(); ++g) {
      const double m = centre + 0.5 * width * gl.x[g];
      const double load = -q * ::j1(m) / m;
      const double response = layer_system_response(work, state.values, m, load);
      const double halfspace = 2 * (1 - nu1 * nu1) * q * ::j1(m) / (e1 * m);
      for (std::size_t s = 0; s < p.offsets.size(); ++s) {
        const double j0 = ::j0(p.offsets[s] / a * m);
        const double kernel = j0 * response * m;
        if (std::isnan(kernel)) continue;  // overflow of thick sublayers, long after decay
        sums[s] += 0.5 * width * gl.w[g] * (kernel - halfspace * j0);
      }
    }
  }
  std::vector<double> w = boussinesq_basin(p, nu1, p.modulus[0]);
  for (std::size_t s = 0; s < w.size(); ++s) w[s] += sums[s] * a;
  return w;
}

// Bonded pavements agree to about 1e-10. With slip the quadrature often accepts its second level
// (the two levels agree to sqrt(0.1 eps) = 3e-4 of the sum of magnitudes), which leaves up to about
// 5e-7 of the deflection: there the bound is the quadrature's requested accuracy eps = 1e-6, and
// the error must also lie within the quadrature's own estimate.
TEST(ForwardModel, AgreesWithGaussLegendrePanels) {
  struct Case {
    const char* name;
    Pavement p;
    double tolerance;
  };
  // clang-format off
  const Case cases[] = {
    {"2 layers, bonded",   {{30000, 1000},             {0.35, 0.4},             {20, 0},        {0, 0}},          1e-7},
    {"2 layers, slip",     {{30000, 1000},             {0.35, 0.4},             {20, 0},        {0.5, 0}},        1e-6},
    {"3 layers, bonded",   {{40000, 2000, 800},        {0.35, 0.35, 0.4},       {15, 30, 0},    {0, 0, 0}},       1e-7},
    {"3 layers, slip",     {{40000, 2000, 800},        {0.35, 0.35, 0.4},       {15, 30, 0},    {0.3, 0.6, 0}},   1e-6},
    {"4 layers, bonded",   {{50000, 30000, 1500, 600}, {0.35, 0.35, 0.4, 0.45}, {5, 10, 25, 0}, {0, 0, 0, 0}},    1e-7},
    {"4 layers, slip",     {{50000, 30000, 1500, 600}, {0.35, 0.35, 0.4, 0.45}, {5, 10, 25, 0}, {0.9, 0, 0.5, 0}}, 1e-6},
    {"2.5 m layer, bonded",{{30000, 1500, 500},        {0.35, 0.4, 0.45},       {10, 250, 0},   {0, 0, 0}},       1e-7},
    {"2.5 m layer, slip",  {{30000, 1500, 500},        {0.35, 0.4, 0.45},       {10, 250, 0},   {0.4, 0.2, 0}},   1e-6},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The remainder decays like exp(-2 m h1 / a); stop where that is below 1e-20.
    const double m_max = 23 * c.p.radius / c.p.thickness[0];
    const std::vector<double> expected = panel_oracle(c.p, m_max);
    expect_relative(c.p.deflections(), expected, c.p.offsets, c.tolerance);
    for (std::size_t s = 0; s < c.p.offsets.size(); ++s) {
      Pavement single = c.p;
      single.offsets = {c.p.offsets[s]};
      ModelState state;
      const double w = single.deflections(state)[0];
      const double estimate = std::fabs(state.de_error) * state.values.radius_m * 100;
      EXPECT_LE(std::fabs(w - expected[s]), estimate) << "offset " << c.p.offsets[s] << " cm";
    }
  }
}

// Burmister's two-layer deflection factor under the centre of the plate, F2 = w0 E2 / (1.5 q a),
// nu1 = nu2 = 0.5, bonded; values from an independent layered-elastic solver.
TEST(ForwardModel, BurmisterTwoLayerFactors) {
  struct Case {
    double h1_over_a;
    double e1_over_e2;
    double f2;
  };
  // clang-format off
  const Case cases[] = {
    {1.0,   2, 0.789578}, {1.0,   5, 0.598461}, {1.0,  10, 0.486473}, {1.0,  20, 0.393290},
    {1.0,  50, 0.294240}, {1.0, 100, 0.235050}, {2.0,   5, 0.416845}, {2.0,  50, 0.161603},
    {0.5,  10, 0.737945},
  };
  // clang-format on
  for (const Case& c : cases) {
    Pavement p;
    p.modulus = {1000 * c.e1_over_e2, 1000};
    p.poisson = {0.5, 0.5};
    p.thickness = {c.h1_over_a * p.radius, 0};
    p.slip = {0, 0};
    p.offsets = {0};
    const double q = p.load / (kPi * p.radius * p.radius);
    const double f2 = p.deflections()[0] * 1000 / (1.5 * q * p.radius);
    EXPECT_NEAR(f2, c.f2, 1e-5) << "h1/a " << c.h1_over_a << ", E1/E2 " << c.e1_over_e2;
  }
}

Pavement three_layers() {
  Pavement p;
  p.modulus = {40000, 2000, 800};
  p.poisson = {0.35, 0.35, 0.4};
  p.thickness = {15, 30, 0};
  p.slip = {0.2, 0.4, 0};
  return p;
}

TEST(ForwardModel, ScalesWithModuliAndLoad) {
  const Pavement base = three_layers();
  const std::vector<double> w = base.deflections();

  Pavement stiffer = base;
  for (double& e : stiffer.modulus) e *= 2;
  std::vector<double> half = w;
  for (double& x : half) x /= 2;
  expect_relative(stiffer.deflections(), half, base.offsets, 1e-9);

  stiffer.load *= 2;
  expect_relative(stiffer.deflections(), w, base.offsets, 1e-9);
}

TEST(ForwardModel, SlipRaisesTheCentralDeflection) {
  Pavement p = three_layers();
  p.offsets = {0};
  double previous = 0;
  for (double s : {0.0, 0.25, 0.5, 0.75, 0.9, 0.95, 0.99}) {
    p.slip[0] = s;
    const double w0 = p.deflections()[0];
    EXPECT_GT(w0, previous) << "slip " << s;
    previous = w0;
  }
}

// How the model splits layers thicker than 1 m, and where their slip goes.
TEST(ForwardModel, SplitsThickLayers) {
  struct Case {
    const char* name;
    std::vector<double> thickness_cm;  // finite layers
    std::vector<double> sublayer_m;    // expected sublayer thicknesses
    std::vector<double> sublayer_slip;
  };
  const double third = 2.5 / 3;
  // clang-format off
  const Case cases[] = {
    {"1.0 m stays whole",            {20, 100},       {0.2, 1.0},                    {0.1, 0.2}},
    {"1.00005 m stays whole",        {20, 100.005},   {0.2, 1.00005},                {0.1, 0.2}},
    {"2.0 m: two of 1.0 m",          {20, 200},       {0.2, 1.0, 1.0},               {0.1, 0, 0.2}},
    {"2.5 m: three of 2.5/3 m",      {20, 250},       {0.2, third, third, third},    {0.1, 0, 0, 0.2}},
    {"2.00005 m: two halves",        {20, 200.005},   {0.2, 1.000025, 1.000025},     {0.1, 0, 0.2}},
    {"2.0 in single: two of 1.0 m",  {20, 200.000001},{0.2, 1.0, 1.0},               {0.1, 0, 0.2}},
    {"split layer 1 keeps its slip", {300, 20},       {1.0, 1.0, 1.0, 0.2},          {0.1, 0.1, 0.1, 0.2}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pavement p;
    p.modulus = {30000, 2000, 700};
    p.poisson = {0.35, 0.4, 0.45};
    p.thickness = {c.thickness_cm[0], c.thickness_cm[1], 0};
    p.slip = {0.1, 0.2, 0};
    ModelState state;
    p.deflections(state);
    const ModelLayers& layers = state.layers;
    const std::size_t n = c.sublayer_m.size();
    ASSERT_EQ(layers.n_model_layers, static_cast<int>(n + 1));
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_NEAR(layers.sublayer_thickness[i], c.sublayer_m[i], 1e-15) << "sublayer " << i + 1;
      EXPECT_EQ(layers.sublayer_slip[i], c.sublayer_slip[i]) << "sublayer " << i + 1;
    }
    EXPECT_EQ(layers.sublayer_modulus[n], 700 * 0.0981);
    EXPECT_EQ(layers.sublayer_poisson[n], 0.45);
  }
}

TEST(ForwardModel, BondedSystemHasNoCompliance) {
  Pavement p = three_layers();
  p.slip = {0, 0, 0};
  ModelState state;
  p.deflections(state);
  for (double k : state.layers.sublayer_compliance) EXPECT_EQ(k, 0.0);

  Pavement one;
  one.modulus = {900};
  one.poisson = {0.4};
  one.thickness = {0};
  one.slip = {0};
  one.deflections(state);
  EXPECT_EQ(state.layers.n_model_layers, 1);
  EXPECT_EQ(state.layers.sublayer_compliance[0], 0.0);
}

TEST(ForwardModel, NoSensorsLeavesTheOutputAlone) {
  Pavement p = three_layers();
  ModelInputs inputs = p.inputs();
  inputs.n_sensors = 0;
  std::vector<double> d = {-7.0, -8.0};
  ModelState state;
  compute_deflections(state, inputs, p.modulus, d);
  EXPECT_EQ(d, (std::vector<double>{-7.0, -8.0}));
  compute_deflections_uncached(state, inputs, p.modulus, d);
  EXPECT_EQ(d, (std::vector<double>{-7.0, -8.0}));
}

TEST(ForwardModel, DeflectionAtPointIsTheLastSensorOfTheLatestCall) {
  double w = -1;
  ModelState fresh;
  compute_deflection_at_point(fresh, w);
  EXPECT_EQ(w, 0.0);

  const Pavement p = three_layers();
  ModelState state;
  const std::vector<double> d = p.deflections(state);
  compute_deflection_at_point(state, w);
  EXPECT_EQ(w, d.back());
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The fast path keeps the table, the Bessel values of a run and the kernel values of a call; none
// of that may change a bit, also when the moduli change from call to call and the run changes.
TEST(ForwardModel, FastPathIsBitIdenticalToTheStraightforwardOne) {
  Pavement three = three_layers();
  three.offsets = {0, 20, 30, 45, 60, 90, 120, 150};
  Pavement four;
  four.modulus = {50000, 30000, 1500, 600};
  four.poisson = {0.35, 0.35, 0.4, 0.45};
  four.thickness = {5, 10, 25, 0};
  four.slip = {0.9, 0, 0.5, 0};
  Pavement deep;
  deep.modulus = {30000, 1500, 500};
  deep.poisson = {0.35, 0.4, 0.45};
  deep.thickness = {10, 300, 0};
  deep.slip = {0, 0.2, 0};
  Pavement other_plate = three;
  other_plate.radius = 10;
  Pavement one;
  one.modulus = {900};
  one.poisson = {0.4};
  one.thickness = {0};
  one.slip = {0};
  Pavement uniform;  // a remainder that is only rounding noise
  uniform.modulus = {1500, 1500, 1500};
  uniform.poisson = {0.4, 0.4, 0.4};
  uniform.thickness = {12, 25, 0};
  uniform.slip = {0, 0, 0};

  ModelState fast;
  ModelState plain;
  const Pavement* runs[] = {&three, &four, &three, &deep, &other_plate, &one, &uniform, &three};
  int call = 0;
  for (const Pavement* run : runs) {
    Pavement p = *run;
    for (int k = 0; k < 4; ++k, ++call) {
      // Moduli as a Gauss-Newton run moves them: one perturbed at a time, then all.
      if (k > 0) p.modulus[(k - 1) % p.modulus.size()] *= 1.01 + 0.1 * k;
      std::vector<double> a(p.offsets.size()), b(p.offsets.size());
      compute_deflections(fast, p.inputs(), p.modulus, a);
      compute_deflections_uncached(plain, p.inputs(), p.modulus, b);
      for (std::size_t s = 0; s < a.size(); ++s) {
        EXPECT_EQ(bits(a[s]), bits(b[s]))
            << "call " << call << ", offset " << p.offsets[s] << ": " << a[s] << " vs " << b[s];
      }
      EXPECT_EQ(bits(fast.de_result), bits(plain.de_result)) << "call " << call;
    }
  }
}

}  // namespace
}  // namespace orva
