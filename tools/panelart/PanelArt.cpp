// Draws the panel's bitmaps. Every position comes from the editor's layout
// table; this file only decides what each label says and on which side of its
// control it sits, and how plates, strips and buttons look.
#include "PanelArt.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "editor/PanelLayout.h"

namespace morvanta {
namespace panelart {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kArtHeight = 768;  // the background is 8 rows taller than the window
constexpr char kFont[] = "Liberation Sans";

struct Rgb {
  double r, g, b;
};
constexpr Rgb Hex(std::uint32_t v) {
  return {((v >> 16) & 255) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0};
}

// Palette: slate plates on a near-black ground, amber for what is on or
// bipolar, a cool blue for plain levels.
constexpr std::uint32_t kGroundTop = 0x191d24;
constexpr std::uint32_t kGroundBottom = 0x111419;
constexpr std::uint32_t kPlate = 0x222831;
constexpr std::uint32_t kPlateEdge = 0x2d3440;
constexpr std::uint32_t kBand = 0x283039;
constexpr std::uint32_t kLabel = 0xc9d1dc;
constexpr std::uint32_t kAccent = 0xf0a848;
constexpr std::uint32_t kHeading = 0x8fb8de;
constexpr std::uint32_t kWell = 0x0b0d11;
constexpr std::uint32_t kGroove = 0x0b0e12;
constexpr std::uint32_t kGrooveEdge = 0x38414d;
constexpr std::uint32_t kTick = 0x56616f;
constexpr std::uint32_t kBlue = 0x4cb4f0;
constexpr std::uint32_t kHarmonic = 0x7ec3f5;
constexpr std::uint32_t kYellow = 0xf2cb45;
constexpr std::uint32_t kPurple = 0xb48cff;
constexpr std::uint32_t kGreen = 0x6fd58a;
constexpr std::uint32_t kTabVoice = 0x5fa8e6;
constexpr std::uint32_t kTabShapers = 0xe58a6a;
constexpr std::uint32_t kTabFilter = 0x7ccf86;
constexpr std::uint32_t kTabHarmonics = 0xb69cf0;
constexpr std::uint32_t kTabText = 0x12161c;

constexpr double kLabelSize = 10;
constexpr double kSmallSize = 9;
constexpr double kTitleSize = 11.5;

void SetColor(cairo_t* cr, std::uint32_t v, double alpha = 1.0) {
  const Rgb c = Hex(v);
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RoundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x1 - r, y0 + r, r, -kPi / 2, 0);
  cairo_arc(cr, x1 - r, y1 - r, r, 0, kPi / 2);
  cairo_arc(cr, x0 + r, y1 - r, r, kPi / 2, kPi);
  cairo_arc(cr, x0 + r, y0 + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

// A scratch context for measuring text, kept until ReleaseFonts.
cairo_t* gMeasurer = nullptr;

cairo_t* Measurer() {
  if (!gMeasurer) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
    gMeasurer = cairo_create(surface);
    cairo_surface_destroy(surface);  // the context holds its own reference
  }
  return gMeasurer;
}

void SelectFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

cairo_text_extents_t Extents(const std::string& text, double size, bool bold) {
  cairo_t* cr = Measurer();
  SelectFont(cr, size, bold);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e;
}

double CapHeight(double size) { return -Extents("H", size, true).y_bearing; }

enum class Side { Left, Right, Above, Below, Inside };

struct Anchor {
  double left, top, right, bottom;
};

Anchor ItemAnchor(int item) {
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  const LayoutRect r = PanelControlRect(items[item]);
  return {double(r.left), double(r.top), double(r.right), double(r.bottom)};
}

// A text label placed beside `a`, `gap` pixels away.
ArtLabel PlaceText(const std::string& text, const Anchor& a, Side side, double gap,
                   double size, bool bold, std::uint32_t rgb) {
  ArtLabel l;
  l.text = text;
  l.size = size;
  l.bold = bold;
  l.rgb = rgb;
  const cairo_text_extents_t e = Extents(text, size, bold);
  const double cap = CapHeight(size);
  const double midY = (a.top + a.bottom) / 2;
  switch (side) {
    case Side::Left:
      l.x = a.left - gap - e.width - e.x_bearing;
      l.y = std::round(midY + cap / 2);
      break;
    case Side::Right:
      l.x = a.right + gap - e.x_bearing;
      l.y = std::round(midY + cap / 2);
      break;
    case Side::Above:
      l.x = (a.left + a.right) / 2 - e.width / 2 - e.x_bearing;
      l.y = a.top - gap - (e.height + e.y_bearing);
      break;
    case Side::Below:
      l.x = (a.left + a.right) / 2 - e.width / 2 - e.x_bearing;
      l.y = a.bottom + gap + cap;
      break;
    case Side::Inside:
      l.x = (a.left + a.right) / 2 - e.width / 2 - e.x_bearing;
      l.y = std::round(midY + cap / 2);
      break;
  }
  l.x = std::round(l.x);
  l.box = {l.x + e.x_bearing, l.y + e.y_bearing, l.x + e.x_bearing + e.width,
           l.y + e.y_bearing + e.height};
  return l;
}

// Text reading bottom to top, centred in `a`.
ArtLabel PlaceVertical(const std::string& text, const Anchor& a, double size,
                       std::uint32_t rgb) {
  ArtLabel l;
  l.text = text;
  l.size = size;
  l.rgb = rgb;
  l.vertical = true;
  l.role = LabelRole::Title;
  const cairo_text_extents_t e = Extents(text, size, true);
  const double cap = CapHeight(size);
  // After rotating by −90°, the pen's x runs up the panel.
  l.x = std::round((a.left + a.right) / 2 + cap / 2);
  l.y = std::round((a.top + a.bottom) / 2 + e.width / 2);
  l.box = {l.x + e.y_bearing, l.y - e.x_bearing - e.width, l.x + e.y_bearing + e.height,
           l.y - e.x_bearing};
  return l;
}

// What each control's label says and where it sits. `anchorParam` puts the
// label beside another control of the same row (a mode switch standing
// between the name and its slider); `also` lists further controls the label
// names (the mode switch itself, or the same setting of the second LFO).
struct LabelSpec {
  int param;
  const char* text;
  Side side;
  int anchorParam = -1;
  int also = -1;
  double gap = 4;
  std::uint32_t rgb = kLabel;
};

const LabelSpec kSpecs[] = {
    // Envelopes: the first reads to its right, the second to its left.
    {123, "ATTACK", Side::Right}, {124, "DECAY", Side::Right},
    {125, "SUSTAIN", Side::Right}, {126, "RELEASE", Side::Right},
    {127, "LEGATO", Side::Left}, {128, "\u00d710", Side::Left},
    {129, "ATTACK", Side::Left}, {130, "DECAY", Side::Left},
    {131, "SUSTAIN", Side::Left}, {132, "RELEASE", Side::Left},
    {133, "LEGATO", Side::Left}, {134, "\u00d710", Side::Left},
    {234, "MULT", Side::Left},
    // LFOs: the rows of both read to the right of the second.
    {152, "LFO 1", Side::Above, -1, -1, 17, kAccent},
    {171, "LFO 2", Side::Above, -1, -1, 17, kAccent},
    {172, "RATE", Side::Right, -1, 153}, {175, "FADE-IN", Side::Right, -1, 156},
    {154, "RETRIGGER", Side::Left}, {155, "TEMPO SYNC", Side::Left},
    {173, "RETRIGGER", Side::Left}, {174, "TEMPO SYNC", Side::Left},
    {148, "ENV 2 \u203a DEPTH", Side::Right, -1, 146},
    {149, "ENV 2 \u203a RATE", Side::Right, -1, 147},
    {203, "WHEEL \u203a DEPTH", Side::Right, -1, 201},
    {204, "WHEEL \u203a RATE", Side::Right, -1, 202},
    // The oscillator column; its names are also the matrix's row headings.
    {7, "GLIDE", Side::Left}, {6, "FINE TUNE", Side::Left},
    {2, "STEREO SPREAD", Side::Left}, {1, "PAN", Side::Left},
    {5, "PITCH", Side::Left}, {0, "AMP", Side::Left},
    {8, "PW \u00b7 CLASSIC", Side::Left, 9, 9},
    {13, "WAVE SHAPER", Side::Left},
    {10, "RING \u00b7 SAW", Side::Left, 233, 233},
    {11, "RING F \u00b7 LOCK", Side::Left, 12, 12},
    {14, "BIT DIVIDER", Side::Left}, {15, "BIT FEEDBACK", Side::Left},
    {16, "PITCH NOISE", Side::Left}, {17, "NOISE HEIGHT", Side::Left},
    {21, "LP \u00b7 BP \u00b7 HP", Side::Left}, {18, "CUTOFF", Side::Left},
    {19, "RESONANCE", Side::Left}, {22, "KEY TRACK", Side::Left},
    {42, "PHASE SHIFT", Side::Left}, {39, "SLOPE", Side::Left},
    {40, "LFO AMOUNT", Side::Left}, {41, "LFO SPEED", Side::Left},
    {114, "HARMONICS", Side::Left},
    // Effects.
    {209, "CHORUS", Side::Left, -1, -1, 4, kAccent}, {210, "MIX", Side::Left},
    {211, "TIME", Side::Left}, {212, "FEEDBACK", Side::Left},
    {213, "DEPTH", Side::Left}, {214, "SPEED", Side::Left},
    {215, "DOUBLE", Side::Left},
    {222, "DELAY", Side::Left, -1, -1, 4, kAccent}, {223, "LEVEL", Side::Left},
    {224, "TIME", Side::Left}, {225, "FEEDBACK", Side::Left},
    {226, "COLOR", Side::Left}, {227, "DRIVE", Side::Left},
    {228, "PING-PONG OFFSET", Side::Left}, {229, "TEMPO SYNC", Side::Left},
    {230, "WIDTH", Side::Left},
    {207, "DISTORTION", Side::Left}, {208, "TUBE DRIVE", Side::Left},
    {216, "REVERB", Side::Left, -1, -1, 4, kAccent}, {217, "MIX", Side::Left},
    {218, "LENGTH", Side::Left}, {219, "LOW CUT", Side::Left},
    {220, "DAMPING", Side::Left}, {221, "MODULATION", Side::Left},
    // Top row.
    {236, "UNDO", Side::Below, -1, -1, 3}, {237, "REDO", Side::Below, -1, -1, 3},
    {238, "COMPARE", Side::Below, -1, -1, 3}, {239, "TO OTHER", Side::Below, -1, -1, 3},
    {232, "BEND RANGE", Side::Above, -1, -1, 3},
    // Play controls.
    {4, "WAVE", Side::Left}, {3, "VOICES", Side::Left},
    {43, "ARPEGGIATOR", Side::Left, -1, -1, 4, kAccent}, {44, "DIRECTION", Side::Left},
    {45, "STEPS", Side::Left}, {46, "LOOP START", Side::Left},
    {47, "TEMPO DIV", Side::Left}, {48, "SMOOTH", Side::Left},
    {231, "STEP SEQUENCER", Side::Right, -1, -1, 8, kAccent},
    {235, "AFTERTOUCH \u203a WHEEL", Side::Right},
    {206, "MOD WHEEL", Side::Right},
};

// Headings of the matrix's source columns, left to right.
constexpr const char* kColumnNames[] = {"ENV 2", "LFO 1", "LFO 2", "WHEEL", "VELOCITY",
                                        "STEP MOD"};
// The plate behind the matrix reaches a little past its outer columns.
constexpr int kMatrixLeft = 284;
constexpr int kMatrixRight = 1116;

bool IsMatrixCell(const PanelItem& it) {
  const PanelMatrix& m = PanelMatrixGeometry();
  if (it.kind != PanelControlKind::SliderHorizontal) return false;
  if (it.rect.top < m.top || it.rect.top >= m.bottom) return false;
  for (int x : m.columns)
    if (it.rect.left == x) return true;
  return false;
}

void AddIcons(std::vector<ArtLabel>& out, int param, const char* const* names) {
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  const PanelItem& g = items[PanelItemForParam(param)];
  for (int k = 0; k < g.buttons; ++k) {
    const LayoutRect b = RadioButtonRect(g, k);
    ArtLabel l;
    l.role = LabelRole::Icon;
    l.text = names[k];
    l.rgb = kLabel;
    const double cx = (b.left + b.right) / 2.0;
    l.box = {cx - 7, b.top - 13.0, cx + 7, b.top - 4.0};
    out.push_back(l);
  }
}

void AddChoices(std::vector<ArtLabel>& out, int param, const char* const* names) {
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  const PanelItem& g = items[PanelItemForParam(param)];
  for (int k = 0; k < g.buttons; ++k) {
    const LayoutRect b = RadioButtonRect(g, k);
    out.push_back(PlaceText(names[k], {double(b.left), double(b.top), double(b.right),
                                       double(b.bottom)},
                            Side::Above, 4, kSmallSize, true, kLabel));
  }
}

ArtLabel Title(const std::string& text, double x, double baseline, double size,
               std::uint32_t rgb) {
  ArtLabel l = PlaceText(text, {x, 0, x, 0}, Side::Right, 0, size, true, rgb);
  const double dy = baseline - l.y;
  l.y += dy;
  l.box.top += dy;
  l.box.bottom += dy;
  return l;
}

ArtLabel CenteredTitle(const std::string& text, double left, double right, double baseline,
                       double size, std::uint32_t rgb) {
  const cairo_text_extents_t e = Extents(text, size, true);
  return Title(text, std::round((left + right) / 2 - e.width / 2), baseline, size, rgb);
}

// Plates: fill-only rounded areas; overlapping ones merge into one surface.
struct Plate {
  double x0, y0, x1, y1;
};
constexpr Plate kPlates[] = {
    {6, 4, 218, 136},      // envelope 1
    {222, 4, 422, 136},    // envelope 2
    {426, 4, 816, 214},    // LFOs
    {820, 4, 1114, 114},   // edit buttons, bend range, display
    {1118, 42, 1364, 584}, // effects
    {6, 140, 280, 612},    // oscillator column
    {284, 218, 1116, 574}, // modulation matrix
    {284, 557, 842, 612},  // wave and voice selectors
    {846, 578, 1114, 612}, // step page selector and its title
    {1110, 588, 1364, 612},
    {6, 616, 1364, 758},   // harmonic levels, wheel, arpeggiator, steps
};

// Group tabs at the oscillator column's left edge.
struct Tab {
  const char* text;
  int top, bottom;
  std::uint32_t rgb;
};
constexpr Tab kTabs[] = {
    {"VOICE", 160, 278, kTabVoice},
    {"SHAPERS", 282, 438, kTabShapers},
    {"FILTER", 442, 520, kTabFilter},
    {"HARMONICS", 530, 610, kTabHarmonics},
};
constexpr double kTabLeft = 10;
constexpr double kTabRight = 22;

}  // namespace

std::vector<ArtLabel> PlanLabels() {
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  std::vector<ArtLabel> out;

  std::set<int> ownLabel;
  for (const LabelSpec& s : kSpecs) ownLabel.insert(s.param);

  for (const LabelSpec& s : kSpecs) {
    const int item = PanelItemForParam(s.param);
    if (item < 0) continue;
    const int anchorItem = s.anchorParam >= 0 ? PanelItemForParam(s.anchorParam) : item;
    ArtLabel l = PlaceText(s.text, ItemAnchor(anchorItem), s.side, s.gap, kLabelSize, true,
                           s.rgb);
    l.role = LabelRole::Name;
    l.items.push_back(item);
    if (s.also >= 0) l.items.push_back(PanelItemForParam(s.also));
    // A destination's name heads its matrix row.
    const PanelItem& self = items[item];
    if (!IsMatrixCell(self) && self.kind == PanelControlKind::SliderHorizontal) {
      for (std::size_t i = 0; i < n; ++i)
        if (IsMatrixCell(items[i]) && items[i].rect.top == self.rect.top &&
            !ownLabel.count(items[i].param))
          l.items.push_back(static_cast<int>(i));
    }
    out.push_back(l);
  }

  // Harmonic and step numbers above their sliders; a step number names the
  // slider of every page at that place.
  for (int k = 0; k < 16; ++k) {
    const int h = PanelItemForParam(23 + k);
    ArtLabel l = PlaceText(std::to_string(k + 1), ItemAnchor(h), Side::Above, 4, kSmallSize,
                           true, kLabel);
    l.role = LabelRole::Name;
    l.items = {h};
    out.push_back(l);
    ArtLabel s = PlaceText(std::to_string(k + 1), ItemAnchor(PanelStepRowFirstItem(0) + k),
                           Side::Above, 4, kSmallSize, true, kLabel);
    s.role = LabelRole::Name;
    for (int row = 0; row < 3; ++row) s.items.push_back(PanelStepRowFirstItem(row) + k);
    out.push_back(s);
  }

  // The display's caption and the maker's name in the link area.
  {
    const int d = PanelDisplayItem();
    Anchor a = ItemAnchor(d);
    ArtLabel l = PlaceText("PARAMETER", {a.left, a.top - 10, a.left + 60, a.top - 10},
                           Side::Above, 2, kSmallSize, true, kHeading);
    l.role = LabelRole::Name;
    l.items = {d};
    out.push_back(l);
    for (std::size_t i = 0; i < n; ++i) {
      if (items[i].kind != PanelControlKind::LinkArea) continue;
      ArtLabel m = PlaceText("quelvo", ItemAnchor(static_cast<int>(i)), Side::Inside, 0, 17,
                             true, kAccent);
      m.role = LabelRole::Name;
      m.items = {static_cast<int>(i)};
      out.push_back(m);
    }
  }

  // Radio choices.
  static const char* const kWaves[] = {"sine", "triangle", "square", "saw", "multipulse"};
  static const char* const kLfoWaves[] = {"sine", "triangle", "square", "saw", "randstep",
                                          "randramp"};
  static const char* const kVoices[] = {"MONO", "LIVE ARP", "POLY"};
  static const char* const kPages[] = {"PITCH", "SHAPE", "MOD"};
  AddIcons(out, 4, kWaves);
  AddIcons(out, 152, kLfoWaves);
  AddIcons(out, 171, kLfoWaves);
  AddChoices(out, 3, kVoices);
  AddChoices(out, 231, kPages);

  // Section titles and the matrix's column headings.
  out.push_back(Title("ENVELOPE 1  \u00b7  AMP", 18, 20, kTitleSize, kAccent));
  out.push_back(Title("ENVELOPE 2  \u00b7  MOD", 234, 20, kTitleSize, kAccent));
  out.push_back(Title("OSCILLATOR", 28, 155, kTitleSize, kAccent));
  out.push_back(Title("EFFECTS", 1124, 60, kTitleSize, kAccent));
  out.push_back(Title("MODULATION MATRIX", 836, 213, kTitleSize, kAccent));
  out.push_back(Title("MORVANTA", 1124, 32, 22, 0xe8edf3));
  // Every column's heading in the gap between the filter and harmonic rows,
  // and above the columns' first cells where there is room: ENV 2 and STEP
  // MOD start at the first row, WHEEL and VELOCITY two rows lower.
  const PanelMatrix& matrix = PanelMatrixGeometry();
  for (int c = 0; c < 6; ++c) {
    const double x = matrix.columns[c];
    out.push_back(CenteredTitle(kColumnNames[c], x, x + 120, 520, kSmallSize, kHeading));
  }
  for (int c : {0, 5, 3, 4}) {
    const double x = matrix.columns[c];
    const double baseline = matrix.top - 6 + (c == 3 || c == 4 ? 40 : 0);
    out.push_back(CenteredTitle(kColumnNames[c], x, x + 120, baseline, kSmallSize, kHeading));
  }
  for (const Tab& t : kTabs) {
    ArtLabel l = PlaceVertical(t.text, {kTabLeft, double(t.top), kTabRight, double(t.bottom)},
                               8.5, kTabText);
    out.push_back(l);
  }
  out.push_back(PlaceVertical("HARMONIC LEVELS", {kTabLeft, 630, kTabRight, 750}, 8.5,
                              kTabText));
  return out;
}

namespace {

void FillPlates(cairo_t* cr) {
  // Rims first, then every fill over them, so plates that touch merge
  // without a seam and only their outer edges keep the rim.
  SetColor(cr, kPlateEdge);
  cairo_set_line_width(cr, 2);
  for (const Plate& p : kPlates) {
    RoundedRect(cr, p.x0, p.y0, p.x1, p.y1, 6);
    cairo_stroke(cr);
  }
  SetColor(cr, kPlate);
  for (const Plate& p : kPlates) {
    RoundedRect(cr, p.x0, p.y0, p.x1, p.y1, 6);
    cairo_fill(cr);
  }
}

// Alternate bands behind the matrix rows, so a row can be followed across.
void FillMatrixBands(cairo_t* cr) {
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  std::map<int, int> cells;  // row top -> cells in it
  for (std::size_t i = 0; i < n; ++i)
    if (IsMatrixCell(items[i])) ++cells[items[i].rect.top];
  int k = 0;
  for (const auto& [y, count] : cells) {
    // A lone cell needs no band to be followed.
    if (count > 1 && k++ % 2 == 0) {
      SetColor(cr, kBand);
      cairo_rectangle(cr, kMatrixLeft + 4, y, kMatrixRight - kMatrixLeft - 8, 20);
      cairo_fill(cr);
    }
  }
}

// A dark seat one pixel around every bitmap control.
void FillWells(cairo_t* cr) {
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  SetColor(cr, kWell, 0.8);
  for (std::size_t i = 0; i < n; ++i) {
    if (items[i].bitmap < 0) continue;
    const LayoutRect r = PanelControlRect(items[i]);
    if (items[i].kind == PanelControlKind::SliderVertical) {
      RoundedRect(cr, r.left + 2, r.top, r.right - 2, r.bottom, 4);
      cairo_fill(cr);
    }
  }
}

void DrawTabs(cairo_t* cr) {
  for (const Tab& t : kTabs) {
    SetColor(cr, t.rgb);
    RoundedRect(cr, kTabLeft, t.top, kTabRight, t.bottom, 3);
    cairo_fill(cr);
  }
  SetColor(cr, kTabHarmonics);
  RoundedRect(cr, kTabLeft, 630, kTabRight, 750, 3);
  cairo_fill(cr);
}

void DrawDisplayWindow(cairo_t* cr) {
  const Anchor a = ItemAnchor(PanelDisplayItem());
  RoundedRect(cr, a.left - 7, a.top - 6, a.right + 1, a.bottom + 5, 4);
  SetColor(cr, 0x07090c);
  cairo_fill_preserve(cr);
  SetColor(cr, 0x3a4452);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

// Thin rules between the effect groups.
void DrawRules(cairo_t* cr) {
  SetColor(cr, kPlateEdge);
  cairo_set_line_width(cr, 1);
  for (double y : {215.5, 405.5, 455.5}) {
    cairo_move_to(cr, 1126, y);
    cairo_line_to(cr, 1356, y);
  }
  // Under the matrix's middle headings.
  cairo_move_to(cr, kMatrixLeft + 6, 525.5);
  cairo_line_to(cr, kMatrixRight - 6, 525.5);
  cairo_stroke(cr);
}

void DrawIcon(cairo_t* cr, const ArtLabel& l) {
  const ArtBox b = l.box;
  const double w = b.right - b.left, h = b.bottom - b.top;
  const double x0 = b.left, y0 = b.top, ym = b.top + h / 2;
  cairo_save(cr);
  SetColor(cr, l.rgb);
  cairo_set_line_width(cr, 1.4);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const std::string& s = l.text;
  const double top = y0 + 1, bot = b.bottom - 1;
  if (s == "sine") {
    for (int i = 0; i <= 28; ++i) {
      const double t = i / 28.0;
      const double y = ym - std::sin(t * 2 * kPi) * (h / 2 - 1);
      if (i == 0) cairo_move_to(cr, x0 + t * w, y); else cairo_line_to(cr, x0 + t * w, y);
    }
  } else if (s == "triangle") {
    cairo_move_to(cr, x0, ym);
    cairo_line_to(cr, x0 + w * 0.25, top);
    cairo_line_to(cr, x0 + w * 0.75, bot);
    cairo_line_to(cr, x0 + w, ym);
  } else if (s == "square") {
    cairo_move_to(cr, x0, bot);
    cairo_line_to(cr, x0, top);
    cairo_line_to(cr, x0 + w / 2, top);
    cairo_line_to(cr, x0 + w / 2, bot);
    cairo_line_to(cr, x0 + w, bot);
    cairo_line_to(cr, x0 + w, top);
  } else if (s == "saw") {
    cairo_move_to(cr, x0, bot);
    cairo_line_to(cr, x0 + w / 2, top);
    cairo_line_to(cr, x0 + w / 2, bot);
    cairo_line_to(cr, x0 + w, top);
    cairo_line_to(cr, x0 + w, bot);
  } else if (s == "multipulse") {
    const double xs[] = {0, 0.18, 0.3, 0.5, 0.58, 0.82, 0.88, 1.0};
    cairo_move_to(cr, x0, bot);
    for (int i = 0; i < 8; ++i) {
      const double x = x0 + xs[i] * w;
      const bool high = i % 2 == 0;
      cairo_line_to(cr, x, high ? bot : top);
      cairo_line_to(cr, x, high ? top : bot);
    }
  } else if (s == "randstep") {
    const double ys[] = {0.3, 0.9, 0.1, 0.6, 0.8};
    cairo_move_to(cr, x0, top + ys[0] * (bot - top));
    for (int i = 0; i < 5; ++i) {
      const double y = top + ys[i] * (bot - top);
      cairo_line_to(cr, x0 + i * w / 5, y);
      cairo_line_to(cr, x0 + (i + 1) * w / 5, y);
    }
  } else if (s == "randramp") {
    const double ys[] = {0.5, 0.9, 0.15, 0.7, 0.3, 0.85};
    cairo_move_to(cr, x0, top + ys[0] * (bot - top));
    for (int i = 1; i < 6; ++i) cairo_line_to(cr, x0 + i * w / 5, top + ys[i] * (bot - top));
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

void DrawText(cairo_t* cr, const ArtLabel& l) {
  cairo_save(cr);
  SelectFont(cr, l.size, l.bold);
  SetColor(cr, l.rgb);
  cairo_move_to(cr, l.x, l.y);
  if (l.vertical) cairo_rotate(cr, -kPi / 2);
  cairo_show_text(cr, l.text.c_str());
  cairo_restore(cr);
}

}  // namespace

void DrawBackground(cairo_t* cr, const std::vector<ArtLabel>& labels) {
  cairo_pattern_t* ground = cairo_pattern_create_linear(0, 0, 0, kArtHeight);
  const Rgb top = Hex(kGroundTop), bottom = Hex(kGroundBottom);
  cairo_pattern_add_color_stop_rgb(ground, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(ground, 1, bottom.r, bottom.g, bottom.b);
  cairo_set_source(cr, ground);
  cairo_paint(cr);
  cairo_pattern_destroy(ground);

  FillPlates(cr);
  FillMatrixBands(cr);
  FillWells(cr);
  DrawTabs(cr);
  DrawDisplayWindow(cr);
  DrawRules(cr);
  for (const ArtLabel& l : labels) {
    if (l.role == LabelRole::Icon)
      DrawIcon(cr, l);
    else
      DrawText(cr, l);
  }
}

// ---------------------------------------------------------------- strips

namespace {

void Handle(cairo_t* cr, double x0, double y0, double x1, double y1, bool vertical) {
  cairo_pattern_t* p = vertical ? cairo_pattern_create_linear(x0, 0, x1, 0)
                                : cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.95, 0.96, 0.97);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.62, 0.66, 0.71);
  RoundedRect(cr, x0, y0, x1, y1, 2);
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  SetColor(cr, kGroove);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // The grip line.
  SetColor(cr, 0x3c4450);
  if (vertical) {
    cairo_move_to(cr, x0 + 3, (y0 + y1) / 2);
    cairo_line_to(cr, x1 - 3, (y0 + y1) / 2);
  } else {
    cairo_move_to(cr, (x0 + x1) / 2, y0 + 3);
    cairo_line_to(cr, (x0 + x1) / 2, y1 - 3);
  }
  cairo_stroke(cr);
}

void Groove(cairo_t* cr, double x0, double y0, double x1, double y1) {
  RoundedRect(cr, x0, y0, x1, y1, std::min(x1 - x0, y1 - y0) / 2);
  SetColor(cr, kGroove);
  cairo_fill_preserve(cr);
  SetColor(cr, kGrooveEdge);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

void Fill(cairo_t* cr, double x0, double y0, double x1, double y1, std::uint32_t rgb) {
  if (x1 - x0 < 0.5 || y1 - y0 < 0.5) return;
  cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
  SetColor(cr, rgb);
  cairo_fill(cr);
}

void HorizontalSlider(cairo_t* cr, double v, bool bipolar) {
  constexpr double kLeft = 10, kTravel = 100;  // handle centre runs 10..110
  const double cx = std::round(kLeft + v * kTravel) + 0.5;
  SetColor(cr, kTick);
  cairo_set_line_width(cr, 1);
  for (int i = 0; i <= 4; ++i) {
    const double x = kLeft + i * kTravel / 4 + 0.5;
    cairo_move_to(cr, x, 15.5);
    cairo_line_to(cr, x, 19);
  }
  cairo_stroke(cr);
  Groove(cr, 4.5, 7.5, 115.5, 12.5);
  const double from = bipolar ? 60.5 : 5.5;
  Fill(cr, std::min(from, cx), 8.5, std::max(from, cx), 11.5, bipolar ? kAccent : kBlue);
  if (bipolar) {
    SetColor(cr, 0xaab4c0);
    cairo_move_to(cr, 60.5, 1);
    cairo_line_to(cr, 60.5, 5);
    cairo_stroke(cr);
  }
  Handle(cr, cx - 5, 2.5, cx + 5, 17.5, false);
}

void VerticalSlider(cairo_t* cr, double v, std::uint32_t rgb, bool bipolar) {
  constexpr double kBottom = 110, kTravel = 100;  // handle centre runs 110..10
  const double cy = std::round(kBottom - v * kTravel) + 0.5;
  SetColor(cr, kTick);
  cairo_set_line_width(cr, 1);
  for (int i = 0; i <= 4; ++i) {
    const double y = kBottom - i * kTravel / 4 + 0.5;
    const double len = i == 2 ? 5 : 3;
    cairo_move_to(cr, 2, y);
    cairo_line_to(cr, 2 + len, y);
    cairo_move_to(cr, 28, y);
    cairo_line_to(cr, 28 - len, y);
  }
  cairo_stroke(cr);
  Groove(cr, 12.5, 5.5, 17.5, 114.5);
  const double from = bipolar ? 60.5 : 113.5;
  Fill(cr, 13.5, std::min(from, cy), 16.5, std::max(from, cy), rgb);
  Handle(cr, 5.5, cy - 4.5, 24.5, cy + 4.5, true);
  // A coloured cap on the handle says which row this is.
  RoundedRect(cr, 8.5, cy - 1.5, 21.5, cy + 1.5, 1);
  SetColor(cr, rgb);
  cairo_fill(cr);
}

void Switch(cairo_t* cr, bool on) {
  RoundedRect(cr, 3.5, 4.5, 36.5, 15.5, 5.5);
  if (on) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 4, 0, 16);
    cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.78, 0.42);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.86, 0.55, 0.16);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
  } else {
    SetColor(cr, kGroove);
    cairo_fill_preserve(cr);
  }
  SetColor(cr, on ? 0x8a5a1a : kGrooveEdge);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  const double cx = on ? 29 : 11;
  cairo_arc(cr, cx, 10, 6.5, 0, 2 * kPi);
  cairo_pattern_t* k = cairo_pattern_create_radial(cx - 2, 8, 1, cx, 10, 7);
  cairo_pattern_add_color_stop_rgb(k, 0, 0.98, 0.98, 0.99);
  cairo_pattern_add_color_stop_rgb(k, 1, on ? 0.8 : 0.55, on ? 0.82 : 0.59, on ? 0.85 : 0.64);
  cairo_set_source(cr, k);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(k);
  SetColor(cr, kGroove);
  cairo_stroke(cr);
}

void RoundRadio(cairo_t* cr, bool on) {
  cairo_arc(cr, 10, 10, 7, 0, 2 * kPi);
  SetColor(cr, 0x0e1217);
  cairo_fill_preserve(cr);
  SetColor(cr, on ? kAccent : 0x4a5563);
  cairo_set_line_width(cr, 1.3);
  cairo_stroke(cr);
  if (on) {
    cairo_pattern_t* p = cairo_pattern_create_radial(9, 9, 0.5, 10, 10, 5);
    cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.88, 0.62);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.92, 0.58, 0.2);
    cairo_arc(cr, 10, 10, 4.5, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
  } else {
    cairo_arc(cr, 10, 10, 2, 0, 2 * kPi);
    SetColor(cr, 0x2a313b);
    cairo_fill(cr);
  }
}

