#include "report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "results_files.h"

namespace orva {
namespace {

// A data set with n_layers layers and n_sensors sensors whose histories hold n iterations.
struct Fixture {
  InputData input;
  DataSet data;
  std::vector<float> errors;

  Fixture(int n_layers, int n_sensors, int n) {
    input.project_title = "TEST" + std::string(76, ' ');
    input.n_layers = n_layers;
    input.n_sensors = n_sensors;
    for (int i = 0; i < n_layers; ++i) {
      input.layers.layer_fixed.push_back(0);
      input.layers.layer_modulus.push_back(1000.0 * (i + 1));
      input.layers.layer_poisson.push_back(0.35);
      input.layers.layer_thickness.push_back(10.0);
      input.layers.layer_slip.push_back(0.0);
    }
    for (int j = 0; j < n_sensors; ++j) input.sensor_offset.push_back(30.0 * j);
    input.plate_radius = 15.0;
    data.deflection_history.resize(102, n_sensors);
    data.modulus_history.resize(102, n_layers);
    data.match_table.resize(100, n_sensors);
    for (int k = 1; k <= n + 1; ++k) {
      for (int j = 1; j <= n_sensors; ++j) data.deflection_history(k, j) = 0.01 / (j + k);
      for (int i = 1; i <= n_layers; ++i) data.modulus_history(k, i) = 100.0 * i + k;
    }
    errors.resize(100);
    compute_iteration_errors(data, n_sensors, n, errors);
    compute_match_table(data, n_sensors, n);
  }

