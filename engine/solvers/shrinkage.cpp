// Shrinkage estimator on the SVD of the reduced system, and the regularised solve entry.
#include "shrinkage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "matrix_view.h"
#include "solvers.h"

namespace orva {
namespace {

// Shrinkage factor of one component under rules 1 to 4 for the t-value t.
double t_factor(int rule, double t) {
  const double t2 = t * t;
  switch (rule) {
    case 1:
      return t2 / (t2 + 1.0);
    case 2:
      return std::fabs(t) >= 2.0 ? 0.5 + std::sqrt(0.25 - 1.0 / t2) : 0.0;
    case 3:
      return (t2 + 1.0) / (t2 + 2.0);
    default:
      return std::fabs(t) >= 1.0 ? 1.0 - 1.0 / t2 : 0.0;
  }
}

// Free-format console record " Error: ierr = " followed by the code in a field of its own.
void write_ierr(std::ostream& out, int code) {
  char record[48];
  std::snprintf(record, sizeof record, " Error: ierr = %12d\n", code);
  out << record << std::flush;
}

}  // namespace

void svd_shrinkage_estimate(LsState& ls,
                            SvdState& svd,
                            int nreq,
                            bool fit_const,
                            int rule,
                            std::span<double> beta,
                            int& ierr,
                            std::optional<std::span<const double>> ridge_k,
                            std::optional<bool> standardize,
                            std::optional<std::span<double>> shrinkage_complement,
                            std::optional<std::span<double>> coefficient_covariance) {
  if (nreq > ls.ncol) {
    ierr = 1;
  } else if (rule < 0 || rule > 4) {
    ierr = 2;
  } else if (nreq > 0 && beta.size() < static_cast<std::size_t>(nreq)) {
    ierr = 3;
  } else if (ls.nobs <= nreq) {
    ierr = 4;
  } else if (rule == 0 && (!ridge_k || !standardize)) {
    ierr = 5;
  } else {
    ierr = 0;
  }
  if (ierr != 0) return;

  initialize_svd(svd, ls, nreq);
  const int n = svd.nreq;
  const auto un = static_cast<std::size_t>(n);
  const ColumnMajor<double> x{svd.X.data(), n};
  const ColumnMajor<double> v{svd.V.data(), n};
  const int first = fit_const ? 2 : 1;
  std::vector<double> f(un, 0.0);
  if (fit_const && n >= 1) f[0] = 1.0;

  // Column standardisation (ridge only). The norm is taken over rows first..i, but the whole
  // column is divided by it, so that dividing the coefficient by the norm afterwards gives the
  // coefficient of the original column also when a constant is fitted.
  const bool scaled = rule == 0 && standardize && *standardize;
  std::vector<double> norm(un, 1.0);
  if (scaled) {
    for (int i = first; i <= n; ++i) {
      double sum = 0.0;
      for (int r = first; r <= i; ++r) sum += x(r, i) * x(r, i);
      norm[i - 1] = std::sqrt(sum);
      for (int r = 1; r <= i; ++r) x(r, i) /= norm[i - 1];
    }
  }

  // The status stays in ierr; the estimate is formed from whatever the decomposition left.
  svd_decompose(n,
                n,
                n,
                n,
                n,
                svd.s,
                false,
                svd.X,
                true,
                svd.V,
                svd.B,
                svd_rhs_columns,
                ierr,
                svd.max_sweeps);
  if (n == 0) return;

  ls_residual_sums(ls);
  const double sigma = std::sqrt(ls.rss[nreq - 1] / (ls.nobs - nreq));
  const double rsigma = 1.0 / sigma;

  for (int i = first; i <= n; ++i) {
    double& z = svd.B[i - 1];
    if (rule == 0) {
      const double s2 = svd.s[i - 1] * svd.s[i - 1];
      f[i - 1] = s2 / (s2 + (*ridge_k)[i - 1]);
      z *= f[i - 1];
    } else if (sigma == 0.0) {
      // Exact fit: t is infinite for a nonzero component, which is kept whole; a zero
      // component stays 0 instead of becoming not-a-number.
      f[i - 1] = z != 0.0 ? 1.0 : 0.0;
    } else {
      const double t = z * rsigma;
      f[i - 1] = t_factor(rule, t);
      z = f[i - 1] == 0.0 && (rule == 2 || rule == 4) ? 0.0 : f[i - 1] * z;
    }
  }

  std::vector<double> q(un);
  // A component with a zero singular value (a zero or duplicated column) contributes nothing.
  for (int i = 1; i <= n; ++i) q[i - 1] = svd.s[i - 1] != 0.0 ? svd.B[i - 1] / svd.s[i - 1] : 0.0;
  auto v_times = [&](const std::vector<double>& c, std::span<double> out) {
    for (int j = 1; j <= n; ++j) {
      double sum = 0.0;
      for (int i = 1; i <= n; ++i) sum += v(j, i) * c[i - 1];
      out[j - 1] = sum;
    }
    if (scaled) {
      for (int i = first; i <= n; ++i) out[i - 1] /= norm[i - 1];
    }
  };
  v_times(q, beta);

  if (shrinkage_complement) {
    for (int i = 1; i <= n; ++i) q[i - 1] = (1.0 - f[i - 1]) * q[i - 1];
    v_times(q, *shrinkage_complement);
  }

  if (coefficient_covariance) {
    std::span<double> cov = *coefficient_covariance;
    const ColumnMajor<double> c{cov.data(), n};
    // (V diag(sigma f / s)) (V diag(sigma f / s))' = sigma^2 V diag((f/s)^2) V'.
    std::vector<double> vd(un * un);
    const ColumnMajor<double> w{vd.data(), n};
    for (int j = 1; j <= n; ++j) {
      const double dj = svd.s[j - 1] != 0.0 ? sigma * f[j - 1] / svd.s[j - 1] : 0.0;
      for (int i = 1; i <= n; ++i) w(i, j) = v(i, j) * dj;
    }
    for (int j = 1; j <= n; ++j) {
      for (int i = 1; i <= n; ++i) {
        double sum = 0.0;
        for (int k = 1; k <= n; ++k) sum += w(i, k) * w(j, k);
        c(i, j) = sum;
      }
    }
    // Back to the original columns, as for the coefficients: row and column i divided by norm(i).
    if (scaled) {
      for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) c(i, j) /= norm[i - 1] * norm[j - 1];
      }
    }
  }
}

