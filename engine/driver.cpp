#include "driver.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "report.h"
#include "results_files.h"
#include "set_tables.h"

namespace orva {

namespace {

// Relative increment of a modulus in a trial run.
constexpr double kTrialIncrement = 0.001;
// Shrinkage rule of the regularised solve.
constexpr int kShrinkageRule = 2;

[[noreturn]] void reject(const std::string& what) { throw InputRejected{what}; }

// Working arrays of one back-calculation, sized once from NL and NP; indices 0-based.
struct Work {
  Work(int nl, int np, int n_free)
      : scale_factor(static_cast<size_t>(nl), 1.0),
        current_moduli(static_cast<size_t>(nl)),
        evaluated_moduli(static_cast<size_t>(nl)),
        trial_moduli(static_cast<size_t>(nl)),
        base_deflections(static_cast<size_t>(np)),
        trial_deflections(static_cast<size_t>(n_free) * static_cast<size_t>(np)),
        residual(static_cast<size_t>(np)),
        jacobian(static_cast<size_t>(np) * static_cast<size_t>(np)),
        svd_w(static_cast<size_t>(nl)),
        svd_v(static_cast<size_t>(np) * static_cast<size_t>(np)),
        step(static_cast<size_t>(nl)),
        free_layers() {}

  std::vector<double> scale_factor;
  std::vector<double> current_moduli;    // kgf/cm2
  std::vector<double> evaluated_moduli;  // the moduli of the current iteration
  std::vector<double> trial_moduli;
  std::vector<double> base_deflections;   // cm
  std::vector<double> trial_deflections;  // row q (free layer q) of NP values
  std::vector<double> residual;           // measured - computed, cm
  std::vector<double> jacobian;           // NP x n_free used, leading dimension NP
  std::vector<double> svd_w;
  std::vector<double> svd_v;        // n_free x n_free used, leading dimension NP
  std::vector<double> step;         // change of the free layers' scale factors, in layer order
  std::vector<size_t> free_layers;  // layer index (0-based) of free layer q
};

// Solves jacobian x step = residual for the n_free unknowns; step is zero beforehand.
void solve_step(DriverContext& ctx, Work& w, int regularization_flag) {
  const int np = ctx.input.n_sensors;
  const int n_free = static_cast<int>(w.free_layers.size());
  std::fill(w.step.begin(), w.step.end(), 0.0);
  // Nothing to solve when every layer is held; the step stays zero.
  if (n_free == 0) return;
  const size_t used = static_cast<size_t>(np) * static_cast<size_t>(n_free);
  std::span<double> jacobian(w.jacobian.data(), used);
  std::span<double> step(w.step.data(), static_cast<size_t>(n_free));

  if (regularization_flag == 1) {
    solve_least_squares(
        ctx.solver, kShrinkageRule, w.residual, jacobian, np, n_free, step, regularization_flag);
    if (ctx.set_tables != nullptr) note_singular_values(*ctx.set_tables, ctx.solver.svd.s);
    return;
  }

  // Truncated SVD on the Jacobian in relative changes of the current moduli: column q times the
  // scale factor of its layer. At the seed (all factors 1) this is the Jacobian itself.
  for (int q = 0; q < n_free; ++q) {
    double s = w.scale_factor[w.free_layers[static_cast<size_t>(q)]];
    for (int j = 0; j < np; ++j) jacobian[static_cast<size_t>(q) * np + j] *= s;
  }
  std::span<double> sv(w.svd_w.data(), static_cast<size_t>(n_free));
  std::span<double> v(w.svd_v.data(), used);
  svdcmp(ctx.svd, jacobian, np, n_free, sv, v);
  if (ctx.set_tables != nullptr) note_singular_values(*ctx.set_tables, sv);
  const double threshold = ctx.input.regularization_parameter;
  if (threshold != 0.0) {
    const double cut = *std::max_element(sv.begin(), sv.end()) * threshold;
    for (double& value : sv) {
      if (value < cut) value = 0.0;
    }
  }
  svd_back_substitute(ctx.svd, jacobian, sv, v, np, n_free, w.residual, step);
  for (int q = 0; q < n_free; ++q) {
    step[static_cast<size_t>(q)] *= w.scale_factor[w.free_layers[static_cast<size_t>(q)]];
  }
}

template <typename Value>
void require_finite(Value value, const DriverContext& ctx, const std::string& what) {
  if (!std::isfinite(value)) {
    throw BackCalculationError("data set " + std::to_string(ctx.set_index) + ": " + what +
                               " is not a finite number; no results are written");
  }
}

// A deflection that is not a finite number stops the data set before it reaches a solver.
void require_finite_deflections(const DriverContext& ctx, std::span<const double> d, int k) {
  for (size_t j = 0; j < d.size(); ++j) {
    require_finite(d[j],
                   ctx,
                   "the computed deflection at sensor " + std::to_string(j + 1) + " at iteration " +
                       std::to_string(k));
  }
}

}  // namespace

ModelInputs model_inputs(const InputData& input) {
  ModelInputs m;
  m.n_layers = input.n_layers;
  m.n_sensors = input.n_sensors;
  m.layer_poisson = input.layers.layer_poisson;
  m.layer_thickness = input.layers.layer_thickness;
  m.layer_slip = input.layers.layer_slip;
  m.sensor_offset = input.sensor_offset;
  m.plate_load = input.plate_load;
  m.plate_radius = input.plate_radius;
  return m;
}

void check_back_calculation_input(const InputData& input, int regularization_flag) {
  const int nl = input.n_layers;
  const int np = input.n_sensors;
  if (nl < 1 || nl > kMaxLayers || np < 1 || np > kMaxSensors) {
    reject("the number of layers (" + std::to_string(nl) + ") and of sensors (" +
           std::to_string(np) + ") must each be between 1 and 20");
  }
  if (regularization_flag != 0 && regularization_flag != 1) {
    reject("regularization flag " + std::to_string(regularization_flag) +
           " selects no solver (0 = singular value decomposition, 1 = shrinkage estimator)");
  }
  int n_free = 0;
  for (int i = 0; i < nl; ++i) {
    int fixed = input.layers.layer_fixed[static_cast<size_t>(i)];
    if (fixed != 0 && fixed != 1) {
      reject("layer " + std::to_string(i + 1) + ": fix flag " + std::to_string(fixed) +
             " is neither 0 (back-calculated) nor 1 (held)");
    }
    if (fixed == 0) ++n_free;
  }
  if (n_free > np) {
    reject(std::to_string(n_free) + " free layers but only " + std::to_string(np) +
           " sensors: there may be at most as many free layers as sensors");
  }
  if (regularization_flag == 1 && n_free > 0 && n_free >= np) {
    reject(std::to_string(n_free) + " free layers and " + std::to_string(np) +
           " sensors: the shrinkage estimator needs more sensors than free layers");
  }
}

int run_gauss_newton(DriverContext& ctx, int regularization_flag) {
  const InputData& in = ctx.input;
  DataSet& data = ctx.data;
  const int nl = in.n_layers;
  const int np = in.n_sensors;
  const std::vector<double>& seed = in.layers.layer_modulus;
  const std::vector<int32_t>& fixed = in.layers.layer_fixed;
  const ModelInputs model = model_inputs(in);
  const double limit_factor = 100.0 / in.max_change_percent;

  int n_free = 0;
  for (int32_t f : fixed) n_free += f == 0 ? 1 : 0;
  Work w(nl, np, n_free);
  for (size_t l = 0; l < static_cast<size_t>(nl); ++l) {
    if (fixed[l] == 0) w.free_layers.push_back(l);
    w.current_moduli[l] = w.scale_factor[l] * seed[l];
  }

  int k = 0;
  for (;;) {
    ++k;
    // Base run with the moduli of iteration k.
    compute_deflections(ctx.model, model, w.current_moduli, w.base_deflections);
    require_finite_deflections(ctx, w.base_deflections, k);
    for (int j = 1; j <= np; ++j) {
      data.deflection_history(k + 1, j) = w.base_deflections[static_cast<size_t>(j - 1)];
    }

    // One trial run per free layer, that layer's modulus raised by 0.1 %.
    for (size_t q = 0; q < w.free_layers.size(); ++q) {
      size_t l = w.free_layers[q];
      w.trial_moduli = w.current_moduli;
      w.trial_moduli[l] = w.current_moduli[l] * (1.0 + kTrialIncrement);
      std::span<double> trial(&w.trial_deflections[q * static_cast<size_t>(np)],
                              static_cast<size_t>(np));
      compute_deflections(ctx.model, model, w.trial_moduli, trial);
      require_finite_deflections(ctx, trial, k);
    }

    // Forward differences in the scale factor, whose increment is 0.001 x scale factor.
    for (size_t j = 0; j < static_cast<size_t>(np); ++j) {
      for (size_t q = 0; q < w.free_layers.size(); ++q) {
        double t = w.trial_deflections[q * static_cast<size_t>(np) + j];
        w.jacobian[q * static_cast<size_t>(np) + j] =
            (t - w.base_deflections[j]) / (kTrialIncrement * w.scale_factor[w.free_layers[q]]);
      }
      w.residual[j] = data.mean_deflection[j] - w.base_deflections[j];
    }

    solve_step(ctx, w, regularization_flag);

    // Update, the step limited to max_change_percent of the current modulus.
    int unsettled = 0;
    size_t q = 0;
    for (size_t l = 0; l < static_cast<size_t>(nl); ++l) {
      if (fixed[l] == 1) {
        w.evaluated_moduli[l] = w.current_moduli[l];
      } else {
        const double e0 = seed[l];
        double& step = w.step[q++];
        step = limit_step(w.current_moduli[l], e0, step, limit_factor);
        w.evaluated_moduli[l] = w.scale_factor[l] * e0;
        w.scale_factor[l] = w.scale_factor[l] + step;
        w.current_moduli[l] = w.scale_factor[l] * e0;
        // A relative change that is not a number counts as unsettled.
        double change = std::fabs(e0 * step / w.evaluated_moduli[l]);
        if (!(change <= in.convergence_tolerance)) ++unsettled;
      }
      data.modulus_history(k + 1, static_cast<int>(l) + 1) = w.current_moduli[l] * kMpaPerKgfCm2;
    }
    if (unsettled == 0 || k >= in.max_iterations) break;
  }

  // The reported result is iteration k: its moduli, and their deflections run once more.
  compute_deflections(ctx.model, model, w.evaluated_moduli, w.base_deflections);
  for (int j = 1; j <= np; ++j) {
    data.deflection_history(k + 1, j) = w.base_deflections[static_cast<size_t>(j - 1)];
  }
  data.iteration_count = k;
  return k;
}

double limit_step(double current, double seed, double step, double limit_factor) {
  // A clipped step keeps its sign and moves the modulus by exactly the limit, so it never turns
  // a positive modulus negative.
  if (current < std::fabs(seed * step * limit_factor)) {
    double clipped = std::fabs(current) / (limit_factor * seed);
    return step < 0 ? -clipped : clipped;
  }
  return step;
}

void back_calculate(DriverContext& ctx, int set_index, int regularization_flag) {
  ctx.set_index = set_index;
  check_back_calculation_input(ctx.input, regularization_flag);
  int n = run_gauss_newton(ctx, regularization_flag);
  write_results(ctx, n);
  if (ctx.set_tables != nullptr) record_set(*ctx.set_tables, ctx.input, ctx.data);
}

void write_results(DriverContext& ctx, int n) {
  const InputData& in = ctx.input;
  DataSet& data = ctx.data;
  const int nl = in.n_layers;
  const int np = in.n_sensors;
  std::vector<float> errors(static_cast<size_t>(n));
  compute_iteration_errors(data, np, n, errors);
  compute_match_table(data, np, n);

  // Nothing that is not a finite number reaches a file.
  for (int k = 1; k <= n; ++k) {
    const std::string iteration = " at iteration " + std::to_string(k);
    for (int i = 1; i <= nl; ++i) {
      require_finite(
          data.modulus_history(k, i), ctx, "the modulus of layer " + std::to_string(i) + iteration);
    }
    for (int j = 1; j <= np; ++j) {
      require_finite(data.deflection_history(k + 1, j),
                     ctx,
                     "the computed deflection at sensor " + std::to_string(j) + iteration);
      require_finite(data.match_table(k, j),
                     ctx,
                     "the deflection match at sensor " + std::to_string(j) + iteration);
    }
    require_finite(errors[static_cast<size_t>(k - 1)], ctx, "the error" + iteration);
  }
  for (int j = 1; j <= np; ++j) {
    require_finite(data.deflection_history(1, j),
                   ctx,
                   "the measured deflection at sensor " + std::to_string(j));
  }

  std::vector<std::string> records;
  append_report_records(in, data, errors, n, records);
  for (const std::string& record : records) ctx.report.write_record(record);
  write_result_files(ctx.results, in, data, errors[static_cast<size_t>(n - 1)], n);
}

}  // namespace orva
