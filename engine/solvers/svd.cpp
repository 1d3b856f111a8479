// svdcmp: Householder bidiagonalisation, accumulation of U and V, implicitly shifted QR sweeps
// (Golub and Reinsch, Numer. Math. 14 (1970) 403-420), and the truncated back-substitution.
#include <algorithm>
#include <cmath>
#include <string>

#include "matrix_view.h"
#include "solvers.h"

namespace orva {
namespace {

// |a| with the sign of b; b = 0 counts as positive.
double sign_of(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

// A test whose operands are unordered (NaN) counts as not equal.
bool negligible(double x, double anorm) { return std::fabs(x) + anorm == anorm; }

// Shows the message and waits for a line. An empty line or the end of input resumes; any other
// line is not run as a command: the message is shown again and the wait repeats.
void pause_no_convergence(SvdWork& work) {
  std::string line;
  for (;;) {
    *work.console_out << "no convergence in svdcmp\n" << std::flush;
    if (!std::getline(*work.console_in, line)) return;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return;
  }
}

}  // namespace

double safe_hypot(double a, double b) {
  const double p = std::fabs(a);
  const double q = std::fabs(b);
  if (p > q) return p * std::sqrt(1.0 + (q / p) * (q / p));
  if (q == 0.0) return 0.0;
  return q * std::sqrt(1.0 + (p / q) * (p / q));
}

void svdcmp(SvdWork& work,
            std::span<double> a_data,
            int m,
            int n,
            std::span<double> w_data,
            std::span<double> v_data) {
  if (n <= 0) return;
  const ColumnMajor<double> a{a_data.data(), m};
  const ColumnMajor<double> v{v_data.data(), m};
  auto w = [&w_data](int i) -> double& { return w_data[static_cast<std::size_t>(i - 1)]; };
  work.e.assign(static_cast<std::size_t>(n) + 1, 0.0);
  double* e = work.e.data();  // e[1..n]

  double g = 0.0, scale = 0.0, anorm = 0.0;
  int l = 1;
  // Householder reduction to upper bidiagonal form.
  for (int i = 1; i <= n; ++i) {
    l = i + 1;
    e[i] = scale * g;
    g = 0.0;
    double s = 0.0;
    scale = 0.0;
    if (i <= m) {
      for (int k = i; k <= m; ++k) scale += std::fabs(a(k, i));
      if (scale != 0.0) {
        for (int k = i; k <= m; ++k) {
          a(k, i) /= scale;
          s += a(k, i) * a(k, i);
        }
        double f = a(i, i);
        g = -sign_of(std::sqrt(s), f);
        const double h = f * g - s;
        a(i, i) = f - g;
        for (int j = l; j <= n; ++j) {
          s = 0.0;
          for (int k = i; k <= m; ++k) s += a(k, i) * a(k, j);
          f = s / h;
          for (int k = i; k <= m; ++k) a(k, j) += f * a(k, i);
        }
        for (int k = i; k <= m; ++k) a(k, i) *= scale;
      }
    }
    w(i) = scale * g;
    g = 0.0;
    s = 0.0;
    scale = 0.0;
    if (i <= m && i != n) {
      for (int k = l; k <= n; ++k) scale += std::fabs(a(i, k));
      if (scale != 0.0) {
        for (int k = l; k <= n; ++k) {
          a(i, k) /= scale;
          s += a(i, k) * a(i, k);
        }
        const double f = a(i, l);
        g = -sign_of(std::sqrt(s), f);
        const double h = f * g - s;
        a(i, l) = f - g;
        for (int k = l; k <= n; ++k) e[k] = a(i, k) / h;
        for (int j = l; j <= m; ++j) {
          s = 0.0;
          for (int k = l; k <= n; ++k) s += a(j, k) * a(i, k);
          for (int k = l; k <= n; ++k) a(j, k) += s * e[k];
        }
        for (int k = l; k <= n; ++k) a(i, k) *= scale;
      }
    }
    anorm = std::max(anorm, std::fabs(w(i)) + std::fabs(e[i]));
  }

  // Right-hand transformations into V.
  for (int i = n; i >= 1; --i) {
    if (i < n) {
      if (g != 0.0) {
        // Double division avoids a possible underflow of a(i,l) * g.
        for (int j = l; j <= n; ++j) v(j, i) = (a(i, j) / a(i, l)) / g;
        for (int j = l; j <= n; ++j) {
          double s = 0.0;
          for (int k = l; k <= n; ++k) s += a(i, k) * v(k, j);
          for (int k = l; k <= n; ++k) v(k, j) += s * v(k, i);
        }
      }
      for (int j = l; j <= n; ++j) v(i, j) = v(j, i) = 0.0;
    }
    v(i, i) = 1.0;
    g = e[i];
    l = i;
  }

  // Left-hand transformations into a, which becomes U.
  for (int i = std::min(m, n); i >= 1; --i) {
    l = i + 1;
    g = w(i);
    for (int j = l; j <= n; ++j) a(i, j) = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (int j = l; j <= n; ++j) {
        double s = 0.0;
        for (int k = l; k <= m; ++k) s += a(k, i) * a(k, j);
        const double f = (s / a(i, i)) * g;
        for (int k = i; k <= m; ++k) a(k, j) += f * a(k, i);
      }
      for (int j = i; j <= m; ++j) a(j, i) *= g;
    } else {
      for (int j = i; j <= m; ++j) a(j, i) = 0.0;
    }
    a(i, i) += 1.0;
  }

