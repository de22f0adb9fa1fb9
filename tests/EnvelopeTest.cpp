// Adsr: straight segments, stage changes, legato triggers and the guard
// against segments shorter than one sample.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/Adsr.h"

namespace morvanta {
namespace {

Adsr MakeAdsr(double rate = 1000.0) {
  Adsr a;
  a.SetRate(rate);
  return a;
}

TEST(Envelope, AttackDecaySustainAreStraightLines) {
  Adsr a = MakeAdsr();
  a.Trigger(0.01, 0.02, 0.1, 0.4, false);
  // 10-sample attack at 1 kHz: tick n returns (n + 1) / 10.
  EXPECT_NEAR(a.Tick(), 0.1, 1e-12);
  for (int i = 1; i < 5; ++i) a.Tick();
  EXPECT_NEAR(a.Level(), 0.5, 1e-12);
  EXPECT_EQ(a.GetStage(), Adsr::kAttack);
  for (int i = 0; i < 6; ++i) a.Tick();
  // Tick 11 (t = 0.011 > A) enters the decay at 1 and takes one step of -0.6/20.
  EXPECT_EQ(a.GetStage(), Adsr::kDecay);
  EXPECT_NEAR(a.Level(), 1.0 - 0.03, 1e-9);
  for (int i = 0; i < 40; ++i) a.Tick();
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  EXPECT_DOUBLE_EQ(a.Level(), 0.4);
  for (int i = 0; i < 500; ++i) a.Tick();  // well past A + D + R: holds S
  EXPECT_DOUBLE_EQ(a.Level(), 0.4);
}

TEST(Envelope, ZeroAttackAndDecayJumpToSustain) {
  Adsr a = MakeAdsr();
  a.Trigger(0.0, 0.0, 0.5, 0.7, false);
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  EXPECT_DOUBLE_EQ(a.Level(), 0.7);
  a.Trigger(0.0, 0.1, 0.5, 0.7, false);
  EXPECT_EQ(a.GetStage(), Adsr::kDecay);
  EXPECT_DOUBLE_EQ(a.Level(), 1.0);
}

TEST(Envelope, ReleaseEndsAfterItsTimeAndZeroReleaseIsImmediate) {
  Adsr a = MakeAdsr();
  a.Trigger(0.0, 0.0, 0.25, 0.8, false);
  for (int i = 0; i < 10; ++i) a.Tick();
  a.Release();
  int ticks = 0;
  while (!a.IsIdle() && ticks < 1000) {
    a.Tick();
    ++ticks;
    EXPECT_GE(a.Level(), 0.0);
  }
  // 0.25 s at 1 kHz: 250 ramp ticks, idle on the next one (give or take the clock's rounding).
  EXPECT_NEAR(ticks, 251, 1);
  EXPECT_NEAR(a.Level(), 0.0, 1e-9);

  a.Trigger(0.0, 0.0, 0.0, 0.8, false);
  a.Release();
  EXPECT_TRUE(a.IsIdle());
  EXPECT_DOUBLE_EQ(a.Level(), 0.0);
}

TEST(Envelope, LegatoTriggers) {
  Adsr a = MakeAdsr();
  a.Trigger(0.0, 0.0, 1.0, 0.6, true);  // from idle: starts like a plain trigger
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  a.Trigger(0.5, 0.5, 1.0, 0.6, true);  // held: keeps running
  EXPECT_EQ(a.GetStage(), Adsr::kSustain);
  EXPECT_DOUBLE_EQ(a.Level(), 0.6);

  a.Release();
  for (int i = 0; i < 500; ++i) a.Tick();  // halfway down: 0.6 -> 0.3
  EXPECT_NEAR(a.Level(), 0.3, 1e-3);
  const double from = a.Level();
  a.Trigger(0.1, 0.2, 1.0, 0.6, true);
  EXPECT_EQ(a.GetStage(), Adsr::kAttack);
  // The attack restarts from the current level: slope (1 - from) / 0.1 per second.
  EXPECT_NEAR(a.Tick(), from + (1.0 - from) / 100.0, 1e-12);

  a.Release();
  a.Trigger(0.0, 0.2, 1.0, 0.6, true);  // attack 0: straight to the decay at 1
  EXPECT_EQ(a.GetStage(), Adsr::kDecay);
  EXPECT_DOUBLE_EQ(a.Level(), 1.0);
}

TEST(Envelope, SegmentsShorterThanASampleNeverPassTheirTargets) {
  const double tiny[] = {std::numeric_limits<double>::denorm_min(),
                         static_cast<double>(std::numeric_limits<float>::denorm_min()), 1e-30, 1e-7,
                         0.4 / 44100.0, 1.5 / 44100.0};
  for (double s : tiny) {
    Adsr a = MakeAdsr(44100.0);
    a.Trigger(s, s, s, 0.3, false);
    double peak = 0.0;
    for (int i = 0; i < 8; ++i) {
      const double v = a.Tick();
      ASSERT_TRUE(std::isfinite(v)) << s;
      peak = std::max(peak, v);
      if (a.GetStage() == Adsr::kSustain) {
        EXPECT_DOUBLE_EQ(v, 0.3);
      }
      if (a.GetStage() == Adsr::kDecay) {
        EXPECT_GE(v, 0.3);
      }
    }
    EXPECT_LE(peak, 1.0) << s;
    a.Release();
    for (int i = 0; i < 8; ++i) {
      const double v = a.Tick();
      ASSERT_TRUE(std::isfinite(v));
      EXPECT_GE(v, 0.0) << s;
    }
    EXPECT_TRUE(a.IsIdle()) << s;
  }
}

}  // namespace
}  // namespace morvanta
