// Shrinkage estimator on the SVD of the reduced system, and the state of the regularised solve.
#pragma once

#include <iostream>
#include <optional>
#include <span>

#include "least_squares.h"
#include "svd_reduced.h"

namespace orva {

// Everything solve_least_squares keeps between calls. The console receives its error records
// (and those of initialize_svd and VARPRD on the same states).
struct SolverState {
  SolverState() = default;
  explicit SolverState(std::ostream& out) : console(&out) {
    ls.console = &out;
    svd.console = &out;
  }

  LsState ls;
  SvdState svd;
  int ls_ierr = 0;
  std::ostream* console = &std::cout;
};

// Shrinkage estimate of the coefficients of positions 1..nreq of ls: beta = V diag(1/s) diag(f)
// U'B with the factor f(i) of the t-value t = z(i) / sigma (rule 1: t^2/(t^2+1); 2: 0.5 +
// sqrt(0.25 - 1/t^2) for |t| >= 2, else 0; 3: (t^2+1)/(t^2+2); 4: 1 - 1/t^2 for |t| >= 1, else 0)
// or ridge (rule 0: s^2/(s^2+k(i))). With fit_const, component 1 keeps f = 1. ridge_k needs nreq
// entries; shrinkage_complement nreq; coefficient_covariance nreq x nreq (leading dimension nreq).
// standardize (rule 0): columns scaled to unit norm (over rows first..i, first = 2 with a
// constant) before the decomposition; beta, the complement and the covariance are brought back
// to the original columns.
// ierr: 1 nreq > ncol; 2 rule outside 0..4; 3 beta shorter than nreq; 4 nobs <= nreq; 5 rule 0
// without ridge_k and standardize (beta untouched for 1..5); k > 0 from svd_decompose (the estimate
// is still formed). An exact fit (sigma = 0) keeps a nonzero component whole and drops a zero one.
void svd_shrinkage_estimate(LsState& ls,
                            SvdState& svd,
                            int nreq,
                            bool fit_const,
                            int rule,
                            std::span<double> beta,
                            int& ierr,
                            std::optional<std::span<const double>> ridge_k = std::nullopt,
                            std::optional<bool> standardize = std::nullopt,
                            std::optional<std::span<double>> shrinkage_complement = std::nullopt,
                            std::optional<std::span<double>> coefficient_covariance = std::nullopt);

}  // namespace orva
