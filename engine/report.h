// The iteration report of one data set: the banner and five sections (problem, final result,
// moduli of every iteration, deflections of every iteration, match of every iteration), and the
// two values it computes from the history tables.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "engine_constants.h"
#include "engine_state.h"

namespace orva {

// The error of iteration k: the mean over the sensors of the squared
// difference between measured (deflection_history row 1) and computed (row k+1) deflections, in
// cm^2. Each term is formed in double precision; the running sum is rounded to single precision
// after every addition.
float iteration_error(const DataSet& data, int n_sensors, int k);
// iteration_error(k), k = 1..n, into errors[k-1].
void compute_iteration_errors(const DataSet& data, int n_sensors, int n, std::span<float> errors);

// match_table rows 1..n: 1 - |m - d| / m with m measured and d computed at iteration k; values of
// 0 or below are stored as 0 (a NaN stays NaN).
void compute_match_table(DataSet& data, int n_sensors, int n);

// Appends the report records of one data set (without line ends). `errors` holds
// iteration_error(1..n); match_table rows 1..n must be computed. n_layers and n_sensors are at
// most 20, so every table row is one record.
void append_report_records(const InputData& input,
                           const DataSet& data,
                           std::span<const float> errors,
                           int n,
                           std::vector<std::string>& records);

}  // namespace orva
