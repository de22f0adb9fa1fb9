// The render frame end to end: the "init" sound's pitch and level, pitch
// controls, release timing, LFO sync, sample rates, and no NaN or Inf for
// any stored parameter values.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/EngineTestKit.h"

namespace morvanta {
namespace {

using testkit::NoteOff;
using testkit::NoteOn;
using testkit::Render;

struct EngineRig {
  testkit::RecordingHost host;
  SynthEngine engine{host};
  ParamSnapshot snap = testkit::InitSnapshot();
};

TEST(RenderFrame, InitNote69IsA440HzSineAtHalfEnvSquaredGain) {
  EngineRig r;
  r.engine.MidiReceived(NoteOn(69, 127));
  auto out = Render(r.engine, r.snap, 44100);
  EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 22050, 44100, 44100.0), 440.0, 0.05);
  // Sustain 1, "Amp gain" 50 % squared, "Vel -> Amp" 50 % at velocity 1:
  // 0.5 * 1 * 0.25, centre pan sqrt(0.5) on each side.
  const double expected = 0.5 * 0.25 * std::sqrt(0.5);
  EXPECT_NEAR(testkit::Peak(out.left, 22050, 44100), expected, 0.01 * expected);
  EXPECT_NEAR(testkit::Peak(out.right, 22050, 44100), expected, 0.01 * expected);
}

TEST(RenderFrame, VelocityScalesTheGainByVelToAmp) {
  EngineRig r;
  r.engine.MidiReceived(NoteOn(69, 127));
  auto loud = Render(r.engine, r.snap, 22050);
  EngineRig q;
  q.engine.MidiReceived(NoteOn(69, 1));
  auto soft = Render(q.engine, q.snap, 22050);
  // (v * 0.5 + 0.5) with v = 1/127 against v = 1.
  EXPECT_NEAR(testkit::Peak(soft.left, 11025, 22050) / testkit::Peak(loud.left, 11025, 22050),
              (0.5 / 127 + 0.5), 0.01);
}

TEST(RenderFrame, PitchControlsMoveTheFrequency) {
  {
    EngineRig r;
    r.engine.MidiReceived(MidiMessage{0, 0xE0, 0, 0});  // wheel at the bottom, range 12
    r.engine.MidiReceived(NoteOn(69));
    auto out = Render(r.engine, r.snap, 22050);
    EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 11025, 22050, 44100.0), 220.0, 0.05);
  }
  {
    EngineRig r;
    r.snap.pitch = -12.0;
    r.snap.fine = 0.5;  // half a semitone up from 220 Hz
    r.engine.MidiReceived(NoteOn(69));
    auto out = Render(r.engine, r.snap, 22050);
    EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 11025, 22050, 44100.0),
                220.0 * std::pow(2.0, 0.5 / 12.0), 0.05);
  }
  {
    EngineRig r;  // the wheel moves a sounding note at once
    r.engine.MidiReceived(NoteOn(69));
    Render(r.engine, r.snap, 1000);
    r.snap.pitchRange = 2.0;
    r.engine.MidiReceived(MidiMessage{0, 0xE0, 127, 127});  // (16383 - 8192) / 8192 of 2 semitones
    auto out = Render(r.engine, r.snap, 22050);
    EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 11025, 22050, 44100.0),
                440.0 * std::pow(2.0, 2.0 * 8191.0 / 8192.0 / 12.0), 0.05);
  }
}

TEST(RenderFrame, ReleaseReachesIdleAfterTheReleaseTime) {
  EngineRig r;
  r.snap.adsr1.release = 0.5;
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 1024, 44100.0, 1024);
  r.engine.MidiReceived(NoteOff(60));
  int frames = 0;
  while (!r.engine.Voice(1).adsr1.IsIdle() && frames < 100000) {
    Render(r.engine, r.snap, 1, 44100.0, 1);
    ++frames;
  }
  EXPECT_NEAR(frames, 0.5 * 44100, 2);  // the "ADSR1 release" seconds
  EXPECT_EQ(r.engine.Voice(1).osc.Note(), -1);
}

TEST(RenderFrame, ZeroFrameBlockStillTakesTheSnapshot) {
  EngineRig r;
  r.snap.voiceMode = 0;
  r.engine.RenderBlock(r.snap, nullptr, nullptr, 0, 44100.0);
  EXPECT_EQ(r.engine.VoiceCount(), 1);
  EXPECT_EQ(r.engine.Mode(), SynthEngine::kMono);
}

TEST(RenderFrame, LfoSyncFollowsTheHostTempoAndStopsWithoutOne) {
  EngineRig r;
  r.snap.lfo1.sync = true;
  r.snap.lfo1.frequency = 0.5;  // k = 4: a quarter of the eighth-note rate
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 64);
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).lfo1.Frequency(), 0.0);
  r.host.tempo = 150.0;
  Render(r.engine, r.snap, 64);
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).lfo1.Frequency(), 150.0 / 30.0 / 4.0);
}

TEST(RenderFrame, FilterCutoffStaysBelowNyquistAtLowRates) {
  for (double rate : {8000.0, 22050.0, 32000.0}) {
    EngineRig r;
    r.engine.Reset(rate, 512);
    r.snap.filterFrequency = 1.0;
    r.snap.filterResonance = 1.0;
    r.engine.MidiReceived(NoteOn(100));
    auto out = Render(r.engine, r.snap, 8000, rate);
    EXPECT_TRUE(testkit::AllFinite(out.left)) << rate;
    EXPECT_LE(r.engine.Voice(1).filter.Cutoff(), 0.4995 * rate * 1.0001) << rate;
  }
  EngineRig r;  // unchanged at 44.1 kHz: 22 kHz is below 0.4995 x 44100
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 16);
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).filter.cutoffKHz, 22000.0 * static_cast<double>(0.001f));
}

TEST(RenderFrame, NoNanOrInfForAnyStoredSettings) {
  const double rates[] = {22050.0, 44100.0, 48000.0, 96000.0, 192000.0};
  std::mt19937 gen(1234);
  for (int seed = 0; seed < 60; ++seed) {
    const double rate = rates[seed % 5];
    testkit::RecordingHost host;
    host.tempo = seed % 3 == 0 ? 0.0 : 60.0 + seed;
    SynthEngine engine(host);
    engine.Reset(rate, 256);
    ParamSnapshot snap = testkit::RandomSnapshot(gen);
    std::uniform_int_distribution<int> note(0, 127), vel(1, 127), offset(0, 255);
    for (int i = 0; i < 20; ++i) engine.MidiReceived(NoteOn(note(gen), vel(gen), offset(gen)));
    engine.MidiReceived(MidiMessage{10, 0xE0, 0, 0});
    engine.MidiReceived(MidiMessage{20, 0xB0, 1, 127});
    auto out = Render(engine, snap, static_cast<int>(rate * 0.3), rate, 256);
    for (int i = 0; i < 20; ++i) engine.MidiReceived(NoteOff(note(gen), offset(gen)));
    auto tail = Render(engine, snap, static_cast<int>(rate * 0.2), rate, 256);
    ASSERT_TRUE(testkit::AllFinite(out.left) && testkit::AllFinite(out.right)) << "seed " << seed;
    ASSERT_TRUE(testkit::AllFinite(tail.left) && testkit::AllFinite(tail.right)) << "seed " << seed;
  }
}

}  // namespace
}  // namespace morvanta
