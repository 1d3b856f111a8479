#include "driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "report.h"
#include "test_support.h"

namespace orva {
namespace {

constexpr double kKgfCm2PerMpa = 10.197162129779283;
constexpr double kKgfPerKn = 101.97162129779282;

struct Layer {
  double modulus_mpa;  // the true modulus
  double poisson;
  double thickness_cm;  // unused for the half-space
  bool held = false;
  double slip = 0;  // of the interface at the layer's bottom
};

// A back-calculation of deflections that the model itself computed for known moduli.
class Problem {
 public:
  Problem(const std::vector<Layer>& layers,
          const std::vector<double>& offsets_cm,
          double regularization_parameter = 0.001) {
    const int nl = static_cast<int>(layers.size());
    const int np = static_cast<int>(offsets_cm.size());
    input.n_layers = nl;
    input.n_sensors = np;
    for (const Layer& l : layers) {
      input.layers.layer_fixed.push_back(l.held ? 1 : 0);
      input.layers.layer_modulus.push_back(l.modulus_mpa * kKgfCm2PerMpa);
      input.layers.layer_poisson.push_back(l.poisson);
      input.layers.layer_thickness.push_back(l.thickness_cm);
      input.layers.layer_slip.push_back(l.slip);
    }
    input.sensor_offset = offsets_cm;
    input.plate_load = 49.0 * kKgfPerKn;
    input.plate_radius = 15.0;
    input.regularization_parameter = regularization_parameter;
    data.mean_deflection.resize(static_cast<size_t>(np));
    data.deflection_history.resize(input.max_iterations + 2, np);
    data.modulus_history.resize(input.max_iterations + 2, nl);
    data.match_table.resize(input.max_iterations, np);
    truth = input.layers.layer_modulus;
    set_measured(deflections(truth));
    seed_rows();
  }

  ModelInputs model_inputs() const { return orva::model_inputs(input); }

  // Deflections (cm) for moduli in kgf/cm2, from a model state of their own.
  std::vector<double> deflections(const std::vector<double>& moduli) {
    ModelState state;
    std::vector<double> d(static_cast<size_t>(input.n_sensors));
    compute_deflections(state, model_inputs(), moduli, d);
    return d;
  }

  void set_measured(const std::vector<double>& d) {
    data.mean_deflection = d;
    for (int j = 1; j <= input.n_sensors; ++j) data.deflection_history(1, j) = d[j - 1];
  }

  // Seeds of the free layers: truth x factor(i); held layers keep the truth.
  void seed_with(const std::vector<double>& factors) {
    for (size_t i = 0; i < truth.size(); ++i) {
      if (input.layers.layer_fixed[i] == 0) input.layers.layer_modulus[i] = truth[i] * factors[i];
    }
    seed_rows();
  }
  void seed_all_mpa(double mpa) {
    for (size_t i = 0; i < truth.size(); ++i) {
      if (input.layers.layer_fixed[i] == 0) input.layers.layer_modulus[i] = mpa * kKgfCm2PerMpa;
    }
    seed_rows();
  }
  void seed_rows() {
    for (int i = 1; i <= input.n_layers; ++i) {
      data.modulus_history(1, i) = input.layers.layer_modulus[i - 1] * kMpaPerKgfCm2;
    }
  }

  int run(int flag) {
    check_back_calculation_input(input, flag);
    DriverContext ctx{input, data, model, svd, solver, report, results};
    ctx.set_index = 1;
    return run_gauss_newton(ctx, flag);
  }

