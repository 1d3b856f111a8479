#include "de_quadrature.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orva {
namespace {

constexpr double kPi = 3.141592653589793;

std::vector<double> table(double eps) {
  std::vector<double> aw(kDeTableLength);
  de_oscillatory_init(kDeTableLength, kDeTiny, eps, aw);
  return aw;
}

std::vector<double> engine_table() { return table(kDeEps); }

// The layout for eps = 1e-6, whose counts are small enough to write down.
TEST(DeQuadrature, TableLayout) {
  const std::vector<double> aw = table(1e-6);
  EXPECT_EQ(aw[0], 8084);  // lenawm
  EXPECT_EQ(aw[1], 7);     // nk0
  EXPECT_EQ(aw[2], 63);    // nk: 21 nodes per block
  EXPECT_EQ(aw[3], 100);   // lmax
  EXPECT_EQ(aw[4], 1e-6);
  EXPECT_DOUBLE_EQ(aw[5], std::sqrt(1e-7));
  // Binomial coefficients of order 6 and their cumulative sums, scaled by pi / 2^6, stored from the
  // end of the header backwards as (sum, coefficient) pairs.
  // clang-format off
  const double pairs[7][2] = {{64, 1}, {63, 6}, {57, 15}, {42, 20}, {22, 15}, {7, 6}, {1, 1}};
  // clang-format on
  for (int q = 0; q < 7; ++q) {
    EXPECT_DOUBLE_EQ(aw[6 + 2 * q], pairs[q][0] * kPi / 64) << "pair " << q;
    EXPECT_DOUBLE_EQ(aw[7 + 2 * q], pairs[q][1] * kPi / 64) << "pair " << q;
  }
  EXPECT_EQ(aw[22], 1.5707963267948966);  // weight of the central node
  // The block of t = 1 holds 20 nodes, its last slot stays empty; the block of t = 1/2 follows.
  EXPECT_GT(aw[20 + 3 * 20], 0.0);
  EXPECT_EQ(aw[20 + 3 * 21], 0.0);
  EXPECT_GT(aw[20 + 63 + 3], 0.0);
}

TEST(DeQuadrature, KnownOscillatoryIntegrals) {
  const std::vector<double> aw = engine_table();
  struct Case {
    const char* name;
    double (*f)(double);
    double omega;
    double expected;
    double tolerance;
  };
  // clang-format off
  const Case cases[] = {
    {"sin x / x",          [](double x) { return std::sin(x) / x; },            1.0, kPi / 2,                 1e-6},
    {"J0(x)",              [](double x) { return ::j0(x); },                     1.0, 1.0,                     1e-6},
    {"cos 2x / (1 + x^2)", [](double x) { return std::cos(2 * x) / (1 + x * x); }, 2.0, kPi / 2 * std::exp(-2.0), 1e-6},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double result = 0;
    double err = 0;
    de_oscillatory_integrate(c.f, 0.0, c.omega, aw, result, err);
    EXPECT_NEAR(result, c.expected, c.tolerance * c.expected);
    EXPECT_GT(err, 0.0);
  }
}

TEST(DeQuadrature, NegativeFrequencyUsesItsMagnitude) {
  const std::vector<double> aw = engine_table();
  const auto f = [](double x) { return std::sin(x) / x; };
  double plus = 0, minus = 0, err = 0;
  de_oscillatory_integrate(f, 0.0, 1.0, aw, plus, err);
  de_oscillatory_integrate(f, 0.0, -1.0, aw, minus, err);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(plus), std::bit_cast<std::uint64_t>(minus));
}

TEST(DeQuadrature, AlwaysEvaluatesTheSecondLevel) {
  // An integrand that is 0 everywhere agrees with itself at once; the first level still goes on to
  // the block of t = 1/2, whose first node is the table entry after the block of t = 1.
  const std::vector<double> aw = table(1e-6);
  bool second_level = false;
  double result = 1, err = 1;
  de_oscillatory_integrate(
      [&](double x) {
        second_level = second_level || x == aw[20 + 63 + 3];
        return 0.0;
      },
      0.0,
      1.0,
      aw,
      result,
      err);
  EXPECT_TRUE(second_level);
  EXPECT_EQ(result, 0.0);
  EXPECT_EQ(err, 0.0);
}

// Rounding noise of size 1e-17 that decays like exp(-x): its levels never agree relative to its own
// size, so the table runs out; an absolute floor stops it early.
double noise(double x) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull;
  return 1e-17 * (static_cast<double>(b >> 11) / 9007199254740992.0 - 0.5) * std::exp(-x);
}

TEST(DeQuadrature, TableRunsOutWithNegativeErrorAndAFloorStopsNoise) {
  const std::vector<double> aw = engine_table();
  int calls = 0;
  const auto counted = [&](double x) {
    ++calls;
    return noise(x);
  };
  double result = 0, err = 0;
  de_oscillatory_integrate(counted, 0.0, 1.0, aw, result, err);
  EXPECT_LT(err, 0.0) << "the table should run out";
  const int calls_without_floor = calls;

  calls = 0;
  de_oscillatory_integrate(counted, 0.0, 1.0, aw, result, err, 1e-12);
  EXPECT_GE(err, 0.0);
  EXPECT_LT(calls, 100);
  EXPECT_GT(calls_without_floor, 1000);
  EXPECT_LT(std::fabs(result), 1e-15);
}

}  // namespace
}  // namespace orva
