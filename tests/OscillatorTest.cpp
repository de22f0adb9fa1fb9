// VoiceOscillator: the sine recurrence against one FastSine per partial,
// pulse shapes, partial growth, and the in-voice shapers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/FastSine.h"
#include "dsp/VoiceOscillator.h"

namespace morvanta {
namespace {

// A started oscillator with only the fundamental up and the steps off.
VoiceOscillator MakeOsc(double frequency, int shape, double rate = 44100.0) {
  VoiceOscillator o;
  o.SetSampleRate(rate);
  double ones[16], zeros[16] = {};
  for (double& r : ones) r = 1.0;
  o.steps.LoadFromParameters(16, 0, 16.0, ones, zeros, zeros);
  o.StartNote(69, 1.0, frequency, shape, false, 0.0, 0.0, 0.0);
  return o;
}

TEST(OscillatorTest, SineRecurrenceMatchesOneFastSinePerPartial) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  double worst = 0.0;
  for (int trial = 0; trial < 40; ++trial) {
    VoiceOscillator fast = MakeOsc(50.0 + 4000.0 * u(gen), 0);
    VoiceOscillator ref = MakeOsc(fast.Frequency(), 0);
    ref.UseReferenceSine(true);
    for (int k = 0; k < 16; ++k) fast.levels[k] = ref.levels[k] = k % 5 == 3 ? 0.0 : u(gen);
    fast.harmPhase = ref.harmPhase = u(gen);
    fast.velocityToHarmonics = ref.velocityToHarmonics = u(gen);
    for (int n = 0; n < 3000; ++n) worst = std::max(worst, std::fabs(fast.Render() - ref.Render()));
  }
  EXPECT_LT(worst, 1e-6);
  EXPECT_NEAR(FastSine(1234.5), std::sin(1234.5), 1e-12);
}

// Partials above the highest audible one are not computed; one that rises
// from 0 mid-note must come in at the phase and growth it would have had.
TEST(OscillatorTest, SilentPartialsComeInWhereTheyWouldHaveBeen) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(0.05, 1.0);
  for (int top : {0, 1, 5, 7, 8, 12, 15}) {
    double later[16] = {};
    for (int k = 0; k <= top; ++k) later[k] = k == 3 && top > 4 ? 0.0 : u(gen);
    VoiceOscillator rising = MakeOsc(220.0, 0);
    VoiceOscillator steady = MakeOsc(220.0, 0);
    VoiceOscillator ref = MakeOsc(220.0, 0);
    ref.UseReferenceSine(true);
    for (VoiceOscillator* o : {&rising, &steady, &ref}) {
      o->slopeRate = 0.4;  // the upper partials keep growing while silent
      o->harmPhase = 0.3;
      o->velocityToHarmonics = 0.5;
    }
    for (int k = 0; k < 16; ++k) steady.levels[k] = ref.levels[k] = later[k];
    for (int n = 0; n < 3000; ++n) {
      steady.Render();
      ref.Render();
      rising.Render();  // the fundamental alone
    }
    for (int k = 0; k < 16; ++k) rising.levels[k] = later[k];
    for (int n = 0; n < 2000; ++n) {
      const double a = rising.Render(), b = steady.Render(), r = ref.Render();
      ASSERT_EQ(a, b) << "top " << top << " sample " << n;
      ASSERT_NEAR(a, r, 1e-6) << "top " << top << " sample " << n;
    }
  }
  VoiceOscillator silent = MakeOsc(220.0, 0);
  silent.levels[0] = 0.0;
  for (int n = 0; n < 100; ++n) EXPECT_EQ(silent.Render(), 0.0);
}

