#include "layer_kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orva {
namespace {

void expect_matrix_near(const Mat4& actual, const Mat4& expected, double tolerance) {
  for (int r = 1; r <= 4; ++r) {
    for (int c = 1; c <= 4; ++c) {
      const double scale = std::max(1.0, std::fabs(expected(r, c)));
      EXPECT_NEAR(actual(r, c), expected(r, c), tolerance * scale)
          << "entry (" << r << "," << c << ")";
    }
  }
}

TEST(MatrixMultiply, SquareProductReplacesTheLeftOperand) {
  // Column-major [1 2; 3 4] [5 6; 7 8] = [19 22; 43 50].
  double a[] = {1, 3, 2, 4};
  double b[] = {5, 7, 6, 8};
  matrix_multiply(a, 2, b, 2);
  EXPECT_EQ(std::vector<double>(a, a + 4), (std::vector<double>{19, 43, 22, 50}));
  EXPECT_EQ(std::vector<double>(b, b + 4), (std::vector<double>{5, 7, 6, 8}));
}

TEST(MatrixMultiply, RectangularProductReplacesTheRightOperand) {
  // [1 2; 3 4] [1 0 2; 0 1 3] = [1 2 8; 3 4 18].
  double a[] = {1, 3, 2, 4};
  double b[] = {1, 0, 0, 1, 2, 3};
  matrix_multiply(a, 2, b, 3);
  EXPECT_EQ(std::vector<double>(a, a + 4), (std::vector<double>{1, 3, 2, 4}));
  EXPECT_EQ(std::vector<double>(b, b + 6), (std::vector<double>{1, 3, 2, 4, 8, 18}));
}

// The transfer matrix of a bonded layer propagates through its depth: a layer of no thickness is
// the identity, and two layers of one material make one layer of their joint thickness.
TEST(LayerTransferMatrix, PropagatesThroughDepth) {
  Mat4 identity;
  for (int i = 1; i <= 4; ++i) identity(i, i) = 1;
  for (double nu : {0.2, 0.35, 0.5}) {
    for (double m : {0.05, 0.7, 6.0}) {
      SCOPED_TRACE("nu " + std::to_string(nu) + ", m " + std::to_string(m));
      Mat4 zero;
      layer_transfer_matrix(zero, m, 0.0, nu, 500, 0);
      expect_matrix_near(zero, identity, 1e-15);

      Mat4 upper, lower, joint;
      layer_transfer_matrix(upper, m, 0.4, nu, 500, 2e-3);  // the compliance acts at the top only
      layer_transfer_matrix(lower, m, 0.9, nu, 500, 0);
      layer_transfer_matrix(joint, m, 1.3, nu, 500, 2e-3);
      matrix_multiply(upper.data(), 4, lower.data(), 4);
      expect_matrix_near(upper, joint, 1e-12);
    }
  }
}

// The compliance enters through k = E K in the first row only; (3,3) equals (2,2) exactly.
TEST(LayerMatrices, ComplianceChangesOnlyTheFirstRow) {
  for (double m : {0.3, 2.0, 15.0}) {
    Mat4 bonded, slipping, hs_bonded, hs_slipping;
    layer_transfer_matrix(bonded, m, 0.8, 0.35, 2000, 0);
    layer_transfer_matrix(slipping, m, 0.8, 0.35, 2000, 1e-3);
    halfspace_matrix(hs_bonded, m, 0.4, 300, 0);
    halfspace_matrix(hs_slipping, m, 0.4, 300, 1e-3);
    EXPECT_EQ(bonded(3, 3), bonded(2, 2));
    EXPECT_EQ(slipping(3, 3), slipping(2, 2));
    for (int c = 1; c <= 4; ++c) {
      EXPECT_NE(bonded(1, c), slipping(1, c)) << "column " << c;
      EXPECT_NE(hs_bonded(1, c), hs_slipping(1, c)) << "column " << c;
      for (int r = 2; r <= 4; ++r) {
        EXPECT_EQ(bonded(r, c), slipping(r, c)) << "(" << r << "," << c << ")";
        EXPECT_EQ(hs_bonded(r, c), hs_slipping(r, c)) << "(" << r << "," << c << ")";
      }
    }
  }
}

ModelLayers layers_of(std::vector<double> modulus,
                      std::vector<double> poisson,
                      std::vector<double> thickness,
                      std::vector<double> compliance) {
  ModelLayers layers;
  layers.n_model_layers = static_cast<int>(modulus.size());
  layers.sublayer_modulus = modulus;
  layers.sublayer_poisson = poisson;
  layers.sublayer_thickness = thickness;
  layers.sublayer_slip.assign(modulus.size(), 0.0);
  layers.sublayer_compliance = compliance;
  return layers;
}

ModelValues values_of(double radius_m) {
  ModelValues values;
  values.radius_m = radius_m;
  values.contact_pressure = 0.7;
  values.norm_radius = 1.0;
  return values;
}

// Response of a half-space to a unit load: R(m) = -2 (1 - nu^2) / (E m).
TEST(LayerSystemKernel, HalfSpaceAloneIsBoussinesq) {
  const ModelValues values = values_of(0.15);
  for (double nu : {0.25, 0.35, 0.5}) {
    ModelLayers layers = layers_of({420}, {nu}, {0}, {0});
    for (double m : {0.01, 1.0, 40.0}) {
      const double r = layer_system_response(layers, values, m, 1.0);
      EXPECT_NEAR(r / (-2 * (1 - nu * nu) / (420 * m)), 1.0, 1e-13) << "nu " << nu << ", m " << m;
    }
  }
}

// Regression: the unscaled chain product overflowed or cancelled to 0 at m of 40 to 80 on slipping
// pavements, and an infinite value went into the deflection sum.
// At large wavenumbers only the top of the first sublayer matters, slip below or not: the response
// is finite and within rounding of the first layer's half-space once exp(-2 m h1) (h1 = 1 here) is
// negligible, also with 1 m sublayers (u = m h up to 7e4) and springs of a slip rate of 0.99999999.
// The rounding grows about like (m h1)^2; the model integrates only up to m h1 = 25 + 5 h1.
TEST(LayerSystemKernel, TendsToTheFirstLayerAtLargeWavenumbers) {
  const ModelValues values = values_of(0.15);
  const double soft = 0.99999999 / (1 - 0.99999999) * (1.35 / 200 + 1.35 / 3900);
  const struct {
    const char* name;
    std::vector<double> h, k;
  } cases[] = {
      {"bonded", {0.15, 0.3, 0}, {0, 0, 0}},
      {"springs", {0.15, 0.3, 0}, {0, 2e-3, 5e-3}},
      {"1 m sublayers, springs", {0.15, 1.0, 0}, {0, 2e-3, 5e-3}},
      {"slip 0.99999999", {0.15, 1.0, 0}, {0, soft, 0}},
  };
  for (const auto& c : cases) {
    ModelLayers layers = layers_of({3900, 200, 80}, {0.35, 0.3, 0.45}, c.h, c.k);
    const std::pair<double, double> points[] = {
        {30, 1e-11}, {60, 1e-11}, {200, 1e-9}, {1e3, 1e-7}, {1e4, 1e-7}};
    for (const auto& [m, tolerance] : points) {
      const double r = layer_system_response(layers, values, m, 1.0);
      EXPECT_NEAR(r / (-2 * (1 - 0.35 * 0.35) / (3900 * m)), 1.0, tolerance)
          << c.name << ", m " << m;
    }
  }
}

// The batched kernel does, lane by lane, what one abscissa at a time does: the same bits on every
// instruction set the processor has, in full and partial vectors, at wavenumbers where e^(-2u) is
// subnormal or 0, and NaN where a modulus is not a number.
TEST(LayerSystemKernel, BatchesGiveTheBitsOfOneAbscissaAtATime) {
  const ModelValues values = values_of(0.15);
  const std::vector<double> e = {3900, 1200, 600, 200, 80};
  const std::vector<double> nu = {0.35, 0.3, 0.4, 0.3, 0.45};
  const std::vector<double> h = {0.05, 0.1, 0.8, 0.3, 0};
  const std::vector<double> k = {0, 2e-3, 0, 5e-3, 1e-3};
  std::vector<double> m;
  std::vector<double> load;
  for (int i = 0; i < 61; ++i) {
    m.push_back(0.003 * std::pow(1.21, i));  // 0.003 to 280
    load.push_back(-0.3 + 0.01 * i);
  }
  for (double big : {1072.0, 1074.5, 3e3, 1e5}) {  // 2 m h1 / 0.15 of about 715 to 6.7e4
    m.push_back(big);
    load.push_back(0.7);
  }
  const auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  for (std::size_t n = 1; n <= e.size() + 1; ++n) {
    const bool nan_case = n > e.size();
    const std::size_t n_layers = nan_case ? 3 : n;
    std::vector<double> ei(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(n_layers));
    std::vector<double> nui(nu.begin(), nu.begin() + static_cast<std::ptrdiff_t>(n_layers));
    std::vector<double> hi(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(n_layers));
    std::vector<double> ki(k.begin(), k.begin() + static_cast<std::ptrdiff_t>(n_layers));
    ei.back() = e.back();  // the half-space
    nui.back() = nu.back();
    ki[0] = 0;
    if (nan_case) ei[1] = std::nan("");
    const ModelLayers layers = layers_of(ei, nui, hi, ki);
    std::vector<SublayerTerms> terms;
    sublayer_terms(layers, values, terms);
    ASSERT_EQ(terms.size(), n_layers);
    const std::size_t rows = n_layers - 1;
    std::vector<double> decay;
    for (double x : m) {
      for (std::size_t s = 0; s < rows; ++s) decay.push_back(decay_factor(x, terms[s].h));
    }

    for (KernelIsa isa : {KernelIsa::kPlain, KernelIsa::kAvx2, KernelIsa::kAvx512}) {
      if (!kernel_isa_available(isa)) continue;
      for (std::size_t count : {m.size(), std::size_t{1}, std::size_t{3}, std::size_t{13}}) {
        std::vector<double> batch(count, 0.0);
        const std::size_t first = m.size() - count;  // the partial vectors take the large m
        layer_system_responses(terms,
                               std::span(m).subspan(first, count),
                               std::span(load).subspan(first, count),
                               std::span(decay).subspan(first * rows, count * rows),
                               batch,
                               isa);
        for (std::size_t i = 0; i < count; ++i) {
          const double x = m[first + i];
          const double one = layer_system_response(layers, values, x, load[first + i]);
          SCOPED_TRACE(std::to_string(n_layers) + " sublayers, isa " +
                       std::to_string(static_cast<int>(isa)) + ", m " + std::to_string(x));
          EXPECT_EQ(bits(layer_system_response(terms, x, load[first + i])), bits(one));
          if (nan_case) {
            EXPECT_TRUE(std::isnan(batch[i]) && std::isnan(one));
          } else {
            ASSERT_TRUE(std::isfinite(one));
            EXPECT_EQ(bits(batch[i]), bits(one)) << batch[i] << " vs " << one;
          }
        }
      }
    }
  }
  // The default path is one of them.
  std::vector<double> batch(m.size());
  const ModelLayers layers = layers_of(e, nu, h, k);
  std::vector<SublayerTerms> terms;
  sublayer_terms(layers, values, terms);
  std::vector<double> decay;
  for (double x : m) {
    for (std::size_t s = 0; s + 1 < terms.size(); ++s) decay.push_back(decay_factor(x, terms[s].h));
  }
  layer_system_responses(terms, m, load, decay, batch);
  for (std::size_t i = 0; i < m.size(); ++i)
    EXPECT_EQ(bits(batch[i]), bits(layer_system_response(layers, values, m[i], load[i])));
}

TEST(DeflectionIntegrand, NanKernelGivesExactlyZero) {
  // A modulus that is not a number (nothing the reader lets through) makes the kernel NaN.
  ModelValues values = values_of(0.15);
  ModelLayers layers = layers_of({std::nan(""), 98}, {0.35, 0.4}, {1.0, 0}, {0, 0});
  const double m = 2;
  double kernel = 0;
  layer_system_kernel(layers, values, m, kernel, integrand_load(values, m, ::j1(m)));
  ASSERT_TRUE(std::isnan(kernel));
  const double value = deflection_integrand(layers, values, m);
  EXPECT_EQ(value, 0.0);
  EXPECT_FALSE(std::signbit(value));

  // Otherwise the integrand is the kernel's value.
  layers = layers_of({294, 98}, {0.35, 0.4}, {1.0, 0}, {0, 0});
  layer_system_kernel(layers, values, m, kernel, integrand_load(values, m, ::j1(m)));
  EXPECT_EQ(deflection_integrand(layers, values, m), kernel);
}

}  // namespace
}  // namespace orva
