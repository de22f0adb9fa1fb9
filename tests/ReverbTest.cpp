// ReverbNetwork: "Reverb mix" 0 and 1 through the render frame, and the line
// settings derived from length and modulation.
#include "dsp/ReverbNetwork.h"

#include <gtest/gtest.h>

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

// 40 blocks of one held note through a fresh engine, each block L then R.
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

TEST(ReverbTest, MixZeroIsDryExactlyAndMixOneIsWetOnly) {
  ParamSnapshot off;
  ParamSnapshot zero = off, one = off;
  zero.reverbOn = one.reverbOn = 1;
  zero.reverbMix = 0.0;
  one.reverbMix = 1.0;
  const std::vector<double> dry = RenderNote(off);
  EXPECT_EQ(RenderNote(zero), dry);  // wet * 0 + sqrt(1) * dry
  // Mix 1 equals the network run by hand over the dry blocks (sqrt(0) dry).
  const std::vector<double> wet = RenderNote(one);
  ReverbNetwork reverb;
  reverb.SetSampleRate(44100.0);
  std::vector<double> expected(dry.size());
  for (int b = 0; b < 40; ++b) {
    reverb.UpdateSettings(one.reverb);
    for (int n = 0; n < 512; ++n)
      reverb.Process(dry[b * 1024 + n], dry[b * 1024 + 512 + n], &expected[b * 1024 + n],
                     &expected[b * 1024 + 512 + n]);
  }
  EXPECT_EQ(wet, expected);
  EXPECT_NE(wet, dry);
}

TEST(ReverbTest, LengthAndModulationSettings) {
  ReverbNetwork reverb;
  ReverbSettings s;
  s.length = 0.0;
  s.lengthFactor = 0.2;
  s.mod = 0.0;
  reverb.UpdateSettings(s);
  EXPECT_NEAR(reverb.TimeScale(), 0.005, 1e-8);            // 0 * 0.095 * 0.75 + 0.005
  EXPECT_NEAR(reverb.LineFeedback(0, 0), 0.21, 1e-12);  // 0.75 (0.9 * 0.2 + 0.1)
  test::TestNoise noise;
  double wl, wr;
  for (int n = 0; n < 20000; ++n) reverb.Process(noise.Next(), noise.Next(), &wl, &wr);
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < ReverbNetwork::kLines; ++i) EXPECT_EQ(reverb.LineModFactor(side, i), 1.0);

  s = ReverbSettings();  // length 0.7: m = 0.7 * 0.095 * 0.75 + 0.005 = 0.054875
  reverb.UpdateSettings(s);
  for (int n = 0; n < 44100; ++n) reverb.Process(0.0, 0.0, &wl, &wr);
  EXPECT_EQ(reverb.LineDelayLength(0, 0), 164.0);  // (0.9 m + 0.1) * 0.025 * 44100 = 164.7
  EXPECT_EQ(reverb.LineDelayLength(1, 0), 89.0);   // ... * 0.01358796 * 44100 = 89.5
  EXPECT_EQ(reverb.PreDelay(0).DelayLength(), 1543.0);  // (0.025 + 0.01) * 44100 = 1543.5
}

}  // namespace
}  // namespace morvanta
