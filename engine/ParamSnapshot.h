// The sound parameters in engine units: one plain record filled by
// ParameterChanged, copied into the engine once per block, and the unit of
// the edit history and the A/B compare.
#pragma once

#include <cstdint>

#include "dsp/EffectSettings.h"
#include "dsp/OscShape.h"
#include "dsp/StepSequence.h"

namespace morvanta {

struct LfoSettings {
  int32_t shape = 0;        // VoiceLfo::Shape 0..5
  double frequency = 0.1;   // "LFOn frequency" / 100
  int32_t retrigger = 0;
  bool sync = false;
  double fadeIn = 0.0;      // "LFOn fade-in" / 100
};

struct AdsrSettings {
  double attack = 0.0;   // seconds
  double decay = 0.25;   // seconds
  double sustain = 0.5;  // fraction
  double release = 1.0;  // seconds
  int32_t unused = 0;    // no parameter sets it
  int32_t legato = 0;
  int32_t x10 = 0;
};

// Velocity, arp-mod, LFO, ADSR2 and mod-wheel depths, each a fraction.
struct VelDepths {        // 110..122
  double amp, pw, fc, fr, harmonics, bitDiv, bitFeed, harmPhase, ringMod,
      ringModF, waveShaper, pitchNoise, tubeDrive;
};
struct ArpModDepths {     // 97..109
  double amp, pw, fc, fr, bitDiv, bitFeed, harmPhase, ringMod, ringModF,
      waveShaper, pitchNoise, pan, tubeDrive;
};
struct LfoDepths {        // 157..170 and 176..189
  double amp, pitch, pw, fc, fr, bitDiv, bitFeed, harmPhase, ringMod,
      ringModF, waveShaper, pitchNoise, pan, tubeDrive;
};
struct Adsr2Depths {      // 135..151
  double pitch, pw, fc, fr, bitDiv, bitFeed, harmPhase, ringMod, ringModF,
      waveShaper, pitchNoise, lfo1Amp, lfo1F, lfo2Amp, lfo2F, pan, tubeDrive;
};
struct ModwDepths {       // 190..205
  double amp, pw, fc, fr, bitDiv, bitFeed, harmPhase, ringMod, ringModF,
      waveShaper, pitchNoise, lfo1Amp, lfo1F, lfo2Amp, lfo2F, tubeDrive;
};

struct ParamSnapshot {
  double ampGain = 0.5, pan = 0.5, stereoSpread = 0.0;
  int32_t voiceMode = 2;       // SynthEngine::VoiceMode: 0 MONO, 1 LIVE ARP, 2 POLY
  int32_t oscShape = kOscSine;
  double pitch = 0.0;          // semitones, whole
  double fine = 0.0;           // semitones -1..1
  double glideTime = 0.0;      // 0..1
  double pulseWidth = 1.0;
  int32_t pulseWidthMode = kPulseHarmonic;
  double ringMod = 0.0, ringModF = 0.0;
  int32_t ringModLock = 0, ringModMode = 0;
  double waveShaper = 0.0, bitDivider = 0.0, bitFeedback = 0.0, pitchNoise = 0.0,
         pitchNoiseHeight = 0.0, filterFrequency = 1.0, filterResonance = 0.0,
         unnamed20 = 0.0, filterMix = 0.0, filterKeyTrack = 0.0;
  double harmonics[16] = {1.0};
  double harmonicsLfoSpeed = 0.0, harmonicsLfoAmp = 0.0, harmonicsPhaseShift = 0.0,
         harmonicsSlope = 0.0;
  LfoSettings lfo1, lfo2;
  AdsrSettings adsr1{0.01, 0.25, 1.0, 1.0, 0, 0, 0};
  AdsrSettings adsr2{0.0, 0.25, 0.5, 1.0, 0, 0, 0};
  int32_t adsr2PitchMode = 0;
  int32_t arpOn = 0, arpStepsCount = 16, arpLoopStart = 0;
  double arpTempoDivider = 16.0;
  int32_t arpModSmooth = 0;
  double arpPitch[16] = {};   // semitones
  double arpShape[16] = {};   // 0..4
  double arpMod[16] = {};     // -1..1
  int32_t arpLiveDirection = kArpUp, arpPage = 0;
  VelDepths velTo{0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ArpModDepths arpModTo{0, 0, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  LfoDepths lfo1To{}, lfo2To{};
  Adsr2Depths adsr2To{};
  ModwDepths modwTo{};
  double modWheel = 0.0;
  double pitchRange = 12.0;
  double distortion = 0.0, tubeDrive = 0.0;
  ReverbSettings reverb;
  int32_t reverbOn = 0;
  double reverbMix = 0.5;
  int32_t chorusOn = 0;
  double modMix = 0.5, modDelay = 0.2, modFeedback = 0.1, modSpeed = 0.1, modAmp = 0.2;
  int32_t modMode = 0, delayOn = 0;
  double delayLevel = 0.5;
  double delayTime = 400.0;    // ms
  double delayFeedback = 0.4, delayColor = 0.5, delayDrive = 0.4;
  int32_t delayUnused = 0, delayPingPongType = 0, delayTempoSync = 0;
  double delayWidth = 0.65;

  // Member-by-member equality; doubles compare as numbers (NaN != NaN).
  bool operator==(const ParamSnapshot& o) const;
  bool operator!=(const ParamSnapshot& o) const { return !(*this == o); }
};

// The bus effects' settings as the snapshot holds them.
ChorusSettings ChorusSettingsOf(const ParamSnapshot& p);
DelaySettings DelaySettingsOf(const ParamSnapshot& p);

}  // namespace morvanta
