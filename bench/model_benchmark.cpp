// Cost of one forward-model call (all sensors) as the Gauss-Newton driver makes it: the moduli
// change from call to call, the sensors and layers stay. "fast" is compute_deflections (table built
// once, kernel once per abscissa for all sensors and in batches of a vector register's width,
// Bessel values and decay factors kept for the run); "straightforward" is
// compute_deflections_uncached, which gives the same bits. "kernel" is the batched kernel alone on
// the abscissae of one call, on each instruction set the processor has.
#include <benchmark/benchmark.h>

#include <vector>

#include "forward_model.h"

namespace {

struct Structure {
  std::vector<double> modulus;  // kgf/cm2
  std::vector<double> poisson;
  std::vector<double> thickness;  // cm
  std::vector<double> slip;
};

const std::vector<double> kOffsets = {0, 20, 30, 45, 60, 90, 120, 150};  // cm

// clang-format off
const Structure kStructures[] = {
  {{40000, 2000, 800},         {0.35, 0.35, 0.4},       {15, 30, 0},     {0, 0, 0}},
  {{50000, 30000, 1500, 600},  {0.35, 0.35, 0.4, 0.45}, {5, 10, 25, 0},  {0, 0, 0.5, 0}},
  {{30000, 1500, 500},         {0.35, 0.4, 0.45},       {10, 300, 0},    {0, 0, 0}},
  {{50000, 30000, 1500, 600},  {0.35, 0.35, 0.4, 0.45}, {5, 10, 25, 0},  {0.9, 0, 0.5, 0}},
};
// clang-format on

// The structure under the benchmarks' plate: 4900 kgf on a radius of 15 cm.
orva::ModelInputs inputs_of(const Structure& s) {
  return {static_cast<int>(s.modulus.size()),
          static_cast<int>(kOffsets.size()),
          s.poisson,
          s.thickness,
          s.slip,
          kOffsets,
          4900,
          15};
}

enum class Path { kFast, kFirstCall, kStraightforward };

template <Path kPath>
void BM_ComputeDeflections(benchmark::State& bench) {
  const Structure& s = kStructures[bench.range(0)];
  const orva::ModelInputs inputs = inputs_of(s);
  orva::ModelState state;
  std::vector<double> moduli = s.modulus;
  std::vector<double> deflections(kOffsets.size());
  std::size_t call = 0;
  for (auto _ : bench) {
    // One modulus perturbed per call, as the driver does for its Jacobian.
    moduli = s.modulus;
    moduli[call % moduli.size()] *= 1.05;
    ++call;
    if constexpr (kPath == Path::kFast) {
      orva::compute_deflections(state, inputs, moduli, deflections);
    } else if constexpr (kPath == Path::kFirstCall) {
      orva::ModelState fresh;
      orva::compute_deflections(fresh, inputs, moduli, deflections);
    } else {
      orva::compute_deflections_uncached(state, inputs, moduli, deflections);
    }
    benchmark::DoNotOptimize(deflections.data());
    benchmark::ClobberMemory();
  }
  if constexpr (kPath != Path::kFirstCall)
    bench.counters["sublayers"] = state.layers.n_model_layers;
  if constexpr (kPath == Path::kFast) bench.counters["abscissae"] = state.cache.n_used;
}

// The batched kernel alone at the abscissae that one call of structure 1 asks for.
void BM_Kernel(benchmark::State& bench) {
  const auto isa = static_cast<orva::KernelIsa>(bench.range(0));
  if (!orva::kernel_isa_available(isa)) {
    bench.SkipWithError("not available on this processor");
    return;
  }
  const Structure& s = kStructures[1];
  const orva::ModelInputs inputs = inputs_of(s);
  orva::ModelState state;
  std::vector<double> deflections(kOffsets.size());
  orva::compute_deflections(state, inputs, s.modulus, deflections);
  const std::vector<double>& m = state.cache.used;
  const std::size_t rows = state.terms.size() - 1;
  std::vector<double> load(m.size(), -0.5);
  std::vector<double> decay;
  for (double x : m) {
    for (std::size_t r = 0; r < rows; ++r) decay.push_back(orva::decay_factor(x, state.terms[r].h));
  }
  std::vector<double> response(m.size());
  for (auto _ : bench) {
    orva::layer_system_responses(state.terms, m, load, decay, response, isa);
    benchmark::DoNotOptimize(response.data());
    benchmark::ClobberMemory();
  }
  bench.counters["abscissae"] = static_cast<double>(m.size());
}

void structures(benchmark::internal::Benchmark* b) {
  b->ArgName("structure")->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);
}

BENCHMARK_TEMPLATE(BM_ComputeDeflections, Path::kFast)->Name("fast")->Apply(structures);
BENCHMARK_TEMPLATE(BM_ComputeDeflections, Path::kFirstCall)
    ->Name("fast, first call")
    ->Apply(structures);
BENCHMARK_TEMPLATE(BM_ComputeDeflections, Path::kStraightforward)
    ->Name("straightforward")
    ->Apply(structures);
BENCHMARK(BM_Kernel)
    ->Name("kernel, structure 1")
    ->ArgName("isa (0 plain, 1 AVX2, 2 AVX-512)")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
