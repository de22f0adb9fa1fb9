// ChorusEffect: at "Mod mix" 0 the input passes exactly.
#include "dsp/ChorusEffect.h"

#include <gtest/gtest.h>

#include "support/EffectSignals.h"

namespace morvanta {
namespace {

TEST(ChorusTest, MixZeroLeavesTheInputExactly) {
  ChorusEffect c;
  ParamSnapshot p = test::FullEffectsSnapshot();
  p.modMix = 0.0;
  test::TestNoise noise;
  for (int b = 0; b < 100; ++b) {
    c.BlockUpdate(44100.0, ChorusSettingsOf(p));
    for (int n = 0; n < 512; ++n) {
      const double inL = noise.Next(), inR = noise.Next();
      double l = inL, r = inR;
      c.Process(l, r);
      ASSERT_EQ(l, inL);
      ASSERT_EQ(r, inR);
    }
  }
}

}  // namespace
}  // namespace morvanta
