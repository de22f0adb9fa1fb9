// Biquad: response of the three section types and stability near Nyquist.
#include "dsp/Biquad.h"

#include <gtest/gtest.h>

#include <cmath>

namespace morvanta {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Steady-state amplitude of a sine of normalised frequency f through b.
double SineGain(Biquad b, double f) {
  double peak = 0.0;
  for (int n = 0; n < 20000; ++n) {
    const double y = b.Process(static_cast<float>(std::sin(2.0 * kPi * f * n)));
    if (n > 15000) peak = std::max(peak, std::fabs(y));
  }
  return peak;
}

TEST(BiquadTest, CoefficientsAtQuarterRate) {
  // Fc 0.25: K = tan(pi/4) = 1, so norm = 1 / (2 + 1/Q) and b1 = 2 (1 - 1) norm = 0.
  Biquad b;
  b.Init(Biquad::kLowPass, 0.25, 0.5, 0.0);
  const double norm = 1.0 / (2.0 + 2.0);
  EXPECT_NEAR(b.a0, norm, 1e-7);
  EXPECT_NEAR(b.a1, 2.0 * norm, 1e-7);
  EXPECT_NEAR(b.b1, 0.0, 1e-7);
  EXPECT_NEAR(b.b2, 0.0, 1e-7);  // (1 - 2 + 1) norm
  b.Init(Biquad::kHighPass, 0.25, 0.5, 0.0);
  EXPECT_NEAR(b.a0, norm, 1e-7);
  EXPECT_NEAR(b.a1, -2.0 * norm, 1e-7);
}

TEST(BiquadTest, PassBandsAndStopBands) {
  Biquad lp, hp, ap;
  lp.Init(Biquad::kLowPass, 1000.0 / 44100.0, 0.707, 0.0);
  hp.Init(Biquad::kHighPass, 1000.0 / 44100.0, 0.707, 0.0);
  ap.Init(Biquad::kAllPass, 1000.0 / 44100.0, 0.707, 0.0);
  // DC: the low-pass numerator 4 K^2 norm equals its denominator sum, gain 1.
  double dcLow = 0.0, dcHigh = 0.0;
  for (int n = 0; n < 5000; ++n) {
    dcLow = lp.Process(1.0f);
    dcHigh = hp.Process(1.0f);
  }
  EXPECT_NEAR(dcLow, 1.0, 1e-5);
  EXPECT_NEAR(dcHigh, 0.0, 1e-5);
  lp.Clear();
  hp.Clear();
  // A decade above the corner a 2nd-order low-pass is down by about 100x.
  EXPECT_LT(SineGain(lp, 10000.0 / 44100.0), 0.02);
  EXPECT_NEAR(SineGain(hp, 10000.0 / 44100.0), 1.0, 0.02);
  // The all-pass keeps the magnitude at every frequency.
  EXPECT_NEAR(SineGain(ap, 300.0 / 44100.0), 1.0, 1e-3);
  EXPECT_NEAR(SineGain(ap, 5000.0 / 44100.0), 1.0, 1e-3);
}

TEST(BiquadTest, CutOffAtOrAboveNyquistStaysStable) {
  // The chorus loop asks for (750 factor + 6000) / fs, above 0.5 at 11025 Hz.
  for (double fc : {0.5, 0.61, 0.9}) {
    Biquad b;
    b.Init(Biquad::kLowPass, fc, 0.8, 0.0);
    double peak = 0.0;
    for (int n = 0; n < 10000; ++n) peak = std::max(peak, std::fabs(double(b.Process(n % 7 == 0 ? 1.0f : -0.3f))));
    EXPECT_TRUE(std::isfinite(peak)) << fc;
    EXPECT_LT(peak, 10.0) << fc;
  }
}

}  // namespace
}  // namespace morvanta
