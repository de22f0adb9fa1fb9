// The render frame: pitch and release timing, LFO sync, the filter at low
// sample rates, and no NaN or Inf for any stored parameter values.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/EngineTestKit.h"

namespace morvanta {
namespace {

using testkit::NoteOff;
using testkit::NoteOn;
using testkit::Render;

using testkit::EngineRig;

TEST(RenderFrame, PitchMinusTwelveIsAnOctaveLower) {
  EngineRig r;
  r.snap.pitch = -12.0;
  r.engine.MidiReceived(NoteOn(69));
  auto out = Render(r.engine, r.snap, 22050);
  EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 11025, 22050, 44100.0), 220.0, 0.05);
}

TEST(RenderFrame, ReleaseReachesIdleAfterTheReleaseTime) {
  EngineRig r;
  r.snap.adsr1.release = 0.5;
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 1024);
  r.engine.MidiReceived(NoteOff(60));
  int frames = 0;
  for (; !r.engine.Voice(1).adsr1.IsIdle() && frames < 100000; ++frames) Render(r.engine, r.snap, 1);
  EXPECT_NEAR(frames, 0.5 * 44100, 2);
}

TEST(RenderFrame, LfoSyncFollowsTheHostTempoAndStopsWithoutOne) {
  EngineRig r;
  r.snap.lfo1.sync = true;
  r.snap.lfo1.frequency = 0.5;  // int(4.5) = 4: a quarter of the eighth-note rate
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 64);
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).lfo1.Frequency(), 0.0);
  r.host.tempo = 150.0;
  Render(r.engine, r.snap, 64);
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).lfo1.Frequency(), 150.0 / 30.0 / 4.0);
}

TEST(RenderFrame, FilterCutoffStaysBelowNyquistAtLowRates) {
  for (double rate : {8000.0, 22050.0, 44100.0}) {
    EngineRig r;
    r.engine.Reset(rate, 512);
    r.snap.filterResonance = 1.0;
    r.engine.MidiReceived(NoteOn(100));
    auto out = Render(r.engine, r.snap, 8000, rate);
    EXPECT_TRUE(testkit::AllFinite(out.left)) << rate;
    // 22 kHz (the top) is kept at 44.1 kHz and capped at 0.4995 x the rate below it.
    EXPECT_NEAR(r.engine.Voice(1).filter.Cutoff(), std::min(22000.0, 0.4995 * rate), 0.01 * rate) << rate;
  }
}

TEST(RenderFrame, MonoVoiceStaysFiniteAfterTheSampleRateDrops) {
  // The single voice's filter is never reset, so its smoothed cutoff carries
  // 22 kHz from 96 kHz into the lower rates, past their Nyquist frequency.
  for (double rate : {22050.0, 11025.0}) {
    EngineRig r;
    r.snap.voiceMode = 0;
    r.engine.Reset(96000.0, 512);
    r.engine.MidiReceived(NoteOn(60));
    Render(r.engine, r.snap, 8000, 96000.0);
    r.engine.Reset(rate, 512);
    r.engine.MidiReceived(NoteOn(60));
    auto out = Render(r.engine, r.snap, 8000, rate);
    EXPECT_TRUE(testkit::AllFinite(out.left)) << rate;
    EXPECT_LT(testkit::Peak(out.left, 0, 8000), 1.0) << rate;
  }
}

TEST(RenderFrame, NoNanOrInfForAnyStoredSettings) {
  const double rates[] = {22050.0, 44100.0, 48000.0, 96000.0, 192000.0};
  std::mt19937 gen(1234);
  std::uniform_int_distribution<int> note(0, 127), vel(1, 127), offset(0, 255);
  for (int seed = 0; seed < 60; ++seed) {
    const double rate = rates[seed % 5];
    testkit::RecordingHost host;
    host.tempo = seed % 3 == 0 ? 0.0 : 60.0 + seed;
    SynthEngine engine(host);
    engine.Reset(rate, 256);
    const ParamSnapshot snap = testkit::RandomSnapshot(gen);
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
