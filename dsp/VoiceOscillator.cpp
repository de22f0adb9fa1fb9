// VoiceOscillator: the per-sample routine. The sine partials form an
// arithmetic progression of angles, so they are summed by the recurrence
// sin((k+1)x) = 2cos(x)sin(kx) - sin((k-1)x) from three sines.
#include "dsp/VoiceOscillator.h"

#include <cmath>
#include "dsp/FastSine.h"
#include "dsp/PhaseWrap.h"
#include "dsp/RandomSource.h"

namespace morvanta {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kGrowthCeiling = 1e150;
constexpr double kGrowthFloor = 1e-150;
// "Ring mod F" 0..1 sets the ring frequency to 2..8 times the note's; the
// lock rounds it to a whole ratio (0.49 keeps 2.5 at 2).
constexpr double kRingRatioSpan = 6.0;
constexpr double kRingRatioFloor = 2.0;
constexpr double kRingLockRounding = 0.49;
// Pitch noise: a random detune of up to 0.4 of (f / 2 + 220 Hz), held for up
// to 64 samples (at 44.1 kHz) by "Pitch noise Height".
constexpr double kPitchNoiseDepth = 0.4;
constexpr double kPitchNoiseFloorHz = 220.0;
constexpr double kPitchNoiseHoldSamples = 64.0;
// "Wave shaper" 0..1 drives the fold by 1..21.
constexpr double kWaveShaperDrive = 20.0;
// The multi-pulse sum is lifted to the loudness of the other shapes.
constexpr double kMultiPulseGain = 1.25;

inline double Wrap01(double x) { return WrapPhase(x); }

}  // namespace

VoiceOscillator::VoiceOscillator() {
  glideMs_ = 50.0f;
  glideCoef_ = std::exp(-6.2831855f / (glideMs_ * 0.001f * 44100.0f));
  glideOneMinusCoef_ = 1.0f - glideCoef_;
  SetSampleRate(44100.0);
}

void VoiceOscillator::SetSampleRate(double fs) {
  fs_ = fs;
  invFs_ = 1.0 / fs;
  C(kClockInvRate) = invFs_;
  fsRatio_ = fs / 44100.0;
  C(kClockFsRatio) = fsRatio_;
  slopeKey_ = -2.0;
  glideRate_ = static_cast<float>(fs);
  glideCoef_ = 0.0f;
  glideOneMinusCoef_ = 1.0f;
  C(kClockCounter) = 0.0;
  C(kClockElapsed) = 0.0;
  levels[0] = 1.0;
  for (int k = 1; k < kPartials; ++k) levels[k] = 0.0;
  for (double& g : growth_) g = 0.0;
  InvalidateWeights();
  releaseHold = false;
}

void VoiceOscillator::StartNote(int note, double velocity, double frequency, int shape,
                                bool legato, double glideSeconds, double currentIncrement,
                                double panOffset) {
  steps.SetShape(baseShape);
  steps.Restart();
  note_ = note;
  velocity_ = velocity;
  frequency_ = frequency;
  glideSeconds_ = glideSeconds;
  currentIncrement_ = currentIncrement;
  panOffset_ = panOffset;
  C(kClockElapsed) = 0.0;
  releaseHold = false;
  if (!legato) {
    C(kClockRing) = 0.0;
    C(kClockMaster) = 0.0;
  }
  baseShape = shape;
  targetIncrement_ = frequency * invFs_;
  if (glideSeconds > 0.0) {
    glideMs_ = static_cast<float>(glideSeconds * 1000.0);
    glideCoef_ = std::exp(-6.2831855f / (glideMs_ * 0.001f * glideRate_));
    glideOneMinusCoef_ = 1.0f - glideCoef_;
    glideState_ = static_cast<float>(currentIncrement);
  } else {
    currentIncrement_ = targetIncrement_;
  }
  for (double& g : growth_) g = 1.0;
  InvalidateWeights();
}

void VoiceOscillator::BindClockLane(ClockLanes& lanes, int lane) { clock_.Bind(&lanes.v[0][lane]); }

double VoiceOscillator::Render() {
  SineLanes lanes;
  double m = 0.0;
  if (Begin(lanes, 0, &m)) {
    m = SinePartialSum(lanes.x0[0], lanes.stretch[0], &lanes.amp[0][0], kKernelLanes,
                       static_cast<int>(lanes.top[0]));
  }
  weightsLanes_ = nullptr;  // the lanes are gone
  return Shapers(m);
}