void WideRadio(cairo_t* cr, double w, bool on) {
  RoundedRect(cr, 2.5, 3.5, w - 2.5, 16.5, 4);
  if (on) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 3, 0, 17);
    cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.78, 0.42);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.86, 0.55, 0.16);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    SetColor(cr, 0xffd58f);
  } else {
    SetColor(cr, 0x11161c);
    cairo_fill_preserve(cr);
    SetColor(cr, 0x3f4957);
  }
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // A small lamp in the middle.
  cairo_arc(cr, w / 2, 10, 2, 0, 2 * kPi);
  SetColor(cr, on ? 0xfff3da : 0x2c343f);
  cairo_fill(cr);
}

void ButtonFace(cairo_t* cr, double w, double h, bool pressed) {
  RoundedRect(cr, 1.5, 1.5, w - 1.5, h - 1.5, 4);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
  if (pressed) {
    cairo_pattern_add_color_stop_rgb(p, 0, 0.86, 0.55, 0.16);
    cairo_pattern_add_color_stop_rgb(p, 1, 1.0, 0.76, 0.4);
  } else {
    cairo_pattern_add_color_stop_rgb(p, 0, 0.2, 0.23, 0.27);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.12, 0.14, 0.17);
  }
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  SetColor(cr, pressed ? 0xffd58f : 0x4a5563);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

