// DelayTimeRamp: straight and S-curve glides, the zero-length glide and the
// cut of an over-long acceleration phase.
#include "dsp/DelayTimeRamp.h"

#include <gtest/gtest.h>

namespace morvanta {
namespace {

TEST(DelayTimeRampTest, IdleAtConstruction) {
  DelayTimeRamp r;
  EXPECT_FALSE(r.Running());
  r.Advance(10);
  EXPECT_EQ(r.current, 0.0);
}

TEST(DelayTimeRampTest, ZeroDurationJumpsToTarget) {
  DelayTimeRamp r;
  r.Set(10.0, 20.0, 0.0, 0.0);
  EXPECT_EQ(r.current, 20.0);
  EXPECT_FALSE(r.Running());
  r.Advance(1);
  EXPECT_EQ(r.current, 20.0);
  EXPECT_LT(r.duration, 0.0);
}

TEST(DelayTimeRampTest, StraightLineBothDirections) {
  DelayTimeRamp up;
  up.Set(0.0, 100.0, 10.0, 0.0);
  up.Advance(5);
  EXPECT_DOUBLE_EQ(up.current, 50.0);  // 5 of 10 samples at 10 per sample
  EXPECT_TRUE(up.Running());
  up.Advance(5);
  EXPECT_DOUBLE_EQ(up.current, 100.0);
  up.Advance(1);
  EXPECT_FALSE(up.Running());
  EXPECT_EQ(up.current, 100.0);

  DelayTimeRamp down;
  down.Set(100.0, 40.0, 6.0, 0.0);
  down.Advance(2);
  EXPECT_DOUBLE_EQ(down.current, 80.0);  // 60 over 6 samples: -10 per sample
}

TEST(DelayTimeRampTest, SCurveAccelerateCruiseDecelerate) {
  DelayTimeRamp r;
  r.Set(0.0, 100.0, 100.0, 25.0);
  // A = 100 / (75 * 25); after 25 samples A 25^2 / 2 = 16.67; v = A 25 = 4/3.
  r.Advance(25);
  EXPECT_NEAR(r.current, 100.0 / 6.0, 1e-9);
  r.Advance(25);
  EXPECT_NEAR(r.current, 50.0, 1e-9);  // symmetric: half way at half time
  r.Advance(25);
  EXPECT_NEAR(r.current, 100.0 - 100.0 / 6.0, 1e-9);
  r.Advance(25);
  EXPECT_NEAR(r.current, 100.0, 1e-9);
}

TEST(DelayTimeRampTest, AccelerationLongerThanHalfBecomesTriangle) {
  DelayTimeRamp r;
  r.Set(0.0, 100.0, 100.0, 80.0);
  EXPECT_EQ(r.accelTime, 50.0);
  // A = 100 / (50 * 50) = 0.04: 12.5 after 25 samples, 50 at the middle, 87.5 at 75.
  r.Advance(25);
  EXPECT_NEAR(r.current, 12.5, 1e-9);
  r.Advance(25);
  EXPECT_NEAR(r.current, 50.0, 1e-9);
  r.Advance(25);
  EXPECT_NEAR(r.current, 87.5, 1e-9);
  r.Advance(26);
  EXPECT_EQ(r.current, 100.0);
  EXPECT_FALSE(r.Running());
}

TEST(DelayTimeRampTest, EndsExactlyOnTheTargetWhenElapsedReachesTheDuration) {
  // Callers stop at elapsed == duration; the last value must be the target
  // itself so that a truncated length is not one sample short.
  for (double target : {1543.0, 16537.0, 17640.0, 3.0}) {
    DelayTimeRamp r;
    r.Set(0.0, target, 22050.0, 11025.0);
    while (r.Running()) r.Advance(1);
    EXPECT_EQ(r.current, target);
    r.Set(target, 0.1 * target, 11025.0, 0.0);
    while (r.Running()) r.Advance(1);
    EXPECT_EQ(r.current, 0.1 * target);
  }
}

}  // namespace
}  // namespace morvanta
