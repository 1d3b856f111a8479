#include "set_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"
#include "engine_main.h"
#include "input_reader.h"
#include "report.h"
#include "set_table_files.h"
#include "set_tables.h"
#include "test_support.h"

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

// Regression: with one data set the divisor n - 1 is 0, so the covariances, standard deviations,
// CVs and correlations came out as 0/0 = NaN. One set has no degrees of freedom: the means are the
// set's values and every measure of spread is 0.
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

// A data set after three iterations with two layers and two sensors (cm). Errors by hand:
// iteration 1: (0.01^2 + 0) / 2 = 5e-5; iteration 2: (0.001^2 + 0.001^2) / 2 = 1e-6;
// iteration 3: (0.002^2 + 0) / 2 = 2e-6. The smallest is iteration 2.
DataSet three_iterations() {
  DataSet d;
  d.iteration_count = 3;
  d.mean_deflection = {0.04, 0.02};
  d.deflection_history.resize(102, 2);
  d.modulus_history.resize(102, 2);
  const double defl[4][2] = {{0.04, 0.02}, {0.03, 0.02}, {0.039, 0.021}, {0.038, 0.02}};
  const double moduli[4][2] = {{3000, 100}, {3300, 110}, {3100, 105}, {3050, 104}};
  for (int r = 1; r <= 4; ++r) {
    for (int c = 1; c <= 2; ++c) {
      d.deflection_history(r, c) = defl[r - 1][c - 1];
      d.modulus_history(r, c) = moduli[r - 1][c - 1];
    }
  }
  return d;
}

InputData two_layer_input() {
  InputData in;
  in.n_layers = 2;
  in.n_sensors = 2;
  in.sensor_offset = {0.0, 30.0};
  in.regularization_parameter = 0.03;
  in.output_options[0] = 0;
  in.output_options[1] = 1;
  in.output_options[2] = 1;
  return in;
}

TEST(SetStatistics, RecordSetKeepsTheIterationOfSmallestError) {
  SetTables t;
  DataSet d = three_iterations();
  d.drop_note = "SITE A No.1 left wheel path, 2nd lane   ";
  const double w1[] = {2.0, 1.0}, w2[] = {0.5, 4.0}, w3[] = {3.0, 3.0};
  note_singular_values(t, w1);
  note_singular_values(t, w2);
  note_singular_values(t, w3);
  record_set(t, two_layer_input(), d);

  ASSERT_EQ(t.sets.size(), 1u);
  EXPECT_EQ(t.n_layers, 2);
  EXPECT_EQ(t.n_sensors, 2);
  EXPECT_EQ(t.output_options[2], 1);
  EXPECT_EQ(t.sensor_offset, (std::vector<double>{0.0, 30.0}));
  EXPECT_TRUE(t.pending_condition_number.empty());  // the next set starts afresh

  const SetTable& s = t.sets[0];
  EXPECT_EQ(s.label, "SITE A No.1 left whe");
  EXPECT_EQ(s.final_iteration, 3);
  EXPECT_EQ(s.best_iteration, 2);
  EXPECT_FLOAT_EQ(s.best_error, 1e-6f);
  EXPECT_EQ(s.best_moduli, (std::vector<double>{3300, 110}));  // modulus_history row 2
  EXPECT_EQ(s.condition_number, 8.0);                          // 4 / 0.5
  EXPECT_EQ(s.max_singular_value, 4.0);
  EXPECT_EQ(s.mean_deflection, (std::vector<double>{0.04, 0.02}));
  EXPECT_DOUBLE_EQ(s.measured_deflection_um[0], 400.0);
  EXPECT_DOUBLE_EQ(s.computed_deflection_um[0], 390.0);  // deflection_history row 3
  EXPECT_DOUBLE_EQ(s.computed_deflection_um[1], 210.0);
  ASSERT_EQ(s.computed_deflections.rows, 3);
  EXPECT_EQ(s.computed_deflections(1, 1), 0.03);
  EXPECT_EQ(s.computed_deflections(3, 1), 0.038);
  // Ratio = the smaller of computed/measured and measured/computed.
  EXPECT_DOUBLE_EQ(s.deflection_ratios(1, 1), 0.75);
  EXPECT_DOUBLE_EQ(s.deflection_ratios(1, 2), 1.0);
  EXPECT_DOUBLE_EQ(s.deflection_ratios(2, 2), 0.02 / 0.021);
}

