// ReverbNetwork: the dry/wet mix as the render frame applies it, the derived
// line settings, pre-delay, modulation off, the output high-pass and clearing.
#include "dsp/ReverbNetwork.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/SynthEngine.h"
#include "support/EffectSignals.h"

namespace morvanta {
namespace {

class NoTempoHost : public EngineHost {
 public:
  double HostTempo() override { return 0.0; }
  void OnModWheelFromMidi(double) override {}
};

// Renders 40 blocks of one held note through a fresh engine.
std::vector<double> RenderNote(const ParamSnapshot& p) {
  std::srand(1);
  NoTempoHost host;
  SynthEngine engine(host);
  engine.Reset(44100.0, 512);
  engine.MidiReceived(MidiMessage{0, 0x90, 57, 100});
  std::vector<double> out;
  double l[512], r[512];
  for (int b = 0; b < 40; ++b) {
    engine.RenderBlock(p, l, r, 512, 44100.0);
    out.insert(out.end(), l, l + 512);
    out.insert(out.end(), r, r + 512);
  }
  return out;
}

TEST(ReverbTest, MixZeroLeavesTheDrySignalExactly) {
  ParamSnapshot dry;
  dry.reverbOn = 0;
  ParamSnapshot mixZero = dry;
  mixZero.reverbOn = 1;
  mixZero.reverbMix = 0.0;
  mixZero.reverb.length = 1.0;
  const std::vector<double> a = RenderNote(dry);
  const std::vector<double> b = RenderNote(mixZero);
  double energy = 0.0;
  for (double v : a) energy += v * v;
  ASSERT_GT(energy, 1.0);  // the note sounds
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << i;
}

TEST(ReverbTest, MixOneGivesTheWetSignalOnly) {
  ParamSnapshot dry;
  dry.reverbOn = 0;
  ParamSnapshot wet = dry;
  wet.reverbOn = 1;
  wet.reverbMix = 1.0;
  const std::vector<double> in = RenderNote(dry);
  const std::vector<double> out = RenderNote(wet);
  // The same network, run by hand over the dry blocks: sqrt(1 - 1) = 0 dry.
  ReverbNetwork reverb;
  reverb.SetSampleRate(44100.0);
  double wetEnergy = 0.0;
  for (int b = 0; b < 40; ++b) {
    reverb.UpdateSettings(wet.reverb);
    const double* l = &in[b * 1024];
    const double* r = l + 512;
    for (int n = 0; n < 512; ++n) {
      double wl = 0.0, wr = 0.0;
      reverb.Process(l[n], r[n], &wl, &wr);
      ASSERT_EQ(out[b * 1024 + n], wl) << b << " " << n;
      ASSERT_EQ(out[b * 1024 + 512 + n], wr) << b << " " << n;
      wetEnergy += wl * wl;
    }
  }
  EXPECT_GT(wetEnergy, 1e-3);
}

TEST(ReverbTest, LengthSetsTimeScaleAndLineFeedback) {
  ReverbNetwork reverb;
  ReverbSettings s;
  s.length = 0.0;
  s.lengthFactor = 0.2;
  reverb.UpdateSettings(s);
  EXPECT_NEAR(reverb.TimeScale(), 0.005, 1e-8);               // 0 * ... + 0.005
  EXPECT_NEAR(reverb.Line(0, 0).Feedback(), 0.21, 1e-12);     // 0.75 (0.18 + 0.1)
  s.length = 1.0;
  s.lengthFactor = 1.0;
  reverb.UpdateSettings(s);
  EXPECT_NEAR(reverb.TimeScale(), 0.07625, 1e-8);             // 0.095 * 0.75 + 0.005
  EXPECT_NEAR(reverb.Line(1, 30).Feedback(), 0.75, 1e-12);
  EXPECT_NEAR(reverb.Line(0, 30).OutputGain(), 0.25 + 0.125 * 30.0 / 31.0, 1e-12);
}

TEST(ReverbTest, LineLengthsFollowTheTwoTables) {
  ReverbNetwork reverb;
  ReverbSettings s;  // length 0.7: m = 0.7 * 0.095 * 0.75 + 0.005 = 0.054875
  reverb.UpdateSettings(s);
  for (int n = 0; n < 44100; ++n) {
    double wl, wr;
    reverb.Process(0.0, 0.0, &wl, &wr);
  }
  // Left line 0: (0.9 m + 0.1) * 0.025 * 44100 = 164.7; right line 0 uses 0.01358796: 89.5.
  EXPECT_EQ(reverb.Line(0, 0).DelayLength(), 164.0);
  EXPECT_EQ(reverb.Line(1, 0).DelayLength(), 89.0);
  // Pre-delay: integer part of (0.025 + 0.01) * 44100 = 1543.
  EXPECT_EQ(reverb.PreDelay(0).DelayLength(), 1543.0);
  EXPECT_EQ(reverb.PreDelay(1).DelayLength(), 1543.0);
}

TEST(ReverbTest, NothingComesOutBeforePreDelayAndShortestLine) {
  ReverbNetwork reverb;
  ReverbSettings s;
  reverb.UpdateSettings(s);
  double wl, wr;
  for (int n = 0; n < 44100; ++n) reverb.Process(0.0, 0.0, &wl, &wr);
  double early = 0.0, late = 0.0;
  for (int n = 0; n < 4000; ++n) {
    reverb.Process(n == 0 ? 1.0 : 0.0, n == 0 ? 1.0 : 0.0, &wl, &wr);
    const double m = std::max(std::fabs(wl), std::fabs(wr));
    if (n < 1600) early = std::max(early, m);  // 1543 + 89 is the first arrival
    else late = std::max(late, m);
  }
  EXPECT_LT(early, 1e-6);
  EXPECT_GT(late, 1e-3);
}

TEST(ReverbTest, ModZeroKeepsEveryLineUnmodulated) {
  ReverbNetwork reverb;
  ReverbSettings s;
  s.mod = 0.0;
  reverb.UpdateSettings(s);
  test::TestNoise noise;
  double wl, wr;
  for (int n = 0; n < 20000; ++n) reverb.Process(noise.Next(), noise.Next(), &wl, &wr);
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < ReverbNetwork::kLines; ++i) {
      EXPECT_EQ(reverb.Line(side, i).ModDepth(), 0.0);
      EXPECT_EQ(reverb.Line(side, i).ModFactor(), 1.0);
    }
}

// RMS of the wet signal for a steady sine of f Hz.
double WetRms(double hp, double f) {
  ReverbNetwork reverb;
  ReverbSettings s;
  s.hp = hp;
  reverb.UpdateSettings(s);
  double sum = 0.0, wl, wr;
  const int total = 3 * 44100;
  for (int n = 0; n < total; ++n) {
    const double x = std::sin(2.0 * 3.14159265358979 * f * n / 44100.0);
    reverb.Process(x, x, &wl, &wr);
    if (n >= 2 * 44100) sum += wl * wl;
  }
  return std::sqrt(sum / 44100.0);
}

TEST(ReverbTest, HighPassOneRemovesTheLowEndOfTheWetSignal) {
  // 2nd-order high-pass at 510 Hz (Q 0.5): 50 Hz is down to about 0.01,
  // against about 0.86 with the 20 Hz corner of "Reverb hp" 0.
  EXPECT_LT(WetRms(1.0, 50.0), 0.05 * WetRms(0.0, 50.0));
  EXPECT_GT(WetRms(1.0, 3000.0), 0.8 * WetRms(0.0, 3000.0));
}

TEST(ReverbTest, ClearSilencesTheTail) {
  ReverbNetwork reverb;
  ReverbSettings s;
  s.length = 1.0;
  s.lengthFactor = 1.0;
  reverb.UpdateSettings(s);
  test::TestNoise noise;
  double wl, wr;
  for (int n = 0; n < 44100; ++n) reverb.Process(noise.Next(), noise.Next(), &wl, &wr);
  ASSERT_GT(std::fabs(wl) + std::fabs(wr), 1e-3);
  reverb.Clear();
  double tail = 0.0;
  for (int n = 0; n < 44100; ++n) {
    reverb.Process(0.0, 0.0, &wl, &wr);
    tail = std::max(tail, std::fabs(wl) + std::fabs(wr));
  }
  EXPECT_LT(tail, 1e-6);
}

}  // namespace
}  // namespace morvanta
