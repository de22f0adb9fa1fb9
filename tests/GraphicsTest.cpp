// The drawing layer: PNG decoding of embedded bytes (and refusal of
// anything else), the bitmap cache, weighted blits, text through
// fontconfig (and no crash without any font), and the prompt's text model.
#include <gtest/gtest.h>
#include <png.h>

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/PanelBitmaps.h"
#include "graphics/PromptText.h"
#include "graphics/Raster.h"
#include "graphics/Resources.h"

namespace morvanta {
namespace {

constexpr int kSwitchId = 103;  // the two-frame switch strip, 40 x 40

// A PNG in memory, written by libpng with the given colour type and depth.
std::vector<unsigned char> MakePng(int width, int height, int colorType, int depth,
                                   const std::vector<png_color>& palette,
                                   const std::vector<unsigned char>& packedRows) {
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* v = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, depth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  const std::size_t stride = packedRows.size() / height;
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(packedRows.data() + y * stride));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

uint32_t SurfacePixel(cairo_surface_t* s, int x, int y) {
  RasterMemBitmap copy(cairo_image_surface_get_width(s), cairo_image_surface_get_height(s));
  const PanelRect all{0, 0, copy.Width(), copy.Height()};
  copy.Blit(RasterBitmap(s), all, 0, 0, 1.0, all);
  return copy.PixelAt(x, y);
}

int Channel(uint32_t px, int shift) { return static_cast<int>((px >> shift) & 0xff); }

int LitPixels(const RasterMemBitmap& b, const PanelRect& r) {
  int lit = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) lit += Channel(b.PixelAt(x, y), 16) > 128;
  return lit;
}

// Runs in a fresh process where fontconfig sees no font at all.
[[noreturn]] void DrawWithoutFonts(const std::string& conf) {
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  RasterMemBitmap b(200, 40);
  b.Fill(PanelRect{0, 0, 200, 40}, RasterColor{255, 0, 0, 0});
  const TextStyle style{15, RasterColor{255, 255, 255, 255}, "Arial"};
  b.DrawText("no font here", PanelRect{0, 0, 200, 40}, style, PanelRect{0, 0, 200, 40});
  const bool blank = LitPixels(b, PanelRect{0, 0, 200, 40}) == 0;
  std::exit(blank && !FontAvailable(style) && TextWidth("x", style) == 0.0 ? 0 : 1);
}

TEST(GraphicsDeathTest, TextIsSkippedWhenNoFontExists) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string conf = std::string(MORVANTA_BUILD_DIR) + "/no-fonts.conf";
  std::FILE* f = std::fopen(conf.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n", f);
  std::fclose(f);
  EXPECT_EXIT(DrawWithoutFonts(conf), ::testing::ExitedWithCode(0), "");
}

TEST(GraphicsTest, DecodesOnlyWholePngBytes) {
  const ResourceBytes real = FindResourceBytes(kSwitchId);
  ASSERT_NE(real.data, nullptr);
  cairo_surface_t* s = DecodePng(real.data, real.size);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(cairo_image_surface_get_format(s), CAIRO_FORMAT_ARGB32);
  EXPECT_EQ(cairo_image_surface_get_width(s), 40);
  EXPECT_EQ(cairo_image_surface_get_height(s), 40);
  cairo_surface_destroy(s);

  EXPECT_EQ(DecodePng(nullptr, 0), nullptr);
  EXPECT_EQ(DecodePng(real.data, 7), nullptr);            // shorter than the signature
  EXPECT_EQ(DecodePng(real.data, real.size / 2), nullptr);  // truncated
  std::vector<unsigned char> wrong(real.data, real.data + real.size);
  wrong[1] = 'Q';
  EXPECT_EQ(DecodePng(wrong.data(), wrong.size()), nullptr);
  const unsigned char text[] = "not an image at all";
  EXPECT_EQ(DecodePng(text, sizeof text), nullptr);
}

TEST(GraphicsTest, PaletteAndLowBitGreyImagesAreExpanded) {
  // 4 x 1 pixels, 2-bit palette: red, green, blue, white.
  const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  const auto indexed = MakePng(4, 1, PNG_COLOR_TYPE_PALETTE, 2, palette, {0x1b});  // 00 01 10 11
  cairo_surface_t* p = DecodePng(indexed.data(), indexed.size());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(SurfacePixel(p, 0, 0), 0xffff0000u);
  EXPECT_EQ(SurfacePixel(p, 1, 0), 0xff00ff00u);
  EXPECT_EQ(SurfacePixel(p, 2, 0), 0xff0000ffu);
  EXPECT_EQ(SurfacePixel(p, 3, 0), 0xffffffffu);
  cairo_surface_destroy(p);
  // 8 x 1 pixels, 1-bit grey: alternating black and white.
  const auto grey = MakePng(8, 1, PNG_COLOR_TYPE_GRAY, 1, {}, {0x55});
  cairo_surface_t* g = DecodePng(grey.data(), grey.size());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(cairo_image_surface_get_format(g), CAIRO_FORMAT_ARGB32);
  EXPECT_EQ(SurfacePixel(g, 0, 0), 0xff000000u);
  EXPECT_EQ(SurfacePixel(g, 1, 0), 0xffffffffu);
  cairo_surface_destroy(g);
}

TEST(GraphicsTest, TheCacheReadsSizesAtLoadAndDecodesOnceAtFirstUse) {
  BitmapStrip missing = LoadPanelBitmap(9999, "nothing.png", 1);
  EXPECT_FALSE(missing.HasSize());
  EXPECT_FALSE(missing.Image().Valid());
  EXPECT_FALSE(LoadPanelBitmap(kSwitchId, "switch.bmp", 2).HasSize());  // not a ".png" name

  const BitmapStrip a = LoadPanelBitmap(kSwitchId, "img/SWITCH.PNG", 2);
  const BitmapStrip b = LoadPanelBitmap(kSwitchId, "switch.png", 2);
  EXPECT_EQ(a.FrameWidth(), 40);
  EXPECT_EQ(a.FrameHeight(), 20);
  EXPECT_EQ(a.Frame(1).y, 20);
  EXPECT_EQ(a.Frame(5).y, 20);  // clamped to the last frame
  const int before = PanelBitmapDecodeCount();
  const RasterBitmap first = a.Image();
  const RasterBitmap second = b.Image();
  EXPECT_TRUE(first.Valid());
  EXPECT_EQ(first.Surface(), second.Surface());
  EXPECT_LE(PanelBitmapDecodeCount() - before, 1);
}

TEST(GraphicsTest, BlitsWeighTheSourceAndStayInsideTheClip) {
  RasterMemBitmap white(2, 2), target(4, 4);
  white.Fill(PanelRect{0, 0, 2, 2}, RasterColor{255, 255, 255, 255});
  target.Fill(PanelRect{0, 0, 4, 4}, RasterColor{255, 0, 0, 0});
  const RasterBitmap src(white.Surface());
  target.Blit(src, PanelRect{0, 0, 2, 2}, 0, 0, 0.25, PanelRect{0, 0, 4, 4});
  EXPECT_NEAR(Channel(target.PixelAt(1, 1), 8), 64, 1);  // a quarter of white over black
  EXPECT_EQ(Channel(target.PixelAt(1, 1), 24), 255);
  target.Blit(src, PanelRect{0, 0, 2, 2}, 2, 2, 1.0, PanelRect{0, 0, 3, 3});
  EXPECT_EQ(target.PixelAt(2, 2), 0xffffffffu);
  EXPECT_EQ(target.PixelAt(3, 3), 0xff000000u);  // outside the clip
  EXPECT_EQ(target.PixelAt(7, 7), 0u);
}

TEST(GraphicsTest, TextFindsAMetricCompatibleFaceAndHonoursLinesAndAlignment) {
  const TextStyle arial{15, RasterColor{255, 255, 255, 255}, "Arial"};
  ASSERT_TRUE(FontAvailable(arial));
  // Liberation Sans matches Arial's advance widths: "Amp gain" at 15 px.
  EXPECT_NEAR(TextWidth("Amp gain", arial), 55.0, 6.0);
  RasterMemBitmap b(200, 40);
  const PanelRect all{0, 0, 200, 40};
  b.Fill(all, RasterColor{255, 0, 0, 0});
  b.DrawText("top\nbottom", all, arial, all);
  EXPECT_GT(LitPixels(b, PanelRect{0, 0, 60, 17}), 20);
  EXPECT_GT(LitPixels(b, PanelRect{0, 17, 60, 20}), 20);
  TextStyle right = arial;
  right.align = TextAlign::Right;
  b.Fill(all, RasterColor{255, 0, 0, 0});
  b.DrawText("end", all, right, all);
  EXPECT_EQ(LitPixels(b, PanelRect{0, 0, 150, 40}), 0);
  EXPECT_GT(LitPixels(b, PanelRect{150, 0, 50, 40}), 20);
}

TEST(GraphicsTest, PromptTextEditsWithCaretSelectionAndFilter) {
  PromptText t;
  t.Reset("50.00", PromptFilter::Decimal);
  EXPECT_TRUE(t.HasSelection());
  EXPECT_TRUE(t.Key('7', false));  // typing replaces the selection
  EXPECT_EQ(t.Text(), "7");
  EXPECT_FALSE(t.Key('e', false));
  EXPECT_TRUE(t.Key('.', false));
  EXPECT_TRUE(t.Key('5', false));
  EXPECT_TRUE(t.Key(kKeyHome, false));
  EXPECT_TRUE(t.Key('-', false));
  EXPECT_EQ(t.Text(), "-7.5");
  EXPECT_TRUE(t.Key(kKeyEnd, true));  // select to the end
  EXPECT_EQ(t.SelectionEnd() - t.SelectionStart(), 3u);
  EXPECT_TRUE(t.Key(kKeyBackspace, false));
  EXPECT_EQ(t.Text(), "-");
  EXPECT_TRUE(t.Key(kKeyLeft, false));
  EXPECT_TRUE(t.Key(kKeyDelete, false));
  EXPECT_EQ(t.Text(), "");
  EXPECT_FALSE(t.Key(kKeyBackspace, false));

  t.Reset("", PromptFilter::Integer);
  EXPECT_FALSE(t.Key('.', false));
  for (int i = 0; i < 40; ++i) t.Key('9', false);
  EXPECT_EQ(t.Text().size(), PromptText::kMaxLength);
  t.Reset("", PromptFilter::Anything);
  EXPECT_TRUE(t.Key('x', false));
  EXPECT_FALSE(t.Key(0x7f, false));
}

}  // namespace
}  // namespace morvanta
