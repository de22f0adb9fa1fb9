// TubeDriveClipper: the normalisation latched at each sign change keeps the
// curve steady within a half wave; the running maximum only ever grows.
#include "dsp/TubeDriveClipper.h"

#include <cmath>

namespace morvanta {

namespace {
// Beyond this overshoot the soft curve equals its threshold to double
// precision; the curve's own formula would overflow into inf/inf there.
constexpr double kHugeOvershoot = 1e150;
}  // namespace

double TubeDriveClipper::SoftClip(double level, double threshold, double sign) const {
  const double e = level - threshold;
  if (!(e < kHugeOvershoot)) return threshold * sign * latchedPeak_;
  const double q = e / (1.0 - threshold);
  return (e / (q * q + 1.0) + threshold) * sign * latchedPeak_;
}

}  // namespace morvanta
