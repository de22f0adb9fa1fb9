// The synth engine: the per-block render frame over 16 fixed voice slots,
// the MIDI event queue, the bus stages and the effects. Plain records owned
// by the instrument; nothing here allocates while rendering.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/HeldNoteList.h"
#include "dsp/RandomSource.h"
#include "dsp/VoiceLanes.h"
#include "engine/BusChain.h"
#include "engine/EventQueue.h"
#include "engine/HarmonicsLfoBank.h"
#include "engine/LfoRate.h"
#include "engine/ParamSnapshot.h"
#include "engine/VoiceSlot.h"

namespace morvanta {

// What the engine needs from the instance around it.
class EngineHost {
 public:
  virtual ~EngineHost() = default;
  virtual double HostTempo() = 0;  // beats per minute, 0 when none
  // Controller 1 or channel pressure moved the wheel (0..1): the instance
  // mirrors it into its snapshot and the "Mod wheel" parameter.
  virtual void OnModWheelFromMidi(double wheel) = 0;
};

class SynthEngine {
 public:
  static constexpr int kVoices = 16;
  // The controllers the engine answers; every other one is ignored.
  enum Controller {
    kCcModWheel = 1,
    kCcSustain = 64,           // >= 64 down
    kCcAllSoundOff = 120,
    kCcResetControllers = 121,
    kCcAllNotesOff = 123,      // 124..127 (omni/mono/poly mode) act the same
  };
  // "Voice mode": MONO, LIVE ARP, POLY.
  enum VoiceMode : int32_t { kMono = 0, kLiveArp = 1, kPoly = 2 };

  explicit SynthEngine(EngineHost& host);
  SynthEngine(const SynthEngine&) = delete;
  SynthEngine& operator=(const SynthEngine&) = delete;

  void SetAftertouchToModW(bool on) { aftertouchToModW_ = on; }
  bool AftertouchToModW() const { return aftertouchToModW_; }

  // Queues a message by offset (equal offsets keep arrival order); drops
  // kinds the instrument does not use, and what finds no room (a note-off
  // always finds some, or is handled at once). Never allocates.
  void MidiReceived(const MidiMessage& m);
  // Takes the snapshot, handles due events at their offsets, renders
  // `frames` samples into left and right, and shifts the remaining events.
  void RenderBlock(const ParamSnapshot& snapshot, double* left, double* right, int frames,
                   double sampleRate);
  void Reset(double sampleRate, int blockSize);
  // Starts the instance's random sequence over (as at construction): the same
  // state and MIDI then render the same samples.
  void SeedRandom() { random_.Seed(1); }
  // Engine part of a restored preset: voices idle, held notes and every
  // effect buffer cleared, then the snapshot applied.
  void HardReset(const ParamSnapshot& snapshot);

  // Inspection for tests.
  int QueuedEvents() const { return queue_.Count(); }
  const EventQueue& Queue() const { return queue_; }
  const VoiceSlot& Voice(int i) const { return voices_[i]; }
  VoiceSlot& MutableVoice(int i) { return voices_[i]; }
  int VoiceCount() const { return voiceCount_; }
  int Mode() const { return voiceMode_; }
  int LastAllocatedVoice() const { return lastAllocated_; }
  double ModWheel() const { return modWheel_; }
  double PitchBendFactor() const { return pitchBend_; }
  const HeldNoteList& HeldNotes() const { return held_; }
  bool PedalDown() const { return pedalDown_; }
  double SampleRate() const { return sampleRate_; }
  double FrameTubeDrive() const { return tubeDrive_; }
  const BusChain& Bus() const { return bus_; }
  // The sixteen sine partials one FastSine each (the slow reference path).
  void UseReferenceSine(bool on);
  // Off: every voice's front part runs one voice at a time even where the
  // block would let the voices take it side by side (from the next block).
  void AllowVoiceLanes(bool on) { voiceLanesAllowed_ = on; }
  // Whether the last block's voices took their front part side by side.
  bool VoicesInLanes() const { return voicesInLanes_; }
  // How many voice-samples the lanes took the oscillator's part of.
  uint64_t SteadyVoiceSamples() const { return steadyVoiceSamples_; }

 private:
  // One general destination: its depths per source and its base.
  struct DestinationRow {
    double lfo2, lfo1, env2, base, wheel, arp, velocityDepth;
    bool modulated;
  };

  // A voice's modulation sources for the current sample.
  struct ModSources {
    double env2 = 0.0;   // ADSR2
    double lfo1 = 0.0;   // scaled LFO1
    double lfo2 = 0.0;   // scaled LFO2
    double wheel = 0.0;  // mod wheel
    double arp = 0.0;    // the step row's modulation
  };

