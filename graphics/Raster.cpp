#include "graphics/Raster.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace morvanta {
namespace {

// One resolved face per (family, style), shared by every instance in the
// process. A face that cannot be found is remembered as null so fontconfig
// is asked once.
struct CachedFace {
  std::string family;
  unsigned style;
  cairo_font_face_t* face;
  double sizeToEm;  // cairo font size per pixel of cell height
};

// One per process (per load of the plug-in), freed when the library is unloaded.
struct FaceCache {
  std::mutex lock;
  std::vector<CachedFace> faces;
  ~FaceCache() {
    for (CachedFace& f : faces)
      if (f.face) cairo_font_face_destroy(f.face);
  }
};

FaceCache& Faces() {
  static FaceCache cache;
  return cache;
}

cairo_font_face_t* ResolveFace(const char* family, unsigned style, double* sizeToEm) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return nullptr;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_WEIGHT, (style & kTextBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, (style & kTextItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return nullptr;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
    FcPatternDestroy(match);
    return nullptr;
  }
  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
  FcPatternDestroy(match);  // the face keeps its own reference
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  // Measure ascent + descent (unhinted, at a large size) so a style's size
  // is the cell height.
  constexpr double kProbeSize = 1000.0;
  cairo_matrix_t unit, identity;
  cairo_matrix_init_scale(&unit, kProbeSize, kProbeSize);
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &unit, &identity, options);
  cairo_font_options_destroy(options);
  cairo_font_extents_t extents{};
  cairo_scaled_font_extents(scaled, &extents);
  const bool usable = cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS &&
                      extents.ascent + extents.descent > 0.0;
  cairo_scaled_font_destroy(scaled);
  if (!usable) {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  *sizeToEm = kProbeSize / (extents.ascent + extents.descent);
  return face;
}

// Returns a referenced face (the caller destroys it) or null.
cairo_font_face_t* FaceFor(const TextStyle& style, double* sizeToEm) {
  const char* family = (style.font != nullptr && style.font[0] != 0) ? style.font : "Verdana";
  const unsigned flags = style.style & (kTextBold | kTextItalic);
  FaceCache& cache = Faces();
  std::lock_guard<std::mutex> guard(cache.lock);
  for (const CachedFace& f : cache.faces) {
    if (f.style == flags && f.family == family) {
      *sizeToEm = f.sizeToEm;
      return f.face ? cairo_font_face_reference(f.face) : nullptr;
    }
  }
  double scale = 1.0;
  cairo_font_face_t* face = ResolveFace(family, flags, &scale);
  cache.faces.push_back({family, flags, face, scale});
  *sizeToEm = scale;
  return face ? cairo_font_face_reference(face) : nullptr;
}

// Sets the face and size on `cr`; false when no font can be had.
bool SelectFont(cairo_t* cr, const TextStyle& style) {
  if (style.size <= 0) return false;
  double sizeToEm = 1.0;
  cairo_font_face_t* face = FaceFor(style, &sizeToEm);
  if (face == nullptr) return false;
  cairo_set_font_face(cr, face);
  cairo_font_face_destroy(face);
  cairo_set_font_size(cr, style.size * sizeToEm);
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

void SetColor(cairo_t* cr, RasterColor c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

void ClipTo(cairo_t* cr, const PanelRect& clip) {
  cairo_rectangle(cr, clip.x, clip.y, clip.w, clip.h);
  cairo_clip(cr);
}

// Calls fn(line, length) for each '\n'-separated line.
template <class Fn>
void ForEachLine(const char* text, Fn fn) {
  const char* start = text;
  for (const char* p = text;; ++p) {
    if (*p == '\n' || *p == 0) {
      fn(start, static_cast<size_t>(p - start));
      if (*p == 0) break;
      start = p + 1;
    }
  }
}

double LineWidth(cairo_t* cr, const char* line, size_t length) {
  char buf[512];
  const size_t n = std::min(length, sizeof buf - 1);
  std::memcpy(buf, line, n);
  buf[n] = 0;
  cairo_text_extents_t e{};
  cairo_text_extents(cr, buf, &e);
  return e.x_advance;
}

}  // namespace

int RasterBitmap::Width() const { return surface_ ? cairo_image_surface_get_width(surface_) : 0; }
int RasterBitmap::Height() const { return surface_ ? cairo_image_surface_get_height(surface_) : 0; }

RasterMemBitmap::RasterMemBitmap(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  if (width_ == 0 || height_ == 0) return;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    width_ = height_ = 0;
    return;
  }
  surface_ = s;
}

RasterMemBitmap::~RasterMemBitmap() {
  if (surface_) cairo_surface_destroy(surface_);
}

void RasterMemBitmap::Fill(const PanelRect& area, RasterColor color) {
  if (!surface_) return;
  cairo_t* cr = cairo_create(surface_);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  SetColor(cr, color);
  cairo_rectangle(cr, area.x, area.y, area.w, area.h);
  cairo_fill(cr);
  cairo_destroy(cr);
}

void RasterMemBitmap::Blit(const RasterBitmap& image, const PanelRect& source, int x, int y,
                           double weight, const PanelRect& clip) {
  if (!surface_ || !image.Valid() || RectEmpty(source) || !(weight > 0.0)) return;
  cairo_t* cr = cairo_create(surface_);
  ClipTo(cr, RectIntersection(clip, PanelRect{x, y, source.w, source.h}));
  cairo_set_source_surface(cr, image.Surface(), x - source.x, y - source.y);
  if (weight >= 1.0)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, weight);
  cairo_destroy(cr);
}

