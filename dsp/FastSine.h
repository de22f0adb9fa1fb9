// FastSine: sine and cosine for any real argument, reduced by the nearest
// multiple of pi/2 (two-part constant) and evaluated by polynomials on the remainder.
#pragma once

#include <cmath>
#include <cstdint>

namespace morvanta {
namespace fastsine_detail {

constexpr double kTwoOverPi = 0.63661977236758134308;
constexpr double kHalfPiHigh = 1.57079632673412561417;  // 33 significant bits
constexpr double kHalfPiLow = 6.07710050650619224932e-11;

// Taylor terms through r^13 and r^14 (truncation below 1e-11 on |r| <= pi/4),
// grouped by powers of r^4 so that the terms evaluate side by side.
inline double SinPoly(double r) {
  const double r2 = r * r;
  const double r4 = r2 * r2;
  const double r8 = r4 * r4;
  const double p = (-1.0 / 6 + r2 * (1.0 / 120)) + r4 * (-1.0 / 5040 + r2 * (1.0 / 362880)) +
                   r8 * (-1.0 / 39916800 + r2 * (1.0 / 6227020800.0));
  return r + r * r2 * p;
}

inline double CosPoly(double r) {
  const double r2 = r * r;
  const double r4 = r2 * r2;
  const double r8 = r4 * r4;
  const double p = (-0.5 + r2 * (1.0 / 24)) + r4 * (-1.0 / 720 + r2 * (1.0 / 40320)) +
                   r8 * ((-1.0 / 3628800 + r2 * (1.0 / 479001600.0)) + r4 * (-1.0 / 87178291200.0));
  return 1.0 + r2 * p;
}

// Value of sin at x + quarterTurns * pi / 2.
inline double SinQuadrant(double x, int quarterTurns) {
  if (!(std::fabs(x) < 1e12)) return std::sin(x + quarterTurns * 1.5707963267948966);
  const double scaled = x * kTwoOverPi;
  const int64_t q = static_cast<int64_t>(scaled + (scaled >= 0.0 ? 0.5 : -0.5));
  const double qd = static_cast<double>(q);
  const double r = (x - qd * kHalfPiHigh) - qd * kHalfPiLow;
  switch ((q + quarterTurns) & 3) {
    case 0: return SinPoly(r);
    case 1: return CosPoly(r);
    case 2: return -SinPoly(r);
    default: return -CosPoly(r);
  }
}

}  // namespace fastsine_detail

inline double FastSine(double x) { return fastsine_detail::SinQuadrant(x, 0); }
inline double FastCosine(double x) { return fastsine_detail::SinQuadrant(x, 1); }

}  // namespace morvanta
