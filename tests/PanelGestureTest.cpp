// Mouse, wheel, key and value-prompt gestures through the panel: each one
// changes its parameter the way an editor edit does, and the host sees
// begin edit, automate and end edit in that order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "editor/PanelLayout.h"
#include "instrument/ParamTable.h"
#include "plugin/Vst2Abi.h"
#include "support/CommaLocale.h"
#include "support/PanelRig.h"

namespace morvanta {
namespace {

using testing::PanelRig;

const std::vector<int> kBeginAutomateEnd = {vst::audioMasterBeginEdit, vst::audioMasterAutomate,
                                            vst::audioMasterEndEdit};

double Normalised(PanelRig& rig, int param) { return rig.Synth().ParameterAt(param)->NormalizedValue(); }

void SetNormalised(PanelRig& rig, int param, double x) {
  rig.Synth().ParameterAt(param)->SetFromNormalized(x);
  rig.Synth().ParameterChanged(param);
  rig.Panel().ParameterDisplayUpdate(param, x, true);
  rig.events.clear();
}

void Type(PanelRig& rig, const char* text) {
  for (const char* p = text; *p; ++p) rig.Panel().PromptKey(*p, 0);
}

TEST(PanelGestureTest, DraggingAHorizontalSliderByItsWidthSweepsTheRangeAndShiftATenth) {
  PanelRig rig;
  const int width = rig.RectOf(kAmpGain).w;
  ASSERT_EQ(width, 120);
  SetNormalised(rig, kAmpGain, 0.0);
  rig.Drag(kAmpGain, width, 0);
  EXPECT_DOUBLE_EQ(rig.Value(kAmpGain), 100.0);
  EXPECT_EQ(rig.OpcodesFor(kAmpGain), kBeginAutomateEnd);

  SetNormalised(rig, kAmpGain, 0.0);
  rig.Drag(kAmpGain, width, 0, kModShift);
  EXPECT_NEAR(rig.Value(kAmpGain), 10.0, 1e-9);
  SetNormalised(rig, kAmpGain, 0.5);
  rig.Drag(kAmpGain, -width, 0, kModControl);  // Control is fine adjustment as well
  EXPECT_NEAR(rig.Value(kAmpGain), 40.0, 1e-9);
}

TEST(PanelGestureTest, VerticalSlidersIncreaseWhenDraggedUp) {
  PanelRig rig;
  const int harmonic2 = kHarmonics1 + 1;
  ASSERT_EQ(rig.RectOf(harmonic2).h, 120);
  SetNormalised(rig, harmonic2, 0.25);
  rig.Drag(harmonic2, 0, -60);  // half the height up
  EXPECT_NEAR(Normalised(rig, harmonic2), 0.75, 1e-9);
  rig.Drag(harmonic2, 3, 30);  // sideways movement does nothing
  EXPECT_NEAR(Normalised(rig, harmonic2), 0.5, 1e-9);
  EXPECT_EQ(rig.events.front().opcode, vst::audioMasterBeginEdit);
  EXPECT_EQ(rig.events.back().opcode, vst::audioMasterEndEdit);
}

TEST(PanelGestureTest, WheelStepsAreAHundredthOrWithShiftAThousandth) {
  PanelRig rig;
  SetNormalised(rig, kPan, 0.5);
  rig.Panel().Wheel(rig.CentreX(kPan), rig.CentreY(kPan), 0, 3);
  EXPECT_NEAR(Normalised(rig, kPan), 0.53, 1e-9);
  EXPECT_EQ(rig.OpcodesFor(kPan), kBeginAutomateEnd);
  rig.Panel().Wheel(rig.CentreX(kPan), rig.CentreY(kPan), kModShift, -10);
  EXPECT_NEAR(Normalised(rig, kPan), 0.52, 1e-9);
  // Arrow keys over a slider step like the wheel; other keys go to the host.
  EXPECT_TRUE(rig.Panel().KeyDown(rig.CentreX(kPan), rig.CentreY(kPan), kKeyUp, 0));
  EXPECT_NEAR(Normalised(rig, kPan), 0.53, 1e-9);
  EXPECT_FALSE(rig.Panel().KeyDown(rig.CentreX(kPan), rig.CentreY(kPan), 'x', 0));
}

TEST(PanelGestureTest, DoubleClickRestoresTheValueFirstShown) {
  PanelRig rig;
  rig.Drag(kFilterFrequency, -90, 0);
  ASSERT_NEAR(rig.Value(kFilterFrequency), 25.0, 1e-9);
  rig.events.clear();
  const int x = rig.CentreX(kFilterFrequency), y = rig.CentreY(kFilterFrequency);
  rig.Panel().DoubleClick(x, y, 0);
  rig.Panel().MouseUp(x, y, 0);
  EXPECT_DOUBLE_EQ(rig.Value(kFilterFrequency), 100.0);
  EXPECT_EQ(rig.OpcodesFor(kFilterFrequency), kBeginAutomateEnd);
  // A later host change does not move the default.
  SetNormalised(rig, kFilterFrequency, 0.1);
  rig.Panel().DoubleClick(x, y, 0);
  EXPECT_DOUBLE_EQ(rig.Value(kFilterFrequency), 100.0);
}

TEST(PanelGestureTest, SwitchesToggleAndDoubleClicksCountAsPresses) {
  PanelRig rig;
  ASSERT_EQ(rig.Value(kChorusOn), 0.0);
  rig.Click(kChorusOn);
  EXPECT_EQ(rig.Value(kChorusOn), 1.0);
  EXPECT_EQ(rig.OpcodesFor(kChorusOn), kBeginAutomateEnd);
  const int x = rig.CentreX(kChorusOn), y = rig.CentreY(kChorusOn);
  rig.Panel().DoubleClick(x, y, 0);
  rig.Panel().MouseUp(x, y, 0);
  EXPECT_EQ(rig.Value(kChorusOn), 0.0);
}

TEST(PanelGestureTest, RadioButtonsSelectTheButtonHit) {
  PanelRig rig;
  const std::size_t item = static_cast<std::size_t>(PanelItemForParam(kOscShape));
  std::size_t n = 0;
  const PanelItem& group = PanelItems(&n)[item];
  const LayoutRect third = RadioButtonRect(group, 3);
  rig.ClickAt(third.left + 2, third.top + 2);
  EXPECT_EQ(rig.Value(kOscShape), 3.0);
  EXPECT_EQ(rig.OpcodesFor(kOscShape), kBeginAutomateEnd);
  // The buttons touch: the first pixel of button 1 is button 1.
  const LayoutRect first = RadioButtonRect(group, 0);
  rig.ClickAt(first.right, first.top + 2);
  EXPECT_EQ(rig.Value(kOscShape), 1.0);
  rig.ClickAt(first.right - 1, first.bottom - 1);
  EXPECT_EQ(rig.Value(kOscShape), 0.0);
}

TEST(PanelGestureTest, PressesOutsideEveryControlReachNothing) {
  PanelRig rig;
  rig.ClickAt(5, 750);
  rig.Panel().MouseDrag(50, 700, kModLeftButton);
  rig.Panel().Wheel(5, 750, 0, 2);
  rig.Panel().Wheel(rig.CentreX(kChorusOn), rig.CentreY(kChorusOn), 0, 2);  // switches ignore it
  EXPECT_TRUE(rig.events.empty());
}

struct FakePlatform : PanelPlatform {
  std::vector<std::string> opened;
  bool OpenUrl(const char* url) override {
    opened.push_back(url);
    return true;
  }
};

TEST(PanelGestureTest, TheLinkAreaOpensTheMakersPageWhileAWindowIsOpen) {
  PanelRig rig;
  rig.ClickAt(1300, 20);  // no window: nothing to open with
  FakePlatform platform;
  rig.Panel().WindowOpened(&platform);
  rig.ClickAt(1300, 20);
  ASSERT_EQ(platform.opened.size(), 1u);
  EXPECT_EQ(platform.opened[0].rfind("https://", 0), 0u);
  rig.Panel().WindowClosed();
  rig.ClickAt(1300, 20);
  EXPECT_EQ(platform.opened.size(), 1u);
}

TEST(PanelGestureTest, RightClickTypesAValueThatCommitsOnTheNextTick) {
  PanelRig rig;
  rig.Click(kAmpGain, 3);
  ASSERT_TRUE(rig.Panel().PromptOpen());
  EXPECT_EQ(rig.Panel().Prompt().Text(), "50.00");  // precision 2, all selected
  EXPECT_TRUE(rig.Panel().Prompt().HasSelection());
  const PanelRect box = rig.Panel().PromptRect();
  EXPECT_EQ(box.w, 40);
  EXPECT_EQ(box.h, 16);
  EXPECT_EQ(box.x + box.w / 2, rig.CentreX(kAmpGain));
  rig.events.clear();
  Type(rig, "7x5.5");  // letters are filtered out for a decimal parameter
  EXPECT_EQ(rig.Panel().Prompt().Text(), "75.5");
  rig.Panel().PromptKey(kKeyEnter, 0);
  EXPECT_FALSE(rig.Panel().PromptOpen());
  EXPECT_DOUBLE_EQ(rig.Value(kAmpGain), 50.0);  // not before the tick
  rig.Tick();
  EXPECT_DOUBLE_EQ(rig.Value(kAmpGain), 75.5);
  EXPECT_EQ(rig.OpcodesFor(kAmpGain), kBeginAutomateEnd);
  // The typed value is recorded like a mouse edit.
  EXPECT_EQ(rig.Synth().History().UndoCount(), 1);
}

TEST(PanelGestureTest, PromptFiltersByKindCancelsOnEscapeAndCommitsOnFocusLoss) {
  PanelRig rig;
  rig.Click(kPitch, 3);
  Type(rig, "-7.5");  // integer parameter: no decimal point
  EXPECT_EQ(rig.Panel().Prompt().Text(), "-75");
  rig.Panel().PromptKey(kKeyBackspace, 0);
  rig.Panel().PromptKey(kKeyEscape, 0);
  rig.Tick();
  EXPECT_EQ(rig.Value(kPitch), 0.0);

  rig.Click(kPitch, 3);
  Type(rig, "-7");
  rig.Panel().PromptFocusLost();
  rig.Tick();
  EXPECT_EQ(rig.Value(kPitch), -7.0);

  // Out of range clamps; text without digits is dropped.
  rig.Click(kPitch, 3);
  Type(rig, "99");
  rig.Panel().PromptKey(kKeyEnter, 0);
  rig.Tick();
  EXPECT_EQ(rig.Value(kPitch), 24.0);
  rig.Click(kPitch, 3);
  Type(rig, "-");
  rig.Panel().PromptKey(kKeyEnter, 0);
  rig.Tick();
  EXPECT_EQ(rig.Value(kPitch), 24.0);
}

TEST(PanelGestureTest, PromptReadsAPointWhateverTheLocale) {
  testing::CommaLocale comma;
  if (!comma.Active()) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  PanelRig rig;
  rig.Click(kGlideTime, 3);
  EXPECT_EQ(rig.Panel().Prompt().Text(), "0.00");
  Type(rig, "0.25");
  rig.Panel().PromptKey(kKeyEnter, 0);
  rig.Tick();
  EXPECT_DOUBLE_EQ(rig.Value(kGlideTime), 0.25);
}

TEST(PanelGestureTest, RadioGroupsOpenThePromptOnTheRightButton) {
  PanelRig rig;
  rig.Click(kVoiceMode, 3);
  ASSERT_TRUE(rig.Panel().PromptOpen());
  EXPECT_EQ(rig.Panel().Prompt().Text(), "2");
  Type(rig, "0");
  rig.Panel().PromptKey(kKeyEnter, 0);
  rig.Tick();
  EXPECT_EQ(rig.Value(kVoiceMode), 0.0);
  EXPECT_EQ(rig.Synth().Snapshot().voiceMode, 0);
}

TEST(PanelGestureTest, HostChangesMoveTheControlsWithoutEditing) {
  PanelRig rig;
  AEffect* effect = rig.Synth().Effect();
  PanelControl* pan = rig.Panel().ControlForParam(kPan);
  rig.PaintAll();
  ASSERT_FALSE(pan->IsDirty());
  effect->setParameter(effect, kPan, 0.25f);
  EXPECT_FLOAT_EQ(static_cast<float>(pan->Value()), 0.25f);
  EXPECT_TRUE(pan->IsDirty());
  EXPECT_TRUE(rig.events.empty());
  // The value first pushed stays the default.
  EXPECT_DOUBLE_EQ(pan->Default(), 0.5);
}

}  // namespace
}  // namespace morvanta
