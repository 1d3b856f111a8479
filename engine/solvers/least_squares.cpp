// Orthogonal-reduction least squares (AS 274) and its regression utilities.
#include "least_squares.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace orva {
namespace {

// Index in ls.r of R(i,j), i < j (positions from 1).
std::size_t r_index(const LsState& ls, int i, int j) {
  return static_cast<std::size_t>(ls.row_ptr[i - 1] + (j - i - 1) - 1);
}

}  // namespace

void ls_start(LsState& ls, int nvar, bool fit_const) {
  ls.vsmall = kLsVsmall;
  ls.nobs = 0;
  ls.ncol = fit_const ? nvar + 1 : nvar;
  if (ls.ncol < 0) ls.ncol = 0;
  const auto ncol = static_cast<std::size_t>(ls.ncol);
  ls.r_dim = ls.ncol * (ls.ncol - 1) / 2;
  // tol and rss are not meaningful until computed; they start at zero.
  ls.d.assign(ncol, 0.0);
  ls.rhs.assign(ncol, 0.0);
  ls.r.assign(static_cast<std::size_t>(ls.r_dim), 0.0);
  ls.tol.assign(ncol, 0.0);
  ls.rss.assign(ncol, 0.0);
  ls.vorder.assign(ncol, 0);
  ls.row_ptr.assign(ncol, 0);
  ls.sserr = 0.0;
  for (int i = 1; i <= ls.ncol; ++i) ls.vorder[i - 1] = fit_const ? i - 1 : i;
  if (ls.ncol >= 1) {
    ls.row_ptr[0] = ls.ncol > 1 ? 1 : 0;
    for (int i = 2; i <= ls.ncol - 1; ++i) {
      ls.row_ptr[i - 1] = ls.row_ptr[i - 2] + ls.ncol - i + 1;
    }
    ls.row_ptr[ls.ncol - 1] = 0;
  }
  ls.initialized = true;
  ls.tol_set = false;
  ls.rss_set = false;
}

void ls_add_row(LsState& ls, double weight, std::span<double> xrow, double yelem) {
  ls.nobs += 1;
  double w = weight;
  double y = yelem;
  ls.rss_set = false;
  int nextr = 1;
  for (int i = 1; i <= ls.ncol; ++i) {
    if (std::fabs(w) < ls.vsmall) return;
    const double xi = xrow[i - 1];
    if (std::fabs(xi) < ls.vsmall) {
      nextr += ls.ncol - i;
      continue;
    }
    const double di = ls.d[i - 1];
    const double wxi = w * xi;
    const double dpi = di + wxi * xi;
    const double cbar = di / dpi;
    const double sbar = wxi / dpi;
    w = cbar * w;
    ls.d[i - 1] = dpi;
    for (int k = i + 1; k <= ls.ncol; ++k) {
      const double xk = xrow[k - 1];
      double& rk = ls.r[nextr - 1];
      xrow[k - 1] = xk - xi * rk;
      rk = cbar * rk + sbar * xk;
      nextr += 1;
    }
    const double xk = y;
    y = xk - xi * ls.rhs[i - 1];
    ls.rhs[i - 1] = cbar * ls.rhs[i - 1] + sbar * xk;
  }
  ls.sserr += w * y * y;
}

void ls_set_tolerances(LsState& ls, std::optional<double> eps) {
  constexpr double kDefault = 10.0 * 2.220446049250313e-16;
  const double eps1 = eps ? std::fmax(std::fabs(*eps), kDefault) : kDefault;
  std::vector<double> work(static_cast<std::size_t>(ls.ncol));
  for (int i = 1; i <= ls.ncol; ++i) work[i - 1] = std::sqrt(std::fabs(ls.d[i - 1]));
  for (int col = 1; col <= ls.ncol; ++col) {
    double total = work[col - 1];
    int pos = col - 1;  // R(1,col), 1-based
    for (int row = 1; row <= col - 1; ++row) {
      total += std::fabs(ls.r[pos - 1]) * work[row - 1];
      pos += ls.ncol - row - 1;
    }
    ls.tol[col - 1] = eps1 * total;
  }
  ls.tol_set = true;
}

