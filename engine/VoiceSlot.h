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

// sqrt(1 - pan) and sqrt(pan), recomputed only when the pan moves.
struct PanGains {
  double pan = 0.5;
  double left = std::sqrt(0.5), right = std::sqrt(0.5);
  void Set(double p) {
    if (p == pan) return;
    pan = p;
    left = std::sqrt(1.0 - p);
    right = std::sqrt(p);
  }
};

// The modulation sources a voice's oscillator and filter controls were last
// worked out from. Within a block the controls depend on nothing else (but
// the pitch bend and the wave shaper's smoother, which move on their own), so
// equal sources, bit for bit, leave them as they are. The render frame clears
// it whenever the block's settings or the voice's note or velocity change.
struct ControlMemo {
  bool valid = false;
  double sources[5] = {};
  double waveShaperTarget = 0.0;
};

struct VoiceSlot {
  Adsr adsr1, adsr2;
  VoiceLfo lfo1, lfo2;
  VoiceOscillator osc;
  VoiceFilter filter;
  OnePoleSmoother ampSmoother, waveShaperSmoother, panSmoother;
  VelocityFactors vel;
  PanGains panGains;
  ControlMemo controls;
};

}  // namespace morvanta
