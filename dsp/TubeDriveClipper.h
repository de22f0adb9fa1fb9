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
  static double Sign(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }
  double SoftClip(double level, double threshold, double sign) const;

  double windowPeak_ = 0.0;
  double runningMaxPeak_ = -99999.0;
  double inversePeak_ = 0.0;
  double peak_ = 0.0;
  double latchedInverse_ = 0.0;
  double latchedPeak_ = 0.0;
  double lastSignInput_ = -99999.0;
  int32_t phase_ = 0;
};

}  // namespace morvanta