void ls_coefficients(LsState& ls, std::span<double> beta, int nreq, int& ifault) {
  ifault = 0;
  if (nreq < 1 || nreq > ls.ncol) {
    ifault = 4;
    return;
  }
  if (!ls.tol_set) ls_set_tolerances(ls);
  for (int i = nreq; i >= 1; --i) {
    if (ls.tol[i - 1] > std::sqrt(ls.d[i - 1])) {
      beta[i - 1] = 0.0;
      ls.d[i - 1] = 0.0;
      ifault = -i;
    } else {
      double b = ls.rhs[i - 1];
      for (int j = i + 1; j <= nreq; ++j) b -= ls.r[r_index(ls, i, j)] * beta[j - 1];
      beta[i - 1] = b;
    }
  }
}

void ls_residual_sums(LsState& ls) {
  if (ls.ncol < 1) {
    ls.rss_set = true;
    return;
  }
  double total = ls.sserr;
  ls.rss[ls.ncol - 1] = ls.sserr;
  for (int i = ls.ncol; i >= 2; --i) {
    total += ls.d[i - 1] * ls.rhs[i - 1] * ls.rhs[i - 1];
    ls.rss[i - 2] = total;
  }
  ls.rss_set = true;
}

void ls_find_singularities(LsState& ls, std::span<bool> lindep, int& ifault) {
  ifault = 0;
  const int ncol = ls.ncol;
  std::vector<double> work(static_cast<std::size_t>(ncol));
  for (int i = 1; i <= ncol; ++i) work[i - 1] = std::sqrt(std::fabs(ls.d[i - 1]));
  if (!ls.tol_set) ls_set_tolerances(ls);
  std::vector<double> x(static_cast<std::size_t>(ncol));
  for (int col = 1; col <= ncol; ++col) {
    lindep[col - 1] = false;
    if (work[col - 1] > ls.tol[col - 1]) continue;
    lindep[col - 1] = true;
    ifault -= 1;
    if (col < ncol) {
      // Move row col of R into a work row and add it back, weighted by the old d(col), to the
      // later positions.
      std::fill(x.begin(), x.end(), 0.0);
      for (int j = col + 1; j <= ncol; ++j) {
        const std::size_t p = r_index(ls, col, j);
        x[j - 1] = ls.r[p];
        ls.r[p] = 0.0;
      }
      const double weight = ls.d[col - 1];
      const double y = ls.rhs[col - 1];
      ls.d[col - 1] = 0.0;
      ls.rhs[col - 1] = 0.0;
      ls_add_row(ls, weight, x, y);
      ls.nobs -= 1;
    } else {
      ls.sserr += ls.d[col - 1] * ls.rhs[col - 1] * ls.rhs[col - 1];
    }
  }
}

void ls_invert_r(const LsState& ls, int nreq, std::span<double> rinv) {
  // Position of Rinv(i,j), i < j, packed by rows of length nreq (1-based).
  auto at = [nreq](int i, int j) {
    return static_cast<std::size_t>((i - 1) * (2 * nreq - i) / 2 + (j - i) - 1);
  };
  for (int row = nreq - 1; row >= 1; --row) {
    for (int col = nreq; col >= row + 1; --col) {
      double total = -ls.r[r_index(ls, row, col)];
      for (int k = row + 1; k <= col - 1; ++k) {
        total -= ls.r[r_index(ls, row, k)] * rinv[at(k, col)];
      }
      rinv[at(row, col)] = total;
    }
  }
}

void ls_covariance(LsState& ls,
                   int nreq,
                   double& var,
                   std::span<double> covmat,
                   int dimcov,
                   std::span<double> sterr,
                   int& ifault) {
  ifault = 0;
  if (dimcov < nreq * (nreq + 1) / 2) {
    ifault = 1;
    return;
  }
  for (int row = 1; row <= nreq; ++row) {
    if (std::fabs(ls.d[row - 1]) < ls.vsmall) ifault = -row;
  }
  if (ifault != 0) return;
  if (ls.nobs <= nreq) {
    ifault = 2;
    return;
  }
  if (!ls.rss_set) ls_residual_sums(ls);
  var = ls.rss[nreq - 1] / (ls.nobs - nreq);

  std::vector<double> rinv(static_cast<std::size_t>(nreq * (nreq - 1) / 2));
  ls_invert_r(ls, nreq, rinv);
  // Rinv(i,j) with its unit diagonal.
  auto rinv_at = [&](int i, int j) {
    if (i == j) return 1.0;
    return rinv[static_cast<std::size_t>((i - 1) * (2 * nreq - i) / 2 + (j - i) - 1)];
  };
  // (R'DR)^-1 = Rinv D^-1 Rinv'.
  std::size_t pos = 0;
  for (int row = 1; row <= nreq; ++row) {
    for (int col = row; col <= nreq; ++col) {
      double total = 0.0;
      for (int k = col; k <= nreq; ++k) total += rinv_at(row, k) * rinv_at(col, k) / ls.d[k - 1];
      covmat[pos++] = total * var;
      if (col == row) sterr[row - 1] = std::sqrt(total * var);
    }
  }
}

