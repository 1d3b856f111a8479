// An independent reference for the surface deflections of the layered model, written for the tests
// and sharing nothing with the engine's kernel: Love's stress function per layer, with its four
// modes written in bounded exponentials (the growing pair referred to the layer's bottom, the
// decaying pair to its top, so that every exponential is exp(-m h) <= 1), one global linear system
// per wavenumber for all layers' amplitudes (surface tractions, then at each interface continuity
// of normal stress, shear stress and vertical displacement and the spring law of the radial
// displacement), solved in long double by Gaussian elimination with partial pivoting, and the
// remainder over the first layer's half-space integrated by composite Gauss-Legendre panels.
//
// Love's function phi = J0(m r) f(z), z downward, lengths over the plate radius a:
//   sigma_z = J0 [(1 - nu) f''' - (2 - nu) m^2 f']      tau_rz = m J1 [nu f'' + (1 - nu) m^2 f]
//   w = (1 + nu) / E J0 [(1 - 2 nu) f'' - 2 (1 - nu) m^2 f]    u = (1 + nu) / E m J1 f'
// with f = (A + B m (z - z_bottom)) e^{m (z - z_bottom)} + (C + D m (z - z_top)) e^{-m (z -
// z_top)}. A spring interface of compliance K (1/MPa, lengths over a) has u_below - u_above = K
// tau_rz.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace orva::oracle {

using Real = long double;

struct Layer {
  Real modulus;     // MPa
  Real poisson;     // -
  Real thickness;   // over the plate radius (ignored for the last layer, the half-space)
  Real compliance;  // 1/MPa, spring of the interface at the layer's top (0 = bonded, infinite =
                    // frictionless; 0 at the top)
};

// Values of the four modes per unit amplitude: F0 = f m^2 scale, F1 = f' m, F2 = f'', F3 = f''' / m
// (all O(1) in m when the amplitudes are taken over m^2).
struct Modes {
  Real f[4][4];  // [mode A, B, C, D][F0..F3]
};

inline Modes modes_at(Real m, Real h, bool at_top) {
  // At the top of a layer the growing pair is at zeta = -m h, the decaying pair at xi = 0; at the
  // bottom zeta = 0 and xi = m h.
  Modes s{};
  const Real zeta = at_top ? -m * h : 0;
  const Real xi = at_top ? 0 : m * h;
  const Real eg = at_top ? std::exp(-m * h) : 1;
  const Real ed = at_top ? 1 : std::exp(-m * h);
  const Real a[4] = {eg, eg, eg, eg};
  const Real b[4] = {zeta * eg, (1 + zeta) * eg, (2 + zeta) * eg, (3 + zeta) * eg};
  const Real c[4] = {ed, -ed, ed, -ed};
  const Real d[4] = {xi * ed, (1 - xi) * ed, (xi - 2) * ed, (3 - xi) * ed};
  for (int k = 0; k < 4; ++k) {
    s.f[0][k] = a[k];
    s.f[1][k] = b[k];
    s.f[2][k] = c[k];
    s.f[3][k] = d[k];
  }
  return s;
}

// Normal stress / (J0 m), shear stress / (m J1), w / J0 and u / J1 of one mode.
struct Response {
  Real s, t, w, u;
};

inline Response response(const Real* F, Real nu, Real e) {
  return {(1 - nu) * F[3] - (2 - nu) * F[1],
          nu * F[2] + (1 - nu) * F[0],
          (1 + nu) / e * ((1 - 2 * nu) * F[2] - 2 * (1 - nu) * F[0]),
          (1 + nu) / e * F[1]};
}

