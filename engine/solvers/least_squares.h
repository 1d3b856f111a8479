// Square-root-free Givens reduction for least squares, A' W A = R' D R and A' W y = R' D rhs,
// with R unit upper triangular (Miller, Applied Statistics Algorithm AS 274, 1992).
// Positions count from 1; arrays are stored 0-based (position i at index i - 1).
//
// The engine's shrinkage path (solve_least_squares) uses ls_start, ls_add_row, ls_coefficients
// and ls_residual_sums. The other routines (tolerances and singularities, covariance, inverse of
// R, partial correlations, moving and reordering variables, hat diagonal, VARPRD, the transposed
// solve) are kept as library routines for the analysis of a fit: a run of the engine never calls
// them; tests and other callers of the solver library may.
#pragma once

#include <iostream>
#include <optional>
#include <span>
#include <vector>

namespace orva {

struct LsState {
  int nobs = 0;        // observations added since ls_start (rows with weight 0 included)
  int ncol = 0;        // variables, plus 1 with a constant term
  int r_dim = 0;       // ncol (ncol - 1) / 2
  double sserr = 0.0;  // residual sum of squares left by all ncol columns
  double vsmall = 0.0;
  std::vector<double> d;    // row multipliers D
  std::vector<double> rhs;  // projections of the response
  std::vector<double> r;    // strict upper triangle of R by rows: R(1,2..ncol), R(2,3..ncol), ...
  std::vector<double> tol;  // per-column tolerance, valid while tol_set
  std::vector<double>
      rss;  // rss(i): residual sum of squares of positions 1..i, valid while rss_set
  std::vector<int> vorder;   // variable held in each position
  std::vector<int> row_ptr;  // 1-based position in r of R(i, i+1); 0 for the last row
  bool initialized = false;
  bool tol_set = false;
  bool rss_set = false;
  std::ostream* console = &std::cout;  // VARPRD's error record
};

// 10 times the smallest positive normal double: the threshold of the zero tests.
inline constexpr double kLsVsmall = 2.2250738585072014e-307;

// Restarts an empty reduction of nvar variables (+1 column for a constant when fit_const).
void ls_start(LsState& ls, int nvar, bool fit_const);

// Adds one weighted observation; xrow needs ncol entries and is left holding what the rotations
// leave of the row. A weight below vsmall in magnitude only counts the row.
void ls_add_row(LsState& ls, double weight, std::span<double> xrow, double yelem);

// Coefficients of positions 1..nreq. ifault: 0; 4 when nreq is outside 1..ncol (beta untouched);
// -i when position i (the smallest such) is linearly dependent: beta(i) = 0 and d(i) = 0.
void ls_coefficients(LsState& ls, std::span<double> beta, int nreq, int& ifault);

// tol(col) = eps1 * (sqrt|d(col)| + sum of |R(row,col)| sqrt|d(row)|), eps1 = max(|eps|, 10 *
// 2^-52).
void ls_set_tolerances(LsState& ls, std::optional<double> eps = std::nullopt);

// rss(ncol) = sserr; rss(i-1) = rss(i) + d(i) rhs(i)^2.
void ls_residual_sums(LsState& ls);

// Marks positions with sqrt|d(i)| <= tol(i) as dependent and moves their rows of R into the
// later positions. ifault = minus the number of dependent positions.
void ls_find_singularities(LsState& ls, std::span<bool> lindep, int& ifault);

// covmat: var (R'DR)^-1 of positions 1..nreq, upper triangle packed by rows (nreq(nreq+1)/2
// entries), var = rss(nreq) / (nobs - nreq); sterr: square roots of its diagonal.
// ifault: 1 dimcov too small; -i |d(i)| < vsmall (the last such i <= nreq); 2 nobs <= nreq.
void ls_covariance(LsState& ls,
                   int nreq,
                   double& var,
                   std::span<double> covmat,
                   int dimcov,
                   std::span<double> sterr,
                   int& ifault);

// Inverse of the leading nreq x nreq unit triangle of R, packed like r with row length nreq
// (nreq(nreq-1)/2 entries).
void ls_invert_r(const LsState& ls, int nreq, std::span<double> rinv);

// Partial correlations among positions in+1..ncol with 1..in forced in (cormat: upper triangle
// by rows without the diagonal) and with the response (ycorr(in+1..ncol); ycorr(1..in) = 0).
// ifault: 4 in outside 0..ncol-1, +8 dimc < (ncol-in)(ncol-in-1)/2; -i a position whose sum of
// squares is <= 0 (the last such).
void ls_partial_correlations(const LsState& ls,
                             int in,
                             std::span<double> cormat,
                             int dimc,
                             std::span<double> ycorr,
                             int& ifault);

// Moves the variable in position from to position to by rotations of neighbours.
// ifault: 4 from outside 1..ncol, +8 to outside 1..ncol.
void ls_move_variable(LsState& ls, int from, int to, int& ifault);

// Brings the n variables of list to positions pos1..pos1+n-1 in the order they are met.
// ifault: 4 n < 1 or n > ncol + 1 - pos1; 8 a variable of list is not in positions pos1..ncol.
void ls_reorder(LsState& ls, std::span<const int> list, int n, int pos1, int& ifault);

// Diagonal element of the hat matrix for xrow over positions 1..nreq. ifault: 4 nreq > ncol.
void ls_hat_diagonal(
    const LsState& ls, std::span<const double> xrow, int nreq, double& hii, int& ifault);

// Variance of the prediction x'b over positions 1..nreq. On an error (4: nreq outside 1..ncol,
// +8: nobs <= nreq) writes " Error in function VARPRD: ifault =" and the code (I4) to the
// console and returns 0.
double VARPRD(const LsState& ls, std::span<const double> x, int nreq);

// Solves R'b = x over positions 1..nreq, top row first.
void ls_solve_transposed(const LsState& ls,
                         std::span<const double> x,
                         std::span<double> b,
                         int nreq);

}  // namespace orva
