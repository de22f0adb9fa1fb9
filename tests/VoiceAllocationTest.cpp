// Notes and voices: the event queue's timing, allocation and stealing in
// POLY, MONO legato, LIVE ARP, pitch bend and the mod wheel from MIDI.
#include <gtest/gtest.h>

#include <cmath>

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

TEST(VoiceAllocation, NewNotesSearchFromTheLastAllocatedVoice) {
  EngineRig r;
  for (int i = 0; i < 3; ++i) r.engine.MidiReceived(NoteOn(60 + i));
  Render(r.engine, r.snap, 64);
  // The search starts one past the last allocated voice (0): voices 1, 2, 3.
  EXPECT_EQ(r.engine.Voice(1).osc.Note(), 60);
  EXPECT_EQ(r.engine.Voice(2).osc.Note(), 61);
  EXPECT_EQ(r.engine.Voice(3).osc.Note(), 62);
  EXPECT_TRUE(r.engine.Voice(0).adsr1.IsIdle());
}

TEST(VoiceAllocation, SeventeenthNoteStealsTheLowestLevel) {
  EngineRig r;
  r.snap.adsr1.attack = 1.0;  // levels rise with age: the youngest voice is the lowest
  r.snap.adsr1.release = 0.0;
  for (int i = 0; i < 16; ++i) r.engine.MidiReceived(NoteOn(40 + i, 100, 10 * i));
  Render(r.engine, r.snap, 200);
  const int youngest = r.engine.LastAllocatedVoice();
  EXPECT_EQ(r.engine.Voice(youngest).osc.Note(), 55);
  r.engine.MidiReceived(NoteOn(80));
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(youngest).osc.Note(), 80);
  int sounding = 0;
  for (int v = 0; v < 16; ++v) sounding += !r.engine.Voice(v).adsr1.IsIdle();
  EXPECT_EQ(sounding, 16);

  // A voice released to idle (release 0) is taken before any sounding one.
  const int target = (youngest + 5) % 16;
  const int note = r.engine.Voice(target).osc.Note();
  r.engine.MidiReceived(NoteOff(note));
  r.engine.MidiReceived(NoteOn(90));
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(target).osc.Note(), 90);
}

TEST(VoiceAllocation, NoteOffForAnUnplayedNoteChangesNothing) {
  EngineRig r;
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 10);
  r.engine.MidiReceived(NoteOff(61));
  Render(r.engine, r.snap, 10);
  EXPECT_EQ(r.engine.Voice(1).osc.Note(), 60);
  EXPECT_EQ(r.engine.Voice(1).adsr1.GetStage(), Adsr::kAttack);
}

TEST(VoiceAllocation, MonoRestartsVoiceZeroWithLegato) {
  EngineRig r;
  r.snap.voiceMode = 0;
  r.snap.adsr1 = AdsrSettings{0.0, 0.0, 1.0, 0.5, 0, 1, 0};  // legato envelope
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 100);
  const double phase = r.engine.Voice(0).osc.MasterPhase();
  r.engine.MidiReceived(NoteOn(67));
  Render(r.engine, r.snap, 1);
  const VoiceSlot& v = r.engine.Voice(0);
  EXPECT_EQ(v.osc.Note(), 67);
  EXPECT_EQ(v.adsr1.GetStage(), Adsr::kSustain);  // the held envelope continues
  // Legato oscillator: the phase went on from where it was (one step of 67's increment).
  EXPECT_NEAR(v.osc.MasterPhase(), std::fmod(phase + v.osc.TargetIncrement(), 1.0), 1e-12);

  r.engine.MidiReceived(NoteOff(60));  // not voice 0's note: nothing happens
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(0).adsr1.GetStage(), Adsr::kSustain);
  r.engine.MidiReceived(NoteOff(67));
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(0).adsr1.GetStage(), Adsr::kRelease);

  r.snap.adsr1.legato = 0;  // without the switch the envelope restarts from 0
  r.snap.adsr1.attack = 0.5;
  r.engine.MidiReceived(NoteOn(72));
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(0).adsr1.GetStage(), Adsr::kAttack);
  EXPECT_NEAR(r.engine.Voice(0).adsr1.Level(), 1.0 / (0.5 * 44100.0), 1e-12);
}

