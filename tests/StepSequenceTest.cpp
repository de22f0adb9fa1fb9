// StepSequence: loop start, LIVE ARP patterns from the held keys, and the
// HeldNoteList's order and capacity.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/HeldNoteList.h"
#include "dsp/StepSequence.h"
#include "support/EngineTestKit.h"

namespace morvanta {
namespace {

constexpr double kT = 0.125;  // step length at divider 16

TEST(StepSequenceTest, LoopStartReturnsAfterTheLastStep) {
  double ratios[16], zeros[16] = {};
  for (double& r : ratios) r = 1.0;
  for (int loopStart : {4, 9}) {
    StepSequence s;
    s.SetOn(true);
    s.LoadFromParameters(8, loopStart, 16.0, ratios, zeros, zeros);
    s.Restart();
    std::vector<int> indices;
    for (int i = 0; i < 12; ++i) {
      s.Tick((i + 0.5) * kT, 0, false);
      indices.push_back(s.Index());
    }
    // Loop start 4: 0..7 then 4..7; 9 (past the count) behaves as the last step.
    const std::vector<int> expected =
        loopStart == 4 ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7}
                       : std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7};
    EXPECT_EQ(indices, expected);
  }
}

std::vector<long> LivePattern(const HeldNoteList& held, int direction, int steps) {
  double zeros[16] = {};
  StepSequence s;
  s.Restart();
  std::vector<long> semitones;
  for (int i = 0; i < steps; ++i) {
    s.LoadFromHeldNotes(held, direction, 16.0, zeros, zeros);
    s.Tick((i + 0.5) * kT, 0, false);
    semitones.push_back(std::lround(12.0 * std::log2(s.Ratio())));
  }
  return semitones;
}

TEST(StepSequenceTest, LiveArpDirectionsNeverRepeatTheTurningNotes) {
  HeldNoteList held;
  for (int n : {60, 67, 64}) held.Add(n);  // ratios against the first key, 60
  EXPECT_EQ(LivePattern(held, 0, 4), (std::vector<long>{0, 4, 7, 0}));
  EXPECT_EQ(LivePattern(held, 1, 4), (std::vector<long>{7, 4, 0, 7}));
  EXPECT_EQ(LivePattern(held, 2, 6), (std::vector<long>{0, 4, 7, 4, 0, 4}));
  EXPECT_EQ(LivePattern(held, 3, 6), (std::vector<long>{7, 4, 0, 4, 7, 4}));
  HeldNoteList one;
  one.Add(50);
  EXPECT_EQ(LivePattern(one, 2, 3), (std::vector<long>{0, 0, 0}));
}

TEST(StepSequenceTest, ReleaseTailHoldsTheLastStepOrTheNoteWhenNoneWasEntered) {
  double zeros[16] = {};
  HeldNoteList held, empty;
  held.Add(60);
  held.Add(67);
  StepSequence s;
  s.SetOn(true);
  s.Restart();
  s.LoadFromHeldNotes(held, 0, 16.0, zeros, zeros);
  s.Tick(0.5 * kT, 3, false);
  s.Tick(1.5 * kT, 3, false);  // second step: 67 against 60
  s.LoadFromHeldNotes(empty, 0, 16.0, zeros, zeros);
  s.Tick(2.5 * kT, 3, true);
  EXPECT_DOUBLE_EQ(s.Ratio(), std::pow(2.0, 7.0 / 12.0));
  // Pressed and released before the first frame: no step yet, ratio 1 and the base shape.
  s.Restart();
  s.LoadFromHeldNotes(empty, 0, 16.0, zeros, zeros);
  s.Tick(0.0, 2, true);
  EXPECT_DOUBLE_EQ(s.Ratio(), 1.0);
  EXPECT_EQ(s.Shape(), 2);
}

