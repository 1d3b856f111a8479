// Golub-Reinsch singular value decomposition of the driver's Jacobian and the truncated
// back-substitution (svdcmp and svd_back_substitute are declared in solvers.h).
#pragma once

#include <iostream>
#include <span>
#include <vector>

namespace orva {

// Work vectors of svdcmp and svd_back_substitute, and the console of the no-convergence pause.
// The vectors are resized per call; their contents mean nothing between calls.
struct SvdWork {
  SvdWork() = default;
  SvdWork(std::ostream& out, std::istream& in) : console_out(&out), console_in(&in) {}

  std::ostream* console_out = &std::cout;
  std::istream* console_in = &std::cin;
  // Iteration on which svdcmp pauses for a singular value that has not converged; 30 in the
  // engine, lowered by tests to reach the pause.
  int max_iterations = 30;
  std::vector<double> e;  // superdiagonal of the bidiagonal form
  std::vector<double> t;  // U^T b / w in svd_back_substitute
};

// sqrt(a^2 + b^2) without overflow or destructive underflow.
double safe_hypot(double a, double b);

// Like svd_back_substitute with leading dimension 20 (m, n <= 20), but a nonzero w(j) gives the
// damped coefficient (u_j^T b / w(j)) * w(j)^2 / (w(j)^2 + alpha^2); a zero w(j) gives 0.
// Kept as a library routine (a ridge solution from a decomposition already made): a run of the
// engine never calls it; tests and other callers of the solver library may.
void svd_damped_solve(std::span<const double> u,
                      std::span<const double> w,
                      std::span<const double> v,
                      int m,
                      int n,
                      std::span<const double> b,
                      std::span<double> x,
                      double alpha);

// out = b diag(1/w) a for a (n x m), b (n x n), out (n x m), all with leading dimension 20; every
// w(i) below the single-precision 1.0e-5 is first raised to it in the caller's array. Kept as a
// library routine like svd_damped_solve: a run of the engine never calls it.
void svd_scaled_product_20(std::span<const double> a,
                           std::span<double> w,
                           std::span<const double> b,
                           int n,
                           int m,
                           std::span<double> out);

}  // namespace orva
