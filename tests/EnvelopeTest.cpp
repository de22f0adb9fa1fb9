// Adsr: straight segments and stage changes, legato triggers, and segments
// shorter than one sample.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/Adsr.h"

namespace morvanta {
namespace {

TEST(Envelope, SegmentsAreStraightLinesBetweenStages) {
  Adsr a;
  a.SetRate(1000.0);
  a.Trigger(0.01, 0.02, 0.25, 0.4, false);
  EXPECT_NEAR(a.Tick(), 0.1, 1e-12);  // 10-sample attack: tick n gives (n + 1) / 10
  for (int i = 0; i < 10; ++i) a.Tick();
  // Tick 11 (t > A) enters the decay at 1 and takes one step of -0.6 / 20.
  EXPECT_EQ(a.GetStage(), Adsr::kDecay);
  EXPECT_NEAR(a.Level(), 0.97, 1e-9);
  for (int i = 0; i < 40; ++i) a.Tick();
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  EXPECT_DOUBLE_EQ(a.Level(), 0.4);
  a.Release();
  int ticks = 0;
  for (; !a.IsIdle() && ticks < 1000; ++ticks) a.Tick();
  EXPECT_NEAR(ticks, 251, 1);  // 250 ramp ticks of 0.25 s, idle on the next
  EXPECT_NEAR(a.Level(), 0.0, 1e-9);

  a.Trigger(0.0, 0.0, 0.0, 0.7, false);  // attack and decay 0: straight to S
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  EXPECT_DOUBLE_EQ(a.Level(), 0.7);
  a.Release();  // release 0: idle at once
  EXPECT_TRUE(a.IsIdle());
  EXPECT_DOUBLE_EQ(a.Level(), 0.0);
}

TEST(Envelope, LegatoContinuesWhileHeldAndReattacksFromTheReleaseLevel) {
  Adsr a;
  a.SetRate(1000.0);
  a.Trigger(0.0, 0.0, 1.0, 0.6, true);
  a.Trigger(0.5, 0.5, 1.0, 0.6, true);
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  a.Release();
  for (int i = 0; i < 500; ++i) a.Tick();
  const double from = a.Level();  // half way down: 0.3
  EXPECT_NEAR(from, 0.3, 1e-3);
  a.Trigger(0.1, 0.2, 1.0, 0.6, true);
  EXPECT_NEAR(a.Tick(), from + (1.0 - from) / 100.0, 1e-12);  // slope (1 - level) / A
  a.Release();
  a.Trigger(0.0, 0.2, 1.0, 0.6, true);  // attack 0: straight into the decay at 1
  EXPECT_EQ(a.GetStage(), Adsr::kDecay);
  EXPECT_DOUBLE_EQ(a.Level(), 1.0);
}

TEST(Envelope, SegmentsShorterThanASampleNeverPassTheirTargets) {
  for (double s : {std::numeric_limits<double>::denorm_min(), 1e-30, 0.4 / 44100.0, 0.999 / 44100.0}) {
    Adsr a;
    a.SetRate(44100.0);
    a.Trigger(s, s, s, 0.3, false);
    for (int i = 0; i < 8; ++i) {
      const double v = a.Tick();
      ASSERT_TRUE(std::isfinite(v)) << s;
      EXPECT_LE(v, 1.0) << s;
      if (a.GetStage() >= Adsr::kDecay) {
        EXPECT_GE(v, 0.3) << s;
      }
    }
    a.Release();
    for (int i = 0; i < 8; ++i) EXPECT_GE(a.Tick(), 0.0) << s;
    EXPECT_TRUE(a.IsIdle()) << s;
  }
}

TEST(Envelope, SegmentsOfASampleOrLongerKeepTheirStraightLineSteps) {
  Adsr a;
  a.SetRate(44100.0);
  a.Trigger(0.01, 0.25, 1.0, 0.5, false);
  // 441 samples of attack: the level rises by 1/441 per tick, and the tick
  // that crosses the attack time may step one increment past 1.
  double v = 0.0;
  for (int n = 1; n <= 441; ++n) v = a.Tick();
  EXPECT_NEAR(v, 441.0 / 441.0, 1e-9);
  const double next = a.Tick();
  EXPECT_NEAR(next, 1.0 + 1.0 / 441.0, 1e-9);
}

}  // namespace
}  // namespace morvanta
