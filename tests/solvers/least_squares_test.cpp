// Givens least-squares reduction and its utilities against Eigen's dense solutions.
#include "least_squares.h"

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

// Adds every row of a (with weights w) to a fresh reduction.
void reduce(LsState& ls,
            const MatrixXd& a,
            const VectorXd& b,
            bool fit_const = false,
            const VectorXd* w = nullptr) {
  const int nvar = static_cast<int>(a.cols());
  ls_start(ls, nvar, fit_const);
  std::vector<double> row(static_cast<std::size_t>(ls.ncol));
  for (int i = 0; i < a.rows(); ++i) {
    int k = 0;
    if (fit_const) row[k++] = 1.0;
    for (int j = 0; j < nvar; ++j) row[k++] = a(i, j);
    ls_add_row(ls, w ? (*w)(i) : 1.0, row, b(i));
  }
}

MatrixXd with_constant(const MatrixXd& a) {
  MatrixXd c(a.rows(), a.cols() + 1);
  c.col(0).setOnes();
  c.rightCols(a.cols()) = a;
  return c;
}

TEST(LsStart, LaysOutRowPointersAndVariableOrder) {
  // clang-format off
  struct Case { int nvar; bool fit_const; int r_dim; std::vector<int> row_ptr, vorder; };
  const Case cases[] = {
      {1, false, 0, {0},          {1}},
      {1, true,  1, {1, 0},       {0, 1}},
      {3, false, 3, {1, 3, 0},    {1, 2, 3}},
      {3, true,  6, {1, 4, 6, 0}, {0, 1, 2, 3}},
      {5, false, 10, {1, 5, 8, 10, 0}, {1, 2, 3, 4, 5}},
  };
  // clang-format on
  LsState ls;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nvar << (c.fit_const ? " with constant" : ""));
    ls_start(ls, c.nvar, c.fit_const);
    EXPECT_EQ(ls.r_dim, c.r_dim);
    EXPECT_EQ(ls.r.size(), static_cast<std::size_t>(c.r_dim));
    EXPECT_EQ(ls.row_ptr, c.row_ptr);
    EXPECT_EQ(ls.vorder, c.vorder);
    EXPECT_EQ(ls.d, std::vector<double>(c.row_ptr.size(), 0.0));
    EXPECT_EQ(ls.nobs, 0);
    EXPECT_EQ(ls.vsmall, 2.2250738585072014e-307);
    EXPECT_FALSE(ls.tol_set);
    EXPECT_FALSE(ls.rss_set);
    EXPECT_TRUE(ls.initialized);
  }
}

TEST(LsCoefficients, MatchEigenWeightedLeastSquares) {
  // clang-format off
  struct Case { int m, n; bool fit_const; bool weighted; unsigned seed; };
  const Case cases[] = {{1, 1, false, false, 1}, {5, 2, false, false, 2}, {12, 5, false, true, 3},
                        {20, 8, true, false, 4}, {9, 3, true, true, 5}, {20, 20, false, false, 6}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.m << "x" << c.n << " seed " << c.seed);
    const MatrixXd a = random_matrix(c.m, c.n, c.seed);
    const VectorXd b = random_matrix(c.m, 1, c.seed + 50);
    VectorXd w = VectorXd::Ones(c.m);
    if (c.weighted) w = random_matrix(c.m, 1, c.seed + 60).array().abs() + 0.1;
    LsState ls;
    reduce(ls, a, b, c.fit_const, &w);
    EXPECT_EQ(ls.nobs, c.m);
    const MatrixXd full = c.fit_const ? with_constant(a) : a;
    const VectorXd sw = w.array().sqrt();
    const MatrixXd aw = sw.asDiagonal() * full;
    const VectorXd bw = sw.asDiagonal() * b;
    std::vector<double> beta(ls.ncol + 1, 7.0);
    int ifault = 99;
    ls_coefficients(ls, beta, ls.ncol, ifault);
    EXPECT_EQ(ifault, 0);
    const VectorXd expected = aw.colPivHouseholderQr().solve(bw);
    EXPECT_LE((to_eigen(beta).head(ls.ncol) - expected).norm(), 1e-10 * expected.norm());
    EXPECT_EQ(beta[ls.ncol], 7.0);

    // Residual sums of the nested models 1..i.
    ls_residual_sums(ls);
    EXPECT_TRUE(ls.rss_set);
    for (int i = 1; i <= ls.ncol; ++i) {
      const MatrixXd ai = aw.leftCols(i);
      const double rss =
          c.m > i ? (bw - ai * ai.colPivHouseholderQr().solve(bw)).squaredNorm() : 0.0;
      EXPECT_NEAR(ls.rss[i - 1], rss, 1e-10 * bw.squaredNorm()) << "i = " << i;
    }
    EXPECT_EQ(ls.rss[ls.ncol - 1], ls.sserr);
  }
}