  std::vector<std::string> report(int n) const {
    std::vector<std::string> records;
    append_report_records(input, data, errors, n, records);
    return records;
  }
};

TEST(IterationError, RoundsToSinglePrecisionAfterEveryAddition) {
  // Terms 1 and three times 2^-24: each addition ties at 1 + 2^-24 and rounds back to 1 in single
  // precision, while a sum in double rounded once would give 1 + 2^-22.
  DataSet data;
  data.deflection_history.resize(3, 4);
  const double x = std::ldexp(1.0, -11);
  const double measured[] = {2.0, x, x, x};
  for (int j = 1; j <= 4; ++j) data.deflection_history(1, j) = measured[j - 1];
  std::vector<float> errors(2);
  compute_iteration_errors(data, 4, 2, errors);
  EXPECT_EQ(errors[0], 1.0f);
  // Row 3 equal to the measurement: no error.
  for (int j = 1; j <= 4; ++j) data.deflection_history(3, j) = measured[j - 1];
  compute_iteration_errors(data, 4, 2, errors);
  EXPECT_EQ(errors[1], 0.0f);
}

TEST(MatchTable, ValuesAndFloor) {
  // clang-format off
  struct Case { double measured, computed, match; };
  const Case cases[] = {
      {0.01,  0.01,  1.0},
      {0.01,  0.005, 0.5},
      {0.01,  0.015, 0.5},
      {0.01,  0.02,  0.0},   // twice the measurement
      {0.01,  0.05,  0.0},   // below 0: floored
      {-0.01, -0.01, 1.0},
  };
  // clang-format on
  DataSet data;
  const int np = static_cast<int>(std::size(cases)) + 1;
  data.deflection_history.resize(2, np);
  data.match_table.resize(1, np);
  for (int j = 1; j < np; ++j) {
    data.deflection_history(1, j) = cases[j - 1].measured;
    data.deflection_history(2, j) = cases[j - 1].computed;
  }
  data.deflection_history(1, np) = 0.01;
  data.deflection_history(2, np) = NAN;
  compute_match_table(data, np, 1);
  for (int j = 1; j < np; ++j) {
    SCOPED_TRACE(j);
    EXPECT_NEAR(data.match_table(1, j), cases[j - 1].match, 1e-15);
  }
  EXPECT_TRUE(std::isnan(data.match_table(1, np)));  // NaN is not floored
}

// Record counts: banner 15 + 1; section 1: 4 + 15 + NL (three formats begin with "/"); 2: 4 + 3 +
// 2; 3: 4 + 2 + N + 2; 4: 4 + 6 + N + 2; 5: 4 + 2 + N.
size_t expected_report_records(int nl, int n) {
  return 16 + (19 + nl) + 9 + (8 + n) + (12 + n) + (6 + n);
}

TEST(Report, OneIterationAndAHundred) {
  for (int n : {1, 100}) {
    SCOPED_TRACE(n);
    Fixture f(3, 4, n);
    std::vector<std::string> records = f.report(n);
    ASSERT_EQ(records.size(), expected_report_records(3, n));
    const std::string last_k = n == 1 ? "      1" : "    100";
    // The last records of sections 3, 4 and 5 show iteration n in their I3 field.
    EXPECT_EQ(records.back().substr(0, 7), last_k);
    EXPECT_EQ(records[records.size() - 9 - n].substr(0, 7), last_k);
    // The section 2 row: n, then the error of iteration n, then the moduli of row n.
    auto row = std::find_if(records.begin(), records.end(), [](const std::string& r) {
      return r.find("LAYER  No.1") != std::string::npos;
    });
    ASSERT_NE(row, records.end());
    ++row;
    EXPECT_EQ(row->substr(0, 7), last_k);
    EXPECT_EQ(row->size(), 4u + 3 + 8 + 12 + 3 + 3 * 12);
    std::string moduli = row->substr(30);
    EXPECT_EQ(moduli,
              "      " + std::to_string(100 + n) + ".00      " + std::to_string(200 + n) +
                  ".00      " + std::to_string(300 + n) + ".00");
  }
}

TEST(Report, TwentyLayersAndSensorsFitOneLineEach) {
  Fixture f(20, 20, 3);
  std::vector<std::string> records = f.report(3);
  ASSERT_EQ(records.size(), expected_report_records(20, 3));
  // The measured row of section 4 and the last match row hold 20 E12.4 fields.
  auto measured = std::find(records.begin(), records.end(), "   FWD DEF DATA  (cm)");
  ASSERT_NE(measured, records.end());
  EXPECT_EQ((measured + 2)->size(), 2u + 20 * 12);
  EXPECT_EQ(records.back().size(), 4u + 3 + 8 + 20 * 12);
  // Sensor positions: label and 20 F8.1 fields.
  auto positions = std::find_if(records.begin(), records.end(), [](const std::string& r) {
    return r.rfind("        POSITION(cm)", 0) == 0;
  });
  ASSERT_NE(positions, records.end());
  EXPECT_EQ(positions->size(), 8u + 12 + 20 * 8);
}

TEST(Report, TitleLiteralsAndShiftJis) {
  Fixture f(2, 3, 1);
  std::vector<std::string> records = f.report(1);
  EXPECT_EQ(records[0], " " + std::string(52, '*'));
  EXPECT_EQ(records[13], " *                                   Vesion 2003.3  *");
  EXPECT_EQ(records[15], "");
  EXPECT_EQ(records[16], " " + std::string(39, '-'));
  // The title is written with all 80 characters, trailing blanks included.
  EXPECT_EQ(records[20], "    PROJECT TITLE:    TEST" + std::string(76, ' '));
  std::string all;
  for (const std::string& r : records) all += r + "\n";
  EXPECT_NE(all.find("    SENSOR No.1  \x81\x60  No.  3\n"), std::string::npos);
  EXPECT_NE(all.find("        POSITION(\x83\xCAm)"), std::string::npos);
  // (10X,I2,9X,F11.2,16X,F5.3,5X,F8.1,9X,F4.2); the half-space row stops after its ratio.
  auto blanks = [](int n) { return std::string(static_cast<size_t>(n), ' '); };
  EXPECT_NE(all.find("\n" + blanks(10) + " 1" + blanks(9) + "      98.07" + blanks(16) + "0.350" +
                     blanks(5) + "    10.0" + blanks(9) + "0.00\n"),
            std::string::npos);
  EXPECT_NE(all.find("\n" + blanks(10) + " 2" + blanks(9) + "     196.13" + blanks(16) + "0.350\n"),
            std::string::npos);
  // Section 2: the error of iteration 1, (0.005 - 0.01/3)^2 + (0.01/3 - 0.0025)^2 +
  // (0.0025 - 0.002)^2 over 3 sensors = 1.2407e-6.
  EXPECT_NE(all.find("\n      1          0.1241E-05         101.00      201.00\n"),
            std::string::npos);
}

TEST(ResultFiles, RecordsOfOneAndAHundredIterations) {
  for (int n : {1, 100}) {
    SCOPED_TRACE(n);
    Fixture f(2, 20, n);
    std::vector<std::string> def = deflection_results_records(f.input, f.data, n);
    ASSERT_EQ(def.size(), static_cast<size_t>(n) + 2);
    for (const std::string& r : def) EXPECT_EQ(r.size(), 240u);
    std::vector<std::string> moduli = moduli_results_records(f.input, f.data, 2.5e-7f, n);
    ASSERT_EQ(moduli.size(), 4u);
    EXPECT_EQ(moduli[0], "   2  20");
    EXPECT_EQ(moduli[1].substr(0, 24), "  0.0000E+00  0.3000E+02");
    EXPECT_EQ(moduli[2], n == 1 ? "  0.1010E+03  0.2010E+03" : "  0.2000E+03  0.3000E+03");
    EXPECT_EQ(moduli[3], (n == 1 ? "  1" : "100") + std::string("  0.2500E-06"));
  }
}

}  // namespace
}  // namespace orva