  void ApplySnapshot(const ParamSnapshot& snapshot);
  void BuildDestinationRows();
  void BuildControlKey();
  void ChangeSampleRate(double fs);
  void SetUpVoice(VoiceSlot& v);
  void UpdateVelocityFactors(VoiceSlot& v);
  void HandleMidiEvent(const MidiMessage& m);
  void NoteOn(int note, int velocity);
  void NoteOff(int note);
  bool RestrikeSustained(int note);
  void ReleaseVoice(VoiceSlot& v);
  void ReleaseArpKey(int note);
  void HandleController(int controller, int value);
  void SetPedal(bool down);
  void ReleaseAllNotes();
  void SilenceVoices();
  void ForgetHeldKeys();
  void SetModWheel(double wheel);
  int AllocateVoice();
  // One sample of the voices: StartVoices (amplitude smoothers and
  // envelopes side by side); the voices' ordered part, BeginVoice for each
  // voice in order or BeginVoicesInLanes (LFOs, sources, controls, the
  // oscillator up to its partial sum); EndVoices (smoothers, pan and phase
  // clocks side by side); then FinishVoices (sine sums, shapers and filters
  // across voices, sums in order).
  void BeginVoice(int index);
  void BeginVoicesInLanes();
  void SoundVoice(int index, bool memoHolds);
  void ArmSteady(int index);
  void CatchUpStepClock(int index);
  ModSources Sources(int index) const;
  void SetUpVoiceLanes();
  void FinishVoices(double& left, double& right);
  void TickLfos(VoiceSlot& v, ModSources* m);
  void SetOscillatorControls(VoiceSlot& v, const ModSources& m);
  void SetFilterControls(VoiceSlot& v, const ModSources& m);
  void StartVoices();
  void EndVoices();

  // What the voices' oscillators left for FinishVoices this sample: bit i
  // of `sines` is set where voice i's partial sum is in its sine lane, bit i
  // of shaped[s] where it waits in its shape lane for the sum in shape s;
  // else the sum is in sum[i].
  struct FramePlan {
    uint32_t sines = 0;
    uint32_t shaped[kNumOscShapes] = {};
    alignas(64) double sum[kVoices] = {};
  };

  // An LFO's rate in hertz from its frequency control, for the block's
  // sync, tempo and shape; the last result is kept for an equal control.
  class LfoRateMemo {
   public:
    void Configure(bool sync, double tempo, double factor) {
      sync_ = sync;
      tempo_ = tempo;
      factor_ = factor;
      key_ = std::nan("");
    }
    double Rate(double control) {
      // Controls that compare equal (0 and -0 too) give the same rate.
      if (!(control == key_)) {
        key_ = control;
        rate_ = LfoRate(control, sync_, tempo_);
        if (factor_ != 1.0) rate_ *= factor_;
      }
      return rate_;
    }

   private:
    bool sync_ = false;
    double tempo_ = 0.0, factor_ = 1.0;
    double key_ = std::nan(""), rate_ = 0.0;
  };

  EngineHost& host_;
  RandomSource random_;
  bool aftertouchToModW_ = true;
  ParamSnapshot snap_;
  double sampleRate_ = 44100.0;
  double invRate_ = 1.0 / 44100.0;
  int voiceMode_ = kPoly;
  int voiceCount_ = kVoices;
  VoiceSlot voices_[kVoices];
  double modWheel_ = 0.0;
  double pitchBend_ = 1.0;
  int lastAllocated_ = 0;
  HeldNoteList held_;
  // Sustain pedal: voices whose key went up while it was down keep sounding
  // until it lifts; in LIVE ARP the keys themselves stay in the held list.
  bool pedalDown_ = false;
  bool sustainedVoice_[kVoices] = {};
  bool sustainedKey_[128] = {};
  double currentPan_ = 0.5;
  double tubeDrive_ = 0.0;
  // Whether any destination depth reads LFO1 / LFO2 this block.
  bool lfo1Heard_ = true;
  bool lfo2Heard_ = true;
  double tempo_ = 0.0;
  LfoRateMemo lfo1Rate_, lfo2Rate_;
  // Whether an LFO's rate is the same for every voice and sample this block, and that rate.
  bool lfo1FixedRate_ = false, lfo2FixedRate_ = false;
  double lfo1Fixed_ = 0.0, lfo2Fixed_ = 0.0;
  // Per source (env2, lfo1, lfo2, wheel, arp): all ones when the controls
  // read it this block, so the control memo compares its bits.
  uint64_t controlKey_[5] = {~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}};
  HarmonicsLfoBank harmonicsBank_;
  double harmonicGains_[16] = {};
  uint64_t harmonicGainsVersion_ = 0;  // counts the changes of harmonicGains_
  uint64_t steadyVersion_ = 0;  // the count the steady voices were armed at
  uint32_t steadyShapeBits_[kNumOscShapes] = {};  // the shape each voice was armed with
  double stepRatios_[16] = {};
  DestinationRow rows_[kGeneralDestinations] = {};
  BusChain bus_;
  EventQueue queue_;
  FramePlan frame_;
  SineLanes sine_ = {};
  ShapeLanes shapes_ = {};
  FilterLanes filters_ = {};
  // The voices' envelopes, smoothers, LFOs and phase clocks, and the values
  // of their sample, side by side (see StartVoices, BeginVoicesInLanes and
  // EndVoices).
  VoiceLanes lanes_ = {};
  VoiceFrontFactors frontFactors_;
  bool voicesInLanes_ = false;
  bool voiceLanesAllowed_ = true;
  uint64_t steadyVoiceSamples_ = 0;
  bool referenceSine_ = false;
  // Whether a voice's amplitude target must be worked out again (its
  // factors changed), and the wheel position the targets are for.
  bool ampTargetsStale_ = true;
  double ampTargetsWheel_ = 0.0;
};

}  // namespace morvanta
