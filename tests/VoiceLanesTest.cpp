// The voices' envelopes, smoothers, LFOs and clocks side by side: the
// envelope lanes make every decision the one-envelope code made before the
// lanes (a segment's end, a short segment's stop, the release falling idle,
// whether a voice sounds or rings out) on every instruction set, and the
// engine renders the same bits whether the voices take their front part side
// by side or one at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dsp/SimdDispatch.h"
#include "dsp/VoiceLanes.h"
#include "dsp/VoiceOscillator.h"
#include "engine/Adsr.h"
#include "support/EngineTestKit.h"
#include "support/EveryTarget.h"

#ifndef MORVANTA_SANITIZED_BUILD
#define MORVANTA_SANITIZED_BUILD 0
#endif

namespace morvanta {
namespace {

// Under the sanitizers the engine comparison takes a sample of the scenes.
constexpr uint32_t kScenes = MORVANTA_SANITIZED_BUILD ? 3 : 12;

using testkit::Bits;
using testkit::OnEveryTarget;

// The envelope as it was before its state moved into lanes, kept as the reference.
class FrozenAdsr {
 public:
  enum Stage { kIdle = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };
  void SetRate(double rate) { invRate_ = 1.0 / rate; }
  void Trigger(double attack, double decay, double release, double sustain, bool legato) {
    attack_ = attack;
    decay_ = decay;
    release_ = release;
    sustain_ = sustain;
    endTime_ = attack + decay + release;
    if (!legato) {
      t_ = 0.0;
      slope_ = 0.0;
      level_ = 0.0;
      stage_ = kAttack;
    } else {
      if (stage_ == kAttack || stage_ == kDecay || stage_ == kSustain) return;
      if (stage_ == kIdle) level_ = 0.0;
      stage_ = kAttack;
      t_ = 0.0;
    }
    if (attack > 0.0) {
      if (legato) {
        slope_ = (1.0 - level_) / attack;
      } else {
        level_ = 0.0;
        slope_ = 1.0 / attack;
      }
    } else if (decay > 0.0) {
      level_ = 1.0;
      stage_ = kDecay;
      slope_ = -(1.0 - sustain) / decay;
    } else {
      slope_ = 0.0;
      level_ = sustain;
      stage_ = kSustain;
    }
  }
  void Release() {
    stage_ = kRelease;
    endTime_ = t_ + release_;
    if (release_ > 0.0) {
      slope_ = -level_ / release_;
    } else {
      level_ = 0.0;
      stage_ = kIdle;
      slope_ = 0.0;
    }
  }
  double Tick() {
    if (endTime_ > t_) {
      if (stage_ == kAttack && t_ > attack_) {
        level_ = 1.0;
        if (decay_ > 0.0) {
          slope_ = -(1.0 - sustain_) / decay_;
          stage_ = kDecay;
        } else {
          level_ = sustain_;
          slope_ = 0.0;
          stage_ = kSustain;
        }
      } else if (stage_ == kDecay && t_ >= attack_ + decay_) {
        level_ = sustain_;
        slope_ = 0.0;
        stage_ = kSustain;
      }
      const double before = level_;
      level_ += slope_ * invRate_;
      if (stage_ == kAttack) {
        if (attack_ < invRate_ && before <= 1.0 && level_ > 1.0) level_ = 1.0;
      } else if (stage_ == kDecay) {
        if (decay_ < invRate_ && before >= sustain_ && level_ < sustain_) level_ = sustain_;
      } else if (stage_ == kRelease) {
        if (release_ < invRate_ && before >= 0.0 && level_ < 0.0) level_ = 0.0;
      }
    } else if (stage_ == kRelease) {
      stage_ = kIdle;
    }
    t_ += invRate_;
    return level_;
  }
  bool IsIdle() const { return stage_ == kIdle; }
  double Level() const { return level_; }
  int GetStage() const { return stage_; }