// Surface w / J0 for a surface normal stress of -J0 m (unit compressive amplitude) at wavenumber m.
inline Real surface_compliance(const std::vector<Layer>& layers, Real m) {
  const int n = static_cast<int>(layers.size());
  const int size = 4 * (n - 1) + 2;
  std::vector<Real> a(static_cast<std::size_t>(size * (size + 1)), 0);
  const auto at = [&](int r, int c) -> Real& {
    return a[static_cast<std::size_t>(r * (size + 1) + c)];
  };
  // Column of the first amplitude of layer i; the half-space has only C and D.
  const auto column = [&](int i, int mode) { return 4 * i + (i == n - 1 ? mode - 2 : mode); };
  const auto first_mode = [&](int i) { return i == n - 1 ? 2 : 0; };

  int row = 0;
  {
    const Layer& l = layers[0];
    const Modes top = modes_at(m, l.thickness, true);
    for (int mode = first_mode(0); mode < 4; ++mode) {
      const Response r = response(top.f[mode], l.poisson, l.modulus);
      at(row, column(0, mode)) = r.s;
      at(row + 1, column(0, mode)) = r.t;
    }
    at(row, size) = -1;
    row += 2;
  }
  for (int i = 0; i + 1 < n; ++i) {
    const Layer& up = layers[static_cast<std::size_t>(i)];
    const Layer& low = layers[static_cast<std::size_t>(i + 1)];
    const Modes bottom = modes_at(m, up.thickness, false);
    const Modes top = modes_at(m, low.thickness, true);
    for (int mode = 0; mode < 4; ++mode) {
      const Response r = response(bottom.f[mode], up.poisson, up.modulus);
      at(row, column(i, mode)) = r.s;
      at(row + 1, column(i, mode)) = r.t;
      at(row + 2, column(i, mode)) = r.w;
      // An infinite compliance (a frictionless interface) leaves no shear: the spring law over K.
      at(row + 3, column(i, mode)) =
          std::isinf(low.compliance) ? -m * r.t : -r.u - low.compliance * m * r.t;
    }
    for (int mode = first_mode(i + 1); mode < 4; ++mode) {
      const Response r = response(top.f[mode], low.poisson, low.modulus);
      at(row, column(i + 1, mode)) = -r.s;
      at(row + 1, column(i + 1, mode)) = -r.t;
      at(row + 2, column(i + 1, mode)) = -r.w;
      at(row + 3, column(i + 1, mode)) = std::isinf(low.compliance) ? 0 : r.u;
    }
    row += 4;
  }
  // Rows to unit size, then elimination with partial pivoting.
  for (int r = 0; r < size; ++r) {
    Real big = 0;
    for (int c = 0; c < size; ++c) big = std::max(big, std::fabs(at(r, c)));
    for (int c = 0; c <= size; ++c) at(r, c) /= big;
  }
  for (int c = 0; c < size; ++c) {
    int p = c;
    for (int r = c + 1; r < size; ++r) {
      if (std::fabs(at(r, c)) > std::fabs(at(p, c))) p = r;
    }
    for (int k = 0; k <= size; ++k) std::swap(at(c, k), at(p, k));
    for (int r = c + 1; r < size; ++r) {
      const Real factor = at(r, c) / at(c, c);
      if (factor == 0) continue;
      for (int k = c; k <= size; ++k) at(r, k) -= factor * at(c, k);
    }
  }
  std::vector<Real> x(static_cast<std::size_t>(size));
  for (int r = size - 1; r >= 0; --r) {
    Real sum = at(r, size);
    for (int k = r + 1; k < size; ++k) sum -= at(r, k) * x[static_cast<std::size_t>(k)];
    x[static_cast<std::size_t>(r)] = sum / at(r, r);
  }
  const Layer& l = layers[0];
  const Modes top = modes_at(m, l.thickness, true);
  Real w = 0;
  for (int mode = first_mode(0); mode < 4; ++mode) {
    w += response(top.f[mode], l.poisson, l.modulus).w *
         x[static_cast<std::size_t>(column(0, mode))];
  }
  return w;
}

