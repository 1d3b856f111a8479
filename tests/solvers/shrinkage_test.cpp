// svd_shrinkage_estimate and solve_least_squares against an Eigen SVD of the original problem.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
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
using test::to_eigen;
using test::to_vector;

// Shrinkage factor of rules 1..4 for the t-value t, written from the rule table.
double oracle_factor(int rule, double t) {
  const double a = std::fabs(t);
  switch (rule) {
    case 1:
      return t * t / (t * t + 1.0);
    case 2:
      return a >= 2.0 ? 0.5 + std::sqrt(0.25 - 1.0 / (t * t)) : 0.0;
    case 3:
      return (t * t + 1.0) / (t * t + 2.0);
    default:
      return a >= 1.0 ? 1.0 - 1.0 / (t * t) : 0.0;
  }
}

struct Oracle {
  VectorXd beta;
  VectorXd factors;  // in Eigen's (descending) order
};

// beta = sum_i f_i (u_i'b / s_i) v_i from Eigen's SVD of a, t_i = u_i'b / sigma, sigma from the
// full least-squares fit. The reduced system X = D^(1/2) R has X'X = A'A and X'B = A'b, so its
// singular values, right vectors (up to sign) and |U'B| are those of A.
Oracle shrinkage_oracle(const MatrixXd& a, const VectorXd& b, int rule) {
  Eigen::JacobiSVD<MatrixXd> svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
  const VectorXd x_ls = svd.solve(b);
  const double sigma = std::sqrt((b - a * x_ls).squaredNorm() / (a.rows() - a.cols()));
  const VectorXd z = svd.matrixU().transpose() * b;
  Oracle o{VectorXd::Zero(a.cols()), VectorXd(a.cols())};
  for (int i = 0; i < a.cols(); ++i) {
    o.factors(i) = oracle_factor(rule, z(i) / sigma);
    o.beta += o.factors(i) * z(i) / svd.singularValues()(i) * svd.matrixV().col(i);
  }
  return o;
}

// b = a x + noise, with a having singular values spread over 1e3 .. 1e-3 so that some
// components stand well above the noise and others sink into it.
struct Problem {
  MatrixXd a;
  VectorXd b;
};

MatrixXd with_constant_column(const MatrixXd& x) {
  MatrixXd a(x.rows(), x.cols() + 1);
  a.col(0).setOnes();
  a.rightCols(x.cols()) = x;
  return a;
}

Problem spread_problem(int m, int n, unsigned seed) {
  const MatrixXd q1 =
      random_matrix(m, n, seed).householderQr().householderQ() * MatrixXd::Identity(m, n);
  const MatrixXd q2 = random_matrix(n, n, seed + 1).householderQr().householderQ();
  VectorXd s(n);
  for (int i = 0; i < n; ++i) s(i) = std::pow(10.0, 3.0 - 6.0 * i / std::max(n - 1, 1));
  Problem p{q1 * s.asDiagonal() * q2.transpose(), VectorXd()};
  p.b = p.a * random_matrix(n, 1, seed + 2) + 0.05 * random_matrix(m, 1, seed + 3);
  return p;
}

TEST(SolveLeastSquares, ShrinkageRulesMatchEigenSvdOfTheProblem) {
  // clang-format off
  struct Case { int m, n; unsigned seed; };
  const Case cases[] = {{3, 2, 1}, {6, 4, 2}, {10, 5, 3}, {20, 8, 4}, {12, 1, 5}};
  // clang-format on
  for (const auto& c : cases) {
    const Problem p = spread_problem(c.m, c.n, c.seed);
    for (int rule = 1; rule <= 4; ++rule) {
      SCOPED_TRACE(testing::Message() << c.m << "x" << c.n << " rule " << rule);
      std::ostringstream out;
      SolverState state(out);
      const std::vector<double> jac = to_vector(p.a);
      std::vector<double> step(c.n, 99.0);
      solve_least_squares(state, rule, to_vector(p.b), jac, c.m, c.n, step, 1);
      const Oracle o = shrinkage_oracle(p.a, p.b, rule);
      EXPECT_EQ(state.ls_ierr, 0);
      EXPECT_EQ(out.str(), "");
      const VectorXd got = to_eigen(step);
      EXPECT_LE((got - o.beta).norm(), 1e-9 * std::max(o.beta.norm(), 1e-300))
          << "expected: " << o.beta.transpose() << "\nactual:   " << got.transpose();
      if (rule == 2 && c.n >= 4) {
        // The case really mixes kept and dropped components.
        EXPECT_GT(o.factors(0), 0.5);
        EXPECT_EQ(o.factors(c.n - 1), 0.0);
      }
    }
  }
}

