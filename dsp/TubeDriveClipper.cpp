// TubeDriveClipper: the normalisation latched at each sign change keeps the
// curve steady within a half wave; the running maximum only ever grows.
#include "dsp/TubeDriveClipper.h"

#include <cmath>

namespace morvanta {

namespace {
inline double Sign(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }
// Beyond this overshoot the soft curve equals its threshold to double
// precision; the curve's own formula would overflow into inf/inf there.
constexpr double kHugeOvershoot = 1e150;
}  // namespace

double TubeDriveClipper::Process(double x, double amount) {
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
  if (level > threshold) {
    const double e = level - threshold;
    if (!(e < kHugeOvershoot)) return threshold * s * latchedPeak_;
    const double q = e / (1.0 - threshold);
    return (e / (q * q + 1.0) + threshold) * s * latchedPeak_;
  }
  return x;
}

}  // namespace morvanta
