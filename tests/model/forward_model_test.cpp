#include "forward_model.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "layer_kernel.h"
#include "layered_oracle.h"

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

// Regression: integrating the whole integrand with the Fourier-type quadrature put the half-space
// 1.1 % too deep at 45 cm and up to 2 % at 75 to 165 cm (odd offset-to-radius ratios). Here the
// remainder is rounding noise only; the quadrature must stop on it rather than run its table out.
TEST(ForwardModel, IdenticalBondedLayersEqualTheHalfSpace) {
  Pavement p;
  p.modulus = {1500, 1500, 1500, 1500};
  p.poisson = {0.4, 0.4, 0.4, 0.4};
  p.thickness = {12, 25, 40, 0};
  p.slip = {0, 0, 0, 0};
  p.offsets.push_back(165);
  ModelState state;
  expect_relative(p.deflections(state), boussinesq_basin(p, 0.4, 1500), p.offsets, 1e-9);
  EXPECT_GE(state.de_error, 0.0) << "the quadrature ran its table out";
}

// The layers of p as the independent solution takes them: moduli in MPa, thicknesses over the plate
// radius, each interface's spring compliance as the model defines it from the slip rate. A layer
// is not split (that solution has no growing exponentials), except a slipping layer 1 thicker than
// 1 m, whose sublayers the model joins by springs: 250 cm becomes three of 250/3 cm.
std::vector<oracle::Layer> oracle_layers(const Pavement& p, double frictionless_slip = 2) {
  std::vector<oracle::Layer> layers;
  std::vector<double> slip;  // of the interface at each layer's bottom
  for (std::size_t i = 0; i < p.modulus.size(); ++i) {
    const bool split = i == 0 && p.slip[0] > 0 && p.thickness[0] > 100;
    const int parts = split ? static_cast<int>(std::ceil(p.thickness[0] / 100)) : 1;
    for (int q = 0; q < parts; ++q) {
      layers.push_back(
          {p.modulus[i] * 0.0981L, p.poisson[i], p.thickness[i] / parts / p.radius, 0});
      slip.push_back(i + 1 < p.modulus.size() ? p.slip[i] : 0);
    }
  }
  for (std::size_t i = 1; i < layers.size(); ++i) {
    const oracle::Real s = slip[i - 1];
    const oracle::Real sum = (1 + layers[i].poisson) / layers[i].modulus +
                             (1 + layers[i - 1].poisson) / layers[i - 1].modulus;
    layers[i].compliance =
        s == frictionless_slip ? std::numeric_limits<oracle::Real>::infinity() : s / (1 - s) * sum;
  }
  return layers;
}

// Deflections (cm) of p from the independent solution; a slip rate equal to frictionless_slip
// stands for a frictionless interface.
std::vector<double> oracle_basin(const Pavement& p, double frictionless_slip = 2) {
  std::vector<oracle::Real> rho;
  for (double r : p.offsets) rho.push_back(r / p.radius);
  const oracle::Real q = p.load * 9.81e-6L / (kPi * 0.0001L * p.radius * p.radius);  // MPa
  const std::vector<oracle::Real> w =
      oracle::surface_deflections(oracle_layers(p, frictionless_slip), rho, q);
  std::vector<double> cm;
  for (oracle::Real x : w) cm.push_back(static_cast<double>(x * p.radius));
  return cm;
}

