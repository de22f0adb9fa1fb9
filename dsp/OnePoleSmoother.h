// OnePoleSmoother: the 50 ms single-precision one-pole follower that smooths
// a voice's gain, wave-shaper amount and pan (y <- a*y + (1-a)*x per sample).
#pragma once

#include <cmath>

namespace morvanta {

class OnePoleSmoother {
 public:
  // Rebuilds the coefficient only when the stored rate differs.
  void SetRate(double sampleRate) {
    const float fs = static_cast<float>(sampleRate);
    if (fs == rate_) return;
    rate_ = fs;
    a_ = std::exp(-6.2831855f / (kTime * fs));
    b_ = 1.0f - a_;
  }

  float Process(double x) {
    y_ = a_ * y_ + b_ * static_cast<float>(x);
    return y_;
  }

  // Jumps to the target and passes input through until the next rebuild.
  void Snap(double target) {
    y_ = static_cast<float>(target);
    a_ = 0.0f;
    b_ = 1.0f;
  }

  float Value() const { return y_; }

 private:
  static constexpr float kTime = 0.05f;
  float y_ = 0.0f;
  float a_ = 0.0f;
  float b_ = 1.0f;
  float rate_ = 0.0f;
};

}  // namespace morvanta
