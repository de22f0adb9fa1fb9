// TubeDriveClipper: a peak-normalised soft clipper (bus tube drive and the
// delay's drive); the peak it normalises by is measured on alternate calls.
#pragma once

#include <cmath>
#include <cstdint>

namespace morvanta {

class TubeDriveClipper {
 public:
  double Process(double x, double amount) {
    if (++phase_ > 1) phase_ = 0;
    if (phase_ == 1) {
      if (windowPeak_ > runningMaxPeak_) {
        runningMaxPeak_ = windowPeak_;
        if (windowPeak_ != 0.0) {
          inversePeak_ = 1.0 / windowPeak_;
          peak_ = windowPeak_;
        } else {
          peak_ = 0.0;
        }
      } else {
        inversePeak_ = 1.0;
        peak_ = 1.0;
      }
      windowPeak_ = 0.0;
    } else {
      const double a = std::fabs(x);
      if (a > windowPeak_) windowPeak_ = a;
    }

    const double s = Sign(x);
    if (s != Sign(lastSignInput_)) {
      latchedInverse_ = inversePeak_;
      latchedPeak_ = peak_;
      lastSignInput_ = x;
    }

    const double threshold = 1.0 - 0.99 * amount;
    const double level = std::fabs(x) * latchedInverse_;
    if (level > threshold) return SoftClip(level, threshold, s);
    return x;
  }

 private:
  // The delay's units move their clippers' state in and out of vector lanes.
  friend class DelayUnit;
  static double Sign(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }
  // Inline, so that a block loop holding a copy of the clipper keeps it in
  // registers.
  double SoftClip(double level, double threshold, double sign) const {
    // Beyond this overshoot the soft curve equals its threshold to double
    // precision; the curve's own formula would overflow into inf/inf there.
    constexpr double kHugeOvershoot = 1e150;
    const double e = level - threshold;
    if (!(e < kHugeOvershoot)) return threshold * sign * latchedPeak_;
    const double q = e / (1.0 - threshold);
    return (e / (q * q + 1.0) + threshold) * sign * latchedPeak_;
  }

  // The peak and its inverse are kept apart, as are their latched copies:
  // side by side, the compiler moves each pair as one vector, and the vector
  // load right after two single stores stalls on every other sample.
  double inversePeak_ = 0.0;
  double latchedInverse_ = 0.0;
  double windowPeak_ = 0.0;
  double peak_ = 0.0;
  double runningMaxPeak_ = -99999.0;
  double latchedPeak_ = 0.0;
  double lastSignInput_ = -99999.0;
  int32_t phase_ = 0;
};

}  // namespace morvanta