TEST(SetStatistics, RecordSetPassesOverErrorsThatAreNotNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  SetTables t;
  DataSet d = three_iterations();
  d.deflection_history(2, 1) = nan;  // iteration 1 would otherwise not be best anyway
  d.deflection_history(3, 2) = nan;  // iteration 2, the best by value, is lost
  d.drop_note = "short";
  record_set(t, two_layer_input(), d);
  EXPECT_EQ(t.sets[0].label, "short               ");
  EXPECT_EQ(t.sets[0].best_iteration, 3);
  EXPECT_EQ(t.sets[0].condition_number, 0.0);  // nothing was noted: no singular values

  DataSet all_nan = three_iterations();
  for (int k = 2; k <= 4; ++k) all_nan.deflection_history(k, 1) = nan;
  record_set(t, two_layer_input(), all_nan);
  EXPECT_EQ(t.sets[1].best_iteration, 3);  // the final iteration
}

// Two sets as a run would leave them, for the writers. Hand-checked values:
// E1 {3000, 5000}: mean 4000, sd sqrt(2e6) = 1414.214, CV 35.355 %;
// E2 {100, 300}: mean 200, sd 141.421, CV 70.711 %; mean J (1.5e-8 + 2.5e-8) / 2 = 0.200E-07.
// A table of rows x columns from its rows.
HistoryTable history(const std::vector<std::vector<double>>& rows) {
  HistoryTable t;
  t.resize(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size()));
  for (int k = 1; k <= t.rows; ++k) {
    for (int j = 1; j <= t.cols; ++j) t(k, j) = rows[k - 1][j - 1];
  }
  return t;
}

SetTables two_written_sets() {
  SetTables t;
  t.n_layers = 2;
  t.n_sensors = 2;
  t.regularization_parameter = 0.03;
  t.output_options[1] = 1;
  t.output_options[2] = 1;
  t.sensor_offset = {0.0, 30.0};
  t.sets = {
      SetTable{.label = "SITE A No.1         ",
               .mean_deflection = {0.04, 0.02},
               .final_iteration = 2,
               .best_iteration = 2,
               .best_moduli = {3000, 100},
               .best_error = 1.5e-8f,
               .condition_number = 12.5,
               .max_singular_value = 0.0123,
               .measured_deflection_um = {400, 200},
               .computed_deflection_um = {380, 210},
               .computed_deflections = history({{0.035, 0.025}, {0.038, 0.021}}),
               .deflection_ratios = history({{0.875, 0.8}, {0.95, 0.5}})},
      SetTable{.label = "SITE B No.2         ",
               .mean_deflection = {0.05, 0.0125},
               .final_iteration = 1,
               .best_iteration = 1,
               .best_moduli = {5000, 300},
               .best_error = 2.5e-8f,
               .condition_number = 1234.5,
               .max_singular_value = 0.5,
               .measured_deflection_um = {500, 125},
               .computed_deflection_um = {500, 100},
               .computed_deflections = history({{0.05, 0.01}}),
               .deflection_ratios = history({{1.0, 0.8}})},
  };
  return t;
}