TEST(LsAddRow, ZeroWeightAndTinyRowsOnlyCount) {
  LsState ls;
  const MatrixXd a = random_matrix(4, 3, 7);
  reduce(ls, a, random_matrix(4, 1, 8));
  ls_residual_sums(ls);
  const LsState before = ls;

  // Weight 0: counted, rss stale, nothing else changes.
  std::vector<double> row = {1.0, 2.0, 3.0};
  ls_add_row(ls, 0.0, row, 5.0);
  EXPECT_EQ(ls.nobs, before.nobs + 1);
  EXPECT_FALSE(ls.rss_set);
  EXPECT_EQ(ls.d, before.d);
  EXPECT_EQ(ls.r, before.r);
  EXPECT_EQ(ls.rhs, before.rhs);
  EXPECT_EQ(ls.sserr, before.sserr);

  // Entries below vsmall: the factor is unchanged, sserr grows by w y^2.
  row = {1e-308, -1e-308, 0.0};
  ls_add_row(ls, 2.0, row, 3.0);
  EXPECT_EQ(ls.nobs, before.nobs + 2);
  EXPECT_EQ(ls.d, before.d);
  EXPECT_EQ(ls.r, before.r);
  EXPECT_EQ(ls.rhs, before.rhs);
  EXPECT_EQ(ls.sserr, before.sserr + 2.0 * 9.0);
}

TEST(LsCoefficients, DependentAndOutOfRangeCases) {
  // Two identical columns: position 2 is dependent.
  LsState ls;
  MatrixXd a(3, 2);
  a << 1, 1, 2, 2, 3, 3;
  VectorXd b(3);
  b << 1, 2, 4;
  reduce(ls, a, b);
  std::vector<double> beta(2, 7.0);
  int ifault = 0;
  ls_coefficients(ls, beta, 2, ifault);
  EXPECT_EQ(ifault, -2);
  EXPECT_EQ(beta[1], 0.0);
  EXPECT_EQ(ls.d[1], 0.0);
  EXPECT_EQ(beta[0], ls.rhs[0]);
  EXPECT_NEAR(beta[0], 17.0 / 14.0, 1e-15);  // least squares on one column

  // One variable without a constant: beta(1) = rhs(1).
  LsState one;
  reduce(one, a.leftCols(1), b);
  ls_coefficients(one, beta, 1, ifault);
  EXPECT_EQ(ifault, 0);
  EXPECT_EQ(beta[0], one.rhs[0]);

  // nreq outside 1..ncol: 4 and beta untouched.
  for (int nreq : {0, 3, -1}) {
    SCOPED_TRACE(nreq);
    std::vector<double> untouched(3, 7.0);
    ls_coefficients(ls, untouched, nreq, ifault);
    EXPECT_EQ(ifault, 4);
    EXPECT_EQ(untouched, std::vector<double>(3, 7.0));
  }
}

TEST(LsStart, RestartsWithAnotherWidth) {
  LsState ls;
  reduce(ls, random_matrix(5, 2, 9), random_matrix(5, 1, 10));
  ls_set_tolerances(ls);
  ls_residual_sums(ls);
  ls_start(ls, 4, false);
  EXPECT_EQ(ls.ncol, 4);
  EXPECT_EQ(ls.nobs, 0);
  EXPECT_EQ(ls.d.size(), 4u);
  EXPECT_EQ(ls.r.size(), 6u);
  EXPECT_EQ(ls.sserr, 0.0);
  EXPECT_FALSE(ls.tol_set);
  EXPECT_FALSE(ls.rss_set);
}