TEST(VoiceAllocation, EqualOffsetsKeepArrivalOrder) {
  EngineRig r;
  r.snap.voiceMode = 0;
  r.engine.MidiReceived(NoteOn(64, 100, 7));
  r.engine.MidiReceived(NoteOn(60, 100, 5));
  r.engine.MidiReceived(NoteOn(62, 100, 5));
  EXPECT_EQ(r.engine.Queue().At(0).data1, 60);
  EXPECT_EQ(r.engine.Queue().At(1).data1, 62);
  EXPECT_EQ(r.engine.Queue().At(2).data1, 64);
  Render(r.engine, r.snap, 7);
  EXPECT_EQ(r.engine.Voice(0).osc.Note(), 62);
}

TEST(VoiceAllocation, EventsStartAtTheirOffsetAndLateOnesWait) {
  EngineRig r;
  r.snap.oscShape = 3;  // a saw starts at +1, so the first sample is not 0
  r.snap.adsr1.attack = 0.0;
  r.engine.MidiReceived(NoteOn(60, 127, 100));
  r.engine.MidiReceived(NoteOn(64, 127, 700));
  auto out = Render(r.engine, r.snap, 512, 44100.0, 512);
  for (int s = 0; s < 100; ++s) ASSERT_EQ(out.left[s], 0.0) << s;
  EXPECT_NE(out.left[100], 0.0);
  ASSERT_EQ(r.engine.QueuedEvents(), 1);
  EXPECT_EQ(r.engine.Queue().At(0).offset, 700 - 512);

  double none[1];
  r.engine.RenderBlock(r.snap, none, none, 0, 44100.0);  // an empty block leaves the queue alone
  EXPECT_EQ(r.engine.Queue().At(0).offset, 188);
}

TEST(VoiceAllocation, SystemMessagesAndProgramChangesAreDropped) {
  EngineRig r;
  r.engine.MidiReceived(MidiMessage{0, 0xF8, 0, 0});
  r.engine.MidiReceived(MidiMessage{0, 0xC0, 5, 0});
  r.engine.MidiReceived(MidiMessage{0, 0xA0, 60, 10});
  r.engine.MidiReceived(MidiMessage{0, 0x40, 60, 10});
  EXPECT_EQ(r.engine.QueuedEvents(), 0);
  for (int i = 0; i < 3000; ++i) r.engine.MidiReceived(NoteOn(60, 1, 4000));  // grows past 1024
  EXPECT_EQ(r.engine.QueuedEvents(), 3000);
}

TEST(VoiceAllocation, PitchBendAndModWheelFromMidi) {
  EngineRig r;
  r.engine.MidiReceived(MidiMessage{0, 0xE0, 0, 0});
  Render(r.engine, r.snap, 1);
  EXPECT_DOUBLE_EQ(r.engine.PitchBendFactor(), 0.5);  // 2^(-1 * 12 / 12)
  r.engine.MidiReceived(MidiMessage{0, 0xE3, 0, 64});  // centre on another channel
  Render(r.engine, r.snap, 1);
  EXPECT_DOUBLE_EQ(r.engine.PitchBendFactor(), 1.0);

  r.engine.MidiReceived(MidiMessage{0, 0xB0, 1, 127});
  r.engine.MidiReceived(MidiMessage{0, 0xB0, 7, 20});  // other controllers are ignored
  Render(r.engine, r.snap, 1);
  EXPECT_DOUBLE_EQ(r.engine.ModWheel(), 1.0);
  ASSERT_EQ(r.host.wheels.size(), 1u);
  EXPECT_DOUBLE_EQ(r.host.wheels[0], 1.0);

  r.engine.SetAftertouchToModW(false);
  r.engine.MidiReceived(MidiMessage{0, 0xD0, 10, 0});
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.host.wheels.size(), 1u);
  r.engine.SetAftertouchToModW(true);
  r.engine.MidiReceived(MidiMessage{0, 0xD0, 127, 0});
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.host.wheels.size(), 2u);
}

