// The panel's bitmaps: PNG images compiled into the plug-in, found by
// resource id and kept in one process-wide cache with a lock of its own.
// Loading reads only the image header; the pixels are decoded the first time
// a control draws, so building an editor stays cheap.
#pragma once

#include <cstddef>

#include "graphics/PanelWindow.h"
#include "graphics/Raster.h"

namespace morvanta {

// A strip of equally sized frames (stacked vertically on this panel).
struct BitmapStrip {
  int id = -1;
  int width = 0;   // of the whole image, 0 when there is no image
  int height = 0;
  int frames = 1;
  bool sideBySide = false;

  bool HasSize() const { return width > 0 && height > 0; }
  int FrameWidth() const;
  int FrameHeight() const;
  // Source rectangle of frame k, counted from 0 and clamped to the strip.
  PanelRect Frame(int k) const;
  // The decoded image (decoded on first use); invalid when the resource is
  // missing or broken.
  RasterBitmap Image() const;
};

// Finds bitmap `id` among the embedded resources. Only a `file` ending in
// ".png" (any case) is looked up; anything else gives a strip without image.
BitmapStrip LoadPanelBitmap(int id, const char* file, int frames);

// Decodes PNG bytes into a new ARGB32 surface (the caller destroys it);
// null unless the bytes start with the PNG signature and decode whole.
cairo_surface_t* DecodePng(const unsigned char* bytes, std::size_t size);

// How many images the cache has decoded since the process started.
int PanelBitmapDecodeCount();

}  // namespace morvanta
