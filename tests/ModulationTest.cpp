// Modulation sums: bases with every depth at 0, the general rule with its
// velocity factor, the ADSR2 depth on an LFO, the pitch envelope mode and
// the pan snap of new polyphonic notes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "support/EngineTestKit.h"

namespace morvanta {
namespace {

using testkit::NoteOn;
using testkit::Render;

struct EngineRig : testkit::EngineRig {
  EngineRig() {  // every modulation depth at 0
    snap.velTo = VelDepths{};
    snap.arpModTo = ArpModDepths{};
    snap.lfo1To = snap.lfo2To = LfoDepths{};
    snap.adsr2To = Adsr2Depths{};
    snap.modwTo = ModwDepths{};
  }
  const VoiceSlot& Play(int velocity = 127, int frames = 1) {
    engine.MidiReceived(NoteOn(60, velocity));
    Render(engine, snap, frames);
    return engine.Voice(1);
  }
};

TEST(Modulation, AllDepthsZeroGiveTheBases) {
  EngineRig r;
  r.snap.bitDivider = 1.0;
  r.snap.pitchNoise = 0.5;
  r.snap.pulseWidth = 0.5;
  r.snap.filterFrequency = 0.5;
  r.snap.filterResonance = 0.5;
  const VoiceSlot& v = r.Play();
  EXPECT_DOUBLE_EQ(v.osc.pitchRatio, 1.0);
  EXPECT_DOUBLE_EQ(v.osc.bitDivider, 32.0);                  // 1^2 * 31 + 1
  EXPECT_DOUBLE_EQ(v.osc.pitchNoise, 0.25);                  // the base is squared
  EXPECT_DOUBLE_EQ(v.osc.pulseWidth, 0.5 * 0.485 + 0.015);
  // fc = 0.5^2: (0.25 * 21980 + 20) Hz; q = 0.5^2: damping 1 / (0.0625 * 39.5 + 0.5).
  EXPECT_DOUBLE_EQ(v.filter.cutoffKHz, (0.25 * 21980.0 + 20.0) * static_cast<double>(0.001f));
  EXPECT_DOUBLE_EQ(v.filter.damping, 1.0 / (0.0625 * 39.5 + 0.5));
}

TEST(Modulation, GeneralRuleScalesSourcesAndBaseByVelocityButNotTheWheel) {
  for (int velocity : {127, 1}) {
    EngineRig r;
    r.snap.lfo1.shape = 2;  // square at +1 from a restarted phase
    r.snap.lfo1.retrigger = 1;
    r.snap.pulseWidth = 0.5;
    r.snap.lfo1To.pw = 0.25;
    r.snap.velTo.pw = 1.0;
    r.snap.modwTo.bitDiv = 0.5;
    r.snap.modWheel = 1.0;
    r.snap.ringMod = 0.9;
    r.snap.lfo1To.ringMod = 0.5;
    const VoiceSlot& v = r.Play(velocity);
    // (1 * 0.25 + 0.5) * v / 127; the wheel term 0.5 alone; 0.9 + 0.5 clamps to 1.
    EXPECT_NEAR(v.osc.pulseWidth, 0.75 * velocity / 127.0 * 0.485 + 0.015, 1e-12);
    EXPECT_DOUBLE_EQ(v.osc.bitDivider, 0.25 * 31.0 + 1.0);
    EXPECT_DOUBLE_EQ(v.osc.ringMod, 1.0);
  }
  EngineRig low;
  low.snap.velTo.fc = 1.0;  // full velocity depth closes the cutoff at the lowest velocity
  EXPECT_NEAR(low.Play(1).filter.cutoffKHz, (21980.0 / 127.0 + 20.0) * 0.001, 1e-6);
}

TEST(Modulation, EnvelopeTwoFadesTheLfoAndDrivesThePitch) {
  for (double sustain : {0.0, 1.0}) {
    EngineRig r;
    r.snap.lfo1.shape = 2;
    r.snap.lfo1.retrigger = 1;
    r.snap.lfo1To.pitch = 1.0;
    r.snap.adsr2To.lfo1Amp = -1.0;  // full LFO at env2 = 0, none at env2 = 1
    r.snap.adsr2 = AdsrSettings{0.0, 0.0, sustain, 1.0, 0, 0, 0};
    EXPECT_DOUBLE_EQ(r.Play().osc.pitchRatio, sustain == 0.0 ? 2.0 : 1.0);
  }
  EngineRig r;
  r.snap.adsr2PitchMode = 1;
  r.snap.adsr2To.pitch = 1.0;
  r.snap.adsr2 = AdsrSettings{1.0, 0.0, 1.0, 1.0, 0, 0, 0};
  // (1 - E) + E env2: from 0 (first tick 1/44100) up to 1 after the attack.
  EXPECT_NEAR(r.Play().osc.pitchRatio, 1.0 / 44100.0, 1e-12);
  Render(r.engine, r.snap, 44100);
  EXPECT_NEAR(r.engine.Voice(1).osc.pitchRatio, 1.0, 1e-9);
}

TEST(Modulation, NewPolyNotesSnapTheirPanMonoGlides) {
  EngineRig poly;
  poly.snap.pan = 1.0;
  poly.engine.MidiReceived(NoteOn(60));
  auto p = Render(poly.engine, poly.snap, 256);
  EXPECT_EQ(testkit::Peak(p.left, 0, 256), 0.0);  // hard right from the first sample
  EXPECT_GT(testkit::Peak(p.right, 0, 256), 0.0);
  EngineRig mono;
  mono.snap.pan = 1.0;
  mono.snap.voiceMode = 0;
  mono.engine.MidiReceived(NoteOn(60));
  auto m = Render(mono.engine, mono.snap, 256);
  EXPECT_GT(testkit::Peak(m.left, 0, 256), 0.0);  // the smoother starts from the left
}

// With every depth at 0 an LFO's value is not computed, but it keeps running:
// a depth coming up mid-note finds it where a computed one would be. The
// reference reads the LFO all along through a depth too small to be heard
// (its square underflows to 0 in the pitch sum).
TEST(Modulation, AnLfoNobodyReadsComesInWhereItWouldHaveBeen) {
  for (int shape = 0; shape < 6; ++shape) {
    EngineRig quiet, reading;
    for (EngineRig* r : {&quiet, &reading}) {
      r->snap.lfo1.shape = r->snap.lfo2.shape = shape;
      r->snap.lfo1.frequency = 0.4;
      r->snap.lfo2.frequency = 0.3;
      r->snap.lfo1.fadeIn = 0.01;
      r->snap.adsr2To.lfo1F = 0.3;  // ADSR2 moves the rate meanwhile
    }
    reading.snap.lfo1To.pitch = reading.snap.lfo2To.pitch = 1e-300;
    auto play = [](EngineRig& r, unsigned seed, int frames, bool note) {
      std::srand(seed);
      if (note) r.engine.MidiReceived(NoteOn(60));
      return Render(r.engine, r.snap, frames);
    };
    ASSERT_EQ(play(quiet, 3, 3000, true).left, play(reading, 3, 3000, true).left) << shape;
    for (EngineRig* r : {&quiet, &reading}) {
      r->snap.lfo1To.pitch = 0.3;
      r->snap.lfo2To.fc = 0.5;
    }
    const testkit::Stereo a = play(quiet, 4, 3000, false), b = play(reading, 4, 3000, false);
    EXPECT_EQ(a.left, b.left) << shape;
    EXPECT_EQ(a.right, b.right) << shape;
  }
}

// The oscillator and filter controls are kept while the sources they read
// keep their bits; a source with every depth there at 0 is not compared.
// Every block works them out afresh, so one-frame blocks are the reference:
// long blocks must match them while the envelope and an LFO move unread,
// while the wheel moves, and after the depths come up (into the release).
TEST(Modulation, ControlsKeptOverUnreadSourcesMatchFreshOnes) {
  EngineRig kept, fresh;
  for (EngineRig* r : {&kept, &fresh}) {
    r->snap.lfo1.frequency = 0.4;
    r->snap.lfo1To.amp = 0.5;  // LFO1 is heard, but not by the controls
    r->snap.adsr2.decay = 0.02;
    r->snap.adsr2.sustain = 0.3;
    r->snap.filterFrequency = 0.5;
    r->snap.arpModTo.fc = 0.0;
    r->engine.MidiReceived(NoteOn(60));
  }
  auto play = [](EngineRig& r, int frames, int block) {
    std::vector<double> left;
    for (int done = 0; done < frames; done += block) {
      const testkit::Stereo out = Render(r.engine, r.snap, block);
      left.insert(left.end(), out.left.begin(), out.left.end());
    }
    return left;
  };
  ASSERT_EQ(play(kept, 1536, 512), play(fresh, 1536, 1));
  for (EngineRig* r : {&kept, &fresh}) r->snap.modWheel = 0.7;
  ASSERT_EQ(play(kept, 512, 512), play(fresh, 512, 1));
  for (EngineRig* r : {&kept, &fresh}) {
    r->snap.adsr2To.fc = 0.4;
    r->snap.lfo1To.fr = 0.3;
    r->snap.modwTo.bitDiv = 0.2;
    r->engine.MidiReceived(testkit::NoteOff(60));  // ADSR2 moves again
  }
  EXPECT_EQ(play(kept, 1536, 512), play(fresh, 1536, 1));
}

// Without ADSR2 or wheel depth on its rate an LFO runs at the block's rate,
// set only when a voice's differs. A rig whose rate depth is too small to be
// heard works the rate out every sample; both must agree through a new note,
// a new frequency and a new sample rate, for every shape.
TEST(Modulation, AnLfoAtTheBlocksRateMatchesOneWorkedOutEachSample) {
  for (int shape = 0; shape < 6; ++shape) {
    EngineRig block, each;
    for (EngineRig* r : {&block, &each}) {
      r->snap.lfo1.shape = shape;
      r->snap.lfo1.frequency = 0.4;
      r->snap.lfo1To.pitch = 0.3;
      r->snap.lfo1To.fc = 0.5;
    }
    // ADSR2 (0..1) times 1e-300 vanishes beside the frequency.
    each.snap.adsr2To.lfo1F = 1e-300;
    auto play = [](EngineRig& r, unsigned seed, int frames, int note, double rate = 44100.0) {
      std::srand(seed);
      if (note >= 0) r.engine.MidiReceived(NoteOn(note));
      return Render(r.engine, r.snap, frames, rate).left;
    };
    ASSERT_EQ(play(block, 1, 2000, 60), play(each, 1, 2000, 60)) << shape;
    ASSERT_EQ(play(block, 2, 2000, 64), play(each, 2, 2000, 64)) << shape;
    for (EngineRig* r : {&block, &each}) r->snap.lfo1.frequency = 0.7;
    ASSERT_EQ(play(block, 3, 2000, -1), play(each, 3, 2000, -1)) << shape;
    ASSERT_EQ(play(block, 4, 2000, 67, 48000.0), play(each, 4, 2000, 67, 48000.0)) << shape;
  }
}

}  // namespace
}  // namespace morvanta
