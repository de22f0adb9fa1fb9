// Bus stages: the distortion curve at drive 0 and on silence, its harmonic
// terms, the tube-drive clipper's peak normalisation and its tiny-peak limit.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsp/DistortionShaper.h"
#include "dsp/TubeDriveClipper.h"

namespace morvanta {
namespace {

TEST(BusStagesTest, DistortionCurve) {
  // 1 - 1 / (1 + 1 + 1 + 0.66422417311781 + 0.36483285408241)
  EXPECT_NEAR(DistortionSaturate(1.0), 0.7518029669848338, 1e-15);
  EXPECT_EQ(DistortionSaturate(-1.0), -DistortionSaturate(1.0));
  // Drive 0: v = 2 * 0 * sum = 0 and S(0) = 0, so x passes unchanged.
  for (float x : {0.0f, 0.25f, -0.7f, 3.5f}) EXPECT_EQ(DistortionShaper(x, 0.0f), x);
  // Silence: T2 = -1, T4 = 1, so -S(2 d (10^-4.2 - 10^-2.1)), a DC offset the high-pass removes.
  EXPECT_NEAR(DistortionShaper(0.0f, 1.0f), 0.01575906094594226, 1e-6);
  for (float x = -20.0f; x <= 20.0f; x += 0.37f) ASSERT_LT(std::fabs(DistortionShaper(x, 2.0f) - x), 1.0f);
}

// The harmonic terms follow the single-precision library powf; a cube or
// fourth power formed from the double square rounds differently for these
// inputs (one float step in the output).
TEST(BusStagesTest, DistortionHarmonicsUseTheLibraryPower) {
  const float w2 = std::pow(10.0f, -2.1f), w3 = std::pow(10.0f, -3.4f), w4 = std::pow(10.0f, -4.2f);
  const float cases[][2] = {{1.015f, 0.5f}, {0.609f, 1.0f}, {1.552f, 1.0f}, {0.435f, 1.5f}};
  for (const auto& c : cases) {
    const float x = c[0], d = c[1];
    const float f = static_cast<float>(4.0 * DistortionSaturate((4.0 * d + 1.0) * x * 0.25));
    const float t2 = 2.0f * powf(f, 2.0f) - 1.0f;
    const float t3 = 4.0f * powf(f, 3.0f) - 3.0f * f;
    const float t4 = 8.0f * powf(f, 4.0f) - 8.0f * powf(f, 2.0f) + 1.0f;
    const double v = 2.0 * d * (w2 * t2 + w3 * t3 + w4 * t4);
    EXPECT_EQ(DistortionShaper(x, d), static_cast<float>(x - DistortionSaturate(v))) << x << " " << d;
  }
}

TEST(BusStagesTest, TubeClipperNormalisesByTheMeasuredPeak) {
  TubeDriveClipper c;
  EXPECT_EQ(c.Process(0.5, 0.1), 0.5);  // reads peak 0: latched inverse 0, nothing clips
  EXPECT_EQ(c.Process(2.0, 0.1), 2.0);  // measures 2
  EXPECT_EQ(c.Process(2.0, 0.1), 2.0);  // reads peak 2 (inverse 0.5); same sign, old latch
  // Sign change latches 0.5 and 2: level 1 > T = 0.901; e = 0.099, q = 1: (e / 2 + T) * -2.
  EXPECT_NEAR(c.Process(-2.0, 0.1), -1.901, 1e-12);
  EXPECT_EQ(c.Process(-1.5, 0.1), -1.5);  // 0.75 < 0.901 passes unchanged
}

TEST(BusStagesTest, TubeClipperStaysFiniteForTinyPeaks) {
  // A subnormal window peak has an infinite inverse; the curve's limit, its
  // threshold times the peak, comes out instead of inf / inf.
  const double tiny = std::numeric_limits<double>::denorm_min();
  TubeDriveClipper c;
  for (double x : {tiny, tiny, -tiny, -1.0, 1.0, 1e300, -1e300, 0.0, 0.5}) {
    const double y = c.Process(x, 0.1);
    EXPECT_TRUE(std::isfinite(y)) << x;
    EXPECT_LE(std::fabs(y), std::fabs(x)) << x;
  }
}

}  // namespace
}  // namespace morvanta
