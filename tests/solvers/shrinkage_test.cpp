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

}  // namespace
}  // namespace orva
