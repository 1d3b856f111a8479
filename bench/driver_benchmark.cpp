// One whole back-calculation (iterations and the final run, without writing files) of a basin
// that the model computed for known moduli, from seeds 30 % off.
//   build/bench/driver_benchmark
// Counters: iterations N and forward runs N x (free layers + 1) + 1 per back-calculation.
// "cold": a fresh model state per back-calculation, as in one run of the engine; "warm": one
// state kept across back-calculations, as for the later data sets of a run.
#include <benchmark/benchmark.h>

#include <sstream>
#include <vector>

#include "driver.h"
#include "report.h"

namespace orva {
namespace {

constexpr double kKgfCm2PerMpa = 10.197162129779283;

struct Case {
  std::vector<double> moduli_mpa;
  std::vector<double> poisson;
  std::vector<double> thickness_cm;
  std::vector<double> offsets_cm;
};

const Case& bench_case(int n_layers) {
  static const Case three = {
      {5000, 300, 60}, {0.35, 0.35, 0.40}, {15, 30, 0}, {0, 20, 30, 45, 60, 90, 120, 150}};
  static const Case four = {{6000, 1500, 250, 80},
                            {0.35, 0.35, 0.35, 0.40},
                            {10, 15, 30, 0},
                            {0, 20, 30, 45, 60, 90, 120, 150, 180, 210}};
  return n_layers == 3 ? three : four;
}

void BM_BackCalculation(benchmark::State& state) {
  const Case& c = bench_case(static_cast<int>(state.range(0)));
  const bool warm = state.range(1) != 0;
  const int nl = static_cast<int>(c.moduli_mpa.size());
  const int np = static_cast<int>(c.offsets_cm.size());

  InputData input;
  input.n_layers = nl;
  input.n_sensors = np;
  input.layers.layer_fixed.assign(static_cast<size_t>(nl), 0);
  input.layers.layer_poisson = c.poisson;
  input.layers.layer_thickness = c.thickness_cm;
  input.layers.layer_slip.assign(static_cast<size_t>(nl), 0.0);
  input.sensor_offset = c.offsets_cm;
  input.plate_load = 49.0 * 101.97162129779282;
  input.plate_radius = 15.0;
  input.regularization_parameter = nl <= 3 ? 0.001 : 0.03;
  DataSet data;
  data.mean_deflection.resize(static_cast<size_t>(np));
  data.deflection_history.resize(input.max_iterations + 2, np);
  data.modulus_history.resize(input.max_iterations + 2, nl);

  // The measured basin: the model's deflections for the true moduli.
  std::vector<double> truth;
  for (double e : c.moduli_mpa) truth.push_back(e * kKgfCm2PerMpa);
  {
    ModelState model;
    ModelInputs m{nl,
                  np,
                  input.layers.layer_poisson,
                  input.layers.layer_thickness,
                  input.layers.layer_slip,
                  input.sensor_offset,
                  input.plate_load,
                  input.plate_radius};
    compute_deflections(model, m, truth, data.mean_deflection);
  }
  for (int j = 1; j <= np; ++j) data.deflection_history(1, j) = data.mean_deflection[j - 1];
  for (int i = 0; i < nl; ++i) {
    input.layers.layer_modulus.push_back(truth[i] * (i % 2 == 0 ? 1.3 : 0.7));
  }

  std::ostringstream console;
  std::istringstream console_in;
  SvdWork svd(console, console_in);
  SolverState solver(console);
  OutputUnit report;
  OutputUnit results;
  ModelState kept;
  int n = 0;
  for (auto _ : state) {
    ModelState fresh;
    DriverContext ctx{input, data, warm ? kept : fresh, svd, solver, report, results};
    n = run_gauss_newton(ctx, 0);
    benchmark::DoNotOptimize(data.modulus_history.values.data());
  }
  state.counters["iterations"] = n;
  state.counters["forward_runs"] = n * (nl + 1) + 1;
  state.counters["layer1_MPa"] = data.modulus_history(n, 1);
}

// One forward run of the same pavement with a kept state and moduli that change between runs, as
// the driver's runs do: the model's share of a back-calculation.
void BM_ForwardRun(benchmark::State& state) {
  const Case& c = bench_case(static_cast<int>(state.range(0)));
  const int nl = static_cast<int>(c.moduli_mpa.size());
  const int np = static_cast<int>(c.offsets_cm.size());
  std::vector<double> slip(static_cast<size_t>(nl), 0.0);
  ModelInputs m{
      nl, np, c.poisson, c.thickness_cm, slip, c.offsets_cm, 49.0 * 101.97162129779282, 15.0};
  std::vector<double> moduli;
  for (double e : c.moduli_mpa) moduli.push_back(e * kKgfCm2PerMpa);
  std::vector<double> d(static_cast<size_t>(np));
  ModelState model;
  double factor = 1.001;
  for (auto _ : state) {
    moduli[0] *= factor;
    factor = 1.0 / factor;
    compute_deflections(model, m, moduli, d);
    benchmark::DoNotOptimize(d.data());
  }
}

BENCHMARK(BM_ForwardRun)->Arg(3)->Arg(4)->ArgName("layers")->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_BackCalculation)
    ->ArgsProduct({{3, 4}, {0, 1}})
    ->ArgNames({"layers", "warm"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orva

BENCHMARK_MAIN();