  // Diagonalisation of the bidiagonal form.
  for (int k = n; k >= 1; --k) {
    for (int its = 1; its <= work.max_iterations; ++its) {
      // Split search. e(1) is 0, but with a NaN norm bound no test succeeds, so the search
      // stops at l = 1 regardless.
      bool cancel = false;
      int nm = 0;
      for (l = k; l >= 1; --l) {
        nm = l - 1;
        if (l == 1 || negligible(e[l], anorm)) break;
        if (negligible(w(nm), anorm)) {
          cancel = true;
          break;
        }
      }
      if (cancel) {
        double c = 0.0, s = 1.0;
        for (int i = l; i <= k; ++i) {
          const double f = s * e[i];
          e[i] = c * e[i];
          if (negligible(f, anorm)) break;
          g = w(i);
          const double h = safe_hypot(f, g);
          w(i) = h;
          c = g / h;
          s = -f / h;
          for (int j = 1; j <= m; ++j) {
            const double y = a(j, nm);
            const double z = a(j, i);
            a(j, nm) = y * c + z * s;
            a(j, i) = z * c - y * s;
          }
        }
      }
      double z = w(k);
      if (l == k) {
        if (z < 0.0) {
          w(k) = -z;
          for (int j = 1; j <= n; ++j) v(j, k) = -v(j, k);
        }
        break;
      }
      if (its == work.max_iterations) pause_no_convergence(work);

      // Shift from the trailing 2 x 2 block.
      double x = w(l);
      nm = k - 1;
      double y = w(nm);
      g = e[nm];
      double h = e[k];
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = safe_hypot(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + sign_of(g, f))) - h)) / x;

      // QR sweep.
      double c = 1.0, s = 1.0;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = e[i];
        y = w(i);
        h = s * g;
        g = c * g;
        z = safe_hypot(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        for (int jj = 1; jj <= n; ++jj) {
          const double vx = v(jj, j);
          const double vz = v(jj, i);
          v(jj, j) = vx * c + vz * s;
          v(jj, i) = vz * c - vx * s;
        }
        z = safe_hypot(f, h);
        w(j) = z;
        if (z != 0.0) {
          c = f / z;
          s = h / z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        for (int jj = 1; jj <= m; ++jj) {
          const double ay = a(jj, j);
          const double az = a(jj, i);
          a(jj, j) = ay * c + az * s;
          a(jj, i) = az * c - ay * s;
        }
      }
      e[l] = 0.0;
      e[k] = f;
      w(k) = x;
    }
  }
}

void svd_back_substitute(SvdWork& work,
                         std::span<const double> u_data,
                         std::span<const double> w,
                         std::span<const double> v_data,
                         int m,
                         int n,
                         std::span<const double> b,
                         std::span<double> x) {
  if (n <= 0) return;
  const ColumnMajor<const double> u{u_data.data(), m};
  const ColumnMajor<const double> v{v_data.data(), m};
  work.t.assign(static_cast<std::size_t>(n), 0.0);
  for (int j = 1; j <= n; ++j) {
    double s = 0.0;
    // A zero singular value (or a NaN one) drops its component: that is the truncation.
    if (w[j - 1] != 0.0 && !std::isnan(w[j - 1])) {
      for (int i = 1; i <= m; ++i) s += u(i, j) * b[i - 1];
      s /= w[j - 1];
    }
    work.t[j - 1] = s;
  }
  for (int i = 1; i <= n; ++i) {
    double s = 0.0;
    for (int j = 1; j <= n; ++j) s += v(i, j) * work.t[j - 1];
    x[i - 1] = s;
  }
}

void svd_damped_solve(std::span<const double> u_data,
                      std::span<const double> w,
                      std::span<const double> v_data,
                      int m,
                      int n,
                      std::span<const double> b,
                      std::span<double> x,
                      double alpha) {
  if (n <= 0) return;
  constexpr int kLd = 20;
  const ColumnMajor<const double> u{u_data.data(), kLd};
  const ColumnMajor<const double> v{v_data.data(), kLd};
  std::vector<double> t(static_cast<std::size_t>(n), 0.0);
  for (int j = 1; j <= n; ++j) {
    const double wj = w[j - 1];
    if (wj != 0.0 && !std::isnan(wj)) {
      double s = 0.0;
      for (int i = 1; i <= m; ++i) s += u(i, j) * b[i - 1];
      t[j - 1] = (s / wj) * (wj * wj / (wj * wj + alpha * alpha));
    }
  }
  for (int i = 1; i <= n; ++i) {
    double s = 0.0;
    for (int j = 1; j <= n; ++j) s += v(i, j) * t[j - 1];
    x[i - 1] = s;
  }
}

void svd_scaled_product_20(std::span<const double> a_data,
                           std::span<double> w,
                           std::span<const double> b_data,
                           int n,
                           int m,
                           std::span<double> out_data) {
  constexpr int kLd = 20;
  // 1.0e-5 as a single-precision constant.
  constexpr double kFloor = static_cast<double>(1.0e-5f);
  const ColumnMajor<const double> a{a_data.data(), kLd};
  const ColumnMajor<const double> b{b_data.data(), kLd};
  const ColumnMajor<double> out{out_data.data(), kLd};
  for (int i = 1; i <= n; ++i) {
    if (w[i - 1] < kFloor) w[i - 1] = kFloor;
  }
  for (int j = 1; j <= n; ++j) {
    for (int k = 1; k <= m; ++k) {
      double s = 0.0;
      for (int i = 1; i <= n; ++i) s += b(j, i) * a(i, k) / w[i - 1];
      out(j, k) = s;
    }
  }
}

}  // namespace orva
