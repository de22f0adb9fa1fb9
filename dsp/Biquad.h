// Biquad: a second-order filter section with cookbook coefficients (low-pass,
// high-pass, all-pass), run in transposed direct form II in double precision.
// Coefficients follow the cookbook's naming, as RbjSection's do: b0..b2 feed
// forward, a1 and a2 feed back (a0 normalised to 1):
// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
#pragma once

#include <cmath>

namespace morvanta {

struct Biquad {
  enum Type { kLowPass = 0, kHighPass = 1, kAllPass = 7 };

  void Init(int filterType, double fc, double q);
  void Compute() { SetFromTangent(std::tan(TangentArgument(Fc))); }
  // Compute in two halves, for a caller that keeps the tangent of an
  // argument it has already seen: the pre-warp tangent is taken in single
  // precision of pi * Fc (Fc held below Nyquist) ...
  static float TangentArgument(double fc) {
    // Cut-offs at or above Nyquist would fold the tangent over and make the
    // section unstable; they are held just below it.
    constexpr double kMaxFc = 0.49;
    constexpr double kPi = 3.14159265358979323846;
    return static_cast<float>(kPi * (fc < kMaxFc ? fc : kMaxFc));
  }
  // ... and the coefficients of `type` and Q follow from it.
  void SetFromTangent(double K) {
    const double K2 = K * K;
    const double norm = 1.0 / (1.0 + K / Q + K2);
    switch (type) {
      case kHighPass:
        b0 = norm;
        b1 = -2.0 * b0;
        b2 = b0;
        a1 = 2.0 * (K2 - 1.0) * norm;
        a2 = (1.0 - K / Q + K2) * norm;
        break;
      case kAllPass:
        b0 = (1.0 - K / Q + K2) * norm;
        b1 = 2.0 * (K2 - 1.0) * norm;
        b2 = 1.0;
        a1 = b1;
        a2 = b0;
        break;
      case kLowPass:
      default:
        b0 = K2 * norm;
        b1 = 2.0 * b0;
        b2 = b0;
        a1 = 2.0 * (K2 - 1.0) * norm;
        a2 = (1.0 - K / Q + K2) * norm;
        break;
    }
  }
  float Process(float x) {
    const double in = x;
    const double y = in * b0 + z1;
    z1 = in * b1 + z2 - a1 * y;
    z2 = in * b2 - a2 * y;
    return static_cast<float>(y);
  }
  void Clear() { z1 = z2 = 0.0; }

  int type = kLowPass;
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
  double Fc = 0.5, Q = 0.707;
  double z1 = 0.0, z2 = 0.0;
};

}  // namespace morvanta
