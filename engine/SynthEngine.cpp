// The render frame: events at their offsets, the voices sample by sample
// with their modulation sums, the bus shapers, chorus and delay per frame,
// and the reverb over the finished block.
#include "engine/SynthEngine.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/LfoRate.h"

namespace morvanta {
namespace {

// A new POLY voice's filter runs this long on silence first, so it starts settled.
constexpr int kPrerollSamples = 2048;
// The filter's pre-warp and the kHz conversion use the single-precision constants.
constexpr double kPiSingle = static_cast<double>(3.14159265358979f);
constexpr double kMilli = static_cast<double>(0.001f);

// MIDI note 69 is A at 440 Hz.
constexpr int kA4Note = 69;
constexpr double kA4Hz = 440.0;
// Half the squared envelope times the gain: headroom for voices that sum.
constexpr double kVoiceHeadroom = 0.5;
// "Glide time" g glides for 2 g^2 seconds.
constexpr double kGlideSecondsPerSquare = 2.0;
// "ADSRn x10" stretches every stage tenfold.
constexpr double kAdsrStretch = 10.0;
// "LFOn fade-in" 0..1 fades in over 0..10 s.
constexpr double kLfoFadeSeconds = 10.0;
// The random LFO shapes run at twice the computed rate.
constexpr double kRandomLfoRateFactor = 2.0;
// The bit divider holds a sample 1..32 times: b^2 * 31 + 1.
constexpr double kBitDividerSpan = 31.0;
// Pulse width 0..1 maps onto 1.5 %..50 % of the cycle.
constexpr double kPulseWidthSpan = 0.485;
constexpr double kPulseWidthFloor = 0.015;
// Cut-off control 0..1 maps onto 20 Hz..22 kHz.
constexpr double kCutoffFloorHz = 20.0;
constexpr double kCutoffSpanHz = 21980.0;
// The cut-off stays a hair below Nyquist, where the pre-warp tangent diverges.
constexpr double kCutoffNyquistFraction = 0.4995;
// Full key tracking adds 20 times the note's frequency over the rate.
constexpr double kKeyTrackScale = 20.0;
// Above every envelope level: the first voice searched always beats it.
constexpr double kNoVoiceLevel = 1000.0;

// NaN maps to the lower bound.
inline double AtLeast(double x, double lo) { return x > lo ? x : lo; }
inline double AtMost(double x, double hi) { return x < hi ? x : hi; }
inline double Clamp01(double x) { return AtMost(AtLeast(x, 0.0), 1.0); }

inline bool ValidRate(double fs) { return fs >= 1.0 && fs <= 1e7; }

// The lowest and the highest voice whose bit is set (bits must not be 0).
inline int LowestVoice(uint32_t bits) { return __builtin_ctz(bits); }
inline int HighestVoice(uint32_t bits) { return 31 - __builtin_clz(bits); }

// The scaled LFO: the ADSR2 depth fades it in (d > 0) or out (d < 0), the
// wheel depth crossfades toward wheel control.
inline double LfoDepth(double raw, double d, double w, double env2, double mw) {
  const double e = d >= 0.0 ? d * env2 : -d * (1.0 - env2);
  const double v = (w * mw + (e + 1.0 - std::fabs(d)) * (1.0 - std::fabs(w))) * raw;
  return AtMost(AtLeast(v, -1.0), 1.0);
}

// Whether the n (at most 5) values are the same bit for bit (NaN payloads
// and the sign of zero included).
inline bool SameBits(const double* a, const double* b, int n) {
  uint64_t x[5], y[5], differ = 0;
  std::memcpy(x, a, n * sizeof(double));
  std::memcpy(y, b, n * sizeof(double));
  for (int i = 0; i < n; ++i) differ |= x[i] ^ y[i];
  return differ == 0;
}

inline uint64_t Bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

// All ones when the depth reads its source (NaN does), else zero.
inline uint64_t ReadMask(std::initializer_list<double> depths) {
  for (double d : depths) {
    if (d != 0.0) return ~uint64_t{0};
  }
  return 0;
}

inline double VelocityFactor(double vel, double depth) { return vel * depth + (1.0 - depth); }

// Sets an LFO's rate unless it holds these very bits already (its increment
// is always its rate over the sample rate, so it would not change either).
inline void SetLfoFrequency(VoiceLfo& lfo, double rate) {
  const double now = lfo.Frequency();
  if (!SameBits(&now, &rate, 1)) lfo.SetFrequency(rate);
}

// Whether any destination reads the LFO.
inline bool AnyDepth(const LfoDepths& d) {
  for (double x : {d.amp, d.pitch, d.pw, d.fc, d.fr, d.bitDiv, d.bitFeed, d.harmPhase, d.ringMod, d.ringModF,
                   d.waveShaper, d.pitchNoise, d.pan, d.tubeDrive}) {
    if (x != 0.0) return true;
  }
  return false;
}

}  // namespace

SynthEngine::SynthEngine(EngineHost& host) : host_(host) {
  // Every voice reads the frame's sixteen harmonic gains in place.
  for (VoiceSlot& v : voices_) v.osc.ShareLevels(harmonicGains_, &harmonicGainsVersion_);
  // Each voice's filter keeps its state in the voice's lane.
  for (int i = 0; i < kVoices; ++i) voices_[i].filter.BindLane(filters_, i);
  // No pan has given the gains yet.
  for (double& p : lanes_.panPosition) p = std::numeric_limits<double>::quiet_NaN();
  // The envelopes, smoothers, LFOs and phase clocks likewise.
  for (int i = 0; i < kVoices; ++i) {
    VoiceSlot& v = voices_[i];
    v.adsr1.BindLane(lanes_.env1, i);
    v.adsr2.BindLane(lanes_.env2, i);
    v.ampSmoother.BindLane(lanes_.amp, i);
    v.waveShaperSmoother.BindLane(lanes_.shape, i);
    v.panSmoother.BindLane(lanes_.pan, i);
    v.osc.BindClockLane(lanes_.clock, i);
    v.lfo1.BindLane(lanes_.lfo1, i);
    v.lfo2.BindLane(lanes_.lfo2, i);
  }
  for (VoiceSlot& v : voices_) {
    v.osc.SetRandomSource(random_);
    v.lfo1.SetRandomSource(random_);
    v.lfo2.SetRandomSource(random_);
  }
  Reset(44100.0, 1024);
}

void SynthEngine::UseReferenceSine(bool on) {
  referenceSine_ = on;
  for (VoiceSlot& v : voices_) v.osc.UseReferenceSine(on);
}

void SynthEngine::MidiReceived(const MidiMessage& m) {
  // A note-off that finds the queue full of note-offs ends its note now
  // rather than never.
  if (queue_.Add(m) == EventQueue::AddResult::kNoRoomForNoteOff) HandleMidiEvent(m);
}

void SynthEngine::ApplySnapshot(const ParamSnapshot& snapshot) {
  snap_ = snapshot;
  voiceMode_ = snap_.voiceMode == kMono ? kMono : (snap_.voiceMode == kLiveArp ? kLiveArp : kPoly);
  voiceCount_ = voiceMode_ == kPoly ? kVoices : 1;
  modWheel_ = snap_.modWheel;
}

void SynthEngine::ChangeSampleRate(double fs) {
  sampleRate_ = fs;
  invRate_ = 1.0 / fs;
  for (VoiceSlot& v : voices_) v.osc.SetSampleRate(fs);
  bus_.SetSampleRate(fs);
}

void SynthEngine::Reset(double sampleRate, int blockSize) {
  if (ValidRate(sampleRate)) {
    sampleRate_ = sampleRate;
    invRate_ = 1.0 / sampleRate;
  }
  const double fs = sampleRate_;
  for (VoiceSlot& v : voices_) {
    v.osc.SetSampleRate(fs);
    for (Adsr* a : {&v.adsr1, &v.adsr2}) {
      a->SetRate(fs);
      a->GoIdle();
    }
    for (VoiceLfo* l : {&v.lfo1, &v.lfo2}) {
      l->SetRate(fs);
      l->RestartPhase();
    }
    v.ampSmoother.SetRate(fs);
    v.waveShaperSmoother.SetRate(fs);
    v.panSmoother.SetRate(fs);
  }
  // The voices fell silent, so the held keys no longer lead a sounding arpeggio.
  ForgetHeldKeys();
  // Room for a higher rate is made here, outside the audio callbacks; the
  // render frame only ever resizes within it.
  bus_.Reserve(fs);
  bus_.SetSampleRate(fs);
  // The queue keeps its fixed room whatever the block size.
  queue_.Compact();
}

void SynthEngine::HardReset(const ParamSnapshot& snapshot) {
  for (VoiceSlot& v : voices_) {
    v.osc.SetSampleRate(sampleRate_);
    v.adsr1.GoIdle();
    v.adsr2.GoIdle();
    v.lfo1.RestartPhase();
    v.lfo2.RestartPhase();
  }
  ForgetHeldKeys();
  bus_.Clear();
  ApplySnapshot(snapshot);
}

void SynthEngine::BuildDestinationRows() {
  const ParamSnapshot& p = snap_;
  auto row = [](double l2, double l1, double e2, double base, double w, double a, double vd) {
    return DestinationRow{l2, l1, e2, base, w, a, vd, l2 != 0.0 || l1 != 0.0 || e2 != 0.0 || w != 0.0 || a != 0.0};
  };
  rows_[kDestHarmPhase] = row(p.lfo2To.harmPhase, p.lfo1To.harmPhase, p.adsr2To.harmPhase, p.harmonicsPhaseShift,
                              p.modwTo.harmPhase, p.arpModTo.harmPhase, p.velTo.harmPhase);
  rows_[kDestBitDiv] = row(p.lfo2To.bitDiv, p.lfo1To.bitDiv, p.adsr2To.bitDiv, p.bitDivider, p.modwTo.bitDiv,
                           p.arpModTo.bitDiv, p.velTo.bitDiv);
  rows_[kDestBitFeed] = row(p.lfo2To.bitFeed, p.lfo1To.bitFeed, p.adsr2To.bitFeed, p.bitFeedback,
                            p.modwTo.bitFeed, p.arpModTo.bitFeed, p.velTo.bitFeed);
  rows_[kDestWaveShaper] = row(p.lfo2To.waveShaper, p.lfo1To.waveShaper, p.adsr2To.waveShaper, p.waveShaper,
                               p.modwTo.waveShaper, p.arpModTo.waveShaper, p.velTo.waveShaper);
  rows_[kDestRingMod] = row(p.lfo2To.ringMod, p.lfo1To.ringMod, p.adsr2To.ringMod, p.ringMod, p.modwTo.ringMod,
                            p.arpModTo.ringMod, p.velTo.ringMod);
  rows_[kDestRingModF] = row(p.lfo2To.ringModF, p.lfo1To.ringModF, p.adsr2To.ringModF, p.ringModF,
                             p.modwTo.ringModF, p.arpModTo.ringModF, p.velTo.ringModF);
  rows_[kDestPitchNoise] = row(p.lfo2To.pitchNoise, p.lfo1To.pitchNoise, p.adsr2To.pitchNoise,
                               p.pitchNoise * p.pitchNoise, p.modwTo.pitchNoise, p.arpModTo.pitchNoise,
                               p.velTo.pitchNoise);
  rows_[kDestPw] = row(p.lfo2To.pw, p.lfo1To.pw, p.adsr2To.pw, p.pulseWidth, p.modwTo.pw, p.arpModTo.pw,
                       p.velTo.pw);
}

// Which sources the oscillator and filter controls read this block. A source
// whose every depth there is 0 adds only zeros of either sign, and each sum
// it joins ends in a clamp to 0..1 (or, for the pitch, in a sum with 1 or in
// the increment's clamp at 0) that maps -0 and +0 alike, so the controls do
// not depend on its (finite) value and the memo need not compare it.
void SynthEngine::BuildControlKey() {
  const ParamSnapshot& p = snap_;
  const DestinationRow* r = rows_;
  auto rowDepths = [r](double DestinationRow::*source) {
    double any = 0.0;
    for (int d = 0; d < kGeneralDestinations; ++d) {
      if (r[d].modulated && r[d].*source != 0.0) any = 1.0;
    }
    return any;
  };
  controlKey_[0] = ReadMask({rowDepths(&DestinationRow::env2), p.adsr2To.pitch, p.adsr2To.fc, p.adsr2To.fr});
  controlKey_[1] = ReadMask({rowDepths(&DestinationRow::lfo1), p.lfo1To.pitch, p.lfo1To.fc, p.lfo1To.fr});
  controlKey_[2] = ReadMask({rowDepths(&DestinationRow::lfo2), p.lfo2To.pitch, p.lfo2To.fc, p.lfo2To.fr});
  controlKey_[3] = ReadMask({rowDepths(&DestinationRow::wheel), p.modwTo.fc, p.modwTo.fr});
  controlKey_[4] = ReadMask({rowDepths(&DestinationRow::arp), p.arpModTo.fc, p.arpModTo.fr});
}

void SynthEngine::UpdateVelocityFactors(VoiceSlot& v) {
  const double vel = v.osc.Velocity();
  VelocityFactors& f = v.vel;
  for (int d = 0; d < kGeneralDestinations; ++d) {
    const DestinationRow& r = rows_[d];
    f.general[d] = VelocityFactor(vel, r.velocityDepth);
    // With every depth at 0 the source terms add exact zeros: base * vel factor.
    f.fixed[d] = Clamp01(r.base * f.general[d]);
  }
  f.fc = VelocityFactor(vel, snap_.velTo.fc);
  f.fr = VelocityFactor(vel, snap_.velTo.fr);
  f.tubeDrive = VelocityFactor(vel, snap_.velTo.tubeDrive);
  // Called for every block's settings and every new note.
  f.ampTargetValid = false;
  ampTargetsStale_ = true;
  lanes_.memoValid[&v - voices_] = 0.0;
  lanes_.steadyArmed[&v - voices_] = 0.0;
}

void SynthEngine::SetUpVoice(VoiceSlot& v) {
  VoiceOscillator& o = v.osc;
  if (voiceMode_ != kLiveArp) {
    o.steps.LoadFromParameters(snap_.arpStepsCount, snap_.arpLoopStart, snap_.arpTempoDivider,
                               stepRatios_, snap_.arpShape, snap_.arpMod);
  }
  o.baseShape = snap_.oscShape;
  o.steps.SetOn(snap_.arpOn != 0);
  v.lfo1.SetShape(snap_.lfo1.shape);
  v.lfo2.SetShape(snap_.lfo2.shape);
  o.ringLock = snap_.ringModLock;
  o.ringMode = snap_.ringModMode;
  o.pitchNoiseHeight = snap_.pitchNoiseHeight;
  o.pulseWidthMode = snap_.pulseWidthMode;
  UpdateVelocityFactors(v);
}

// Whether this block's voices can take their front part side by side, and
// the block's factors for it. They can when no voice draws a random number in
// its sample (so that their order does not matter): no random LFO shape and
// no pitch noise; and when both LFOs have a plain shape and a fixed rate.
void SynthEngine::SetUpVoiceLanes() {
  const ParamSnapshot& p = snap_;
  const DestinationRow& noise = rows_[kDestPitchNoise];
  auto plain = [](int shape) { return shape >= VoiceLfo::kSine && shape <= VoiceLfo::kSaw; };
  voicesInLanes_ = voiceLanesAllowed_ && voiceMode_ != kLiveArp && !referenceSine_ && lfo1FixedRate_ &&
                   lfo2FixedRate_ && plain(p.lfo1.shape) && plain(p.lfo2.shape) && !noise.modulated &&
                   noise.base == 0.0;
  // Only the lanes' front part finds steady voices.
  lanes_.steadyBits = 0;
  lanes_.plainBits = 0;
  for (int i = 0; i < kVoices; ++i) lanes_.nextArp[i] = voices_[i].osc.steps.StepMod();
  VoiceFrontFactors& f = frontFactors_;
  f.lfo1Shape = p.lfo1.shape;
  f.lfo2Shape = p.lfo2.shape;
  f.lfo1Rate = lfo1Fixed_;
  f.lfo2Rate = lfo2Fixed_;
  f.lfo1Env2 = p.adsr2To.lfo1Amp;
  f.lfo1Wheel = p.modwTo.lfo1Amp;
  f.lfo2Env2 = p.adsr2To.lfo2Amp;
  f.lfo2Wheel = p.modwTo.lfo2Amp;
  f.lfo1Heard = lfo1Heard_;
  f.lfo2Heard = lfo2Heard_;
  f.ampArp = p.arpModTo.amp;
  f.ampLfo1 = p.lfo1To.amp;
  f.ampLfo2 = p.lfo2To.amp;
  f.panLfo2 = p.lfo2To.pan;
  f.panLfo1 = p.lfo1To.pan;
  f.panEnv2 = p.adsr2To.pan;
  f.pan = p.pan;
  f.panArp = p.arpModTo.pan;
  for (int k = 0; k < 5; ++k) f.key[k] = controlKey_[k];
}

void SynthEngine::RenderBlock(const ParamSnapshot& snapshot, double* left, double* right,
                              int frames, double sampleRate) {
  ApplySnapshot(snapshot);
  if (frames <= 0 || left == nullptr || right == nullptr) return;

  if (ValidRate(sampleRate) && sampleRate != sampleRate_) ChangeSampleRate(sampleRate);
  const double fs = sampleRate_;
  for (VoiceSlot& v : voices_) {
    v.adsr1.SetRate(fs);
    v.adsr2.SetRate(fs);
    v.lfo1.SetRate(fs);
    v.lfo2.SetRate(fs);
    v.ampSmoother.SetRate(fs);
    v.waveShaperSmoother.SetRate(fs);
    v.panSmoother.SetRate(fs);
  }

  tempo_ = host_.HostTempo();
  bus_.BlockUpdate(fs, tempo_, snap_);

  if (voiceMode_ != kLiveArp) {
    held_.Clear();
    for (bool& k : sustainedKey_) k = false;
  }

  for (int k = 0; k < 16; ++k) stepRatios_[k] = std::pow(2.0, snap_.arpPitch[k] / 12.0);
  lfo1Rate_.Configure(snap_.lfo1.sync, tempo_, VoiceLfo::IsRandom(snap_.lfo1.shape) ? kRandomLfoRateFactor : 1.0);
  lfo2Rate_.Configure(snap_.lfo2.sync, tempo_, VoiceLfo::IsRandom(snap_.lfo2.shape) ? kRandomLfoRateFactor : 1.0);
  // With no ADSR2 or wheel depth on an LFO's rate, its control is the
  // frequency parameter itself (the zero terms only add zeros, and the rate
  // maps -0 and +0 alike): the rate is the block's.
  lfo1FixedRate_ = snap_.adsr2To.lfo1F == 0.0 && snap_.modwTo.lfo1F == 0.0;
  lfo2FixedRate_ = snap_.adsr2To.lfo2F == 0.0 && snap_.modwTo.lfo2F == 0.0;
  if (lfo1FixedRate_) lfo1Fixed_ = lfo1Rate_.Rate(snap_.lfo1.frequency);
  if (lfo2FixedRate_) lfo2Fixed_ = lfo2Rate_.Rate(snap_.lfo2.frequency);
  BuildDestinationRows();
  lfo1Heard_ = AnyDepth(snap_.lfo1To);
  lfo2Heard_ = AnyDepth(snap_.lfo2To);
  BuildControlKey();
  for (int i = 0; i < voiceCount_; ++i) SetUpVoice(voices_[i]);
  SetUpVoiceLanes();

  // The bus takes the voices' frames in chunks, each frame with the tube
  // drive it had (nothing in the frame loop reads the bus's output).
  constexpr int kBusChunk = 64;
  double busDrive[kBusChunk];
  for (int s = 0; s < frames; ++s) {
    while (const MidiMessage* m = queue_.NextDue(s)) HandleMidiEvent(*m);
    double sum[2] = {0.0, 0.0};
    if (harmonicsBank_.Tick(snap_.harmonicsLfoSpeed, snap_.harmonicsLfoAmp, snap_.harmonics, invRate_,
                            harmonicGains_)) {
      ++harmonicGainsVersion_;
    }
    tubeDrive_ = Clamp01(modWheel_ * snap_.modwTo.tubeDrive + snap_.tubeDrive);
    frame_.sines = 0;
    for (uint32_t& b : frame_.shaped) b = 0;
    StartVoices();
    if (voicesInLanes_) {
      BeginVoicesInLanes();
    } else {
      for (int i = 0; i < voiceCount_; ++i) BeginVoice(i);
    }
    EndVoices();
    FinishVoices(sum[0], sum[1]);

    left[s] = sum[0];
    right[s] = sum[1];
    busDrive[s % kBusChunk] = tubeDrive_;
    if (s % kBusChunk == kBusChunk - 1 || s == frames - 1) {
      const int first = s - s % kBusChunk;
      bus_.ProcessFrames(busDrive, left + first, right + first, s - first + 1);
    }
  }
  bus_.ProcessReverb(left, right, frames);
  for (int i = 0; i < kVoices; ++i) CatchUpStepClock(i);

  queue_.FlushEvents(frames);
}

// The step clock's ticks a steady voice skipped leave it where the last one
// would have: its smoothed modulation, read on a later block or settled by
// a new note, starts from there.
void SynthEngine::CatchUpStepClock(int index) {
  if (lanes_.tickSkipped[index] == 0.0) return;
  lanes_.tickSkipped[index] = 0.0;
  voices_[index].osc.steps.TickWithinStep(lanes_.stepTime[index]);
}

// The LFO step: rates from their parameters, ADSR2 and the wheel, then one
// tick each, scaled by their ADSR2 and wheel depths.
[[gnu::always_inline]] inline void SynthEngine::TickLfos(VoiceSlot& v, ModSources* m) {
  const ParamSnapshot& p = snap_;
  const double env2 = m->env2, mw = m->wheel;
  if (lfo1FixedRate_) {
    SetLfoFrequency(v.lfo1, lfo1Fixed_);
  } else {
    v.lfo1.SetFrequency(lfo1Rate_.Rate(env2 * p.adsr2To.lfo1F + p.lfo1.frequency + mw * p.modwTo.lfo1F));
  }
  if (lfo2FixedRate_) {
    SetLfoFrequency(v.lfo2, lfo2Fixed_);
  } else {
    v.lfo2.SetFrequency(lfo2Rate_.Rate(env2 * p.adsr2To.lfo2F + p.lfo2.frequency + mw * p.modwTo.lfo2F));
  }
  // An LFO with every destination depth at 0 only ever adds zeros; it still
  // runs so that it is where it would be when a depth comes up.
  if (lfo1Heard_) {
    m->lfo1 = LfoDepth(v.lfo1.Tick(), p.adsr2To.lfo1Amp, p.modwTo.lfo1Amp, env2, mw);
  } else {
    v.lfo1.TickUnheard();
  }
  if (lfo2Heard_) {
    m->lfo2 = LfoDepth(v.lfo2.Tick(), p.adsr2To.lfo2Amp, p.modwTo.lfo2Amp, env2, mw);
  } else {
    v.lfo2.TickUnheard();
  }
}

// Before the voices' ordered part: the amplitude targets (worked out again
// only when the wheel or a voice's factors moved), then the amplitude
// smoothers and envelopes side by side.
void SynthEngine::StartVoices() {
  if (ampTargetsStale_ || !SameBits(&modWheel_, &ampTargetsWheel_, 1)) {
    const ParamSnapshot& p = snap_;
    for (int i = 0; i < voiceCount_; ++i) {
      VelocityFactors& vf = voices_[i].vel;
      if (!vf.ampTargetValid || !SameBits(&modWheel_, &vf.ampTargetWheel, 1)) {
        const double vel = voices_[i].osc.Velocity();
        vf.ampTargetValid = true;
        vf.ampTargetWheel = modWheel_;
        vf.ampTarget = AtLeast(
            (vel * p.velTo.amp + 1.0 - p.velTo.amp) * p.ampGain * p.ampGain * (p.modwTo.amp * modWheel_ + 1.0), 0.0);
      }
      lanes_.ampTarget[i] = vf.ampTarget;
    }
    ampTargetsStale_ = false;
    ampTargetsWheel_ = modWheel_;
  }
  StartVoiceLanes(lanes_, voiceCount_);
}

// After the voices' ordered part: the wave-shaper and pan smoothers, the pan
// gains and the phase clocks side by side. A voice ringing out is placed
// where the sounding voice before it (in this sample, or the last one
// before) left the pan.
void SynthEngine::EndVoices() {
  EndVoiceLanes(lanes_, voiceCount_);
  const uint32_t ringing = lanes_.ringingBits;
  if (ringing == 0) {
    // Only the last sounding voice's pan is kept.
    if (lanes_.soundingBits != 0) currentPan_ = lanes_.panPosition[HighestVoice(lanes_.soundingBits)];
    return;
  }
  double pan = currentPan_;
  for (uint32_t b = lanes_.soundingBits | ringing; b != 0; b &= b - 1) {
    const int index = LowestVoice(b);
    if ((ringing >> index & 1) == 0) {
      pan = lanes_.panPosition[index];
    } else {
      lanes_.ringLeft[index] = std::sqrt(1.0 - pan);
      lanes_.ringRight[index] = std::sqrt(pan);
    }
  }
  currentPan_ = pan;
}

// A voice's sample up to its oscillator's partial sum, one voice at a time in
// voice order: the LFOs and their random draws, the step row's modulation,
// the control memo, the amplitude and the pan target; SoundVoice goes on.
void SynthEngine::BeginVoice(int index) {
  if (lanes_.sounding[index] == 0.0) return;
  VoiceSlot& v = voices_[index];
  const ParamSnapshot& p = snap_;
  VoiceOscillator& o = v.osc;
  ModSources m;
  m.wheel = modWheel_;
  m.env2 = lanes_.env2Value[index];
  const double env1 = lanes_.env1Value[index];
  double amplitude = kVoiceHeadroom * env1 * env1 * lanes_.gain[index];

  if (voiceMode_ == kLiveArp) {
    o.steps.LoadFromHeldNotes(held_, p.arpLiveDirection, p.arpTempoDivider, p.arpShape, p.arpMod);
  }
  m.arp = p.arpModSmooth ? o.steps.SmoothedMod() : o.steps.StepMod();

  TickLfos(v, &m);
  const double sources[5] = {m.env2, m.lfo1, m.lfo2, m.wheel, m.arp};
  uint64_t differ = 0;
  for (int k = 0; k < 5; ++k) differ |= (Bits(sources[k]) ^ Bits(lanes_.memo[k][index])) & controlKey_[k];
  amplitude *= 1.0 + m.arp * p.arpModTo.amp;

  lanes_.arp[index] = m.arp;
  lanes_.lfo1Value[index] = m.lfo1;
  lanes_.lfo2Value[index] = m.lfo2;
  lanes_.amplitude[index] = amplitude;
  lanes_.lfoGain[index] = 1.0 + m.lfo1 * p.lfo1To.amp + m.lfo2 * p.lfo2To.amp;
  lanes_.panTarget[index] = Clamp01(m.lfo2 * p.lfo2To.pan + m.lfo1 * p.lfo1To.pan + m.env2 * p.adsr2To.pan +
                                    o.PanOffset() + p.pan + m.arp * p.arpModTo.pan);
  SoundVoice(index, lanes_.memoValid[index] != 0.0 && differ == 0);
}

// The same front part for every sounding voice side by side (blocks whose
// voices draw no random numbers, so that their order does not matter, and
// whose LFOs have fixed rates and plain shapes), then SoundVoice for each in
// voice order.
void SynthEngine::BeginVoicesInLanes() {
  const bool smooth = snap_.arpModSmooth;
  if (smooth) {
    for (uint32_t b = lanes_.soundingBits; b != 0; b &= b - 1) {
      const int i = LowestVoice(b);
      lanes_.arp[i] = voices_[i].osc.steps.SmoothedMod();
    }
  } else {
    std::memcpy(lanes_.arp, lanes_.nextArp, sizeof lanes_.arp);
  }
  // New partial levels are worked into the weights by each voice's own part.
  if (harmonicGainsVersion_ != steadyVersion_) {
    steadyVersion_ = harmonicGainsVersion_;
    for (double& a : lanes_.steadyArmed) a = 0.0;
  }
  // The smoothed modulation reads the step clock's time every sample.
  const bool steady = !smooth;
  frontFactors_.steady = steady;
  frontFactors_.wheel = modWheel_;
  frontFactors_.bend = pitchBend_;
  FrontVoiceLanes(lanes_, frontFactors_, sine_, shapes_, voiceCount_);
  // A steady voice's sum is in the sine lanes; the others go on in voice order.
  const uint32_t steadyBits = lanes_.steadyBits;
  frame_.sines |= steadyBits & steadyShapeBits_[kOscSine];
  for (int shape = 1; shape < kNumOscShapes; ++shape) frame_.shaped[shape] |= steadyBits & steadyShapeBits_[shape];
  steadyVoiceSamples_ += static_cast<uint64_t>(__builtin_popcount(steadyBits));
  for (uint32_t b = lanes_.soundingBits & ~steadyBits; b != 0; b &= b - 1) {
    const int i = LowestVoice(b);
    SoundVoice(i, lanes_.memoHolds[i] != 0.0);
    ArmSteady(i);
    lanes_.nextArp[i] = voices_[i].osc.steps.StepMod();
  }
}

// After the voice's own oscillator part: whether the lanes can do the next.
[[gnu::always_inline]] inline void SynthEngine::ArmSteady(int index) {
  lanes_.tickSkipped[index] = 0.0;  // its step clock has ticked itself
  const VoiceOscillator& o = voices_[index].osc;
  const bool armed = o.Steady(&lanes_.stepBase[index], &lanes_.stepFrom[index], &lanes_.stepUntil[index]);
  lanes_.steadyArmed[index] = armed ? 1.0 : 0.0;
  if (!armed) return;
  const int shape = o.steps.Shape();
  const uint32_t bit = 1u << index;
  for (uint32_t& b : steadyShapeBits_) b &= ~bit;
  steadyShapeBits_[shape] |= bit;
  lanes_.steadySine[index] = shape == kOscSine ? 1.0 : 0.0;
  // Whether a sine voice's shapers take the plain step side by side on its
  // sine sum while the wave shaper stays at 0 (see FinishVoices).
  const bool plain = shape == kOscSine && o.ringMod == 0.0 &&
                     o.bitDivider * lanes_.clock.v[kClockFsRatio][index] >= 1.0;
  lanes_.steadyPlain[index] = plain ? 1.0 : 0.0;
  lanes_.bitDivider[index] = o.bitDivider;
  lanes_.bitFeedback[index] = o.bitFeedback;
}

// The rest of a sounding voice's ordered part: its controls (kept while the
// memo holds), the filter's pre-roll on a new POLY note, the oscillator's
// first half, and the plan for FinishVoices.
[[gnu::always_inline]] inline void SynthEngine::SoundVoice(int index, bool memoHolds) {
  VoiceSlot& v = voices_[index];
  VoiceOscillator& o = v.osc;
  if (memoHolds) {
    o.bendRatio = pitchBend_;
    lanes_.shapeTarget[index] = lanes_.memoShape[index];
  } else {
    const ModSources m = Sources(index);
    SetOscillatorControls(v, m);
    SetFilterControls(v, m);
    const double sources[5] = {m.env2, m.lfo1, m.lfo2, m.wheel, m.arp};
    for (int k = 0; k < 5; ++k) lanes_.memo[k][index] = sources[k];
    lanes_.memoValid[index] = 1.0;
  }
  if (o.Elapsed() == 0.0 && voiceCount_ > 1) {
    v.filter.Reset();
    v.filter.Preroll(kPrerollSamples);
    v.panSmoother.Snap(lanes_.panTarget[index]);
  }

  // The sine lanes are the voices' own, so the weights stay where they were written.
  // Side by side, the other shapes' sums wait for SumShapeLanes too.
  if (o.Begin(sine_, index, &frame_.sum[index], true, voicesInLanes_ ? &shapes_ : nullptr)) {
    frame_.sines |= 1u << index;
  } else if (voicesInLanes_) {
    frame_.shaped[o.steps.Shape()] |= 1u << index;
  }
}

SynthEngine::ModSources SynthEngine::Sources(int index) const {
  ModSources m;
  m.env2 = lanes_.env2Value[index];
  m.lfo1 = lanes_.lfo1Value[index];
  m.lfo2 = lanes_.lfo2Value[index];
  m.wheel = modWheel_;
  m.arp = lanes_.arp[index];
  return m;
}

// The rest of the sample for the voices BeginVoice planned: the sine sums
// side by side, each oscillator's shapers, the filters side by side, then
// the sums in voice order.
void SynthEngine::FinishVoices(double& left, double& right) {
  const uint32_t sounding = lanes_.soundingBits;
  if (sounding != 0) {
    // The last sounding voice sets the bus's tube drive.
    const int tube = HighestVoice(sounding);
    const ParamSnapshot& p = snap_;
    const ModSources m = Sources(tube);
    tubeDrive_ = (m.lfo2 * p.lfo2To.tubeDrive + m.lfo1 * p.lfo1To.tubeDrive + m.env2 * p.adsr2To.tubeDrive +
                  Clamp01(m.wheel * p.modwTo.tubeDrive + p.tubeDrive) + m.arp * p.arpModTo.tubeDrive) *
                 voices_[tube].vel.tubeDrive;
  }
  // Every sounding voice and every one ringing out reaches its filter.
  const uint32_t active = sounding | lanes_.ringingBits;
  if (active == 0) return;
  if (frame_.sines != 0) SumSineLanes(sine_, HighestVoice(frame_.sines) + 1);
  for (int shape = 0; shape < kNumOscShapes; ++shape) {
    if (frame_.shaped[shape] != 0) SumShapeLanes(shapes_, frame_.shaped[shape], shape, harmonicGains_, frame_.sum);
  }
  // Oscillators with no wave shaper, no ring modulation and at least one
  // sample per hold take their shapers side by side (the steady ones that
  // do so are marked already, with their controls in the lanes).
  uint32_t shaperBits = 0;
  for (uint32_t b = sounding & ~lanes_.plainBits; b != 0; b &= b - 1) {
    const int index = LowestVoice(b);
    VoiceOscillator& o = voices_[index].osc;
    const double sum = (frame_.sines >> index & 1) != 0 ? sine_.sum[index] : frame_.sum[index];
    o.waveShaper = lanes_.shape.v[kSmoothY][index];
    if (o.waveShaper == 0.0 && o.ringMod == 0.0 && o.bitDivider * lanes_.clock.v[kClockFsRatio][index] >= 1.0) {
      shaperBits |= 1u << index;
      lanes_.shaperIn[index] = sum;
      lanes_.bitDivider[index] = o.bitDivider;
      lanes_.bitFeedback[index] = o.bitFeedback;
    } else {
      filters_.x[index] = o.Finish(sum) * lanes_.amplitude[index] * lanes_.lfoGain[index];
    }
  }
  lanes_.shaperBits = shaperBits;
  const int filterLanes = HighestVoice(active) + 1;
  ShapeVoiceLanes(lanes_, filters_, sine_, filterLanes);
  ProcessFilterLanes(filters_, filterLanes);
  // The sums stay in registers (the outputs could alias the frame's arrays).
  double l = left, r = right;
  for (uint32_t b = active; b != 0; b &= b - 1) {
    const int index = LowestVoice(b);
    l += filters_.left[index];
    r += filters_.right[index];
  }
  left = l;
  right = r;
}

// The destination step: pitch modulation and the general destinations'
// sums, written into the oscillator's controls.
void SynthEngine::SetOscillatorControls(VoiceSlot& v, const ModSources& m) {
  const ParamSnapshot& p = snap_;
  VoiceOscillator& o = v.osc;
  const double l1 = p.lfo1To.pitch, l2 = p.lfo2To.pitch, e = p.adsr2To.pitch;
  o.pitchRatio = (p.adsr2PitchMode ? 1.0 - e : 1.0) + e * m.env2 + l1 * std::fabs(l1) * m.lfo1 +
                 l2 * std::fabs(l2) * m.lfo2;
  o.bendRatio = pitchBend_;
  o.velocityToHarmonics = p.velTo.harmonics;
  o.slopeRate = p.harmonicsSlope * std::fabs(p.harmonicsSlope);

  const VelocityFactors& vf = v.vel;
  double value[kGeneralDestinations];
  for (int d = 0; d < kGeneralDestinations; ++d) {
    const DestinationRow& r = rows_[d];
    value[d] = r.modulated ? Clamp01((m.lfo2 * r.lfo2 + m.lfo1 * r.lfo1 + m.env2 * r.env2 + r.base) * vf.general[d] +
                                     m.wheel * r.wheel + m.arp * r.arp)
                           : vf.fixed[d];
  }
  o.harmPhase = value[kDestHarmPhase];
  o.bitDivider = value[kDestBitDiv] * value[kDestBitDiv] * kBitDividerSpan + 1.0;
  o.bitFeedback = value[kDestBitFeed];
  lanes_.memoShape[&v - voices_] = value[kDestWaveShaper];
  lanes_.shapeTarget[&v - voices_] = value[kDestWaveShaper];
  o.ringMod = value[kDestRingMod];
  o.ringModF = value[kDestRingModF];
  o.pitchNoise = value[kDestPitchNoise];
  o.pulseWidth = value[kDestPw] * kPulseWidthSpan + kPulseWidthFloor;
}

// The filter step: cut-off from its base, ADSR2, key tracking, the step row,
// velocity and the LFOs; resonance likewise; the mode crossfade as set.
void SynthEngine::SetFilterControls(VoiceSlot& v, const ModSources& m) {
  const ParamSnapshot& p = snap_;
  const VelocityFactors& vf = v.vel;
  const double lfo1 = m.lfo1, lfo2 = m.lfo2, env2 = m.env2, a = m.arp, mw = m.wheel;
  const double b = mw * p.modwTo.fc + p.filterFrequency;
  double fc = (1.0 - b) * env2 * p.adsr2To.fc + b + (v.osc.Frequency() * invRate_) * p.filterKeyTrack * kKeyTrackScale +
              a * p.arpModTo.fc;
  fc = Clamp01(fc);
  fc = AtMost(fc * fc * vf.fc, 1.0);
  fc += lfo1 * p.lfo1To.fc * (lfo1 >= 0.0 ? 1.0 - fc : fc);
  fc += lfo2 * p.lfo2To.fc * (lfo2 >= 0.0 ? 1.0 - fc : fc);
  fc = Clamp01(fc);
  // The top of the range stays below Nyquist at low host rates.
  v.filter.cutoffKHz = AtMost((fc * kCutoffSpanHz + kCutoffFloorHz) * kMilli,
                              kCutoffNyquistFraction * sampleRate_ * 0.001);
  v.filter.prewarp = kPiSingle * invRate_;
  const double q = Clamp01((lfo2 * p.lfo2To.fr + lfo1 * p.lfo1To.fr + env2 * p.adsr2To.fr +
                            p.filterResonance * p.filterResonance) * vf.fr +
                           mw * p.modwTo.fr + a * p.arpModTo.fr);
  v.filter.SetResonance(q);
  v.filter.mix = p.filterMix;
  v.filter.ControlsToLane();
}

void SynthEngine::HandleMidiEvent(const MidiMessage& m) {
  const int kind = m.status & 0xF0;
  const int d1 = m.data1 & 0x7F;
  const int d2 = m.data2 & 0x7F;
  switch (kind) {
    case 0x90:
      if (d2 > 0) {
        NoteOn(d1, d2);
      } else {
        NoteOff(d1);
      }
      break;
    case 0x80: NoteOff(d1); break;
    case 0xB0: HandleController(d1, d2); break;
    case 0xD0:
      if (aftertouchToModW_) SetModWheel(d1 / 127.0);
      break;
    case 0xE0: {
      const double wheel = ((d2 * 128 + d1) - 8192) / 8192.0;
      pitchBend_ = std::pow(2.0, wheel * snap_.pitchRange / 12.0);
      break;
    }
    default: break;
  }
}

void SynthEngine::SetModWheel(double wheel) {
  modWheel_ = wheel;
  snap_.modWheel = wheel;
  host_.OnModWheelFromMidi(wheel);
}

int SynthEngine::AllocateVoice() {
  double best = kNoVoiceLevel;
  int i = lastAllocated_;
  for (int n = 0; n < voiceCount_; ++n) {
    // Wrapping at >= count keeps the search inside the active voices after
    // the mode dropped from POLY to one voice.
    if (++i >= voiceCount_) i = 0;
    const double level = voices_[i].adsr1.Level();
    if (level < best) {
      lastAllocated_ = i;
      best = level;
      if (voices_[i].adsr1.IsIdle()) return i;
    }
  }
  return lastAllocated_;
}

void SynthEngine::NoteOn(int note, int velocity) {
  const ParamSnapshot& p = snap_;
  const double frequency = kA4Hz * std::pow(2.0, (note - kA4Note + p.fine + p.pitch) / 12.0);
  if (RestrikeSustained(note)) return;
  if (voiceMode_ == kLiveArp && held_.Count() > 0) {
    held_.Add(note);
    return;
  }
  double rate1 = LfoRate(p.lfo1.frequency, p.lfo1.sync, tempo_);
  if (VoiceLfo::IsRandom(p.lfo1.shape)) rate1 *= kRandomLfoRateFactor;
  double rate2 = LfoRate(p.lfo2.frequency, p.lfo2.sync, tempo_);
  if (VoiceLfo::IsRandom(p.lfo2.shape)) rate2 *= kRandomLfoRateFactor;

  const VoiceSlot& previous = voices_[lastAllocated_];
  const double glideStart = previous.osc.CurrentIncrement();
  const double glideSeconds = previous.adsr1.IsIdle() ? 0.0 : kGlideSecondsPerSquare * p.glideTime * p.glideTime;

  const double spread = p.stereoSpread;
  const double panOffset = spread * (2.0 * random_.Unit()) - spread;

  const int index = AllocateVoice();
  VoiceSlot& v = voices_[index];
  CatchUpStepClock(index);  // the new note settles the step row's last value
  sustainedVoice_[index] = false;  // the voice now plays a key that is down
  const bool legato = voiceCount_ == 1 && !v.adsr1.IsIdle();

  v.osc.StartNote(note, velocity / 127.0, frequency, p.oscShape, legato, glideSeconds, glideStart,
                  panOffset);
  lanes_.nextArp[index] = v.osc.steps.StepMod();
  lanes_.panOffset[index] = panOffset;
  const double x1 = p.adsr1.x10 ? kAdsrStretch : 1.0;
  v.adsr1.Trigger(p.adsr1.attack * x1, p.adsr1.decay * x1, p.adsr1.release * x1, p.adsr1.sustain,
                  p.adsr1.legato != 0);
  const double x2 = p.adsr2.x10 ? kAdsrStretch : 1.0;
  v.adsr2.Trigger(p.adsr2.attack * x2, p.adsr2.decay * x2, p.adsr2.release * x2, p.adsr2.sustain,
                  p.adsr2.legato != 0);
  v.lfo1.Start(rate1, p.lfo1.retrigger != 0, p.lfo1.fadeIn * kLfoFadeSeconds);
  v.lfo2.Start(rate2, p.lfo2.retrigger != 0, p.lfo2.fadeIn * kLfoFadeSeconds);
  if (voiceMode_ == kLiveArp) held_.Add(note);
  // The block's factors were made for the voice's previous velocity.
  UpdateVelocityFactors(v);
}

// A key struck again while the pedal sustains it. In LIVE ARP it is held by
// its key again and stays where it is in the arpeggio (true: nothing more to
// do); in POLY its old voice fades out with its release and the key sounds
// anew on a voice of its own.
bool SynthEngine::RestrikeSustained(int note) {
  if (voiceMode_ == kLiveArp && sustainedKey_[note]) {
    sustainedKey_[note] = false;
    return held_.Contains(note);
  }
  if (voiceMode_ != kPoly) return false;
  for (int i = 0; i < kVoices; ++i) {
    if (sustainedVoice_[i] && voices_[i].osc.Note() == note) {
      sustainedVoice_[i] = false;
      if (!voices_[i].adsr1.IsIdle()) ReleaseVoice(voices_[i]);
    }
  }
  return false;
}

void SynthEngine::NoteOff(int note) {
  if (voiceMode_ == kLiveArp) {
    if (pedalDown_) {
      sustainedKey_[note] = true;
    } else {
      ReleaseArpKey(note);
    }
    return;
  }
  for (int i = 0; i < kVoices; ++i) {
    VoiceSlot& v = voices_[i];
    if (v.osc.Note() != note || v.adsr1.IsIdle()) continue;
    if (pedalDown_) {
      sustainedVoice_[i] = true;
    } else {
      ReleaseVoice(v);
    }
  }
}

void SynthEngine::ReleaseVoice(VoiceSlot& v) {
  v.adsr1.Release();
  v.adsr2.Release();
  v.osc.SetNote(-1);
}

// The last key up releases the arpeggio, which holds its last step's pitch
// and shape through the release tail.
void SynthEngine::ReleaseArpKey(int note) {
  held_.Remove(note);
  VoiceSlot& v = voices_[0];
  if (held_.Count() == 0 && !v.adsr1.IsIdle()) {
    ReleaseVoice(v);
    v.osc.releaseHold = true;
  }
}

void SynthEngine::HandleController(int controller, int value) {
  switch (controller) {
    case kCcModWheel: SetModWheel(value / 127.0); break;
    case kCcSustain: SetPedal(value >= 64); break;
    case kCcAllSoundOff: SilenceVoices(); break;
    case kCcResetControllers:
      SetModWheel(0.0);
      pitchBend_ = 1.0;
      SetPedal(false);
      break;
    case kCcAllNotesOff:
    case 124:  // omni off
    case 125:  // omni on
    case 126:  // mono on
    case 127:  // poly on
      ReleaseAllNotes();
      break;
    default: break;
  }
}

void SynthEngine::SetPedal(bool down) {
  pedalDown_ = down;
  if (down) return;
  for (int i = 0; i < kVoices; ++i) {
    if (sustainedVoice_[i] && !voices_[i].adsr1.IsIdle()) ReleaseVoice(voices_[i]);
    sustainedVoice_[i] = false;
  }
  for (int n = 0; n < 128; ++n) {
    if (!sustainedKey_[n]) continue;
    sustainedKey_[n] = false;
    if (voiceMode_ == kLiveArp) ReleaseArpKey(n);
  }
}

// As if every key went up and the pedal lifted; the pedal itself stays
// where it is, so notes played afterwards are sustained again.
void SynthEngine::ReleaseAllNotes() {
  if (voiceMode_ == kLiveArp) {
    VoiceSlot& v = voices_[0];
    if (held_.Count() > 0 && !v.adsr1.IsIdle()) {
      ReleaseVoice(v);
      v.osc.releaseHold = true;
    }
  } else {
    for (VoiceSlot& v : voices_) {
      if (v.osc.Note() >= 0 && !v.adsr1.IsIdle()) ReleaseVoice(v);
    }
  }
  ForgetHeldKeys();
}

// Every voice stops on this frame: no release, and the filters' and the
// second envelope's tails are gone too. The bus effects keep their tails.
void SynthEngine::SilenceVoices() {
  for (VoiceSlot& v : voices_) {
    v.adsr1.GoIdle();
    v.adsr2.GoIdle();
    v.osc.SetNote(-1);
    v.filter.Reset();
  }
  ForgetHeldKeys();
}

void SynthEngine::ForgetHeldKeys() {
  held_.Clear();
  for (bool& s : sustainedVoice_) s = false;
  for (bool& k : sustainedKey_) k = false;
}

}  // namespace morvanta
