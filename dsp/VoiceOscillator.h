// VoiceOscillator: a voice's additive oscillator (16 partials in five shapes)
// with its step sequence, glide, pitch noise, bit divider, wave shaper and ring modulator.
#pragma once

#include <cstdint>

#include "dsp/OscShape.h"
#include "dsp/RandomSource.h"
#include "dsp/StepSequence.h"
#include "dsp/VoiceLanes.h"

namespace morvanta {

class VoiceOscillator {
 public:
  static constexpr int kPartials = 16;

  VoiceOscillator();

  void SetSampleRate(double fs);
  void StartNote(int note, double velocity, double frequency, int shape, bool legato,
                 double glideSeconds, double currentIncrement, double panOffset);
  // One raw sample (before the amplitude envelope and the filter).
  double Render();
  // Render in two halves, so that the sine sums of many voices can run side
  // by side between them. Begin moves the oscillator on by one sample; it
  // returns false with the partial sum in *sum, or true with the inputs of a
  // sine sum written into the lane (SumSineLanes finishes it). The lane is
  // taken to be this oscillator's alone: weights it holds from the last
  // Begin are not written again. Finish takes the sum through the bit
  // divider, wave shaper and ring modulator.
  // With `deferAdvance`, Begin leaves the phases and the time where they
  // are and only sets the steps they take next: EndVoiceLanes takes them
  // for an oscillator bound to a clock lane. With `shapes`, the other shapes'
  // sums are not worked out either: their inputs go into that lane of
  // `shapes` (SumShapeLanes finishes them, in the shape steps.Shape() gives).
  bool Begin(SineLanes& lanes, int lane, double* sum, bool deferAdvance = false, ShapeLanes* shapes = nullptr);
  double Finish(double sum) { return Shapers(sum); }

  // Whether, after a Begin, the next Begin with the same controls, bend and
  // shared levels would only move the phase clocks on by the same step and
  // read its partial sum at the new phase, while its time stays within
  // [*from, *until): no growth, glide or pitch noise, and the sine's weights
  // worked out or, for the other shapes, their gains in a shape lane (after a
  // Begin that had one). *stepBase is the pitch step before the bend.
  bool Steady(double* stepBase, double* from, double* until) const;

  // Moves the phase clocks and the bit divider's state into a lane of
  // `lanes` (see EndVoiceLanes and ShapeVoiceLanes); the lanes must outlive
  // the oscillator's use.
  void BindClockLane(ClockLanes& lanes, int lane);

  // Evaluates the sine partials one FastSine each instead of by recurrence.
  void UseReferenceSine(bool on) { referenceSine_ = on; }

  // Reads the partial levels from an array shared by all voices instead of
  // `levels` (null to use `levels`). When the owner also counts the changes
  // of the shared array in `*version`, the sine partials' weights are worked
  // out again only after a change (or when the growth or damping moved).
  void ShareLevels(const double* shared, const uint64_t* version = nullptr) {
    sharedLevels_ = shared;
    levelsVersion_ = version;
    InvalidateWeights();
  }

  // The source of the pitch noise's random steps.
  void SetRandomSource(RandomSource& random) { random_ = &random; }

  // Controls written by the render frame before each Render.
  double levels[kPartials] = {};
  double pitchRatio = 1.0;
  double bendRatio = 1.0;
  double velocityToHarmonics = 0.0;
  double slopeRate = 0.0;
  double harmPhase = 0.0;
  double bitDivider = 1.0;
  double bitFeedback = 0.0;
  double pulseWidth = 0.5;
  int32_t pulseWidthMode = kPulseHarmonic;
  double waveShaper = 0.0;
  double ringMod = 0.0;
  double ringModF = 0.0;
  int32_t ringLock = 0;
  int32_t ringMode = 0;
  double pitchNoise = 0.0;
  double pitchNoiseHeight = 0.0;
  int32_t baseShape = kOscSine;  // an OscShape
  StepSequence steps;
  bool releaseHold = false;

  int Note() const { return note_; }
  void SetNote(int note) { note_ = note; }
  double Velocity() const { return velocity_; }
  double Frequency() const { return frequency_; }
  double CurrentIncrement() const { return currentIncrement_; }
  double TargetIncrement() const { return targetIncrement_; }
  double PanOffset() const { return panOffset_; }
  double Elapsed() const { return C(kClockElapsed); }
  double MasterPhase() const { return C(kClockMaster); }
  double RingPhase() const { return C(kClockRing); }
  double Growth(int k) const { return growth_[k]; }
  double SampleRate() const { return fs_; }

 private:
  double PartialSum(const double* gains, int shape);
  void Gains(double* gains) const;
  void PrepareSineSum(SineLanes& lanes, int lane);
  void PrepareShapeSum(ShapeLanes& lanes, int lane);
  void UpdateDamping();
  double PitchNoiseOffset();
  double& C(int field) { return clock_[field]; }
  double C(int field) const { return clock_[field]; }
  double Shapers(double m);
  void InvalidateWeights() {
    weightsValid_ = false;
    ++weightsStamp_;
  }

  // The phases, the time and their next steps, and the bit divider's
  // counter and held sample (see ClockLanes), here while no lane holds them.
  LaneFields<double, kClockFields> clock_;
  int note_ = -1;
  double velocity_ = 0.0;
  double frequency_ = 0.0;
  double glideSeconds_ = 0.0;
  double growth_[kPartials] = {};
  double currentIncrement_ = 0.0;
  double targetIncrement_ = 0.0;
  float glideState_ = 0.0f;
  float glideCoef_ = 0.0f;
  float glideOneMinusCoef_ = 1.0f;
  float glideMs_ = 0.0f;
  float glideRate_ = 44100.0f;
  double fs_ = 44100.0;
  double invFs_ = 1.0 / 44100.0;
  double fsRatio_ = 1.0;
  double noiseOffset_ = 0.0;
  double noiseCounter_ = 0.0;
  double panOffset_ = 0.0;
  bool referenceSine_ = false;
  const double* sharedLevels_ = nullptr;
  RandomSource* random_ = &RandomSource::Fallback();
  double dampingKey_ = -1.0;
  double slopeKey_ = -2.0;
  double growthStep_ = 0.0;
  double dampingFactor_[kPartials] = {};
  // The sine partials' weights as last worked out, and what they came from.
  const uint64_t* levelsVersion_ = nullptr;
  uint64_t weightsVersion_ = 0;
  bool weightsValid_ = false;
  int weightsTop_ = -1;
  // Where the weights were last written (a lane nobody else writes keeps them).
  const SineLanes* weightsLanes_ = nullptr;
  int weightsLane_ = -1;
  // The other shapes' gains and damping factors in their lane: the count of
  // invalidations and the level version they were written at, and where.
  uint64_t weightsStamp_ = 0;
  uint64_t shapeStamp_ = ~uint64_t{0};
  uint64_t shapeVersion_ = 0;
  const ShapeLanes* shapeLanes_ = nullptr;
  int shapeLane_ = -1;
  double weights_[kPartials] = {};
};

}  // namespace morvanta
