// Test signals and settings shared by the effect tests: a repeatable noise
// source and a snapshot with every bus effect turned fully up.
#pragma once

#include <cstdint>

#include "engine/ParamSnapshot.h"

namespace morvanta {
namespace test {

// Uniform noise in [-1, 1) from a 32-bit linear congruential generator.
class TestNoise {
 public:
  explicit TestNoise(uint32_t seed = 12345u) : state_(seed) {}
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
  }

 private:
  uint32_t state_;
};

inline ParamSnapshot FullEffectsSnapshot() {
  ParamSnapshot p;
  p.distortion = p.tubeDrive = 1.0;
  p.chorusOn = p.modMode = 1;
  p.modMix = p.modDelay = p.modFeedback = p.modSpeed = p.modAmp = 1.0;
  p.delayOn = 1;
  p.delayLevel = p.delayFeedback = p.delayColor = p.delayDrive = p.delayWidth = 1.0;
  p.delayTime = 1000.0;
  p.reverbOn = 1;
  p.reverbMix = p.reverb.length = p.reverb.lengthFactor = p.reverb.damp = p.reverb.damp2 = p.reverb.mod = 1.0;
  p.reverb.hp = 0.0;
  return p;
}

}  // namespace test
}  // namespace morvanta
