#include "set_statistics.h"

#include <cmath>

namespace orva {

namespace {

// sample(s, v): the value of variable v (1-based) in set s (0-based).
template <typename Sample>
QuantityStatistics quantity_statistics(int n_sets, int n_vars, Sample sample) {
  QuantityStatistics q;
  const int n = n_vars < 0 ? 0 : n_vars;
  q.mean.assign(static_cast<size_t>(n), 0.0);
  q.std_dev.assign(static_cast<size_t>(n), 0.0);
  q.cv_percent.assign(static_cast<size_t>(n), 0.0);
  q.covariance.resize(n, n);
  q.correlation.resize(n, n);
  if (n_sets < 1) return q;

  for (int v = 1; v <= n; ++v) {
    double sum = 0.0;
    for (int s = 0; s < n_sets; ++s) sum += sample(s, v);
    q.mean[static_cast<size_t>(v - 1)] = sum / n_sets;
  }
  if (n_sets < 2) return q;

  // Two passes (deviations from the mean) keep the sums free of cancellation.
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      double sum = 0.0;
      for (int s = 0; s < n_sets; ++s) {
        sum += (sample(s, i) - q.mean[static_cast<size_t>(i - 1)]) *
               (sample(s, j) - q.mean[static_cast<size_t>(j - 1)]);
      }
      q.covariance(i, j) = sum / (n_sets - 1);
      q.covariance(j, i) = q.covariance(i, j);
    }
  }
  for (int v = 1; v <= n; ++v) {
    const size_t iv = static_cast<size_t>(v - 1);
    q.std_dev[iv] = std::sqrt(q.covariance(v, v));
    if (q.std_dev[iv] != 0.0) q.cv_percent[iv] = q.std_dev[iv] * 100.0 / q.mean[iv];
  }
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const double vi = q.covariance(i, i);
      const double vj = q.covariance(j, j);
      if (vi == 0.0 || vj == 0.0) continue;  // stays 0: no spread, no correlation
      q.correlation(i, j) = i == j ? 1.0 : q.covariance(i, j) / std::sqrt(vi * vj);
    }
  }
  return q;
}

double at(const std::vector<double>& values, int index_1based) {
  const size_t i = static_cast<size_t>(index_1based - 1);
  return i < values.size() ? values[i] : 0.0;
}

}  // namespace

SetStatistics compute_set_statistics(const SetTables& tables) {
  SetStatistics st;
  const int n_sets = static_cast<int>(tables.sets.size());
  const auto& sets = tables.sets;
  st.n_sets = n_sets;
  st.degrees_of_freedom = n_sets > 1 ? n_sets - 1 : 0;

  st.moduli = quantity_statistics(n_sets, tables.n_layers, [&](int s, int v) {
    return at(sets[static_cast<size_t>(s)].best_moduli, v);
  });
  st.error = quantity_statistics(n_sets, 1, [&](int s, int) {
    return static_cast<double>(sets[static_cast<size_t>(s)].best_error);
  });
  st.measured_deflection = quantity_statistics(n_sets, tables.n_sensors, [&](int s, int v) {
    return at(sets[static_cast<size_t>(s)].measured_deflection_um, v);
  });
  st.computed_deflection = quantity_statistics(n_sets, tables.n_sensors, [&](int s, int v) {
    return at(sets[static_cast<size_t>(s)].computed_deflection_um, v);
  });

  st.deflection_error_percent.resize(n_sets, tables.n_sensors);
  for (int s = 1; s <= n_sets; ++s) {
    const SetTable& set = sets[static_cast<size_t>(s - 1)];
    for (int j = 1; j <= tables.n_sensors; ++j) {
      st.deflection_error_percent(s, j) =
          std::fabs(1.0 - at(set.computed_deflection_um, j) / at(set.measured_deflection_um, j)) *
          100.0;
    }
  }
  return st;
}

}  // namespace orva
