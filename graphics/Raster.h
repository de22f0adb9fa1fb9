// The panel's drawing library on Cairo: an owned ARGB32 image surface that
// frames of decoded bitmaps are copied into with a blend weight, and text
// drawn with cached font faces found through fontconfig.
#pragma once

#include <cstdint>

#include "graphics/PanelWindow.h"

namespace morvanta {

struct RasterColor {
  uint8_t a = 255;
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

enum class TextAlign { Left, Center, Right };
enum TextStyleFlags : unsigned { kTextNormal = 0, kTextBold = 1u << 0, kTextItalic = 1u << 1 };

struct TextStyle {
  int size = 12;                 // cell height in pixels, as the window system sizes fonts
  RasterColor color{};
  const char* font = "Verdana";  // family name handed to fontconfig
  unsigned style = kTextNormal;
  TextAlign align = TextAlign::Left;
  int orientation = 0;           // degrees, counter-clockwise
};

// A decoded image held by the bitmap cache; it never owns the surface.
class RasterBitmap {
 public:
  explicit RasterBitmap(cairo_surface_t* surface = nullptr) : surface_(surface) {}
  cairo_surface_t* Surface() const { return surface_; }
  bool Valid() const { return surface_ != nullptr; }
  int Width() const;
  int Height() const;

 private:
  cairo_surface_t* surface_;
};

// An owned ARGB32 surface: the panel's back buffer, or any memory target.
class RasterMemBitmap {
 public:
  RasterMemBitmap(int width, int height);
  ~RasterMemBitmap();
  RasterMemBitmap(const RasterMemBitmap&) = delete;
  RasterMemBitmap& operator=(const RasterMemBitmap&) = delete;

  bool Valid() const { return surface_ != nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  cairo_surface_t* Surface() const { return surface_; }

  void Fill(const PanelRect& area, RasterColor color);
  // Copies `source` of `image` to (x, y), weighted by `weight` (1 opaque,
  // 0.25 for a grayed control) and clipped to `clip`.
  void Blit(const RasterBitmap& image, const PanelRect& source, int x, int y, double weight,
            const PanelRect& clip);
  // Draws `text` (lines split at '\n') aligned in `box`; the text is not
  // clipped to the box, only to `clip`. Without a usable font nothing is drawn.
  void DrawText(const char* text, const PanelRect& box, const TextStyle& style,
                const PanelRect& clip);
  // Frames a rectangle with a one-pixel line inside it.
  void Outline(const PanelRect& box, RasterColor color, const PanelRect& clip);

  // Reads one pixel as 0xAARRGGBB (premultiplied, as stored); 0 outside.
  uint32_t PixelAt(int x, int y) const;
  bool WritePng(const char* path) const;

 private:
  int width_;
  int height_;
  cairo_surface_t* surface_ = nullptr;
};

// Horizontal advance of `text` in `style` (the widest line); 0 without a font.
double TextWidth(const char* text, const TextStyle& style);

// True when `style.font` resolves to a face that can draw text.
bool FontAvailable(const TextStyle& style);

// Rectangle helpers shared by the panel code.
bool RectEmpty(const PanelRect& r);
bool RectContains(const PanelRect& r, int x, int y);  // left/top inclusive, right/bottom exclusive
bool RectsIntersect(const PanelRect& a, const PanelRect& b);
PanelRect RectUnion(const PanelRect& a, const PanelRect& b);       // empty operands ignored
PanelRect RectIntersection(const PanelRect& a, const PanelRect& b);
bool RectInside(const PanelRect& inner, const PanelRect& outer);

}  // namespace morvanta
