#include "editor/PanelEditor.h"

#include <cstring>
#include <map>

#include "editor/MyControls.h"
#include "editor/PanelLayout.h"

namespace morvanta {
namespace {

// The display: "Arial" 15, white, left-aligned, two lines.
const TextStyle kDisplayStyle{15, RasterColor{255, 255, 255, 255}, "Arial", kTextNormal,
                              TextAlign::Left, 0};
// The display's text runs past its rectangle; it paints this far.
constexpr int kDisplayPaintRight = 1228;
constexpr int kDisplayPaintBottom = 112;
constexpr const char* kMakerPage = "https://www.quelvo.com/morvanta";

bool SameReading(const DisplayReading& a, const DisplayReading& b) {
  return a.param == b.param && a.flag == b.flag && std::memcmp(&a.value, &b.value, sizeof a.value) == 0;
}

PanelRect ToPanelRect(const LayoutRect& r) {
  return PanelRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace

PanelEditor::PanelEditor(PluginCore& plug, PanelInstrument& instrument, int width, int height)
    : PanelGraphics(plug, width, height), instrument_(instrument) {}

TextControl* PanelEditor::Display() { return static_cast<TextControl*>(ControlAt(displayIndex_)); }

void PanelEditor::Sync() {
  DisplayReading r;
  if (displayIndex_ >= 0 && feed_.Read(&r) && !(shownValid_ && SameReading(r, shown_))) {
    char text[160];
    instrument_.FormatDisplay(r, text, sizeof text);
    Display()->SetText(text);
    shown_ = r;
    shownValid_ = true;
  }
  const int page = feed_.StepPage();
  if (page != shownPage_ && page >= 0 && page <= 2) {
    for (int row = 0; row < 3; ++row) {
      if (stepRowFirst_[row] < 0) continue;
      for (int k = 0; k < kStepRowLength; ++k)
        if (PanelControl* c = ControlAt(stepRowFirst_[row] + k)) c->Hide(row != page);
    }
    shownPage_ = page;
  }
}

std::unique_ptr<PanelEditor> BuildEditor(PluginCore& plug, PanelInstrument& instrument) {
  auto editor =
      std::make_unique<PanelEditor>(plug, instrument, kPanelLayoutWidth, kPanelLayoutHeight);
  PanelEditor& g = *editor;

  std::map<int, BitmapStrip> strips;
  std::size_t loads = 0;
  const int* order = PanelBitmapLoadOrder(&loads);
  for (std::size_t i = 0; i < loads; ++i) {
    const PanelBitmap* b = FindPanelBitmap(order[i]);
    if (b == nullptr) continue;
    BitmapStrip s = LoadPanelBitmap(b->id, b->file, b->frames);
    if (!s.HasSize()) {
      // No image: keep the layout's size so the control still takes clicks.
      s.width = b->frameWidth;
      s.height = b->frameHeight * b->frames;
    }
    strips[b->id] = s;
  }
  auto strip = [&](int id) { return strips.count(id) ? strips[id] : BitmapStrip{}; };
  g.AttachBackground(strip(kBmpBackground));

  std::size_t count = 0;
  const PanelItem* items = PanelItems(&count);
  const int displayItem = PanelDisplayItem();
  const int rowItems[3] = {PanelStepRowFirstItem(0), PanelStepRowFirstItem(1),
                           PanelStepRowFirstItem(2)};
  for (std::size_t i = 0; i < count; ++i) {
    const PanelItem& it = items[i];
    const int x = it.rect.left, y = it.rect.top;
    std::unique_ptr<PanelControl> c;
    switch (it.kind) {
      case PanelControlKind::SliderHorizontal:
      case PanelControlKind::SliderVertical:
        c = std::make_unique<MyKnobMultiControl>(
            instrument, g, x, y, it.param, strip(it.bitmap),
            it.kind == PanelControlKind::SliderVertical ? DragDirection::Vertical
                                                        : DragDirection::Horizontal);
        break;
      case PanelControlKind::Switch:
        c = std::make_unique<MySwitchControl>(instrument, g, x, y, it.param, strip(it.bitmap));
        break;
      case PanelControlKind::PushButton:
        c = std::make_unique<MyContactControl>(instrument, g, x, y, it.param, strip(it.bitmap));
        break;
      case PanelControlKind::RadioGroup:
        c = std::make_unique<MyRadioButtonsControl>(instrument, g, ToPanelRect(it.rect), it.param,
                                                    it.buttons, strip(it.bitmap));
        break;
      case PanelControlKind::TextDisplay: {
        auto text = std::make_unique<TextControl>(g, ToPanelRect(it.rect), kDisplayStyle);
        text->SetPaintExtent(kDisplayPaintRight, kDisplayPaintBottom);
        c = std::move(text);
        break;
      }
      case PanelControlKind::LinkArea:
        c = std::make_unique<UrlControl>(g, ToPanelRect(it.rect), kMakerPage);
        break;
    }
    const int index = g.AddControl(std::move(c));
    if (static_cast<int>(i) == displayItem) g.displayIndex_ = index;
    for (int row = 0; row < 3; ++row)
      if (static_cast<int>(i) == rowItems[row]) g.stepRowFirst_[row] = index;
  }
  return editor;
}

}  // namespace morvanta
