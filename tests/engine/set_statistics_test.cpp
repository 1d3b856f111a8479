#include "set_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orva {
namespace {

// A set with the given moduli (MPa), error and micrometre deflections; the rest left empty.
SetTable make_set(std::vector<double> moduli,
                  float error,
                  std::vector<double> measured_um,
                  std::vector<double> computed_um) {
  SetTable s;
  s.best_moduli = std::move(moduli);
  s.best_error = error;
  s.measured_deflection_um = std::move(measured_um);
  s.computed_deflection_um = std::move(computed_um);
  return s;
}

SetTables make_tables(int n_layers, int n_sensors, std::vector<SetTable> sets) {
  SetTables t;
  t.n_layers = n_layers;
  t.n_sensors = n_sensors;
  t.sets = std::move(sets);
  return t;
}

void expect_all_finite(const QuantityStatistics& q) {
  for (double v : q.mean) EXPECT_TRUE(std::isfinite(v));
  for (double v : q.std_dev) EXPECT_TRUE(std::isfinite(v));
  for (double v : q.cv_percent) EXPECT_TRUE(std::isfinite(v));
  for (double v : q.covariance.values) EXPECT_TRUE(std::isfinite(v));
  for (double v : q.correlation.values) EXPECT_TRUE(std::isfinite(v));
}

// Two sets. E1 = {100, 300}: mean 200, variance (100^2 + 100^2) / 1 = 20000,
// sd = 100 sqrt(2), CV = 50 sqrt(2) %. E2 = {50, 30} moves against E1: mean 40, variance 200,
// sd = 10 sqrt(2), CV = 25 sqrt(2) %, covariance (-100 x 10 + 100 x -10) / 1 = -2000,
// correlation -2000 / sqrt(20000 x 200) = -1.
TEST(SetStatistics, TwoSetsByHand) {
  const SetTables two = make_tables(2,
                                    2,
                                    {make_set({100, 50}, 0.5f, {300, 150}, {330, 135}),
                                     make_set({300, 30}, 1.5f, {200, 100}, {180, 100})});
  const SetStatistics st = compute_set_statistics(two);
  EXPECT_EQ(st.n_sets, 2);
  EXPECT_EQ(st.degrees_of_freedom, 1);

  EXPECT_DOUBLE_EQ(st.moduli.mean[0], 200.0);
  EXPECT_DOUBLE_EQ(st.moduli.mean[1], 40.0);
  EXPECT_DOUBLE_EQ(st.moduli.covariance(1, 1), 20000.0);
  EXPECT_DOUBLE_EQ(st.moduli.covariance(2, 2), 200.0);
  EXPECT_DOUBLE_EQ(st.moduli.covariance(1, 2), -2000.0);
  EXPECT_DOUBLE_EQ(st.moduli.covariance(2, 1), -2000.0);
  EXPECT_DOUBLE_EQ(st.moduli.std_dev[0], 100.0 * std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(st.moduli.std_dev[1], 10.0 * std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(st.moduli.cv_percent[0], 50.0 * std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(st.moduli.cv_percent[1], 25.0 * std::sqrt(2.0));
  EXPECT_EQ(st.moduli.correlation(1, 2), -1.0);
  EXPECT_EQ(st.moduli.correlation(2, 1), -1.0);
  EXPECT_EQ(st.moduli.correlation(1, 1), 1.0);

  // Errors {0.5, 1.5}: mean 1, variance 0.5, sd sqrt(0.5), CV 100 sqrt(0.5) %.
  EXPECT_DOUBLE_EQ(st.error.mean[0], 1.0);
  EXPECT_DOUBLE_EQ(st.error.std_dev[0], std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(st.error.cv_percent[0], 100.0 * std::sqrt(0.5));

  // Measured {300, 200} and {150, 100}: means 250 and 125, both sensors move together.
  EXPECT_DOUBLE_EQ(st.measured_deflection.mean[0], 250.0);
  EXPECT_DOUBLE_EQ(st.measured_deflection.mean[1], 125.0);
  EXPECT_EQ(st.measured_deflection.correlation(1, 2), 1.0);
  // Computed sensor 2 is 100 in one set and 135 in the other; sensor 1 330 and 180.
  EXPECT_DOUBLE_EQ(st.computed_deflection.mean[0], 255.0);
  EXPECT_DOUBLE_EQ(st.computed_deflection.mean[1], 117.5);

  // |1 - 330/300| = |1 - 135/150| = 0.1; |1 - 180/200| = 0.1; 100/100 gives 0.
  EXPECT_NEAR(st.deflection_error_percent(1, 1), 10.0, 1e-12);
  EXPECT_NEAR(st.deflection_error_percent(1, 2), 10.0, 1e-12);
  EXPECT_NEAR(st.deflection_error_percent(2, 1), 10.0, 1e-12);
  EXPECT_EQ(st.deflection_error_percent(2, 2), 0.0);
}

// Three sets. E1 = {100, 200, 300}: mean 200, variance (100^2 + 0 + 100^2) / 2 = 10000, sd 100,
// CV 50 %. E2 = E1 / 10: sd 10, CV 50 %, correlation with E1 +1. E3 = {90, 70, 50}: mean 70,
// sd 20, CV 2000/70 %, covariance with E1 (-100 x 20 + 100 x -20) / 2 = -2000, correlation
// -2000 / (100 x 20) = -1. E4 is held at 500: no spread, so sd, CV and its correlations are 0.
TEST(SetStatistics, ThreeSetsByHand) {
  const SetTables three = make_tables(4,
                                      1,
                                      {make_set({100, 10, 90, 500}, 0.5f, {400}, {380}),
                                       make_set({200, 20, 70, 500}, 1.0f, {300}, {330}),
                                       make_set({300, 30, 50, 500}, 3.0f, {200}, {200})});
  const SetStatistics st = compute_set_statistics(three);
  EXPECT_EQ(st.n_sets, 3);
  EXPECT_EQ(st.degrees_of_freedom, 2);

  // clang-format off
  struct Row { double mean, sd, cv; };
  const Row expected[] = {
      {200.0, 100.0, 50.0},
      { 20.0,  10.0, 50.0},
      { 70.0,  20.0, 2000.0 / 70.0},
      {500.0,   0.0,  0.0},
  };
  // clang-format on
  for (int v = 1; v <= 4; ++v) {
    SCOPED_TRACE("E" + std::to_string(v));
    const Row& r = expected[v - 1];
    EXPECT_DOUBLE_EQ(st.moduli.mean[v - 1], r.mean);
    EXPECT_DOUBLE_EQ(st.moduli.std_dev[v - 1], r.sd);
    EXPECT_DOUBLE_EQ(st.moduli.cv_percent[v - 1], r.cv);
  }
  EXPECT_DOUBLE_EQ(st.moduli.covariance(1, 2), 1000.0);
  EXPECT_DOUBLE_EQ(st.moduli.covariance(1, 3), -2000.0);
  EXPECT_EQ(st.moduli.covariance(1, 4), 0.0);
  EXPECT_EQ(st.moduli.correlation(1, 2), 1.0);
  EXPECT_EQ(st.moduli.correlation(1, 3), -1.0);
  EXPECT_EQ(st.moduli.correlation(2, 3), -1.0);
  EXPECT_EQ(st.moduli.correlation(3, 3), 1.0);
  for (int v = 1; v <= 4; ++v) {
    EXPECT_EQ(st.moduli.correlation(v, 4), 0.0);
    EXPECT_EQ(st.moduli.correlation(4, v), 0.0);
  }
  expect_all_finite(st.moduli);

  // Errors {0.5, 1, 3}: mean 1.5, deviations -1, -0.5, 1.5, variance 3.5 / 2 = 1.75.
  EXPECT_DOUBLE_EQ(st.error.mean[0], 1.5);
  EXPECT_DOUBLE_EQ(st.error.covariance(1, 1), 1.75);
  EXPECT_DOUBLE_EQ(st.error.std_dev[0], std::sqrt(1.75));
  EXPECT_DOUBLE_EQ(st.error.cv_percent[0], std::sqrt(1.75) * 100.0 / 1.5);

  // Measured {400, 300, 200}: mean 300, sd 100, CV 100/3 %; errors 5 %, 10 %, 0 %.
  EXPECT_DOUBLE_EQ(st.measured_deflection.mean[0], 300.0);
  EXPECT_DOUBLE_EQ(st.measured_deflection.std_dev[0], 100.0);
  EXPECT_DOUBLE_EQ(st.measured_deflection.cv_percent[0], 100.0 / 3.0);
  EXPECT_NEAR(st.deflection_error_percent(1, 1), 5.0, 1e-12);
  EXPECT_NEAR(st.deflection_error_percent(2, 1), 10.0, 1e-12);
  EXPECT_EQ(st.deflection_error_percent(3, 1), 0.0);
}

// One set has no degrees of freedom: the means are the set's values and every measure of spread
// is 0 instead of 0/0.
TEST(SetStatistics, OneSetGivesZeroSpreadNotNaN) {
  const SetTables one = make_tables(2, 1, {make_set({120, 80}, 0.25f, {300}, {270})});
  const SetStatistics st = compute_set_statistics(one);
  EXPECT_EQ(st.n_sets, 1);
  EXPECT_EQ(st.degrees_of_freedom, 0);
  EXPECT_EQ(st.moduli.mean, (std::vector<double>{120, 80}));
  EXPECT_EQ(st.moduli.std_dev, (std::vector<double>{0, 0}));
  EXPECT_EQ(st.moduli.cv_percent, (std::vector<double>{0, 0}));
  EXPECT_EQ(st.error.mean[0], 0.25);
  for (const QuantityStatistics* q :
       {&st.moduli, &st.error, &st.measured_deflection, &st.computed_deflection}) {
    expect_all_finite(*q);
    for (double v : q->covariance.values) EXPECT_EQ(v, 0.0);
    for (double v : q->correlation.values) EXPECT_EQ(v, 0.0);
  }
  EXPECT_NEAR(st.deflection_error_percent(1, 1), 10.0, 1e-12);
}

// Before any data set has been run the tables are empty: everything is 0, sized by the counts.
TEST(SetStatistics, NoSetsGivesZeros) {
  const SetStatistics st = compute_set_statistics(make_tables(3, 2, {}));
  EXPECT_EQ(st.n_sets, 0);
  EXPECT_EQ(st.moduli.mean, (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(st.measured_deflection.mean, (std::vector<double>{0, 0}));
  EXPECT_EQ(st.error.mean, (std::vector<double>{0}));
  EXPECT_EQ(st.deflection_error_percent.rows, 0);
}

}  // namespace
}  // namespace orva