void RasterMemBitmap::DrawText(const char* text, const PanelRect& box, const TextStyle& style,
                               const PanelRect& clip) {
  if (!surface_ || text == nullptr || text[0] == 0) return;
  cairo_t* cr = cairo_create(surface_);
  ClipTo(cr, clip);
  if (SelectFont(cr, style)) {
    cairo_font_extents_t fe{};
    cairo_font_extents(cr, &fe);
    SetColor(cr, style.color);
    cairo_translate(cr, box.x, box.y);
    if (style.orientation != 0) cairo_rotate(cr, -style.orientation * M_PI / 180.0);
    double baseline = fe.ascent;
    ForEachLine(text, [&](const char* line, size_t length) {
      if (length > 0) {
        double x = 0.0;
        if (style.align != TextAlign::Left) {
          const double slack = box.w - LineWidth(cr, line, length);
          x = style.align == TextAlign::Center ? slack / 2.0 : slack;
        }
        char buf[512];
        const size_t n = std::min(length, sizeof buf - 1);
        std::memcpy(buf, line, n);
        buf[n] = 0;
        cairo_move_to(cr, std::floor(x), std::round(baseline));
        cairo_show_text(cr, buf);
      }
      baseline += fe.height;
    });
  }
  cairo_destroy(cr);
}

void RasterMemBitmap::Outline(const PanelRect& box, RasterColor color, const PanelRect& clip) {
  if (!surface_ || RectEmpty(box)) return;
  cairo_t* cr = cairo_create(surface_);
  ClipTo(cr, clip);
  SetColor(cr, color);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.w - 1.0, box.h - 1.0);
  cairo_stroke(cr);
  cairo_destroy(cr);
}

uint32_t RasterMemBitmap::PixelAt(int x, int y) const {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  uint32_t pixel;
  std::memcpy(&pixel, data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
  return pixel;
}

bool RasterMemBitmap::WritePng(const char* path) const {
  return surface_ && path && cairo_surface_write_to_png(surface_, path) == CAIRO_STATUS_SUCCESS;
}

double TextWidth(const char* text, const TextStyle& style) {
  if (text == nullptr || text[0] == 0) return 0.0;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(s);
  double widest = 0.0;
  if (SelectFont(cr, style)) {
    ForEachLine(text, [&](const char* line, size_t length) {
      widest = std::max(widest, LineWidth(cr, line, length));
    });
  }
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return widest;
}

bool FontAvailable(const TextStyle& style) {
  double unused = 1.0;
  cairo_font_face_t* face = FaceFor(style, &unused);
  if (face == nullptr) return false;
  cairo_font_face_destroy(face);
  return true;
}

bool RectEmpty(const PanelRect& r) { return r.w <= 0 || r.h <= 0; }

bool RectContains(const PanelRect& r, int x, int y) {
  return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h;
}

bool RectsIntersect(const PanelRect& a, const PanelRect& b) {
  return !RectEmpty(RectIntersection(a, b));
}

PanelRect RectUnion(const PanelRect& a, const PanelRect& b) {
  if (RectEmpty(a)) return b;
  if (RectEmpty(b)) return a;
  const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return PanelRect{x0, y0, x1 - x0, y1 - y0};
}

PanelRect RectIntersection(const PanelRect& a, const PanelRect& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
  if (x1 <= x0 || y1 <= y0) return PanelRect{x0, y0, 0, 0};
  return PanelRect{x0, y0, x1 - x0, y1 - y0};
}

bool RectInside(const PanelRect& inner, const PanelRect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

}  // namespace morvanta