// Regression: the remainder was integrated through the kernel's rounding noise up to where it
// overflowed, and the quadrature stopped at eps = 1e-6 while its estimate said "met": relative
// errors of 2e-6 on a split 2.5 m layer, 1e-5 at a modulus ratio of 1000 and 6e-5 with four
// slipping interfaces.
// Bonded and slipping pavements of 2 to 5 layers, a 2 cm top, 2.5 m layers (split into three),
// modulus ratios of 1000 both ways, slip rates 0.5 to 0.9999, offsets 0 to 250 cm: the model agrees
// with the independent solution to 1e-8, and the quadrature's own error estimate covers the error.
TEST(ForwardModel, AgreesWithAnIndependentLayeredSolution) {
  struct Case {
    const char* name;
    Pavement p;
  };
  // clang-format off
  const Case cases[] = {
    {"2 layers, bonded",        {{30000, 1000},               {0.35, 0.4},               {20, 0},           {0, 0}}},
    {"2 layers, slip 0.9999",   {{30000, 1000},               {0.35, 0.4},               {20, 0},           {0.9999, 0}}},
    {"3 layers, slip 0.5, 0.9", {{40000, 2000, 800},          {0.35, 0.35, 0.4},         {15, 30, 0},       {0.5, 0.9, 0}}},
    {"4 layers, two springs",   {{50000, 30000, 1500, 600},   {0.35, 0.35, 0.4, 0.45},   {5, 10, 25, 0},    {0.9, 0, 0.5, 0}}},
    {"5 layers, slip 0.1 x 4",  {{40000, 30000, 20000, 3000, 800}, {0.35, 0.35, 0.35, 0.35, 0.4}, {5, 10, 20, 40, 0}, {0.1, 0.1, 0.1, 0.1, 0}}},
    {"2 cm top on a stiff base",{{10000, 200000, 1000},       {0.35, 0.25, 0.4},         {2, 20, 0},        {0, 0, 0}}},
    {"2.5 m layer, slip",       {{30000, 1500, 500},          {0.35, 0.4, 0.45},         {10, 250, 0},      {0.5, 0.2, 0}}},
    {"2.5 m top, slip 0.1",     {{20000, 1000},               {0.35, 0.4},               {250, 0},          {0.1, 0}}},
    {"1000 : 1",                {{100000, 100, 50},           {0.35, 0.4, 0.45},         {10, 30, 0},       {0, 0, 0}}},
    {"1 : 1000",                {{100, 100000, 500},          {0.45, 0.25, 0.4},         {10, 30, 0},       {0.9, 0, 0}}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pavement p = c.p;
    p.offsets = {0, 15, 20, 30, 45, 60, 90, 120, 150, 200, 250};
    const std::vector<double> expected = oracle_basin(p);
    expect_relative(p.deflections(), expected, p.offsets, 1e-8);
    for (std::size_t s = 0; s < p.offsets.size(); ++s) {
      Pavement single = p;
      single.offsets = {p.offsets[s]};
      ModelState state;
      const double w = single.deflections(state)[0];
      const double estimate = std::fabs(state.de_error) * state.values.radius_m * 100;
      EXPECT_GE(state.de_error, 0.0) << "the quadrature ran its table out";
      EXPECT_LE(std::fabs(w - expected[s]), estimate) << "offset " << p.offsets[s] << " cm";
    }
  }
}

// Two basins from an independent solver (50 kN on a 15 cm plate; micrometres). The model gets the
// moduli and load in its own units chosen so that its MPa and MN are exactly these.
TEST(ForwardModel, ReferenceBasins) {
  struct Case {
    const char* name;
    Pavement p;
    std::vector<double> micrometres;
  };
  // clang-format off
  const Case cases[] = {
    {"3 layers, slip 0.99289583033396056",
     {{5000, 300, 60}, {0.35, 0.35, 0.40}, {15, 30, 0}, {0.99289583033396056, 0, 0},
      {0, 20, 30, 45, 60, 90, 120, 150}},
     {653.16723907522805, 578.63781872066045, 525.18546561261007, 449.08891491257549,
      381.77213294960683, 276.75055821156826, 205.71053347218842, 158.94378820346051}},
    {"2.5 m layer 2, bonded",
     {{4000, 200, 80}, {0.35, 0.35, 0.40}, {10, 250, 0}, {0, 0, 0},
      {0, 10, 15, 20, 30, 45, 60, 75, 90, 105, 120, 135, 150, 165, 180, 210, 250}},
     {496.5625145009206, 460.02873194825753, 415.60623287325268, 367.23709564035374,
      289.0287957334321, 208.61198667793076, 161.30580274403442, 133.32918672248778,
      115.78441789009581, 103.84624619971017, 95.059172454100121, 88.17911630232858,
      82.549235033505937, 77.796634025681954, 73.691582241081477, 66.862698278599794,
      59.664544727982616}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pavement p = c.p;
    for (double& e : p.modulus) e /= 0.0981;
    p.load = 0.05 / 9.81e-6;
    std::vector<double> expected;
    for (double um : c.micrometres) expected.push_back(um * 1e-4);
    expect_relative(p.deflections(), expected, p.offsets, 1e-8);
    expect_relative(oracle_basin(p), expected, p.offsets, 1e-12);  // the test's own solution
  }
}

// Burmister's two-layer deflection factor under the centre of the plate, F2 = w0 E2 / (1.5 q a),
// nu1 = nu2 = 0.5, bonded. The values are six digits of Burmister's solution computed with Love's
// stress function per layer and one linear system per wavenumber (the method of layered_oracle.h,
// whose oracle_basin gives every one of them to within half a unit of the last digit).
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

// Regression: slip (0.1 on four interfaces of a 5-layer pavement, or on a 2.5 m top layer) gave
// infinite kernel values, the chain product's minors cancelling to 0, and no finite deflection.
// Slip raises the central deflection, finite up to a slip rate of 0.99999999, and the basin tends
// to that of a frictionless interface (the independent solution with an infinite compliance).
TEST(ForwardModel, SlipRisesMonotonicallyToTheFrictionlessLimit) {
  Pavement p = three_layers();
  p.offsets = {0, 30, 90};
  double previous = 0;
  std::vector<double> w;
  for (double s : {0.0, 0.25, 0.5, 0.9, 0.99, 0.9999, 0.999999, 0.99999999}) {
    p.slip[0] = s;
    w = p.deflections();
    for (double x : w) EXPECT_TRUE(std::isfinite(x)) << "slip " << s;
    EXPECT_GT(w[0], previous) << "slip " << s;
    previous = w[0];
  }
  expect_relative(w, oracle_basin(p, p.slip[0]), p.offsets, 1e-7);
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

// Regression: on a state that no call had set up, compute_deflection_at_point read empty arrays.
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

// The fast path keeps the table, the Bessel values and decay factors of a run and the kernel values
// of a call; none of that may change a bit, also when the moduli change from call to call, the
// layers within a run, and the run.
TEST(ForwardModel, FastPathIsBitIdenticalToTheStraightforwardOne) {
  Pavement three = three_layers();
  three.offsets = {0, 20, 30, 45, 60, 90, 120, 150};
  Pavement four;
  four.modulus = {50000, 30000, 1500, 600};
  four.poisson = {0.35, 0.35, 0.4, 0.45};
  four.thickness = {5, 10, 25, 0};
  four.slip = {0.9, 0, 0.5, 0};
  Pavement thicker = four;  // the same run: offsets and plate kept, the decay factors not
  thicker.thickness = {6, 10, 25, 0};
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
  const Pavement* runs[] = {
      &three, &four, &thicker, &deep, &three, &other_plate, &one, &uniform, &three};
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
