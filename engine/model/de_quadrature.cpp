#include "de_quadrature.h"

#include <cmath>

namespace orva {

namespace {
constexpr double kEfs = 0.1;
constexpr double kEnoff = 0.40;
constexpr double kPqoff = 2.9;
constexpr double kPpoff = -0.72;
constexpr double kPi = 3.141592653589793;
constexpr double kPi4 = 0.7853981633974483;
constexpr double kPi2 = 1.5707963267948966;
constexpr double kPi2Inv = 0.6366197723675814;
}  // namespace

void de_oscillatory_init(int lenaw, double tiny, double eps, std::span<double> aw) {
  const double tinyln = -std::log(tiny);
  const double epsln = 1 - std::log(kEfs * eps);
  const double pq = kPqoff / epsln;
  const double pp = kPpoff - std::log(pq * pq * kPi2Inv);
  const double ehp = std::exp(2 * pq);
  const double ehm = 1 / ehp;
  aw[3] = 100.0;
  aw[4] = eps;
  aw[5] = std::sqrt(kEfs * eps);
  const int nk0 = static_cast<int>(std::trunc(kEnoff * epsln) + 1);
  aw[1] = nk0;
  const int noff = 6 + 2 * nk0;

  // Binomial coefficients of order nk0 - 1 and their cumulative sums, scaled by pi / 2^(nk0-1).
  double s = 0;
  double b = 1;
  for (int q = 1; q <= nk0; ++q) {
    s = s + b;
    aw[noff - 2 * q] = s;
    aw[noff - 2 * q + 1] = b;
    b = b * (nk0 - q) / q;
  }
  for (int jj = 6; jj <= noff - 1; ++jj) aw[jj] = aw[jj] * (kPi / s);

  // Central node.
  double xw = std::exp(pp - kPi2);
  aw[noff] = std::sqrt(xw * kPi2);
  aw[noff + 1] = xw * pq;
  aw[noff + 2] = kPi2;

  // Blocks: level 1 holds t = 1, level 2 t = 1/2, level 3 t = 1/4 and 3/4, and so on.
  double h = 2;
  int nk = 0;
  int k = noff + 3;
  int j = k;
  do {
    double t = h / 2;
    do {
      const double e = std::exp(2 * pq * t);
      double ep = kPi4 * e;
      double em = kPi4 / e;
      double tk = t;
      j = k;
      do {
        xw = std::exp(pp - ep - em);
        double wg = std::sqrt(xw * kPi2Inv + tk * tk);
        const double xa = xw / (tk + wg);
        wg = (pq * xw * (ep - em) + xa) / wg;
        aw[j] = xa;
        aw[j + 1] = xw * pq;
        aw[j + 2] = wg;
        ep = ep * ehp;
        em = em * ehm;
        tk = tk + 1;
        j = j + 3;
      } while (ep < tinyln && j <= lenaw - 3);
      k = k + nk;
      t = t + h;
    } while (t < 1);
    h = h / 2;
    if (nk == 0) {
      if (j > lenaw - 6) j = j - 3;
      nk = j - noff;
      k = k + nk;
      aw[2] = nk;
    }
  } while (2 * k - noff - 3 <= lenaw);
  aw[0] = k - 3;
}

}  // namespace orva
