// VoiceOscillator: partial shapes, the sine recurrence against one FastSine
// per partial, partial growth, glide, and the in-voice shapers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "dsp/FastSine.h"
#include "dsp/VoiceOscillator.h"

namespace morvanta {
namespace {

constexpr double kRate = 44100.0;

// A started oscillator with only the fundamental up and the steps off.
VoiceOscillator MakeOsc(double frequency, int shape, double rate = kRate) {
  VoiceOscillator o;
  o.SetSampleRate(rate);
  double ratios[16], zeros[16] = {};
  for (double& r : ratios) r = 1.0;
  o.steps.LoadFromParameters(16, 0, 16.0, ratios, zeros, zeros);
  o.StartNote(69, 1.0, frequency, shape, false, 0.0, 0.0, 0.0);
  o.levels[0] = 1.0;
  return o;
}

std::vector<double> RenderSamples(VoiceOscillator& o, int n) {
  std::vector<double> out(static_cast<size_t>(n));
  for (double& x : out) x = o.Render();
  return out;
}

TEST(FastSineTest, AccurateOverAWideRange) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-1e4, 1e4);
  double worst = 0.0;
  for (int i = 0; i < 200000; ++i) {
    const double x = u(gen);
    worst = std::max(worst, std::fabs(FastSine(x) - std::sin(x)));
    worst = std::max(worst, std::fabs(FastCosine(x) - std::cos(x)));
  }
  EXPECT_LT(worst, 1e-9);
  EXPECT_TRUE(std::isnan(FastSine(std::nan(""))));
}

TEST(OscillatorTest, FundamentalShapes) {
  // 441 Hz at 44.1 kHz: 100 samples per cycle, sample n at phase n / 100.
  auto sine = MakeOsc(441.0, 0);
  auto s = RenderSamples(sine, 100);
  EXPECT_NEAR(s[25], std::sin(6.2831853 * 0.25), 1e-9);
  EXPECT_NEAR(s[10], std::sin(6.2831853 * 0.1), 1e-9);

  auto tri = MakeOsc(441.0, 1);
  auto t = RenderSamples(tri, 100);
  EXPECT_NEAR(t[10], 0.4, 1e-9);
  EXPECT_NEAR(t[50], 0.0, 1e-9);
  EXPECT_NEAR(t[80], -0.8, 1e-9);

  auto saw = MakeOsc(441.0, 3);  // pulse width 0.5: full-cycle falling ramp 1 - 2w
  auto w = RenderSamples(saw, 100);
  EXPECT_NEAR(w[0], 1.0, 1e-9);
  EXPECT_NEAR(w[25], 0.5, 1e-9);
  EXPECT_NEAR(w[75], -0.5, 1e-9);

  auto sq = MakeOsc(441.0, 2);
  sq.pulseWidth = 0.3;
  auto q = RenderSamples(sq, 100);
  EXPECT_DOUBLE_EQ(q[29], 1.0);
  EXPECT_DOUBLE_EQ(q[30], -1.0);
}

TEST(OscillatorTest, ClassicSquareHoldsMinusG0InTheLowPart) {
  auto o = MakeOsc(441.0, 2);
  for (int k = 0; k < 16; ++k) o.levels[k] = 0.5;
  o.pulseWidth = 0.5;
  o.pulseWidthMode = 1;
  auto x = RenderSamples(o, 100);
  for (int n = 50; n < 100; ++n) EXPECT_DOUBLE_EQ(x[n], -0.5) << n;
  o.pulseWidthMode = 0;  // HARMONIC: the upper partials still add their own pulses
  auto h = RenderSamples(o, 100);
  EXPECT_NE(h[60], -0.5);
}

TEST(OscillatorTest, SineRecurrenceMatchesOneSinePerPartial) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  double worst = 0.0;
  for (int trial = 0; trial < 40; ++trial) {
    VoiceOscillator fast = MakeOsc(50.0 + 4000.0 * u(gen), 0);
    VoiceOscillator ref = MakeOsc(fast.Frequency(), 0);
    ref.UseReferenceSine(true);
    for (VoiceOscillator* o : {&fast, &ref}) {
      std::mt19937 same(trial);
      std::uniform_real_distribution<double> v(0.0, 1.0);
      for (int k = 0; k < 16; ++k) o->levels[k] = k % 5 == 3 ? 0.0 : v(same);
      o->harmPhase = v(same);
      o->velocityToHarmonics = v(same);
    }
    for (int n = 0; n < 3000; ++n) worst = std::max(worst, std::fabs(fast.Render() - ref.Render()));
  }
  EXPECT_LT(worst, 1e-6);
}

