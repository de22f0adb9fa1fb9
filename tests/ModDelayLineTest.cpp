// ModDelayLine: delay timing of the plain read, the zero-length bypass,
// triangle and sine modulation, and reads after a sample-rate change.
#include "dsp/ModDelayLine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace morvanta {
namespace {

// Runs the line's glide to its end on silence.
void Settle(ModDelayLine& line, int samples) {
  for (int n = 0; n < samples; ++n) line.ProcessPlain(0.0);
}

TEST(ModDelayLineTest, PlainLineDelaysByItsLength) {
  ModDelayLine line;
  line.SetFeedback(0.0);
  line.SetOutputGain(2.0);
  line.SetDelayTarget(100.0);
  Settle(line, 44100);
  ASSERT_EQ(line.DelayLength(), 100.0);
  // Sample n is written at n and read back when the write index is n + 100.
  for (int n = 0; n < 300; ++n) {
    const double y = line.ProcessPlain(n == 0 ? 1.0 : 0.0);
    EXPECT_EQ(y, n == 100 ? 2.0 : 0.0) << n;
  }
}

TEST(ModDelayLineTest, PlainLineWithFeedbackRepeats) {
  ModDelayLine line;
  line.SetFeedback(0.5);
  line.SetOutputGain(1.0);
  line.SetDelayTarget(10.0);
  Settle(line, 44100);
  double out[31];
  for (int n = 0; n < 31; ++n) out[n] = line.ProcessPlain(n == 0 ? 1.0 : 0.0);
  EXPECT_EQ(out[10], 1.0);
  EXPECT_EQ(out[20], 0.5);  // the read sample goes back in times the feedback
  EXPECT_EQ(out[30], 0.25);
}

TEST(ModDelayLineTest, PlainLineOfLengthZeroPassesInput) {
  ModDelayLine line;
  line.SetOutputGain(0.5);
  line.SetDelayTarget(1.0);
  Settle(line, 44100);
  line.SetDelayTarget(0.0);
  Settle(line, 44100);
  ASSERT_EQ(line.DelayLength(), 0.0);
  EXPECT_EQ(line.ProcessPlain(0.8), 0.4);  // output gain * x
}

TEST(ModDelayLineTest, TargetGlidesLongerInHalfASecondShorterInAQuarter) {
  ModDelayLine line;
  line.SetDelayTarget(1000.0);
  EXPECT_EQ(line.Ramp().duration, 22050.0);  // longer than 441: 0.5 s
  Settle(line, 22051);
  EXPECT_EQ(line.DelayLength(), 1000.0);
  line.SetDelayTarget(500.0);
  EXPECT_EQ(line.Ramp().duration, 11025.0);  // shorter: 0.25 s
  Settle(line, 5513);
  EXPECT_NEAR(line.DelayLength(), 750.0, 0.1);  // straight line, half way
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

TEST(ModDelayLineTest, TriangleSwingsBetweenItsLimits) {
  ModDelayLine line;
  line.SetModDepth(0.1);
  line.SetModRate(0.01);
  double lo = 2.0, hi = 0.0;
  for (int n = 0; n < 100; ++n) {
    line.ProcessTriangle(0.0);
    lo = std::min(lo, line.ModFactor());
    hi = std::max(hi, line.ModFactor());
  }
  // 0.01 per sample: 10 samples up to 1.1, 20 down to 0.9, and back.
  EXPECT_NEAR(hi, 1.1, 1e-12);
  EXPECT_NEAR(lo, 0.9, 1e-12);
}

TEST(ModDelayLineTest, SineVariantPassesDcThroughItsLoopFilter) {
  ModDelayLine line;
  line.SetFeedback(0.0);
  line.SetOutputGain(1.0);
  line.SetModDepth(0.0);
  double y = 0.0;
  for (int n = 0; n < 44100; ++n) y = line.ProcessSine(1.0);
  // With feedback 0 the buffer holds the low-passed input, DC gain 1.
  EXPECT_NEAR(y, 1.0, 1e-6);
  EXPECT_EQ(line.ModFactor(), 1.0);
}

TEST(ModDelayLineTest, SameRateKeepsContentsNewRateResizes) {
  ModDelayLine line;
  line.SetFeedback(0.0);
  line.SetOutputGain(1.0);
  line.SetDelayTarget(50.0);
  Settle(line, 44100);
  line.ProcessPlain(1.0);
  line.SetSampleRate(44100.0f, false);
  double found = 0.0;
  for (int n = 1; n <= 60; ++n) found += line.ProcessPlain(0.0);
  EXPECT_EQ(found, 1.0);

  line.SetSampleRate(96000.0f, false);
  EXPECT_EQ(line.BufferLength(), 192000);  // two seconds
  line.SetSampleRate(96000.0f, true);
  EXPECT_EQ(line.BufferLength(), 192000);
}

TEST(ModDelayLineTest, LengthBeyondBufferAfterRateDropStaysInside) {
  ModDelayLine line;
  line.SetSampleRate(192000.0f, false);
  line.SetModDepth(0.5);
  line.SetModRate(0.001);
  line.SetDelayTarget(380000.0);
  for (int n = 0; n < 200000; ++n) line.ProcessTriangle(0.0);
  ASSERT_GT(line.DelayLength(), 300000.0);
  // The host drops the rate: the buffer shrinks to 88200 while the length
  // (and the modulation factor up to 1.5) still point further back.
  line.SetSampleRate(44100.0f, false);
  for (int n = 0; n < 50000; ++n) {
    const double a = line.ProcessTriangle(std::sin(n * 0.01));
    const double b = line.ProcessSine(std::cos(n * 0.01));
    ASSERT_TRUE(std::isfinite(a) && std::isfinite(b)) << n;
  }
  for (int n = 0; n < 1000; ++n) ASSERT_TRUE(std::isfinite(line.ProcessPlain(1.0)));
}

}  // namespace
}  // namespace morvanta
