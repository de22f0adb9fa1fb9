// The bus chain as the render frame runs it (shapers, chorus, delay, reverb
// with its mix): finite and bounded at full settings and every common rate,
// and allocation-free after a rate change made through the reset path.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "dsp/ChorusEffect.h"
#include "dsp/DistortionShaper.h"
#include "dsp/OutputHighPass.h"
#include "dsp/ReverbNetwork.h"
#include "dsp/StereoDelay.h"
#include "dsp/TubeDriveClipper.h"
#include "support/EffectSignals.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Counting replacements of the global allocation functions; the pairing of
// malloc and free is deliberate.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace morvanta {
namespace {

class BusChain {
 public:
  void Reset(double fs) {
    fs_ = fs;
    chorus_.SetSampleRate(fs);
    reverb_.SetSampleRate(fs);
    hp_[0].SetSampleRate(fs);
    hp_[1].SetSampleRate(fs);
  }
  // One block the way the render frame runs it; returns the block's peak.
  double Block(const ParamSnapshot& p, double tempo, double* l, double* r, int frames) {
    chorus_.BlockUpdate(fs_, p);
    delay_.BlockUpdate(fs_, tempo, p);
    const double t = p.tubeDrive;
    for (int s = 0; s < frames; ++s) {
      double* sum[2] = {&l[s], &r[s]};
      for (int ch = 0; ch < 2; ++ch) {
        double x = *sum[ch];
        if (p.distortion > 0) x = DistortionShaper(static_cast<float>(x), static_cast<float>(2 * p.distortion));
        x = hp_[ch].Process(static_cast<float>(x));
        if (t > 0) x = tube_[ch].Process((16 * t * t + 1) * x, 0.1) / (4 * t + 1);
        *sum[ch] = x;
      }
      if (p.chorusOn) chorus_.Process(l[s], r[s]);
      if (p.delayOn) delay_.Process(l[s], r[s]);
    }
    double peak = 0.0;
    if (p.reverbOn) reverb_.UpdateSettings(p.reverb);
    for (int s = 0; s < frames; ++s) {
      if (p.reverbOn) {
        double wl, wr;
        reverb_.Process(l[s], r[s], &wl, &wr);
        l[s] = wl * p.reverbMix + std::sqrt(1 - p.reverbMix) * l[s];
        r[s] = wr * p.reverbMix + std::sqrt(1 - p.reverbMix) * r[s];
      }
      if (!std::isfinite(l[s]) || !std::isfinite(r[s])) return INFINITY;
      peak = std::max(peak, std::max(std::fabs(l[s]), std::fabs(r[s])));
    }
    return peak;
  }

 private:
  double fs_ = 44100.0;
  OutputHighPass hp_[2];
  TubeDriveClipper tube_[2];
  ChorusEffect chorus_;
  StereoDelay delay_;
  ReverbNetwork reverb_;
};

void FillNoise(test::TestNoise& noise, double* l, double* r, int frames, double level) {
  for (int s = 0; s < frames; ++s) {
    l[s] = level * noise.Next();
    r[s] = level * noise.Next();
  }
}

class EffectChainRateTest : public ::testing::TestWithParam<double> {};

TEST_P(EffectChainRateTest, FullSettingsForAMinuteStayFiniteAndBounded) {
  const double fs = GetParam();
  auto chain = std::make_unique<BusChain>();
  chain->Reset(fs);
  test::TestNoise noise;
  double l[512], r[512];
  const int blocks = static_cast<int>(60.0 * fs / 512);
  const int tenSeconds = blocks / 6;
  double segmentPeak[6] = {};
  for (int b = 0; b < blocks; ++b) {
    ParamSnapshot p = test::FullEffectsSnapshot();
    // Alternate ping-pong type and free/synchronised time every ten seconds.
    p.delayPingPongType = (b / tenSeconds) % 2;
    p.delayTempoSync = (b / tenSeconds) >= 3;
    FillNoise(noise, l, r, 512, (b / 50) % 4 == 0 ? 4.0 : 1.0);
    const double peak = chain->Block(p, 30.0, l, r, 512);
    ASSERT_TRUE(std::isfinite(peak)) << "block " << b;
    double& seg = segmentPeak[std::min(5, b / tenSeconds)];
    seg = std::max(seg, peak);
  }
  for (int k = 0; k < 6; ++k) {
    EXPECT_LT(segmentPeak[k], 100.0) << "segment " << k;
    EXPECT_GT(segmentPeak[k], 0.01) << "segment " << k;
  }
  EXPECT_LT(segmentPeak[5], 4.0 * segmentPeak[0] + 1.0);  // nothing builds up
}

INSTANTIATE_TEST_SUITE_P(Rates, EffectChainRateTest,
                         ::testing::Values(44100.0, 48000.0, 96000.0, 192000.0));

TEST(EffectChainTest, LowRateWithFullDampingStaysStable) {
  // At 22.05 kHz the damping frequencies (up to 14.8 kHz) pass Nyquist.
  auto chain = std::make_unique<BusChain>();
  chain->Reset(22050.0);
  test::TestNoise noise;
  double l[512], r[512];
  for (int b = 0; b < 22050 * 10 / 512; ++b) {
    FillNoise(noise, l, r, 512, 1.0);
    const double peak = chain->Block(test::FullEffectsSnapshot(), 120.0, l, r, 512);
    ASSERT_TRUE(std::isfinite(peak)) << b;
    ASSERT_LT(peak, 100.0) << b;
  }
}

TEST(EffectChainTest, RateChangesThroughResetLeaveRenderingAllocationFree) {
  auto chain = std::make_unique<BusChain>();
  test::TestNoise noise;
  double l[512], r[512];
  const ParamSnapshot p = test::FullEffectsSnapshot();
  for (double fs : {44100.0, 192000.0, 48000.0, 96000.0, 44100.0}) {
    chain->Reset(fs);  // may allocate: the host changed the rate
    const long before = g_allocations.load();
    for (int b = 0; b < 50; ++b) {
      FillNoise(noise, l, r, 512, 1.0);
      const double peak = chain->Block(p, 120.0, l, r, 512);
      ASSERT_TRUE(std::isfinite(peak)) << fs;
    }
    EXPECT_EQ(g_allocations.load(), before) << fs;
  }
}

}  // namespace
}  // namespace morvanta
