// Spectrogram pictures: log-frequency axis from 30 Hz to 20 kHz, level from
// -100 to 0 dBFS on a dark-to-bright colour ramp, the same time scale in
// every cell of the sheet so that lengths can be compared.
#include "tools/audition/SpectrogramPicture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace morvanta {
namespace audition {
namespace {

constexpr double kLowHz = 30.0;
constexpr double kHighHz = 20000.0;
constexpr double kFloorDb = -100.0;
constexpr double kSheetSeconds = 6.0;  // longest phrase plus most of its tail
constexpr int kCellWidth = 190;
constexpr int kCellHeight = 90;
constexpr int kLabelHeight = 16;
constexpr int kCellsPerLine = 12;
constexpr int kGap = 6;
constexpr int kHeadingHeight = 24;

struct Rgb {
  double r, g, b;
};

Rgb Ramp(double t) {
  static const Rgb kStops[] = {{0.0, 0.0, 0.02}, {0.25, 0.04, 0.45}, {0.72, 0.12, 0.38},
                               {0.98, 0.45, 0.05}, {1.0, 0.92, 0.35}, {1.0, 1.0, 1.0}};
  constexpr int kLast = sizeof kStops / sizeof kStops[0] - 1;
  t = std::clamp(t, 0.0, 1.0) * kLast;
  const int i = std::min(static_cast<int>(t), kLast - 1);
  const double f = t - i;
  return {kStops[i].r + f * (kStops[i + 1].r - kStops[i].r),
          kStops[i].g + f * (kStops[i + 1].g - kStops[i].g),
          kStops[i].b + f * (kStops[i + 1].b - kStops[i].b)};
}

// Paints the spectrogram into a width x height image surface: `seconds`
// across, kLowHz..kHighHz upwards on a log scale.
cairo_surface_t* SpectrogramImage(const Spectrogram& s, int width, int height, double seconds) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < height; ++y) {
    // The bins that fall into this pixel row; the loudest one is shown.
    const double top = kLowHz * std::pow(kHighHz / kLowHz, 1.0 - static_cast<double>(y) / height);
    const double bottom = kLowHz * std::pow(kHighHz / kLowHz, 1.0 - static_cast<double>(y + 1) / height);
    const int b0 = std::clamp(static_cast<int>(bottom / std::max(s.binHz, 1e-9)), 1, std::max(1, s.bins - 1));
    const int b1 = std::clamp(static_cast<int>(top / std::max(s.binHz, 1e-9)), b0, std::max(1, s.bins - 1));
    uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const int c = static_cast<int>(x * seconds / width / std::max(s.hopSeconds, 1e-9));
      double db = kFloorDb;
      if (c < s.columns && s.bins > 1) {
        for (int b = b0; b <= b1; ++b) db = std::max(db, static_cast<double>(s.At(c, b)));
      }
      const Rgb rgb = Ramp((db - kFloorDb) / -kFloorDb);
      row[x] = (static_cast<uint32_t>(rgb.r * 255) << 16) | (static_cast<uint32_t>(rgb.g * 255) << 8) |
               static_cast<uint32_t>(rgb.b * 255);
    }
  }
  cairo_surface_mark_dirty(image);
  return image;
}

