// VoiceFilter: the low-pass, band-pass and high-pass outputs of the crossfade,
// the cutoff smoother with its pre-roll, and the soft-clipped band-pass.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/VoiceFilter.h"

namespace morvanta {
namespace {

constexpr double kRate = 44100.0;

VoiceFilter MakeFilter(double cutoffHz, double mix, double resonance = 0.0) {
  VoiceFilter f;
  f.prewarp = static_cast<double>(3.14159265358979f) / kRate;
  f.cutoffKHz = cutoffHz * 0.001;
  f.SetResonance(resonance);
  f.mix = mix;
  f.Reset();
  f.Preroll(20000);  // let the cutoff smoother settle
  return f;
}

// Steady-state gain for a sine of `hz` at small amplitude.
double Gain(VoiceFilter& f, double hz) {
  const double amp = 0.01;
  double peak = 0.0;
  for (int n = 0; n < 44100; ++n) {
    const double y = f.Process(amp * std::sin(2.0 * M_PI * hz * n / kRate));
    if (n > 22050) peak = std::max(peak, std::fabs(y));
  }
  return peak / amp;
}

TEST(FilterTest, MixZeroIsALowPassAtMinusSixAtTheCutoff) {
  auto a = MakeFilter(1000.0, 0.0);
  EXPECT_NEAR(Gain(a, 100.0), 1.0, 0.02);
  auto b = MakeFilter(1000.0, 0.0);
  EXPECT_NEAR(20.0 * std::log10(Gain(b, 1000.0)), -6.02, 0.2);  // k = 2: |H| = 1/2
  auto c = MakeFilter(1000.0, 0.0);
  EXPECT_LT(Gain(c, 10000.0), 0.015);  // 12 dB/octave: about 1/100 a decade up
}

TEST(FilterTest, MixHalfIsTheBandPassAndMixOneTheHighPassAt0833) {
  auto bp = MakeFilter(1000.0, 0.5);
  // The band-pass of k = 2 peaks at g k / (g^2 + g k + 1) = 1/2 at the cutoff.
  EXPECT_NEAR(Gain(bp, 1000.0), 0.5, 0.01);
  auto bpLow = MakeFilter(1000.0, 0.5);
  EXPECT_LT(Gain(bpLow, 50.0), 0.06);
  auto hp = MakeFilter(1000.0, 1.0);
  EXPECT_NEAR(Gain(hp, 15000.0), 0.833, 0.02);
  auto hpLow = MakeFilter(1000.0, 1.0);
  EXPECT_LT(Gain(hpLow, 100.0), 0.02);
}

TEST(FilterTest, LoudInputAtFullResonanceSaturatesSoftly) {
  auto f = MakeFilter(500.0, 0.5, 1.0);
  double peak = 0.0;
  for (int n = 0; n < 44100; ++n) {
    const double y = f.Process(10.0 * std::sin(2.0 * M_PI * 500.0 * n / kRate));
    ASSERT_TRUE(std::isfinite(y));
    peak = std::max(peak, std::fabs(y));
  }
  EXPECT_LE(peak, 2.0 / 3.0 + 1e-6);  // b - b^3/3 with |b| <= 1
  EXPECT_GT(peak, 0.6);
}

TEST(FilterTest, PrerollBringsTheSmootherNearTheTarget) {
  VoiceFilter f;
  f.cutoffKHz = 5.0;
  f.Reset();
  f.Preroll(2048);
  // fc_n = 0.999 fc + input: 1000 input (1 - 0.999^2048), about 87 % of 5 kHz.
  const double a = static_cast<double>(0.999f);
  EXPECT_NEAR(f.Cutoff(), 5.0 * (1.0 - std::pow(a, 2048)) / (1.0 - a), 1e-6);
  EXPECT_NEAR(f.Cutoff() / 5000.0, 0.871, 0.002);
  // From a reset filter the pre-roll leaves silence: the first output of 0 is 0.
  EXPECT_DOUBLE_EQ(f.Process(0.0), 0.0);
}

TEST(FilterTest, DampingFollowsTheResonance) {
  VoiceFilter f;
  f.SetResonance(0.0);
  EXPECT_DOUBLE_EQ(f.damping, 2.0);
  f.SetResonance(1.0);
  EXPECT_DOUBLE_EQ(f.damping, 1.0 / 40.0);
  f.SetResonance(0.5);
  EXPECT_DOUBLE_EQ(f.damping, 1.0 / (0.25 * 39.5 + 0.5));
}

}  // namespace
}  // namespace morvanta
