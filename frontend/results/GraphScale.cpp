#include "GraphScale.h"

#include <QLocale>
#include <QString>
#include <algorithm>
#include <cmath>

double AxisMaximum(double step, double value) { return std::floor(value / step) * step + step; }

double TickStep(double range) {
  double v = std::floor(range * 10) * 0.1;
  // Digits before the point minus one, from the text of v with one decimal.
  int n = static_cast<int>(QLocale::c().toString(v, 'f', 1).size()) - 3;
  double m = v * std::pow(10.0, -n);
  double s = m < 1 ? 0.1 : m < 2 ? 0.2 : m < 5 ? 0.5 : 1.0;
  return s * std::pow(10.0, n);
}

int LabelDecimals(double step) {
  int decimals = 0;
  double scaled = std::abs(step);
  // A step read from a sum of tenths is not exact: a few units of the last place are allowed.
  while (decimals < 9 && std::abs(scaled - std::round(scaled)) > 1e-9 * std::max(scaled, 1.0)) {
    scaled *= 10;
    ++decimals;
  }
  return decimals;
}
