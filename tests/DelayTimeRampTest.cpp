// DelayTimeRamp: the zero-length glide, the S-curve and its cut to a
// triangle, and the glide's exact end on its target.
#include "dsp/DelayTimeRamp.h"

#include <gtest/gtest.h>

namespace morvanta {
namespace {

TEST(DelayTimeRampTest, ZeroDurationJumpsToTarget) {
  DelayTimeRamp r;
  r.Set(10.0, 20.0, 0.0, 0.0);
  EXPECT_EQ(r.current, 20.0);
  EXPECT_FALSE(r.Running());
  r.Advance(1);
  EXPECT_EQ(r.current, 20.0);
  EXPECT_LT(r.duration, 0.0);  // idle
}

TEST(DelayTimeRampTest, SCurveAndItsCutToATriangle) {
  DelayTimeRamp s;
  s.Set(0.0, 100.0, 100.0, 25.0);
  s.Advance(25);
  EXPECT_NEAR(s.current, 100.0 / 6.0, 1e-9);  // A = 100 / (75 * 25); A 25^2 / 2
  s.Advance(25);
  EXPECT_NEAR(s.current, 50.0, 1e-9);  // symmetric: half way at half time
  DelayTimeRamp t;
  t.Set(100.0, 0.0, 100.0, 80.0);  // 80 > 100 / 2: cut to 50
  EXPECT_EQ(t.accelTime, 50.0);
  t.Advance(25);
  EXPECT_NEAR(t.current, 87.5, 1e-9);  // A = 100 / (50 * 50): 0.04 * 25^2 / 2 = 12.5 down
  t.Advance(50);
  EXPECT_NEAR(t.current, 12.5, 1e-9);
}

TEST(DelayTimeRampTest, EndsExactlyOnTheTarget) {
  // Callers stop at elapsed == duration; the value there must be the target
  // itself, or a truncated delay length comes out one sample short.
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
