// Entries of the solver library that the Gauss-Newton driver calls.
#pragma once

#include <span>

#include "shrinkage.h"  // SolverState: LsState, SvdState, ls_ierr and the console
#include "svd.h"        // SvdWork: work vectors of svdcmp / svd_back_substitute and the console

namespace orva {

// A = U diag(w) V^T in place: a is m x n with leading dimension m and receives U; w gets n
// singular values; v receives V (n x n, leading dimension m). Needs n <= m. The singular values
// are not sorted. A value that has not converged by the 30th iteration pauses on the console
// (SvdWork) until an empty line or the end of input, then the routine carries on.
void svdcmp(
    SvdWork& work, std::span<double> a, int m, int n, std::span<double> w, std::span<double> v);

// x = V diag(1/w) U^T b, components with w exactly 0 left out; writes x[0..n-1] only.
void svd_back_substitute(SvdWork& work,
                         std::span<const double> u,
                         std::span<const double> w,
                         std::span<const double> v,
                         int m,
                         int n,
                         std::span<const double> b,
                         std::span<double> x);

// Regularised least squares of jacobian (nobs x npar, leading dimension nobs) x step = residual.
// method 1: shrinkage estimate with the given rule; 0: ordinary least squares plus SVD; other:
// nothing. A nonzero error code (state.ls_ierr) is written to the console as " Error: ierr = " and
// the code.
void solve_least_squares(SolverState& state,
                         int rule,
                         std::span<const double> residual,
                         std::span<const double> jacobian,
                         int nobs,
                         int npar,
                         std::span<double> step,
                         int method);

}  // namespace orva
