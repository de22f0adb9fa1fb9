// Biquad: a second-order filter section with cookbook coefficients (low-pass,
// high-pass, all-pass), run in transposed direct form II in double precision.
#pragma once

namespace morvanta {

struct Biquad {
  enum Type { kLowPass = 0, kHighPass = 1, kAllPass = 7 };

  void Init(int filterType, double fc, double q, double gainDb);
  void Compute();
  float Process(float x) {
    const double in = x;
    const double y = in * a0 + z1;
    z1 = in * a1 + z2 - b1 * y;
    z2 = in * a2 - b2 * y;
    return static_cast<float>(y);
  }
  void Clear() { z1 = z2 = 0.0; }

  int type = kLowPass;
  double a0 = 1.0, a1 = 0.0, a2 = 0.0, b1 = 0.0, b2 = 0.0;
  double Fc = 0.5, Q = 0.707, peakGain = 0.0;
  double z1 = 0.0, z2 = 0.0;
};

}  // namespace morvanta
