// Biquad: a section asked for a cut-off at or above Nyquist stays stable.
#include "dsp/Biquad.h"

#include <gtest/gtest.h>

#include <cmath>

namespace morvanta {
namespace {

TEST(BiquadTest, CutOffAtOrAboveNyquistStaysStable) {
  // The chorus loop asks for (750 factor + 6000) / fs, above 0.5 at 11025 Hz.
  for (int type : {Biquad::kLowPass, Biquad::kHighPass, Biquad::kAllPass})
    for (double fc : {0.5, 0.61, 0.9}) {
      Biquad b;
      b.Init(type, fc, 0.8);
      double peak = 0.0;
      for (int n = 0; n < 10000; ++n) peak = std::max(peak, std::fabs(double(b.Process(n % 7 ? -0.3f : 1.0f))));
      EXPECT_LT(peak, 10.0) << type << " " << fc;  // also false for NaN
    }
}

}  // namespace
}  // namespace morvanta
