// The bus chain the render frame runs (shapers, chorus, delay, reverb and its
// mix): finite and bounded at full settings at the common rates,
// allocation-free after a rate change made through the reset path, and the
// same samples whether the frames go through one at a time or in blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

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

// Settings change between blocks (delay times that glide, both echo
// patterns, a synchronised echo without tempo, effects switched off and on)
// while the tube drive moves every frame; blocks of uneven sizes through
// ProcessFrames must give what ProcessFrame gives frame by frame.
TEST(EffectChainTest, BlocksOfFramesMatchFrameByFrame) {
  auto single = std::make_unique<BusChain>();
  auto blocked = std::make_unique<BusChain>();
  ParamSnapshot p = test::FullEffectsSnapshot();
  p.distortion = 0.4;
  p.modFeedback = 0.7;
  test::TestNoise noise;
  std::vector<double> l1, r1, l2, r2, drive;
  int size = 7;
  for (int b = 0; b < 60; ++b) {
    p.delayTime = 20.0 + 37.0 * (b / 6);
    p.delayPingPongType = (b / 10) % 2;
    p.delayTempoSync = b >= 40 && b < 46;
    p.modMode = (b / 15) % 2;
    p.chorusOn = b % 13 != 5;
    p.delayOn = b % 11 != 7;
    const double tempo = b < 43 ? 0.0 : 97.0;
    single->BlockUpdate(44100.0, tempo, p);
    blocked->BlockUpdate(44100.0, tempo, p);
    const int n = size;
    size = size * 5 % 1021 + 1;
    l1.resize(n);
    r1.resize(n);
    drive.resize(n);
    for (int s = 0; s < n; ++s) {
      l1[s] = 0.6 * noise.Next();
      r1[s] = 0.6 * noise.Next();
      drive[s] = std::max(0.0, std::sin((b * 1021 + s) * 0.002));
    }
    l2 = l1;
    r2 = r1;
    for (int s = 0; s < n; ++s) single->ProcessFrame(drive[s], l1[s], r1[s]);
    blocked->ProcessFrames(drive.data(), l2.data(), r2.data(), n);
    for (int s = 0; s < n; ++s) {
      ASSERT_EQ(l1[s], l2[s]) << "block " << b << " frame " << s;
      ASSERT_EQ(r1[s], r2[s]) << "block " << b << " frame " << s;
    }
  }
}

}  // namespace
}  // namespace morvanta
