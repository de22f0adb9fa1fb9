// The whole panel painted into a memory back buffer, headless: the
// background, each control's frame chosen from its value, radio buttons,
// a grayed control at quarter weight, only the step row of the current
// page, and the display's two lines. The painted panel is written to
// rendered-panel.png in the build folder for a look by eye.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "editor/PanelLayout.h"
#include "graphics/PanelBitmaps.h"
#include "instrument/ParamTable.h"
#include "support/PanelRig.h"

namespace morvanta {
namespace {

using testing::PanelRig;

uint32_t ImagePixel(const RasterBitmap& image, int x, int y) {
  cairo_surface_t* s = image.Surface();
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  uint32_t p;
  std::memcpy(&p, row + 4 * x, 4);
  return p;
}

const BitmapStrip& Strip(int id) {
  static std::map<int, BitmapStrip> strips;
  if (!strips.count(id)) {
    const PanelBitmap* b = FindPanelBitmap(id);
    strips[id] = LoadPanelBitmap(id, b->file, b->frames);
  }
  return strips[id];
}

// Whether the panel at (x, y) shows frame `frame` (0-based) of bitmap `id`
// drawn over the background with `weight`, pixel for pixel.
bool ShowsFrame(RasterMemBitmap& panel, int x, int y, int id, int frame, double weight = 1.0) {
  const BitmapStrip& s = Strip(id);
  const PanelRect src = s.Frame(frame);
  RasterMemBitmap expected(src.w, src.h);
  const PanelRect all{0, 0, src.w, src.h};
  expected.Blit(Strip(kBmpBackground).Image(), PanelRect{x, y, src.w, src.h}, 0, 0, 1.0, all);
  expected.Blit(s.Image(), src, 0, 0, weight, all);
  for (int j = 0; j < src.h; ++j)
    for (int i = 0; i < src.w; ++i)
      if (panel.PixelAt(x + i, y + j) != expected.PixelAt(i, j)) return false;
  return true;
}

// Which frame of `id` the panel shows at (x, y), or -1.
int FrameShown(RasterMemBitmap& panel, int x, int y, int id, double weight = 1.0) {
  for (int f = 0; f < Strip(id).frames; ++f)
    if (ShowsFrame(panel, x, y, id, f, weight)) return f;
  return -1;
}

int BitmapOf(int param) {
  std::size_t n = 0;
  return PanelItems(&n)[PanelItemForParam(param)].bitmap;
}

std::string ArtefactPath() {
  const char* dir = std::getenv("MORVANTA_ARTEFACT_DIR");
  return std::string(dir ? dir : MORVANTA_BUILD_DIR) + "/rendered-panel.png";
}

TEST(PanelPaintTest, BitmapsAreEmbeddedWithTheirLayoutSizes) {
  std::size_t n = 0;
  const PanelBitmap* table = PanelBitmaps(&n);
  for (std::size_t i = 0; i < n; ++i) {
    const PanelBitmap& b = table[i];
    if (b.id == kBmpDiodeKnob || b.id == kBmpPowerSwitch) continue;  // drawn by no control
    const BitmapStrip& s = Strip(b.id);
    ASSERT_TRUE(s.Image().Valid()) << b.file;
    EXPECT_EQ(s.FrameWidth(), b.frameWidth) << b.file;
    EXPECT_EQ(s.FrameHeight(), b.frameHeight) << b.file;
  }
}

TEST(PanelPaintTest, TheWholePanelPaintsFromItsBitmaps) {
  PanelRig rig;
  PanelEditor& p = rig.Panel();
  p.ControlForParam(kAmpGain)->SetValueFromPlug(0.25);
  p.ControlForParam(kFine)->SetValueFromPlug(1.0);
  p.ControlForParam(kHarmonics1 + 3)->SetValueFromPlug(0.7);
  p.ControlForParam(kChorusOn)->SetValueFromPlug(1.0);
  p.ControlForParam(kLfo1Shape)->SetValueFromPlug(0.4);  // button 2 of 6
  p.ControlForParam(kDelayWidth)->GrayOut(true);
  rig.Edit(kFilterMix, 0.5);
  rig.RenderBlock();
  RasterMemBitmap& panel = rig.PaintAll();
  ASSERT_TRUE(panel.Valid());
  EXPECT_TRUE(panel.WritePng(ArtefactPath().c_str()));

  // The background where no control sits.
  const RasterBitmap bg = Strip(kBmpBackground).Image();
  for (auto [x, y] : {std::pair{5, 5}, {700, 300}, {1300, 700}, {10, 745}})
    EXPECT_EQ(panel.PixelAt(x, y), ImagePixel(bg, x, y)) << x << "," << y;

  // Slider frames: int(100 * v + 0.5) counted from 0.
  auto at = [&](int param) { return p.ControlForParam(param)->Rect(); };
  EXPECT_EQ(FrameShown(panel, at(kAmpGain).x, at(kAmpGain).y, BitmapOf(kAmpGain)), 25);
  EXPECT_EQ(FrameShown(panel, at(kFine).x, at(kFine).y, BitmapOf(kFine)), 100);
  EXPECT_EQ(FrameShown(panel, at(kHarmonics1 + 3).x, at(kHarmonics1 + 3).y, kBmpSliderHarmonic), 70);
  EXPECT_EQ(FrameShown(panel, at(kPan).x, at(kPan).y, BitmapOf(kPan)), 50);
  EXPECT_EQ(FrameShown(panel, at(kChorusOn).x, at(kChorusOn).y, kBmpSwitch), 1);
  EXPECT_EQ(FrameShown(panel, at(kReverbOn).x, at(kReverbOn).y, kBmpSwitch), 0);

  // Radio buttons: the selected one shows the second frame.
  std::size_t n = 0;
  const PanelItem& lfo = PanelItems(&n)[PanelItemForParam(kLfo1Shape)];
  for (int k = 0; k < lfo.buttons; ++k) {
    const LayoutRect b = RadioButtonRect(lfo, k);
    EXPECT_EQ(FrameShown(panel, b.left, b.top, kBmpRadio20), k == 2 ? 1 : 0) << k;
  }

  // The grayed slider is its frame at a quarter over the background.
  const PanelRect g = at(kDelayWidth);
  const int frame = FrameForValue(p.ControlForParam(kDelayWidth)->Value(), 101) - 1;
  EXPECT_EQ(FrameShown(panel, g.x, g.y, BitmapOf(kDelayWidth)), -1);
  EXPECT_TRUE(ShowsFrame(panel, g.x, g.y, BitmapOf(kDelayWidth), frame, 0.25));

  // Step rows: only the pitch row (page 0) is drawn.
  const PanelRect step = at(kArpPitch1 + 5);
  EXPECT_EQ(FrameShown(panel, step.x, step.y, kBmpSliderYellow), 50);  // pitch 0 of -24..24
  EXPECT_EQ(FrameShown(panel, step.x, step.y, kBmpSliderPurple), -1);
  EXPECT_EQ(FrameShown(panel, step.x, step.y, kBmpSliderGreen), -1);
}

int LitPixels(RasterMemBitmap& panel, const PanelRect& r) {
  int lit = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) {
      const uint32_t px = panel.PixelAt(x, y);
      if (((px >> 16) & 0xff) > 200 && ((px >> 8) & 0xff) > 200 && (px & 0xff) > 200) ++lit;
    }
  return lit;
}

TEST(PanelPaintTest, TheDisplayDrawsNameAndValueOnTwoLines) {
  PanelRig rig;
  rig.RenderBlock();
  RasterMemBitmap& panel = rig.PaintAll();
  const PanelRect display = rig.Panel().Display()->Rect();
  const PanelRect line1{display.x, display.y, 150, 17}, line2{display.x, display.y + 17, 150, 17};
  const int blank1 = LitPixels(panel, line1), blank2 = LitPixels(panel, line2);
  rig.Edit(kAmpGain, 0.5);
  rig.RenderBlock();
  rig.Tick();
  EXPECT_GT(LitPixels(panel, line1), blank1 + 40);
  EXPECT_GT(LitPixels(panel, line2), blank2 + 40);
  // Changing to a parameter with a longer name repaints without leftovers.
  rig.Edit(kHarmonicsPhaseShift, 0.2);
  rig.RenderBlock();
  rig.Tick();
  rig.Click(kUndoButton);
  rig.RenderBlock();
  rig.Tick();
  EXPECT_EQ(rig.Panel().Display()->Text(), "");
  EXPECT_EQ(LitPixels(panel, line1), blank1);
  EXPECT_EQ(LitPixels(panel, line2), blank2);
}

TEST(PanelPaintTest, RepaintsOnlyWhatChangedAndRowsSwapInPlace) {
  PanelRig rig;
  RasterMemBitmap& panel = rig.PaintAll();
  PanelRect dirty;
  EXPECT_FALSE(rig.Panel().TimerTick(&dirty));  // all clean after the first paint
  rig.Panel().ControlForParam(kPan)->SetValueFromPlug(0.0);
  ASSERT_TRUE(rig.Panel().TimerTick(&dirty));
  EXPECT_EQ(dirty.x, rig.RectOf(kPan).x);
  EXPECT_EQ(dirty.w, rig.RectOf(kPan).w);
  rig.Panel().Paint(dirty);
  EXPECT_EQ(FrameShown(panel, dirty.x, dirty.y, BitmapOf(kPan)), 0);

  rig.Click(kArpPage, 1);  // left edge: page 0 stays
  rig.Synth().ParameterAt(kArpPage)->value = 2;
  rig.Synth().ParameterChanged(kArpPage);
  rig.Tick();
  const PanelRect step = rig.RectOf(kArpMod1);
  EXPECT_EQ(FrameShown(panel, step.x, step.y, kBmpSliderGreen), 50);
  EXPECT_EQ(FrameShown(panel, step.x, step.y, kBmpSliderYellow), -1);
}

TEST(PanelPaintTest, TheValuePromptIsDrawnAndErased) {
  PanelRig rig;
  RasterMemBitmap& panel = rig.PaintAll();
  const PanelRect r = rig.RectOf(kAmpGain);
  const uint32_t before = panel.PixelAt(r.x + r.w / 2, r.y + 2);
  rig.Click(kAmpGain, 3);
  rig.Tick();
  const PanelRect box = rig.Panel().PromptRect();
  EXPECT_NE(panel.PixelAt(box.x, box.y), panel.PixelAt(box.x + box.w, box.y + box.h));
  rig.Panel().PromptKey(kKeyEscape, 0);
  rig.Tick();
  rig.Tick();
  EXPECT_EQ(panel.PixelAt(r.x + r.w / 2, r.y + 2), before);
}

TEST(PanelPaintTest, SixteenInstancesWithoutADisplayShareTheDecodedBitmaps) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  {
    std::vector<std::unique_ptr<PanelRig>> rigs;
    for (int i = 0; i < 16; ++i) rigs.push_back(std::make_unique<PanelRig>());
    for (auto& r : rigs) {
      EXPECT_EQ(r->Panel().BackBuffer(), nullptr);  // no buffer while closed
      EXPECT_FALSE(r->Panel().Open(nullptr));       // no window layer here
    }
    const int decodedBefore = PanelBitmapDecodeCount();
    for (auto& r : rigs) r->PaintAll();
    const int decodedByPaints = PanelBitmapDecodeCount() - decodedBefore;
    EXPECT_LE(decodedByPaints, 15);  // each bitmap at most once in the process
    for (auto& r : rigs) r->Panel().WindowClosed();
    EXPECT_EQ(rigs[0]->Panel().BackBuffer(), nullptr);
  }
  if (display) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
}  // namespace morvanta
