#include "layer_kernel.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orva {

void layer_transfer_matrix(Mat4& out, double m, double h, double nu, double E, double K) {
  // Every entry is the transfer matrix of the sublayer divided by e^u: sinh(u) / e^u and
  // cosh(u) / e^u are (1 -+ x) / 2 with x = e^(-2u), and the terms over e^(2u) are polynomials in
  // x. So no entry holds a growing exponential, and none overflows for any thickness.
  const double u = m * h;
  const double x = std::exp(-2 * u);
  const double sh = (1 - x) / 2;
  const double ch = (1 + x) / 2;
  const double k = E * K;
  // The common denominators, once.
  const double d1 = 1 / (2 * (nu * nu - 1));
  const double d2 = 1 / (2 * (nu - 1));
  const double d4 = 1 / (4 * (nu - 1));
  const double em = E * m;
  const double d4e = d4 / em;

  out(1, 1) = -((m * m * h * k + 2 - 2 * nu * nu) * ch + ((1 + nu) * h + k) * m * sh) * d1;
  out(2, 1) = -((2 * nu - 1) * sh + u * ch) * d2;
  out(3, 1) = em * u * (1 - x) * (d1 / 2);
  out(4, 1) = (sh + u * ch) * em * d1;

  out(1, 2) = ((1 + nu) * u * ch + (m * m * h * k + 1 - nu - 2 * nu * nu) * sh) * d1;
  out(2, 2) = ((2 * nu - u - 2) * x + (2 * nu + u - 2)) * d4;
  out(3, 2) = -em * ((u - 1) + (u + 1) * x) * (d1 / 2);
  out(4, 2) = -em * u * (1 - x) * (d1 / 2);

  out(1, 3) = -((k * (2 * nu - 1) + (1 + nu) * h) * sh + k * u * ch) * d2 / E;
  out(2, 3) = -(1 + nu) * ((u - 4 * nu + 3) * x + (4 * nu + u - 3)) * d4e;
  out(3, 3) = out(2, 2);
  out(4, 3) = ((2 * nu + u - 1) + (u - 2 * nu + 1) * x) * d4;

  out(1, 4) = ((m * ((1 + nu) * h - 2 * k * nu) + nu + 4 * nu * nu + m * k * (2 - u) - 3) * x +
               (nu * (u - 2 * m * k - 1) - 4 * nu * nu + m * (h + 2 * k + k * u) + 3)) *
              d4e;
  out(2, 4) = (1 + nu) * u * (1 - x) * d4e;
  out(3, 4) = -((1 - 2 * nu) * sh + u * ch) * d2;
  out(4, 4) = ((2 * nu + u - 2) * x - (u - 2 * nu + 2)) * d4;
}

void halfspace_matrix(Mat4& out, double m, double nu, double E, double K) {
  const double g = 1 / (1 + nu);
  const double k = E * K;

  out(1, 1) = -(k * m + nu + 1) * m * m * g;
  out(2, 1) = -m * m;
  out(3, 1) = E * m * m * m * g;
  out(4, 1) = E * m * m * m * g;

  out(1, 2) = m + 2 * k * nu * m * m * g;
  out(2, 2) = (4 * nu - 2) * m;
  out(3, 2) = (1 - 2 * nu) * E * m * m * g;
  out(4, 2) = -2 * nu * E * m * m * g;

  out(1, 3) = m * m - k * m * m * m * g;
  out(2, 3) = -m * m;
  out(3, 3) = -E * m * m * m * g;
  out(4, 3) = E * m * m * m * g;

  out(1, 4) = m - 2 * k * nu * m * m * g;
  out(2, 4) = (2 - 4 * nu) * m;
  out(3, 4) = (1 - 2 * nu) * E * m * m * g;
  out(4, 4) = 2 * nu * E * m * m * g;
}

namespace {

// T = A B for the orders known at compile time (A of N x N, B of N x P); the same sums in the same
// order as the general case.
template <int N, int P>
void multiply_fixed(double* a, double* b) {
  double t[N * P];
  for (int j = 0; j < P; ++j) {
    for (int i = 0; i < N; ++i) {
      double s = 0.0;
      for (int k = 0; k < N; ++k) s = s + a[k * N + i] * b[j * N + k];
      t[j * N + i] = s;
    }
  }
  double* out = P == N ? a : b;
  for (int e = 0; e < N * P; ++e) out[e] = t[e];
}

}  // namespace