  InputData input;
  DataSet data;
  std::vector<double> truth;  // kgf/cm2
  ModelState model;
  std::ostringstream console;
  std::istringstream console_in;
  SvdWork svd{console, console_in};
  SolverState solver{console};
  OutputUnit report;
  OutputUnit results;
};

const std::vector<double> kEightSensors = {0, 20, 30, 45, 60, 90, 120, 150};

struct RecoveryCase {
  const char* name;
  std::vector<Layer> layers;
};

std::vector<RecoveryCase> recovery_cases() {
  return {
      {"2 layers", {{3000, 0.35, 20}, {100, 0.40, 0}}},
      {"3 layers", {{5000, 0.35, 15}, {300, 0.35, 30}, {60, 0.40, 0}}},
      {"4 layers", {{6000, 0.35, 10}, {1500, 0.35, 15}, {250, 0.35, 30}, {80, 0.40, 0}}},
      {"4 layers, layer 2 held",
       {{6000, 0.35, 10}, {1500, 0.35, 15, true}, {250, 0.35, 30}, {80, 0.40, 0}}},
      {"3 layers, slip 0.5", {{5000, 0.35, 15, false, 0.5}, {300, 0.35, 30}, {60, 0.40, 0}}},
      {"4 layers, slip 0.9 and 0.3",
       {{6000, 0.35, 10, false, 0.9},
        {1500, 0.35, 15},
        {250, 0.35, 30, false, 0.3},
        {80, 0.40, 0}}},
  };
}

TEST(BackCalculation, RecoversTheModuliOfModelBasins) {
  struct Seed {
    const char* name;
    std::vector<double> factors;  // per layer; empty: 300 MPa everywhere
  };
  const Seed seeds[] = {
      {"30 % off", {1.3, 0.7, 1.3, 0.7}},
      {"twice", {2, 2, 2, 2}},
      {"half", {0.5, 0.5, 0.5, 0.5}},
      {"300 MPa everywhere", {}},
  };
  for (const RecoveryCase& c : recovery_cases()) {
    for (const Seed& seed : seeds) {
      for (int flag : {0, 1}) {
        SCOPED_TRACE(std::string(c.name) + ", seeds " + seed.name + ", regularization flag " +
                     std::to_string(flag));
        Problem p(c.layers, kEightSensors);
        if (seed.factors.empty()) {
          p.seed_all_mpa(300);
        } else {
          p.seed_with(seed.factors);
        }
        int n = p.run(flag);
        EXPECT_LT(n, 60);
        EXPECT_EQ(p.data.iteration_count, n);
        for (int i = 1; i <= p.input.n_layers; ++i) {
          double truth_mpa = p.truth[i - 1] * kMpaPerKgfCm2;
          EXPECT_NEAR(p.data.modulus_history(n, i), truth_mpa, 0.005 * truth_mpa) << "layer " << i;
        }
        EXPECT_EQ(p.console.str(), "");  // no solver trouble
      }
    }
  }
}

// Regression: non-finite deflections (a slipping pavement whose kernel overflowed) went on into the
// solvers, up to 400 "no convergence in svdcmp" pauses before the data set stopped with status 4.
// A computed deflection that is not a finite number (here from a seed modulus of 0, which the model
// divides by) stops the data set at once with its line, before any solver sees it: no svdcmp pause
// on the console and no shrinkage message.
TEST(BackCalculation, NonFiniteDeflectionStopsBeforeAnySolve) {
  for (int flag : {0, 1}) {
    for (std::size_t layer : {0u, 2u}) {
      SCOPED_TRACE("regularization flag " + std::to_string(flag) + ", layer " +
                   std::to_string(layer + 1));
      Problem p(recovery_cases()[1].layers, kEightSensors);
      p.input.layers.layer_modulus[layer] = 0;
      try {
        p.run(flag);
        ADD_FAILURE() << "no error";
      } catch (const BackCalculationError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "data set 1: the computed deflection at sensor 1 at iteration 1 is not a finite "
                  "number; no results are written");
      }
      EXPECT_EQ(p.console.str(), "");
    }
  }
}

TEST(BackCalculation, TruncationThresholdOfTheSvdPath) {
  // The 4-layer basin from seeds 30 % off: with the threshold 0 nothing is cut and the moduli come
  // back; 0.03 cuts the weakest direction, which then stays near its seed.
  for (double threshold : {0.0, 0.03}) {
    SCOPED_TRACE(threshold);
    Problem p(recovery_cases()[2].layers, kEightSensors, threshold);
    p.seed_with({1.3, 0.7, 1.3, 0.7});
    int n = p.run(0);
    double worst = 0;
    for (int i = 1; i <= 4; ++i) {
      double truth_mpa = p.truth[i - 1] * kMpaPerKgfCm2;
      worst = std::max(worst, std::fabs(p.data.modulus_history(n, i) / truth_mpa - 1));
    }
    if (threshold == 0) {
      EXPECT_LT(worst, 0.005);
    } else {
      EXPECT_GT(worst, 0.05);
    }
  }
}

TEST(BackCalculation, HistoryRowsFollowTheIterations) {
  Problem p(recovery_cases()[3].layers, kEightSensors);
  p.seed_with({1.3, 1, 0.7, 1.3});
  int n = p.run(0);
  ASSERT_GT(n, 2);
  for (int k = 1; k <= n + 1; ++k) {
    // The held layer is the same in every row.
    EXPECT_EQ(p.data.modulus_history(k, 2), p.data.modulus_history(1, 2));
  }
  // Row k+1 of the deflections belongs to the moduli of row k; row N+1 to the reported moduli.
  for (int k : {1, n}) {
    std::vector<double> moduli;
    for (int i = 1; i <= 4; ++i) moduli.push_back(p.data.modulus_history(k, i) / kMpaPerKgfCm2);
    std::vector<double> d = p.deflections(moduli);
    for (int j = 1; j <= 8; ++j) {
      EXPECT_NEAR(p.data.deflection_history(k + 1, j), d[j - 1], 1e-12 * d[j - 1]) << k;
    }
  }
  // Every step is limited to 10 % of the current modulus.
  for (int k = 1; k <= n; ++k) {
    for (int i = 1; i <= 4; ++i) {
      double before = p.data.modulus_history(k, i);
      EXPECT_LE(std::fabs(p.data.modulus_history(k + 1, i) - before), 0.1 * before * (1 + 1e-12));
    }
  }
}

TEST(BackCalculation, AllLayersHeldStopsAfterOneIteration) {
  std::vector<Layer> layers = {{3000, 0.35, 20, true}, {100, 0.40, 0, true}};
  for (int flag : {0, 1}) {
    SCOPED_TRACE(flag);
    Problem p(layers, kEightSensors);
    std::vector<double> seed = {2500 * kKgfCm2PerMpa, 120 * kKgfCm2PerMpa};
    p.input.layers.layer_modulus = seed;
    p.seed_rows();
    EXPECT_EQ(p.run(flag), 1);
    std::vector<double> d = p.deflections(seed);
    for (int i = 1; i <= 2; ++i) {
      EXPECT_EQ(p.data.modulus_history(2, i), p.data.modulus_history(1, i));
    }
    for (int j = 1; j <= 8; ++j) EXPECT_EQ(p.data.deflection_history(2, j), d[j - 1]);
    EXPECT_EQ(p.console.str(), "");
  }
}

TEST(BackCalculation, AllSingularValuesZeroGiveNoStep) {
  // Without load every deflection and so every Jacobian entry is 0.
  for (double truncation : {0.0, 0.001}) {
    SCOPED_TRACE(truncation);
    Problem p(recovery_cases()[1].layers, kEightSensors, truncation);
    p.input.plate_load = 0;
    p.set_measured(std::vector<double>(8, 0.01));
    EXPECT_EQ(p.run(0), 1);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_EQ(p.data.modulus_history(2, i), p.data.modulus_history(1, i));
    }
  }
}