void solve_least_squares(SolverState& state,
                         int rule,
                         std::span<const double> residual,
                         std::span<const double> jacobian,
                         int nobs,
                         int npar,
                         std::span<double> step,
                         int method) {
  ls_start(state.ls, npar, false);
  const ColumnMajor<const double> jac{jacobian.data(), nobs};
  std::vector<double> row(static_cast<std::size_t>(std::max(npar, 0)));
  for (int i = 1; i <= nobs; ++i) {
    for (int j = 1; j <= npar; ++j) row[j - 1] = jac(i, j);
    ls_add_row(state.ls, 1.0, row, residual[i - 1]);
  }
  if (method == 1) {
    svd_shrinkage_estimate(state.ls, state.svd, npar, false, rule, step, state.ls_ierr);
  } else if (method == 0) {
    ls_coefficients(state.ls, step, npar, state.ls_ierr);
    initialize_svd(state.svd, state.ls, npar);
    const int n = state.svd.nreq;
    svd_decompose(n,
                  n,
                  n,
                  n,
                  n,
                  state.svd.s,
                  false,
                  state.svd.X,
                  true,
                  state.svd.V,
                  state.svd.B,
                  svd_rhs_columns,
                  state.ls_ierr,
                  state.svd.max_sweeps);
  } else {
    return;
  }
  if (state.ls_ierr != 0) write_ierr(*state.console, state.ls_ierr);
}

}  // namespace orva
