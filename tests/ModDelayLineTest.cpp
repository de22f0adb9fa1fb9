// ModDelayLine: the zero-length bypass, triangle modulation at depth 0, and
// reads after a sample-rate drop.
#include "dsp/ModDelayLine.h"

#include <gtest/gtest.h>

#include <cmath>

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
  EXPECT_EQ(line.BufferLength(), 384000);  // two seconds
  line.SetModDepth(0.5);
  line.SetModRate(0.001);
  line.SetDelayTarget(380000.0);
  for (int n = 0; n < 200000; ++n) line.ProcessTriangle(0.0);
  // The buffer shrinks to 88200 while the length (times a factor up to 1.5)
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
  line.SetSampleRate(1e7f, false);  // two seconds would be 20 million samples
  EXPECT_EQ(line.BufferLength(), ModDelayLine::kMaxBufferLength);
  line.SetDelayTarget(3e6);
  for (int n = 0; n < 1000; ++n) ASSERT_TRUE(std::isfinite(line.ProcessSine(1.0)));
}

}  // namespace
}  // namespace morvanta