void Text(cairo_t* cr, double x, double y, double size, const std::string& text) {
  cairo_set_font_size(cr, size);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

std::string Label(const PictureEntry& e) {
  char buffer[320];
  std::snprintf(buffer, sizeof buffer, "%03d %s", e.program, e.name.c_str());
  return buffer;
}

bool Finish(cairo_surface_t* surface, cairo_t* cr, const std::string& path, std::string* error) {
  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = "cannot write " + path + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace

bool WriteContactSheet(const std::vector<PictureEntry>& entries, const std::string& path,
                       std::string* error) {
  // Categories in the order their first program appears.
  std::vector<Category> order;
  for (const PictureEntry& e : entries) {
    if (std::find(order.begin(), order.end(), e.category) == order.end()) order.push_back(e.category);
  }
  const int cellStepX = kCellWidth + kGap;
  const int cellStepY = kCellHeight + kLabelHeight + kGap;
  int height = kGap;
  for (Category c : order) {
    const int n = static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                                 [c](const PictureEntry& e) { return e.category == c; }));
    height += kHeadingHeight + ((n + kCellsPerLine - 1) / kCellsPerLine) * cellStepY;
  }
  const int width = kGap + kCellsPerLine * cellStepX;
  cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.12, 0.12, 0.13);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  int y = kGap;
  for (Category c : order) {
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    Text(cr, kGap, y + kHeadingHeight - 7, 15, CategoryLabel(c));
    y += kHeadingHeight;
    int i = 0;
    for (const PictureEntry& e : entries) {
      if (e.category != c) continue;
      const int x = kGap + (i % kCellsPerLine) * cellStepX;
      const int cy = y + (i / kCellsPerLine) * cellStepY;
      cairo_surface_t* cell = SpectrogramImage(e.spectrogram, kCellWidth, kCellHeight, kSheetSeconds);
      cairo_set_source_surface(cr, cell, x, cy);
      cairo_paint(cr);
      cairo_surface_destroy(cell);
      cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
      cairo_save(cr);
      cairo_rectangle(cr, x, cy + kCellHeight, kCellWidth, kLabelHeight);
      cairo_clip(cr);
      Text(cr, x + 1, cy + kCellHeight + kLabelHeight - 4, 11, Label(e));
      cairo_restore(cr);
      ++i;
    }
    y += ((i + kCellsPerLine - 1) / kCellsPerLine) * cellStepY;
  }
  return Finish(sheet, cr, path, error);
}

bool WriteSpectrogramPicture(const PictureEntry& entry, const std::string& path,
                             std::string* error) {
  constexpr int kPlotWidth = 1000;
  constexpr int kPlotHeight = 500;
  constexpr int kLeft = 70;
  constexpr int kTop = 40;
  constexpr int kBottom = 40;
  constexpr int kRight = 20;
  const double seconds = std::max(entry.spectrogram.columns * entry.spectrogram.hopSeconds, 0.1);
  cairo_surface_t* picture = cairo_image_surface_create(
      CAIRO_FORMAT_RGB24, kLeft + kPlotWidth + kRight, kTop + kPlotHeight + kBottom);
  cairo_t* cr = cairo_create(picture);
  cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_paint(cr);
  cairo_surface_t* plot = SpectrogramImage(entry.spectrogram, kPlotWidth, kPlotHeight, seconds);
  cairo_set_source_surface(cr, plot, kLeft, kTop);
  cairo_paint(cr);
  cairo_surface_destroy(plot);

  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  Text(cr, kLeft, kTop - 14, 16, Label(entry) + "  (" + CategoryLabel(entry.category) + ")");
  cairo_set_line_width(cr, 1.0);
  for (double hz : {50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
    const double y = kTop + kPlotHeight * (1.0 - std::log(hz / kLowHz) / std::log(kHighHz / kLowHz));
    cairo_move_to(cr, kLeft - 5, y);
    cairo_line_to(cr, kLeft, y);
    cairo_stroke(cr);
    char label[16];
    std::snprintf(label, sizeof label, hz >= 1000 ? "%gk" : "%g", hz >= 1000 ? hz / 1000 : hz);
    Text(cr, 8, y + 4, 12, label);
  }
  for (int s = 0; s <= static_cast<int>(seconds); ++s) {
    const double x = kLeft + kPlotWidth * s / seconds;
    cairo_move_to(cr, x, kTop + kPlotHeight);
    cairo_line_to(cr, x, kTop + kPlotHeight + 5);
    cairo_stroke(cr);
    Text(cr, x - 4, kTop + kPlotHeight + 20, 12, std::to_string(s) + " s");
  }
  return Finish(picture, cr, path, error);
}

}  // namespace audition
}  // namespace morvanta
