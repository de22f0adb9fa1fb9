// VoiceLfo shapes and fade-in, LfoRate (free and tempo-synchronised) and the
// harmonics LFO bank.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/HarmonicsLfoBank.h"
#include "engine/LfoRate.h"
#include "engine/VoiceLfo.h"

namespace morvanta {
namespace {

VoiceLfo MakeLfo(int shape, double frequency, double rate = 1000.0) {
  VoiceLfo l;
  l.SetRate(rate);
  l.SetShape(shape);
  l.Start(frequency, true, 0.0);
  return l;
}

TEST(Lfo, DeterministicShapesFollowThePhase) {
  // 100 Hz at 1 kHz: the phase steps by 0.1; tick n reads phase n / 10.
  const double expected[4][5] = {
      {0.0, std::sin(0.2 * M_PI), std::sin(0.4 * M_PI), std::sin(0.6 * M_PI), std::sin(0.8 * M_PI)},
      {0.0, 0.4, 0.8, (0.5 - 0.3) * 4, (0.5 - 0.4) * 4},
      {1.0, 1.0, 1.0, 1.0, 1.0},
      {1.0, 0.8, 0.6, 0.4, 0.2}};
  for (int shape = 0; shape < 4; ++shape) {
    VoiceLfo l = MakeLfo(shape, 100.0);
    for (int n = 0; n < 5; ++n) EXPECT_NEAR(l.Tick(), expected[shape][n], 1e-9) << shape << " " << n;
  }
  VoiceLfo square = MakeLfo(2, 100.0);
  for (int n = 0; n < 5; ++n) square.Tick();
  EXPECT_DOUBLE_EQ(square.Tick(), -1.0);  // phase 0.5
}

TEST(Lfo, RandomShapesChangeOnlyAtTheWrapAndStayInRange) {
  std::srand(7);
  VoiceLfo step = MakeLfo(4, 125.0);
  double held = step.Tick();
  EXPECT_DOUBLE_EQ(held, 0.0);  // nothing drawn before the first wrap
  int changes = 0;
  for (int n = 1; n < 200; ++n) {
    const double v = step.Tick();
    EXPECT_LE(std::fabs(v), 1.0);
    if (v != held) {
      ++changes;
      EXPECT_EQ(n % 8, 0) << n;  // the phase (steps of 1/8) reaches 1 every eighth tick
    }
    held = v;
  }
  EXPECT_GT(changes, 10);

  VoiceLfo ramp = MakeLfo(5, 125.0);
  double previous = ramp.Tick();
  for (int n = 1; n < 200; ++n) {
    const double v = ramp.Tick();
    EXPECT_LE(std::fabs(v), 1.0);
    // One period to reach a target at most 2 away: steps of at most 2 / 8.
    EXPECT_LE(std::fabs(v - previous), 0.25 + 1e-12);
    previous = v;
  }
}

TEST(Lfo, FadeInRampsTheDepthAndRestartsAtEveryStart) {
  VoiceLfo l;
  l.SetRate(1000.0);
  l.SetShape(2);
  l.Start(1.0, true, 0.01);  // 10 ticks of fade
  EXPECT_NEAR(l.Tick(), 0.1, 1e-12);
  for (int i = 0; i < 20; ++i) l.Tick();
  EXPECT_DOUBLE_EQ(l.Tick(), 1.0);
  l.Start(1.0, false, 0.01);
  EXPECT_NEAR(l.Tick(), 0.1, 1e-12);
  l.Start(1.0, false, 0.0);
  EXPECT_DOUBLE_EQ(l.Tick(), 1.0);
}

TEST(Lfo, RetriggerOffKeepsThePhase) {
  VoiceLfo l = MakeLfo(3, 100.0);
  for (int i = 0; i < 3; ++i) l.Tick();
  l.Start(100.0, false, 0.0);
  EXPECT_NEAR(l.Phase(), 0.3, 1e-12);
  l.Start(100.0, true, 0.0);
  EXPECT_DOUBLE_EQ(l.Phase(), 0.0);
}

TEST(LfoRateTest, FreeCurveAndTempoFactors) {
  EXPECT_DOUBLE_EQ(LfoRate(1.0, false, 0.0), 64.0);
  EXPECT_DOUBLE_EQ(LfoRate(0.5, false, 0.0), 16.0);
  EXPECT_DOUBLE_EQ(LfoRate(-0.3, false, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(LfoRate(1.7, false, 0.0), 64.0);
  // 120 BPM: the eighth-note rate is 4 Hz; k = int(9v) picks the factor.
  EXPECT_DOUBLE_EQ(LfoRate(0.0, true, 120.0), 4.0 / 16);
  EXPECT_DOUBLE_EQ(LfoRate(0.5, true, 120.0), 4.0 / 4);  // k = 4
  EXPECT_DOUBLE_EQ(LfoRate(7.0 / 9.0 + 1e-9, true, 120.0), 4.0);  // k = 7
  EXPECT_DOUBLE_EQ(LfoRate(1.0, true, 120.0), 16.0);     // k = 9
  EXPECT_DOUBLE_EQ(LfoRate(1.0, true, 0.0), 0.0);        // no host tempo: the LFO stands still
  EXPECT_DOUBLE_EQ(LfoRate(1.0, true, std::nan("")), 0.0);
}

TEST(HarmonicsLfoBankTest, TrianglesScaleTheSquaredLevels) {
  HarmonicsLfoBank bank;
  double levels[16], gains[16];
  for (int k = 0; k < 16; ++k) levels[k] = 0.5;
  // Depth 0: every gain is h^2.
  bank.Tick(0.0, 0.0, levels, 1.0 / 44100.0, gains);
  for (double g : gains) EXPECT_DOUBLE_EQ(g, 0.25);

  // Rate 1 Hz, speed 1 (factor 10): harmonic 0 moves 0.5 * 10 = 5 phase units per
  // second; after 0.1 s its phase is 0.5 (triangle 0.5, halved depth 0.25).
  HarmonicsLfoBank b2;
  for (int i = 0; i < 10; ++i) b2.Tick(1.0, 1.0, levels, 0.01, gains);
  EXPECT_NEAR(b2.Phase(0), 0.5, 1e-12);
  EXPECT_NEAR(gains[0], (1.0 + 0.25) * 0.25, 1e-12);
  for (int i = 0; i < 1000; ++i) {
    b2.Tick(1.0, 1.0, levels, 0.01, gains);
    for (int k = 0; k < 16; ++k) {
      EXPECT_GE(b2.Phase(k), 0.0);
      EXPECT_LE(b2.Phase(k), 4.0);
      EXPECT_GE(gains[k], 0.0);
      EXPECT_LE(gains[k], 0.5 + 1e-12);  // (1 + 1) * 0.25 at the top
    }
  }
}

}  // namespace
}  // namespace morvanta
