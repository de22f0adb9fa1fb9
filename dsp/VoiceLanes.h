// VoiceLanes: the voices' envelopes, smoothers, LFOs and phase clocks in
// structure-of-arrays form, one lane per voice, and the steps that move them
// on side by side around the part of each voice's sample that runs one voice
// at a time. Each lane computes exactly what the one-voice code computes (the
// same operations in the same order, nothing fused), on every instruction set.
#pragma once

#include <cstdint>

#include "dsp/VoiceKernels.h"

namespace morvanta {

// The oscillator's turn in radians (its sine sums read 2 pi times the phase
// with this constant).
constexpr double kOscTwoPi = 6.2831853;

// A record's fields, kept in the record itself or, once bound, in a lane of
// a structure of arrays (field k of lane i at v[k][i]). Its own fields are
// spaced as a lane's are, so that every field is one fixed step from the
// first. A copy holds the values in its own fields; an assignment writes
// them where the target keeps its own.
template <typename T, int N>
class LaneFields {
 public:
  LaneFields() = default;
  LaneFields(const LaneFields& other) {
    for (int k = 0; k < N; ++k) own_[k * kKernelLanes] = other[k];
  }
  LaneFields& operator=(const LaneFields& other) {
    T values[N];
    for (int k = 0; k < N; ++k) values[k] = other[k];
    for (int k = 0; k < N; ++k) (*this)[k] = values[k];
    return *this;
  }
  // Moves the values to the lane whose first field is at `lane`.
  void Bind(T* lane) {
    T values[N];
    for (int k = 0; k < N; ++k) values[k] = (*this)[k];
    base_ = lane;
    for (int k = 0; k < N; ++k) (*this)[k] = values[k];
  }
  T& operator[](int k) { return base_[k * kKernelLanes]; }
  T operator[](int k) const { return base_[k * kKernelLanes]; }

 private:
  T own_[N * kKernelLanes] = {};
  T* base_ = own_;
};

// Envelopes side by side: field k of lane i is v[k][i] (an Adsr bound to a
// lane keeps its state here). The stage is held as a double, 0 (idle) to 4.
enum EnvelopeField {
  kEnvAttack, kEnvDecay, kEnvRelease, kEnvSustain, kEnvLevel, kEnvStage, kEnvEndTime, kEnvTime, kEnvSlope,
  kEnvInvRate, kEnvFields
};
struct EnvelopeLanes {
  alignas(64) double v[kEnvFields][kKernelLanes];
};


// Single-precision one-pole smoothers side by side, y <- a*y + b*x (a
// OnePoleSmoother bound to a lane keeps its state here).
enum SmootherField { kSmoothY, kSmoothA, kSmoothB, kSmoothRate, kSmoothFields };
struct SmootherLanes {
  alignas(64) float v[kSmoothFields][kKernelLanes];
};



// LFOs side by side (a VoiceLfo bound to a lane keeps its state here): the
// frequency and the phase step it gives, the phase, the value and the fade,
// and for a tick nobody heard, the shape and phase its value is pending for.
enum LfoField {
  kLfoFrequency, kLfoIncrement, kLfoInvRate, kLfoPhase, kLfoValue, kLfoFade, kLfoFadeIncrement, kLfoPending,
  kLfoPendingShape, kLfoPendingPhase, kLfoFields
};
struct LfoLanes {
  alignas(64) double v[kLfoFields][kKernelLanes];
};


// The oscillators' phase clocks side by side (a VoiceOscillator bound to a
// lane keeps them here): the master and ring phases, the time since the
// note start, and the step each takes next; the bit divider's counter and
// held sample, and the rate over 44.1 kHz.
enum ClockField {
  kClockMaster, kClockRing, kClockElapsed, kClockStep, kClockRingRatio, kClockInvRate, kClockCounter, kClockHeld,
  kClockFsRatio, kClockFields
};
struct ClockLanes {
  alignas(64) double v[kClockFields][kKernelLanes];
};

// The block's depths and bases for the voices' front part.
struct VoiceFrontFactors {
  int lfo1Shape = 0, lfo2Shape = 0;        // plain shapes (sine, triangle, square, saw)
  double lfo1Rate = 0.0, lfo2Rate = 0.0;   // the LFOs' fixed frequencies
  bool lfo1Heard = false, lfo2Heard = false;
  double lfo1Env2 = 0.0, lfo1Wheel = 0.0;  // ADSR2 and wheel depths on LFO1's amplitude
  double lfo2Env2 = 0.0, lfo2Wheel = 0.0;
  double wheel = 0.0;
  double ampArp = 0.0, ampLfo1 = 0.0, ampLfo2 = 0.0;
  double panLfo2 = 0.0, panLfo1 = 0.0, panEnv2 = 0.0, pan = 0.5, panArp = 0.0;
  // Per source (env2, lfo1, lfo2, wheel, arp): all ones where the controls read it.
  uint64_t key[5] = {};
  // Whether steady voices may skip their oscillator's ordered part this
  // sample (steadyBits is 0 otherwise), and the pitch bend it would apply.
  bool steady = false;
  double bend = 1.0;
};

struct VoiceLanes {
  EnvelopeLanes env1, env2;
  SmootherLanes amp, shape, pan;
  LfoLanes lfo1, lfo2;
  ClockLanes clock;

