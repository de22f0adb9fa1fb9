// VoiceLfo shapes and fade-in, and LfoRate free and tempo-synchronised.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/LfoRate.h"
#include "engine/VoiceLfo.h"

namespace morvanta {
namespace {

VoiceLfo MakeLfo(int shape, double frequency, double fadeSeconds = 0.0) {
  VoiceLfo l;
  l.SetRate(1000.0);
  l.SetShape(shape);
  l.Start(frequency, true, fadeSeconds);
  return l;
}

TEST(Lfo, ShapesFollowThePhase) {
  // 125 Hz at 1 kHz: tick n reads phase n / 8.
  const double expected[4][5] = {{0.0, std::sqrt(0.5), 1.0, std::sqrt(0.5), 0.0},
                                 {0.0, 0.5, 1.0, 0.5, 0.0},
                                 {1.0, 1.0, 1.0, 1.0, -1.0},
                                 {1.0, 0.75, 0.5, 0.25, 0.0}};
  for (int shape = 0; shape < 4; ++shape) {
    VoiceLfo l = MakeLfo(shape, 125.0);
    for (int n = 0; n < 5; ++n) EXPECT_NEAR(l.Tick(), expected[shape][n], 1e-9) << shape << " " << n;
  }
  VoiceLfo faded = MakeLfo(2, 1.0, 0.01);  // 10 ticks of fade-in
  EXPECT_NEAR(faded.Tick(), 0.1, 1e-12);
}

TEST(Lfo, RandomShapesDrawAtTheWrapAndStayInRange) {
  std::srand(7);  // glibc's rand() spans 2^31: the draws must still land in -1..1
  VoiceLfo step = MakeLfo(4, 125.0), ramp = MakeLfo(5, 125.0);
  double held = step.Tick(), previous = ramp.Tick();
  for (int n = 1; n < 400; ++n) {
    const double v = step.Tick(), w = ramp.Tick();
    ASSERT_LE(std::fabs(v), 1.0);
    ASSERT_LE(std::fabs(w), 1.0);
    if (v != held) {
      EXPECT_EQ(n % 8, 0) << n;  // a new value only when the phase reaches 1
    }
    EXPECT_LE(std::fabs(w - previous), 2.0 / 8 + 1e-12);  // a ramp of one period
    held = v;
    previous = w;
  }
}

// An LFO no destination reads skips its value but must come back exactly
// where a computed one would be, also when its shape changed meanwhile.
TEST(Lfo, UnheardTicksLeaveTheSameLfo) {
  auto run = [](int before, int after, bool heardBefore, std::vector<double>* out) {
    RandomSource random(7);  // both runs draw the same random steps
    VoiceLfo l = MakeLfo(before, 3.7, 0.05);
    l.SetRandomSource(random);
    for (int n = 0; n < 300; ++n) {
      if (n == 150) l.SetShape(after);
      l.SetFrequency(3.7 + 0.01 * (n % 13));  // as when ADSR2 moves the rate
      if (n < 150 && !heardBefore) {
        l.TickUnheard();
      } else {
        out->push_back(l.Tick());
      }
      out->push_back(l.Phase());
    }
  };
  for (int before = 0; before < 6; ++before) {
    for (int after = 0; after < 6; ++after) {
      std::vector<double> heard, unheard;
      run(before, after, true, &heard);
      run(before, after, false, &unheard);
      // The heard run also logged its first 150 values; compare phases there
      // and everything after the switch.
      std::vector<double> tail(heard.begin(), heard.begin() + 300);
      std::vector<double> phases;
      for (size_t i = 1; i < tail.size(); i += 2) phases.push_back(tail[i]);
      for (int n = 0; n < 150; ++n) ASSERT_EQ(unheard[n], phases[n]) << before << "->" << after;
      ASSERT_TRUE(std::equal(unheard.begin() + 150, unheard.end(), heard.begin() + 300))
          << before << "->" << after;
    }
  }
}

TEST(Lfo, RateIsFreeOrATempoFraction) {
  EXPECT_DOUBLE_EQ(LfoRate(1.0, false, 0.0), 64.0);
  EXPECT_DOUBLE_EQ(LfoRate(0.5, false, 0.0), 16.0);  // 64 v^2
  // 120 BPM: eighth notes at 4 Hz; int(9 v) picks 1/16 .. 4.
  EXPECT_DOUBLE_EQ(LfoRate(0.0, true, 120.0), 0.25);
  EXPECT_DOUBLE_EQ(LfoRate(0.5, true, 120.0), 1.0);
  EXPECT_DOUBLE_EQ(LfoRate(1.0, true, 120.0), 16.0);
  EXPECT_DOUBLE_EQ(LfoRate(1.0, true, 0.0), 0.0);  // no host tempo: the LFO stands still
}

}  // namespace
}  // namespace morvanta