TEST(OscillatorTest, PulseShapes) {
  // 441 Hz at 44.1 kHz: sample n is at phase n / 100.
  VoiceOscillator sq = MakeOsc(441.0, 2);
  sq.pulseWidth = 0.3;
  for (int n = 0; n < 100; ++n) EXPECT_DOUBLE_EQ(sq.Render(), n < 30 ? 1.0 : -1.0) << n;

  VoiceOscillator classic = MakeOsc(441.0, 2);  // CLASSIC: -g0 for the low half
  for (double& l : classic.levels) l = 0.5;
  classic.pulseWidthMode = 1;
  for (int n = 0; n < 100; ++n) {
    const double x = classic.Render();
    if (n >= 50) {
      EXPECT_DOUBLE_EQ(x, -0.5) << n;
    }
  }

  VoiceOscillator saw = MakeOsc(441.0, 3);  // pulse width 0.5: 1 - 2w over the cycle
  for (int n = 0; n < 100; ++n) EXPECT_NEAR(saw.Render(), 1.0 - 2.0 * n / 100.0, 1e-9) << n;
}

TEST(OscillatorTest, PartialGrowthFollowsTheSlopeAndStaysFinite) {
  VoiceOscillator o = MakeOsc(200.0, 0);
  for (double& l : o.levels) l = 0.25;
  o.slopeRate = -1.0;
  for (int n = 0; n < 44100; ++n) o.Render();
  EXPECT_DOUBLE_EQ(o.Growth(0), 1.0);  // the fundamental never grows
  EXPECT_NEAR(o.Growth(15), std::pow(1.0 - 15 * 10.0 / 44100.0 / 16.0, 44100), 1e-9);
  o.slopeRate = 1.0;  // a note held for a minute: growth saturates instead of overflowing
  for (int n = 0; n < 2000000; ++n) o.Render();
  EXPECT_TRUE(std::isfinite(o.Growth(15)) && std::isfinite(o.Render()));
}

TEST(OscillatorTest, ShapersAreTransparentAtZeroAndActWhenSet) {
  VoiceOscillator plain = MakeOsc(441.0, 3), off = MakeOsc(441.0, 3);
  off.bitDivider = 1.0;
  off.bitFeedback = 1.0;  // H = 1: transparent whatever F is
  for (int n = 0; n < 50; ++n) EXPECT_DOUBLE_EQ(off.Render(), plain.Render());

  VoiceOscillator held = MakeOsc(441.0, 3);
  held.bitDivider = 4.0;  // a new value every 4 samples at 44.1 kHz
  double x[8];
  for (double& v : x) v = held.Render();
  EXPECT_TRUE(x[3] == x[4] && x[4] == x[5] && x[5] == x[6]);  // taken on the 4th call
  EXPECT_NE(x[7], x[6]);

  VoiceOscillator ref = MakeOsc(441.0, 0), shaped = MakeOsc(441.0, 0);
  shaped.waveShaper = 1.0;  // W = 1: sin(21 x) replaces x
  for (int n = 0; n < 50; ++n) EXPECT_NEAR(shaped.Render(), std::sin(21.0 * ref.Render()), 1e-9);

  VoiceOscillator ring = MakeOsc(441.0, 0);
  ring.ringLock = 1;
  ring.ringModF = 0.55;  // 5.3 locks to int(5.79) = 5: the ring phase runs at 10 x the note
  ring.Render();
  EXPECT_NEAR(ring.RingPhase(), 0.1, 1e-12);
}

TEST(OscillatorTest, BitDividerShorterThanASampleDoesNotStallItLater) {
  VoiceOscillator o = MakeOsc(441.0, 3, 22050.0);
  o.bitDivider = 1.5;  // limit 0.75 samples at 22.05 kHz: a new value every sample
  for (int n = 0; n < 10000; ++n) o.Render();
  o.bitDivider = 4.0;  // limit 2: holds again at once
  double x[8];
  for (double& v : x) v = o.Render();
  int repeats = 0;
  for (int n = 1; n < 8; ++n) repeats += x[n] == x[n - 1];
  EXPECT_GE(repeats, 3);
}

}  // namespace
}  // namespace morvanta
