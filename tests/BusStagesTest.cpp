// Bus stages: the distortion curve at drive 0 and on silence, the tube-drive
// clipper's peak normalisation and its tiny-peak limit.
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
