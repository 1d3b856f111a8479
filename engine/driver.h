// The Gauss-Newton back-calculation of one data set, and the writing of its results.
//
// Unknowns are one scale factor per free layer (current modulus / seed modulus, 1 at the start).
// Each iteration runs the model with the current moduli (base run) and once more per free layer
// with that layer's modulus raised by 0.1 % (trial runs), forms the forward-difference Jacobian
// d(deflection)/d(scale factor), solves jacobian x step = measured - computed in the least-squares
// sense, limits every modulus change to 10 % of the current modulus and stops when no free
// modulus changes by more than convergence_tolerance (relative), or after max_iterations.
//
// Solvers: regularization_flag 0 takes the truncated SVD. The truncation (singular values below
// regularization_parameter x the largest are dropped; 0 drops none) is decided on the Jacobian in
// relative changes of the current moduli (each column times its layer's scale factor), so a
// modulus that has moved far from its seed is not cut off for that reason alone; the relative step
// is mapped back to the scale factor. regularization_flag 1 takes the shrinkage estimator (rule 2).
#pragma once

#include <stdexcept>

#include "engine_state.h"
#include "fortran_io.h"
#include "forward_model.h"
#include "runtime_failure.h"
#include "solvers.h"

namespace orva {

struct SetTables;  // set_tables.h

// The process-wide state that a back-calculation reaches; owned by engine_main.
struct DriverContext {
  const InputData& input;
  DataSet& data;  // mean deflections and row 1 of both histories filled by the reader
  ModelState& model;
  SvdWork& svd;
  SolverState& solver;
  OutputUnit& report;   // the iteration report, open for the whole run
  OutputUnit& results;  // the unit of DEF.OUT (MODULI.OUT takes a second unit of its sink)
  int set_index = 0;    // number of the data set being back-calculated, for messages
  // When set, each data set's tables for the set statistics are recorded here; engine_main
  // leaves it null, and it changes nothing that is written.
  SetTables* set_tables = nullptr;
};

// A data set whose results are not all finite numbers. engine_main writes "back-calculation
// error: " and the message on standard error and ends with kBackCalculationFailureStatus
// (engine_main.h); nothing of that data set has been written.
class BackCalculationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The model's view of the input data set (spans over its arrays; valid while input lives).
ModelInputs model_inputs(const InputData& input);

// Throws InputRejected (runtime_failure.h) for input the driver cannot solve: a regularization_flag
// other than 0 or 1, a layer_fixed other than 0 or 1, more free layers than sensors, the shrinkage
// estimator without more sensors than free layers, or counts outside 1..20 (the report's limit).
void check_back_calculation_input(const InputData& input, int regularization_flag);

// The iteration and the final run (input already checked). Fills deflection_history rows 2..N+1
// and modulus_history rows 2..N+1, sets iteration_count = N and returns N.
int run_gauss_newton(DriverContext& ctx, int regularization_flag);

// The step limit: a change of the scale factor `step` of a layer with seed modulus `seed` and
// current modulus `current` is cut to current / limit_factor (limit_factor = 100 / max change in
// percent) when it exceeds it, keeping its sign. A change of exactly the limit is kept.
double limit_step(double current, double seed, double step, double limit_factor);

// One data set: checks the input, iterates, then write_results(N).
void back_calculate(DriverContext& ctx, int set_index, int regularization_flag);

// Appends the iteration report of iterations 1..n to ctx.report, then rewrites DEF.OUT and
// MODULI.OUT. Throws BackCalculationError, before writing anything, when a reported modulus,
// deflection, error or match value is not a finite number; write failures throw RuntimeFailure.
void write_results(DriverContext& ctx, int n);

}  // namespace orva