TEST(VoiceAllocation, NewNoteGlidesFromTheLastStartedVoice) {
  EngineRig r;
  r.snap.glideTime = 0.5;  // 2 * 0.5^2 = 0.5 s
  r.engine.MidiReceived(NoteOn(57));
  Render(r.engine, r.snap, 100);
  r.engine.MidiReceived(NoteOn(69));
  Render(r.engine, r.snap, 1);
  const VoiceOscillator& o = r.engine.Voice(2).osc;
  EXPECT_EQ(o.Note(), 69);
  EXPECT_GT(o.CurrentIncrement(), 220.0 / 44100.0);
  EXPECT_LT(o.CurrentIncrement(), 221.0 / 44100.0);  // one sample of a 0.5 s glide from 220 Hz
  // The first note had nothing sounding before it: no glide.
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).osc.CurrentIncrement(), 220.0 / 44100.0);
}

TEST(VoiceAllocation, DroppingFromPolyToMonoKeepsNotesOnVoiceZero) {
  EngineRig r;
  for (int i = 0; i < 8; ++i) r.engine.MidiReceived(NoteOn(50 + i));
  Render(r.engine, r.snap, 10);
  EXPECT_EQ(r.engine.LastAllocatedVoice(), 8);
  r.snap.voiceMode = 0;
  r.engine.MidiReceived(NoteOn(70));
  auto out = Render(r.engine, r.snap, 200);
  EXPECT_EQ(r.engine.Voice(0).osc.Note(), 70);
  EXPECT_GT(testkit::Peak(out.left, 100, 200), 0.0);
}

TEST(VoiceAllocation, LiveArpPlaysTheHeldKeysUpAndDown) {
  EngineRig r;
  r.snap.voiceMode = 1;
  r.snap.arpLiveDirection = 2;  // UP-DOWN
  r.snap.arpTempoDivider = 16.0;  // 0.125 s steps = 5512.5 samples
  for (int n : {60, 64, 67}) r.engine.MidiReceived(NoteOn(n));
  std::vector<int> semis;
  for (int step = 0; step < 6; ++step) {
    Render(r.engine, r.snap, step == 0 ? 2756 : 5512);
    semis.push_back(static_cast<int>(std::lround(12.0 * std::log2(r.engine.Voice(0).osc.steps.Ratio()))));
  }
  EXPECT_EQ(semis, (std::vector<int>{0, 4, 7, 4, 0, 4}));
  EXPECT_EQ(r.engine.Voice(0).osc.Note(), 60);  // only the first key started the voice

  for (int n : {60, 64, 67}) r.engine.MidiReceived(NoteOff(n));
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(0).adsr1.GetStage(), Adsr::kRelease);
  EXPECT_TRUE(r.engine.Voice(0).osc.releaseHold);
}

TEST(VoiceAllocation, ResetSilencesAtOnceAndForgetsHeldKeys) {
  EngineRig r;
  r.snap.voiceMode = 1;
  r.engine.MidiReceived(NoteOn(60));
  auto before = Render(r.engine, r.snap, 2000);
  EXPECT_GT(testkit::Peak(before.left, 1000, 2000), 0.01);
  r.engine.Reset(44100.0, 512);
  for (int v = 0; v < 16; ++v) EXPECT_TRUE(r.engine.Voice(v).adsr1.IsIdle());
  auto after = Render(r.engine, r.snap, 4000);
  // Only the 30 Hz output high-pass still rings out the cut.
  EXPECT_LT(testkit::Peak(after.left, 0, 4000), 0.2 * testkit::Peak(before.left, 1000, 2000));
  EXPECT_LT(testkit::Peak(after.left, 3000, 4000), 1e-4);
  // The key whose note-off never came no longer blocks the arpeggiator.
  r.engine.MidiReceived(NoteOn(62));
  Render(r.engine, r.snap, 10);
  EXPECT_FALSE(r.engine.Voice(0).adsr1.IsIdle());
}

}  // namespace
}  // namespace morvanta