TEST(LsSetTolerances, FollowsTheColumnSums) {
  LsState ls;
  reduce(ls, random_matrix(6, 3, 11), random_matrix(6, 1, 12));
  ls_set_tolerances(ls);
  const double eps = 10.0 * std::ldexp(1.0, -52);
  // tol(3) = eps (sqrt d3 + |R13| sqrt d1 + |R23| sqrt d2), with R13 = r(2), R23 = r(3).
  const double t3 = eps * (std::sqrt(ls.d[2]) + std::fabs(ls.r[1]) * std::sqrt(ls.d[0]) +
                           std::fabs(ls.r[2]) * std::sqrt(ls.d[1]));
  EXPECT_DOUBLE_EQ(ls.tol[0], eps * std::sqrt(ls.d[0]));
  EXPECT_DOUBLE_EQ(ls.tol[2], t3);
  EXPECT_TRUE(ls.tol_set);
  ls_set_tolerances(ls, -1e-6);  // |eps| above the floor is used
  EXPECT_DOUBLE_EQ(ls.tol[0], 1e-6 * std::sqrt(ls.d[0]));
  ls_set_tolerances(ls, 1e-30);  // below the floor: the floor
  EXPECT_DOUBLE_EQ(ls.tol[0], eps * std::sqrt(ls.d[0]));
}

// The full reduction of a well-conditioned problem, for the utilities.
struct Fixture {
  MatrixXd a;
  VectorXd b;
  LsState ls;
};

Fixture fixture(int m, int n, unsigned seed) {
  Fixture f{random_matrix(m, n, seed), random_matrix(m, 1, seed + 1), LsState{}};
  reduce(f.ls, f.a, f.b);
  return f;
}

TEST(LsCovariance, MatchesSigmaSquaredTimesInverseNormalMatrix) {
  Fixture f = fixture(10, 4, 13);
  const int nreq = 3;
  const MatrixXd a = f.a.leftCols(nreq);
  const VectorXd x = a.colPivHouseholderQr().solve(f.b);
  const double var = (f.b - a * x).squaredNorm() / (10 - nreq);
  const MatrixXd expected = var * (a.transpose() * a).inverse();
  double got_var = 0.0;
  std::vector<double> cov(6), sterr(3);
  int ifault = 99;
  ls_covariance(f.ls, nreq, got_var, cov, 6, sterr, ifault);
  EXPECT_EQ(ifault, 0);
  EXPECT_NEAR(got_var, var, 1e-12 * var);
  int p = 0;
  for (int i = 0; i < nreq; ++i) {
    EXPECT_NEAR(sterr[i], std::sqrt(expected(i, i)), 1e-12);
    for (int j = i; j < nreq; ++j) EXPECT_NEAR(cov[p++], expected(i, j), 1e-12) << i << j;
  }

  // Codes: 1 (dimcov), 2 (nobs <= nreq), -i (d(i) ~ 0, the last such).
  ls_covariance(f.ls, nreq, got_var, cov, 5, sterr, ifault);
  EXPECT_EQ(ifault, 1);
  Fixture few = fixture(3, 3, 14);
  ls_covariance(few.ls, 3, got_var, cov, 6, sterr, ifault);
  EXPECT_EQ(ifault, 2);
  f.ls.d[0] = 0.0;
  f.ls.d[2] = 1e-308;
  ls_covariance(f.ls, nreq, got_var, cov, 6, sterr, ifault);
  EXPECT_EQ(ifault, -3);
}

TEST(LsInvertR, GivesTheInverseOfTheUnitTriangle) {
  Fixture f = fixture(8, 5, 15);
  for (int nreq : {1, 3, 5}) {
    SCOPED_TRACE(nreq);
    MatrixXd r = MatrixXd::Identity(nreq, nreq);
    for (int i = 1; i <= nreq; ++i)
      for (int j = i + 1; j <= nreq; ++j) r(i - 1, j - 1) = f.ls.r[f.ls.row_ptr[i - 1] + j - i - 2];
    std::vector<double> rinv(nreq * (nreq - 1) / 2);
    ls_invert_r(f.ls, nreq, rinv);
    MatrixXd inv = MatrixXd::Identity(nreq, nreq);
    int p = 0;
    for (int i = 0; i < nreq; ++i)
      for (int j = i + 1; j < nreq; ++j) inv(i, j) = rinv[p++];
    EXPECT_LE((inv * r - MatrixXd::Identity(nreq, nreq)).norm(), 1e-13);
  }
}

