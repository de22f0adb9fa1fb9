// The bus chain the render frame runs (shapers, chorus, delay, reverb and its
// mix): finite and bounded at full settings at the common rates, and
// allocation-free after a rate change made through the reset path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/BusChain.h"
#include "support/EffectSignals.h"
#include "tools/alloc/AllocationCounter.h"

namespace morvanta {
namespace {

// The shipped bus chain fed with noise, one 512-frame block at a time.
class NoiseBus {
 public:
  void Reset(double fs) {
    fs_ = fs;
    bus_.SetSampleRate(fs);
  }
  // One block of noise at `level`; returns its output peak (inf if not finite).
  double Block(const ParamSnapshot& p, double tempo, test::TestNoise& noise, double level) {
    double out[2][512];
    bus_.BlockUpdate(fs_, tempo, p);
    for (int s = 0; s < 512; ++s) {
      out[0][s] = level * noise.Next();
      out[1][s] = level * noise.Next();
      bus_.ProcessFrame(p.tubeDrive, out[0][s], out[1][s]);
    }
    bus_.ProcessReverb(out[0], out[1], 512);
    double peak = 0.0;
    for (int s = 0; s < 512; ++s)
      for (int ch = 0; ch < 2; ++ch)
        peak = std::isfinite(out[ch][s]) ? std::max(peak, std::fabs(out[ch][s])) : INFINITY;
    return peak;
  }

 private:
  double fs_ = 44100.0;
  BusChain bus_;
};

class EffectChainRateTest : public ::testing::TestWithParam<double> {};

TEST_P(EffectChainRateTest, FullSettingsForAMinuteStayFiniteAndBounded) {
  const double fs = GetParam();
  auto chain = std::make_unique<NoiseBus>();
  chain->Reset(fs);
  test::TestNoise noise;
  const int blocks = static_cast<int>(60.0 * fs / 512), tenSeconds = blocks / 6;
  double segmentPeak[6] = {};
  for (int b = 0; b < blocks; ++b) {
    ParamSnapshot p = test::FullEffectsSnapshot();
    p.delayPingPongType = (b / tenSeconds) % 2;  // both types, free then synchronised
    p.delayTempoSync = b / tenSeconds >= 3;
    const double peak = chain->Block(p, 30.0, noise, (b / 50) % 4 == 0 ? 4.0 : 1.0);
    ASSERT_LT(peak, 100.0) << "block " << b;
    double& seg = segmentPeak[std::min(5, b / tenSeconds)];
    seg = std::max(seg, peak);
  }
  EXPECT_LT(segmentPeak[5], 4.0 * segmentPeak[0] + 1.0);  // nothing builds up
}

// 22.05 kHz puts the reverb's damping frequencies (up to 14.8 kHz) past Nyquist.
INSTANTIATE_TEST_SUITE_P(Rates, EffectChainRateTest,
                         ::testing::Values(22050.0, 44100.0, 48000.0, 96000.0, 192000.0));

TEST(EffectChainTest, RateChangesThroughResetLeaveRenderingAllocationFree) {
  auto chain = std::make_unique<NoiseBus>();
  test::TestNoise noise;
  for (double fs : {44100.0, 192000.0, 48000.0, 96000.0, 44100.0}) {
    chain->Reset(fs);  // may allocate: the host changed the rate
    alloc::CountWindow window;
    for (int b = 0; b < 50; ++b) ASSERT_LT(chain->Block(test::FullEffectsSnapshot(), 120.0, noise, 1.0), 100.0);
    EXPECT_EQ(window.Count(), 0) << fs;
  }
}

}  // namespace
}  // namespace morvanta
