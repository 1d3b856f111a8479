#include "layer_kernel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orva {

namespace {

// --- Lanes ---------------------------------------------------------------------------------------
// The kernel is written once, for a value type V that is either double (one abscissa) or a vector
// of L doubles (L abscissae, one to a lane). Arithmetic on a vector acts lane by lane with the
// rounding of the scalar operation.

typedef double Double2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef double Double8 __attribute__((vector_size(64)));
typedef std::int64_t Int2 __attribute__((vector_size(16)));
typedef std::int64_t Int4 __attribute__((vector_size(32)));
typedef std::int64_t Int8 __attribute__((vector_size(64)));

template <int L>
struct Lanes;
template <>
struct Lanes<2> {
  using D = Double2;
  using I = Int2;
};
template <>
struct Lanes<4> {
  using D = Double4;
  using I = Int4;
};
template <>
struct Lanes<8> {
  using D = Double8;
  using I = Int8;
};

template <class V>
constexpr int kLanes = sizeof(V) / sizeof(double);

// 2^-(e/2) for the binary exponent e of x > 0 (about 1 / sqrt(x), a power of 2 so that scaling by
// it is exact).
[[gnu::always_inline]] inline void inverse_sqrt_power_of_two(const double& x, double& out) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const int e = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  out = std::bit_cast<double>(static_cast<std::uint64_t>(1023 - e / 2) << 52);
}

template <class V>
[[gnu::always_inline]] inline void inverse_sqrt_power_of_two(const V& x, V& out) {
  using I = typename Lanes<kLanes<V>>::I;
  // A cast between vector types of one size keeps the bits.
  const I e = (((I)x >> 52) & 0x7ff) - 1023;
  out = (V)((1023 - e / 2) << 52);
}

// --- The layer matrices, by columns (entry (r, c) at (c - 1) x 4 + r - 1) ------------------------

// Transfer matrix of a sublayer at wavenumber m, divided by e^u (u = m h), from x = e^(-2u)
// (decay_factor). sinh(u) / e^u and cosh(u) / e^u are (1 -+ x) / 2, and the terms over e^(2u) are
// polynomials in x: no entry holds a growing exponential, and none overflows for any thickness.
template <class V>
[[gnu::always_inline]] inline void transfer_entries(const SublayerTerms& t,
                                                    const V& m,
                                                    const V& x,
                                                    V (&out)[16]) {
  const double h = t.h;
  const double nu = t.nu;
  const double E = t.e;
  const double k = t.k;
  const double d1 = t.d1;
  const double d2 = t.d2;
  const double d4 = t.d4;
  const V u = m * h;
  const V sh = (1 - x) / 2;
  const V ch = (1 + x) / 2;
  const V em = E * m;
  const V d4e = d4 / em;
  const auto at = [&out](int row, int col) -> V& { return out[(col - 1) * 4 + (row - 1)]; };

  at(1, 1) = -((m * m * h * k + 2 - 2 * nu * nu) * ch + ((1 + nu) * h + k) * m * sh) * d1;
  at(2, 1) = -((2 * nu - 1) * sh + u * ch) * d2;
  at(3, 1) = em * u * (1 - x) * (d1 / 2);
  at(4, 1) = (sh + u * ch) * em * d1;

  at(1, 2) = ((1 + nu) * u * ch + (m * m * h * k + 1 - nu - 2 * nu * nu) * sh) * d1;
  at(2, 2) = ((2 * nu - u - 2) * x + (2 * nu + u - 2)) * d4;
  at(3, 2) = -em * ((u - 1) + (u + 1) * x) * (d1 / 2);
  at(4, 2) = -em * u * (1 - x) * (d1 / 2);

  at(1, 3) = -((k * (2 * nu - 1) + (1 + nu) * h) * sh + k * u * ch) * d2 / E;
  at(2, 3) = -(1 + nu) * ((u - 4 * nu + 3) * x + (4 * nu + u - 3)) * d4e;
  at(3, 3) = at(2, 2);
  at(4, 3) = ((2 * nu + u - 1) + (u - 2 * nu + 1) * x) * d4;

  at(1, 4) = ((m * ((1 + nu) * h - 2 * k * nu) + nu + 4 * nu * nu + m * k * (2 - u) - 3) * x +
              (nu * (u - 2 * m * k - 1) - 4 * nu * nu + m * (h + 2 * k + k * u) + 3)) *
             d4e;
  at(2, 4) = (1 + nu) * u * (1 - x) * d4e;
  at(3, 4) = -((1 - 2 * nu) * sh + u * ch) * d2;
  at(4, 4) = ((2 * nu + u - 2) * x - (u - 2 * nu + 2)) * d4;
}

