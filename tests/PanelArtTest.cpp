// The panel artwork as the plug-in embeds it: every bitmap with its size and
// frame count, and a background whose labels name every control from close
// by, overlap nothing, and stand out from what lies under them.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "editor/PanelLayout.h"
#include "graphics/Resources.h"

namespace morvanta {
namespace {

std::uint32_t BigEndian(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool IsUnused(int id) { return id == kBmpDiodeKnob || id == kBmpPowerSwitch; }

TEST(PanelArtTest, EveryBitmapIsEmbeddedWithItsFrameSizeAndCount) {
  std::size_t n = 0;
  const PanelBitmap* bitmaps = PanelBitmaps(&n);
  for (std::size_t i = 0; i < n; ++i) {
    const PanelBitmap& b = bitmaps[i];
    const ResourceBytes r = FindResourceBytes(b.id);
    if (IsUnused(b.id) && !r.data) continue;
    ASSERT_NE(r.data, nullptr) << b.file;
    ASSERT_GT(r.size, 33u) << b.file;
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    EXPECT_TRUE(std::equal(kSignature, kSignature + 8, r.data)) << b.file;
    // The first chunk is IHDR: width and height, big-endian.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.data) + 12, 4), "IHDR");
    EXPECT_EQ(BigEndian(r.data + 16), std::uint32_t(b.frameWidth)) << b.file;
    EXPECT_EQ(BigEndian(r.data + 20), std::uint32_t(b.frameHeight * b.frames)) << b.file;
  }
  EXPECT_EQ(FindResourceBytes(999).data, nullptr);
  EXPECT_EQ(FindResourceBytes(-1).size, 0u);
}

struct Label {
  std::string role;
  double left, top, right, bottom;
  std::uint32_t rgb;
  std::vector<int> items;
  std::string text;
  double MidY() const { return (top + bottom) / 2; }
};

std::vector<Label> ReadLabels(std::uint32_t* fingerprint) {
  std::vector<Label> out;
  std::ifstream in(MORVANTA_SOURCE_DIR "/resources/panel-labels.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# layout ", 0) == 0)
      *fingerprint = static_cast<std::uint32_t>(std::stoul(line.substr(9), nullptr, 16));
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    Label l;
    std::string colour, items;
    std::getline(s, l.role, '\t');
    s >> l.left >> l.top >> l.right >> l.bottom >> colour >> items;
    s.get();
    std::getline(s, l.text);
    l.rgb = static_cast<std::uint32_t>(std::stoul(colour, nullptr, 16));
    if (items != "-") {
      std::istringstream is(items);
      std::string tok;
      while (std::getline(is, tok, ',')) l.items.push_back(std::stoi(tok));
    }
    out.push_back(l);
  }
  return out;
}

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  std::uint32_t At(int x, int y) const {
    const unsigned char* p = &rgb[3 * (std::size_t(y) * width + x)];
    return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
  }
};

Image DecodeBackground() {
  Image img;
  const ResourceBytes r = FindResourceBytes(kBmpBackground);
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!r.data || !png_image_begin_read_from_memory(&png, r.data, r.size)) return img;
  png.format = PNG_FORMAT_RGB;
  img.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, img.rgb.data(), 0, nullptr)) return {};
  img.width = static_cast<int>(png.width);
  img.height = static_cast<int>(png.height);
  return img;
}

