// Biquad: a second-order filter section with cookbook coefficients (low-pass,
// high-pass, all-pass), run in transposed direct form II in double precision.
// Coefficients follow the cookbook's naming, as RbjSection's do: b0..b2 feed
// forward, a1 and a2 feed back (a0 normalised to 1):
// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
#pragma once

namespace morvanta {

struct Biquad {
  enum Type { kLowPass = 0, kHighPass = 1, kAllPass = 7 };

  void Init(int filterType, double fc, double q);
  void Compute();
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
