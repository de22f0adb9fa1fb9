// What each parameter does, in a musician's words. Names, ranges, units and
// defaults come from the parameter table; only the meaning is written here,
// by index for single parameters and by rule for the families and the
// modulation depths ("Lfo1 -> FC" and the like).
#include "tools/manual/ParamHelp.h"

#include <cstring>
#include <map>

#include "instrument/ParamTable.h"

namespace morvanta {
namespace manual {
namespace {

const std::map<int, const char*>& Singles() {
  static const std::map<int, const char*> help = {
      {kAmpGain, "Output level of every voice (the level is the square of the setting)."},
      {kPan, "Where the voices sit between left (0) and right (100)."},
      {kStereoSpread, "Places each new note at a random position around the pan, this far to either side."},
      {kVoiceMode, "0 MONO: one voice, legato while a note still sounds; 1 LIVE ARP: one voice that "
                   "arpeggiates the held keys; 2 POLY: sixteen voices."},
      {kOscShape, "Waveform of every partial: 0 sine, 1 triangle, 2 square, 3 saw, 4 multi-pulse."},
      {kPitch, "Transposes notes started from now on."},
      {kFine, "Detunes notes started from now on."},
      {kGlideTime, "How long a new note slides from the pitch of the note before it (0 is no glide)."},
      {kPulseWidth, "Width of the square, saw and multi-pulse shapes: lower is thinner and brighter."},
      {kPulseWidthMode, "0 HARMONIC: every partial is its own pulse; 1 CLASSIC: the fundamental's pulse "
                        "gates the whole wave, for the hollow sound of an analogue pulse."},
      {kRingMod, "Amount of ring modulation: metallic, bell-like sidebands."},
      {kRingModF, "Frequency of the ring modulator, from 2 to 8 times the note."},
      {kRingModLock, "Locks the ring modulator to whole multiples of the note, so it stays harmonic."},
      {kWaveShaper, "Folds the wave through a sine: from warm to buzzing."},
      {kBitDivider, "Holds each sample for up to 32 samples: a lo-fi, aliasing grit."},
      {kBitFeedback, "Feeds the held samples back into the divider for a harsher grit."},
      {kPitchNoise, "Random wobble of the pitch: from a breathy shimmer to noise."},
      {kPitchNoiseHeight, "Colour of the pitch noise, from low rumble to high hiss."},
      {kFilterFrequency, "Cutoff of the voice filter, 20 Hz to 22 kHz."},
      {kFilterResonance, "Emphasis at the cutoff; high settings whistle."},
      {kFilterMix, "Crossfades the filter from low-pass (0) through band-pass (50) to high-pass (100)."},
      {kFilterKeyTrack, "Opens the filter further for higher notes."},
      {kHarmonicsSlope, "Tilts the partials: positive grows the upper partials during the note, negative "
                        "lets them die away."},
      {kHarmonicsLfoAmp, "Depth of the slow random drift of the sixteen partial levels."},
      {kHarmonicsLfoSpeed, "Speed of that drift."},
      {kHarmonicsPhaseShift, "Stretches the partial series away from whole multiples: bells and inharmonic "
                             "metal."},
      {kArpOn, "Runs the 16-step sequence (pitch, shape and modulation rows) on every note."},
      {kArpLiveDirection, "Order of the held keys in LIVE ARP: 0 up, 1 down, 2 up-down, 3 down-up."},
      {kArpStepsCount, "Number of steps the sequence plays."},
      {kArpLoopStart, "Step the sequence returns to after its last step."},
      {kArpTempoDivider, "Step length: 2 s divided by this (16 gives sixteenths at 120 BPM). The steps count "
                         "from the note's start, not from the host's tempo."},
      {kArpModSmooth, "Glides the modulation row from step to step instead of jumping."},
      {kAdsr1Attack, "Time the amplitude envelope takes to rise."},
      {kAdsr1Decay, "Time it takes to fall to the sustain level."},
      {kAdsr1Sustain, "Level held while the key is down."},
      {kAdsr1Release, "Time the note takes to die away after the key (or the sustain pedal) is released."},
      {kAdsr1Legato, "A new note in a sounding mono voice continues the envelope instead of restarting it."},
      {kAdsr1X10, "Multiplies the amplitude envelope's times by ten."},
      {kAdsr2Attack, "Time the modulation envelope takes to rise."},
      {kAdsr2Decay, "Time it takes to fall to its sustain level."},
      {kAdsr2Sustain, "Level it holds while the key is down."},
      {kAdsr2Release, "Time it takes to fall to zero after the release."},
      {kAdsr2Legato, "A new note in a sounding mono voice continues this envelope."},
      {kAdsr2X10, "Multiplies the modulation envelope's times by ten."},
      {kLfo1Shape, "0 sine, 1 triangle, 2 square, 3 saw, 4 random steps, 5 random ramps."},
      {kLfo1Frequency, "Rate of LFO1 (up to 64 Hz), or the note value when synchronised."},
      {kLfo1Retrigger, "Restarts LFO1 at every note."},
      {kLfo1Sync, "Follows the host's tempo."},
      {kLfo1FadeIn, "Time (up to 10 s) over which LFO1 fades in after a note starts: delayed vibrato."},
      {kLfo2Shape, "0 sine, 1 triangle, 2 square, 3 saw, 4 random steps, 5 random ramps."},
      {kLfo2Frequency, "Rate of LFO2 (up to 64 Hz), or the note value when synchronised."},
      {kLfo2Retrigger, "Restarts LFO2 at every note."},
      {kLfo2Sync, "Follows the host's tempo."},
      {kLfo2FadeIn, "Time (up to 10 s) over which LFO2 fades in after a note starts."},
      {kModWheel, "The mod wheel (MIDI controller 1) as a knob; the wheel and this knob move each other."},
      {kDistortion, "Bus distortion before the output high-pass."},
      {kTubeDrive, "Warm tube-style saturation on the bus."},
      {kChorusOn, "Switches the chorus on."},
      {kModMix, "Chorus wet/dry balance."},
      {kModDelay, "Base delay of the chorus lines: short is flanging, long is chorus."},
      {kModFeedback, "Chorus feedback: more gives a resonant flanger."},
      {kModAmp, "Depth of the chorus sweep."},
      {kModSpeed, "Speed of the chorus sweep."},
      {kModMode, "0 SINGLE or 1 DOUBLE chorus lines: double is thicker."},
      {kReverbOn, "Switches the reverb on."},
      {kReverbMix, "Reverb wet/dry balance."},
      {kReverbLength, "Decay time of the reverb."},
      {kReverbHp, "Removes low end from the reverb only, keeping the bass dry."},
      {kReverbDamp, "Darkens the reverb tail."},
      {kReverbMod, "Slow pitch movement inside the reverb for a lusher tail."},
      {kDelayOn, "Switches the stereo delay on."},
      {kDelayLevel, "Level of the echoes."},
      {kDelayTime, "Time between echoes (with tempo sync: the note value)."},
      {kDelayFeedback, "How many echoes follow."},
      {kDelayColor, "Tone of the echoes, from dark to bright."},
      {kDelayDrive, "Saturation of the echoes."},
      {kDelayPingPongType, "0 STRAIGHT: echoes alternate between the sides; 1 OFFSET: the right side "
                           "echoes half a period later."},
      {kDelayTempoSync, "Sets the delay time from the host's tempo."},
      {kDelayWidth, "Stereo width of the echoes: 100 keeps each side, 0 centres them, -100 swaps them."},
      {kArpPage, "Which step row the panel shows: 0 pitch, 1 shape, 2 modulation."},
      {kPitchRange, "Range of the pitch wheel, up and down."},
      {kRingModMode, "Chooses how the ring modulator's carrier is formed (two flavours of metallic)."},
      {kAdsr2ToPitchMode, "With this on, ADSR2 -> Pitch starts the note below its pitch and rises to it "
                        "(an attack swoop) instead of bending above it."},
      {kAftertouchToModW, "Channel pressure moves the mod wheel."},
      {kUndoButton, "Editor command: undo the last edit."},
      {kRedoButton, "Editor command: redo."},
      {kAbSwitch, "Editor command: switches between two sounds to compare them (A/B)."},
      {kCopyButton, "Editor command: copies the sound shown to the other A/B side."},
  };
  return help;
}

struct Words {
  const char* key;
  const char* words;
};

// The end of a modulation depth's name, in words.
constexpr Words kDestinations[] = {
    {"Amp", "the level"},
    {"Pitch", "the pitch"},
    {"PW", "the pulse width"},
    {"FC", "the filter cutoff"},
    {"FR", "the filter resonance"},
    {"Harmonics", "the brightness (upper partials)"},
    {"Bit div", "the bit divider"},
    {"Bit feed", "the bit feedback"},
    {"Harm phase", "the partial stretch"},
    {"Ring mod", "the ring modulation amount"},
    {"Ring mod F", "the ring modulator's frequency"},
    {"Wave shaper", "the wave shaper"},
    {"Pitch noise", "the pitch noise"},
    {"Pitch moise", "the pitch noise"},
    {"pitch noise", "the pitch noise"},
    {"Lfo1 Amp", "LFO1's depth"},
    {"Lfo1 F", "LFO1's rate"},
    {"Lfo2 Amp", "LFO2's depth"},
    {"Lfo2 F", "LFO2's rate"},
    {"Pan", "the position in the stereo field"},
    {"Tube drive", "the tube drive"},
};

// The start of a modulation depth's name, in words.
constexpr Words kSources[] = {
    {"ArpMod", "How far the step sequence's modulation row moves"},
    {"Vel", "How much the key velocity scales"},
    {"ADSR2", "How far the modulation envelope moves"},
    {"Lfo1", "How far LFO1 moves"},
    {"Lfo2", "How far LFO2 moves"},
    {"Modw", "How far the mod wheel moves"},
};

std::string Family(const std::string& name) {
  auto numbered = [&](const char* prefix) {
    const size_t n = std::strlen(prefix);
    return name.size() > n && name.compare(0, n, prefix) == 0 &&
                   name.find_first_not_of("0123456789", n) == std::string::npos
               ? name.substr(n)
               : std::string();
  };
  std::string step;
  if (!(step = numbered("Harmonics ")).empty()) {
    return "Level of partial " + step + (step == "1" ? " (the fundamental)." : ".");
  }
  if (!(step = numbered("Arp pitch ")).empty()) return "Transposition of step " + step + ".";
  if (!(step = numbered("Arp shape ")).empty()) {
    return "Waveform offset of step " + step + " (added to the oscillator shape).";
  }
  if (!(step = numbered("Arp mod ")).empty()) {
    return "Modulation value of step " + step + ", routed by the ArpMod depths.";
  }
  return "";
}

}  // namespace

std::string ParamHelp(int index, const std::string& name) {
  const auto& singles = Singles();
  const auto it = singles.find(index);
  if (it != singles.end()) return it->second;
  const std::string family = Family(name);
  if (!family.empty()) return family;
  const size_t arrow = name.find(" -> ");
  if (arrow != std::string::npos) {
    const std::string from = name.substr(0, arrow), to = name.substr(arrow + 4);
    for (const Words& s : kSources) {
      if (from != s.key) continue;
      for (const Words& d : kDestinations) {
        if (to == d.key) return std::string(s.words) + " " + d.words + ".";
      }
    }
  }
  return "";
}

}  // namespace manual
}  // namespace morvanta
