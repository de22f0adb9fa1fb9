// Test signals and settings shared by the effect tests: a repeatable noise
// source and a snapshot with every bus effect turned fully up.
#pragma once

#include <cstdint>

#include "instrument/ParamSnapshot.h"

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
  p.distortion = 1.0;
  p.tubeDrive = 1.0;
  p.chorusOn = 1;
  p.modMix = 1.0;
  p.modDelay = 1.0;
  p.modFeedback = 1.0;
  p.modSpeed = 1.0;
  p.modAmp = 1.0;
  p.modMode = 1;
  p.delayOn = 1;
  p.delayLevel = 1.0;
  p.delayTime = 1000.0;
  p.delayFeedback = 1.0;
  p.delayColor = 1.0;
  p.delayDrive = 1.0;
  p.delayPingPongType = 0;
  p.delayWidth = 1.0;
  p.reverbOn = 1;
  p.reverbMix = 1.0;
  p.reverb.length = 1.0;
  p.reverb.lengthFactor = 1.0;
  p.reverb.damp = 1.0;
  p.reverb.damp2 = 1.0;
  p.reverb.hp = 0.0;
  p.reverb.mod = 1.0;
  return p;
}

}  // namespace test
}  // namespace morvanta
