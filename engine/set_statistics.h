// Statistics across the data sets of a run with several data sets, and the tables they are
// written from. The engine's main flow never calls these routines and keeps no per-set tables:
// a caller that wants them asks the driver to fill a SetTables (one SetTable per data set), then
// calls compute_set_statistics, write_statistics_summary or write_set_tables.
//
// Units: moduli in MPa, deflections in cm unless the name says micrometres (_um), errors in cm^2
// (the mean squared difference of measured and computed deflections, as in the iteration report).
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine_state.h"

namespace orva {

// What one data set leaves behind. Iterations count from 1; iteration k used the moduli of
// modulus_history row k and computed the deflections of deflection_history row k+1.
struct SetTable {
  std::string label;                    // first 20 bytes of the set's last drop note, blank-padded
  std::vector<double> mean_deflection;  // n_sensors, cm: the measured mean deflections
  int32_t final_iteration = 0;          // N
  int32_t best_iteration = 0;           // the iteration with the smallest error, 1..N
  std::vector<double> best_moduli;      // n_layers, MPa: the moduli of best_iteration
  float best_error = 0.0f;              // cm^2, the error of best_iteration
  // Largest / smallest singular value of the matrix decomposed at best_iteration (infinite when
  // one is 0), and the largest; both 0 when nothing was decomposed (no free layer).
  double condition_number = 0.0;
  double max_singular_value = 0.0;
  std::vector<double> measured_deflection_um;  // n_sensors: mean_deflection x 10000
  std::vector<double> computed_deflection_um;  // n_sensors: computed at best_iteration x 10000
  HistoryTable computed_deflections;           // N x n_sensors, cm: row k = computed at iteration k
  HistoryTable deflection_ratios;  // N x n_sensors: min(computed/measured, measured/computed)
};

// The per-set tables of a run and the run-wide values the writers need.
struct SetTables {
  int32_t n_layers = 0;
  int32_t n_sensors = 0;
  double regularization_parameter = 0.0;
  int32_t output_options[3] = {0, 0, 0};
  std::vector<double> sensor_offset;  // n_sensors, cm
  std::vector<SetTable> sets;         // in the order the data sets were run

  // Condition number and largest singular value of each iteration of the data set being run,
  // appended by note_singular_values and consumed by record_set; index k-1 holds iteration k.
  std::vector<double> pending_condition_number;
  std::vector<double> pending_max_singular_value;
};

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

// The summary of all sets: headings, one row per set (label, best iteration, condition number,
// largest singular value, error, moduli) and the rows "AVE   :", "STD   :", "COV(%):" of the
// moduli and "  J   :" (the mean error). Written to unit 8, the file "fort.8" in `folder`
// (created or emptied), and the four statistics rows also to `console` (LF line ends).
// Throws RuntimeFailure when the file cannot be written.
void write_statistics_summary(const SetTables& tables,
                              const std::filesystem::path& folder,
                              std::ostream& console);

// Per set: the counts, sensor offsets, measured and computed deflections (cm) to unit 7 (the file
// "fort.7" in `folder`); when the second output option is 1 the computed deflections of every
// iteration; when the third is 1 the deflection ratios of every iteration, also free-format to
// unit 10 ("fort.10"). A unit's file is created (or emptied) by its first record, so a unit that
// gets no record leaves no file. Throws RuntimeFailure when a file cannot be written.
void write_set_tables(const SetTables& tables, const std::filesystem::path& folder);

// Filling the tables from the driver of a run that asks for them (DriverContext::set_tables).
//
// note_singular_values: once per iteration, in order, with the singular values of the matrix
// the solver decomposed (before any is truncated); the driver calls it only when a Jacobian is
// decomposed, so a run without free layers notes nothing.
void note_singular_values(SetTables& tables, std::span<const double> w);
// record_set: once a data set's iterations are done (data.iteration_count = N, the histories
// filled, data.drop_note the note of the set's last drop); appends its SetTable, takes the
// run-wide values from `input` and clears the noted singular values for the next set. The best
// iteration is the first one of smallest error (iterations whose error is not a number are
// passed over; when every error is, the final one).
void record_set(SetTables& tables, const InputData& input, const DataSet& data);

}  // namespace orva
