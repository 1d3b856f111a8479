#include "layer_kernel.h"

#include <cmath>
#include <vector>

namespace orva {

void layer_transfer_matrix(Mat4& out, double m, double h, double nu, double E, double K) {
  const double u = m * h;
  const double e1 = std::exp(u);
  const double e2 = std::exp(2 * u);
  const double sh = std::sinh(u);
  const double ch = std::cosh(u);
  const double k = E * K;

  out(1, 1) = -((m * m * h * k + 2 - 2 * nu * nu) * ch + ((1 + nu) * h + k) * m * sh) /
              (2 * (nu * nu - 1) * e1);
  out(2, 1) = -((2 * nu - 1) * sh + u * ch) / (2 * (nu - 1) * e1);
  out(3, 1) = m * m * E * h * (1 - 1 / e2) / (4 * nu * nu - 4);
  out(4, 1) = (sh + u * ch) * E * m / (2 * (nu * nu - 1) * e1);

  out(1, 2) =
      ((1 + nu) * u * ch + (m * m * h * k + 1 - nu - 2 * nu * nu) * sh) / (2 * (nu * nu - 1) * e1);
  out(2, 2) = ((2 * nu - u) + (2 * nu + u - 2) * e2 - 2) / (4 * (nu - 1) * e2);
  out(3, 2) = -E * m * ((u - 1) * e2 + u + 1) / (4 * (nu * nu - 1) * e2);
  out(4, 2) = E * h * m * m * (1 - std::exp(-2 * u)) / (4 - 4 * nu * nu);

  out(1, 3) = -((k * (2 * nu - 1) + (1 + nu) * h) * sh + k * u * ch) / (2 * E * (nu - 1) * e1);
  out(2, 3) = -(1 + nu) * ((u - 4 * nu) + (4 * nu + u - 3) * e2 + 3) / (4 * E * (nu - 1) * m * e2);
  out(3, 3) = out(2, 2);
  out(4, 3) = ((2 * nu + u - 1) * e2 + u - 2 * nu + 1) / (4 * (nu - 1) * e2);

  out(1, 4) = (m * ((1 + nu) * h - 2 * k * nu) + nu + 4 * nu * nu + m * k * (2 - u) +
               (nu * (u - 2 * m * k - 1) - 4 * nu * nu + m * (h + 2 * k + k * u) + 3) * e2 - 3) /
              (4 * E * (nu - 1) * m * e2);
  out(2, 4) = (1 + nu) * h * (e2 - 1) / (4 * E * (nu - 1) * e2);
  out(3, 4) = -((1 - 2 * nu) * sh + u * ch) / (2 * (nu - 1) * e1);
  out(4, 4) = (2 * nu + u - (u - 2 * nu + 2) * e2 - 2) / (4 * (nu - 1) * e2);
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

// T = A B for the orders known at compile time; the same sums in the same order as the general
// case.
template <int N>
void multiply_fixed(double* a, double* b, bool replace_left) {
  double t[N * N];
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) {
      double s = 0.0;
      for (int k = 0; k < N; ++k) s = s + a[k * N + i] * b[j * N + k];
      t[j * N + i] = s;
    }
  }
  double* out = replace_left ? a : b;
  for (int e = 0; e < N * N; ++e) out[e] = t[e];
}

}  // namespace

void matrix_multiply(double* a, int n, double* b, int p) {
  if (n == 4 && p == 4) {
    multiply_fixed<4>(a, b, true);
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

double layer_system_response(ModelLayers& layers,
                             const ModelValues& values,
                             double m,
                             double load) {
  const int n = layers.n_model_layers;
  auto& lm = layers.layer_matrices;
  for (int i = 0; i < n - 1; ++i) {
    layer_transfer_matrix(lm[i],
                          m,
                          layers.sublayer_thickness[i] / values.radius_m,
                          layers.sublayer_poisson[i],
                          layers.sublayer_modulus[i],
                          layers.sublayer_compliance[i]);
  }
  Mat4 hs;
  halfspace_matrix(hs,
                   m,
                   layers.sublayer_poisson[n - 1],
                   layers.sublayer_modulus[n - 1],
                   layers.sublayer_compliance[n - 1]);

  // A = L_1 L_2 ... L_(N-1) H, formed from the bottom up.
  const Mat4* a = &hs;
  if (n > 1) {
    for (int i = n - 3; i >= 0; --i) matrix_multiply(lm[i].data(), 4, lm[i + 1].data(), 4);
    matrix_multiply(lm[0].data(), 4, hs.data(), 4);
    a = &lm[0];
  }
  const Mat4& s = *a;

  // Surface conditions: unit normal stress, no shear; w from the half-space amplitudes.
  const double d = s(3, 1) * s(4, 2) - s(3, 2) * s(4, 1);
  return load * (s(2, 1) * s(4, 2) - s(4, 1) * s(2, 2)) / d;
}

double layer_system_response_fast(ModelLayers& layers,
                                  const ModelValues& values,
                                  double m,
                                  double load) {
  const int n = layers.n_model_layers;
  auto& lm = layers.layer_matrices;
  for (int i = 0; i < n - 1; ++i) {
    layer_transfer_matrix(lm[i],
                          m,
                          layers.sublayer_thickness[i] / values.radius_m,
                          layers.sublayer_poisson[i],
                          layers.sublayer_modulus[i],
                          layers.sublayer_compliance[i]);
  }
  Mat4 hs;
  halfspace_matrix(hs,
                   m,
                   layers.sublayer_poisson[n - 1],
                   layers.sublayer_modulus[n - 1],
                   layers.sublayer_compliance[n - 1]);

  // Each entry is the same sum in the same order as in matrix_multiply; only rows 2..4 of the top
  // product and columns 1..2 of the system matrix are formed.
  const auto entry = [](const Mat4& a, const Mat4& b, int r, int c) {
    double s = 0.0;
    for (int k = 1; k <= 4; ++k) s = s + a(r, k) * b(k, c);
    return s;
  };
  double a21, a22, a31, a32, a41, a42;
  if (n == 1) {
    a21 = hs(2, 1), a22 = hs(2, 2), a31 = hs(3, 1), a32 = hs(3, 2), a41 = hs(4, 1), a42 = hs(4, 2);
  } else {
    for (int i = n - 3; i >= 1; --i) matrix_multiply(lm[i].data(), 4, lm[i + 1].data(), 4);
    Mat4 top;  // rows 2..4 of L_1 L_2 ... L_(N-1)
    if (n > 2) {
      for (int r = 2; r <= 4; ++r) {
        for (int c = 1; c <= 4; ++c) top(r, c) = entry(lm[0], lm[1], r, c);
      }
    } else {
      top = lm[0];
    }
    a21 = entry(top, hs, 2, 1), a22 = entry(top, hs, 2, 2);
    a31 = entry(top, hs, 3, 1), a32 = entry(top, hs, 3, 2);
    a41 = entry(top, hs, 4, 1), a42 = entry(top, hs, 4, 2);
  }
  const double d = a31 * a42 - a32 * a41;
  return load * (a21 * a42 - a41 * a22) / d;
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