bool VoiceOscillator::Begin(SineLanes& lanes, int lane, double* sum, bool deferAdvance, ShapeLanes* shapes) {
  if (slopeRate != slopeKey_) {
    slopeKey_ = slopeRate;
    growthStep_ = slopeRate * 10.0 / fs_ / 16.0;
  }
  const double q = growthStep_;
  if (q != 0.0) {
    InvalidateWeights();
    // Keep the growth finite and out of the subnormal range on endless notes.
    GrowPartials(growth_, q, kGrowthCeiling, kGrowthFloor);
  }

  steps.Tick(C(kClockElapsed), baseShape, releaseHold);
  const int shape = steps.Shape();
  // The sine sum reads the phase before it moves on.
  const bool sine = shape == kOscSine && !referenceSine_;
  if (sine) {
    PrepareSineSum(lanes, lane);
  } else if (shapes != nullptr) {
    PrepareShapeSum(*shapes, lane);
  } else {
    double gains[kPartials];
    Gains(gains);
    *sum = PartialSum(gains, shape);
  }

  double inc = targetIncrement_;
  if (glideSeconds_ > 0.0) {
    glideState_ = glideCoef_ * glideState_ + glideOneMinusCoef_ * static_cast<float>(targetIncrement_);
    inc = glideState_;
  }
  currentIncrement_ = inc;

  const double d = pitchNoise == 0.0 ? 0.0 : PitchNoiseOffset();

  const double raw = (pitchRatio * currentIncrement_ * steps.Ratio() + d) * bendRatio;
  const double e = 0.0 < raw ? raw : 0.0;
  double ringRatio = ringModF * kRingRatioSpan + kRingRatioFloor;
  if (ringLock) ringRatio = static_cast<int>(ringRatio + kRingLockRounding);
  C(kClockStep) = e;
  C(kClockRingRatio) = ringRatio;
  if (!deferAdvance) {
    C(kClockMaster) = Wrap01(C(kClockMaster) + e);
    C(kClockRing) = Wrap01(C(kClockRing) + 2.0 * e * ringRatio);
    C(kClockElapsed) += invFs_;
  }
  return sine;
}

bool VoiceOscillator::Steady(double* stepBase, double* from, double* until) const {
  // Begin adds the pitch noise's offset, 0 here, to the step before the bend.
  if (growthStep_ != 0.0 || glideSeconds_ > 0.0 || !(pitchNoise == 0.0)) return false;
  if (referenceSine_ || !steps.StepSpan(from, until)) return false;
  // The sine's weights, or the other shapes' gains in their lane, stand.
  const int shape = steps.Shape();
  if (shape == kOscSine ? !weightsValid_ : (shapeLanes_ == nullptr || shapeStamp_ != weightsStamp_)) return false;
  *stepBase = pitchRatio * currentIncrement_ * steps.Ratio();
  return true;
}

// Each partial's level times its squared growth, at most 1.
void VoiceOscillator::Gains(double* gains) const {
  const double* levelsIn = sharedLevels_ != nullptr ? sharedLevels_ : levels;
  for (int k = 0; k < kPartials; ++k) {
    const double gain = levelsIn[k] * growth_[k] * growth_[k];
    gains[k] = gain < 1.0 ? gain : 1.0;
  }
}

[[gnu::always_inline]] inline void VoiceOscillator::UpdateDamping() {
  const double damping = (1.0 - velocity_) * velocityToHarmonics;
  if (damping == dampingKey_) return;
  dampingKey_ = damping;
  InvalidateWeights();
  dampingFactor_[0] = 1.0;
  for (int k = 1; k < kPartials; ++k) dampingFactor_[k] = 1.0 - (0.75 + k / 64.0) * damping;
}

double VoiceOscillator::PartialSum(const double* gains, int shape) {
  UpdateDamping();
  const double p = C(kClockMaster);
  const double stretch = 1.0 + harmPhase / 4.0;
  const double* levelsIn = sharedLevels_ != nullptr ? sharedLevels_ : levels;
  double m = 0.0;
  if (shape == kOscSine) {
    // The reference: one FastSine per partial (the recurrence goes through
    // PrepareSineSum).
    for (int k = 0; k < kPartials; ++k) {
      if (!(gains[k] > 0.0)) continue;
      const double a = gains[k] * dampingFactor_[k];
      m += a * FastSine(kOscTwoPi * (stretch * k + 1.0) * p);
    }
    return m;
  }
  for (int k = 0; k < kPartials; ++k) {
    if (!(gains[k] > 0.0)) continue;
    const double a = gains[k] * dampingFactor_[k];
    const double w = Wrap01((stretch * k + 1.0) * p);
    switch (shape) {
      case kOscTriangle:
        m += a * (w < 0.25 ? 4.0 * w : (w < 0.75 ? 4.0 * (0.5 - w) : 4.0 * (w - 1.0)));
        break;
      case kOscSquare:
        if (pulseWidth > w) {
          m += a;
        } else {
          m -= a;
          if (k == 0 && pulseWidthMode >= kPulseClassic) return m;
        }
        break;
      case kOscSaw:
        if (pulseWidth > 0.0) {
          if (w < 2.0 * pulseWidth) {
            m += a * (1.0 - 2.0 * w);
          } else {
            m -= a;
            if (k == 0 && pulseWidthMode >= kPulseClassic) return m;
          }
        }
        break;
      case kOscMultiPulse:
        if (pulseWidth > w) {
          int i = static_cast<int>(16.0 * w);
          if (i > kPartials - 1) i = kPartials - 1;
          m += a * levelsIn[i];
        }
        break;
      default:
        break;
    }
  }
  if (shape == kOscMultiPulse) m *= kMultiPulseGain;
  return m;
}

