// The per-set tables of a run with several data sets, from which the statistics and the fort.N
// tables are made. The engine's main flow keeps no such tables: a caller that wants them asks the
// driver to fill a SetTables (DriverContext::set_tables), one SetTable per data set.
//
// Units: moduli in MPa, deflections in cm unless the name says micrometres (_um), errors in cm^2
// (the mean squared difference of measured and computed deflections, as in the iteration report).
#pragma once

#include <cstdint>
#include <span>
#include <string>
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
