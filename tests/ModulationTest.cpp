// Modulation sums: bases with all depths at 0, velocity on the cutoff, the
// ADSR2 depth on the LFO, the pitch envelope mode, the pan snap of new
// polyphonic notes and the frame's tube-drive amount.
#include <gtest/gtest.h>

#include <cmath>

#include "support/EngineTestKit.h"

namespace morvanta {
namespace {

using testkit::NoteOn;
using testkit::Render;

// The "init" sound with every modulation depth at 0.
ParamSnapshot NoDepths() {
  ParamSnapshot s = testkit::InitSnapshot();
  s.velTo = VelDepths{};
  s.arpModTo = ArpModDepths{};
  s.lfo1To = LfoDepths{};
  s.lfo2To = LfoDepths{};
  s.adsr2To = Adsr2Depths{};
  s.modwTo = ModwDepths{};
  return s;
}

struct EngineRig {
  testkit::RecordingHost host;
  SynthEngine engine{host};
  ParamSnapshot snap = NoDepths();
};

TEST(Modulation, AllDepthsZeroGiveTheBases) {
  EngineRig r;
  r.snap.harmonicsPhaseShift = 0.3;
  r.snap.bitDivider = 1.0;
  r.snap.bitFeedback = 0.2;
  r.snap.ringMod = 0.4;
  r.snap.ringModF = 0.6;
  r.snap.pitchNoise = 0.5;
  r.snap.pulseWidth = 0.5;
  r.snap.filterFrequency = 0.5;
  r.snap.filterResonance = 0.5;
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 1);
  const VoiceSlot& v = r.engine.Voice(1);
  EXPECT_DOUBLE_EQ(v.osc.pitchRatio, 1.0);
  EXPECT_DOUBLE_EQ(v.osc.harmPhase, 0.3);
  EXPECT_DOUBLE_EQ(v.osc.bitDivider, 32.0);  // 1^2 * 31 + 1
  EXPECT_DOUBLE_EQ(v.osc.bitFeedback, 0.2);
  EXPECT_DOUBLE_EQ(v.osc.ringMod, 0.4);
  EXPECT_DOUBLE_EQ(v.osc.ringModF, 0.6);
  EXPECT_DOUBLE_EQ(v.osc.pitchNoise, 0.25);  // the base is squared
  EXPECT_DOUBLE_EQ(v.osc.pulseWidth, 0.5 * 0.485 + 0.015);
  // fc = 0.5^2 = 0.25: (0.25 * 21980 + 20) Hz; q = 0.25: 1 / (0.0625 * 39.5 + 0.5).
  EXPECT_DOUBLE_EQ(v.filter.cutoffKHz, (0.25 * 21980.0 + 20.0) * static_cast<double>(0.001f));
  EXPECT_DOUBLE_EQ(v.filter.damping, 1.0 / (0.0625 * 39.5 + 0.5));
}

TEST(Modulation, GeneralRuleSumsTheSourcesBeforeTheClamp) {
  EngineRig r;
  r.snap.lfo1.shape = 2;  // square at +1 from a restarted phase
  r.snap.lfo1.retrigger = 1;
  r.snap.pulseWidth = 0.5;
  r.snap.lfo1To.pw = 0.25;
  r.snap.velTo.pw = 1.0;
  r.snap.modwTo.bitDiv = 0.5;
  r.snap.ringMod = 0.9;
  r.snap.lfo1To.ringMod = 0.5;  // 0.9 + 0.5 clamps to 1
  r.snap.modWheel = 1.0;
  r.engine.MidiReceived(NoteOn(60, 127));
  Render(r.engine, r.snap, 1);
  const VoiceOscillator& o = r.engine.Voice(1).osc;
  // (1 * 0.25 + 0.5) * vel 1 = 0.75; the wheel alone gives 0.5 -> 0.25 * 31 + 1.
  EXPECT_DOUBLE_EQ(o.pulseWidth, 0.75 * 0.485 + 0.015);
  EXPECT_DOUBLE_EQ(o.bitDivider, 0.25 * 31.0 + 1.0);
  EXPECT_DOUBLE_EQ(o.ringMod, 1.0);

  EngineRig soft;  // the velocity factor scales the LFO and base sum, not the wheel term
  soft.snap = r.snap;
  soft.engine.MidiReceived(NoteOn(60, 1));
  Render(soft.engine, soft.snap, 1);
  EXPECT_NEAR(soft.engine.Voice(1).osc.pulseWidth, 0.75 / 127.0 * 0.485 + 0.015, 1e-12);
  EXPECT_DOUBLE_EQ(soft.engine.Voice(1).osc.bitDivider, 0.25 * 31.0 + 1.0);
}

TEST(Modulation, FullVelocityDepthOnCutoffFollowsTheVelocity) {
  EngineRig r;
  r.snap.velTo.fc = 1.0;
  r.engine.MidiReceived(NoteOn(60, 1));
  Render(r.engine, r.snap, 1);
  // fc = min(1, 1^2 * (1/127)): nearly closed at the lowest velocity.
  EXPECT_NEAR(r.engine.Voice(1).filter.cutoffKHz, (21980.0 / 127.0 + 20.0) * 0.001, 1e-6);
}

TEST(Modulation, NegativeAdsr2DepthFadesTheLfoOut) {
  for (double sustain : {0.0, 1.0}) {
    EngineRig r;
    r.snap.lfo1.shape = 2;  // square: +1 in the first half of the cycle
    r.snap.lfo1.retrigger = 1;
    r.snap.lfo1To.pitch = 1.0;
    r.snap.adsr2To.lfo1Amp = -1.0;
    r.snap.adsr2 = AdsrSettings{0.0, 0.0, sustain, 1.0, 0, 0, 0};
    r.engine.MidiReceived(NoteOn(60));
    Render(r.engine, r.snap, 1);
    // env2 = 0: full depth, factor 1 + 1 * 1; env2 = 1: silent LFO, factor 1.
    EXPECT_DOUBLE_EQ(r.engine.Voice(1).osc.pitchRatio, sustain == 0.0 ? 2.0 : 1.0);
  }
}

TEST(Modulation, PitchEnvelopeModeStartsFromZero) {
  EngineRig r;
  r.snap.adsr2PitchMode = 1;
  r.snap.adsr2To.pitch = 1.0;
  r.snap.adsr2 = AdsrSettings{1.0, 0.0, 1.0, 1.0, 0, 0, 0};
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 1);
  // (1 - E) + E * env2 with the first attack tick env2 = 1 / 44100.
  EXPECT_NEAR(r.engine.Voice(1).osc.pitchRatio, 1.0 / 44100.0, 1e-12);
  Render(r.engine, r.snap, 44100);
  EXPECT_NEAR(r.engine.Voice(1).osc.pitchRatio, 1.0, 1e-9);
}

