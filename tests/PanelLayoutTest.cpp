// The panel's layout table against the parameter table: every sound
// parameter has one control of a kind that suits it, the modulation matrix
// puts each cell in its source's column and its destination's row, and the
// geometry stays on the panel.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "editor/PanelLayout.h"
#include "instrument/ParamTable.h"

namespace morvanta {
namespace {

struct Items {
  const PanelItem* items;
  std::size_t count;
  Items() { items = PanelItems(&count); }
  const PanelItem& operator[](std::size_t i) const { return items[i]; }
};

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::string Name(int param) { return ParamDefAt(param).name; }

TEST(PanelLayoutTest, EveryParameterButTheUnnamedOneHasExactlyOneControl) {
  Items t;
  std::map<int, int> uses;
  for (std::size_t i = 0; i < t.count; ++i)
    if (t[i].param >= 0) ++uses[t[i].param];
  for (int p = 0; p < kNumParams; ++p) {
    if (p == kUnnamed20) {
      EXPECT_EQ(uses.count(p), 0u);
      continue;
    }
    EXPECT_EQ(uses[p], 1) << p << " " << Name(p);
  }
  for (const auto& [param, n] : uses) EXPECT_LT(param, kNumParams);
  // 239 parameter controls, the link area and the display.
  EXPECT_EQ(t.count, 241u);
}

TEST(PanelLayoutTest, ControlKindsSuitTheirParameters) {
  Items t;
  for (std::size_t i = 0; i < t.count; ++i) {
    const PanelItem& it = t[i];
    if (it.param < 0) continue;
    const ParamDef& d = ParamDefAt(it.param);
    switch (it.kind) {
      case PanelControlKind::Switch:
        EXPECT_EQ(d.kind, ParameterKind::Int) << d.name;
        EXPECT_EQ(d.min, 0.0) << d.name;
        EXPECT_EQ(d.max, 1.0) << d.name;
        break;
      case PanelControlKind::RadioGroup:
        EXPECT_EQ(d.kind, ParameterKind::Int) << d.name;
        EXPECT_EQ(it.buttons, static_cast<int>(d.max - d.min) + 1) << d.name;
        break;
      case PanelControlKind::PushButton:
        EXPECT_TRUE(it.param == kUndoButton || it.param == kRedoButton ||
                    it.param == kCopyButton);
        break;
      case PanelControlKind::SliderHorizontal:
      case PanelControlKind::SliderVertical:
        EXPECT_NE(d.kind, ParameterKind::None) << it.param;
        // A centre mark only where the middle of the range means "none".
        if (it.bitmap == kBmpSliderHBipolar) {
          EXPECT_TRUE(d.min < 0 || std::strcmp(d.label, "L-R") == 0) << d.name;
        }
        break;
      default:
        ADD_FAILURE() << "parameter " << it.param << " on a control without a value";
    }
  }
  EXPECT_EQ(t[PanelItemForParam(kAbSwitch)].kind, PanelControlKind::Switch);
  EXPECT_EQ(t[PanelItemForParam(kModWheel)].bitmap, kBmpSliderGreen);
}

TEST(PanelLayoutTest, AttachmentOrderStartsWithTheButtonsAndEndsWithTheDisplay) {
  Items t;
  const int head[] = {kUndoButton, kRedoButton, kCopyButton, kAbSwitch};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t[i].param, head[i]);
  EXPECT_EQ(t[4].kind, PanelControlKind::LinkArea);
  EXPECT_EQ(t[5].param, kAmpGain);
  EXPECT_EQ(PanelDisplayItem(), static_cast<int>(t.count) - 1);
  EXPECT_EQ(t[t.count - 1].kind, PanelControlKind::TextDisplay);
  EXPECT_EQ(t[t.count - 2].param, kDelayWidth);
}

TEST(PanelLayoutTest, StepRowsAreSixteenConsecutiveSlidersInOnePlace) {
  Items t;
  const int first[] = {kArpPitch1, kArpShape1, kArpMod1};
  const int bitmaps[] = {kBmpSliderYellow, kBmpSliderPurple, kBmpSliderGreen};
  for (int row = 0; row < 3; ++row) {
    const int start = PanelStepRowFirstItem(row);
    ASSERT_GE(start, 0);
    for (int k = 0; k < 16; ++k) {
      const PanelItem& it = t[start + k];
      EXPECT_EQ(it.param, first[row] + k);
      EXPECT_EQ(it.kind, PanelControlKind::SliderVertical);
      EXPECT_EQ(it.bitmap, bitmaps[row]);
      // The three rows share their places: only the page shown is visible.
      EXPECT_EQ(it.rect.left, t[PanelStepRowFirstItem(0) + k].rect.left);
      EXPECT_EQ(it.rect.top, t[PanelStepRowFirstItem(0) + k].rect.top);
    }
  }
  EXPECT_EQ(PanelStepRowFirstItem(3), -1);
  EXPECT_EQ(PanelStepRowFirstItem(-1), -1);
  // Harmonic levels: the plain strip, 30 px apart.
  const int h = PanelItemForParam(kHarmonics1);
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(t[h + k].param, kHarmonics1 + k);
    EXPECT_EQ(t[h + k].bitmap, kBmpSliderHarmonic);
    EXPECT_EQ(t[h + k].rect.left, t[h].rect.left + 30 * k);
  }
}

