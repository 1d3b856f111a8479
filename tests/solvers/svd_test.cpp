// svdcmp, svd_back_substitute and safe_hypot against Eigen and hand-computed cases.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "solver_test_util.h"
#include "solvers.h"

namespace orva {
namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using test::random_matrix;

struct SvdResult {
  MatrixXd u;  // m x n
  VectorXd w;
  MatrixXd v;  // n x n
};

// Runs svdcmp on a copy of a with leading dimension m for both a and v.
SvdResult run_svdcmp(const MatrixXd& a, SvdWork& work) {
  const int m = static_cast<int>(a.rows());
  const int n = static_cast<int>(a.cols());
  std::vector<double> ad(a.data(), a.data() + a.size());
  std::vector<double> w(n, -7.0);
  std::vector<double> v(static_cast<std::size_t>(m) * n, -7.0);
  svdcmp(work, ad, m, n, w, v);
  SvdResult r{MatrixXd(m, n), VectorXd(n), MatrixXd(n, n)};
  for (int j = 0; j < n; ++j) {
    r.w(j) = w[j];
    for (int i = 0; i < m; ++i) r.u(i, j) = ad[i + j * m];
    for (int i = 0; i < n; ++i) r.v(i, j) = v[i + j * m];
  }
  return r;
}

SvdResult run_svdcmp(const MatrixXd& a) {
  SvdWork work;
  return run_svdcmp(a, work);
}

VectorXd sorted_descending(VectorXd w) {
  std::sort(w.data(), w.data() + w.size(), std::greater<double>());
  return w;
}

struct MatrixCase {
  const char* name;
  MatrixXd a;
};

std::vector<MatrixCase> oracle_cases() {
  std::vector<MatrixCase> cases;
  cases.push_back({"1x1", random_matrix(1, 1, 1)});
  cases.push_back({"3x2", random_matrix(3, 2, 2)});
  cases.push_back({"5x5", random_matrix(5, 5, 3)});
  cases.push_back({"8x3", random_matrix(8, 3, 4)});
  cases.push_back({"10x9", random_matrix(10, 9, 5)});
  cases.push_back({"20x7", random_matrix(20, 7, 6)});
  cases.push_back({"20x20", random_matrix(20, 20, 7)});
  cases.push_back({"tiny 6x4", random_matrix(6, 4, 8, 1e-150)});
  cases.push_back({"huge 6x4", random_matrix(6, 4, 9, 1e150)});
  // Rank 2 of 6 columns.
  cases.push_back({"rank 2", random_matrix(9, 2, 10) * random_matrix(2, 6, 11)});
  MatrixXd dup = random_matrix(7, 4, 12);
  dup.col(3) = dup.col(1);
  cases.push_back({"identical columns", dup});
  MatrixXd zero_col = random_matrix(5, 3, 13);
  zero_col.col(0).setZero();
  cases.push_back({"zero column", zero_col});
  return cases;
}

TEST(Svdcmp, MatchesEigenAndReproducesTheInput) {
  for (const auto& c : oracle_cases()) {
    SCOPED_TRACE(c.name);
    const SvdResult r = run_svdcmp(c.a);
    const VectorXd expected = Eigen::JacobiSVD<MatrixXd>(c.a).singularValues();
    const double top = expected(0);
    const VectorXd got = sorted_descending(r.w);
    EXPECT_TRUE((r.w.array() >= 0.0).all()) << r.w.transpose();
    for (int i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(got(i), expected(i), 1e-12 * top)
          << "expected: " << expected.transpose() << "\nactual: " << got.transpose();
    }
    const MatrixXd back = r.u * r.w.asDiagonal() * r.v.transpose();
    EXPECT_LE((back - c.a).norm(), 1e-13 * c.a.norm());
    const MatrixXd vtv = r.v.transpose() * r.v;
    EXPECT_LE((vtv - MatrixXd::Identity(c.a.cols(), c.a.cols())).norm(), 1e-13);
  }
}

TEST(Svdcmp, KeepsDiagonalOrderAndMovesSignsIntoTheVectors) {
  // clang-format off
  struct Case { const char* name; double d1, d2, d3; };
  const Case cases[] = {
      {"diag(1, 2, 3)",  1.0,  2.0, 3.0},
      {"diag(1, -2, 3)", 1.0, -2.0, 3.0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MatrixXd a = MatrixXd::Zero(3, 3);
    a.diagonal() << c.d1, c.d2, c.d3;
    const SvdResult r = run_svdcmp(a);
    EXPECT_DOUBLE_EQ(r.w(0), 1.0);
    EXPECT_DOUBLE_EQ(r.w(1), 2.0);
    EXPECT_DOUBLE_EQ(r.w(2), 3.0);
    EXPECT_LE((r.u * r.w.asDiagonal() * r.v.transpose() - a).norm(), 1e-15);
  }
}

TEST(Svdcmp, ThreeByTwoExampleGivesTheSmallerValueFirst) {
  MatrixXd a(3, 2);
  a << 1, 2, 3, 4, 5, 6;
  const SvdResult r = run_svdcmp(a);
  // Eigen's values of the same matrix, in svdcmp's (unsorted) order.
  const VectorXd eig = Eigen::JacobiSVD<MatrixXd>(a).singularValues();
  EXPECT_NEAR(r.w(0), 0.514301, 1e-6);
  EXPECT_NEAR(r.w(1), 9.525518, 1e-6);
  EXPECT_NEAR(r.w(0), eig(1), 1e-13);
  EXPECT_NEAR(r.w(1), eig(0), 1e-13);
}

TEST(Svdcmp, ZeroMatrixGivesZeroValuesAndIdentityColumns) {
  const MatrixXd a = MatrixXd::Zero(4, 3);
  const SvdResult r = run_svdcmp(a);
  EXPECT_EQ(r.w, VectorXd::Zero(3));
  EXPECT_EQ(r.v, MatrixXd::Identity(3, 3));
  EXPECT_EQ(r.u, MatrixXd::Identity(4, 3));
}

TEST(Svdcmp, ZeroColumnsChangeNothing) {
  SvdWork work;
  std::vector<double> a = {1.0, 2.0}, w = {5.0}, v = {6.0, 7.0};
  svdcmp(work, a, 2, 0, w, v);
  EXPECT_EQ(a, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(w, (std::vector<double>{5.0}));
  EXPECT_EQ(v, (std::vector<double>{6.0, 7.0}));
  std::vector<double> x = {9.0};
  svd_back_substitute(work, a, w, v, 2, 0, a, x);
  EXPECT_EQ(x[0], 9.0);
}

// Regression: with a NaN in the matrix the norm bound is NaN, so no split test succeeds, and the
// split search ran on past l = 1 and read w and e before their first element.
TEST(Svdcmp, NotANumberInputEndsWithoutReadingBeforeTheFirstColumn) {
  // The search must stop at l = 1. The iteration limit is lowered (and the pause answered) to keep
  // the test short.
  MatrixXd a = random_matrix(4, 3, 21);
  a(1, 1) = std::numeric_limits<double>::quiet_NaN();
  std::ostringstream out;
  std::istringstream in("");
  SvdWork work(out, in);
  work.max_iterations = 2;
  run_svdcmp(a, work);
  EXPECT_NE(out.str().find("no convergence in svdcmp"), std::string::npos);
}

TEST(SvdBackSubstitute, MatchesEigenLeastSquaresOnFullRankProblems) {
  // clang-format off
  struct Case { int m, n; unsigned seed; double scale; };
  const Case cases[] = {{1, 1, 31, 1.0}, {4, 2, 32, 1.0}, {10, 4, 33, 1.0}, {20, 5, 34, 1e-3},
                        {20, 20, 35, 1.0}, {12, 6, 36, 1e5}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.m << "x" << c.n);
    const MatrixXd a = random_matrix(c.m, c.n, c.seed, c.scale);
    const VectorXd b = random_matrix(c.m, 1, c.seed + 100);
    SvdWork work;
    const SvdResult r = run_svdcmp(a, work);
    std::vector<double> u(r.u.data(), r.u.data() + r.u.size());
    std::vector<double> v(static_cast<std::size_t>(c.m) * c.n, 0.0);
    for (int j = 0; j < c.n; ++j)
      for (int i = 0; i < c.n; ++i) v[i + j * c.m] = r.v(i, j);
    std::vector<double> w(r.w.data(), r.w.data() + c.n);
    std::vector<double> x(c.n + 1, 42.0);
    svd_back_substitute(work, u, w, v, c.m, c.n, std::span<const double>(b.data(), c.m), x);
    const VectorXd expected = a.colPivHouseholderQr().solve(b);
    for (int i = 0; i < c.n; ++i) EXPECT_NEAR(x[i], expected(i), 1e-10 * expected.norm());
    EXPECT_EQ(x[c.n], 42.0);  // only x(1..n) is written
  }
}

TEST(SvdBackSubstitute, ZeroSingularValueDropsItsComponentAndTinyOneIsUsedInFull) {
  // a = diag(2, 1e-12, 4) as its own SVD (U = V = I).
  const int n = 3;
  std::vector<double> u = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::vector<double> v = u;
  const std::vector<double> b = {2.0, 3.0, 8.0};
  std::vector<double> x(n);
  SvdWork work;
  std::vector<double> w = {2.0, 1e-12, 4.0};
  svd_back_substitute(work, u, w, v, n, n, b, x);
  EXPECT_EQ(x, (std::vector<double>{1.0, 3.0 / 1e-12, 2.0}));
  w[1] = 0.0;
  svd_back_substitute(work, u, w, v, n, n, b, x);
  EXPECT_EQ(x, (std::vector<double>{1.0, 0.0, 2.0}));
  w[1] = std::numeric_limits<double>::quiet_NaN();
  svd_back_substitute(work, u, w, v, n, n, b, x);
  EXPECT_EQ(x, (std::vector<double>{1.0, 0.0, 2.0}));
}

TEST(SvdBackSubstitute, ZeroMatrixGivesZeroStep) {
  const MatrixXd a = MatrixXd::Zero(4, 2);
  SvdWork work;
  const SvdResult r = run_svdcmp(a, work);
  std::vector<double> u(r.u.data(), r.u.data() + r.u.size());
  std::vector<double> v = {r.v(0, 0), r.v(1, 0), 0, 0, r.v(0, 1), r.v(1, 1), 0, 0};
  std::vector<double> w(r.w.data(), r.w.data() + 2);
  const std::vector<double> b = {1, 2, 3, 4};
  std::vector<double> x = {5, 5};
  svd_back_substitute(work, u, w, v, 4, 2, b, x);
  EXPECT_EQ(x, (std::vector<double>{0.0, 0.0}));
}

TEST(SafeHypot, Cases) {
  // clang-format off
  struct Case { double a, b, expected; };
  const Case cases[] = {
      { 3.0,    4.0,    5.0},
      { 0.0,    0.0,    0.0},
      {-3.0,    0.0,    3.0},
      { 0.0,   -4.0,    4.0},
      { 1e200,  1e200,  1e200 * std::sqrt(2.0)},
      { 1e-200, 1e-200, 1e-200 * std::sqrt(2.0)},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << ", " << c.b);
    EXPECT_NEAR(safe_hypot(c.a, c.b), c.expected, 1e-15 * c.expected);
  }
}

// No convergence: with the iteration limit at 1, every value that needs a sweep pauses.
struct PauseCase {
  const char* name;
  std::string input;
  int messages;           // times the message is shown for the first pause
  std::string left_over;  // what remains unread on the input afterwards
};

TEST(Svdcmp, PausesOnNoConvergenceAndResumes) {
  const MatrixXd a = random_matrix(2, 2, 41);
  // clang-format off
  const PauseCase cases[] = {
      {"empty line",             "\nrest\n",          1, "rest"},
      {"end of input",           "",                  1, ""},
      {"CR LF empty line",       "\r\nrest\n",        1, "rest"},
      {"command text is not run", "echo hi\nls\n\nrest\n", 3, "rest"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    std::istringstream in(c.input);
    SvdWork work(out, in);
    work.max_iterations = 1;
    // A 2 x 2 matrix has one value needing a sweep: exactly one pause.
    const SvdResult r = run_svdcmp(a, work);
    std::string expected;
    for (int i = 0; i < c.messages; ++i) expected += "no convergence in svdcmp\n";
    EXPECT_EQ(out.str(), expected);
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, c.left_over);
    // The run finishes with finite values.
    EXPECT_TRUE(r.w.allFinite());
    EXPECT_TRUE(r.u.allFinite());
  }
}

TEST(Svdcmp, ConvergesWithoutPauseAtTheNormalLimit) {
  std::ostringstream out;
  std::istringstream in("");
  SvdWork work(out, in);
  run_svdcmp(random_matrix(20, 20, 51), work);
  EXPECT_EQ(out.str(), "");
}

// Copies an m x n matrix into storage with leading dimension 20.
std::vector<double> to_ld20(const MatrixXd& a) {
  std::vector<double> out(20 * 20, 0.0);
  for (int j = 0; j < a.cols(); ++j)
    for (int i = 0; i < a.rows(); ++i) out[i + 20 * j] = a(i, j);
  return out;
}

TEST(SvdDampedSolve, GivesTheRidgeSolution) {
  // clang-format off
  struct Case { int m, n; double alpha; unsigned seed; };
  const Case cases[] = {{5, 3, 0.0, 61}, {5, 3, 0.5, 62}, {20, 20, 0.1, 63}, {12, 4, 3.0, 64}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.m << "x" << c.n << " alpha " << c.alpha);
    const MatrixXd a = random_matrix(c.m, c.n, c.seed);
    const VectorXd b = random_matrix(c.m, 1, c.seed + 1);
    const SvdResult r = run_svdcmp(a);
    const std::vector<double> u = to_ld20(r.u), v = to_ld20(r.v);
    std::vector<double> x(c.n);
    svd_damped_solve(u,
                     std::span<const double>(r.w.data(), c.n),
                     v,
                     c.m,
                     c.n,
                     std::span<const double>(b.data(), c.m),
                     x,
                     c.alpha);
    // (A'A + alpha^2 I) x = A'b.
    const MatrixXd normal = a.transpose() * a + c.alpha * c.alpha * MatrixXd::Identity(c.n, c.n);
    const VectorXd expected = normal.ldlt().solve(a.transpose() * b);
    EXPECT_LE((Eigen::Map<VectorXd>(x.data(), c.n) - expected).norm(), 1e-10 * expected.norm());
  }
  // A zero singular value gives no component.
  const std::vector<double> eye = to_ld20(MatrixXd::Identity(2, 2));
  const std::vector<double> w = {0.0, 2.0}, b = {3.0, 4.0};
  std::vector<double> x(2);
  svd_damped_solve(eye, w, eye, 2, 2, b, x, 1.0);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_DOUBLE_EQ(x[1], 4.0 / 2.0 * 4.0 / 5.0);
}

TEST(SvdScaledProduct20, FloorsTheWeightsAndFormsTheProduct) {
  const int n = 3, m = 4;
  const MatrixXd a = random_matrix(n, m, 71);
  const MatrixXd b = random_matrix(n, n, 72);
  std::vector<double> w = {2.0, 1e-7, -1.0};
  std::vector<double> out(20 * 20, 0.0);
  svd_scaled_product_20(to_ld20(a), w, to_ld20(b), n, m, out);
  const double floor = static_cast<double>(1.0e-5f);
  EXPECT_EQ(floor, 9.999999747378752e-6);
  EXPECT_EQ(w, (std::vector<double>{2.0, floor, floor}));
  VectorXd winv(3);
  winv << 0.5, 1.0 / floor, 1.0 / floor;
  const MatrixXd expected = b * winv.asDiagonal() * a;
  for (int k = 0; k < m; ++k)
    for (int j = 0; j < n; ++j)
      EXPECT_NEAR(out[j + 20 * k], expected(j, k), 1e-10 * expected.norm());
}

}  // namespace
}  // namespace orva