TEST(LsPartialCorrelations, MatchCorrelationsOfResiduals) {
  Fixture f = fixture(12, 4, 16);
  const int in = 1;
  // Residuals of columns 2..4 and of b after regression on column 1 (no constant).
  const MatrixXd a1 = f.a.leftCols(in);
  auto resid = [&](const VectorXd& y) -> VectorXd {
    return y - a1 * a1.colPivHouseholderQr().solve(y);
  };
  MatrixXd e(12, 3);
  for (int j = 0; j < 3; ++j) e.col(j) = resid(f.a.col(in + j));
  const VectorXd ey = resid(f.b);
  std::vector<double> cormat(3), ycorr(4, 9.0);
  int ifault = 99;
  ls_partial_correlations(f.ls, in, cormat, 3, ycorr, ifault);
  EXPECT_EQ(ifault, 0);
  EXPECT_EQ(ycorr[0], 0.0);
  int p = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(ycorr[in + i], e.col(i).dot(ey) / (e.col(i).norm() * ey.norm()), 1e-12);
    for (int j = i + 1; j < 3; ++j)
      EXPECT_NEAR(cormat[p++], e.col(i).dot(e.col(j)) / (e.col(i).norm() * e.col(j).norm()), 1e-12);
  }
  // clang-format off
  struct Code { int in, dimc, ifault; };
  const Code codes[] = {{-1, 10, 4}, {4, 10, 4}, {1, 2, 8}, {-1, -1, 12}};
  // clang-format on
  for (const auto& c : codes) {
    ls_partial_correlations(f.ls, c.in, cormat, c.dimc, ycorr, ifault);
    EXPECT_EQ(ifault, c.ifault) << c.in << " " << c.dimc;
  }
}

TEST(LsMoveVariable, KeepsTheFitAndCarriesTheOrder) {
  // clang-format off
  struct Case { int from, to; };
  const Case cases[] = {{1, 4}, {4, 1}, {2, 3}, {3, 2}, {1, 1}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    Fixture f = fixture(9, 4, 17);
    int ifault = 99;
    ls_move_variable(f.ls, c.from, c.to, ifault);
    EXPECT_EQ(ifault, 0);
    // The variables are now in the order vorder; coefficients and nested rss follow it.
    MatrixXd perm(9, 4);
    for (int p = 0; p < 4; ++p) perm.col(p) = f.a.col(f.ls.vorder[p] - 1);
    std::vector<double> beta(4);
    ls_coefficients(f.ls, beta, 4, ifault);
    EXPECT_EQ(ifault, 0);
    EXPECT_LE((to_eigen(beta) - perm.colPivHouseholderQr().solve(f.b)).norm(), 1e-12);
    ls_residual_sums(f.ls);
    for (int i = 1; i <= 4; ++i) {
      const MatrixXd ai = perm.leftCols(i);
      EXPECT_NEAR(
          f.ls.rss[i - 1], (f.b - ai * ai.colPivHouseholderQr().solve(f.b)).squaredNorm(), 1e-12);
    }
    if (c.from != c.to) {
      EXPECT_EQ(f.ls.vorder[c.to - 1], c.from);
    }
  }
  Fixture f = fixture(5, 3, 18);
  // clang-format off
  const int codes[][3] = {{0, 1, 4}, {4, 1, 4}, {1, 0, 8}, {1, 4, 8}, {0, 4, 12}};
  // clang-format on
  for (const auto& c : codes) {
    int ifault = 0;
    ls_move_variable(f.ls, c[0], c[1], ifault);
    EXPECT_EQ(ifault, c[2]) << c[0] << " -> " << c[1];
  }
  EXPECT_EQ(f.ls.vorder, (std::vector<int>{1, 2, 3}));
}

TEST(LsReorder, BringsTheListedVariablesForward) {
  Fixture f = fixture(10, 5, 19);
  const std::vector<int> list = {5, 2};
  int ifault = 99;
  ls_reorder(f.ls, list, 2, 1, ifault);
  EXPECT_EQ(ifault, 0);
  // Met in position order: 2 first, then 5.
  EXPECT_EQ(f.ls.vorder[0], 2);
  EXPECT_EQ(f.ls.vorder[1], 5);
  const std::vector<int> missing = {1};  // now in position 3, not in 4..5
  ls_reorder(f.ls, missing, 1, 4, ifault);
  EXPECT_EQ(ifault, 8);
  ls_reorder(f.ls, list, 0, 1, ifault);
  EXPECT_EQ(ifault, 4);
  ls_reorder(f.ls, list, 2, 5, ifault);
  EXPECT_EQ(ifault, 4);
}

