// The panel artwork: the background with every label and section title, and
// the frame strips of sliders, switches, radio buttons and edit buttons. Drawn
// with Cairo from the editor's layout table; run by hand, never by the build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _cairo;
typedef struct _cairo cairo_t;

namespace morvanta {
namespace panelart {

enum class LabelRole {
  Name,    // names one or more controls (a row heading names the whole row)
  Title,   // section title, column heading, choice name
  Icon,    // a drawn glyph over a radio button
};

struct ArtBox {
  double left, top, right, bottom;
};

struct ArtLabel {
  LabelRole role = LabelRole::Title;
  std::string text;  // for icons the glyph's name
  ArtBox box{};      // ink box on the panel
  std::uint32_t rgb = 0;
  std::vector<int> items;  // PanelItems indices this label names
  bool vertical = false;   // reads bottom to top
  double size = 0;         // font size in pixels
  bool bold = true;
  double x = 0, y = 0;     // pen position (baseline start)
};

// Every label, title and icon of the background, placed around the layout.
std::vector<ArtLabel> PlanLabels();

// Draws the 1370 × 768 background (plates, row bands, tracks, labels).
void DrawBackground(cairo_t* cr, const std::vector<ArtLabel>& labels);

// Draws frame `frame` of the strip `bitmapId` (PanelBitmapId) into a cairo
// context whose origin is the frame's top-left corner.
void DrawFrame(cairo_t* cr, int bitmapId, int frame, int frames);

// Writes every bitmap of the table to `dir`, and the label list as
// tab-separated text to `labelsPath`. Returns false on the first failure.
bool WriteArtwork(const std::string& dir, const std::string& labelsPath);

// Writes a picture of the whole panel with every control drawn over the
// background at a spread of values (for looking at the artwork).
bool WritePreview(const std::string& path);

// Frees the font caches (call last, so leak checkers see a clean exit).
void ReleaseFonts();

}  // namespace panelart
}  // namespace morvanta
