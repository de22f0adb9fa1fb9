// The parameter display: the name and value text of the parameter touched
// last, computed from the engine's units at the end of each block and
// formatted on the window's side, the same in every locale.
#include <gtest/gtest.h>

#include <string>

#include "editor/PanelEditor.h"
#include "instrument/PanelDisplayText.h"
#include "instrument/ParamTable.h"
#include "support/CommaLocale.h"
#include "support/PanelRig.h"

namespace morvanta {
namespace {

using testing::PanelRig;

std::string DisplayText(PanelRig& rig) {
  rig.Panel().SyncNow();
  return rig.Panel().Display()->Text();
}

// Sets a plain value the way a host load does, renders a block, reads the display.
std::string Shown(PanelRig& rig, int param, double plain) {
  rig.Synth().ParameterAt(param)->value = plain;
  rig.Synth().ParameterChanged(param);
  rig.RenderBlock();
  return DisplayText(rig);
}

// The value line alone.
std::string Value(PanelRig& rig, int param, double plain) {
  const std::string s = Shown(rig, param, plain);
  const std::size_t cut = s.find(" \n");
  return cut == std::string::npos ? "<" + s + ">" : s.substr(cut + 2);
}

TEST(PanelDisplayTest, ShowsNameAndValueOnTwoLines) {
  PanelRig rig;
  rig.RenderBlock();
  EXPECT_EQ(DisplayText(rig), "");  // nothing touched yet
  EXPECT_EQ(Shown(rig, kAmpGain, 50.0), "Amp gain \n50.000000 %");
}

TEST(PanelDisplayTest, PercentUnitsAndCurves) {
  PanelRig rig;
  EXPECT_EQ(Value(rig, kReverbLength, 25.0), "25.000000 %");
  EXPECT_EQ(Value(rig, kHarmonics1 + 4, 30.0), "30.000000 %");
  EXPECT_EQ(Value(rig, kArpMod1 + 2, -40.0), "-40.000000 %");
  EXPECT_EQ(Value(rig, kPitch, -7.0), "-7 semitones");
  EXPECT_EQ(Value(rig, kPitchRange, 12.0), "12 semitones");
  EXPECT_EQ(Value(rig, kArpPitch1 + 2, 5.0), "5 semitones");
  EXPECT_EQ(Value(rig, kFine, -55.5), "-55 cents");
  EXPECT_EQ(Value(rig, kAdsr1Attack, 0.625), "0.625000 s");
  EXPECT_EQ(Value(rig, kAdsr2Release, 2.0), "2.000000 s");
  EXPECT_EQ(Value(rig, kFilterFrequency, 100.0), "22000.000000 HZ");
  EXPECT_EQ(Value(rig, kFilterFrequency, 50.0), "5515.000000 HZ");  // 20 + 21980 / 4
  EXPECT_EQ(Value(rig, kArpStepsCount, 8.0), "8 steps");
  EXPECT_EQ(Value(rig, kArpLoopStart, 3.0), "3");
  EXPECT_EQ(Value(rig, kArpTempoDivider, 17.0), "8");  // int(17 * 0.5)
  EXPECT_EQ(Value(rig, kArpShape1 + 15, 2.0), "2 shape offset");
  // No row of the table: as the host shows it.
  EXPECT_EQ(Value(rig, kGlideTime, 0.25), "0.25 %");
}

TEST(PanelDisplayTest, FilterMixNamesTheTwoNeighbouringModes) {
  PanelRig rig;
  EXPECT_EQ(Value(rig, kFilterMix, 0.0), "LP100 % BP0 %");
  EXPECT_EQ(Value(rig, kFilterMix, 25.0), "LP50 % BP50 %");
  EXPECT_EQ(Value(rig, kFilterMix, 50.0), "BP100 % HP0 %");
  EXPECT_EQ(Value(rig, kFilterMix, 100.0), "BP0 % HP100 %");
}

TEST(PanelDisplayTest, LfoRatesShowHertzOrTheSyncedDivision) {
  PanelRig rig;
  EXPECT_EQ(Value(rig, kLfo1Frequency, 50.0), "16.000000 Hz");  // 0.5² * 64
  Shown(rig, kLfo1Sync, 1.0);
  EXPECT_EQ(Value(rig, kLfo1Frequency, 100.0), "1/16");
  EXPECT_EQ(Value(rig, kLfo1Frequency, 0.0), "4/1");
  Shown(rig, kLfo2Sync, 1.0);
  EXPECT_EQ(Value(rig, kLfo2Frequency, 40.0), "1/2");  // int(0.4 * 9) = 3
  EXPECT_EQ(Value(rig, kLfo2Frequency, 60.0), "1/4");  // 5
}

TEST(PanelDisplayTest, DelayTimeShowsMillisecondsOrTheSyncedDivision) {
  PanelRig rig;
  EXPECT_EQ(Value(rig, kDelayTime, 400.0), "400.000000 ms");
  Shown(rig, kDelayTempoSync, 1.0);
  EXPECT_EQ(Value(rig, kDelayTime, 20.0), "1/32");
  EXPECT_EQ(Value(rig, kDelayTime, 400.0), "1/8");  // int(380 / 980 * 10) = 3
  EXPECT_EQ(Value(rig, kDelayTime, 1000.0), "1/1");
}

TEST(PanelDisplayTest, ModesAndSwitchesByName) {
  PanelRig rig;
  const struct {
    int param;
    double value;
    const char* text;
  } rows[] = {
      {kVoiceMode, 1, "LIVE ARP"},      {kOscShape, 4, "MULTIPULSE"},  {kLfo1Shape, 4, "RAND STEP"},
      {kLfo2Shape, 5, "RAND RAMP"},     {kPulseWidthMode, 1, "CLASSIC"}, {kRingModMode, 1, "SAW"},
      {kAdsr2ToPitchMode, 1, "MULT"},   {kArpLiveDirection, 3, "DOWN-UP"}, {kModMode, 1, "DOUBLE"},
      {kDelayPingPongType, 1, "OFFSET"}, {kArpPage, 2, "MOD"},         {kArpOn, 1, "ON"},
      {kAdsr1Legato, 0, "OFF"},         {kLfo2Retrigger, 1, "ON"},     {kAftertouchToModW, 1, "ON"},
      {kChorusOn, 1, "On"},             {kReverbOn, 0, "OFF"},         {kDelayTempoSync, 1, "On"},
  };
  for (const auto& r : rows) EXPECT_EQ(Value(rig, r.param, r.value), r.text) << r.param;
}

TEST(PanelDisplayTest, AnEnumeratedValueOutsideItsListShowsOnlyTheName) {
  const PlugParameter* mode = nullptr;
  PanelRig rig;
  mode = rig.Synth().ParameterAt(kVoiceMode);
  char out[64];
  FormatPanelDisplay(mode, DisplayReading{kVoiceMode, 7.0, 0}, out, sizeof out);
  EXPECT_STREQ(out, "Voice mode \n");
  // A short buffer is cut, never overrun.
  FormatPanelDisplay(mode, DisplayReading{kVoiceMode, 1.0, 0}, out, 8);
  EXPECT_STREQ(out, "Voice m");
}

TEST(PanelDisplayTest, TextsDoNotFollowTheLocale) {
  testing::CommaLocale comma;
  if (!comma.Active()) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  PanelRig rig;
  EXPECT_EQ(Value(rig, kAdsr1Attack, 0.5), "0.500000 s");
  EXPECT_EQ(Value(rig, kGlideTime, 0.5), "0.50 %");
}

TEST(PanelDisplayTest, CommandButtonsBlankTheDisplayForOneBlock) {
  PanelRig rig;
  rig.RenderBlock();  // the first block seeds the history
  rig.Edit(kAmpGain, 0.6);
  rig.RenderBlock();
  ASSERT_EQ(DisplayText(rig), "Amp gain \n60.000000 %");
  rig.Click(kUndoButton);
  rig.RenderBlock();
  EXPECT_EQ(DisplayText(rig), "");
  rig.RenderBlock();
  EXPECT_EQ(DisplayText(rig), "Amp gain \n50.000000 %");
}

TEST(PanelDisplayTest, StepRowsFollowTheArpPage) {
  PanelRig rig;
  PanelEditor& p = rig.Panel();
  auto rowShown = [&](int row) {
    p.SyncNow();
    for (int k = 0; k < kStepRowLength; ++k)
      if (p.ControlAt(p.StepRowFirst(row) + k)->IsHidden()) return false;
    return true;
  };
  auto rowHidden = [&](int row) {
    for (int k = 0; k < kStepRowLength; ++k)
      if (!p.ControlAt(p.StepRowFirst(row) + k)->IsHidden()) return false;
    return true;
  };
  EXPECT_TRUE(rowShown(0));
  EXPECT_TRUE(rowHidden(1));
  EXPECT_TRUE(rowHidden(2));
  Shown(rig, kArpPage, 1.0);  // as a preset would
  EXPECT_TRUE(rowShown(1));
  EXPECT_TRUE(rowHidden(0));
  EXPECT_TRUE(rowHidden(2));
  // A page outside 0..2 leaves the rows as they are.
  rig.Synth().MutableSnapshot().arpPage = 5;
  rig.RenderBlock();
  EXPECT_TRUE(rowShown(1));
  EXPECT_EQ(p.ControlAt(p.StepRowFirst(1))->Param(), kArpShape1);
  EXPECT_EQ(p.ControlAt(p.StepRowFirst(2) + 15)->Param(), kArpMod1 + 15);
}

}  // namespace
}  // namespace morvanta