 private:
  double attack_ = 0.0, decay_ = 0.0, release_ = 0.0, sustain_ = 0.5;
  double level_ = 0.0;
  int stage_ = kIdle;
  double endTime_ = 0.0;
  double t_ = 0.0;
  double slope_ = 0.0;
  double invRate_ = 1.0 / 44100.0;
};

// Segment times around one sample (at 44.1 kHz), zero, NaN and ordinary ones.
double SegmentTime(std::mt19937& gen) {
  const double sample = 1.0 / 44100.0;
  switch (gen() % 9) {
    case 0: return 0.0;
    case 1: return 0.5 * sample;
    case 2: return sample;
    case 3: return 1.5 * sample;
    case 4: return std::nextafter(sample, 0.0);
    case 5: return std::numeric_limits<double>::quiet_NaN();
    case 6: return 3.0 * sample * (gen() % 7);
    default: return 0.002 * (gen() % 10);
  }
}

double SustainLevel(std::mt19937& gen) {
  switch (gen() % 6) {
    case 0: return 0.0;
    case 1: return 1.0;
    case 2: return std::numeric_limits<double>::quiet_NaN();
    default: return (gen() % 1000) / 999.0;
  }
}

TEST(VoiceLanesTest, EnvelopeLanesMakeTheOneEnvelopeDecisionsOnEveryTarget) {
  OnEveryTarget([] {
    std::mt19937 gen(5);
    for (int trial = 0; trial < 40; ++trial) {
      const int count = trial % 3 == 0 ? 1 + static_cast<int>(gen() % kKernelLanes) : kKernelLanes;
      const double rate = trial % 4 == 0 ? 96000.0 : 44100.0;
      static VoiceLanes lanes;
      lanes = VoiceLanes{};
      Adsr bound1[kKernelLanes], bound2[kKernelLanes];
      FrozenAdsr ref1[kKernelLanes], ref2[kKernelLanes];
      for (int i = 0; i < kKernelLanes; ++i) {
        bound1[i].BindLane(lanes.env1, i);
        bound2[i].BindLane(lanes.env2, i);
        for (Adsr* a : {&bound1[i], &bound2[i]}) a->SetRate(rate);
        for (FrozenAdsr* a : {&ref1[i], &ref2[i]}) a->SetRate(rate);
        lanes.ampTarget[i] = 0.0;
      }
      for (int n = 0; n < 600; ++n) {
        // Notes start (plain or legato) and end at random moments.
        for (int i = 0; i < count; ++i) {
          const unsigned event = gen() % 100;
          const bool second = gen() % 2 == 0;
          Adsr& a = second ? bound2[i] : bound1[i];
          FrozenAdsr& f = second ? ref2[i] : ref1[i];
          if (event < 3) {
            const double at = SegmentTime(gen), de = SegmentTime(gen), re = SegmentTime(gen), su = SustainLevel(gen);
            const bool legato = gen() % 3 == 0;
            a.Trigger(at, de, re, su, legato);
            f.Trigger(at, de, re, su, legato);
          } else if (event < 5 && !f.IsIdle()) {
            a.Release();
            f.Release();
          }
        }
        bool ran1[kKernelLanes], ran2[kKernelLanes];
        for (int i = 0; i < count; ++i) {
          ran1[i] = !ref1[i].IsIdle();
          ran2[i] = !ref2[i].IsIdle();
          if (ran1[i]) ref1[i].Tick();
          if (ran2[i]) ref2[i].Tick();
        }
        StartVoiceLanes(lanes, count);
        for (int i = 0; i < count; ++i) {
          ASSERT_EQ(bound1[i].GetStage(), ref1[i].GetStage()) << "trial " << trial << " sample " << n << " lane " << i;
          ASSERT_EQ(bound2[i].GetStage(), ref2[i].GetStage()) << "trial " << trial << " sample " << n << " lane " << i;
          ASSERT_EQ(Bits(bound1[i].Level()), Bits(ref1[i].Level())) << "trial " << trial << " sample " << n;
          ASSERT_EQ(Bits(bound2[i].Level()), Bits(ref2[i].Level())) << "trial " << trial << " sample " << n;
          const bool sounding = ran1[i] && !ref1[i].IsIdle();
          ASSERT_EQ(lanes.sounding[i] != 0.0, sounding);
          ASSERT_EQ(lanes.ringing[i] != 0.0, !sounding && !ref2[i].IsIdle());
          ASSERT_EQ(Bits(lanes.env2Value[i]), Bits(ran2[i] ? ref2[i].Level() : 0.0));
        }
      }
    }
  });
}

TEST(VoiceLanesTest, ShaperLanesHoldAndLeakAsTheOscillatorDoesOnEveryTarget) {
  OnEveryTarget([] {
    std::mt19937 gen(17);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    static VoiceLanes lanes;
    static FilterLanes filters;
    lanes = VoiceLanes{};
    filters = FilterLanes{};
    VoiceOscillator bound[kKernelLanes], ref[kKernelLanes];
    for (int i = 0; i < kKernelLanes; ++i) {
      // Rates at, above and a hair above 44.1 kHz: holds of whole and broken lengths.
      const double rate = i % 3 == 0 ? 44100.0 : (i % 3 == 1 ? 96000.0 : 44100.5);
      bound[i].BindClockLane(lanes.clock, i);
      for (VoiceOscillator* o : {&bound[i], &ref[i]}) {
        o->SetSampleRate(rate);
        o->StartNote(60, 1.0, 261.6 + 10.0 * i, 0, false, 0.0, 0.0, 0.0);
      }
    }
    const double dividers[] = {1.0, 0.5, 1.0000001, 2.0, 3.7, 32.0};
    const double feedbacks[] = {0.0, 1.0, -1.0, 0.3, 4.0};
    for (int n = 0; n < 4000; ++n) {
      lanes.shaperBits = 0;
      for (int i = 0; i < kKernelLanes; ++i) {
        if (n % 500 == 0) {
          bound[i].bitDivider = ref[i].bitDivider = dividers[gen() % 6];
          bound[i].bitFeedback = ref[i].bitFeedback = feedbacks[gen() % 5];
        }
        // The phases move on as in the engine (the leak reads the master phase).
        SineLanes sine;
        double sum = 0.0;
        bound[i].Begin(sine, i, &sum, false);
        ref[i].Begin(sine, i, &sum, false);
        const double m = n % 97 == 0 ? 1e300 : unit(gen);
        // Lanes left out (and those with holds under a sample, which the engine
        // keeps to itself) keep their state.
        const bool plain = i % 5 != 4 && bound[i].bitDivider * (bound[i].SampleRate() / 44100.0) >= 1.0;
        if (plain) lanes.shaperBits |= 1u << i;
        lanes.shaperIn[i] = m;
        lanes.bitDivider[i] = bound[i].bitDivider;
        lanes.bitFeedback[i] = bound[i].bitFeedback;
        lanes.amplitude[i] = 0.5;
        lanes.lfoGain[i] = 1.25;
        filters.x[i] = -7.0;
      }
      ShapeVoiceLanes(lanes, filters, SineLanes{}, kKernelLanes);
      for (int i = 0; i < kKernelLanes; ++i) {
        if ((lanes.shaperBits >> i & 1) == 0) {
          ASSERT_EQ(filters.x[i], -7.0);
          ref[i].Finish(lanes.shaperIn[i]);
          bound[i].Finish(lanes.shaperIn[i]);
          continue;
        }
        const double expected = ref[i].Finish(lanes.shaperIn[i]) * 0.5 * 1.25;
        ASSERT_EQ(Bits(filters.x[i]), Bits(expected)) << "lane " << i << " sample " << n;
      }
    }
  });
}

// A random sound the voices can take side by side: plain LFO shapes at fixed
// rates and no pitch noise; the rest (modulation depths, envelopes, steps,
// shapes, glide, the wheel and the effects) as it falls.
ParamSnapshot LaneSound(std::mt19937& gen) {
  ParamSnapshot s = testkit::RandomSnapshot(gen);
  s.voiceMode = gen() % 3 == 0 ? 0 : 2;
  s.lfo1.shape = static_cast<int32_t>(gen() % 4);
  s.lfo2.shape = static_cast<int32_t>(gen() % 4);
  s.adsr2To.lfo1F = s.modwTo.lfo1F = 0.0;
  s.adsr2To.lfo2F = s.modwTo.lfo2F = 0.0;
  s.pitchNoise = 0.0;
  s.lfo1To.pitchNoise = s.lfo2To.pitchNoise = s.adsr2To.pitchNoise = 0.0;
  s.modwTo.pitchNoise = s.arpModTo.pitchNoise = 0.0;
  // Short envelopes, so that notes end and filters ring out within the render.
  s.adsr1.attack *= 0.02;
  s.adsr1.decay *= 0.05;
  s.adsr1.release *= 0.02;
  s.adsr2.attack *= 0.02;
  s.adsr2.decay *= 0.05;
  s.adsr2.release *= 0.05;
  s.adsr1.x10 = s.adsr2.x10 = 0;
  return s;
}

// A sound whose voices mostly repeat themselves from sample to sample, so
// that the lanes do their oscillators' part: no LFO, ADSR2 or step-row
// depth on the controls, the sine shape, and steps short enough for their
// edges to fall within the render. Between blocks the smoothed step
// modulation, the wave shaper, the ring modulator, the growth and the
// harmonics LFO come and go, and some steps change the shape.
ParamSnapshot SteadySound(std::mt19937& gen) {
  ParamSnapshot s = LaneSound(gen);
  s.lfo1To = s.lfo2To = LfoDepths{};
  s.adsr2To = Adsr2Depths{};
  // The step row's modulation, changing only at step edges, leaves the memo holding.
  if (gen() % 2 == 0) s.arpModTo = ArpModDepths{};
  s.modwTo.fc = s.modwTo.fr = 0.0;
  // Mostly the sine; the other shapes take their own lanes.
  s.oscShape = gen() % 3 == 0 ? static_cast<int32_t>(gen() % kNumOscShapes) : kOscSine;
  s.arpOn = gen() % 4 != 0;
  s.arpTempoDivider = 16.0 + static_cast<double>(gen() % 48);
  for (int k = 0; k < 16; ++k) s.arpShape[k] = gen() % 5 == 0 ? static_cast<double>(gen() % 5) : 0.0;
  s.harmonicsSlope = 0.0;
  s.harmonicsLfoAmp = 0.0;
  s.glideTime = gen() % 3 == 0 ? s.glideTime : 0.0;
  return s;
}

void VaryLaneBlock(int block, ParamSnapshot& snap) {
  // Depths on and off between blocks: the LFOs go unheard and heard again.
  if (block % 7 == 3) snap.lfo1To = LfoDepths{};
  if (block % 5 == 2) snap.lfo2To = LfoDepths{};
}

void VarySteadyBlock(int block, ParamSnapshot& snap) {
  if (block % 4 == 1) snap.arpModSmooth = !snap.arpModSmooth;
  if (block % 6 == 2) snap.waveShaper = 0.3;
  if (block % 5 == 3) snap.ringMod = 0.5;
  if (block % 9 == 4) snap.harmonicsSlope = 0.2;
  if (block % 8 == 5) snap.harmonicsLfoAmp = 0.6;
  if (block % 10 == 6) snap.lfo2To.pitch = 0.1;
}

// Renders a random sound's scene with the voices side by side where the
// block allows it, or one at a time.
template <typename Vary>
std::vector<double> RenderLaneScene(uint32_t seed, ParamSnapshot (*makeSound)(std::mt19937&), Vary vary,
                                    bool lanesAllowed, int* laneBlocks, uint64_t* steadySamples) {
  std::mt19937 gen(seed);
  const ParamSnapshot sound = makeSound(gen);
  testkit::EngineRig r;
  r.engine.AllowVoiceLanes(lanesAllowed);
  std::vector<double> out;
  double left[256], right[256];
  for (int block = 0; block < 40; ++block) {
    for (int k = 0; k < 3; ++k) {
      const int offset = static_cast<int>(gen() % 256);
      const int note = 36 + static_cast<int>(gen() % 48);
      const unsigned kind = gen() % 10;
      if (kind < 5) r.engine.MidiReceived(testkit::NoteOn(note, 1 + static_cast<int>(gen() % 127), offset));
      if (kind >= 5 && kind < 8) r.engine.MidiReceived(testkit::NoteOff(note, offset));
      if (kind == 8) r.engine.MidiReceived(MidiMessage{offset, 0xB0, 1, static_cast<uint8_t>(gen() % 128)});
      if (kind == 9) r.engine.MidiReceived(MidiMessage{offset, 0xE0, 0, static_cast<uint8_t>(gen() % 128)});
    }
    ParamSnapshot snap = sound;
    snap.modWheel = r.engine.ModWheel();
    vary(block, snap);
    r.engine.RenderBlock(snap, left, right, 256, 44100.0);
    if (r.engine.VoicesInLanes()) ++*laneBlocks;
    for (int i = 0; i < 256; ++i) {
      out.push_back(left[i]);
      out.push_back(right[i]);
    }
  }
  *steadySamples = r.engine.SteadyVoiceSamples();
  return out;
}

template <typename Vary>
void ExpectLanesRenderOneAtATime(ParamSnapshot (*makeSound)(std::mt19937&), Vary vary, uint64_t* steadySamples) {
  for (uint32_t seed = 1; seed <= kScenes; ++seed) {
    int laneBlocks = 0, singleBlocks = 0;
    uint64_t steady = 0, none = 0;
    const std::vector<double> lanes = RenderLaneScene(seed, makeSound, vary, true, &laneBlocks, &steady);
    const std::vector<double> single = RenderLaneScene(seed, makeSound, vary, false, &singleBlocks, &none);
    ASSERT_EQ(laneBlocks, 40) << "seed " << seed;
    ASSERT_EQ(singleBlocks, 0);
    ASSERT_EQ(none, 0u);
    *steadySamples += steady;
    ASSERT_TRUE(testkit::AllFinite(lanes));
    double peak = 0.0;
    for (size_t i = 0; i < lanes.size(); ++i) {
      peak = std::max(peak, std::fabs(single[i]));
      ASSERT_EQ(Bits(lanes[i]), Bits(single[i])) << "seed " << seed << " at " << i;
    }
    EXPECT_GT(peak, 0.0) << "seed " << seed;
  }
}

TEST(VoiceLanesTest, VoicesSideBySideRenderTheBitsOfOneAtATimeOnEveryTarget) {
  OnEveryTarget([] {
    uint64_t steady = 0;
    ExpectLanesRenderOneAtATime(LaneSound, VaryLaneBlock, &steady);
  });
}

// The lanes take over a steady voice's oscillator part and hand it back at
// step edges, new notes, new partial levels, growth, glides and memo misses.
TEST(VoiceLanesTest, SteadyVoicesRenderTheBitsOfOneAtATimeOnEveryTarget) {
  OnEveryTarget([] {
    uint64_t steady = 0;
    ExpectLanesRenderOneAtATime(SteadySound, VarySteadyBlock, &steady);
    EXPECT_GT(steady, 1000u * kScenes);
  });
}

// The pan's gains are worked out again only when the pan moves; a voice
// panned hard left from its first sample still gets them.
TEST(VoiceLanesTest, PanGainsStandOnlyWhileThePanDoesOnEveryTarget) {
  OnEveryTarget([] {
    for (const double pan : {0.0, 1.0, 0.25}) {
      testkit::EngineRig r;
      ParamSnapshot s = testkit::InitSnapshot();
      s.pan = pan;
      r.engine.MidiReceived(testkit::NoteOn(60, 100, 0));
      r.engine.MidiReceived(testkit::NoteOn(67, 100, 300));
      const testkit::Stereo out = testkit::Render(r.engine, s, 8192, 44100.0, 256);
      const double left = testkit::Peak(out.left, 0, out.left.size());
      const double right = testkit::Peak(out.right, 0, out.right.size());
      EXPECT_NEAR(right * std::sqrt(1.0 - pan), left * std::sqrt(pan), 1e-6 * (left + right)) << pan;
      EXPECT_GT(left + right, 0.01) << pan;
    }
  });
}

}  // namespace
}  // namespace morvanta