// Matrix of the bottom half-space at wavenumber m.
template <class V>
[[gnu::always_inline]] inline void halfspace_entries(const SublayerTerms& t,
                                                     const V& m,
                                                     V (&out)[16]) {
  const double nu = t.nu;
  const double E = t.e;
  const double k = t.k;
  const double g = t.g;
  const auto at = [&out](int row, int col) -> V& { return out[(col - 1) * 4 + (row - 1)]; };

  at(1, 1) = -(k * m + nu + 1) * m * m * g;
  at(2, 1) = -m * m;
  at(3, 1) = E * m * m * m * g;
  at(4, 1) = E * m * m * m * g;

  at(1, 2) = m + 2 * k * nu * m * m * g;
  at(2, 2) = (4 * nu - 2) * m;
  at(3, 2) = (1 - 2 * nu) * E * m * m * g;
  at(4, 2) = -2 * nu * E * m * m * g;

  at(1, 3) = m * m - k * m * m * m * g;
  at(2, 3) = -m * m;
  at(3, 3) = -E * m * m * m * g;
  at(4, 3) = E * m * m * m * g;

  at(1, 4) = m - 2 * k * nu * m * m * g;
  at(2, 4) = (2 - 4 * nu) * m;
  at(3, 4) = (1 - 2 * nu) * E * m * m * g;
  at(4, 4) = 2 * nu * E * m * m * g;
}

void copy_matrix(const double (&in)[16], Mat4& out) {
  for (std::size_t e = 0; e < 16; ++e) out.v[e] = in[e];
}

}  // namespace

SublayerTerms sublayer_terms(double h, double nu, double E, double K) {
  // The common denominators, once.
  return {h,
          nu,
          E,
          E * K,
          1 / (2 * (nu * nu - 1)),
          1 / (2 * (nu - 1)),
          1 / (4 * (nu - 1)),
          1 / (1 + nu)};
}

void sublayer_terms(const ModelLayers& layers,
                    const ModelValues& values,
                    std::vector<SublayerTerms>& terms) {
  const int n = layers.n_model_layers;
  terms.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    terms[static_cast<std::size_t>(i)] =
        sublayer_terms(layers.sublayer_thickness[i] / values.radius_m,
                       layers.sublayer_poisson[i],
                       layers.sublayer_modulus[i],
                       layers.sublayer_compliance[i]);
  }
}

double decay_factor(double m, double h) { return std::exp(-2 * (m * h)); }

void layer_transfer_matrix(Mat4& out, double m, double h, double nu, double E, double K) {
  double entries[16];
  transfer_entries(sublayer_terms(h, nu, E, K), m, decay_factor(m, h), entries);
  copy_matrix(entries, out);
}

