// Notes and voices: event timing, allocation and stealing in POLY, MONO
// legato, LIVE ARP, glide, and what Reset leaves behind.
#include <gtest/gtest.h>

#include <cmath>

#include "support/EngineTestKit.h"

namespace morvanta {
namespace {

using testkit::NoteOff;
using testkit::NoteOn;
using testkit::Render;

using testkit::EngineRig;

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
  // A voice released to idle is taken before any sounding one.
  const int target = (youngest + 5) % 16;
  r.engine.MidiReceived(NoteOff(r.engine.Voice(target).osc.Note()));
  r.engine.MidiReceived(NoteOn(90));
  Render(r.engine, r.snap, 1);
  EXPECT_EQ(r.engine.Voice(target).osc.Note(), 90);
}

TEST(VoiceAllocation, EventsStartAtTheirOffsetInArrivalOrder) {
  EngineRig r;
  r.snap.oscShape = 3;  // a saw starts at +1, so a note's first sample is not 0
  r.engine.MidiReceived(NoteOn(64, 127, 700));
  r.engine.MidiReceived(NoteOn(60, 127, 100));
  r.engine.MidiReceived(NoteOn(62, 127, 100));
  auto out = Render(r.engine, r.snap, 512, 44100.0, 512);
  for (int s = 0; s < 100; ++s) ASSERT_EQ(out.left[s], 0.0) << s;
  EXPECT_NE(out.left[100], 0.0);
  EXPECT_EQ(r.engine.Voice(1).osc.Note(), 60);
  EXPECT_EQ(r.engine.Voice(2).osc.Note(), 62);
  ASSERT_EQ(r.engine.QueuedEvents(), 1);  // the late one waits, 512 frames nearer
  EXPECT_EQ(r.engine.Queue().At(0).offset, 188);
}

TEST(VoiceAllocation, MonoRestartsVoiceZeroWithLegato) {
  EngineRig r;
  r.snap.voiceMode = 0;
  r.snap.adsr1 = AdsrSettings{0.0, 0.0, 1.0, 0.5, 0, 1, 0};  // legato envelope
  r.engine.MidiReceived(NoteOn(60));
  Render(r.engine, r.snap, 100);
  const double phase = r.engine.Voice(0).osc.MasterPhase();
  r.engine.MidiReceived(NoteOn(67));
  r.engine.MidiReceived(NoteOff(60));  // not the sounding note: ignored
  Render(r.engine, r.snap, 1);
  const VoiceSlot& v = r.engine.Voice(0);
  EXPECT_EQ(v.osc.Note(), 67);
  EXPECT_EQ(v.adsr1.GetStage(), Adsr::kSustain);  // the held envelope continues
  EXPECT_NEAR(v.osc.MasterPhase(), std::fmod(phase + v.osc.TargetIncrement(), 1.0), 1e-12);
  r.snap.adsr1.legato = 0;  // without the switch the envelope restarts from 0
  r.snap.adsr1.attack = 0.5;
  r.engine.MidiReceived(NoteOn(72));
  Render(r.engine, r.snap, 1);
  EXPECT_NEAR(v.adsr1.Level(), 1.0 / (0.5 * 44100.0), 1e-12);
}

TEST(VoiceAllocation, NewNoteGlidesFromTheLastStartedVoice) {
  EngineRig r;
  r.snap.glideTime = 0.5;  // 2 * 0.5^2 = 0.5 s
  r.engine.MidiReceived(NoteOn(57));
  Render(r.engine, r.snap, 100);
  r.engine.MidiReceived(NoteOn(69));
  Render(r.engine, r.snap, 1);
  EXPECT_DOUBLE_EQ(r.engine.Voice(1).osc.CurrentIncrement(), 220.0 / 44100.0);  // nothing to glide from
  const double inc = r.engine.Voice(2).osc.CurrentIncrement();  // one step from 220 toward 440 Hz
  EXPECT_GT(inc, 220.0 / 44100.0);
  EXPECT_LT(inc, 221.0 / 44100.0);
}

TEST(VoiceAllocation, LiveArpPlaysTheHeldKeysUpDownAndHoldsTheLastStepInRelease) {
  EngineRig r;
  r.snap.voiceMode = 1;
  r.snap.arpLiveDirection = 2;  // UP-DOWN, 0.125 s steps
  for (int n : {60, 64, 67}) r.engine.MidiReceived(NoteOn(n));
  std::vector<long> semitones;
  for (int step = 0; step < 6; ++step) {
    Render(r.engine, r.snap, step == 0 ? 2756 : 5512);
    semitones.push_back(std::lround(12.0 * std::log2(r.engine.Voice(0).osc.steps.Ratio())));
  }
  EXPECT_EQ(semitones, (std::vector<long>{0, 4, 7, 4, 0, 4}));
  for (int n : {60, 64, 67}) r.engine.MidiReceived(NoteOff(n));
  Render(r.engine, r.snap, 6000);
  EXPECT_EQ(r.engine.Voice(0).adsr1.GetStage(), Adsr::kRelease);
  EXPECT_EQ(std::lround(12.0 * std::log2(r.engine.Voice(0).osc.steps.Ratio())), 4);
}

TEST(VoiceAllocation, DroppingFromPolyToMonoKeepsNotesOnVoiceZero) {
  EngineRig r;
  for (int i = 0; i < 8; ++i) r.engine.MidiReceived(NoteOn(50 + i));
  Render(r.engine, r.snap, 10);
  r.snap.voiceMode = 0;  // the last allocated voice (8) lies outside the one active voice
  r.engine.MidiReceived(NoteOn(70));
  auto out = Render(r.engine, r.snap, 200);
  EXPECT_EQ(r.engine.Voice(0).osc.Note(), 70);
  EXPECT_GT(testkit::Peak(out.left, 100, 200), 0.0);
}

TEST(VoiceAllocation, ResetSilencesAtOnceAndForgetsHeldKeys) {
  EngineRig r;
  r.snap.voiceMode = 1;
  r.engine.MidiReceived(NoteOn(60));
  auto before = Render(r.engine, r.snap, 2000);
  r.engine.Reset(44100.0, 512);
  auto after = Render(r.engine, r.snap, 4000);
  // Only the 30 Hz output high-pass rings out the cut.
  EXPECT_LT(testkit::Peak(after.left, 0, 4000), 0.2 * testkit::Peak(before.left, 1000, 2000));
  EXPECT_LT(testkit::Peak(after.left, 3000, 4000), 1e-4);
  r.engine.MidiReceived(NoteOn(62));  // the key whose note-off never came does not block it
  Render(r.engine, r.snap, 10);
  EXPECT_FALSE(r.engine.Voice(0).adsr1.IsIdle());
}

TEST(VoiceAllocation, PitchWheelAndModWheelFromMidi) {
  EngineRig r;
  r.engine.MidiReceived(MidiMessage{0, 0xE0, 0, 0});
  r.engine.MidiReceived(MidiMessage{0, 0xB0, 1, 127});
  r.engine.SetAftertouchToModW(false);
  r.engine.MidiReceived(MidiMessage{0, 0xD0, 10, 0});  // ignored with the switch off
  Render(r.engine, r.snap, 1);
  EXPECT_DOUBLE_EQ(r.engine.PitchBendFactor(), 0.5);  // 2^(-1 * 12 / 12)
  EXPECT_EQ(r.host.wheels, std::vector<double>{1.0});
}

// A host that floods the queue with far-future note-ons (or note-offs) still
// ends the notes it plays: no note hangs for want of room.
TEST(VoiceAllocation, NoteOffEndsItsNoteWhenTheQueueIsFull) {
  for (const uint8_t floodStatus : {uint8_t{0x90}, uint8_t{0x80}}) {
    EngineRig r;
    r.engine.MidiReceived(NoteOn(60));
    Render(r.engine, r.snap, 64);
    ASSERT_FALSE(r.engine.Voice(r.engine.LastAllocatedVoice()).adsr1.IsIdle());
    const int voice = r.engine.LastAllocatedVoice();
    for (int i = 0; i < EventQueue::kCapacity + 100; ++i)
      r.engine.MidiReceived(MidiMessage{1000000 + i, floodStatus, static_cast<uint8_t>(i % 50), 90});
    EXPECT_EQ(r.engine.QueuedEvents(), EventQueue::kCapacity);
    r.engine.MidiReceived(NoteOff(60, 10));
    Render(r.engine, r.snap, 64);
    EXPECT_EQ(r.engine.Voice(voice).osc.Note(), -1) << std::hex << int(floodStatus);
    EXPECT_EQ(r.engine.Queue().Capacity(), EventQueue::kCapacity);
  }
}

}  // namespace
}  // namespace morvanta
