// The audition measurements on signals whose answers are known by hand, so
// that the factory preset sweep judges the programs by correct numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "tools/audition/PresetAnalysis.h"

namespace morvanta {
namespace audition {
namespace {

constexpr int kRate = 44100;

struct Signal {
  std::vector<float> left;
  std::vector<float> right;
  StereoView View() const { return {left.data(), right.data(), left.size(), kRate}; }
};

// The same sample on both channels, from a function of time in seconds.
Signal Make(double seconds, const std::function<double(double)>& f) {
  Signal s;
  const size_t n = static_cast<size_t>(seconds * kRate);
  for (size_t i = 0; i < n; ++i) {
    const float v = static_cast<float>(f(static_cast<double>(i) / kRate));
    s.left.push_back(v);
    s.right.push_back(v);
  }
  return s;
}

double Sine(double hz, double t) { return std::sin(2.0 * M_PI * hz * t); }

TEST(PresetAnalysis, LevelsCentroidAndOffsetOfASteadySine) {
  // 0.5 peak is -6.02 dBFS; its RMS 0.5 / sqrt(2) is -9.03 dBFS.
  const Signal s = Make(1.0, [](double t) { return 0.5 * Sine(1000.0, t); });
  const Metrics m = Measure(s.View(), 0.0, 1.0, 0.0);
  EXPECT_NEAR(m.peakDb, -6.02, 0.05);
  EXPECT_NEAR(m.rmsDb, -9.03, 0.05);
  EXPECT_NEAR(m.centroidHz, 1000.0, 30.0);
  EXPECT_LT(m.dcDb, -80.0);

  // A constant 0.01 offset reads -40 dBFS.
  const Signal offset = Make(1.0, [](double t) { return 0.01 + 0.5 * Sine(1000.0, t); });
  EXPECT_NEAR(Measure(offset.View(), 0.0, 1.0, 0.0).dcDb, -40.0, 0.1);

  // A brighter sound has the higher centroid.
  const Signal bright = Make(1.0, [](double t) { return 0.5 * Sine(6000.0, t); });
  EXPECT_NEAR(Measure(bright.View(), 0.0, 1.0, 0.0).centroidHz, 6000.0, 100.0);
}

TEST(PresetAnalysis, AttackIsTheTimeToWithinThreeDecibelsOfTheTop) {
  // Amplitude rising linearly over 0.5 s from a note at 0.2 s reaches
  // 10^(-3/20) = 0.708 of its top 0.354 s after the note.
  const Signal s = Make(1.5, [](double t) {
    const double a = t < 0.2 ? 0.0 : std::min(1.0, (t - 0.2) / 0.5);
    return 0.5 * a * Sine(500.0, t);
  });
  EXPECT_NEAR(Measure(s.View(), 0.2, 1.5, 0.0).attackSeconds, 0.354, 0.012);
}

TEST(PresetAnalysis, DecayIsTheTimeFromReleaseToStayingBelowMinusSixtyDecibels) {
  // 0.5 * exp(-t / 0.1) falls to 0.001 (-60 dBFS) after 0.1 * ln(500) = 0.621 s.
  const Signal s = Make(3.0, [](double t) {
    const double a = t < 1.0 ? 0.5 : 0.5 * std::exp(-(t - 1.0) / 0.1);
    return a * Sine(440.0, t);
  });
  EXPECT_NEAR(Measure(s.View(), 0.0, 1.0, 2.0).decaySeconds, 0.621, 0.01);

  // Still sounding when the tail ran out: no decay within it.
  const Signal held = Make(3.0, [](double t) { return 0.5 * Sine(440.0, t); });
  EXPECT_EQ(Measure(held.View(), 0.0, 1.0, 2.0).decaySeconds,
            std::numeric_limits<double>::infinity());

  // A render that stopped early because the output went quiet decayed at once.
  const Signal cut = Make(1.0, [](double t) { return 0.5 * Sine(440.0, t); });
  EXPECT_NEAR(Measure(cut.View(), 0.0, 1.0, 2.0).decaySeconds, 0.0, 1e-3);
}

TEST(PresetAnalysis, FingerprintsIgnoreLevelButNotSpectrumOrShape) {
  const Signal a = Make(1.0, [](double t) { return 0.5 * Sine(1000.0, t); });
  const Signal quieter = Make(1.0, [](double t) { return 0.1 * Sine(1000.0, t); });
  const Signal higher = Make(1.0, [](double t) { return 0.5 * Sine(4000.0, t); });
  const Signal shorter = Make(1.0, [](double t) { return t < 0.3 ? 0.5 * Sine(1000.0, t) : 0.0; });
  auto print = [](const Signal& s) { return MakeFingerprint(ComputeSpectrogram(s.View()), 1.0); };
  EXPECT_LT(FingerprintDistance(print(a), print(quieter)), 0.1);
  EXPECT_GT(FingerprintDistance(print(a), print(higher)), 10.0);
  EXPECT_GT(FingerprintDistance(print(a), print(shorter)), 10.0);
}

TEST(PresetAnalysis, SpectrogramReadsAFullScaleSineAsZeroDecibels) {
  const Signal s = Make(0.5, [](double t) { return Sine(1000.0, t); });
  const Spectrogram g = ComputeSpectrogram(s.View());
  ASSERT_GT(g.columns, 2);
  const int bin = static_cast<int>(std::lround(1000.0 / g.binHz));
  EXPECT_NEAR(g.At(1, bin), 0.0, 1.5);  // the Hann window's scalloping is at most 1.4 dB
  EXPECT_LT(g.At(1, bin * 3), -60.0);
}

TEST(PresetAnalysis, MedianOfOddAndEvenCounts) {
  EXPECT_EQ(Median({3.0, 1.0, 2.0}), 2.0);
  EXPECT_EQ(Median({4.0, 1.0, 3.0, 2.0}), 2.5);
  EXPECT_EQ(Median({}), 0.0);
}

}  // namespace
}  // namespace audition
}  // namespace morvanta
