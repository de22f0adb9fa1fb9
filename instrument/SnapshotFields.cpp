// The index -> snapshot field map shared by ParameterChanged
// and WriteSnapshotToParams.
#include "instrument/SnapshotFields.h"

#include <cmath>
#include <limits>

#include "instrument/ParamTable.h"

namespace morvanta {
namespace {

using C = FieldConversion;

constexpr double VelDepths::*kVelFields[] = {
    &VelDepths::amp,      &VelDepths::pw,       &VelDepths::fc,         &VelDepths::fr,
    &VelDepths::harmonics, &VelDepths::bitDiv,  &VelDepths::bitFeed,    &VelDepths::harmPhase,
    &VelDepths::ringMod,  &VelDepths::ringModF, &VelDepths::waveShaper, &VelDepths::pitchNoise,
    &VelDepths::tubeDrive};
constexpr double ArpModDepths::*kArpModFields[] = {
    &ArpModDepths::amp,        &ArpModDepths::pw,        &ArpModDepths::fc,
    &ArpModDepths::fr,         &ArpModDepths::bitDiv,    &ArpModDepths::bitFeed,
    &ArpModDepths::harmPhase,  &ArpModDepths::ringMod,   &ArpModDepths::ringModF,
    &ArpModDepths::waveShaper, &ArpModDepths::pitchNoise, &ArpModDepths::pan,
    &ArpModDepths::tubeDrive};
constexpr double LfoDepths::*kLfoFields[] = {
    &LfoDepths::amp,     &LfoDepths::pitch,    &LfoDepths::pw,         &LfoDepths::fc,
    &LfoDepths::fr,      &LfoDepths::bitDiv,   &LfoDepths::bitFeed,    &LfoDepths::harmPhase,
    &LfoDepths::ringMod, &LfoDepths::ringModF, &LfoDepths::waveShaper, &LfoDepths::pitchNoise,
    &LfoDepths::pan,     &LfoDepths::tubeDrive};
constexpr double Adsr2Depths::*kAdsr2Fields[] = {
    &Adsr2Depths::pitch,     &Adsr2Depths::pw,         &Adsr2Depths::fc,
    &Adsr2Depths::fr,        &Adsr2Depths::bitDiv,     &Adsr2Depths::bitFeed,
    &Adsr2Depths::harmPhase, &Adsr2Depths::ringMod,    &Adsr2Depths::ringModF,
    &Adsr2Depths::waveShaper, &Adsr2Depths::pitchNoise, &Adsr2Depths::lfo1Amp,
    &Adsr2Depths::lfo1F,     &Adsr2Depths::lfo2Amp,    &Adsr2Depths::lfo2F,
    &Adsr2Depths::pan,       &Adsr2Depths::tubeDrive};
constexpr double ModwDepths::*kModwFields[] = {
    &ModwDepths::amp,        &ModwDepths::pw,         &ModwDepths::fc,
    &ModwDepths::fr,         &ModwDepths::bitDiv,     &ModwDepths::bitFeed,
    &ModwDepths::harmPhase,  &ModwDepths::ringMod,    &ModwDepths::ringModF,
    &ModwDepths::waveShaper, &ModwDepths::pitchNoise, &ModwDepths::lfo1Amp,
    &ModwDepths::lfo1F,      &ModwDepths::lfo2Amp,    &ModwDepths::lfo2F,
    &ModwDepths::tubeDrive};

static_assert(kVelToAmp + 13 == kVelToTubeDrive + 1, "velocity depths");
static_assert(kArpModToAmp + 13 == kArpModToTubeDrive + 1, "arp-mod depths");
static_assert(kLfo1ToAmp + 14 == kLfo1ToTubeDrive + 1, "LFO1 depths");
static_assert(kLfo2ToAmp + 14 == kLfo2ToTubeDrive + 1, "LFO2 depths");
static_assert(kAdsr2ToPitch + 17 == kAdsr2ToTubeDrive + 1, "ADSR2 depths");
static_assert(kModwToAmp + 16 == kModwToTubeDrive + 1, "mod-wheel depths");

SnapshotField Real(double& d, C c) { return SnapshotField{c, &d, nullptr, nullptr}; }
SnapshotField Int(int32_t& i, C c = C::Truncated) { return SnapshotField{c, nullptr, &i, nullptr}; }

SnapshotField LfoField(LfoSettings& l, int offset) {
  switch (offset) {
    case 0: return Int(l.shape);
    case 1: return Real(l.frequency, C::Percent);
    case 2: return Int(l.retrigger);
    case 3: return SnapshotField{C::Bool, nullptr, nullptr, &l.sync};
    default: return Real(l.fadeIn, C::Percent);
  }
}

SnapshotField AdsrField(AdsrSettings& a, int offset) {
  switch (offset) {
    case 0: return Real(a.attack, C::AsIs);
    case 1: return Real(a.decay, C::AsIs);
    case 2: return Real(a.sustain, C::Percent);
    case 3: return Real(a.release, C::AsIs);
    case 4: return Int(a.legato);
    default: return Int(a.x10);
  }
}

}  // namespace

int32_t TruncateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

SnapshotField FieldOf(ParamSnapshot& s, int i) {
  if (i >= kHarmonics1 && i < kHarmonics1 + 16) return Real(s.harmonics[i - kHarmonics1], C::Hundredth);
  if (i >= kArpPitch1 && i < kArpPitch1 + 16) return Real(s.arpPitch[i - kArpPitch1], C::AsIs);
  if (i >= kArpShape1 && i < kArpShape1 + 16) return Real(s.arpShape[i - kArpShape1], C::AsIs);
  if (i >= kArpMod1 && i < kArpMod1 + 16) return Real(s.arpMod[i - kArpMod1], C::Percent);
  if (i >= kArpModToAmp && i <= kArpModToTubeDrive) return Real(s.arpModTo.*kArpModFields[i - kArpModToAmp], C::Percent);
  if (i >= kVelToAmp && i <= kVelToTubeDrive) return Real(s.velTo.*kVelFields[i - kVelToAmp], C::Percent);
  if (i >= kLfo1ToAmp && i <= kLfo1ToTubeDrive) return Real(s.lfo1To.*kLfoFields[i - kLfo1ToAmp], C::Percent);
  if (i >= kLfo2ToAmp && i <= kLfo2ToTubeDrive) return Real(s.lfo2To.*kLfoFields[i - kLfo2ToAmp], C::Percent);
  if (i >= kAdsr2ToPitch && i <= kAdsr2ToTubeDrive) return Real(s.adsr2To.*kAdsr2Fields[i - kAdsr2ToPitch], C::Percent);
  if (i >= kModwToAmp && i <= kModwToTubeDrive) return Real(s.modwTo.*kModwFields[i - kModwToAmp], C::Percent);
  if (i >= kLfo1Shape && i <= kLfo1FadeIn) return LfoField(s.lfo1, i - kLfo1Shape);
  if (i >= kLfo2Shape && i <= kLfo2FadeIn) return LfoField(s.lfo2, i - kLfo2Shape);
  if (i >= kAdsr1Attack && i <= kAdsr1X10) return AdsrField(s.adsr1, i - kAdsr1Attack);
  if (i >= kAdsr2Attack && i <= kAdsr2X10) return AdsrField(s.adsr2, i - kAdsr2Attack);

  switch (i) {
    case kAmpGain: return Real(s.ampGain, C::Percent);
    case kPan: return Real(s.pan, C::Percent);
    case kStereoSpread: return Real(s.stereoSpread, C::Percent);
    case kVoiceMode: return Int(s.voiceMode, C::VoiceMode);
    case kOscShape: return Int(s.oscShape);
    case kPitch: return Real(s.pitch, C::WholeDouble);
    case kFine: return Real(s.fine, C::Percent);
    case kGlideTime: return Real(s.glideTime, C::AsIs);
    case kPulseWidth: return Real(s.pulseWidth, C::Percent);
    case kPulseWidthMode: return Int(s.pulseWidthMode);
    case kRingMod: return Real(s.ringMod, C::Percent);
    case kRingModF: return Real(s.ringModF, C::Percent);
    case kRingModLock: return Int(s.ringModLock);
    case kRingModMode: return Int(s.ringModMode);
    case kWaveShaper: return Real(s.waveShaper, C::Percent);
    case kBitDivider: return Real(s.bitDivider, C::Percent);
    case kBitFeedback: return Real(s.bitFeedback, C::Percent);
    case kPitchNoise: return Real(s.pitchNoise, C::Percent);
    case kPitchNoiseHeight: return Real(s.pitchNoiseHeight, C::Percent);
    case kFilterFrequency: return Real(s.filterFrequency, C::Percent);
    case kFilterResonance: return Real(s.filterResonance, C::Percent);
    case kUnnamed20: return Real(s.unnamed20, C::Percent);
    case kFilterMix: return Real(s.filterMix, C::Percent);
    case kFilterKeyTrack: return Real(s.filterKeyTrack, C::Percent);
    case kHarmonicsSlope: return Real(s.harmonicsSlope, C::Percent);
    case kHarmonicsLfoAmp: return Real(s.harmonicsLfoAmp, C::Percent);
    case kHarmonicsLfoSpeed: return Real(s.harmonicsLfoSpeed, C::Percent);
    case kHarmonicsPhaseShift: return Real(s.harmonicsPhaseShift, C::Percent);
    case kArpOn: return Int(s.arpOn);
    case kArpLiveDirection: return Int(s.arpLiveDirection);
    case kArpStepsCount: return Int(s.arpStepsCount);
    case kArpLoopStart: return Int(s.arpLoopStart);
    case kArpTempoDivider: return Real(s.arpTempoDivider, C::AsIs);
    case kArpModSmooth: return Int(s.arpModSmooth);
    case kAdsr2ToPitchMode: return Int(s.adsr2PitchMode);
    case kModWheel: return Real(s.modWheel, C::Percent);
    case kDistortion: return Real(s.distortion, C::Percent);
    case kTubeDrive: return Real(s.tubeDrive, C::Percent);
    case kChorusOn: return Int(s.chorusOn);
    case kModMix: return Real(s.modMix, C::Percent);
    case kModDelay: return Real(s.modDelay, C::Percent);
    case kModFeedback: return Real(s.modFeedback, C::Percent);
    case kModAmp: return Real(s.modAmp, C::Percent);
    case kModSpeed: return Real(s.modSpeed, C::Percent);
    case kModMode: return Int(s.modMode);
    case kReverbOn: return Int(s.reverbOn);
    case kReverbMix: return Real(s.reverbMix, C::Percent);
    case kReverbLength: return Real(s.reverb.length, C::ReverbLength);
    case kReverbHp: return Real(s.reverb.hp, C::Percent);
    case kReverbDamp: return Real(s.reverb.damp, C::ReverbDamp);
    case kReverbMod: return Real(s.reverb.mod, C::Percent);
    case kDelayOn: return Int(s.delayOn);
    case kDelayLevel: return Real(s.delayLevel, C::Percent);
    case kDelayTime: return Real(s.delayTime, C::AsIs);
    case kDelayFeedback: return Real(s.delayFeedback, C::Percent);
    case kDelayColor: return Real(s.delayColor, C::Percent);
    case kDelayDrive: return Real(s.delayDrive, C::Percent);
    case kDelayPingPongType: return Int(s.delayPingPongType);
    case kDelayTempoSync: return Int(s.delayTempoSync);
    case kDelayWidth: return Real(s.delayWidth, C::Percent);
    case kArpPage: return Int(s.arpPage);
    case kPitchRange: return Real(s.pitchRange, C::AsIs);
    case kAftertouchToModW: return SnapshotField{C::Aftertouch, nullptr, nullptr, nullptr};
    default: return SnapshotField{};
  }
}

}  // namespace morvanta
