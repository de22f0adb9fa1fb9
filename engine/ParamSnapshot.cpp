// Member-by-member equality of two snapshots, and the effects' settings as
// the snapshot holds them.
#include "engine/ParamSnapshot.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace morvanta {
namespace {

// Doubles compare as numbers: NaN differs from everything, -0 equals +0.
template <size_t N>
bool Same(const double (&a)[N], const double (&b)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (!(a[i] == b[i])) return false;
  return true;
}

// The depth records are rows of doubles; they compare as such.
template <typename Depths>
bool SameDepths(const Depths& a, const Depths& b) {
  constexpr size_t n = sizeof(Depths) / sizeof(double);
  static_assert(std::is_trivially_copyable<Depths>::value && n * sizeof(double) == sizeof(Depths),
                "a depth record holds doubles only");
  double x[n], y[n];
  std::memcpy(x, &a, sizeof a);
  std::memcpy(y, &b, sizeof b);
  return Same(x, y);
}

bool Same(const LfoSettings& a, const LfoSettings& b) {
  return a.shape == b.shape && a.frequency == b.frequency && a.retrigger == b.retrigger &&
         a.sync == b.sync && a.fadeIn == b.fadeIn;
}

bool Same(const AdsrSettings& a, const AdsrSettings& b) {
  return a.attack == b.attack && a.decay == b.decay && a.sustain == b.sustain &&
         a.release == b.release && a.unused == b.unused && a.legato == b.legato && a.x10 == b.x10;
}

bool Same(const ReverbSettings& a, const ReverbSettings& b) {
  return a.length == b.length && a.preDelayBase == b.preDelayBase && a.damp == b.damp &&
         a.damp2 == b.damp2 && a.filterSpreadBase == b.filterSpreadBase && a.hp == b.hp &&
         a.lengthFactor == b.lengthFactor && a.width == b.width &&
         a.outputScaleBase == b.outputScaleBase && a.variant == b.variant && a.mod == b.mod &&
         a.modRateBase == b.modRateBase && a.networkMode == b.networkMode && a.spare == b.spare;
}

}  // namespace

bool ParamSnapshot::operator==(const ParamSnapshot& o) const {
  const bool voice =
      ampGain == o.ampGain && pan == o.pan && stereoSpread == o.stereoSpread &&
      voiceMode == o.voiceMode && oscShape == o.oscShape && pitch == o.pitch && fine == o.fine &&
      glideTime == o.glideTime && pulseWidth == o.pulseWidth && pulseWidthMode == o.pulseWidthMode &&
      ringMod == o.ringMod && ringModF == o.ringModF && ringModLock == o.ringModLock &&
      ringModMode == o.ringModMode && waveShaper == o.waveShaper && bitDivider == o.bitDivider &&
      bitFeedback == o.bitFeedback && pitchNoise == o.pitchNoise &&
      pitchNoiseHeight == o.pitchNoiseHeight && filterFrequency == o.filterFrequency &&
      filterResonance == o.filterResonance && unnamed20 == o.unnamed20 && filterMix == o.filterMix &&
      filterKeyTrack == o.filterKeyTrack && Same(harmonics, o.harmonics) &&
      harmonicsLfoSpeed == o.harmonicsLfoSpeed && harmonicsLfoAmp == o.harmonicsLfoAmp &&
      harmonicsPhaseShift == o.harmonicsPhaseShift && harmonicsSlope == o.harmonicsSlope;
  const bool modulation =
      Same(lfo1, o.lfo1) && Same(lfo2, o.lfo2) && Same(adsr1, o.adsr1) && Same(adsr2, o.adsr2) &&
      adsr2PitchMode == o.adsr2PitchMode && arpOn == o.arpOn && arpStepsCount == o.arpStepsCount &&
      arpLoopStart == o.arpLoopStart && arpTempoDivider == o.arpTempoDivider &&
      arpModSmooth == o.arpModSmooth && Same(arpPitch, o.arpPitch) && Same(arpShape, o.arpShape) &&
      Same(arpMod, o.arpMod) && arpLiveDirection == o.arpLiveDirection && arpPage == o.arpPage &&
      SameDepths(velTo, o.velTo) && SameDepths(arpModTo, o.arpModTo) &&
      SameDepths(lfo1To, o.lfo1To) && SameDepths(lfo2To, o.lfo2To) &&
      SameDepths(adsr2To, o.adsr2To) && SameDepths(modwTo, o.modwTo) && modWheel == o.modWheel &&
      pitchRange == o.pitchRange;
  const bool bus =
      distortion == o.distortion && tubeDrive == o.tubeDrive && Same(reverb, o.reverb) &&
      reverbOn == o.reverbOn && reverbMix == o.reverbMix && chorusOn == o.chorusOn &&
      modMix == o.modMix && modDelay == o.modDelay && modFeedback == o.modFeedback &&
      modSpeed == o.modSpeed && modAmp == o.modAmp && modMode == o.modMode &&
      delayOn == o.delayOn && delayLevel == o.delayLevel && delayTime == o.delayTime &&
      delayFeedback == o.delayFeedback && delayColor == o.delayColor &&
      delayDrive == o.delayDrive && delayUnused == o.delayUnused &&
      delayPingPongType == o.delayPingPongType && delayTempoSync == o.delayTempoSync &&
      delayWidth == o.delayWidth;
  return voice && modulation && bus;
}

ChorusSettings ChorusSettingsOf(const ParamSnapshot& p) {
  ChorusSettings s;
  s.mix = p.modMix;
  s.delay = p.modDelay;
  s.feedback = p.modFeedback;
  s.amp = p.modAmp;
  s.speed = p.modSpeed;
  s.mode = p.modMode;
  return s;
}

DelaySettings DelaySettingsOf(const ParamSnapshot& p) {
  DelaySettings s;
  s.timeMs = p.delayTime;
  s.level = p.delayLevel;
  s.feedback = p.delayFeedback;
  s.colour = p.delayColor;
  s.drive = p.delayDrive;
  s.pingPongType = p.delayPingPongType;
  s.tempoSync = p.delayTempoSync;
  s.width = p.delayWidth;
  return s;
}

}  // namespace morvanta