TEST(OscillatorTest, PartialGrowthFollowsTheSlopeAndStaysFinite) {
  auto o = MakeOsc(200.0, 0);
  for (int k = 0; k < 16; ++k) o.levels[k] = 0.25;
  o.slopeRate = -1.0;
  RenderSamples(o, 44100);
  // q = -10 / 44100 / 16 per sample for each partial index: G_k = (1 + k q)^44100.
  const double q = -10.0 / kRate / 16.0;
  EXPECT_DOUBLE_EQ(o.Growth(0), 1.0);
  EXPECT_NEAR(o.Growth(15), std::pow(1.0 + 15 * q, 44100), 1e-9);
  EXPECT_LT(o.Growth(15), 1e-3);

  o.slopeRate = 1.0;  // hours of swelling: the growth saturates instead of overflowing
  for (int i = 0; i < 2000000; ++i) o.Render();
  for (int k = 0; k < 16; ++k) EXPECT_TRUE(std::isfinite(o.Growth(k))) << k;
  EXPECT_TRUE(std::isfinite(o.Render()));
  o.slopeRate = -1.0;  // and a long fade ends at exactly 0 instead of subnormals
  for (int i = 0; i < 4000000; ++i) o.Render();
  EXPECT_EQ(o.Growth(15), 0.0);
}

TEST(OscillatorTest, GlideApproachesTheTargetIncrement) {
  auto o = MakeOsc(441.0, 0);
  const double from = 220.5 / kRate;
  o.StartNote(69, 1.0, 441.0, 0, true, 0.1, from, 0.0);
  o.Render();
  EXPECT_GT(o.CurrentIncrement(), from);
  EXPECT_LT(o.CurrentIncrement(), 0.01);
  for (int i = 0; i < 44100; ++i) o.Render();
  EXPECT_NEAR(o.CurrentIncrement(), 0.01, 1e-6);  // 1 s is ten time constants
}

TEST(OscillatorTest, BitDividerHoldsAndFeedbackBends) {
  auto o = MakeOsc(441.0, 3);  // falling ramp: every sample differs
  o.bitDivider = 1.0;
  o.bitFeedback = 1.0;
  auto plain = MakeOsc(441.0, 3);
  for (int n = 0; n < 50; ++n) EXPECT_DOUBLE_EQ(o.Render(), plain.Render());  // H = 1: transparent

  auto held = MakeOsc(441.0, 3);
  held.bitDivider = 4.0;  // a new value every 4 samples at 44.1 kHz
  auto x = RenderSamples(held, 12);
  EXPECT_DOUBLE_EQ(x[4], x[5]);
  EXPECT_DOUBLE_EQ(x[5], x[6]);
  EXPECT_NE(x[7], x[6]);

  auto at22k = MakeOsc(441.0, 3, 22050.0);
  at22k.bitDivider = 1.5;  // shorter than a sample at 22.05 kHz: a new value every sample
  RenderSamples(at22k, 10000);
  at22k.bitDivider = 4.0;  // ... and the divider holds again at once afterwards
  auto y = RenderSamples(at22k, 8);
  int repeats = 0;
  for (int n = 1; n < 8; ++n) repeats += y[n] == y[n - 1];
  EXPECT_GE(repeats, 3);  // H = 4 at half the rate: a new value every 2 samples
}

TEST(OscillatorTest, WaveShaperAndRingModulator) {
  auto base = MakeOsc(441.0, 0);
  auto off = MakeOsc(441.0, 0);
  off.waveShaper = 0.0;
  off.ringMod = 0.0;
  for (int n = 0; n < 50; ++n) EXPECT_DOUBLE_EQ(off.Render(), base.Render());

  auto full = MakeOsc(441.0, 0);
  full.waveShaper = 1.0;  // W = 1: sin(21 x) replaces x
  auto ref = MakeOsc(441.0, 0);
  for (int n = 0; n < 50; ++n) EXPECT_NEAR(full.Render(), std::sin(21.0 * ref.Render()), 1e-9);

  auto ring = MakeOsc(441.0, 0);
  ring.ringMod = 1.0;
  ring.ringModF = 0.0;  // ratio 2: the ring phase runs at 4 x the note
  auto plain = MakeOsc(441.0, 0);
  ring.Render();
  plain.Render();
  for (int n = 1; n < 50; ++n) {
    const double s = plain.Render();
    const double r = ring.Render();
    EXPECT_NEAR(r, 2.0 * std::sin(2.0 * M_PI * ring.RingPhase()) * s, 1e-9);
    EXPECT_NEAR(ring.RingPhase(), std::fmod(4.0 * (n + 1) / 100.0, 1.0), 1e-9);
  }

  auto locked = MakeOsc(441.0, 0);
  locked.ringLock = 1;
  locked.ringModF = 0.55;  // 0.55 * 6 + 2 = 5.3, locked to int(5.79) = 5: 10 x the note
  locked.Render();
  EXPECT_NEAR(locked.RingPhase(), 0.1, 1e-12);
}

TEST(OscillatorTest, PitchNoiseZeroLeavesThePitchAlone) {
  auto o = MakeOsc(441.0, 0);
  o.pitchNoise = 0.0;
  o.pitchNoiseHeight = 1.0;
  RenderSamples(o, 100);
  EXPECT_NEAR(o.MasterPhase(), 0.0, 1e-9);  // exactly one cycle

  std::srand(5);
  auto noisy = MakeOsc(441.0, 0);
  noisy.pitchNoise = 1.0;
  RenderSamples(noisy, 100);
  const double drift = std::fabs(std::remainder(noisy.MasterPhase(), 1.0));
  // d is at most 0.5 * 0.4 * (220.5 + 220) / 44100 = 0.002 cycles per sample.
  EXPECT_GT(drift, 0.0);
  EXPECT_LE(drift, 100 * 0.002 + 1e-9);
}

}  // namespace
}  // namespace morvanta