// Matrix cells are named "<source> -> <destination>"; the destination's row
// is the y of the destination's own slider.
TEST(PanelLayoutTest, MatrixCellsSitInTheirSourceColumnAndDestinationRow) {
  Items t;
  const std::map<std::string, int> destination = {
      {"Pan", kPan},
      {"Pitch", kPitch},
      {"Amp", kAmpGain},
      {"PW", kPulseWidth},
      {"Wave shaper", kWaveShaper},
      {"Ring mod", kRingMod},
      {"Ring mod F", kRingModF},
      {"Bit div", kBitDivider},
      {"Bit feed", kBitFeedback},
      {"Pitch noise", kPitchNoise},
      {"Pitch moise", kPitchNoise},
      {"pitch noise", kPitchNoise},
      {"Tube drive", kTubeDrive},
      {"FC", kFilterFrequency},
      {"FR", kFilterResonance},
      {"Harm phase", kHarmonicsPhaseShift},
      {"Harmonics", kHarmonicsSlope},
  };
  std::map<std::string, std::set<int>> columns;
  int cells = 0;
  for (std::size_t i = 0; i < t.count; ++i) {
    if (t[i].param < 0) continue;
    const std::string name = Name(t[i].param);
    const auto arrow = name.find(" -> ");
    if (arrow == std::string::npos) continue;
    const auto dest = destination.find(name.substr(arrow + 4));
    if (dest == destination.end()) continue;  // LFO depth and rate cells, Aftertouch
    const PanelItem& row = t[PanelItemForParam(dest->second)];
    EXPECT_EQ(t[i].rect.top, row.rect.top) << name;
    columns[name.substr(0, arrow)].insert(t[i].rect.left);
    ++cells;
  }
  EXPECT_EQ(cells, 13 + 14 + 14 + 12 + 13 + 13);
  // The matrix geometry the artwork reads names the same columns, in order.
  const PanelMatrix& m = PanelMatrixGeometry();
  const char* sources[] = {"ADSR2", "Lfo1", "Lfo2", "Modw", "Vel", "ArpMod"};
  ASSERT_EQ(columns.size(), 6u);
  for (int c = 0; c < 6; ++c) {
    const auto& xs = columns[sources[c]];
    ASSERT_EQ(xs.size(), 1u) << sources[c];
    EXPECT_EQ(*xs.begin(), m.columns[c]) << sources[c];
  }
  EXPECT_EQ(m.top, t[PanelItemForParam(kPan)].rect.top);
  EXPECT_EQ(m.bottom, t[PanelItemForParam(kHarmonicsSlope)].rect.top + 20);
}

// The order of attachment fixes every control's index in the panel's list.
TEST(PanelLayoutTest, AttachmentOrderFollowsTheDesign) {
  std::vector<int> order;
  auto add = [&order](std::initializer_list<int> params) {
    order.insert(order.end(), params.begin(), params.end());
  };
  auto range = [&order](int first, int last) {
    for (int p = first; p <= last; ++p) order.push_back(p);
  };
  add({kUndoButton, kRedoButton, kCopyButton, kAbSwitch, -1});  // -1: the link area
  add({0, 1, 232, 5, 6, 207, 208, 18, 19, 21, 7, kOscShape, kArpPage, 123, 124, 126, 125, 127,
       128, 129, 130, 132, 131, 133, 134, 234, 235, kLfo1Shape, 154, 155, 153, 156, kLfo2Shape,
       173, 174, 172, 175});
  range(kHarmonics1, kHarmonics1 + 15);
  add({39, 40, 41, 42, kVoiceMode});
  range(110, 122);
  add({14, 15, 10, 11, 12, 233, 13, 16, 17, 8, 9, 43, kArpLiveDirection, 45, 46, 48, 47});
  range(kArpPitch1, kArpMod1 + 15);
  add({97, 99, 100, 98});
  range(101, 109);
  add({2, 22});
  range(157, 163);
  range(165, 168);
  add({164, 169, 170});
  range(176, 182);
  range(184, 187);
  add({183, 188, 189});
  range(190, 205);
  range(135, 151);
  add({206});
  range(216, 221);
  range(209, 215);
  add({222, 228, 229});
  range(223, 227);
  add({230, -1});  // -1: the display
  Items t;
  ASSERT_EQ(t.count, order.size());
  for (std::size_t i = 0; i < t.count; ++i) EXPECT_EQ(t[i].param, order[i]) << "item " << i;
}

