// VoiceLfo: a voice's low-frequency oscillator in six shapes (sine, triangle,
// square, saw, random steps, random ramps) with a fade-in gain.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/FastSine.h"
#include "dsp/PhaseWrap.h"
#include "dsp/RandomSource.h"

namespace morvanta {

class VoiceLfo {
 public:
  // "LFOn shape", as the editor names them: SINUS, TRIANGLE, SQUARE, SAW,
  // RAND STEP, RAND RAMP.
  enum Shape : int32_t {
    kSine = 0,
    kTriangle = 1,
    kSquare = 2,
    kSaw = 3,
    kRandomStep = 4,
    kRandomRamp = 5,
  };
  // The random shapes step once per cycle and run at twice the set rate.
  static bool IsRandom(int shape) { return shape == kRandomStep || shape == kRandomRamp; }

  void SetRate(double rate) {
    rate_ = rate;
    invRate_ = 1.0 / rate;
    increment_ = frequency_ * invRate_;
  }

  void Start(double frequency, bool restartPhase, double fadeSeconds) {
    frequency_ = frequency;
    increment_ = frequency * invRate_;
    if (restartPhase) phase_ = 0.0;
    if (fadeSeconds <= 0.0) {
      fade_ = 1.0;
      fadeIncrement_ = 0.0;
    } else {
      fade_ = 0.0;
      fadeIncrement_ = 1.0 / (fadeSeconds * rate_);
    }
  }

  void SetFrequency(double frequency) {
    frequency_ = frequency;
    increment_ = frequency * invRate_;
  }

  void SetShape(int shape) { shape_ = shape; }
  // The source of the random shapes' steps.
  void SetRandomSource(RandomSource& random) { random_ = &random; }
  void RestartPhase() { phase_ = 0.0; }

  double Tick() {
    if (valuePending_) {
      // The random shapes start from the last value the unheard ticks left.
      valuePending_ = false;
      value_ = PlainValue(pendingShape_, pendingPhase_);
    }
    const double p = phase_;
    switch (shape_) {
      case kSine:
      case kTriangle:
      case kSquare:
      case kSaw: value_ = PlainValue(shape_, p); break;
      case kRandomStep:
        if (p >= 1.0) {
          value_ = 2.0 * Random() - 1.0;
          phase_ = p - std::floor(p);
        }
        break;
      case kRandomRamp:
        if (p >= 1.0) {
          randomTarget_ = 2.0 * Random() - 1.0;
          randomSlope_ = (randomTarget_ - value_) * increment_;
          phase_ = p - std::floor(p);
        }
        value_ += randomSlope_;
        if (value_ > 1.0) value_ = 1.0;
        if (value_ < -1.0) value_ = -1.0;
        break;
      default: break;
    }
    phase_ += increment_;
    if (shape_ >= kSine && shape_ <= kSaw) phase_ = WrapPhase(phase_);
    if (fade_ < 1.0) {
      fade_ += fadeIncrement_;
      if (fade_ > 1.0) fade_ = 1.0;
    }
    return fade_ * value_;
  }

  // One tick whose value nobody reads: the phase and the fade move on as in
  // Tick, the value of a plain shape is worked out only when a later tick
  // needs it. The random shapes keep state in their value and run in full.
  void TickUnheard() {
    if (shape_ < kSine || shape_ > kSaw) {
      Tick();
      return;
    }
    valuePending_ = true;
    pendingShape_ = shape_;
    pendingPhase_ = phase_;
    phase_ += increment_;
    phase_ = WrapPhase(phase_);
    if (fade_ < 1.0) {
      fade_ += fadeIncrement_;
      if (fade_ > 1.0) fade_ = 1.0;
    }
  }

  double Phase() const { return phase_; }
  double Frequency() const { return frequency_; }
  double Increment() const { return increment_; }

 private:
  double Random() { return random_->Unit(); }

  // The value of the shapes that depend on the phase alone.
  static double PlainValue(int shape, double p) {
    switch (shape) {
      case kSine: return FastSine(6.283185307179586 * p);
      case kTriangle: return p < 0.25 ? 4.0 * p : (p < 0.75 ? (0.5 - p) * 4.0 : (p - 1.0) * 4.0);
      case kSquare: return p < 0.5 ? 1.0 : -1.0;
      default: return 1.0 - 2.0 * p;
    }
  }

  double frequency_ = 0.0;
  int shape_ = 0;
  double value_ = 0.0;
  double phase_ = 0.0;
  double increment_ = 0.0;
  double rate_ = 44100.0, invRate_ = 1.0 / 44100.0;
  double randomTarget_ = 0.0;
  double randomSlope_ = 0.0;
  double fade_ = 1.0;
  double fadeIncrement_ = 0.0;
  RandomSource* random_ = &RandomSource::Fallback();
  bool valuePending_ = false;
  int pendingShape_ = 0;
  double pendingPhase_ = 0.0;
};

}  // namespace morvanta