void matrix_multiply(double* a, int n, double* b, int p) {
  if (n == 4 && p == 4) {
    multiply_fixed<4, 4>(a, b);
    return;
  }
  if (n == 4 && p == 2) {
    multiply_fixed<4, 2>(a, b);
    return;
  }
  // Row i of A B depends only on row i of A, column j only on column j of B: one row (or column) of
  // temporary lets the product overwrite its operand.
  constexpr int kFixed = 16;
  double fixed[kFixed];
  std::vector<double> heap;
  double* tmp = fixed;
  if (n > kFixed) {
    heap.resize(static_cast<std::size_t>(n));
    tmp = heap.data();
  }
  const auto A = [&](int i, int k) -> double& { return a[(k - 1) * n + (i - 1)]; };
  const auto B = [&](int k, int j) -> double& { return b[(j - 1) * n + (k - 1)]; };
  if (p == n) {
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        for (int k = 1; k <= n; ++k) s = s + A(i, k) * B(k, j);
        tmp[j - 1] = s;
      }
      for (int j = 1; j <= n; ++j) A(i, j) = tmp[j - 1];
    }
  } else {
    for (int j = 1; j <= p; ++j) {
      for (int i = 1; i <= n; ++i) {
        double s = 0.0;
        for (int k = 1; k <= n; ++k) s = s + A(i, k) * B(k, j);
        tmp[i - 1] = s;
      }
      for (int i = 1; i <= n; ++i) B(i, j) = tmp[i - 1];
    }
  }
}

namespace {

// 2^-(e/2) for the binary exponent e of x > 0 (about 1 / sqrt(x), a power of 2 so that scaling by
// it is exact).
double inverse_sqrt_power_of_two(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const int e = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  return std::bit_cast<double>(static_cast<std::uint64_t>(1023 - e / 2) << 52);
}

// Makes the two columns of the 4 x 2 chain product p (stored by columns) orthogonal, with the
// stress rows 3 and 4 measured in units of e m, and scales each to a norm between 1/2 and 2 by a
// power of 2. This is p times an invertible 2 x 2 matrix, which multiplies both 2 x 2 minors of
// the surface conditions by its determinant and so leaves their ratio alone; it keeps the columns
// from turning parallel (and the entries from growing) as the chain climbs through the sublayers.
void orthonormalize_columns(double* p, double e, double m) {
  const double w = 1 / (e * m);
  const double w2 = w * w;
  const auto dot = [w2](const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + w2 * (a[2] * b[2] + a[3] * b[3]);
  };
  double* c1 = p;
  double* c2 = p + 4;
  const double n1 = dot(c1, c1);
  const double a = dot(c1, c2) / n1;
  for (int r = 0; r < 4; ++r) c2[r] -= a * c1[r];
  const double f1 = inverse_sqrt_power_of_two(n1);
  const double f2 = inverse_sqrt_power_of_two(dot(c2, c2));
  for (int r = 0; r < 4; ++r) {
    c1[r] *= f1;
    c2[r] *= f2;
  }
}

}  // namespace

double layer_system_response(ModelLayers& layers,
                             const ModelValues& values,
                             double m,
                             double load) {
  const int n = layers.n_model_layers;
  auto& lm = layers.layer_matrices;
  Mat4 hs;
  halfspace_matrix(hs,
                   m,
                   layers.sublayer_poisson[n - 1],
                   layers.sublayer_modulus[n - 1],
                   layers.sublayer_compliance[n - 1]);

  // Only columns 1 and 2 of A = L_1 L_2 ... L_(N-1) H enter the surface conditions: that 4 x 2
  // block is carried up from the half-space, one sublayer at a time, its columns made orthogonal
  // and of about unit length after each step.
  double p[8];
  for (int e = 0; e < 8; ++e) p[e] = hs.v[static_cast<std::size_t>(e)];
  for (int i = n - 2; i >= 0; --i) {
    layer_transfer_matrix(lm[i],
                          m,
                          layers.sublayer_thickness[i] / values.radius_m,
                          layers.sublayer_poisson[i],
                          layers.sublayer_modulus[i],
                          layers.sublayer_compliance[i]);
    matrix_multiply(lm[i].data(), 4, p, 2);
    orthonormalize_columns(p, layers.sublayer_modulus[i], m);
  }
  const auto s = [&p](int row, int col) { return p[(col - 1) * 4 + (row - 1)]; };

  // Surface conditions: unit normal stress, no shear; w from the half-space amplitudes.
  const double d = s(3, 1) * s(4, 2) - s(3, 2) * s(4, 1);
  return load * (s(2, 1) * s(4, 2) - s(4, 1) * s(2, 2)) / d;
}

double layer_system_response_fast(ModelLayers& layers,
                                  const ModelValues& values,
                                  double m,
                                  double load) {
  return layer_system_response(layers, values, m, load);
}

void layer_system_kernel(
    ModelLayers& layers, const ModelValues& values, double m, double& result, double load) {
  const double w = layer_system_response(layers, values, m, load);
  result = ::j0(values.norm_offset * m) * w * m;
}

double integrand_load(const ModelValues& values, double m, double j1_am) {
  return -(values.contact_pressure * values.norm_radius) * j1_am / m;
}

double deflection_integrand(ModelLayers& layers, const ModelValues& values, double m) {
  const double load = integrand_load(values, m, ::j1(values.norm_radius * m));
  double value;
  layer_system_kernel(layers, values, m, value, load);
  if (std::isnan(value)) value = 0;
  return value;
}

}  // namespace orva