TEST(PanelLayoutTest, ControlsStayOnThePanelAndApartFromEachOther) {
  Items t;
  std::set<int> stepParams;
  for (int k = 0; k < 48; ++k) stepParams.insert(kArpPitch1 + k);
  for (std::size_t i = 0; i < t.count; ++i) {
    const LayoutRect a = PanelControlRect(t[i]);
    EXPECT_GE(a.left, 0);
    EXPECT_GE(a.top, 0);
    EXPECT_LE(a.right, kPanelLayoutWidth) << i;
    EXPECT_LE(a.bottom, kPanelLayoutHeight) << i;
    EXPECT_LT(a.left, a.right);
    EXPECT_LT(a.top, a.bottom);
    for (std::size_t j = i + 1; j < t.count; ++j) {
      if (stepParams.count(t[i].param) && stepParams.count(t[j].param)) continue;
      // The pitch-mode switch sits in the envelope column's empty Amp
      // row and reaches 3 px into the slider above it.
      if (t[i].param == kAdsr2ToPitchMode || t[j].param == kAdsr2ToPitchMode) continue;
      EXPECT_FALSE(Overlap(a, PanelControlRect(t[j])))
          << Name(t[i].param) << " / " << Name(t[j].param);
    }
  }
}

TEST(PanelLayoutTest, RadioButtonsSpanTheirRectangle) {
  Items t;
  for (std::size_t i = 0; i < t.count; ++i) {
    const PanelItem& g = t[i];
    if (g.kind != PanelControlKind::RadioGroup) continue;
    const PanelBitmap* b = FindPanelBitmap(g.bitmap);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(RadioButtonRect(g, 0).left, g.rect.left);
    EXPECT_EQ(RadioButtonRect(g, g.buttons - 1).right, g.rect.right) << Name(g.param);
    EXPECT_EQ(RadioButtonRect(g, 0).bottom - RadioButtonRect(g, 0).top, b->frameHeight);
    EXPECT_EQ(RadioButtonRect(g, g.buttons).right, 0);
  }
  // A group wider than its buttons spreads them with truncated gaps.
  const PanelItem wide{PanelControlKind::RadioGroup, {0, 0, 101, 20}, kBmpRadio20, -1, 4};
  EXPECT_EQ(RadioButtonRect(wide, 1).left, 20 + 7);  // (101 - 80) / 3 = 7
  EXPECT_EQ(RadioButtonRect(wide, 3).left, 81);
}

TEST(PanelLayoutTest, BitmapTableCoversEveryControlAndTheLoadOrder) {
  std::size_t n = 0, orderCount = 0;
  const PanelBitmap* bitmaps = PanelBitmaps(&n);
  const int* order = PanelBitmapLoadOrder(&orderCount);
  std::set<int> ids, loaded(order, order + orderCount);
  for (std::size_t i = 0; i < n; ++i) {
    ids.insert(bitmaps[i].id);
    EXPECT_TRUE(std::strstr(bitmaps[i].file, ".png")) << bitmaps[i].file;
  }
  EXPECT_EQ(ids.size(), n);
  EXPECT_EQ(loaded, ids);
  EXPECT_EQ(orderCount, n);
  EXPECT_EQ(order[0], kBmpBackground);
  EXPECT_EQ(FindPanelBitmap(kBmpBackground)->frameHeight, 768);
  EXPECT_EQ(FindPanelBitmap(999), nullptr);
  Items t;
  for (std::size_t i = 0; i < t.count; ++i) {
    if (t[i].bitmap >= 0) {
      EXPECT_NE(FindPanelBitmap(t[i].bitmap), nullptr) << i;
    }
  }
}

}  // namespace
}  // namespace morvanta