TEST(BackCalculation, LargeStepsAreClippedToTenPercent) {
  // A half-space seeded at a third and at three times its modulus: the first proposed step is
  // about +2 and -2 in the scale factor (a negative modulus); the applied change is +-10 %.
  for (double factor : {1.0 / 3, 3.0}) {
    SCOPED_TRACE(factor);
    Problem p({{200, 0.40, 0}}, kEightSensors);
    p.seed_with({factor});
    int n = p.run(0);
    double seed = p.data.modulus_history(1, 1);
    double expected = factor < 1 ? 1.1 * seed : 0.9 * seed;
    EXPECT_NEAR(p.data.modulus_history(2, 1), expected, 1e-12 * seed);
    for (int k = 2; k <= n + 1; ++k) EXPECT_GT(p.data.modulus_history(k, 1), 0);
    EXPECT_NEAR(p.data.modulus_history(n, 1), 200, 1.0);
  }
}

TEST(BackCalculation, StepLimitBoundary) {
  const double f = 10.0;
  // |seed x step x f| equal to the current modulus (1 x 0.1 x 10 == 1 exactly): kept.
  EXPECT_EQ(limit_step(1.0, 1.0, 0.1, f), 0.1);
  EXPECT_EQ(limit_step(1.0, 1.0, -0.1, f), -0.1);
  const double above = std::nextafter(0.1, 1.0);
  EXPECT_EQ(limit_step(1.0, 1.0, above, f), 0.1);
  EXPECT_EQ(limit_step(1.0, 1.0, -above, f), -0.1);
  EXPECT_EQ(limit_step(2.0, 4.0, -7.0, f), -0.05);  // 10 % of 2 in steps of the seed 4
}

