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

VoiceFilter::State VoiceFilter::Load() const {
  if (lanes_ == nullptr) return own_;
  State s;
  s.smoother = lanes_->smoother[lane_];
  s.s1 = lanes_->s1[lane_];
  s.s2 = lanes_->s2[lane_];
  s.tanKey = lanes_->tanKey[lane_];
  s.tanValue = lanes_->tanValue[lane_];
  return s;
}

void VoiceFilter::Store(const State& s) {
  if (lanes_ == nullptr) {
    own_ = s;
    return;
  }
  lanes_->smoother[lane_] = s.smoother;
  lanes_->s1[lane_] = s.s1;
  lanes_->s2[lane_] = s.s2;
  lanes_->tanKey[lane_] = s.tanKey;
  lanes_->tanValue[lane_] = s.tanValue;
}

void VoiceFilter::BindLane(FilterLanes& lanes, int lane) {
  const State s = Load();
  lanes_ = &lanes;
  lane_ = lane;
  Store(s);
  ControlsToLane();
}

void VoiceFilter::Reset() {
  State s = Load();
  s.smoother = 0.0;
  s.s2 = 0.0;
  s.s1 = 0.0;
  Store(s);
}

void VoiceFilter::Preroll(int samples) {
  State s = Load();
  if (s.s1 != 0.0 || s.s2 != 0.0) {
    for (int i = 0; i < samples; ++i) Process(0.0);
    return;
  }
  double fc = s.smoother;
  for (int i = 0; i < samples; ++i) fc = kSmooth * fc + cutoffKHz;
  s.smoother = fc;
  Store(s);
}

double VoiceFilter::Process(double x) {
  State st = Load();
  const double fc = kSmooth * st.smoother + cutoffKHz;
  const double rawAngle = fc * prewarp;
  const float angle = static_cast<float>(rawAngle < kMaxAngle ? rawAngle : kMaxAngle);
  if (angle != st.tanKey) {
    st.tanKey = angle;
    st.tanValue = std::tan(angle);
  }
  const float g = st.tanValue;
  const double s1 = st.s1;
  const double s2 = st.s2;
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
  st.s2 = static_cast<double>(lp + u2);
  st.s1 = static_cast<double>(bp + u1);
  st.smoother = fc;
  Store(st);
  double y = (1.0 - std::fabs(2.0 * mix - 1.0)) * bp;
  if (mix < 0.5) y += 2.0 * (0.5 - mix) * lp;
  if (mix > 0.5) y += 1.666 * (mix - 0.5) * hp;
  return y;
}

}  // namespace morvanta