// The partial weights, the highest audible partial and the angles of the
// sine sum. Silent partials only add zeros to the sum, so the groups of the
// recurrence above the highest audible one are left out.
[[gnu::always_inline]] inline void VoiceOscillator::PrepareSineSum(SineLanes& lanes, int lane) {
  UpdateDamping();
  const bool counted = sharedLevels_ != nullptr && levelsVersion_ != nullptr;
  if (!weightsValid_ || !counted || *levelsVersion_ != weightsVersion_) {
    weightsTop_ = WeighPartials(sharedLevels_ != nullptr ? sharedLevels_ : levels, growth_, dampingFactor_, weights_);
    weightsValid_ = counted;
    weightsVersion_ = counted ? *levelsVersion_ : 0;
    weightsLanes_ = nullptr;
  }
  if (weightsLanes_ != &lanes || weightsLane_ != lane) {
    for (int k = 0; k < kPartials; ++k) lanes.amp[k][lane] = weights_[k];
    weightsLanes_ = &lanes;
    weightsLane_ = lane;
  }
  lanes.x0[lane] = kOscTwoPi * C(kClockMaster);
  lanes.stretch[lane] = 1.0 + harmPhase / 4.0;
  lanes.top[lane] = weightsTop_;
}

// What PartialSum reads, for SumShapeLanes. The gains and damping factors
// are written again only after they may have changed (the lane is this
// oscillator's alone).
void VoiceOscillator::PrepareShapeSum(ShapeLanes& lanes, int lane) {
  UpdateDamping();
  const bool counted = sharedLevels_ != nullptr && levelsVersion_ != nullptr;
  if (!counted || *levelsVersion_ != shapeVersion_ || shapeStamp_ != weightsStamp_ || shapeLanes_ != &lanes ||
      shapeLane_ != lane) {
    double gains[kPartials];
    Gains(gains);
    int top = -1;
    for (int k = 0; k < kPartials; ++k) {
      lanes.gain[k][lane] = gains[k];
      lanes.damping[k][lane] = dampingFactor_[k];
      if (gains[k] > 0.0) top = k;
    }
    lanes.top[lane] = top;
    shapeVersion_ = counted ? *levelsVersion_ : 0;
    shapeStamp_ = weightsStamp_;
    shapeLanes_ = counted ? &lanes : nullptr;
    shapeLane_ = lane;
  }
  lanes.phase[lane] = C(kClockMaster);
  lanes.stretch[lane] = 1.0 + harmPhase / 4.0;
  lanes.pulseWidth[lane] = pulseWidth;
  lanes.classic[lane] = pulseWidthMode >= kPulseClassic ? 1.0 : 0.0;
}

double VoiceOscillator::PitchNoiseOffset() {
  if (pitchNoise == 0.0) return 0.0;
  if (noiseCounter_ == 0.0) {
    const double r = random_->Unit();
    noiseOffset_ = (pitchNoise * r - pitchNoise * 0.5) * kPitchNoiseDepth * (frequency_ * 0.5 + kPitchNoiseFloorHz) / fs_;
  }
  noiseCounter_ += 1.0;
  if (noiseCounter_ >= pitchNoiseHeight * kPitchNoiseHoldSamples * fsRatio_) noiseCounter_ = 0.0;
  return noiseOffset_;
}

double VoiceOscillator::Shapers(double m) {
  C(kClockCounter) += 1.0;
  const double limit = bitDivider * fsRatio_;
  double x;
  if (bitDivider <= 1.0) {
    if (C(kClockCounter) >= limit) C(kClockCounter) -= limit;
    C(kClockHeld) = m;
    x = m;
  } else {
    if (C(kClockCounter) >= limit) {
      C(kClockCounter) -= limit;
      C(kClockHeld) = m;
    } else {
      C(kClockHeld) = C(kClockHeld) - C(kClockMaster) * m * bitFeedback * 0.5;
      if (bitFeedback != 0.0) {
        if (C(kClockHeld) > 1.0) C(kClockHeld) = 1.0;
        if (C(kClockHeld) < -1.0) C(kClockHeld) = -1.0;
      }
    }
    x = C(kClockHeld);
  }
  // Below one sample per hold (host rates under 44.1 kHz) the counter would
  // otherwise climb without bound and stall the divider later.
  if (limit < 1.0 && C(kClockCounter) >= limit) C(kClockCounter) = std::fmod(C(kClockCounter), limit);

  double s = x;
  if (waveShaper != 0.0) {
    const double drive = kWaveShaperDrive * waveShaper + 1.0;
    double y;
    switch (steps.Shape()) {
      case kOscSine: y = FastSine(drive * x); break;
      case kOscTriangle:
      case kOscSaw: y = std::cos(static_cast<float>(drive * x)); break;
      default: y = FastSine(drive * (x + C(kClockRing))); break;
    }
    s = waveShaper * y + (1.0 - waveShaper) * x;
  }
  C(kClockHeld) = s;

  if (ringMod == 0.0) return s;
  const double r = ringMode == 0 ? ringMod * FastSine(kTwoPi * C(kClockRing)) : ringMod * C(kClockRing);
  return (2.0 * r + (1.0 - ringMod)) * s;
}

}  // namespace morvanta