TEST(SolveLeastSquares, RuleTwoDropsEverythingBelowTwoGivesZeroStep) {
  // Pure noise: every t-value is small.
  const MatrixXd a = MatrixXd::Identity(4, 2) * 1e-3;
  VectorXd b(4);
  b << 1e-4, -1e-4, 1.0, -1.0;
  SolverState state;
  std::vector<double> step(2, 5.0);
  solve_least_squares(state, 2, to_vector(b), to_vector(a), 4, 2, step, 1);
  EXPECT_EQ(step, (std::vector<double>{0.0, 0.0}));
}

// A one-column reduction whose rotated component is -z (V = -1 flips it), with singular value 1
// and residual standard error |sigma|: t = -z / sigma, beta = f z, covariance (sigma f)^2.
void one_component(LsState& ls, double z, double sigma) {
  ls_start(ls, 1, false);
  std::vector<double> row = {1.0};
  ls_add_row(ls, 1.0, row, z);
  row = {0.0};
  ls_add_row(ls, 1.0, row, sigma);
}

TEST(SvdShrinkageEstimate, FactorsAtTheirThresholds) {
  const double ridge_k[] = {1.0};
  // clang-format off
  struct Case { int rule; double z, sigma, factor; };
  const Case cases[] = {
      {2, 2.0,   1.0,  0.5},
      {2, 1.0,   0.5,  0.5},  // sigma a power of two keeps t = z (1 / sigma) exactly 2
      {2, 1.999, 1.0,  0.0},
      {2, 10.0,  1.0,  0.5 + std::sqrt(0.24)},
      {2, -3.0,  1.0,  0.5 + std::sqrt(0.25 - 1.0 / 9.0)},
      {4, 1.0,   1.0,  0.0},
      {4, 2.0,   1.0,  0.75},
      {4, 0.5,   1.0,  0.0},
      {1, 1.0,   1.0,  0.5},
      {1, 3.0,   1.0,  0.9},
      {3, 0.0,   1.0,  0.5},
      {3, 1.0,   1.0,  2.0 / 3.0},
      {0, 4.0,   1.0,  0.5},  // ridge: s^2 / (s^2 + k), sigma not used
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "rule " << c.rule << " z " << c.z << " sigma " << c.sigma);
    LsState ls;
    SvdState svd;
    one_component(ls, c.z, c.sigma);
    double beta = 99.0, cov = 99.0;
    int ierr = 99;
    if (c.rule == 0) {
      svd_shrinkage_estimate(ls,
                             svd,
                             1,
                             false,
                             0,
                             std::span<double>(&beta, 1),
                             ierr,
                             ridge_k,
                             false,
                             std::nullopt,
                             std::span<double>(&cov, 1));
    } else {
      svd_shrinkage_estimate(ls,
                             svd,
                             1,
                             false,
                             c.rule,
                             std::span<double>(&beta, 1),
                             ierr,
                             std::nullopt,
                             std::nullopt,
                             std::nullopt,
                             std::span<double>(&cov, 1));
    }
    EXPECT_EQ(ierr, 0);
    EXPECT_DOUBLE_EQ(beta, c.factor * c.z);
    EXPECT_DOUBLE_EQ(cov, c.sigma * c.sigma * c.factor * c.factor);
    if (c.factor == 0.0) {
      EXPECT_EQ(beta, 0.0);
    }
  }
}

