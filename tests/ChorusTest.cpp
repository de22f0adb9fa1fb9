// ChorusEffect: the dry path at mix 0, line settings per "Mod" parameter and
// the width the right side gets.
#include "dsp/ChorusEffect.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/EffectSignals.h"

namespace morvanta {
namespace {

void RunBlocks(ChorusEffect& c, const ParamSnapshot& p, double fs, int blocks) {
  for (int b = 0; b < blocks; ++b) {
    c.BlockUpdate(fs, p);
    for (int n = 0; n < 512; ++n) {
      double l = 0.0, r = 0.0;
      c.Process(l, r);
    }
  }
}

TEST(ChorusTest, MixZeroLeavesTheInputExactly) {
  ChorusEffect c;
  ParamSnapshot p = test::FullEffectsSnapshot();
  p.modMix = 0.0;
  test::TestNoise noise;
  for (int b = 0; b < 100; ++b) {
    c.BlockUpdate(44100.0, p);
    for (int n = 0; n < 512; ++n) {
      const double inL = noise.Next(), inR = noise.Next();
      double l = inL, r = inR;
      c.Process(l, r);
      ASSERT_EQ(l, inL);
      ASSERT_EQ(r, inR);
    }
  }
}

TEST(ChorusTest, SingleModeWithDelayZeroUsesOneAndTwoMilliseconds) {
  ChorusEffect c;
  ParamSnapshot p;
  p.modMode = 0;
  p.modDelay = 0.0;
  RunBlocks(c, p, 44100.0, 60);  // longer than the 0.5 s glide
  EXPECT_NEAR(c.Line(0).DelayLength(), 44.1, 1e-9);  // 0.001 s * 44100
  EXPECT_NEAR(c.Line(2).DelayLength(), 88.2, 1e-9);  // 0.002 n s, n = 1
  EXPECT_NEAR(c.Line(1).DelayLength(), 44.1, 1e-9);  // (b + 0.05) * 0 + b
}

TEST(ChorusTest, DoubleModeAndDelayScaleTheLengths) {
  ChorusEffect c;
  ParamSnapshot p;
  p.modMode = 1;
  p.modDelay = 1.0;
  RunBlocks(c, p, 48000.0, 60);
  EXPECT_NEAR(c.Line(0).DelayLength(), 0.06 * 48000, 1e-6);   // b 0.01 + 0.05
  EXPECT_NEAR(c.Line(1).DelayLength(), 0.07 * 48000, 1e-6);   // (0.01 + 0.05) + 0.01
  EXPECT_NEAR(c.Line(2).DelayLength(), 0.0535 * 48000, 1e-6); // 0.02 + 0.05 * 0.67
  EXPECT_NEAR(c.Line(3).DelayLength(), 0.0602 * 48000, 1e-6); // 0.06 * 0.67 + 0.02
}

TEST(ChorusTest, FeedbackAndRatesPerSide) {
  ChorusEffect c;
  ParamSnapshot p;
  p.modFeedback = 1.0;
  p.modMix = 0.5;
  p.modSpeed = 0.5;
  p.modAmp = 1.0;
  c.BlockUpdate(44100.0, p);
  EXPECT_DOUBLE_EQ(c.Line(0).Feedback(), 0.8);
  EXPECT_DOUBLE_EQ(c.Line(0).OutputGain(), 0.35);        // 0.7 * mix
  EXPECT_DOUBLE_EQ(c.Line(1).OutputGain(), 0.35 * 0.96);  // right side
  EXPECT_DOUBLE_EQ(c.Line(0).ModDepth(), 0.21);           // 0.2 amp + 0.01
  EXPECT_DOUBLE_EQ(c.Line(0).ModRate(), 4.01);            // 8 sp + 0.01 Hz
  EXPECT_DOUBLE_EQ(c.Line(1).ModRate(), 4.11);
  EXPECT_DOUBLE_EQ(c.Line(2).ModRate(), 4.01 * 0.73);
  EXPECT_DOUBLE_EQ(c.Line(3).ModRate(), 4.01 * 0.73 + 0.1);
}

TEST(ChorusTest, FullMixIsWetOnlyAndDiffersPerSide) {
  ChorusEffect c;
  ParamSnapshot p = test::FullEffectsSnapshot();
  test::TestNoise noise;
  double diff = 0.0, energy = 0.0;
  for (int b = 0; b < 200; ++b) {
    c.BlockUpdate(44100.0, p);
    for (int n = 0; n < 512; ++n) {
      const double x = noise.Next();
      double l = x, r = x;
      c.Process(l, r);
      ASSERT_TRUE(std::isfinite(l) && std::isfinite(r));
      diff += (l - r) * (l - r);
      energy += l * l;
    }
  }
  EXPECT_GT(energy, 0.0);
  EXPECT_GT(diff, 0.01 * energy);  // the two sides decorrelate
}

}  // namespace
}  // namespace morvanta
