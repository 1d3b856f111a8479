// SVD of the reduced system held in an LsState (Golub and Reinsch, Numer. Math. 14 (1970)
// 403-420, in the LINPACK-style tolerance form), with the right-hand side carried along.
#include "svd_reduced.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "matrix_view.h"

namespace orva {

void initialize_svd(SvdState& svd, const LsState& ls, int nreq) {
  const int size = std::max(nreq, 0);
  const auto n = static_cast<std::size_t>(size);
  svd.X.assign(n * n, 0.0);
  svd.V.assign(n * n, 0.0);
  svd.s.assign(n, 0.0);
  svd.B.assign(n * svd_rhs_columns, 0.0);
  svd.nreq = size;
  svd.exists = true;
  if (nreq <= ls.ncol) {
    svd_load_from_ls(svd, ls, size);
    return;
  }
  char record[64];
  std::snprintf(record, sizeof record, " nreq = %10d > ncol = %6d\n", nreq, ls.ncol);
  *svd.console << " Error in call to initialize_svd\n" << record << std::flush;
}

void svd_load_from_ls(SvdState& svd, const LsState& ls, int nreq) {
  const ColumnMajor<double> x{svd.X.data(), nreq};
  std::fill(svd.X.begin(), svd.X.end(), 0.0);
  int pos = 1;
  for (int i = 1; i <= nreq; ++i) {
    const double q = std::sqrt(ls.d[i - 1]);
    svd.B[i - 1] = q * ls.rhs[i - 1];
    x(i, i) = q;
    for (int j = i + 1; j <= nreq; ++j) {
      x(i, j) = q * ls.r[pos - 1];
      pos += 1;
    }
    pos += ls.ncol - nreq;
  }
}

void swap_vectors(int n, std::span<double> x, int incx, std::span<double> y, int incy) {
  if (n < 1) return;
  if (incx == 1 && incy == 1) {
    const int head = n % 3;
    for (int i = 0; i < head; ++i) std::swap(x[i], y[i]);
    for (int i = head; i < n; i += 3) {
      std::swap(x[i], y[i]);
      std::swap(x[i + 1], y[i + 1]);
      std::swap(x[i + 2], y[i + 2]);
    }
    return;
  }
  std::ptrdiff_t ix = incx < 0 ? static_cast<std::ptrdiff_t>(1 - n) * incx : 0;
  std::ptrdiff_t iy = incy < 0 ? static_cast<std::ptrdiff_t>(1 - n) * incy : 0;
  for (int i = 0; i < n; ++i) {
    std::swap(x[static_cast<std::size_t>(ix)], y[static_cast<std::size_t>(iy)]);
    ix += incx;
    iy += incy;
  }
}

void svd_decompose(int lda,
                   int ldv,
                   int ldb,
                   int m,
                   int n,
                   std::span<double> s_data,
                   bool want_u,
                   std::span<double> a_data,
                   bool want_v,
                   std::span<double> v_data,
                   std::span<double> b_data,
                   int nb,
                   int& info,
                   int max_sweeps) {
  info = 0;
  if (nb < 0) {
    info = -1;
  } else if (m < n) {
    info = -2;
  } else if (lda < m || ldb < m) {
    info = -3;
  } else if (ldv < n) {
    info = -4;
  }
  if (info != 0 || n <= 0) return;

  const ColumnMajor<double> a{a_data.data(), lda};
  const ColumnMajor<double> v{v_data.data(), ldv};
  const ColumnMajor<double> b{b_data.data(), ldb};
  auto s = [&s_data](int i) -> double& { return s_data[static_cast<std::size_t>(i - 1)]; };
  std::vector<double> e_store(static_cast<std::size_t>(n) + 1, 0.0);
  double* e = e_store.data();  // e[1..n]

  // Rotates rows p and q of b over its nb columns.
  auto rotate_b_rows = [&](int p, int q, double cs, double sn) {
    for (int c = 1; c <= nb; ++c) {
      const double y = b(p, c);
      const double z = b(q, c);
      b(p, c) = y * cs + z * sn;
      b(q, c) = z * cs - y * sn;
    }
  };
  auto rotate_a_columns = [&](int p, int q, double cs, double sn) {
    for (int r = 1; r <= m; ++r) {
      const double y = a(r, p);
      const double z = a(r, q);
      a(r, p) = y * cs + z * sn;
      a(r, q) = z * cs - y * sn;
    }
  };

  double anorm = 0.0, g = 0.0, scale = 0.0;
  int l = 1;
  // Householder bidiagonalisation.
  for (int i = 1; i <= n; ++i) {
    l = i + 1;
    e[i] = scale * g;
    g = 0.0;
    double sum = 0.0;
    scale = 0.0;
    for (int k = i; k <= m; ++k) scale += std::fabs(a(k, i));
    if (scale != 0.0) {
      const double rscale = 1.0 / scale;
      for (int k = i; k <= m; ++k) {
        a(k, i) *= rscale;
        sum += a(k, i) * a(k, i);
      }
      const double f = a(i, i);
      g = f >= 0.0 ? -std::sqrt(sum) : std::sqrt(sum);
      const double h = f * g - sum;
      const double rh = 1.0 / h;
      a(i, i) = f - g;
      for (int j = l; j <= n; ++j) {
        double t = 0.0;
        for (int k = i; k <= m; ++k) t += a(k, i) * a(k, j);
        const double th = t * rh;
        for (int k = i; k <= m; ++k) a(k, j) += th * a(k, i);
      }
      for (int j = 1; j <= nb; ++j) {
        double t = 0.0;
        for (int k = i; k <= m; ++k) t += a(k, i) * b(k, j);
        const double th = t * rh;
        for (int k = i; k <= m; ++k) b(k, j) += th * a(k, i);
      }
      for (int k = i; k <= m; ++k) a(k, i) *= scale;
    }
    s(i) = scale * g;
    g = 0.0;
    sum = 0.0;
    scale = 0.0;
    if (i < n) {
      for (int k = l; k <= n; ++k) scale += std::fabs(a(i, k));
      if (scale != 0.0) {
        const double rscale = 1.0 / scale;
        for (int k = l; k <= n; ++k) {
          a(i, k) *= rscale;
          sum += a(i, k) * a(i, k);
        }
        const double f = a(i, l);
        g = f >= 0.0 ? -std::sqrt(sum) : std::sqrt(sum);
        const double h = f * g - sum;
        const double rh = 1.0 / h;
        a(i, l) = f - g;
        for (int k = l; k <= n; ++k) e[k] = a(i, k) * rh;
        for (int j = l; j <= m; ++j) {
          double t = 0.0;
          for (int k = l; k <= n; ++k) t += a(j, k) * a(i, k);
          for (int k = l; k <= n; ++k) a(j, k) += t * e[k];
        }
        for (int k = l; k <= n; ++k) a(i, k) *= scale;
      }
    }
    anorm = std::max(anorm, std::fabs(s(i)) + std::fabs(e[i]));
  }

  // Right-hand transformations.
  if (want_v) {
    for (int i = n; i >= 1; --i) {
      if (i < n) {
        if (g != 0.0) {
          const double rg = 1.0 / (a(i, l) * g);
          for (int j = l; j <= n; ++j) v(j, i) = a(i, j) * rg;
          for (int j = l; j <= n; ++j) {
            double t = 0.0;
            for (int k = l; k <= n; ++k) t += a(i, k) * v(k, j);
            for (int k = l; k <= n; ++k) v(k, j) += t * v(k, i);
          }
        }
        for (int j = l; j <= n; ++j) v(i, j) = v(j, i) = 0.0;
      }
      v(i, i) = 1.0;
      g = e[i];
      l = i;
    }
  }

  // Left-hand transformations into a.
  if (want_u) {
    for (int i = n; i >= 1; --i) {
      l = i + 1;
      g = s(i);
      if (i < n) {
        for (int j = l; j <= n; ++j) a(i, j) = 0.0;
      }
      if (g == 0.0) {
        for (int j = i; j <= m; ++j) a(j, i) = 0.0;
      } else {
        for (int j = l; j <= n; ++j) {
          double t = 0.0;
          for (int k = l; k <= m; ++k) t += a(k, i) * a(k, j);
          const double f = t / (a(i, i) * g);
          for (int k = i; k <= m; ++k) a(k, j) += f * a(k, i);
        }
        const double rg = 1.0 / g;
        for (int j = i; j <= m; ++j) a(j, i) *= rg;
      }
      a(i, i) += 1.0;
    }
  }

  // Diagonalisation of the bidiagonal form.
  const double tol = 2.220446049250313e-16 * anorm;
  for (int k = n; k >= 1; --k) {
    int its = 0;
    for (;;) {
      // Split search; it stops at l = 1 also when tol is not a number.
      bool cancel = false;
      for (l = k; l >= 1; --l) {
        if (l == 1 || std::fabs(e[l]) <= tol) break;
        if (std::fabs(s(l - 1)) <= tol) {
          cancel = true;
          break;
        }
      }
      if (cancel) {
        const int nm = l - 1;
        double cs = 0.0, sn = 1.0;
        for (int i = l; i <= k; ++i) {
          const double f = sn * e[i];
          e[i] = cs * e[i];
          if (std::fabs(f) <= tol) break;
          g = s(i);
          const double h = std::sqrt(f * f + g * g);
          s(i) = h;
          const double rh = 1.0 / h;
          cs = g * rh;
          sn = -f * rh;
          rotate_b_rows(nm, i, cs, sn);
          if (want_u) rotate_a_columns(nm, i, cs, sn);
        }
      }
      double z = s(k);
      if (l == k) {
        if (z < 0.0) {
          s(k) = -z;
          if (want_v) {
            for (int j = 1; j <= n; ++j) v(j, k) = -v(j, k);
          }
        }
        break;
      }
      if (its == max_sweeps) {
        info = k;
        return;
      }
      its += 1;

      // Shift from the bottom 2 x 2 minor.
      double x = s(l);
      double y = s(k - 1);
      g = e[k - 1];
      double h = e[k];
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = std::sqrt(f * f + 1.0);
      f = ((x - z) * (x + z) + h * (y / (f + (f >= 0.0 ? g : -g)) - h)) / x;

      // QR sweep.
      double cs = 1.0, sn = 1.0;
      for (int j = l; j <= k - 1; ++j) {
        const int i = j + 1;
        g = e[i];
        y = s(i);
        h = sn * g;
        g = cs * g;
        z = std::sqrt(f * f + h * h);
        e[j] = z;
        double rz = 1.0 / z;
        cs = f * rz;
        sn = h * rz;
        f = x * cs + g * sn;
        g = g * cs - x * sn;
        h = y * sn;
        y = y * cs;
        if (want_v) {
          for (int r = 1; r <= n; ++r) {
            const double p = v(r, j);
            const double q = v(r, i);
            v(r, j) = p * cs + q * sn;
            v(r, i) = q * cs - p * sn;
          }
        }
        z = std::sqrt(f * f + h * h);
        s(j) = z;
        if (z != 0.0) {
          rz = 1.0 / z;
          cs = f * rz;
          sn = h * rz;
        }
        f = cs * g + sn * y;
        x = cs * y - sn * g;
        rotate_b_rows(j, i, cs, sn);
        if (want_u) rotate_a_columns(j, i, cs, sn);
      }
      e[l] = 0.0;
      e[k] = f;
      s(k) = x;
    }
  }

  // Selection sort into non-increasing order; of equal maxima the first found is taken, so equal
  // values keep their relative order.
  for (int i = 1; i <= n - 1; ++i) {
    int j = i;
    for (int k = i + 1; k <= n; ++k) {
      if (s(k) > s(j)) j = k;
    }
    if (j == i) continue;
    std::swap(s(i), s(j));
    if (want_v) {
      swap_vectors(ldv,
                   v_data.subspan(static_cast<std::size_t>(i - 1) * ldv),
                   1,
                   v_data.subspan(static_cast<std::size_t>(j - 1) * ldv),
                   1);
    }
    if (want_u) {
      swap_vectors(lda,
                   a_data.subspan(static_cast<std::size_t>(i - 1) * lda),
                   1,
                   a_data.subspan(static_cast<std::size_t>(j - 1) * lda),
                   1);
    }
    if (nb >= 1) {
      swap_vectors(nb,
                   b_data.subspan(static_cast<std::size_t>(i - 1)),
                   ldb,
                   b_data.subspan(static_cast<std::size_t>(j - 1)),
                   ldb);
    }
  }
}

}  // namespace orva