TEST(SvdShrinkageEstimate, CheckCodesInTheirOrder) {
  const double ridge_k[] = {1.0, 1.0};
  // clang-format off
  struct Case { const char* name; int nreq, rule, beta_size, nobs; bool ridge, standardize; int ierr; };
  const Case cases[] = {
      {"nreq > ncol",            3, 1, 3, 5, false, false, 1},
      {"nreq > ncol and rule 5", 3, 5, 3, 5, false, false, 1},
      {"rule 5",                 2, 5, 2, 5, false, false, 2},
      {"rule -1",                2, -1, 2, 5, false, false, 2},
      {"short beta",             2, 1, 1, 5, false, false, 3},
      {"nobs = nreq",            2, 1, 2, 2, false, false, 4},
      {"short beta and nobs",    2, 1, 1, 2, false, false, 3},
      {"ridge without k",        2, 0, 2, 5, false, true,  5},
      {"ridge without standardize", 2, 0, 2, 5, true, false, 5},
      {"nobs = nreq + 1",        2, 1, 2, 3, false, false, 0},
      {"ridge complete",         2, 0, 2, 5, true,  true,  0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MatrixXd a = random_matrix(c.nobs, 2, 61);
    const VectorXd y = 100.0 * random_matrix(c.nobs, 1, 62);
    LsState ls;
    ls_start(ls, 2, false);
    for (int i = 0; i < c.nobs; ++i) {
      std::vector<double> row = {a(i, 0), a(i, 1)};
      ls_add_row(ls, 1.0, row, y(i));
    }
    SvdState svd;
    std::vector<double> beta(c.beta_size, 7.0);
    int ierr = 99;
    svd_shrinkage_estimate(ls,
                           svd,
                           c.nreq,
                           false,
                           c.rule,
                           beta,
                           ierr,
                           c.ridge ? std::optional<std::span<const double>>(ridge_k) : std::nullopt,
                           c.standardize ? std::optional<bool>(false) : std::nullopt);
    EXPECT_EQ(ierr, c.ierr);
    if (c.ierr != 0) {
      EXPECT_EQ(beta, std::vector<double>(c.beta_size, 7.0));
      EXPECT_FALSE(svd.exists);  // the SVD state is not rebuilt
    } else {
      EXPECT_NE(beta, std::vector<double>(c.beta_size, 7.0));
      EXPECT_TRUE(svd.exists);
    }
  }
}

// Regression: an exact fit (no residual, so sigma = 0) put 0 / 0 into the shrinkage factors and NaN
// into the step.
TEST(SvdShrinkageEstimate, ExactFitKeepsNonzeroComponentsWholeAndGivesNoNaN) {
  // y = 3 x1 exactly: rss = 0, so sigma = 0; the second component is exactly 0.
  const MatrixXd a = MatrixXd::Identity(3, 2);
  VectorXd y(3);
  y << 3.0, 0.0, 0.0;
  for (int rule = 1; rule <= 4; ++rule) {
    SCOPED_TRACE(rule);
    SolverState state;
    std::vector<double> step(2, 9.0);
    solve_least_squares(state, rule, to_vector(y), to_vector(a), 3, 2, step, 1);
    EXPECT_EQ(state.ls_ierr, 0);
    EXPECT_EQ(step[0], 3.0);
    EXPECT_EQ(step[1], 0.0);
  }
}

// Regression: a Jacobian column that was zero, or an exact copy of another, made the step NaN: its
// zero singular value entered the step as 0 / 0. Now that component contributes nothing and the
// step stays finite.
TEST(SolveLeastSquares, ZeroOrDuplicatedColumnGivesAFiniteStep) {
  MatrixXd base(5, 2);
  base << 1.0, 0.5, 2.0, -1.0, 0.5, 3.0, -1.0, 2.0, 1.5, 0.25;
  VectorXd y(5);
  y << 1.0, -0.5, 2.5, 0.75, -1.25;
  MatrixXd zero(5, 3);
  zero << base.col(0), VectorXd::Zero(5), base.col(1);
  MatrixXd twin(5, 3);
  twin << base.col(0), base.col(1), base.col(1);
  for (const MatrixXd& a : {zero, twin}) {
    for (int rule = 1; rule <= 4; ++rule) {
      SCOPED_TRACE(rule);
      SolverState state;
      std::vector<double> step(3, 9.0);
      solve_least_squares(state, rule, to_vector(y), to_vector(a), 5, 3, step, 1);
      for (double v : step) EXPECT_TRUE(std::isfinite(v)) << v;
    }
  }
}

// Ridge oracle on the columns of a scaled by norm (norm(1) = 1 with a constant): SVD of the scaled
// matrix, f = s^2 / (s^2 + k) with f(1) = 1 for a constant fit, coefficients, complement and
// covariance brought back by dividing by the norms.
struct RidgeOracle {
  VectorXd beta, complement;
  MatrixXd cov;
};

RidgeOracle ridge_oracle(
    const MatrixXd& a, const VectorXd& b, const VectorXd& k, const VectorXd& norm, bool fit_const) {
  const MatrixXd as = a * norm.cwiseInverse().asDiagonal();
  Eigen::JacobiSVD<MatrixXd> svd(as, Eigen::ComputeThinU | Eigen::ComputeThinV);
  const VectorXd s = svd.singularValues();
  const VectorXd z = svd.matrixU().transpose() * b;
  const MatrixXd& v = svd.matrixV();
  const double sigma =
      std::sqrt((b - a * svd.solve(b).cwiseQuotient(norm)).squaredNorm() / (a.rows() - a.cols()));
  const auto n = a.cols();
  VectorXd f(n);
  for (int i = 0; i < n; ++i)
    f(i) = (fit_const && i == 0) ? 1.0 : s(i) * s(i) / (s(i) * s(i) + k(i));
  RidgeOracle o;
  const VectorXd q = f.cwiseProduct(z).cwiseQuotient(s);
  o.beta = (v * q).cwiseQuotient(norm);
  o.complement = (v * (VectorXd::Ones(n) - f).cwiseProduct(q)).cwiseQuotient(norm);
  const VectorXd d = sigma * f.cwiseQuotient(s);
  o.cov =
      (v * d.asDiagonal() * d.asDiagonal() * v.transpose()).cwiseQuotient(norm * norm.transpose());
  return o;
}

// Regression: the standardisation left row 1 of each column unscaled, which spoilt the intercept of
// a fit with a constant, and the covariance was not divided back by the column norms.
TEST(SvdShrinkageEstimate, RidgeWithConstantAndStandardisationMatchesScaledOracle) {
  const int m = 12, nvar = 3;
  // Columns with means well away from 0, where leaving row 1 unscaled spoils the intercept.
  MatrixXd x = random_matrix(m, nvar, 71);
  x.col(0).array() += 5.0;
  x.col(2).array() = 3.0 * x.col(2).array() - 2.0;
  const MatrixXd a = with_constant_column(x);
  const VectorXd y = a * VectorXd::LinSpaced(nvar + 1, 1.0, 4.0) + 0.1 * random_matrix(m, 1, 72);
  VectorXd centered(nvar + 1);
  centered(0) = 1.0;
  for (int j = 1; j <= nvar; ++j)
    centered(j) = (a.col(j).array() - a.col(j).mean()).matrix().norm();
  // clang-format off
  struct Case { const char* name; bool fit_const, standardize; double k; };
  const Case cases[] = {
      {"k = 0, constant, standardised", true,  true,  0.0},
      {"k = 2, constant, standardised", true,  true,  2.0},
      {"k = 2, constant",               true,  false, 2.0},
      {"k = 2, standardised",           false, true,  2.0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MatrixXd design = c.fit_const ? a : MatrixXd(a.rightCols(nvar));
    const int ncol = static_cast<int>(design.cols());
    LsState ls;
    ls_start(ls, nvar, c.fit_const);
    for (int i = 0; i < m; ++i) {
      std::vector<double> row(ncol);
      for (int j = 0; j < ncol; ++j) row[j] = design(i, j);
      ls_add_row(ls, 1.0, row, y(i));
    }
    VectorXd norm = VectorXd::Ones(ncol);
    if (c.standardize) {
      norm = c.fit_const ? centered : VectorXd(design.colwise().norm().transpose());
    }
    const VectorXd k = VectorXd::Constant(ncol, c.k);
    const RidgeOracle o = ridge_oracle(design, y, k, norm, c.fit_const);
    SvdState svd;
    std::vector<double> beta(ncol), complement(ncol), cov(ncol * ncol);
    int ierr = 99;
    svd_shrinkage_estimate(ls,
                           svd,
                           ncol,
                           c.fit_const,
                           0,
                           beta,
                           ierr,
                           std::span<const double>(k.data(), ncol),
                           c.standardize,
                           std::span<double>(complement),
                           std::span<double>(cov));
    EXPECT_EQ(ierr, 0);
    const MatrixXd got_cov = Eigen::Map<MatrixXd>(cov.data(), ncol, ncol);
    EXPECT_LE((to_eigen(beta) - o.beta).norm(), 1e-10 * o.beta.norm())
        << "expected: " << o.beta.transpose() << "\nactual:   " << to_eigen(beta).transpose();
    EXPECT_LE((to_eigen(complement) - o.complement).norm(), 1e-10 * (1.0 + o.complement.norm()));
    EXPECT_LE((got_cov - o.cov).norm(), 1e-10 * o.cov.norm());
    if (c.k == 0.0) {
      // No shrinkage: ordinary least squares and sigma^2 (A'A)^-1 on the original columns.
      const VectorXd ls_beta = design.colPivHouseholderQr().solve(y);
      const double var = (y - design * ls_beta).squaredNorm() / (m - ncol);
      EXPECT_LE((to_eigen(beta) - ls_beta).norm(), 1e-10 * ls_beta.norm());
      EXPECT_LE((got_cov - var * (design.transpose() * design).inverse()).norm(),
                1e-10 * o.cov.norm());
    }
  }
}

TEST(SolveLeastSquares, MethodZeroGivesOrdinaryCoefficientsAndSingularValues) {
  const MatrixXd a = random_matrix(8, 3, 81);
  const VectorXd y = random_matrix(8, 1, 82);
  std::ostringstream out;
  SolverState state(out);
  std::vector<double> step(3, 9.0);
  solve_least_squares(state, 2, to_vector(y), to_vector(a), 8, 3, step, 0);
  EXPECT_EQ(state.ls_ierr, 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_LE((to_eigen(step) - a.colPivHouseholderQr().solve(y)).norm(), 1e-12);
  const VectorXd sv = Eigen::JacobiSVD<MatrixXd>(a).singularValues();
  EXPECT_LE((to_eigen(state.svd.s) - sv).norm(), 1e-12 * sv(0));
}

TEST(SolveLeastSquares, ConsoleRecordsAndUntouchedSteps) {
  const MatrixXd a = random_matrix(3, 3, 91);
  const VectorXd y = random_matrix(3, 1, 92);
  MatrixXd twin = random_matrix(4, 2, 93);
  twin.col(1) = twin.col(0);
  const VectorXd y4 = random_matrix(4, 1, 94);
  // clang-format off
  struct Case { const char* name; MatrixXd a; VectorXd y; int method, max_sweeps; std::string record; bool step_kept; };
  const Case cases[] = {
      {"method 1, nobs = npar",         a,    y,  1, 30, " Error: ierr =            4\n", true},
      {"method 7",                      a,    y,  7, 30, "",                              true},
      {"method 0, dependent column",    twin, y4, 0, 30, "",                              false},
      {"method 0, no convergence",      a,    y,  0,  0, " Error: ierr =            3\n", false},
      {"method 1, no convergence",      twin, y4, 1,  0, " Error: ierr =            2\n", false},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    SolverState state(out);
    state.svd.max_sweeps = c.max_sweeps;
    const int nobs = static_cast<int>(c.a.rows()), npar = static_cast<int>(c.a.cols());
    std::vector<double> step(npar, 9.0);
    solve_least_squares(state, 2, to_vector(c.y), to_vector(c.a), nobs, npar, step, c.method);
    EXPECT_EQ(out.str(), c.record);
    EXPECT_EQ(step == std::vector<double>(npar, 9.0), c.step_kept);
    // The reduction is made for every method.
    EXPECT_EQ(state.ls.nobs, nobs);
  }
  // No parameter: nothing is written anywhere.
  std::ostringstream out;
  SolverState state(out);
  std::vector<double> none;
  solve_least_squares(state, 2, to_vector(y), std::vector<double>{}, 3, 0, none, 1);
  solve_least_squares(state, 2, to_vector(y), std::vector<double>{}, 3, 0, none, 0);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace orva
