// Statistics across the data sets of a run with several data sets, computed from the per-set
// tables (set_tables.h). A library routine: the engine's main flow never calls it.
//
// Units: moduli in MPa, deflections in micrometres, errors in cm^2.
#pragma once

#include <cstdint>
#include <vector>

#include "engine_state.h"
#include "set_tables.h"

namespace orva {

// Mean, covariance and derived values of n variables observed once per data set.
// Matrices are n x n with 1-based access.
struct QuantityStatistics {
  std::vector<double> mean;        // n
  HistoryTable covariance;         // sum of products of deviations / (sets - 1)
  std::vector<double> std_dev;     // square root of the variance (covariance diagonal)
  std::vector<double> cv_percent;  // std_dev x 100 / mean
  HistoryTable correlation;        // covariance(i, j) / sqrt(variance(i) x variance(j))
};

// Statistics over the data sets of a SetTables.
//
// No spread can be estimated from fewer than two data sets, and a variable that is the same in
// every set (a held layer's modulus) has none. So that no table shows a value that is not a
// number, such cases are given definite values:
// - fewer than two sets: the covariance, standard deviation and coefficient of variation are 0;
// - no sets at all: the means are 0 as well;
// - a standard deviation of 0 gives a coefficient of variation of 0 whatever the mean;
// - a correlation involving a variable of zero variance is 0 (its diagonal entry included); the
//   diagonal entry of any other variable is exactly 1.
// degrees_of_freedom (sets - 1, at least 0) tells a reader whether the spread was estimated.
struct SetStatistics {
  int32_t n_sets = 0;
  int32_t degrees_of_freedom = 0;
  QuantityStatistics moduli;               // n_layers variables: best_moduli
  QuantityStatistics error;                // one variable: best_error
  QuantityStatistics measured_deflection;  // n_sensors variables: measured_deflection_um
  QuantityStatistics computed_deflection;  // n_sensors variables: computed_deflection_um
  // sets x n_sensors: |1 - computed / measured| x 100 from the micrometre deflections.
  HistoryTable deflection_error_percent;
};

// Pure computation over the tables; writes nothing. An entry that a set lacks counts as 0.
SetStatistics compute_set_statistics(const SetTables& tables);

}  // namespace orva
