#include "graphics/PanelBitmaps.h"

#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>

#include "graphics/Resources.h"

namespace morvanta {
namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Signature, IHDR length and tag, width, height.
constexpr std::size_t kHeaderBytes = 24;
// Larger images are refused before a decoder allocates for them.
constexpr uint32_t kMaxSide = 16384;

struct CacheEntry {
  int width = 0;
  int height = 0;
  bool decodeTried = false;
  cairo_surface_t* image = nullptr;
};

// One per process (per load of the plug-in): freed when the library is
// unloaded, after the host has released every instance.
struct BitmapCache {
  std::mutex lock;
  std::map<int, CacheEntry> entries;
  int decodes = 0;
  ~BitmapCache() {
    for (auto& e : entries)
      if (e.second.image) cairo_surface_destroy(e.second.image);
  }
};

BitmapCache& Cache() {
  static BitmapCache cache;
  return cache;
}

bool HasPngSignature(const unsigned char* bytes, std::size_t size) {
  return bytes != nullptr && size >= sizeof kPngSignature &&
         std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0;
}

uint32_t ReadBigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Width and height from the IHDR chunk; false for anything that is not a
// plausible PNG.
bool ReadPngSize(const unsigned char* bytes, std::size_t size, int* width, int* height) {
  if (!HasPngSignature(bytes, size) || size < kHeaderBytes) return false;
  if (std::memcmp(bytes + 12, "IHDR", 4) != 0) return false;
  const uint32_t w = ReadBigEndian32(bytes + 16), h = ReadBigEndian32(bytes + 20);
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

bool EndsWithPng(const char* file) {
  if (file == nullptr) return false;
  const std::size_t n = std::strlen(file);
  if (n < 4) return false;
  const char* ext = file + n - 4;
  return ext[0] == '.' && std::tolower(static_cast<unsigned char>(ext[1])) == 'p' &&
         std::tolower(static_cast<unsigned char>(ext[2])) == 'n' &&
         std::tolower(static_cast<unsigned char>(ext[3])) == 'g';
}

struct ByteReader {
  const unsigned char* data;
  std::size_t size;
  std::size_t pos;
};

cairo_status_t ReadBytes(void* closure, unsigned char* out, unsigned int length) {
  auto* r = static_cast<ByteReader*>(closure);
  if (length > r->size - r->pos) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, r->data + r->pos, length);
  r->pos += length;
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

int BitmapStrip::FrameWidth() const {
  const int n = std::max(frames, 1);
  return sideBySide ? width / n : width;
}

int BitmapStrip::FrameHeight() const {
  const int n = std::max(frames, 1);
  return sideBySide ? height : height / n;
}

PanelRect BitmapStrip::Frame(int k) const {
  const int n = std::max(frames, 1);
  k = std::clamp(k, 0, n - 1);
  const int fw = FrameWidth(), fh = FrameHeight();
  return sideBySide ? PanelRect{k * fw, 0, fw, fh} : PanelRect{0, k * fh, fw, fh};
}

RasterBitmap BitmapStrip::Image() const {
  if (!HasSize()) return RasterBitmap();
  BitmapCache& cache = Cache();
  std::lock_guard<std::mutex> guard(cache.lock);
  auto it = cache.entries.find(id);
  if (it == cache.entries.end()) return RasterBitmap();
  CacheEntry& e = it->second;
  if (!e.decodeTried) {
    e.decodeTried = true;
    const ResourceBytes bytes = FindResourceBytes(id);
    cairo_surface_t* image = DecodePng(bytes.data, bytes.size);
    ++cache.decodes;
    if (image != nullptr && cairo_image_surface_get_width(image) == e.width &&
        cairo_image_surface_get_height(image) == e.height) {
      e.image = image;
    } else if (image != nullptr) {
      cairo_surface_destroy(image);  // the header lied about the size
    }
  }
  return RasterBitmap(e.image);
}

BitmapStrip LoadPanelBitmap(int id, const char* file, int frames) {
  BitmapStrip strip;
  strip.id = id;
  strip.frames = std::max(frames, 1);
  if (!EndsWithPng(file)) return strip;
  BitmapCache& cache = Cache();
  std::lock_guard<std::mutex> guard(cache.lock);
  auto it = cache.entries.find(id);
  if (it == cache.entries.end()) {
    CacheEntry e;
    const ResourceBytes bytes = FindResourceBytes(id);
    if (!ReadPngSize(bytes.data, bytes.size, &e.width, &e.height)) e.decodeTried = true;
    it = cache.entries.emplace(id, e).first;
  }
  if (it->second.decodeTried && it->second.image == nullptr) return strip;
  strip.width = it->second.width;
  strip.height = it->second.height;
  return strip;
}

cairo_surface_t* DecodePng(const unsigned char* bytes, std::size_t size) {
  if (!HasPngSignature(bytes, size)) return nullptr;
  ByteReader reader{bytes, size, 0};
  // Cairo's PNG reader expands palette and low-bit grey images and
  // premultiplies alpha.
  cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(ReadBytes, &reader);
  if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(decoded);
    return nullptr;
  }
  if (cairo_image_surface_get_format(decoded) == CAIRO_FORMAT_ARGB32) return decoded;
  // Opaque images come back as RGB24: repaint them into the one format the
  // panel draws from.
  const int w = cairo_image_surface_get_width(decoded), h = cairo_image_surface_get_height(decoded);
  cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(argb);
  cairo_set_source_surface(cr, decoded, 0, 0);
  cairo_paint(cr);
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_destroy(decoded);
  if (!ok || cairo_surface_status(argb) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(argb);
    return nullptr;
  }
  return argb;
}

int PanelBitmapDecodeCount() {
  BitmapCache& cache = Cache();
  std::lock_guard<std::mutex> guard(cache.lock);
  return cache.decodes;
}

}  // namespace morvanta
