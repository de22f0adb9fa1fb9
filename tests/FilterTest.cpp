// VoiceFilter: the low-pass, band-pass and high-pass ends of the crossfade,
// the soft-clipped band-pass, and the cutoff pre-roll.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/VoiceFilter.h"

namespace morvanta {
namespace {

constexpr double kRate = 44100.0;

// Steady-state gain for a sine of `hz` through a settled 1 kHz filter (k = 2).
double Gain(double mix, double hz, double amp = 0.01, double resonance = 0.0) {
  VoiceFilter f;
  f.prewarp = static_cast<double>(3.14159265358979f) / kRate;
  f.cutoffKHz = 1.0;
  f.SetResonance(resonance);
  f.mix = mix;
  f.Preroll(20000);
  double peak = 0.0;
  for (int n = 0; n < 44100; ++n) {
    const double y = f.Process(amp * std::sin(2.0 * M_PI * hz * n / kRate));
    if (n > 22050) peak = std::max(peak, std::fabs(y));
  }
  return peak / amp;
}

TEST(FilterTest, MixSelectsLowBandAndHighPass) {
  EXPECT_NEAR(Gain(0.0, 100.0), 1.0, 0.02);
  EXPECT_NEAR(20.0 * std::log10(Gain(0.0, 1000.0)), -6.02, 0.2);  // k = 2: |H| = 1/2 at fc
  EXPECT_LT(Gain(0.0, 10000.0), 0.015);                            // 12 dB/octave
  EXPECT_NEAR(Gain(0.5, 1000.0), 0.5, 0.01);  // band-pass peak g k / (g^2 + g k + 1) = 1/2
  EXPECT_LT(Gain(0.5, 50.0), 0.06);
  EXPECT_NEAR(Gain(1.0, 15000.0), 0.833, 0.02);  // high-pass at 1.666 * 0.5
  EXPECT_LT(Gain(1.0, 100.0), 0.02);
}

TEST(FilterTest, BandPassSaturatesSoftlyAtFullResonance) {
  // b - b^3/3 with |b| <= 1 bounds the band-pass by 2/3 times the mix-0.5 gain of 1.
  const double g = Gain(0.5, 1000.0, 10.0, 1.0) * 10.0;
  EXPECT_LE(g, 2.0 / 3.0 + 1e-6);
  EXPECT_GT(g, 0.6);
}

TEST(FilterTest, PrerollBringsTheCutoffNearItsTarget) {
  VoiceFilter f;
  f.cutoffKHz = 5.0;
  f.Reset();
  f.Preroll(2048);
  const double a = static_cast<double>(0.999f);  // fc = 0.999 fc + input, 2048 times
  EXPECT_NEAR(f.Cutoff(), 5.0 * (1.0 - std::pow(a, 2048)) / (1.0 - a), 1e-6);
  EXPECT_NEAR(f.Cutoff() / 5000.0, 0.871, 0.002);
  EXPECT_DOUBLE_EQ(f.Process(0.0), 0.0);
}

}  // namespace
}  // namespace morvanta
