// Bus stages: the distortion curve, the tube-drive clipper's peak
// normalisation and the 30 Hz output high-pass.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsp/DistortionShaper.h"
#include "dsp/OutputHighPass.h"
#include "dsp/TubeDriveClipper.h"

namespace morvanta {
namespace {

TEST(BusStagesTest, SaturatorIsOddAndBelowOne) {
  EXPECT_EQ(DistortionSaturate(0.0), 0.0);
  // 1 - 1 / (1 + 1 + 1 + 0.66422417311781 + 0.36483285408241)
  EXPECT_NEAR(DistortionSaturate(1.0), 0.7518029669848338, 1e-15);
  EXPECT_EQ(DistortionSaturate(-1.0), -DistortionSaturate(1.0));
  EXPECT_LT(DistortionSaturate(100.0), 1.0);
  EXPECT_LE(DistortionSaturate(1e300), 1.0);
  EXPECT_GT(DistortionSaturate(-100.0), -1.0);
}

TEST(BusStagesTest, DistortionWithDriveZeroIsIdentity) {
  // v = 2 * 0 * sum = 0 and S(0) = 0, so the output is x itself.
  for (float x : {0.0f, 0.25f, -0.7f, 1.0f, 3.5f}) EXPECT_EQ(DistortionShaper(x, 0.0f), x);
}

TEST(BusStagesTest, DistortionOfSilenceIsTheEvenHarmonicsOffset) {
  // f = 0: T2 = -1, T3 = 0, T4 = 1, so the output is -S(2 d (10^-4.2 - 10^-2.1)),
  // a small DC offset that the output high-pass after it removes.
  EXPECT_NEAR(DistortionShaper(0.0f, 1.0f), 0.01575906094594226, 1e-6);
  EXPECT_NEAR(DistortionShaper(0.0f, 2.0f), 0.03151026485905484, 1e-6);
}

TEST(BusStagesTest, DistortionStaysWithinOneOfItsInput) {
  for (float d : {0.5f, 1.0f, 2.0f})
    for (float x = -20.0f; x <= 20.0f; x += 0.37f) {
      const float y = DistortionShaper(x, d);
      ASSERT_TRUE(std::isfinite(y));
      ASSERT_LT(std::fabs(y - x), 1.0f) << x << " " << d;  // |S| < 1
    }
}

TEST(BusStagesTest, TubeClipperNormalisesByTheMeasuredPeak) {
  TubeDriveClipper c;
  // Call 1 reads: the first window peak 0 leaves peak 0, latched at the sign change.
  EXPECT_EQ(c.Process(0.5, 0.1), 0.5);
  // Call 2 measures 2.0; with the latched inverse 0 nothing is clipped yet.
  EXPECT_EQ(c.Process(2.0, 0.1), 2.0);
  // Call 3 reads: peak 2, inverse 0.5; same sign, so the old latch holds.
  EXPECT_EQ(c.Process(2.0, 0.1), 2.0);
  // Sign change latches 0.5 / 2: level 1 > T = 0.901; e = 0.099, q = 1,
  // (e / 2 + T) * -1 * 2 = -1.901.
  EXPECT_NEAR(c.Process(-2.0, 0.1), -1.901, 1e-12);
  // Below the threshold the input passes unchanged: 1.5 * 0.5 = 0.75 < 0.901.
  EXPECT_EQ(c.Process(-1.5, 0.1), -1.5);
}

TEST(BusStagesTest, TubeClipperStaysFiniteForTinyPeaks) {
  // A subnormal window peak has an infinite inverse; the curve's limit (its
  // threshold times the peak) is returned instead of inf / inf.
  const double tiny = std::numeric_limits<double>::denorm_min();
  TubeDriveClipper c;
  const double seq[] = {tiny, tiny, -tiny, -1.0, 1.0, 1e300, -1e300, 0.0, 0.5};
  for (double x : seq) {
    const double y = c.Process(x, 0.1);
    EXPECT_TRUE(std::isfinite(y)) << x;
    EXPECT_LE(std::fabs(y), std::fabs(x)) << x;
  }
}

TEST(BusStagesTest, OutputHighPassRemovesDcAndKeepsTheAudioBand) {
  for (double fs : {44100.0, 96000.0}) {
    OutputHighPass hp;
    hp.SetSampleRate(fs);
    EXPECT_NEAR(hp.Section().Fc, 30.0 / fs, 1e-15);
    EXPECT_EQ(hp.Section().Q, 0.8);
    double y = 0.0;
    for (int n = 0; n < static_cast<int>(fs); ++n) y = hp.Process(1.0f);
    EXPECT_NEAR(y, 0.0, 1e-4) << fs;
    hp.Clear();
    double peak = 0.0;
    for (int n = 0; n < static_cast<int>(fs); ++n) {
      const double v = hp.Process(static_cast<float>(std::sin(2.0 * 3.14159265358979 * 1000.0 * n / fs)));
      if (n > fs / 2) peak = std::max(peak, std::fabs(v));
    }
    EXPECT_NEAR(peak, 1.0, 2e-3) << fs;  // 1 kHz is far above the 30 Hz corner
  }
}

}  // namespace
}  // namespace morvanta