std::string crlf(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

// When the items run out inside a repeated group, the record goes on with the group's blanks up to
// the next data descriptor: the headings end with 5X + 4X (or 6X + 3X) blanks, the set rows and
// the per-iteration rows with the 2X or 3X that opens the next repetition.
TEST(SetStatisticsWriter, SummaryOfTwoSets) {
  test::TempDir dir;
  std::ostringstream console;
  write_statistics_summary(two_written_sets(), dir.path(), console);

  const std::string eq76(76, '='), dash76(76, '-'), eq33(33, '='), dash33(33, '-');
  const std::vector<std::string> stats = {
      "   AVE   :    4000.000     200.000",
      "   STD   :    1414.214     141.421",
      "   COV(%):      35.355      70.711",
      "     J   :   0.200E-07",
  };
  std::vector<std::string> expected = {
      "",
      "    BACKCALCULATED MODULI VALUES",
      "    SOFTWARE NAME : ORVA",
      "    REGULARIZATION PARAMENTER = 0.3E-01",
      "  " + eq76,
      "    SUB     ITER    Condition   Max CN        J             E 1         E 2         ",
      "   TITLE    NUMB    Number",
      "  " + dash76,
      "   SITE A     2     0.125E+02  0.1230E-01  0.1500E-07      3000.0       100.0  ",
      "   SITE B     1     0.123E+04  0.5000E+00  0.2500E-07      5000.0       300.0  ",
      "  " + eq76,
      "  " + eq33,
      "                E 1         E 2         ",
      "  " + dash33,
  };
  expected.insert(expected.end(), stats.begin(), stats.end());
  expected.push_back("  " + eq33);
  EXPECT_EQ(test::read_file(dir / "fort.8"), crlf(expected));

  std::string console_expected;
  for (const std::string& l : stats) console_expected += l + "\n";
  EXPECT_EQ(console.str(), console_expected);
  EXPECT_FALSE(std::filesystem::exists(dir / "fort.7"));
}

TEST(SetStatisticsWriter, SetTablesOfTwoSets) {
  test::TempDir dir;
  write_set_tables(two_written_sets(), dir.path());
  const std::string counts = "   NUMBER OF LAYERS =   2;  NUMBER OF MEASUREMENT POINTS =   2";
  const std::string points = "   MEAS. POINT(cm):     0.0    30.0";
  EXPECT_EQ(test::read_file(dir / "fort.7"),
            crlf({counts,
                  points,
                  "   MEAS. DEFL.(cm):  0.0400  0.0200",
                  "   COMP. DEFL.(cm):  0.0380  0.0210",
                  "    1   0.0350   0.0250   ",
                  "    2   0.0380   0.0210   ",
                  "    1    0.875    0.800  ",
                  "    2    0.950    0.500  ",
                  counts,
                  points,
                  "   MEAS. DEFL.(cm):  0.0500  0.0125",
                  "   COMP. DEFL.(cm):  0.0500  0.0100",
                  "    1   0.0500   0.0100   ",
                  "    1    1.000    0.800  "}));
  const std::string one = "           1", two = "           2";
  EXPECT_EQ(test::read_file(dir / "fort.10"),
            crlf({" " + one + "   0.8750000000000000E+00   0.8000000000000000E+00",
                  " " + two + "   0.9500000000000000E+00   0.5000000000000000E+00",
                  " " + one + "   0.1000000000000000E+01   0.8000000000000000E+00"}));
  EXPECT_FALSE(std::filesystem::exists(dir / "fort.8"));
}

// Regression: with one set the summary printed NaN for every spread (0/0). No spread can be
// estimated, and the summary shows 0.
TEST(SetStatisticsWriter, OneSetWritesZeroSpread) {
  test::TempDir dir;
  SetTables t = two_written_sets();
  t.sets.pop_back();
  std::ostringstream console;
  write_statistics_summary(t, dir.path(), console);
  EXPECT_EQ(console.str(),
            "   AVE   :    3000.000     100.000\n"
            "   STD   :       0.000       0.000\n"
            "   COV(%):       0.000       0.000\n"
            "     J   :   0.150E-07\n");
  const std::string file = test::read_file(dir / "fort.8");
  EXPECT_NE(file.find("   STD   :       0.000       0.000\r\n"), std::string::npos);
  EXPECT_EQ(file.find("NaN"), std::string::npos);
}

// Two data sets of one drop each, on the solver path that replaces @FLAG@ (0 SVD, 1 shrinkage).
constexpr const char* kTwoSetInput =
    "ORVA for Windows Ver2.2\r\n"
    "\r\n"
    "TITLE OF THE PROJECT\r\n"
    "twosets\r\n"
    "\r\n"
    "NAME OF FILE FOR ITERATION PROCESS\r\n"
    "twosets.out\r\n"
    "\r\n"
    "NO. OF LAYERS AND MEASUREMENT POINTS\r\n"
    "2   3\r\n"
    "\r\n"
    "NUMBERS OF TOTAL DATA\r\n"
    "1\r\n"
    "\r\n"
    "LAYER PROPERTIES\r\n"
    "IFIX    MODULUS(MPa)      MU       THICKNESS(cm)      SLIP RATE\r\n"
    "0             3000          0.35          20            0\r\n"
    "0             100           0.4\r\n"
    "\r\n"
    "SENSOR POSITIONS(cm)\r\n"
    "0    30    60\r\n"
    "\r\n"
    "STD LOAD AND RADIUS of PLATE\r\n"
    "49            15\r\n"
    "\r\n"
    "OPTIONS FOR TYPE OF OUTPUT (1--> YES   0--> NO)\r\n"
    "LAYER MODULI,ANALYTICAL DEFLECTIONS,DEFLECTION RATIO\r\n"
    "1  1  1\r\n"
    "\r\n"
    "REGULARIZATION (1--> YES   0--> NO)\r\n"
    "@FLAG@\r\n"
    "\r\n"
    "REGULARIZATION PARAMETER\r\n"
    "(RECOMMENDED VALUE : LAYERS#<=3 --> 0.001, LAYERS#=>4 --> 0.03)\r\n"
    "0.001\r\n"
    "\r\n"
    "FWD DEFLECTION DATA(\x83\xca\x82\x8d\x81\x6a\r\n"
    "1,0,\"99:99\",49\r\n"
    "400\r\n"
    "150\r\n"
    "70\r\n"
    "999.9,\"Run1\"\r\n"
    "2,0,\"99:99\",49\r\n"
    "350\r\n"
    "120\r\n"
    "60\r\n"
    "999.9,\"Run2\"\r\n";

std::string two_set_input(const char* regularization_flag) {
  std::string text = kTwoSetInput;
  text.replace(text.find("@FLAG@"), 6, regularization_flag);
  return text;
}

// A run that could have filled per-set tables: the ordinary engine keeps none, so it leaves no
// fort.7, fort.8 or fort.10 and prints nothing.
TEST(SetStatisticsEngineRun, OrdinaryRunWritesNoStatisticsFiles) {
  test::TempDir dir;
  test::write_file(dir / "SESF.LAB", "2958\r\n");
  test::write_file(dir / "inp.dat", two_set_input("0"));
  const test::RunResult run = test::run_engine(dir.path());
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(test::read_file(dir / "twosets.out").empty());

  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(
      names,
      (std::vector<std::string>{"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "twosets.out"}));
}

// The engine's main loop run in this process with DriverContext::set_tables given: the report and
// the result files are byte for byte those of the ordinary engine run, and the tables hold both
// sets, from which the statistics files are written. On both solver paths: the singular values
// come from svdcmp (flag 0) or from the decomposition of the shrinkage estimator (flag 1).
class SetStatisticsEngine : public testing::TestWithParam<const char*> {};

TEST_P(SetStatisticsEngine, DriverFillsTablesWhenAskedAndWritesTheSame) {
  test::TempDir dir;
  test::write_file(dir / "SESF.LAB", "2958\r\n");
  test::write_file(dir / "inp.dat", two_set_input(GetParam()));
  ASSERT_EQ(test::run_engine(dir.path()).exit_status, 0);
  const std::vector<std::string> outputs = {"twosets.out", "DEF.OUT", "MODULI.OUT"};
  std::vector<std::string> ordinary;
  for (const std::string& name : outputs) {
    ordinary.push_back(test::read_file(dir / name));
    std::filesystem::remove(dir / name);
  }

  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  SetTables tables;
  DataSet last;
  {
    EngineRun run;
    int32_t flag = 0;
    read_input(run.input_file, run.input, run.data, flag);
    run.report.open(3, trimmed_report_name(run.input));
    DriverContext ctx{run.input, run.data, run.model, run.svd, run.solver, run.report, run.results};
    ctx.set_tables = &tables;
    int32_t end_of_input = 0;
    for (int32_t set = 1;; ++set) {
      read_data_set(run.input_file, run.input, run.data, end_of_input, set);
      if (end_of_input == 1) break;
      back_calculate(ctx, set, flag);
    }
    run.report.close();
    last = run.data;
  }
  std::filesystem::current_path(saved);
  for (size_t i = 0; i < outputs.size(); ++i) {
    EXPECT_EQ(test::read_file(dir / outputs[i]), ordinary[i]) << outputs[i];
  }

  ASSERT_EQ(tables.sets.size(), 2u);
  EXPECT_EQ(tables.sets[0].label, "Run1                ");
  EXPECT_EQ(tables.sets[1].label, "Run2                ");
  EXPECT_EQ(tables.n_layers, 2);
  EXPECT_EQ(tables.output_options[2], 1);
  // The second set against what the engine left in its tables: the best iteration is the first of
  // smallest report error, its moduli are modulus_history row best.
  const SetTable& s = tables.sets[1];
  const int n = last.iteration_count;
  EXPECT_EQ(s.final_iteration, n);
  std::vector<float> errors(static_cast<size_t>(n));
  compute_iteration_errors(last, 3, n, errors);
  const int best =
      static_cast<int>(std::min_element(errors.begin(), errors.end()) - errors.begin());
  EXPECT_EQ(s.best_iteration, best + 1);
  EXPECT_EQ(s.best_error, errors[static_cast<size_t>(best)]);
  EXPECT_EQ(s.best_moduli[0], last.modulus_history(best + 1, 1));
  EXPECT_EQ(s.computed_deflections.rows, n);
  for (const SetTable& set : tables.sets) {
    EXPECT_GE(set.condition_number, 1.0);
    EXPECT_TRUE(std::isfinite(set.condition_number));
    EXPECT_GT(set.max_singular_value, 0.0);
  }
  EXPECT_TRUE(tables.pending_condition_number.empty());

  std::ostringstream console;
  write_statistics_summary(tables, dir.path(), console);
  write_set_tables(tables, dir.path());
  for (const char* name : {"fort.7", "fort.8", "fort.10"}) {
    const std::string text = test::read_file(dir / name);
    EXPECT_FALSE(text.empty()) << name;
    EXPECT_EQ(text.find("NaN"), std::string::npos) << name;
    EXPECT_EQ(text.find("*"), std::string::npos) << name;
  }
  EXPECT_NE(test::read_file(dir / "fort.8").find("   Run1   "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Solvers,
                         SetStatisticsEngine,
                         testing::Values("0", "1"),
                         [](const testing::TestParamInfo<const char*>& solver) {
                           return std::string(solver.param[0] == '0' ? "Svd" : "Shrinkage");
                         });

}  // namespace
}  // namespace orva
