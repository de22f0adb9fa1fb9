// VoiceSlot: one of the 16 fixed voices: two envelopes, two LFOs, the
// oscillator with its step sequence, the filter and three 50 ms smoothers.
#pragma once

#include <cmath>

#include "dsp/OnePoleSmoother.h"
#include "dsp/VoiceFilter.h"
#include "dsp/VoiceOscillator.h"
#include "engine/Adsr.h"
#include "engine/VoiceLfo.h"

namespace morvanta {

// The eight destinations that share the general modulation rule, in the
// order the render frame fills them.
enum GeneralDestination {
  kDestHarmPhase, kDestBitDiv, kDestBitFeed, kDestWaveShaper, kDestRingMod, kDestRingModF,
  kDestPitchNoise, kDestPw, kGeneralDestinations
};

// vel * depth + 1 - depth for each velocity-scaled destination, per block;
// `fixed` holds the value of every general destination without modulation
// depths (it depends only on the base and the velocity).
struct VelocityFactors {
  double general[kGeneralDestinations] = {1, 1, 1, 1, 1, 1, 1, 1};
  double fixed[kGeneralDestinations] = {};
  double fc = 1.0, fr = 1.0, tubeDrive = 1.0;
  // The amplitude smoother's target, kept for the wheel position it was
  // worked out for (the rest of it is the block's and the velocity's).
  bool ampTargetValid = false;
  double ampTargetWheel = 0.0;
  double ampTarget = 0.0;
};

struct VoiceSlot {
  Adsr adsr1, adsr2;
  VoiceLfo lfo1, lfo2;
  VoiceOscillator osc;
  VoiceFilter filter;
  OnePoleSmoother ampSmoother, waveShaperSmoother, panSmoother;
  VelocityFactors vel;
};

}  // namespace morvanta