  // The sample's values per voice. StartVoiceLanes sets sounding (1 where
  // ADSR1 ran before and after its tick), ringing (1 where the voice does
  // not sound but ADSR2 runs), the envelopes' values (ADSR2 0 when it was
  // idle) and the smoothed gain.
  alignas(64) double ampTarget[kKernelLanes];
  alignas(64) double sounding[kKernelLanes];
  alignas(64) double ringing[kKernelLanes];
  alignas(64) double env1Value[kKernelLanes];
  alignas(64) double env2Value[kKernelLanes];
  alignas(64) double gain[kKernelLanes];
  // The front part: in, the step row's modulation and the pan offset; out,
  // the scaled LFOs (0 for one nobody hears), the amplitude, the LFO gain,
  // the pan target and 1 where the control memo holds.
  alignas(64) double arp[kKernelLanes];
  // Each voice's step row modulation as its step clock last left it (the
  // unsmoothed value its next sample reads), kept by the engine.
  alignas(64) double nextArp[kKernelLanes];
  alignas(64) double panOffset[kKernelLanes];
  alignas(64) double lfo1Value[kKernelLanes];
  alignas(64) double lfo2Value[kKernelLanes];
  alignas(64) double amplitude[kKernelLanes];
  alignas(64) double lfoGain[kKernelLanes];
  alignas(64) double panTarget[kKernelLanes];
  alignas(64) double memoHolds[kKernelLanes];
  // The control memo: 1 when valid, the five sources the controls were worked
  // out from, and the wave shaper's target.
  alignas(64) double memoValid[kKernelLanes];
  alignas(64) double memo[5][kKernelLanes];
  alignas(64) double memoShape[kKernelLanes];
  // EndVoiceLanes: in, the wave shaper's target; out, the pan and its gains
  // (which stand while the pan's bits do; a new record's pan positions must
  // be NaN, so that the first pass works them out).
  alignas(64) double shapeTarget[kKernelLanes];
  alignas(64) double panPosition[kKernelLanes];
  alignas(64) double panLeft[kKernelLanes];
  alignas(64) double panRight[kKernelLanes];
  // The gains of a voice ringing out, set by the engine from the pan of the
  // sounding voice before it.
  alignas(64) double ringLeft[kKernelLanes];
  alignas(64) double ringRight[kKernelLanes];
  // ShapeVoiceLanes: in, the partial sum and the bit divider's controls of
  // the lanes set in shaperBits.
  alignas(64) double shaperIn[kKernelLanes];
  alignas(64) double bitDivider[kKernelLanes];
  alignas(64) double bitFeedback[kKernelLanes];
  // Steady voices: 1 where the oscillator's last ordered part left a voice
  // whose next one, with the control memo holding, only repeats itself
  // (no growth or glide, the sine shape, its weights worked out) while the
  // time stays within [stepFrom, stepUntil); stepBase is the pitch step
  // before the bend. FrontVoiceLanes sets steadyBits (where it did that
  // part itself this sample), and stepTime and tickSkipped for the step
  // clock it moved on in the voice's stead.
  alignas(64) double steadyArmed[kKernelLanes];
  alignas(64) double stepFrom[kKernelLanes];
  alignas(64) double stepUntil[kKernelLanes];
  alignas(64) double stepBase[kKernelLanes];
  alignas(64) double steadySine[kKernelLanes];  // 1 where the armed voice's shape is the sine
  alignas(64) double stepTime[kKernelLanes];
  alignas(64) double tickSkipped[kKernelLanes];
  // For an armed voice: 1 where its shapers take the plain step whenever the
  // wave shaper is at 0 (bitDivider and bitFeedback then hold its controls).
  alignas(64) double steadyPlain[kKernelLanes];
  // The same flags as bits (bit i for lane i): StartVoiceLanes sets the
  // sounding and ringing lanes, FrontVoiceLanes the steady ones.
  // plainBits: the steady lanes whose shapers take the plain step on their
  // sine sum this sample, shaperBits the other lanes that take it on
  // shaperIn (see ShapeVoiceLanes).
  uint32_t soundingBits = 0, ringingBits = 0, steadyBits = 0, plainBits = 0, shaperBits = 0;
};

// Before the ordered part, for lanes 0..count-1: the amplitude smoothers
// toward ampTarget, one tick of both envelopes where not idle, and the
// sample's sounding, ringing, envelope values and gain.
void StartVoiceLanes(VoiceLanes& lanes, int count);

// The front part of the sounding lanes' sample: both LFOs set to their fixed
// rate and ticked, scaled by their depths, then the amplitude, LFO gain, pan
// target and memo test. Where f.steady allows, a steady lane whose memo
// holds also takes its oscillator's part: the sine sum's angle in `sine` (or
// for the other shapes the phase in `shapes`), the phase clocks' step and the
// wave shaper's target.
void FrontVoiceLanes(VoiceLanes& lanes, const VoiceFrontFactors& f, SineLanes& sine, ShapeLanes& shapes,
                     int count);

// After the ordered part, for the sounding lanes: the wave-shaper and pan
// smoothers toward their targets, the pan and its gains (pan held to 0..1,
// left sqrt(1 - pan), right sqrt(pan)), and the phase clocks: the master
// phase moves on by its step, the ring phase by twice the step times the ring
// ratio, both wrapped to 0..1, and the time by one sample.
void EndVoiceLanes(VoiceLanes& lanes, int count);

// The filters' inputs for lanes 0..count-1: the sounding and ringing lanes
// are marked active (the others not) with their output gains (the ringing
// ones' own, the others' from the pan), the ringing ones take 0, and the
// oscillator's shapers (VoiceOscillator::Finish) run for the lanes whose bit
// is set in shaperBits or plainBits: those with no wave shaper, no ring
// modulation and
// at least one sample per hold. The bit divider holds or passes shaperIn (or,
// for plainBits, the lane's sine sum); filters.x receives the result times
// the amplitude and the LFO gain.
void ShapeVoiceLanes(VoiceLanes& lanes, FilterLanes& filters, const SineLanes& sine, int count);

}  // namespace morvanta
