// The edit history and A/B compare, driven the way a musician drives them:
// presses and releases on the panel's controls and its four buttons.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "instrument/ParamTable.h"
#include "plugin/Vst2Abi.h"
#include "support/PanelRig.h"

namespace morvanta {
namespace {

using testing::PanelRig;

double Gain(PanelRig& rig) { return rig.Value(kAmpGain); }

TEST(EditHistoryTest, AReleaseRecordsOnlyWhenTheSoundChanged) {
  PanelRig rig;
  rig.Click(kAmpGain);
  EXPECT_EQ(rig.Synth().History().UndoCount(), 0);
  rig.Drag(kAmpGain, 12, 0);
  EXPECT_EQ(rig.Synth().History().UndoCount(), 1);
  EXPECT_TRUE(rig.Synth().History().Current() == rig.Synth().Snapshot());
  rig.Click(kChorusOn);  // a switch records on its release too
  EXPECT_EQ(rig.Synth().History().UndoCount(), 2);
}

TEST(EditHistoryTest, ThreeEditsUndoToTheFirstSoundAndRedoBack) {
  PanelRig rig;
  rig.Edit(kAmpGain, 0.6);
  rig.Edit(kAmpGain, 0.7);
  rig.Edit(kAmpGain, 0.8);
  for (int i = 0; i < 3; ++i) rig.Click(kUndoButton);
  EXPECT_DOUBLE_EQ(Gain(rig), 50.0);
  EXPECT_DOUBLE_EQ(rig.Synth().Snapshot().ampGain, 0.5);
  rig.Click(kUndoButton);  // nothing left to undo
  EXPECT_DOUBLE_EQ(Gain(rig), 50.0);
  for (int i = 0; i < 3; ++i) rig.Click(kRedoButton);
  EXPECT_NEAR(Gain(rig), 80.0, 1e-9);
  rig.Click(kRedoButton);
  EXPECT_NEAR(Gain(rig), 80.0, 1e-9);
  // The control follows the restored value.
  EXPECT_NEAR(rig.Panel().ControlForParam(kAmpGain)->Value(), 0.8, 1e-9);
}

TEST(EditHistoryTest, AnEditAfterUndoClearsRedo) {
  PanelRig rig;
  rig.Edit(kAmpGain, 0.6);
  rig.Edit(kAmpGain, 0.7);
  rig.Click(kUndoButton);
  ASSERT_EQ(rig.Synth().History().RedoCount(), 1);
  rig.Edit(kPan, 0.1);
  EXPECT_EQ(rig.Synth().History().RedoCount(), 0);
  rig.Click(kRedoButton);
  EXPECT_NEAR(Gain(rig), 60.0, 1e-9);
  EXPECT_NEAR(rig.Value(kPan), 10.0, 1e-9);
}

TEST(EditHistoryTest, UndoRevertsAnUnrecordedChange) {
  PanelRig rig;
  rig.Synth().Effect()->setParameter(rig.Synth().Effect(), kAmpGain, 0.9f);
  rig.Click(kUndoButton);
  EXPECT_DOUBLE_EQ(Gain(rig), 50.0);
}

TEST(EditHistoryTest, ButtonsShowPressedUntilReleaseAndReturnToZero) {
  PanelRig rig;
  rig.Edit(kAmpGain, 0.6);
  rig.events.clear();
  PanelControl* undo = rig.Panel().ControlForParam(kUndoButton);
  rig.Panel().MouseDown(rig.CentreX(kUndoButton), rig.CentreY(kUndoButton), 1, 0);
  EXPECT_EQ(undo->Value(), 1.0);
  EXPECT_EQ(rig.Value(kUndoButton), 1.0);
  rig.Panel().MouseUp(rig.CentreX(kUndoButton), rig.CentreY(kUndoButton), 0);
  EXPECT_EQ(undo->Value(), 0.0);
  EXPECT_EQ(rig.Value(kUndoButton), 0.0);
  std::vector<std::pair<int, float>> automations;
  for (const auto& e : rig.events)
    if (e.opcode == vst::audioMasterAutomate && e.index == kUndoButton) automations.push_back({e.index, e.value});
  ASSERT_EQ(automations.size(), 2u);
  EXPECT_EQ(automations[0].second, 1.0f);
  EXPECT_EQ(automations[1].second, 0.0f);
}

TEST(EditHistoryTest, ABOnAFreshInstanceSwapsWithTheDefaultSound) {
  PanelRig rig;
  rig.Edit(kAmpGain, 0.8);
  rig.Click(kAbSwitch);
  EXPECT_EQ(rig.Synth().AbSide(), 1);
  EXPECT_EQ(rig.Value(kAbSwitch), 1.0);
  EXPECT_DOUBLE_EQ(Gain(rig), 50.0);  // B holds the default sound
  EXPECT_EQ(rig.Synth().History().UndoCount(), 2);  // the switch is a step
  rig.Click(kAbSwitch);
  EXPECT_EQ(rig.Synth().AbSide(), 0);
  EXPECT_EQ(rig.Value(kAbSwitch), 0.0);
  EXPECT_NEAR(Gain(rig), 80.0, 1e-9);
  EXPECT_EQ(rig.Synth().History().UndoCount(), 3);
}

TEST(EditHistoryTest, CopyGivesTheOtherSideTheLastRecordedSound) {
  PanelRig rig;
  rig.Edit(kAmpGain, 0.7);
  // Changed by the host, not recorded: copy takes the recorded 70.
  rig.Synth().Effect()->setParameter(rig.Synth().Effect(), kAmpGain, 0.9f);
  rig.Click(kCopyButton);
  EXPECT_EQ(rig.Value(kCopyButton), 0.0);
  rig.Click(kAbSwitch);
  EXPECT_NEAR(Gain(rig), 70.0, 1e-9);
}

TEST(EditHistoryTest, UndoAfterABRestoresTheSoundButKeepsTheSide) {
  PanelRig rig;
  rig.Edit(kAmpGain, 0.8);
  rig.Click(kAbSwitch);
  rig.Click(kUndoButton);
  EXPECT_NEAR(Gain(rig), 80.0, 1e-9);
  EXPECT_EQ(rig.Synth().AbSide(), 1);
  EXPECT_EQ(rig.Value(kAbSwitch), 1.0);
  EXPECT_DOUBLE_EQ(rig.Synth().History().StoreA().ampGain, 0.8);
}

TEST(EditHistoryTest, TheRingWrapsAndUndoStopsBeforeOverwrittenEntries) {
  PanelRig rig;
  // 1001 recorded edits: the last one lands on entry 1, entry 0 was
  // overwritten by the 1000th.
  for (int i = 1; i <= 1001; ++i) rig.Edit(kAmpGain, (i % 2) ? 0.25 : 0.75);
  rig.Edit(kPan, 0.0);  // a distinct last sound
  const auto& h = rig.Synth().History();
  EXPECT_EQ(h.Position(), 1002 % 1000);
  EXPECT_EQ(h.UndoCount(), 999);
  for (int i = 0; i < 999; ++i) rig.Click(kUndoButton);
  EXPECT_EQ(h.UndoCount(), 0);
  EXPECT_EQ(h.Position(), 3);
  // Entry 3 is the 3rd edit (0.25 at odd counts); one more undo stays.
  EXPECT_NEAR(Gain(rig), 25.0, 1e-9);
  rig.Click(kUndoButton);
  EXPECT_EQ(h.Position(), 3);
  EXPECT_NEAR(Gain(rig), 25.0, 1e-9);
  EXPECT_DOUBLE_EQ(rig.Value(kPan), 50.0);
}

TEST(EditHistoryTest, APresetLoadIsRecordedAndTheFirstBlockSeeds) {
  PanelRig rig;
  AEffect* e = rig.Synth().Effect();
  rig.Edit(kAmpGain, 0.6);
  e->dispatcher(e, vst::effSetProgram, 0, 1, nullptr, 0.0f);  // program 0 keeps 60
  rig.Edit(kAmpGain, 0.9);
  e->dispatcher(e, vst::effSetProgram, 0, 0, nullptr, 0.0f);
  const auto& h = rig.Synth().History();
  EXPECT_NEAR(Gain(rig), 60.0, 1e-9);
  // The edit, program 1's factory sound, the edit there, and program 0 again.
  EXPECT_EQ(h.UndoCount(), 4);
  EXPECT_TRUE(h.Current() == rig.Synth().Snapshot());
  rig.Click(kUndoButton);
  EXPECT_NEAR(Gain(rig), 90.0, 1e-9);

  // Before the first block the history is reseeded with the sound then.
  rig.RenderBlock();
  EXPECT_EQ(h.UndoCount(), 0);
  EXPECT_EQ(h.RedoCount(), 0);
  EXPECT_EQ(h.Position(), 0);
  EXPECT_TRUE(h.Current() == rig.Synth().Snapshot());
}

TEST(EditHistoryTest, RecordingOnReleaseWaitsForTheInstanceLock) {
  PanelRig rig;
  rig.Panel().MouseDown(rig.CentreX(kAmpGain), rig.CentreY(kAmpGain), 1, 0);
  rig.Panel().MouseDrag(rig.CentreX(kAmpGain) + 30, rig.CentreY(kAmpGain), kModLeftButton);
  std::unique_lock<InstanceLock> hold(rig.Synth().Lock());
  std::thread release([&] { rig.Panel().MouseUp(rig.CentreX(kAmpGain) + 30, rig.CentreY(kAmpGain), 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(rig.Synth().History().UndoCount(), 0);  // still waiting
  hold.unlock();
  release.join();
  EXPECT_EQ(rig.Synth().History().UndoCount(), 1);
}

}  // namespace
}  // namespace morvanta