void halfspace_matrix(Mat4& out, double m, double nu, double E, double K) {
  double entries[16];
  halfspace_entries(sublayer_terms(0, nu, E, K), m, entries);
  copy_matrix(entries, out);
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

// The 4 x 4 transfer matrix times the 4 x 2 chain block p (both by columns): p = L p, each entry
// summed over k = 1..4 in increasing k, as matrix_multiply does.
template <class V>
[[gnu::always_inline]] inline void multiply_block(const V (&l)[16], V (&p)[8]) {
  V t[8];
#pragma GCC unroll 8
  for (int j = 0; j < 2; ++j) {
#pragma GCC unroll 8
    for (int i = 0; i < 4; ++i) {
      V s = 0.0 + l[i] * p[j * 4];
#pragma GCC unroll 8
      for (int k = 1; k < 4; ++k) s = s + l[k * 4 + i] * p[j * 4 + k];
      t[j * 4 + i] = s;
    }
  }
#pragma GCC unroll 8
  for (int e = 0; e < 8; ++e) p[e] = t[e];
}

// a . b with the stress rows weighted by w2 (columns of 4 entries).
template <class V>
[[gnu::always_inline]] inline void weighted_dot(const V* a, const V* b, const V& w2, V& out) {
  out = a[0] * b[0] + a[1] * b[1] + w2 * (a[2] * b[2] + a[3] * b[3]);
}

// Makes the two columns of the 4 x 2 chain product p (stored by columns) orthogonal, with the
// stress rows 3 and 4 measured in units of e m, and scales each to a norm between 1/2 and 2 by a
// power of 2. This is p times an invertible 2 x 2 matrix, which multiplies both 2 x 2 minors of
// the surface conditions by its determinant and so leaves their ratio alone; it keeps the columns
// from turning parallel (and the entries from growing) as the chain climbs through the sublayers.
template <class V>
[[gnu::always_inline]] inline void orthonormalize_columns(V (&p)[8], double e, const V& m) {
  const V w = 1 / (e * m);
  const V w2 = w * w;
  V* c1 = p;
  V* c2 = p + 4;
  V n1;
  V n12;
  weighted_dot(c1, c1, w2, n1);
  weighted_dot(c1, c2, w2, n12);
  const V a = n12 / n1;
#pragma GCC unroll 8
  for (int r = 0; r < 4; ++r) c2[r] -= a * c1[r];
  V n2;
  weighted_dot(c2, c2, w2, n2);
  V f1;
  V f2;
  inverse_sqrt_power_of_two(n1, f1);
  inverse_sqrt_power_of_two(n2, f2);
#pragma GCC unroll 8
  for (int r = 0; r < 4; ++r) {
    c1[r] *= f1;
    c2[r] *= f2;
  }
}

// load x R(m) for the n sublayers whose terms term(i) gives (i = 0 .. n-1, the half-space last);
// decay(i, t, x) sets x to the decay factor of sublayer i, whose terms are t.
// Only columns 1 and 2 of A = L_1 L_2 ... L_(N-1) H enter the surface conditions: that 4 x 2
// block is carried up from the half-space, one sublayer at a time, its columns made orthogonal
// and of about unit length after each step.
template <class V, class Terms, class Decay>
[[gnu::always_inline]] inline void response(
    int n, const Terms& term, const Decay& decay, const V& m, const V& load, V& out) {
  V p[8];
  {
    V hs[16];
    halfspace_entries(term(n - 1), m, hs);
#pragma GCC unroll 8
    for (int e = 0; e < 8; ++e) p[e] = hs[e];
  }
  for (int i = n - 2; i >= 0; --i) {
    const SublayerTerms& t = term(i);
    V x;
    decay(i, t, x);
    V l[16];
    transfer_entries(t, m, x, l);
    multiply_block(l, p);
    orthonormalize_columns(p, t.e, m);
  }
  const auto s = [&p](int row, int col) -> const V& { return p[(col - 1) * 4 + (row - 1)]; };

  // Surface conditions: unit normal stress, no shear; w from the half-space amplitudes.
  const V d = s(3, 1) * s(4, 2) - s(3, 2) * s(4, 1);
  out = load * (s(2, 1) * s(4, 2) - s(4, 1) * s(2, 2)) / d;
}

// The batched kernel with L lanes to a vector; a last partial vector repeats the last abscissa in
// its spare lanes.
template <int L>
[[gnu::always_inline]] inline void responses_in_lanes(std::span<const SublayerTerms> terms,
                                                      std::span<const double> m,
                                                      std::span<const double> load,
                                                      std::span<const double> decay,
                                                      std::span<double> out) {
  using V = typename Lanes<L>::D;
  const int n = static_cast<int>(terms.size());
  const std::size_t rows = terms.size() - 1;
  const auto term = [terms](int i) -> const SublayerTerms& {
    return terms[static_cast<std::size_t>(i)];
  };
  const std::size_t count = m.size();
  for (std::size_t i = 0; i < count; i += L) {
    std::size_t lane[L];
    V mv;
    V lv;
#pragma GCC unroll 8
    for (int l = 0; l < L; ++l) {
      lane[l] = std::min(i + static_cast<std::size_t>(l), count - 1);
      mv[l] = m[lane[l]];
      lv[l] = load[lane[l]];
    }
    const auto given = [&](int s, const SublayerTerms&, V& x) {
#pragma GCC unroll 8
      for (int l = 0; l < L; ++l) x[l] = decay[lane[l] * rows + static_cast<std::size_t>(s)];
    };
    V r;
    response(n, term, given, mv, lv, r);
    for (int l = 0; l < L && i + static_cast<std::size_t>(l) < count; ++l) out[i + l] = r[l];
  }
}

using ResponsesFn = void (*)(std::span<const SublayerTerms>,
                             std::span<const double>,
                             std::span<const double>,
                             std::span<const double>,
                             std::span<double>);

void responses_plain(std::span<const SublayerTerms> terms,
                     std::span<const double> m,
                     std::span<const double> load,
                     std::span<const double> decay,
                     std::span<double> out) {
  responses_in_lanes<2>(terms, m, load, decay, out);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void responses_avx2(std::span<const SublayerTerms> terms,
                                            std::span<const double> m,
                                            std::span<const double> load,
                                            std::span<const double> decay,
                                            std::span<double> out) {
  responses_in_lanes<4>(terms, m, load, decay, out);
}

[[gnu::target("avx512f")]] void responses_avx512(std::span<const SublayerTerms> terms,
                                                 std::span<const double> m,
                                                 std::span<const double> load,
                                                 std::span<const double> decay,
                                                 std::span<double> out) {
  responses_in_lanes<8>(terms, m, load, decay, out);
}
#endif

ResponsesFn responses_for(KernelIsa isa) {
#if defined(__x86_64__)
  if (isa == KernelIsa::kAvx512) return responses_avx512;
  if (isa == KernelIsa::kAvx2) return responses_avx2;
#endif
  (void)isa;
  return responses_plain;
}

ResponsesFn widest_available() {
  for (KernelIsa isa : {KernelIsa::kAvx512, KernelIsa::kAvx2}) {
    if (kernel_isa_available(isa)) return responses_for(isa);
  }
  return responses_plain;
}

}  // namespace

bool kernel_isa_available(KernelIsa isa) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (isa == KernelIsa::kAvx512) return __builtin_cpu_supports("avx512f");
  if (isa == KernelIsa::kAvx2) return __builtin_cpu_supports("avx2");
#endif
  return isa == KernelIsa::kPlain;
}

