// Shared helpers of the solver tests: seeded matrices and Eigen views of column-major data.
#pragma once

#include <Eigen/Dense>
#include <random>
#include <span>
#include <vector>

namespace orva::test {

inline Eigen::MatrixXd random_matrix(int m, int n, unsigned seed, double scale = 1.0) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  Eigen::MatrixXd a(m, n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) a(i, j) = scale * dist(gen);
  return a;
}

inline std::vector<double> to_vector(const Eigen::MatrixXd& a) {
  return std::vector<double>(a.data(), a.data() + a.size());
}

inline Eigen::VectorXd to_eigen(std::span<const double> x) {
  return Eigen::Map<const Eigen::VectorXd>(x.data(), static_cast<Eigen::Index>(x.size()));
}

}  // namespace orva::test
