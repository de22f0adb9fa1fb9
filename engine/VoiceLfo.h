// VoiceLfo: a voice's low-frequency oscillator in six shapes (sine, triangle,
// square, saw, random steps, random ramps) with a fade-in gain.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/FastSine.h"
#include "dsp/PhaseWrap.h"
#include "dsp/RandomSource.h"
#include "dsp/VoiceLanes.h"

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

  VoiceLfo() {
    f_[kLfoInvRate] = 1.0 / 44100.0;
    f_[kLfoFade] = 1.0;
  }

  // Moves the LFO's state into a lane of `lanes`, where TickLfoLanes moves it
  // on side by side with other LFOs; the methods below then work on it there.
  // The lanes must outlive the LFO's use.
  void BindLane(LfoLanes& lanes, int lane) { f_.Bind(&lanes.v[0][lane]); }

  void SetRate(double rate) {
    rate_ = rate;
    f_[kLfoInvRate] = 1.0 / rate;
    f_[kLfoIncrement] = f_[kLfoFrequency] * f_[kLfoInvRate];
  }

  void Start(double frequency, bool restartPhase, double fadeSeconds) {
    f_[kLfoFrequency] = frequency;
    f_[kLfoIncrement] = frequency * f_[kLfoInvRate];
    if (restartPhase) f_[kLfoPhase] = 0.0;
    if (fadeSeconds <= 0.0) {
      f_[kLfoFade] = 1.0;
      f_[kLfoFadeIncrement] = 0.0;
    } else {
      f_[kLfoFade] = 0.0;
      f_[kLfoFadeIncrement] = 1.0 / (fadeSeconds * rate_);
    }
  }

  void SetFrequency(double frequency) {
    f_[kLfoFrequency] = frequency;
    f_[kLfoIncrement] = frequency * f_[kLfoInvRate];
  }

  void SetShape(int shape) { shape_ = shape; }
  int GetShape() const { return shape_; }
  // The source of the random shapes' steps.
  void SetRandomSource(RandomSource& random) { random_ = &random; }
  void RestartPhase() { f_[kLfoPhase] = 0.0; }

  double Tick() {
    double& value = f_[kLfoValue];
    double& phase = f_[kLfoPhase];
    const double increment = f_[kLfoIncrement];
    if (f_[kLfoPending] != 0.0) {
      // The random shapes start from the last value the unheard ticks left.
      f_[kLfoPending] = 0.0;
      value = PlainValue(static_cast<int>(f_[kLfoPendingShape]), f_[kLfoPendingPhase]);
    }
    const double p = phase;
    switch (shape_) {
      case kSine:
      case kTriangle:
      case kSquare:
      case kSaw: value = PlainValue(shape_, p); break;
      case kRandomStep:
        if (p >= 1.0) {
          value = 2.0 * Random() - 1.0;
          phase = p - std::floor(p);
        }
        break;
      case kRandomRamp:
        if (p >= 1.0) {
          randomTarget_ = 2.0 * Random() - 1.0;
          randomSlope_ = (randomTarget_ - value) * increment;
          phase = p - std::floor(p);
        }
        value += randomSlope_;
        if (value > 1.0) value = 1.0;
        if (value < -1.0) value = -1.0;
        break;
      default: break;
    }
    phase += increment;
    if (shape_ >= kSine && shape_ <= kSaw) phase = WrapPhase(phase);
    StepFade();
    return f_[kLfoFade] * value;
  }

  // One tick whose value nobody reads: the phase and the fade move on as in
  // Tick, the value of a plain shape is worked out only when a later tick
  // needs it. The random shapes keep state in their value and run in full.
  void TickUnheard() {
    if (shape_ < kSine || shape_ > kSaw) {
      Tick();
      return;
    }
    f_[kLfoPending] = 1.0;
    f_[kLfoPendingShape] = shape_;
    f_[kLfoPendingPhase] = f_[kLfoPhase];
    f_[kLfoPhase] = WrapPhase(f_[kLfoPhase] + f_[kLfoIncrement]);
    StepFade();
  }

  double Phase() const { return f_[kLfoPhase]; }
  double Frequency() const { return f_[kLfoFrequency]; }
  double Increment() const { return f_[kLfoIncrement]; }

  // The value of the shapes that depend on the phase alone.
  static double PlainValue(int shape, double p) {
    switch (shape) {
      case kSine: return FastSine(6.283185307179586 * p);
      case kTriangle: return p < 0.25 ? 4.0 * p : (p < 0.75 ? (0.5 - p) * 4.0 : (p - 1.0) * 4.0);
      case kSquare: return p < 0.5 ? 1.0 : -1.0;
      default: return 1.0 - 2.0 * p;
    }
  }

 private:
  double Random() { return random_->Unit(); }

  void StepFade() {
    double& fade = f_[kLfoFade];
    if (fade < 1.0) {
      fade += f_[kLfoFadeIncrement];
      if (fade > 1.0) fade = 1.0;
    }
  }

  int shape_ = 0;
  double rate_ = 44100.0;
  double randomTarget_ = 0.0;
  double randomSlope_ = 0.0;
  RandomSource* random_ = &RandomSource::Fallback();
  // The frequency, phase, value and fade, and the value a plain shape left
  // pending (see TickUnheard); in a lane once bound.
  LaneFields<double, kLfoFields> f_;
};

}  // namespace morvanta