// Gauss-Legendre nodes and weights of order n on [-1, 1].
struct GaussLegendre {
  std::vector<Real> x, w;
  explicit GaussLegendre(int n) {
    const Real pi = 3.141592653589793238462643383279502884L;
    for (int i = 1; i <= n; ++i) {
      Real z = std::cos(pi * (i - 0.25L) / (n + 0.5L));
      Real dp = 0;
      for (int it = 0; it < 100; ++it) {
        Real p0 = 1, p1 = z;
        for (int k = 2; k <= n; ++k) {
          const Real p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
          p0 = p1;
          p1 = p2;
        }
        dp = n * (z * p1 - p0) / (z * z - 1);
        const Real dz = p1 / dp;
        z -= dz;
        if (std::fabs(dz) < 1e-19L) break;
      }
      x.push_back(z);
      w.push_back(2 / ((1 - z * z) * dp * dp));
    }
  }
};

// Surface deflections (in the units of a) at offsets rho (over a) under a uniform pressure q (MPa)
// on radius a: the exact half-space of the first layer's material plus the integral of the
// remainder up to m_max, where it has decayed like exp(-2 m h_1) far below the resolution sought.
inline std::vector<Real> surface_deflections(const std::vector<Layer>& layers,
                                             const std::vector<Real>& rho,
                                             Real q) {
  const Real pi = 3.141592653589793238462643383279502884L;
  const Real e1 = layers[0].modulus;
  const Real nu1 = layers[0].poisson;
  const Real g_hs = 2 * (1 - nu1 * nu1) / e1;
  std::vector<Real> result(rho.size(), 0);
  if (layers.size() > 1) {
    Real depth = 0;
    for (std::size_t i = 0; i + 1 < layers.size(); ++i) depth += layers[i].thickness;
    Real rho_max = 0;
    for (Real r : rho) rho_max = std::max(rho_max, r);
    const Real m_max = 40 / layers[0].thickness + 10;
    const Real width_limit = std::min<Real>(0.5L, 1 / std::max<Real>(rho_max, 2 * depth));
    const int panels = static_cast<int>(std::ceil(m_max / width_limit));
    const Real width = m_max / panels;
    static const GaussLegendre gl(12);
    // A soft spring (compliance K) changes the kernel on the scale m ~ 1 / (K E): the first panel
    // is cut into geometrically shrinking pieces towards m = 0, down to 1e-14 of its width. The
    // rest, [0, 1e-14 width], adds less than 1e-13 of the deflection and is left out (at m = 0 a
    // frictionless interface leaves the radial displacement undetermined).
    std::vector<std::pair<Real, Real>> pieces;
    Real lower = width;
    for (int k = 0; k < 23; ++k) {
      pieces.emplace_back(lower / 4, lower);
      lower /= 4;
    }
    for (int k = 1; k < panels; ++k) pieces.emplace_back(k * width, (k + 1) * width);
    for (const auto& [from, to] : pieces) {
      const Real centre = (from + to) / 2;
      const Real half = (to - from) / 2;
      for (std::size_t g = 0; g < gl.x.size(); ++g) {
        const Real m = centre + half * gl.x[g];
        const Real load = q * std::cyl_bessel_j(1.0L, m) / m;
        const Real remainder = load * (surface_compliance(layers, m) - g_hs) * half * gl.w[g];
        for (std::size_t s = 0; s < rho.size(); ++s) {
          result[s] += remainder * std::cyl_bessel_j(0.0L, rho[s] * m);
        }
      }
    }
  }
  for (std::size_t s = 0; s < rho.size(); ++s) {
    const Real r = rho[s];
    Real shape;
    if (r <= 1) {
      shape = std::comp_ellint_2(r);
    } else {
      const Real k = 1 / r;
      shape = r * (std::comp_ellint_2(k) - (1 - k * k) * std::comp_ellint_1(k));
    }
    result[s] += 4 * (1 - nu1 * nu1) * q / (pi * e1) * shape;
  }
  return result;
}

}  // namespace orva::oracle