void ArrowButton(cairo_t* cr, bool pressed, bool redo) {
  ButtonFace(cr, 25, 25, pressed);
  cairo_save(cr);
  if (redo) {
    cairo_translate(cr, 25, 0);
    cairo_scale(cr, -1, 1);
  }
  SetColor(cr, pressed ? 0x1a1205 : 0xdde3ea);
  cairo_set_line_width(cr, 2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  // A hook turning back to the left, with its arrow head.
  cairo_arc(cr, 13.5, 13.5, 5.5, -kPi / 2, kPi / 2);
  cairo_move_to(cr, 13.5, 8);
  cairo_line_to(cr, 8.5, 8);
  cairo_stroke(cr);
  cairo_move_to(cr, 6, 8);
  cairo_line_to(cr, 10, 4.5);
  cairo_line_to(cr, 10, 11.5);
  cairo_close_path(cr);
  cairo_fill(cr);
  cairo_restore(cr);
}

void CenteredText(cairo_t* cr, const char* text, double cx, double cy, double size,
                  std::uint32_t rgb) {
  SelectFont(cr, size, true);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text, &e);
  SetColor(cr, rgb);
  cairo_move_to(cr, std::round(cx - e.width / 2 - e.x_bearing),
                std::round(cy - e.height / 2 - e.y_bearing));
  cairo_show_text(cr, text);
}

