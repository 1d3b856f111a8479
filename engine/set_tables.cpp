#include "set_tables.h"

#include <cmath>
#include <cstddef>

#include "engine_constants.h"
#include "report.h"

namespace orva {

namespace {

constexpr size_t kLabelLength = 20;

double pending_value(const std::vector<double>& values, int k) {
  const size_t i = static_cast<size_t>(k - 1);
  return k >= 1 && i < values.size() ? values[i] : 0.0;
}

}  // namespace

void note_singular_values(SetTables& tables, std::span<const double> w) {
  double largest = 0.0, smallest = 0.0;
  for (size_t q = 0; q < w.size(); ++q) {
    if (q == 0 || w[q] > largest) largest = w[q];
    if (q == 0 || w[q] < smallest) smallest = w[q];
  }
  // A zero singular value makes the condition number infinite; no values leave both 0.
  tables.pending_condition_number.push_back(w.empty() ? 0.0 : largest / smallest);
  tables.pending_max_singular_value.push_back(largest);
}

void record_set(SetTables& tables, const InputData& input, const DataSet& data) {
  const int nl = input.n_layers;
  const int np = input.n_sensors;
  tables.n_layers = nl;
  tables.n_sensors = np;
  tables.regularization_parameter = input.regularization_parameter;
  for (int i = 0; i < 3; ++i) tables.output_options[i] = input.output_options[i];
  tables.sensor_offset = input.sensor_offset;

  SetTable set;
  set.label = data.drop_note.substr(0, kLabelLength);
  set.label.resize(kLabelLength, ' ');
  set.mean_deflection.assign(data.mean_deflection.begin(), data.mean_deflection.end());
  const int n = data.iteration_count;
  set.final_iteration = n;

  int best = 0;
  float best_error = 0.0f;
  for (int k = 1; k <= n; ++k) {
    const float e = iteration_error(data, np, k);
    if (std::isnan(e)) continue;
    if (best == 0 || e < best_error) {
      best = k;
      best_error = e;
    }
  }
  if (best == 0 && n >= 1) {
    best = n;
    best_error = iteration_error(data, np, n);
  }
  set.best_iteration = best;
  set.best_error = best_error;
  set.condition_number = pending_value(tables.pending_condition_number, best);
  set.max_singular_value = pending_value(tables.pending_max_singular_value, best);

  for (int j = 1; j <= np; ++j) {
    set.measured_deflection_um.push_back(data.deflection_history(1, j) * kMicrometresPerCm);
  }
  if (best >= 1) {
    for (int i = 1; i <= nl; ++i) set.best_moduli.push_back(data.modulus_history(best, i));
    for (int j = 1; j <= np; ++j) {
      set.computed_deflection_um.push_back(data.deflection_history(best + 1, j) *
                                           kMicrometresPerCm);
    }
  }
  set.computed_deflections.resize(n, np);
  set.deflection_ratios.resize(n, np);
  for (int k = 1; k <= n; ++k) {
    for (int j = 1; j <= np; ++j) {
      const double m = data.deflection_history(1, j);
      const double c = data.deflection_history(k + 1, j);
      set.computed_deflections(k, j) = c;
      const double up = c / m, down = m / c;
      set.deflection_ratios(k, j) = down < up ? down : up;
    }
  }
  tables.sets.push_back(std::move(set));
  tables.pending_condition_number.clear();
  tables.pending_max_singular_value.clear();
}

}  // namespace orva