TEST(LsHatDiagonalAndVarprd, MatchTheQuadraticForms) {
  Fixture f = fixture(11, 4, 20);
  ls_set_tolerances(f.ls);
  const VectorXd x = random_matrix(4, 1, 21);
  const int nreq = 3;
  const MatrixXd a = f.a.leftCols(nreq);
  const MatrixXd inv = (a.transpose() * a).inverse();
  const VectorXd xr = x.head(nreq);
  double hii = 0.0;
  int ifault = 99;
  ls_hat_diagonal(f.ls, std::span<const double>(x.data(), 4), nreq, hii, ifault);
  EXPECT_EQ(ifault, 0);
  EXPECT_NEAR(hii, xr.dot(inv * xr), 1e-12);
  ls_hat_diagonal(f.ls, std::span<const double>(x.data(), 4), 5, hii, ifault);
  EXPECT_EQ(ifault, 4);

  // VARPRD uses the residual sum of squares of all columns over nobs - nreq.
  const double var = f.ls.sserr / (11 - nreq);
  std::ostringstream out;
  f.ls.console = &out;
  EXPECT_NEAR(
      VARPRD(f.ls, std::span<const double>(x.data(), 4), nreq), var * xr.dot(inv * xr), 1e-12);
  EXPECT_EQ(out.str(), "");

  // R'b = x, top row first.
  std::vector<double> z(nreq);
  ls_solve_transposed(f.ls, std::span<const double>(x.data(), 4), z, nreq);
  MatrixXd r = MatrixXd::Identity(nreq, nreq);
  for (int i = 1; i <= nreq; ++i)
    for (int j = i + 1; j <= nreq; ++j) r(i - 1, j - 1) = f.ls.r[f.ls.row_ptr[i - 1] + j - i - 2];
  EXPECT_LE((r.transpose() * to_eigen(z) - xr).norm(), 1e-13);

  // clang-format off
  struct Code { int nreq, nobs; const char* record; };
  const Code codes[] = {
      {0, 11, " Error in function VARPRD: ifault =   4\n"},
      {5, 11, " Error in function VARPRD: ifault =   4\n"},
      {3,  3, " Error in function VARPRD: ifault =   8\n"},
      {5,  5, " Error in function VARPRD: ifault =  12\n"},
  };
  // clang-format on
  for (const auto& c : codes) {
    SCOPED_TRACE(testing::Message() << c.nreq << " " << c.nobs);
    out.str("");
    f.ls.nobs = c.nobs;
    EXPECT_EQ(VARPRD(f.ls, std::span<const double>(x.data(), 4), c.nreq), 0.0);
    EXPECT_EQ(out.str(), c.record);
  }
}

TEST(LsFindSingularities, MovesADependentRowOnward) {
  // Columns c1, c1 (dependent), c3.
  MatrixXd a = random_matrix(7, 3, 22);
  a.col(1) = a.col(0);
  const VectorXd b = random_matrix(7, 1, 23);
  LsState ls;
  reduce(ls, a, b);
  bool lindep[3] = {true, true, true};
  int ifault = 0;
  ls_find_singularities(ls, lindep, ifault);
  EXPECT_EQ(ifault, -1);
  EXPECT_FALSE(lindep[0]);
  EXPECT_TRUE(lindep[1]);
  EXPECT_FALSE(lindep[2]);
  EXPECT_EQ(ls.nobs, 7);
  EXPECT_EQ(ls.d[1], 0.0);
  // The fit now stands on c1 and c3.
  std::vector<double> beta(3);
  ls_coefficients(ls, beta, 3, ifault);
  EXPECT_EQ(ifault, -2);
  MatrixXd a13(7, 2);
  a13 << a.col(0), a.col(2);
  const VectorXd expected = a13.colPivHouseholderQr().solve(b);
  EXPECT_NEAR(beta[0], expected(0), 1e-12);
  EXPECT_EQ(beta[1], 0.0);
  EXPECT_NEAR(beta[2], expected(1), 1e-12);

  // A dependent last position adds its part to sserr.
  MatrixXd c = random_matrix(6, 2, 24);
  c.col(1) = 2.0 * c.col(0);
  LsState last;
  reduce(last, c, random_matrix(6, 1, 25));
  const double part = last.d[1] * last.rhs[1] * last.rhs[1];
  const double sserr = last.sserr;
  bool dep[2];
  ls_find_singularities(last, dep, ifault);
  EXPECT_EQ(ifault, -1);
  EXPECT_TRUE(dep[1]);
  EXPECT_DOUBLE_EQ(last.sserr, sserr + part);
}

}  // namespace
}  // namespace orva