void AbButton(cairo_t* cr, bool b) {
  ButtonFace(cr, 50, 25, false);
  // The lit half shows which side is live.
  const double x0 = b ? 25 : 1.5, x1 = b ? 48.5 : 25;
  RoundedRect(cr, x0 + 2, 4, x1 - 2, 21, 3);
  SetColor(cr, kAccent);
  cairo_fill(cr);
  CenteredText(cr, "A", 13.5, 12.5, 12, b ? 0x8a96a4 : 0x1a1205);
  CenteredText(cr, "B", 36.5, 12.5, 12, b ? 0x1a1205 : 0x8a96a4);
}

void CopyButton(cairo_t* cr, bool pressed) {
  ButtonFace(cr, 75, 25, pressed);
  CenteredText(cr, "COPY", 37.5, 12.5, 11, pressed ? 0x1a1205 : 0xdde3ea);
}

}  // namespace

void DrawFrame(cairo_t* cr, int bitmapId, int frame, int frames) {
  const double v = frames > 1 ? double(frame) / (frames - 1) : 0.0;
  const bool on = frame > 0;
  switch (bitmapId) {
    case kBmpSliderH: HorizontalSlider(cr, v, false); break;
    case kBmpSliderHBipolar: HorizontalSlider(cr, v, true); break;
    case kBmpSliderHarmonic: VerticalSlider(cr, v, kHarmonic, false); break;
    case kBmpSliderYellow: VerticalSlider(cr, v, kYellow, true); break;
    case kBmpSliderPurple: VerticalSlider(cr, v, kPurple, false); break;
    case kBmpSliderGreen: VerticalSlider(cr, v, kGreen, false); break;
    case kBmpSwitch: Switch(cr, on); break;
    case kBmpRadio20: RoundRadio(cr, on); break;
    case kBmpRadio60: WideRadio(cr, 60, on); break;
    case kBmpRadio80: WideRadio(cr, 80, on); break;
    case kBmpUndo: ArrowButton(cr, on, false); break;
    case kBmpRedo: ArrowButton(cr, on, true); break;
    case kBmpAb: AbButton(cr, on); break;
    case kBmpCopy: CopyButton(cr, on); break;
    default: break;
  }
}