TEST(Modulation, WheelDepthMovesTheCutoff) {
  EngineRig r;
  r.snap.filterFrequency = 0.2;
  r.snap.modwTo.fc = 0.5;
  r.engine.MidiReceived(MidiMessage{0, 0xB0, 1, 127});
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 1);
  // b = 1 * 0.5 + 0.2 = 0.7, squared 0.49.
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).filter.cutoffKHz, (0.49 * 21980.0 + 20.0) * static_cast<double>(0.001f));
}

TEST(Modulation, NewPolyNotesSnapTheirPanMonoGlides) {
  EngineRig r;
  r.snap.pan = 1.0;
  r.engine.MidiReceived(NoteOn(60));
  auto poly = Render(r.engine, r.snap, 256);
  for (double x : poly.left) ASSERT_EQ(x, 0.0);  // hard right from the first sample
  EXPECT_GT(testkit::Peak(poly.right, 0, 256), 0.0);

  EngineRig m;
  m.snap.pan = 1.0;
  m.snap.voiceMode = 0;
  m.engine.MidiReceived(NoteOn(60));
  auto mono = Render(m.engine, m.snap, 256);
  EXPECT_GT(testkit::Peak(mono.left, 0, 256), 0.0);  // the smoother starts from the left
}

TEST(Modulation, FrameTubeDriveIsTheBaseWithoutVoicesAndTheVoiceSumWithOne) {
  EngineRig r;
  r.snap.tubeDrive = 0.3;
  r.snap.modwTo.tubeDrive = 0.5;
  r.engine.MidiReceived(MidiMessage{0, 0xB0, 1, 127});
  Render(r.engine, r.snap, 4);
  EXPECT_DOUBLE_EQ(r.engine.FrameTubeDrive(), 0.8);  // clamp01(1 * 0.5 + 0.3)
  r.snap.modWheel = r.host.wheels.back();  // as the instance mirrors it
  r.snap.velTo.tubeDrive = 1.0;
  r.snap.arpModTo.tubeDrive = 0.0;
  r.engine.MidiReceived(NoteOn(60, 127));
  Render(r.engine, r.snap, 4);
  EXPECT_DOUBLE_EQ(r.engine.FrameTubeDrive(), 0.8);  // velocity factor 1 at full velocity
  r.snap.adsr2To.tubeDrive = 1.0;  // ADSR2 at its 0.5 sustain adds 0.5, unclamped
  r.engine.MidiReceived(NoteOn(62, 127));
  Render(r.engine, r.snap, 20000);
  EXPECT_NEAR(r.engine.FrameTubeDrive(), 1.3, 1e-9);
}

}  // namespace
}  // namespace morvanta
