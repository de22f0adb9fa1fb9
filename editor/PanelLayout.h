// The panel's layout: every bitmap it loads and every control it attaches, in
// attachment order. The editor builds its control list from this table and the
// artwork generator draws the background around it; nothing else holds a copy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/Facts.h"

namespace morvanta {

constexpr int kPanelLayoutWidth = kPanelWidth;
constexpr int kPanelLayoutHeight = kPanelHeight;

// Bitmap resource ids.
enum PanelBitmapId : int {
  kBmpBackground = 102,
  kBmpDiodeKnob = 101,    // loaded, drawn by no control
  kBmpSwitch = 103,
  kBmpPowerSwitch = 105,  // loaded, drawn by no control
  kBmpSliderH = 104,
  kBmpSliderHBipolar = 113,
  kBmpSliderHarmonic = 106,
  kBmpSliderGreen = 110,
  kBmpSliderPurple = 111,
  kBmpSliderYellow = 112,
  kBmpRadio20 = 107,
  kBmpRadio60 = 108,
  kBmpRadio80 = 109,
  kBmpUndo = 120,
  kBmpRedo = 121,
  kBmpAb = 122,
  kBmpCopy = 123,
};

// One bitmap: frames are stacked vertically, so the image is
// frameWidth × (frameHeight · frames) pixels.
struct PanelBitmap {
  int id;
  const char* file;  // path under the source tree; only the ".png" ending matters at load time
  int frames;
  int frameWidth;
  int frameHeight;
};

enum class PanelControlKind : int {
  SliderHorizontal,  // 101-frame strip, dragged sideways
  SliderVertical,    // 101-frame 30 × 120 strip, dragged up and down
  Switch,            // 2-frame toggle
  RadioGroup,        // `buttons` buttons of a 2-frame bitmap across `rect`
  PushButton,        // 2-frame momentary contact
  TextDisplay,       // name and value of the parameter touched last
  LinkArea,          // opens the maker's web page
};

struct LayoutRect {
  int left;
  int top;
  int right;   // exclusive
  int bottom;  // exclusive
};

// One control. Bitmap controls give their top-left corner in `rect` and
// the rest follows from one frame of `bitmap` (see PanelControlRect);
// radio groups, the display and the link area give their full rectangle.
// `param` is the parameter index (the instrument's ParamIndex; a test
// cross-checks each one against the parameter names), or -1.
struct PanelItem {
  PanelControlKind kind;
  LayoutRect rect;
  int bitmap;   // PanelBitmapId, or -1
  int param;    // parameter index, or -1
  int buttons;  // radio groups only
};

// The bitmap table (the background first, then in id order of the design).
const PanelBitmap* PanelBitmaps(std::size_t* count);
// Bitmap `id`, or nullptr.
const PanelBitmap* FindPanelBitmap(int id);
// The order in which the editor loads the bitmaps.
const int* PanelBitmapLoadOrder(std::size_t* count);

// Every control in attachment order; the display is the last.
const PanelItem* PanelItems(std::size_t* count);

// The full rectangle a control occupies on the panel.
LayoutRect PanelControlRect(const PanelItem& item);

// The rectangle of button `k` (0-based) of a radio group: one frame wide and
// high, the first at the left edge, each next one further right by the frame
// width plus the gap (width − n·frame) / (n − 1) truncated to an integer.
LayoutRect RadioButtonRect(const PanelItem& group, int k);

// Index into PanelItems of the display, and of the first of the 16
// consecutive sliders of a step row (0 pitch, 1 shape, 2 modulation; -1
// for any other row). In the graphics object's control list the background
// comes first, so a control's list index is its table index plus
// kPanelFirstItemControl.
constexpr int kPanelFirstItemControl = 1;
int PanelDisplayItem();
int PanelStepRowFirstItem(int row);
// Index into PanelItems of the control bound to `param`, or -1.
int PanelItemForParam(int param);

// The modulation matrix: the x of each source's column, left to right
// (ADSR2, LFO1, LFO2, mod wheel, velocity, step modulation), and the rows'
// span: its cells are the horizontal sliders of these columns from `top`
// to `bottom`. The destinations' own sliders sit at the rows' y.
struct PanelMatrix {
  int columns[6];
  int top;
  int bottom;  // exclusive
};
const PanelMatrix& PanelMatrixGeometry();

// A hash of every control's kind, place, bitmap and parameter. The artwork
// records the one it was drawn for, so a stale background is noticed.
std::uint32_t PanelLayoutFingerprint();

}  // namespace morvanta