void ls_partial_correlations(const LsState& ls,
                             int in,
                             std::span<double> cormat,
                             int dimc,
                             std::span<double> ycorr,
                             int& ifault) {
  const int ncol = ls.ncol;
  ifault = 0;
  if (in < 0 || in > ncol - 1) ifault += 4;
  if (dimc < (ncol - in) * (ncol - in - 1) / 2) ifault += 8;
  if (ifault != 0) return;
  // R(k,j) with its unit diagonal.
  auto rr = [&](int k, int j) { return k == j ? 1.0 : ls.r[r_index(ls, k, j)]; };
  // Cross products of the residuals of positions in+1..ncol and of the response after
  // positions 1..in: S(i,j) = sum over k = in+1..min(i,j) of d(k) R(k,i) R(k,j).
  auto cross = [&](int i, int j) {
    double total = 0.0;
    for (int k = in + 1; k <= std::min(i, j); ++k) total += ls.d[k - 1] * rr(k, i) * rr(k, j);
    return total;
  };
  std::vector<double> inv_norm(static_cast<std::size_t>(ncol), 0.0);
  for (int i = in + 1; i <= ncol; ++i) {
    const double sumxx = cross(i, i);
    if (sumxx > 0.0) {
      inv_norm[i - 1] = 1.0 / std::sqrt(sumxx);
    } else {
      ifault = -i;
    }
  }
  double sumyy = ls.sserr;
  for (int k = in + 1; k <= ncol; ++k) sumyy += ls.d[k - 1] * ls.rhs[k - 1] * ls.rhs[k - 1];
  const double inv_y = sumyy > 0.0 ? 1.0 / std::sqrt(sumyy) : 0.0;

  for (int i = 1; i <= in; ++i) ycorr[i - 1] = 0.0;
  for (int i = in + 1; i <= ncol; ++i) {
    double sumxy = 0.0;
    for (int k = in + 1; k <= i; ++k) sumxy += ls.d[k - 1] * rr(k, i) * ls.rhs[k - 1];
    ycorr[i - 1] = sumxy * inv_norm[i - 1] * inv_y;
  }
  std::size_t pos = 0;
  for (int i = in + 1; i <= ncol; ++i) {
    for (int j = i + 1; j <= ncol; ++j) {
      cormat[pos++] = cross(i, j) * inv_norm[i - 1] * inv_norm[j - 1];
    }
  }
}

void ls_move_variable(LsState& ls, int from, int to, int& ifault) {
  const int ncol = ls.ncol;
  ifault = 0;
  if (from < 1 || from > ncol) ifault += 4;
  if (to < 1 || to > ncol) ifault += 8;
  if (ifault != 0) return;
  if (from == to) return;
  if (!ls.rss_set) ls_residual_sums(ls);

  int first, last, inc;
  if (from < to) {
    first = from;
    last = to - 1;
    inc = 1;
  } else {
    first = from - 1;
    last = to;
    inc = -1;
  }
  for (int m = first; inc > 0 ? m <= last : m >= last; m += inc) {
    // Exchange positions m and m+1 (1-based indices into r are m1 and m2).
    int m1 = ls.row_ptr[m - 1];
    int m2 = ls.row_ptr[m];
    const int mp1 = m + 1;
    const double d1 = ls.d[m - 1];
    const double d2 = ls.d[mp1 - 1];
    auto r = [&](int p) -> double& { return ls.r[static_cast<std::size_t>(p - 1)]; };
    if (!(d1 < ls.vsmall && d2 < ls.vsmall)) {
      double x = r(m1);
      if (std::fabs(x) * std::sqrt(d1) < ls.tol[mp1 - 1]) x = 0.0;
      if (d1 < ls.vsmall || std::fabs(x) < ls.vsmall) {
        ls.d[m - 1] = d2;
        ls.d[mp1 - 1] = d1;
        r(m1) = 0.0;
        for (int col = m + 2; col <= ncol; ++col) {
          m1 += 1;
          std::swap(r(m1), r(m2));
          m2 += 1;
        }
        std::swap(ls.rhs[m - 1], ls.rhs[mp1 - 1]);
      } else if (d2 < ls.vsmall) {
        ls.d[m - 1] = d1 * x * x;
        r(m1) = 1.0 / x;
        for (int p = m1 + 1; p <= m1 + ncol - m - 1; ++p) r(p) /= x;
        ls.rhs[m - 1] /= x;
      } else {
        // Planar rotation in the regular case.
        const double d1new = d2 + d1 * x * x;
        const double cbar = d2 / d1new;
        const double sbar = x * d1 / d1new;
        const double d2new = d1 * cbar;
        ls.d[m - 1] = d1new;
        ls.d[mp1 - 1] = d2new;
        r(m1) = sbar;
        for (int col = m + 2; col <= ncol; ++col) {
          m1 += 1;
          const double y = r(m1);
          r(m1) = cbar * r(m2) + sbar * y;
          r(m2) = y - x * r(m2);
          m2 += 1;
        }
        const double y = ls.rhs[m - 1];
        ls.rhs[m - 1] = cbar * ls.rhs[mp1 - 1] + sbar * y;
        ls.rhs[mp1 - 1] = y - x * ls.rhs[mp1 - 1];
      }
    }
    // Exchange columns m and m+1 in rows 1..m-1.
    int pos = m;
    for (int row = 1; row <= m - 1; ++row) {
      std::swap(r(pos), r(pos - 1));
      pos += ncol - row - 1;
    }
    std::swap(ls.vorder[m - 1], ls.vorder[mp1 - 1]);
    std::swap(ls.tol[m - 1], ls.tol[mp1 - 1]);
    ls.rss[m - 1] = ls.rss[mp1 - 1] + ls.d[mp1 - 1] * ls.rhs[mp1 - 1] * ls.rhs[mp1 - 1];
  }
}

