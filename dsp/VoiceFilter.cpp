// VoiceFilter: trapezoidal integrators with a tan-prewarped gain, single
// precision where the sound was tuned in it.
#include "dsp/VoiceFilter.h"

#include <cmath>

namespace morvanta {
namespace {

constexpr double kSmooth = static_cast<double>(0.999f);
// A smoothed cutoff left above Nyquist by a drop in the sample rate would
// turn the tan past pi/2 (negative gain, a diverging loop); the angle stops
// just below it. Settled cutoffs never come near this bound.
constexpr double kMaxAngle = 0.4999 * 3.14159265358979323846;

}  // namespace

void VoiceFilter::Reset() {
  cutoff_ = 0.0;
  smoother_ = 0.0;
  s2_ = 0.0;
  s1_ = 0.0;
}

void VoiceFilter::Preroll(int samples) {
  if (s1_ != 0.0 || s2_ != 0.0) {
    for (int i = 0; i < samples; ++i) Process(0.0);
    return;
  }
  double fc = smoother_;
  for (int i = 0; i < samples; ++i) fc = kSmooth * fc + cutoffKHz;
  cutoff_ = fc;
  smoother_ = fc;
}

double VoiceFilter::Process(double x) {
  const double fc = kSmooth * smoother_ + cutoffKHz;
  cutoff_ = fc;
  const double rawAngle = fc * prewarp;
  const float angle = static_cast<float>(rawAngle < kMaxAngle ? rawAngle : kMaxAngle);
  if (angle != tanKey_) {
    tanKey_ = angle;
    tanValue_ = std::tan(angle);
  }
  const float g = tanValue_;
  const double s1 = s1_;
  const double s2 = s2_;
  const double h = static_cast<double>(static_cast<float>(x)) - ((g + damping) * s1 + s2);
  const float gk = g + static_cast<float>(damping);
  const float den = 1.0f / (gk * g + 1.0f);
  const double hp = h * den;
  const float u1 = g * static_cast<float>(hp);
  float b = u1 + static_cast<float>(s1);
  if (b > 1.0f) b = 1.0f;
  if (b < -1.0f) b = -1.0f;
  const float bp = b - b * b * b * (1.0f / 3.0f);
  const float u2 = g * bp;
  const float lp = static_cast<float>(s2) + u2;
  s2_ = static_cast<double>(lp + u2);
  s1_ = static_cast<double>(bp + u1);
  smoother_ = fc;
  double y = (1.0 - std::fabs(2.0 * mix - 1.0)) * bp;
  if (mix < 0.5) y += 2.0 * (0.5 - mix) * lp;
  if (mix > 0.5) y += 1.666 * (mix - 0.5) * hp;
  return y;
}

}  // namespace morvanta