TEST(StepSequenceTest, StepsKeepTheirLengthInTheBlockWhereTheNoteStarts) {
  for (double divider : {128.0, 8.0}) {
    testkit::EngineRig r;
    r.snap.arpOn = 1;
    r.snap.arpTempoDivider = divider;
    r.engine.MidiReceived(testkit::NoteOn(60));
    // One block: 2 / 128 s = 689.06 samples per step, so frame 700 is in step 1;
    // 2 / 8 s = 11025 samples, so frame 4000 is still in step 0.
    const int frames = divider == 128.0 ? 701 : 4001;
    testkit::Render(r.engine, r.snap, frames, 44100.0, frames);
    EXPECT_EQ(r.engine.Voice(1).osc.steps.Index(), divider == 128.0 ? 1 : 0) << divider;
  }
}

// The clock skips its division inside a step; the steps must still turn on
// exactly the sample where the quotient reaches the next whole number, and
// the smoothed value must be the one the division gives, also when it is
// read late (after a reload with another length, or after a restart).
TEST(StepSequenceTest, StepsTurnExactlyWhereTheQuotientDoes) {
  double ratios[16], shapes[16] = {}, mods[16];
  for (int i = 0; i < 16; ++i) {
    ratios[i] = 1.0;
    mods[i] = (i + 1) / 16.0;
  }
  struct Reference {  // the plain clock: a division every tick
    int64_t last = -1;
    int index = -1;
    double mod = 0.0, previous = 0.0;
    double Tick(double t, double length, int count) {
      const double h = t / length;
      const int64_t k = static_cast<int64_t>(h);
      if (k != last) {
        last = k;
        index = index + 1 >= count ? 0 : index + 1;
        previous = mod;
        mod = (index + 1) / 16.0;
      }
      return previous + (mod - previous) * (h - static_cast<double>(k));
    }
  };
  for (double fs : {44100.0, 192000.0}) {
    for (double divider : {1.0, 7.3, 16.0, 128.0}) {
      StepSequence s;
      s.SetOn(true);
      s.LoadFromParameters(5, 0, divider, ratios, shapes, mods);
      s.Restart();
      Reference ref;
      const double length = s.StepLength();
      // Along the sample clock, then on and around the exact step edges.
      std::vector<double> times;
      double t = 0.0;
      for (int n = 0; n < 3 * static_cast<int>(fs); n += 1 + n / 5000) times.push_back(t += 1.0 / fs);
      for (int k = 40; k < 60; ++k) {
        const double edge = k * length;
        for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1e9)}) times.push_back(x);
      }
      for (double x : times) {
        s.Tick(x, 0, false);
        const double smoothed = ref.Tick(x, length, 5);
        ASSERT_EQ(s.Index(), ref.index) << fs << " " << divider << " t=" << x;
        ASSERT_EQ(s.StepMod(), ref.mod);
        // Read only now and then: the value must not depend on when it is read.
        if (static_cast<int64_t>(x * 977.0) % 3 == 0) {
          ASSERT_EQ(s.SmoothedMod(), smoothed) << x;
        }
      }
      // A value left unread survives a new length and a restart.
      t = times.back() + 0.3 * length;
      const double last = ref.Tick(t, length, 5);
      s.Tick(t, 0, false);
      s.LoadFromParameters(5, 0, divider * 2.0, ratios, shapes, mods);
      s.Restart();
      EXPECT_EQ(s.SmoothedMod(), last);
    }
  }
}

TEST(StepSequenceTest, HeldNoteListKeepsFifteenKeysInPitchOrder) {
  HeldNoteList held;
  for (int n = 54; n >= 40; --n) held.Add(n);
  held.Add(30);  // the sixteenth key is ignored, and so is its release
  held.Remove(30);
  EXPECT_EQ(held.Count(), 15);
  EXPECT_EQ(held.Note(0), 40);
  EXPECT_DOUBLE_EQ(held.Ratio(0), std::pow(2.0, -14.0 / 12.0));
  held.Remove(45);
  EXPECT_EQ(held.Count(), 14);
  EXPECT_EQ(held.Note(5), 46);
}

}  // namespace
}  // namespace morvanta