bool WritePreview(const std::string& path) {
  const std::vector<ArtLabel> labels = PlanLabels();
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelLayoutWidth,
                                                  kPanelLayoutHeight);
  cairo_t* cr = cairo_create(s);
  DrawBackground(cr, labels);
  std::size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  for (std::size_t i = 0; i < n; ++i) {
    const PanelItem& it = items[i];
    const int idx = static_cast<int>(i);
    // Only the pitch page of the step rows is shown.
    if (idx >= PanelStepRowFirstItem(1) && idx < PanelStepRowFirstItem(1) + 32) continue;
    const PanelBitmap* b = FindPanelBitmap(it.bitmap);
    if (!b) continue;
    const double v = 0.5 + 0.45 * std::sin(i * 1.7);
    if (it.kind == PanelControlKind::RadioGroup) {
      for (int k = 0; k < it.buttons; ++k) {
        const LayoutRect r = RadioButtonRect(it, k);
        cairo_save(cr);
        cairo_translate(cr, r.left, r.top);
        DrawFrame(cr, b->id, k == 0 ? 1 : 0, b->frames);
        cairo_restore(cr);
      }
      continue;
    }
    const int frame = b->frames > 2 ? int(v * (b->frames - 1) + 0.5) : (i % 3 == 0);
    cairo_save(cr);
    cairo_translate(cr, it.rect.left, it.rect.top);
    cairo_rectangle(cr, 0, 0, b->frameWidth, b->frameHeight);
    cairo_clip(cr);
    DrawFrame(cr, b->id, frame, b->frames);
    cairo_restore(cr);
  }
  // The display's two lines, as the editor shows them.
  const Anchor d = ItemAnchor(PanelDisplayItem());
  SelectFont(cr, 15, false);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_move_to(cr, d.left, d.top + 13);
  cairo_show_text(cr, "Filter frequency");
  cairo_move_to(cr, d.left, d.top + 30);
  cairo_show_text(cr, "22000.000000 HZ");
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

