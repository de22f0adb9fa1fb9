// ModDelayLine: the zero-length bypass, triangle modulation at depth 0, and
// reads after a sample-rate drop.
#include "dsp/ModDelayLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace morvanta {
namespace {

void Settle(ModDelayLine& line) {
  for (int n = 0; n < 44100; ++n) line.ProcessPlain(0.0);
}

TEST(ModDelayLineTest, PlainLineOfLengthZeroPassesTheInput) {
  ModDelayLine line;
  line.SetOutputGain(0.5);
  line.SetDelayTarget(1.0);
  Settle(line);
  line.SetDelayTarget(0.0);
  Settle(line);
  ASSERT_EQ(line.DelayLength(), 0.0);
  EXPECT_EQ(line.ProcessPlain(0.8), 0.4);  // output gain * x
}

TEST(ModDelayLineTest, TriangleWithDepthZeroKeepsFactorOne) {
  ModDelayLine line;
  line.SetModDepth(0.0);
  line.SetModRate(0.001);
  for (int n = 0; n < 1000; ++n) {
    line.ProcessTriangle(n % 3 == 0 ? 0.5 : -0.25);
    ASSERT_EQ(line.ModFactor(), 1.0) << n;
  }
}

TEST(ModDelayLineTest, LengthBeyondBufferAfterRateDropStaysInside) {
  ModDelayLine line;
  line.SetSampleRate(192000.0f, false);
  EXPECT_EQ(line.BufferLength(), 96000);  // half a second
  line.SetModDepth(0.5);
  line.SetModRate(0.001);
  line.SetDelayTarget(95000.0);
  for (int n = 0; n < 200000; ++n) line.ProcessTriangle(0.0);
  // The buffer shrinks to 22050 while the length (times a factor up to 1.5)
  // still points far further back.
  line.SetSampleRate(44100.0f, false);
  for (int n = 0; n < 50000; ++n) {
    const double a = line.ProcessTriangle(std::sin(n * 0.01));
    const double b = line.ProcessSine(std::cos(n * 0.01));
    const double c = line.ProcessPlain(1.0);
    ASSERT_TRUE(std::isfinite(a + b + c)) << n;
  }
}

TEST(ModDelayLineTest, AbsurdRateGetsABoundedBuffer) {
  ModDelayLine line;
  ASSERT_TRUE(line.Reserve(1e7f));  // half a second would be 5 million samples
  line.SetSampleRate(1e7f, false);
  EXPECT_EQ(line.BufferLength(), ModDelayLine::kMaxBufferLength);
  line.SetDelayTarget(3e6);
  for (int n = 0; n < 1000; ++n) ASSERT_TRUE(std::isfinite(line.ProcessSine(1.0)));
}

// Each variant, filled with a second of signal and cleared, is silent on
// silence; an impulse then comes back at the line's length and not before,
// and the clear itself left the buffer's memory as it was.
TEST(ModDelayLineTest, ClearSilencesEveryVariantWithoutTouchingTheBuffer) {
  using Variant = std::function<double(ModDelayLine&, double)>;
  const Variant variants[] = {[](ModDelayLine& l, double x) { return l.ProcessPlain(x); },
                              [](ModDelayLine& l, double x) { return l.ProcessTriangle(x); },
                              [](ModDelayLine& l, double x) { return l.ProcessSine(x); }};
  for (int v = 0; v < 3; ++v) {
    ModDelayLine line;
    line.SetModDepth(0.0);
    for (int n = 0; n < 44100; ++n) variants[v](line, std::sin(n * 0.05) + 0.3);
    const DelayBuffer& b = line.Buffer();
    const std::vector<double> before(b.Raw(), b.Raw() + b.Capacity());
    line.Clear();
    EXPECT_EQ(std::memcmp(before.data(), b.Raw(), before.size() * sizeof(double)), 0) << v;
    EXPECT_EQ(b.WrittenSinceClear(), 0) << v;
    for (int n = 0; n < 30000; ++n) ASSERT_EQ(variants[v](line, 0.0), 0.0) << v << " " << n;
    variants[v](line, 1.0);
    const int length = static_cast<int>(line.DelayLength());
    for (int n = 1; n < length - 1; ++n) ASSERT_EQ(variants[v](line, 0.0), 0.0) << v << " " << n;
    double echo = 0.0;
    for (int n = 0; n < 4; ++n) echo += std::fabs(variants[v](line, 0.0));
    EXPECT_GT(echo, 0.0) << v;
  }
}

}  // namespace
}  // namespace morvanta
