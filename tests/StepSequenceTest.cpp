// StepSequence clocking, loop start, LIVE ARP patterns from the held keys,
// and the HeldNoteList.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/HeldNoteList.h"
#include "engine/StepSequence.h"

namespace morvanta {
namespace {

constexpr double kT = 0.125;  // divider 16

struct Rows {
  double ratios[16], shapes[16], mods[16];
  Rows() {
    for (int k = 0; k < 16; ++k) {
      ratios[k] = k + 1.0;  // ratio names the step: step k has ratio k + 1
      shapes[k] = 0.0;
      mods[k] = 0.0;
    }
  }
};

// The step index entered at each step boundary over `steps` steps.
std::vector<int> Indices(StepSequence& s, int steps) {
  std::vector<int> out;
  for (int i = 0; i < steps; ++i) {
    s.Tick((i + 0.5) * kT, 0, false);
    out.push_back(s.Index());
  }
  return out;
}

TEST(StepSequenceTest, LoopStartReturnsAfterTheLastStep) {
  Rows r;
  StepSequence s;
  s.SetOn(true);
  s.LoadFromParameters(8, 4, 16.0, r.ratios, r.shapes, r.mods);
  s.Restart();
  EXPECT_EQ(Indices(s, 14), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5}));
  EXPECT_DOUBLE_EQ(s.Ratio(), 6.0);

  StepSequence late;  // a loop start at or past the count behaves as the last step
  late.SetOn(true);
  late.LoadFromParameters(3, 9, 16.0, r.ratios, r.shapes, r.mods);
  late.Restart();
  EXPECT_EQ(Indices(late, 6), (std::vector<int>{0, 1, 2, 2, 2, 2}));
}

TEST(StepSequenceTest, OffLeavesRatioOneBaseShapeAndNoMod) {
  Rows r;
  r.shapes[0] = 2;
  r.mods[0] = 0.7;
  StepSequence s;
  s.SetOn(false);
  s.LoadFromParameters(4, 0, 16.0, r.ratios, r.shapes, r.mods);
  s.Restart();
  s.Tick(0.0, 3, false);
  EXPECT_DOUBLE_EQ(s.Ratio(), 1.0);
  EXPECT_EQ(s.Shape(), 3);
  EXPECT_DOUBLE_EQ(s.StepMod(), 0.0);
}

TEST(StepSequenceTest, ShapeOffsetsWrapAndModsGlide) {
  Rows r;
  r.shapes[0] = 4;
  r.mods[0] = 0.5;
  r.mods[1] = -0.5;
  StepSequence s;
  s.SetOn(true);
  s.LoadFromParameters(2, 0, 16.0, r.ratios, r.shapes, r.mods);
  s.Restart();
  s.Tick(0.0, 3, false);
  EXPECT_EQ(s.Shape(), 2);  // (4 + 3) mod 5: SAW + 4 gives SQUARE
  EXPECT_DOUBLE_EQ(s.StepMod(), 0.5);
  // Quarter into step 1: previous 0.5 -> -0.5, a quarter of the way.
  s.Tick(1.25 * kT, 3, false);
  EXPECT_DOUBLE_EQ(s.StepMod(), -0.5);
  EXPECT_NEAR(s.SmoothedMod(), 0.25, 1e-12);
}

TEST(StepSequenceTest, DividerSetsTheStepLength) {
  Rows r;
  StepSequence s;
  s.LoadFromParameters(16, 0, 1.0, r.ratios, r.shapes, r.mods);
  EXPECT_DOUBLE_EQ(s.StepLength(), 2.0);
  s.LoadFromParameters(16, 0, 128.0, r.ratios, r.shapes, r.mods);
  EXPECT_DOUBLE_EQ(s.StepLength(), 0.015625);
}

double Semis(double ratio) { return std::round(12.0 * std::log2(ratio)); }

std::vector<double> LivePattern(const HeldNoteList& held, int direction, int steps) {
  double shapes[16] = {}, mods[16] = {};
  StepSequence s;
  s.SetOn(true);
  s.Restart();
  std::vector<double> out;
  for (int i = 0; i < steps; ++i) {
    s.LoadFromHeldNotes(held, direction, 16.0, shapes, mods);
    s.Tick((i + 0.5) * kT, 0, false);
    out.push_back(Semis(s.Ratio()));
  }
  return out;
}

TEST(StepSequenceTest, LiveArpDirections) {
  HeldNoteList held;
  for (int n : {64, 60, 67}) held.Add(n);  // base 64: ratios for 60, 64, 67 = -4, 0, +3
  EXPECT_EQ(LivePattern(held, 0, 6), (std::vector<double>{-4, 0, 3, -4, 0, 3}));
  EXPECT_EQ(LivePattern(held, 1, 6), (std::vector<double>{3, 0, -4, 3, 0, -4}));
  EXPECT_EQ(LivePattern(held, 2, 8), (std::vector<double>{-4, 0, 3, 0, -4, 0, 3, 0}));
  EXPECT_EQ(LivePattern(held, 3, 8), (std::vector<double>{3, 0, -4, 0, 3, 0, -4, 0}));
}

TEST(StepSequenceTest, OneHeldKeyPlaysRatioOneWithoutRetrigger) {
  HeldNoteList held;
  held.Add(50);
  EXPECT_EQ(LivePattern(held, 2, 4), (std::vector<double>{0, 0, 0, 0}));
}

TEST(StepSequenceTest, ReleaseHoldKeepsTheLastStepWithNoKeys) {
  HeldNoteList held;
  held.Add(60);
  held.Add(67);
  double shapes[16] = {2, 2}, mods[16] = {};
  StepSequence s;
  s.SetOn(true);
  s.Restart();
  s.LoadFromHeldNotes(held, 0, 16.0, shapes, mods);
  s.Tick(0.5 * kT, 0, false);
  s.Tick(1.5 * kT, 0, false);  // the second step plays 67
  held.Clear();
  s.LoadFromHeldNotes(held, 0, 16.0, shapes, mods);
  s.Tick(2.5 * kT, 0, true);
  EXPECT_EQ(Semis(s.Ratio()), 7);
  EXPECT_EQ(s.Shape(), 2);
  s.Tick(3.5 * kT, 0, false);  // without the flag: ratio 1 and the base shape
  EXPECT_DOUBLE_EQ(s.Ratio(), 1.0);
  EXPECT_EQ(s.Shape(), 0);
}

TEST(HeldNoteListTest, OrderCapacityAndRemoval) {
  HeldNoteList held;
  for (int n = 40; n < 55; ++n) held.Add(n);
  EXPECT_EQ(held.Count(), 15);
  held.Add(30);  // the sixteenth key is ignored
  EXPECT_EQ(held.Count(), 15);
  EXPECT_EQ(held.Note(0), 40);
  held.Remove(30);  // ... and its release removes nothing
  EXPECT_EQ(held.Count(), 15);
  held.Remove(45);
  EXPECT_EQ(held.Count(), 14);
  EXPECT_EQ(held.Note(5), 46);

  HeldNoteList pair;
  pair.Add(62);
  pair.Add(50);
  pair.Add(62);  // equal ratios keep arrival order, after the first 62
  EXPECT_EQ(pair.BaseNote(), 62);
  EXPECT_EQ(pair.Note(0), 50);
  EXPECT_DOUBLE_EQ(pair.Ratio(0), 0.5);
  EXPECT_EQ(pair.Count(), 3);
}

}  // namespace
}  // namespace morvanta