void layer_system_responses(std::span<const SublayerTerms> terms,
                            std::span<const double> m,
                            std::span<const double> load,
                            std::span<const double> decay,
                            std::span<double> response) {
  static const ResponsesFn widest = widest_available();
  widest(terms, m, load, decay, response);
}

void layer_system_responses(std::span<const SublayerTerms> terms,
                            std::span<const double> m,
                            std::span<const double> load,
                            std::span<const double> decay,
                            std::span<double> response,
                            KernelIsa isa) {
  responses_for(isa)(terms, m, load, decay, response);
}

double layer_system_response(std::span<const SublayerTerms> terms, double m, double load) {
  const auto term = [terms](int i) -> const SublayerTerms& {
    return terms[static_cast<std::size_t>(i)];
  };
  // The decay factor of each sublayer as the chain reaches it.
  const auto decay = [m](int, const SublayerTerms& t, double& x) { x = decay_factor(m, t.h); };
  double w;
  response(static_cast<int>(terms.size()), term, decay, m, load, w);
  return w;
}

double layer_system_response(const ModelLayers& layers,
                             const ModelValues& values,
                             double m,
                             double load) {
  // The terms of each sublayer as the chain reaches it, so that nothing is stored.
  const auto term = [&layers, &values](int i) {
    return sublayer_terms(layers.sublayer_thickness[i] / values.radius_m,
                          layers.sublayer_poisson[i],
                          layers.sublayer_modulus[i],
                          layers.sublayer_compliance[i]);
  };
  // The decay factor of each sublayer as the chain reaches it.
  const auto decay = [m](int, const SublayerTerms& t, double& x) { x = decay_factor(m, t.h); };
  double w;
  response(layers.n_model_layers, term, decay, m, load, w);
  return w;
}

void layer_system_kernel(
    const ModelLayers& layers, const ModelValues& values, double m, double& result, double load) {
  const double w = layer_system_response(layers, values, m, load);
  result = ::j0(values.norm_offset * m) * w * m;
}

double deflection_integrand(const ModelLayers& layers, const ModelValues& values, double m) {
  const double load = integrand_load(values, m, ::j1(values.norm_radius * m));
  double value;
  layer_system_kernel(layers, values, m, value, load);
  if (std::isnan(value)) value = 0;
  return value;
}

}  // namespace orva