TEST(BackCalculation, UnsettledRunStopsAfterAHundredIterations) {
  // Measured deflections below zero: the half-space modulus grows by 10 % in every iteration.
  Problem p({{200, 0.40, 0}}, kEightSensors);
  p.set_measured(std::vector<double>(8, -0.001));
  EXPECT_EQ(p.run(0), 100);
  double ratio = p.data.modulus_history(101, 1) / p.data.modulus_history(1, 1);
  EXPECT_NEAR(ratio, std::pow(1.1, 100), 1e-9 * ratio);
  // Row 101 holds the deflections of iteration 100, whose modulus is row 100.
  std::vector<double> d = p.deflections({p.data.modulus_history(100, 1) / kMpaPerKgfCm2});
  for (int j = 1; j <= 8; ++j) {
    EXPECT_NEAR(p.data.deflection_history(101, j), d[j - 1], 1e-12 * d[j - 1]);
  }
}

TEST(BackCalculation, RejectsWhatItCannotSolve) {
  struct Case {
    const char* name;
    int flag;
    std::vector<int32_t> fixed;
    int n_sensors;
    bool accepted;
  };
  // clang-format off
  const Case cases[] = {
      {"SVD, free layers = sensors",          0, {0, 0, 0},    3, true},
      {"shrinkage, fewer free than sensors",  1, {0, 0, 1},    3, true},
      {"shrinkage, all held",                 1, {1, 1, 1},    1, true},
      {"regularization flag 2",               2, {0, 0, 0},    8, false},
      {"regularization flag -1",             -1, {0, 0, 0},    8, false},
      {"fix flag 2",                          0, {0, 2, 0},    8, false},
      {"fix flag -1",                         0, {0, -1, 0},   8, false},
      {"more free layers than sensors",       0, {0, 0, 0},    2, false},
      {"shrinkage, free layers = sensors",    1, {0, 0, 0},    3, false},
      {"21 sensors",                          0, {0, 0, 0},   21, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputData input;
    input.n_layers = static_cast<int>(c.fixed.size());
    input.n_sensors = c.n_sensors;
    input.layers.layer_fixed = c.fixed;
    if (c.accepted) {
      EXPECT_NO_THROW(check_back_calculation_input(input, c.flag));
    } else {
      EXPECT_THROW(check_back_calculation_input(input, c.flag), InputRejected);
    }
  }
  InputData twenty_one;
  twenty_one.n_layers = 21;
  twenty_one.n_sensors = 21;
  twenty_one.layers.layer_fixed.assign(21, 1);
  EXPECT_THROW(check_back_calculation_input(twenty_one, 0), InputRejected);
}

// Runs in a temporary folder, since write_results writes DEF.OUT and MODULI.OUT there.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(saved_); }
  test::TempDir dir_;
  std::filesystem::path saved_;
};

TEST_F(InTempDir, NonFiniteResultsReachNoFile) {
  for (int row : {2, 4}) {
    SCOPED_TRACE(row);
    Problem p(recovery_cases()[1].layers, kEightSensors);
    p.seed_with({1.3, 0.7, 1.3});
    int n = p.run(0);
    ASSERT_GE(n, 3);
    p.data.deflection_history(row, 5) = std::numeric_limits<double>::quiet_NaN();
    p.report.open(3, "report.out");
    DriverContext ctx{p.input, p.data, p.model, p.svd, p.solver, p.report, p.results};
    ctx.set_index = 1;
    try {
      write_results(ctx, n);
      ADD_FAILURE() << "no error";
    } catch (const BackCalculationError& e) {
      EXPECT_NE(std::string(e.what()).find("sensor 5 at iteration " + std::to_string(row - 1)),
                std::string::npos)
          << e.what();
    }
    p.report.close();
    EXPECT_EQ(test::read_file(dir_ / "report.out"), "");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "DEF.OUT"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "MODULI.OUT"));
  }
}

}  // namespace
}  // namespace orva