double Luminance(std::uint32_t rgb) {
  double l = 0;
  const double w[3] = {0.2126, 0.7152, 0.0722};
  for (int c = 0; c < 3; ++c) {
    const double v = ((rgb >> (16 - 8 * c)) & 255) / 255.0;
    l += w[c] * (v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
  }
  return l;
}

double Contrast(std::uint32_t a, std::uint32_t b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

double Gap(const Label& l, const LayoutRect& r) {
  const double dx = std::max({0.0, l.left - r.right, r.left - l.right});
  const double dy = std::max({0.0, l.top - r.bottom, r.top - l.bottom});
  return std::hypot(dx, dy);
}

bool Overlaps(const Label& l, const LayoutRect& r) {
  return l.left < r.right && r.left < l.right && l.top < r.bottom && r.top < l.bottom;
}

bool Overlaps(const Label& a, const Label& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

class PanelLabels : public ::testing::Test {
 protected:
  void SetUp() override {
    std::uint32_t drawnFor = 0;
    labels = ReadLabels(&drawnFor);
    items = PanelItems(&count);
    ASSERT_FALSE(labels.empty()) << "resources/panel-labels.tsv is missing";
    ASSERT_EQ(drawnFor, PanelLayoutFingerprint())
        << "the layout changed since the artwork was drawn: run morvanta-panelart";
  }
  bool InBand(double y, const LayoutRect& r) const { return y >= r.top && y < r.bottom; }
  // A row heading names a control further along its row: nothing but the
  // row's own controls and their names may stand between them.
  bool ReadsAcross(const Label& l, int item) const {
    const LayoutRect r = PanelControlRect(items[item]);
    if (!InBand(l.MidY(), r)) return false;
    const double from = std::min(l.right, double(r.left)), to = std::max(l.left, double(r.right));
    for (const Label& m : labels) {
      if (&m == &l || m.role != "name" || !InBand(m.MidY(), r)) continue;
      if (m.right <= from || m.left >= to) continue;
      bool ofThisRow = true;
      for (int it : m.items) {
        const LayoutRect mr = PanelControlRect(items[it]);
        ofThisRow = ofThisRow && InBand((mr.top + mr.bottom) / 2.0, r);
      }
      if (!ofThisRow) return false;
    }
    return true;
  }
  std::vector<Label> labels;
  const PanelItem* items = nullptr;
  std::size_t count = 0;
};

TEST_F(PanelLabels, EveryControlIsNamedWithinFortyPixelsOrByItsRowHeading) {
  std::vector<std::vector<const Label*>> names(count);
  for (const Label& l : labels) {
    for (int it : l.items) {
      ASSERT_GE(it, 0);
      ASSERT_LT(it, static_cast<int>(count));
      names[it].push_back(&l);
    }
  }
  int byRow = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const LayoutRect r = PanelControlRect(items[i]);
    bool near = false, across = false;
    for (const Label* l : names[i]) {
      near = near || Gap(*l, r) <= 40;
      across = across || ReadsAcross(*l, static_cast<int>(i));
    }
    byRow += !near && across;
    EXPECT_TRUE(near || across) << "item " << i << " (parameter " << items[i].param << ")";
  }
  // The matrix cells are the ones read across their rows.
  EXPECT_GT(byRow, 60);
}

TEST_F(PanelLabels, LabelsStayClearOfControlsAndOfEachOther) {
  for (std::size_t a = 0; a < labels.size(); ++a) {
    const Label& l = labels[a];
    EXPECT_GE(l.left, 0) << l.text;
    EXPECT_GE(l.top, 0) << l.text;
    EXPECT_LE(l.right, kPanelLayoutWidth) << l.text;
    EXPECT_LE(l.bottom, kPanelLayoutHeight) << l.text;
    for (std::size_t i = 0; i < count; ++i) {
      // The maker's name is the face of the link area.
      const bool ownLink = items[i].kind == PanelControlKind::LinkArea &&
                           std::count(l.items.begin(), l.items.end(), int(i));
      if (!ownLink) {
        EXPECT_FALSE(Overlaps(l, PanelControlRect(items[i]))) << l.text << " / item " << i;
      }
    }
    for (std::size_t b = a + 1; b < labels.size(); ++b)
      EXPECT_FALSE(Overlaps(l, labels[b])) << l.text << " / " << labels[b].text;
  }
}

TEST_F(PanelLabels, TextStandsOutFromTheBackgroundUnderIt) {
  const Image img = DecodeBackground();
  ASSERT_EQ(img.width, 1370);
  ASSERT_EQ(img.height, 768);
  for (const Label& l : labels) {
    const int x0 = int(std::floor(l.left)), y0 = int(std::floor(l.top));
    const int x1 = int(std::ceil(l.right)), y1 = int(std::ceil(l.bottom));
    // The backdrop: the commonest colour of a 2 px ring around the text.
    std::map<std::uint32_t, int> ring;
    for (int y = y0 - 2; y < y1 + 2; ++y)
      for (int x = x0 - 2; x < x1 + 2; ++x)
        if ((x < x0 || x >= x1 || y < y0 || y >= y1) && x >= 0 && y >= 0 && x < img.width &&
            y < img.height)
          ++ring[img.At(x, y)];
    ASSERT_FALSE(ring.empty()) << l.text;
    const std::uint32_t backdrop =
        std::max_element(ring.begin(), ring.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; })->first;
    EXPECT_GE(Contrast(l.rgb, backdrop), 4.5) << l.text << " on " << std::hex << backdrop;
    // And the text is really drawn there in its colour.
    int closest = 255;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const std::uint32_t p = img.At(x, y);
        int d = 0;
        for (int c = 0; c < 3; ++c)
          d = std::max(d, std::abs(int((p >> (8 * c)) & 255) - int((l.rgb >> (8 * c)) & 255)));
        closest = std::min(closest, d);
      }
    EXPECT_LE(closest, 60) << l.text;
  }
}

}  // namespace
}  // namespace morvanta
