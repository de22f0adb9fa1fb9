// DistortionShaper: the harmonic weights are 10^-2.1, 10^-3.4 and 10^-4.2;
// the harmonic terms are formed in single precision from the library's powf.
#include "dsp/DistortionShaper.h"

#include <cmath>

namespace morvanta {

double DistortionSaturate(double v) {
  const double a = std::fabs(v);
  const double v2 = v * v;
  const double s = 1.0 - 1.0 / (1.0 + a + v2 + 0.66422417311781 * a * v2 + 0.36483285408241 * v2 * v2);
  return v > 0.0 ? s : (v < 0.0 ? -s : 0.0);
}

float DistortionShaper(float x, float drive) {
  static const float w2 = std::pow(10.0f, -2.1f);
  static const float w3 = std::pow(10.0f, -3.4f);
  static const float w4 = std::pow(10.0f, -4.2f);
  const double d = drive;
  const double u = (4.0 * d + 1.0) * x * 0.25;
  const float f = static_cast<float>(4.0 * DistortionSaturate(u));
  const float f2 = std::pow(f, 2.0f);
  const float f3 = std::pow(f, 3.0f);
  const float f4 = std::pow(f, 4.0f);
  const float t2 = 2.0f * f2 - 1.0f;
  const float t3 = 4.0f * f3 - 3.0f * f;
  const float t4 = 8.0f * f4 - 8.0f * f2 + 1.0f;
  const float sum = w2 * t2 + w3 * t3 + w4 * t4;
  const double v = 2.0 * d * sum;
  return static_cast<float>(x - DistortionSaturate(v));
}

}  // namespace morvanta
