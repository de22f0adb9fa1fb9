// OnePoleSmoother: the 50 ms single-precision one-pole follower that smooths
// a voice's gain, wave-shaper amount and pan (y <- a*y + (1-a)*x per sample).
#pragma once

#include <cmath>

#include "dsp/VoiceLanes.h"

namespace morvanta {

class OnePoleSmoother {
 public:
  OnePoleSmoother() {
    f_[kSmoothB] = 1.0f;
  }

  // Moves the state into a lane of `lanes`, where StepSmootherLanes moves it
  // on side by side with other smoothers; the methods below then work on it
  // there. The lanes must outlive the smoother's use.
  void BindLane(SmootherLanes& lanes, int lane) { f_.Bind(&lanes.v[0][lane]); }

  // Rebuilds the coefficient only when the stored rate differs.
  void SetRate(double sampleRate) {
    const float fs = static_cast<float>(sampleRate);
    if (fs == f_[kSmoothRate]) return;
    f_[kSmoothRate] = fs;
    f_[kSmoothA] = std::exp(-6.2831855f / (kTime * fs));
    f_[kSmoothB] = 1.0f - f_[kSmoothA];
  }

  float Process(double x) {
    float& y = f_[kSmoothY];
    y = f_[kSmoothA] * y + f_[kSmoothB] * static_cast<float>(x);
    return y;
  }

  // Jumps to the target and passes input through until the next rebuild.
  void Snap(double target) {
    f_[kSmoothY] = static_cast<float>(target);
    f_[kSmoothA] = 0.0f;
    f_[kSmoothB] = 1.0f;
  }

  float Value() const { return f_[kSmoothY]; }

 private:
  static constexpr float kTime = 0.05f;
  LaneFields<float, kSmoothFields> f_;  // y, a, b and the rate the coefficients are for
};

}  // namespace morvanta