void ReleaseFonts() {
  if (gMeasurer) cairo_destroy(gMeasurer);
  gMeasurer = nullptr;
  cairo_debug_reset_static_data();
  FcFini();
}

bool LabelFontPresent() {
  // Cairo's toy faces resolve through fontconfig; ask which family it finds.
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kFont));
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* family = nullptr;
  const bool found = match && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
                     std::string(reinterpret_cast<const char*>(family)) == kFont;
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return found;
}

bool WriteArtwork(const std::string& dir, const std::string& labelsPath) {
  // Other faces have other widths, and the label plan would shift.
  if (!LabelFontPresent()) {
    std::fprintf(stderr, "panelart: the font \"%s\" is missing (Debian: fonts-liberation2)\n",
                 kFont);
    return false;
  }
  const std::vector<ArtLabel> labels = PlanLabels();
  std::size_t count = 0;
  const PanelBitmap* bitmaps = PanelBitmaps(&count);
  for (std::size_t i = 0; i < count; ++i) {
    const PanelBitmap& b = bitmaps[i];
    // The knob strip and the power switch are loaded but shown by no control.
    if (b.id == kBmpDiodeKnob || b.id == kBmpPowerSwitch) continue;
    const bool background = b.id == kBmpBackground;
    cairo_surface_t* s = cairo_image_surface_create(
        background ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, b.frameWidth,
        b.frameHeight * b.frames);
    cairo_t* cr = cairo_create(s);
    if (background) {
      DrawBackground(cr, labels);
    } else {
      for (int f = 0; f < b.frames; ++f) {
        cairo_save(cr);
        cairo_translate(cr, 0, f * b.frameHeight);
        cairo_rectangle(cr, 0, 0, b.frameWidth, b.frameHeight);
        cairo_clip(cr);
        DrawFrame(cr, b.id, f, b.frames);
        cairo_restore(cr);
      }
    }
    cairo_destroy(cr);
    const std::string file = b.file;
    const std::string path = dir + "/" + file.substr(file.rfind('/') + 1);
    const cairo_status_t st = cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    if (st != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "panelart: cannot write %s: %s\n", path.c_str(),
                   cairo_status_to_string(st));
      return false;
    }
  }

  std::FILE* f = std::fopen(labelsPath.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "panelart: cannot write %s\n", labelsPath.c_str());
    return false;
  }
  std::fprintf(f, "# layout %08x\n", static_cast<unsigned>(PanelLayoutFingerprint()));
  std::fprintf(f, "# role\tleft\ttop\tright\tbottom\tcolour\titems\ttext\n");
  for (const ArtLabel& l : labels) {
    const char* role = l.role == LabelRole::Name ? "name" : l.role == LabelRole::Icon ? "icon" : "title";
    std::string items;
    for (int it : l.items) items += (items.empty() ? "" : ",") + std::to_string(it);
    std::fprintf(f, "%s\t%.1f\t%.1f\t%.1f\t%.1f\t%06x\t%s\t%s\n", role, l.box.left, l.box.top,
                 l.box.right, l.box.bottom, static_cast<unsigned>(l.rgb),
                 items.empty() ? "-" : items.c_str(), l.text.c_str());
  }
  return std::fclose(f) == 0;
}

}  // namespace panelart
}  // namespace morvanta
