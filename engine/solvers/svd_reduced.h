// SVD of the reduced system X = D^(1/2) R, B = D^(1/2) rhs of the first nreq positions of an
// LsState, by Householder bidiagonalisation and implicit-shift QR (Golub-Reinsch), carrying B
// along as U'B so that U itself is not formed.
#pragma once

#include <iostream>
#include <span>
#include <vector>

#include "least_squares.h"

namespace orva {

struct SvdState {
  bool exists = false;  // false until the first initialize_svd
  int nreq = 0;
  std::vector<double> X;  // nreq x nreq, column-major, leading dimension nreq
  std::vector<double> V;  // nreq x nreq
  std::vector<double> s;  // nreq
  std::vector<double> B;  // nreq x svd_rhs_columns
  // QR sweeps allowed per singular value in the decompositions made for this state; 30 in the
  // engine, lowered by tests to reach the no-convergence code.
  int max_sweeps = 30;
  std::ostream* console = &std::cout;  // initialize_svd's error records
};

// Column count of B passed to svd_decompose.
inline constexpr int svd_rhs_columns = 1;

// Sizes the state for nreq (a negative nreq counts as 0) and loads it from ls when
// nreq <= ncol; otherwise writes " Error in call to initialize_svd" and " nreq = " I10
// " > ncol = " I6 to the console and leaves the arrays zero.
void initialize_svd(SvdState& svd, const LsState& ls, int nreq);

// X(i,i) = sqrt(d(i)), X(i,j) = sqrt(d(i)) R(i,j), B(i) = sqrt(d(i)) rhs(i) for positions 1..nreq.
void svd_load_from_ls(SvdState& svd, const LsState& ls, int nreq);

// SVD of the m x n matrix a (m >= n), leading dimensions lda, ldv, ldb; s gets the singular
// values in non-increasing order (a stable sort), v the right singular vectors when want_v, a the
// left ones when want_u, b (nb columns) becomes U'b.
// info: 0; -1 nb < 0; -2 m < n; -3 lda < m or ldb < m; -4 ldv < n (nothing changed);
// k > 0 when singular value k has not converged after max_sweeps (30) sweeps (nothing sorted).
void svd_decompose(int lda,
                   int ldv,
                   int ldb,
                   int m,
                   int n,
                   std::span<double> s,
                   bool want_u,
                   std::span<double> a,
                   bool want_v,
                   std::span<double> v,
                   std::span<double> b,
                   int nb,
                   int& info,
                   int max_sweeps = 30);

// Exchanges n elements of x and y taken with strides incx and incy (level-1 BLAS DSWAP).
void swap_vectors(int n, std::span<double> x, int incx, std::span<double> y, int incy);

}  // namespace orva
