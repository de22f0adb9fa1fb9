// ModDelayLine: the zero-length bypass, triangle modulation at depth 0,
// reads after a sample-rate drop, and four sine lines run side by side on
// every vector target against the same lines one sample at a time.
#include "dsp/ModDelayLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dsp/SimdDispatch.h"

namespace morvanta {
namespace {

void Settle(ModDelayLine& line) {
  for (int n = 0; n < 44100; ++n) line.ProcessPlain(0.0);
}

TEST(ModDelayLineTest, PlainLineOfLengthZeroPassesTheInput) {
  ModDelayLine line;
  line.SetOutputGain(0.5);
  line.SetDelayTarget(1.0);
  Settle(line);
  line.SetDelayTarget(0.0);
  Settle(line);
  ASSERT_EQ(line.DelayLength(), 0.0);
  EXPECT_EQ(line.ProcessPlain(0.8), 0.4);  // output gain * x
}

TEST(ModDelayLineTest, TriangleWithDepthZeroKeepsFactorOne) {
  ModDelayLine line;
  line.SetModDepth(0.0);
  line.SetModRate(0.001);
  for (int n = 0; n < 1000; ++n) {
    line.ProcessTriangle(n % 3 == 0 ? 0.5 : -0.25);
    ASSERT_EQ(line.ModFactor(), 1.0) << n;
  }
}

TEST(ModDelayLineTest, LengthBeyondBufferAfterRateDropStaysInside) {
  ModDelayLine line;
  line.SetSampleRate(192000.0f, false);
  EXPECT_EQ(line.BufferLength(), 96000);  // half a second
  line.SetModDepth(0.5);
  line.SetModRate(0.001);
  line.SetDelayTarget(95000.0);
  for (int n = 0; n < 200000; ++n) line.ProcessTriangle(0.0);
  // The buffer shrinks to 22050 while the length (times a factor up to 1.5)
  // still points far further back.
  line.SetSampleRate(44100.0f, false);
  for (int n = 0; n < 50000; ++n) {
    const double a = line.ProcessTriangle(std::sin(n * 0.01));
    const double b = line.ProcessSine(std::cos(n * 0.01));
    const double c = line.ProcessPlain(1.0);
    ASSERT_TRUE(std::isfinite(a + b + c)) << n;
  }
}

TEST(ModDelayLineTest, AbsurdRateGetsABoundedBuffer) {
  ModDelayLine line;
  ASSERT_TRUE(line.Reserve(1e7f));  // half a second would be 5 million samples
  line.SetSampleRate(1e7f, false);
  EXPECT_EQ(line.BufferLength(), ModDelayLine::kMaxBufferLength);
  line.SetDelayTarget(3e6);
  for (int n = 0; n < 1000; ++n) ASSERT_TRUE(std::isfinite(line.ProcessSine(1.0)));
}

// Each variant, filled with a second of signal and cleared, is silent on
// silence; an impulse then comes back at the line's length and not before,
// and the clear itself left the buffer's memory as it was.
TEST(ModDelayLineTest, ClearSilencesEveryVariantWithoutTouchingTheBuffer) {
  using Variant = std::function<double(ModDelayLine&, double)>;
  const Variant variants[] = {[](ModDelayLine& l, double x) { return l.ProcessPlain(x); },
                              [](ModDelayLine& l, double x) { return l.ProcessTriangle(x); },
                              [](ModDelayLine& l, double x) { return l.ProcessSine(x); }};
  for (int v = 0; v < 3; ++v) {
    ModDelayLine line;
    line.SetModDepth(0.0);
    for (int n = 0; n < 44100; ++n) variants[v](line, std::sin(n * 0.05) + 0.3);
    const DelayBuffer& b = line.Buffer();
    const std::vector<double> before(b.Raw(), b.Raw() + b.Capacity());
    line.Clear();
    EXPECT_EQ(std::memcmp(before.data(), b.Raw(), before.size() * sizeof(double)), 0) << v;
    EXPECT_EQ(b.WrittenSinceClear(), 0) << v;
    for (int n = 0; n < 30000; ++n) ASSERT_EQ(variants[v](line, 0.0), 0.0) << v << " " << n;
    variants[v](line, 1.0);
    const int length = static_cast<int>(line.DelayLength());
    for (int n = 1; n < length - 1; ++n) ASSERT_EQ(variants[v](line, 0.0), 0.0) << v << " " << n;
    double echo = 0.0;
    for (int n = 0; n < 4; ++n) echo += std::fabs(variants[v](line, 0.0));
    EXPECT_GT(echo, 0.0) << v;
  }
}

// Four lines with different lengths, feedbacks, depths and rates (one so
// fast that its modulation angle soon passes the sine's polynomial range),
// retargeted mid-run so that they glide at different times, one of them
// cleared, at a second rate; long enough that every buffer fills again after
// the clear and the write indices then wrap inside a block. Every output and
// the end state must match the scalar variant bit for bit.
TEST(ModDelayLineTest, FourLinesSideBySideMatchTheScalarVariantOnEveryTarget) {
  struct BestTargetAfterwards {
    ~BestTargetAfterwards() { ForceSimdTarget(""); }
  } restore;
  struct Setup {
    float fs;
    double length, feedback, depth, rate, gain;
  };
  const Setup setups[4] = {{44100.0f, 485.0, 0.8, 0.21, 8.01, 0.7},
                           {44100.0f, 90.0, 0.0, 0.01, 0.01, 0.5},
                           {44100.0f, 2100.0, 0.4, 0.11, 1e15, 0.9},
                           {96000.0f, 700.0, 0.65, 0.15, 3.3, 0.6}};
  auto configure = [&](ModDelayLine& line, int k) {
    line.SetSampleRate(setups[k].fs, false);
    line.SetFeedback(setups[k].feedback);
    line.SetModDepth(setups[k].depth);
    line.SetModRate(setups[k].rate);
    line.SetOutputGain(setups[k].gain);
    line.SetDelayTarget(setups[k].length);
  };
  auto input = [](int k, int n) { return std::sin(n * (0.013 + 0.007 * k)) + (n % 97 == 0 ? 0.5 : 0.0); };
  constexpr int kSamples = 100000;

  std::vector<double> expected[4];
  std::unique_ptr<ModDelayLine> ref[4];
  for (int k = 0; k < 4; ++k) {
    ref[k] = std::make_unique<ModDelayLine>();
    configure(*ref[k], k);
    for (int n = 0; n < kSamples; ++n) {
      if (n == 9000) ref[k]->SetDelayTarget(setups[k].length * (k == 1 ? 0.5 : 1.7));
      if (n == 20000 && k == 3) ref[k]->Clear();
      expected[k].push_back(ref[k]->ProcessSine(input(k, n)));
    }
  }

  for (const std::string& target : SimdTargetsAvailable()) {
    ASSERT_TRUE(ForceSimdTarget(target)) << target;
    std::unique_ptr<ModDelayLine> line[4];
    ModDelayLine* lines[4];
    for (int k = 0; k < 4; ++k) {
      line[k] = std::make_unique<ModDelayLine>();
      lines[k] = line[k].get();
      configure(*line[k], k);
    }
    std::vector<double> in[4], out[4];
    for (int k = 0; k < 4; ++k) {
      out[k].resize(kSamples);
      for (int n = 0; n < kSamples; ++n) in[k].push_back(input(k, n));
    }
    // Blocks of uneven sizes that end exactly at the retarget and the clear.
    int n = 0, size = 1;
    while (n < kSamples) {
      const int stop = n < 9000 ? 9000 : (n < 20000 ? 20000 : kSamples);
      const int count = std::min(size, stop - n);
      if (n == 9000)
        for (int k = 0; k < 4; ++k) line[k]->SetDelayTarget(setups[k].length * (k == 1 ? 0.5 : 1.7));
      if (n == 20000) line[3]->Clear();
      const double* x[4] = {in[0].data() + n, in[1].data() + n, in[2].data() + n, in[3].data() + n};
      double* y[4] = {out[0].data() + n, out[1].data() + n, out[2].data() + n, out[3].data() + n};
      ModDelayLine::ProcessSineFour(lines, x, y, count);
      n += count;
      size = size * 3 % 509 + 1;
    }
    for (int k = 0; k < 4; ++k) {
      for (int i = 0; i < kSamples; ++i) ASSERT_EQ(out[k][i], expected[k][i]) << target << " line " << k << " at " << i;
      EXPECT_EQ(line[k]->ModFactor(), ref[k]->ModFactor()) << target << " line " << k;
      EXPECT_EQ(line[k]->DelayLength(), ref[k]->DelayLength()) << target << " line " << k;
    }
  }
}

}  // namespace
}  // namespace morvanta