void ls_reorder(LsState& ls, std::span<const int> list, int n, int pos1, int& ifault) {
  ifault = 0;
  if (n < 1 || n > ls.ncol + 1 - pos1) {
    ifault = 4;
    return;
  }
  int next = pos1;
  for (int i = pos1; i <= ls.ncol; ++i) {
    const int variable = ls.vorder[i - 1];
    bool listed = false;
    for (int j = 1; j <= n; ++j) listed = listed || variable == list[j - 1];
    if (!listed) continue;
    if (i > next) ls_move_variable(ls, i, next, ifault);
    next += 1;
    if (next >= n + pos1) return;
  }
  ifault = 8;
}

void ls_hat_diagonal(
    const LsState& ls, std::span<const double> xrow, int nreq, double& hii, int& ifault) {
  ifault = 0;
  if (nreq > ls.ncol) {
    ifault = 4;
    return;
  }
  hii = 0.0;
  std::vector<double> z(static_cast<std::size_t>(std::max(nreq, 0)), 0.0);
  for (int col = 1; col <= nreq; ++col) {
    if (std::sqrt(ls.d[col - 1]) <= ls.tol[col - 1]) continue;  // z(col) = 0
    int pos = col - 1;
    double total = xrow[col - 1];
    for (int row = 1; row <= col - 1; ++row) {
      total -= z[row - 1] * ls.r[pos - 1];
      pos += ls.ncol - row - 1;
    }
    z[col - 1] = total;
    hii += total * total / ls.d[col - 1];
  }
}

double VARPRD(const LsState& ls, std::span<const double> x, int nreq) {
  int ifault = 0;
  if (nreq < 1 || nreq > ls.ncol) ifault += 4;
  if (ls.nobs <= nreq) ifault += 8;
  if (ifault != 0) {
    char record[64];
    std::snprintf(record, sizeof record, " Error in function VARPRD: ifault =%4d\n", ifault);
    *ls.console << record << std::flush;
    return 0.0;
  }
  const double var = ls.sserr / (ls.nobs - nreq);
  std::vector<double> z(static_cast<std::size_t>(nreq));
  ls_solve_transposed(ls, x, z, nreq);
  double total = 0.0;
  for (int row = 1; row <= nreq; ++row) {
    if (ls.d[row - 1] > ls.tol[row - 1]) total += z[row - 1] * z[row - 1] / ls.d[row - 1];
  }
  return total * var;
}

void ls_solve_transposed(const LsState& ls,
                         std::span<const double> x,
                         std::span<double> b,
                         int nreq) {
  for (int row = 1; row <= nreq; ++row) {
    int pos = row - 1;
    double temp = x[row - 1];
    for (int col = 1; col <= row - 1; ++col) {
      temp -= ls.r[pos - 1] * b[col - 1];
      pos += ls.ncol - col - 1;
    }
    b[row - 1] = temp;
  }
}

}  // namespace orva
