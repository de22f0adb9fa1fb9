// Biquad: coefficient formulas of the three section types the instrument
// uses; the pre-warp tangent is taken in single precision.
#include "dsp/Biquad.h"

#include <cmath>

namespace morvanta {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Cut-offs at or above Nyquist would fold the tangent over and make the
// section unstable; they are held just below it.
constexpr double kMaxFc = 0.49;
}  // namespace

void Biquad::Init(int filterType, double fc, double q) {
  type = filterType;
  Fc = fc;
  Q = q;
  Compute();
}

void Biquad::Compute() {
  const double fc = Fc < kMaxFc ? Fc : kMaxFc;
  const double K = std::tan(static_cast<float>(kPi * fc));
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

}  // namespace morvanta
