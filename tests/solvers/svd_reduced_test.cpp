// initialize_svd, svd_load_from_ls, svd_decompose and swap_vectors against Eigen.
#include "svd_reduced.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

#include "solver_test_util.h"

namespace orva {
namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using test::random_matrix;
using test::to_eigen;
using test::to_vector;

struct Decomposition {
  VectorXd s;
  MatrixXd u, v, b;
  int info = 0;
};

// svd_decompose on copies, with leading dimensions equal to the row counts.
Decomposition decompose(
    const MatrixXd& a, const MatrixXd& b, bool want_u, bool want_v, int max_sweeps = 30) {
  const int m = static_cast<int>(a.rows());
  const int n = static_cast<int>(a.cols());
  const int nb = static_cast<int>(b.cols());
  std::vector<double> ad = to_vector(a), bd = to_vector(b), s(n, -1.0), v(n * n, -1.0);
  Decomposition d;
  svd_decompose(m, n, m, m, n, s, want_u, ad, want_v, v, bd, nb, d.info, max_sweeps);
  d.s = to_eigen(s);
  d.u = Eigen::Map<MatrixXd>(ad.data(), m, n);
  d.v = Eigen::Map<MatrixXd>(v.data(), n, n);
  d.b = Eigen::Map<MatrixXd>(bd.data(), m, nb);
  return d;
}

TEST(SvdDecompose, MatchesEigenAndCarriesTheRightHandSide) {
  // clang-format off
  struct Case { const char* name; MatrixXd a; };
  // clang-format on
  MatrixXd rank2 = random_matrix(8, 2, 5) * random_matrix(2, 5, 6);
  std::vector<Case> cases = {{"1x1", random_matrix(1, 1, 1)},
                             {"4x3", random_matrix(4, 3, 2)},
                             {"7x7", random_matrix(7, 7, 3)},
                             {"20x20", random_matrix(20, 20, 4)},
                             {"20x6", random_matrix(20, 6, 7)},
                             {"rank 2", rank2},
                             {"tiny", random_matrix(6, 5, 8, 1e-140)},
                             {"huge", random_matrix(6, 5, 9, 1e140)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MatrixXd b = random_matrix(static_cast<int>(c.a.rows()), 2, 10);
    const Decomposition d = decompose(c.a, b, true, true);
    EXPECT_EQ(d.info, 0);
    const VectorXd expected = Eigen::JacobiSVD<MatrixXd>(c.a).singularValues();
    const double top = expected(0);
    for (int i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(d.s(i), expected(i), 1e-12 * top) << "i = " << i;
      if (i > 0) {
        EXPECT_GE(d.s(i - 1), d.s(i));
      }
    }
    EXPECT_LE((d.u * d.s.asDiagonal() * d.v.transpose() - c.a).norm(), 1e-13 * c.a.norm());
    const auto n = c.a.cols();
    EXPECT_LE((d.v.transpose() * d.v - MatrixXd::Identity(n, n)).norm(), 1e-13);
    // b carried along: b becomes U'b (U of full column rank only in the first rows).
    EXPECT_LE((d.b.topRows(n) - d.u.transpose() * b).norm(), 1e-13 * b.norm());
    // Without U the singular values, V and U'b are the same.
    const Decomposition no_u = decompose(c.a, b, false, true);
    EXPECT_EQ(no_u.s, d.s);
    EXPECT_EQ(no_u.v, d.v);
    EXPECT_LE((no_u.b - d.b).norm(), 1e-13 * b.norm());
  }
}

TEST(SvdDecompose, ArgumentChecksChangeNothing) {
  // clang-format off
  struct Case { int lda, ldv, ldb, m, n, nb, info; };
  const Case cases[] = {
      {3, 2, 3, 3, 2, -1, -1},
      {3, 2, 3, 1, 2,  1, -2},
      {2, 2, 3, 3, 2,  1, -3},
      {3, 2, 2, 3, 2,  1, -3},
      {3, 1, 3, 3, 2,  1, -4},
      {2, 1, 2, 3, 2, -1, -1},  // the first failing check names the code
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "expected " << c.info);
    std::vector<double> a(12, 1.5), v(8, 2.5), b(6, 3.5), s(4, 4.5);
    int info = 0;
    svd_decompose(c.lda, c.ldv, c.ldb, c.m, c.n, s, true, a, true, v, b, c.nb, info);
    EXPECT_EQ(info, c.info);
    EXPECT_EQ(a, std::vector<double>(12, 1.5));
    EXPECT_EQ(v, std::vector<double>(8, 2.5));
    EXPECT_EQ(b, std::vector<double>(6, 3.5));
    EXPECT_EQ(s, std::vector<double>(4, 4.5));
  }
  int info = 5;
  std::vector<double> none;
  svd_decompose(0, 0, 0, 0, 0, none, false, none, true, none, none, 1, info);
  EXPECT_EQ(info, 0);
}

TEST(SvdDecompose, OneByOneFlipsTheSignIntoVAndB) {
  MatrixXd a(1, 1), b(1, 1);
  a << 2.5;
  b << 5.0;
  const Decomposition d = decompose(a, b, false, true);
  EXPECT_EQ(d.s(0), 2.5);
  EXPECT_EQ(d.v(0, 0), -1.0);
  EXPECT_EQ(d.b(0, 0), -5.0);
  EXPECT_EQ(d.v(0, 0) * d.b(0, 0) / d.s(0), 2.0);  // still B / X
}

TEST(SvdDecompose, SortsDiagonalInputAndKeepsEqualValuesInOrder) {
  // clang-format off
  struct Case { const char* name; std::vector<double> diag; std::vector<int> from; };
  const Case cases[] = {
      {"distinct", {3.0, 5.0, 1.0, 4.0}, {1, 3, 0, 2}},
      {"equal",    {3.0, 5.0, 5.0, 1.0}, {1, 2, 0, 3}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.diag.size());
    const MatrixXd a = to_eigen(c.diag).asDiagonal();
    MatrixXd b(n, 1);
    for (int i = 0; i < n; ++i) b(i, 0) = 10.0 * (i + 1);
    const Decomposition d = decompose(a, b, false, true);
    for (int j = 0; j < n; ++j) {
      EXPECT_EQ(d.s(j), c.diag[c.from[j]]) << j;
      // Column j of V is +-e(from[j]); b's row j is the matching entry, signed alike.
      for (int i = 0; i < n; ++i) EXPECT_EQ(std::fabs(d.v(i, j)), i == c.from[j] ? 1.0 : 0.0);
      EXPECT_EQ(d.b(j, 0) * d.v(c.from[j], j), b(c.from[j], 0));
    }
  }
}

TEST(SvdDecompose, ReportsNoConvergenceWithItsPosition) {
  const MatrixXd a = random_matrix(4, 4, 11);
  const Decomposition d = decompose(a, MatrixXd::Zero(4, 1), false, true, 0);
  EXPECT_EQ(d.info, 4);
}

// Regression: a NaN entry makes the tolerance NaN, so no split test succeeds, and the split search
// ran on past l = 1 and read e and s before their first element.
TEST(SvdDecompose, NotANumberInputStopsTheSplitSearchAtTheFirstColumn) {
  MatrixXd a = random_matrix(3, 3, 12);
  a(0, 0) = std::numeric_limits<double>::quiet_NaN();
  const Decomposition d = decompose(a, MatrixXd::Zero(3, 1), false, true);
  EXPECT_EQ(d.info, 3);  // no test succeeds, so the last value cannot converge
}

TEST(InitializeSvd, LoadsTheReducedSystem) {
  const MatrixXd a = random_matrix(9, 4, 13);
  const VectorXd y = random_matrix(9, 1, 14);
  LsState ls;
  ls_start(ls, 4, false);
  for (int i = 0; i < 9; ++i) {
    std::vector<double> row = {a(i, 0), a(i, 1), a(i, 2), a(i, 3)};
    ls_add_row(ls, 1.0, row, y(i));
  }
  for (int nreq : {4, 2}) {
    SCOPED_TRACE(nreq);
    SvdState svd;
    std::ostringstream out;
    svd.console = &out;
    initialize_svd(svd, ls, nreq);
    const MatrixXd x = Eigen::Map<MatrixXd>(svd.X.data(), nreq, nreq);
    const VectorXd bb = to_eigen(svd.B);
    const MatrixXd an = a.leftCols(nreq);
    EXPECT_TRUE(x.isUpperTriangular());
    EXPECT_LE((x.transpose() * x - an.transpose() * an).norm(), 1e-12);
    EXPECT_LE((x.transpose() * bb - an.transpose() * y).norm(), 1e-12);
    EXPECT_EQ(out.str(), "");
  }
}

TEST(InitializeSvd, TooManyColumnsWritesTheMessageAndLoadsNothing) {
  LsState ls;
  ls_start(ls, 3, false);
  std::vector<double> row = {1.0, 2.0, 3.0};
  ls_add_row(ls, 1.0, row, 1.0);
  SvdState svd;
  std::ostringstream out;
  svd.console = &out;
  initialize_svd(svd, ls, 5);
  EXPECT_EQ(out.str(),
            " Error in call to initialize_svd\n"
            " nreq =          5 > ncol =      3\n");
  EXPECT_EQ(svd.X, std::vector<double>(25, 0.0));
  EXPECT_EQ(svd.B, std::vector<double>(5, 0.0));
  out.str("");
  initialize_svd(svd, ls, 4);  // ncol + 1
  EXPECT_NE(out.str(), "");
  EXPECT_EQ(svd.s.size(), 4u);
  initialize_svd(svd, ls, -2);  // a negative size counts as 0
  EXPECT_EQ(svd.X.size(), 0u);
}

TEST(SwapVectors, ExchangesWithStrides) {
  // clang-format off
  struct Case { int n, incx, incy; std::vector<double> x, y, x_after, y_after; };
  const Case cases[] = {
      {0,  1,  1, {1, 2},          {5, 6},          {1, 2},          {5, 6}},
      {1,  1,  1, {1, 2},          {5, 6},          {5, 2},          {1, 6}},
      {4,  1,  1, {1, 2, 3, 4},    {5, 6, 7, 8},    {5, 6, 7, 8},    {1, 2, 3, 4}},
      {5,  1,  1, {1, 2, 3, 4, 5}, {6, 7, 8, 9, 0}, {6, 7, 8, 9, 0}, {1, 2, 3, 4, 5}},
      {2,  2,  1, {1, 2, 3},       {5, 6, 7},       {5, 2, 6},       {1, 3, 7}},
      {2, -1,  1, {1, 2},          {5, 6},          {6, 5},          {2, 1}},
      {3,  2, -1, {1, 2, 3, 4, 5}, {6, 7, 8},       {8, 2, 7, 4, 6}, {5, 3, 1}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n << " " << c.incx << " " << c.incy);
    std::vector<double> x = c.x, y = c.y;
    swap_vectors(c.n, x, c.incx, y, c.incy);
    EXPECT_EQ(x, c.x_after);
    EXPECT_EQ(y, c.y_after);
  }
}

}  // namespace
}  // namespace orva
