// The reverb's vector kernel: the same samples as the line-by-line network on
// every SIMD target; stores sized to what each line reads back at 22.05 to
// 192 kHz; rate changes up, down and past the prepared rates without
// allocating.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "dsp/ReverbLanes.h"
#include "dsp/ReverbNetwork.h"
#include "dsp/SimdDispatch.h"
#include "support/EffectSignals.h"
#include "support/EveryTarget.h"
#include "tools/alloc/AllocationCounter.h"

namespace morvanta {
namespace {

constexpr int kLines = ReverbNetwork::kLines;

// Restores the processor's best target however a test ends.
struct BestTargetAfterwards {
  ~BestTargetAfterwards() { ForceSimdTarget(""); }
};

ReverbSettings Settings(double length, double mod) {
  ReverbSettings s;
  s.length = length;
  s.lengthFactor = 0.2 + 0.8 * length;
  s.mod = mod;
  return s;
}

// The samples whose bits differ from those expected: how many, and the first.
struct Differences {
  size_t count = 0;
  size_t first = 0;
};
Differences Compare(const std::vector<double>& got, const std::vector<double>& expected) {
  Differences d;
  for (size_t i = 0; i < got.size(); ++i) {
    if (testkit::Bits(got[i]) == testkit::Bits(expected[i])) continue;
    if (d.count++ == 0) d.first = i;
  }
  return d;
}

// Drives a fresh network through `drive` on every target and compares its
// output with `expected` bit for bit; `more` checks the network afterwards.
template <class Driver, class More>
void EveryTargetRepeats(Driver drive, const std::vector<double>& expected, More more) {
  for (const std::string& target : SimdTargetsAvailable()) {
    ASSERT_TRUE(ForceSimdTarget(target)) << target;
    auto net = std::make_unique<ReverbNetwork>();
    const std::vector<double> got = drive(*net, false);
    ASSERT_EQ(got.size(), expected.size());
    const Differences differ = Compare(got, expected);
    EXPECT_EQ(differ.count, 0u) << target << ": first at sample " << differ.first;
    more(target, net.get());
  }
}

// Runs a network through blocks of varying size with settings that start
// glides, deep fast modulation, a clear and rate changes; `scalar` picks the
// line-by-line path. Returns every output sample.
std::vector<double> Drive(ReverbNetwork& net, bool scalar) {
  test::TestNoise noise;
  std::vector<double> out;
  // Blocks of one frame, within, at and across the kernel's chunks of 64.
  const int sizes[] = {1, 7, 64, 3, 500, 65, 129};
  constexpr int kSizes = sizeof sizes / sizeof sizes[0];
  int step = 0;
  auto run = [&](int frames) {
    double inL[512], inR[512], wl[512], wr[512];
    for (int done = 0; done < frames;) {
      const int n = std::min(sizes[step++ % kSizes], frames - done);
      for (int i = 0; i < n; ++i) {
        inL[i] = noise.Next();
        inR[i] = noise.Next();
      }
      if (scalar) {
        for (int i = 0; i < n; ++i) net.ProcessScalar(inL[i], inR[i], &wl[i], &wr[i]);
      } else {
        net.ProcessBlock(inL, inR, wl, wr, n);
      }
      out.insert(out.end(), wl, wl + n);
      out.insert(out.end(), wr, wr + n);
      done += n;
    }
  };
  net.SetSampleRate(44100.0);
  net.UpdateSettings(Settings(0.3, 1.0));
  run(6000);
  net.UpdateSettings(Settings(1.0, 1.0));  // every line glides longer
  run(12000);
  net.Clear();
  run(3000);
  net.SetSampleRate(96000.0);  // lines resize and glide from the old lengths
  net.UpdateSettings(Settings(0.0, 0.6));
  run(9000);
  net.SetSampleRate(22050.0);
  net.UpdateSettings(Settings(0.8, 1.0));
  run(9000);
  // Long enough for every glide to end and every store to fill: the kernel
  // then runs its settled blocks, while the pre-delay alone glides to a
  // longer time and back.
  run(30000);
  ReverbSettings later = Settings(0.8, 1.0);
  later.preDelayBase = 0.3;
  net.UpdateSettings(later);
  run(12000);
  net.UpdateSettings(Settings(0.8, 1.0));
  run(12000);
  return out;
}

TEST(ReverbKernelTest, EveryTargetGivesTheLineByLineSamplesExactly) {
  BestTargetAfterwards restore;
  auto reference = std::make_unique<ReverbNetwork>();
  const std::vector<double> expected = Drive(*reference, true);
  double peak = 0.0;
  for (double v : expected) peak = std::max(peak, std::fabs(v));
  ASSERT_GT(peak, 0.01);  // the network really sounds
  EveryTargetRepeats(Drive, expected, [&](const std::string& target, const ReverbNetwork* net) {
    for (int side = 0; side < 2; ++side) {
      for (int i = 0; i < kLines; ++i) {
        // Every sample each line wrote, where the line-by-line network wrote it.
        const ReverbNetwork::Store kept = net->LineStore(side, i);
        const ReverbNetwork::Store want = reference->LineStore(side, i);
        ASSERT_EQ(kept.length, want.length) << target;
        int32_t differing = 0;
        for (int32_t n = 0; n < kept.length; ++n)
          differing += testkit::Bits(kept.data[n]) != testkit::Bits(want.data[n]);
        EXPECT_EQ(differing, 0) << target << " side " << side << " line " << i;
        EXPECT_EQ(net->LineStore(side, i).written, net->LineStore(side, i).length) << target;
        EXPECT_EQ(net->LineModFactor(side, i), reference->LineModFactor(side, i)) << target;
        EXPECT_EQ(net->LineDelayLength(side, i), reference->LineDelayLength(side, i)) << target;
      }
    }
  });
}

// Runs a network where its reads reach the edges the kernel's settled blocks
// are checked against: rates so low that the shortest lines read 2 samples
// back or less (the far sample wrapping to the circle, distances beyond the
// store), lengths swinging across 2 samples, and a rate beyond the room made,
// so that the longest lines' reads are held by their stores.
std::vector<double> DriveEdges(ReverbNetwork& net, bool scalar) {
  test::TestNoise noise;
  std::vector<double> out;
  auto run = [&](int frames) {
    double inL[64], inR[64], wl[64], wr[64];
    for (int done = 0; done < frames; done += 64) {
      for (int i = 0; i < 64; ++i) {
        inL[i] = noise.Next();
        inR[i] = noise.Next();
      }
      if (scalar) {
        for (int i = 0; i < 64; ++i) net.ProcessScalar(inL[i], inR[i], &wl[i], &wr[i]);
      } else {
        net.ProcessBlock(inL, inR, wl, wr, 64);
      }
      out.insert(out.end(), wl, wl + 64);
      out.insert(out.end(), wr, wr + 64);
    }
  };
  // At 2.2 kHz and length 0 the shortest lines are 3 samples long, read 2 to
  // 4 back; at 1 kHz some are 2 long, their modulation taking them either
  // side of 2; at 300 Hz some are 0 or 1 long.
  for (double fs : {2200.0, 1000.0, 300.0}) {
    net.SetSampleRate(fs);
    for (double mod : {1.0, 0.3}) {
      net.UpdateSettings(Settings(0.0, mod));
      run(static_cast<int>(fs * 4.0));
    }
    net.UpdateSettings(Settings(1.0, 1.0));
    run(static_cast<int>(fs * 2.0));
  }
  net.SetSampleRate(384000.0);  // more than the room made
  net.UpdateSettings(Settings(1.0, 1.0));
  run(288000);
  return out;
}

TEST(ReverbKernelTest, ReadsAtTheEdgesGiveTheLineByLineSamplesOnEveryTarget) {
  BestTargetAfterwards restore;
  auto reference = std::make_unique<ReverbNetwork>();
  const std::vector<double> expected = DriveEdges(*reference, true);
  EveryTargetRepeats(DriveEdges, expected, [](const std::string&, const ReverbNetwork*) {});
}

// The lines share one store: more room for one line leaves it empty and the
// others holding their samples, and no line's samples reach another's.
TEST(ReverbKernelTest, MoreRoomForOneLineKeepsTheOthersSamples) {
  auto lanes = std::make_unique<ReverbLanes>();
  constexpr int kAll = ReverbLanes::kLanes;
  int32_t want[kAll] = {};
  bool grown[kAll];
  for (int k = 0; k < kAll; ++k) want[k] = 100;
  ASSERT_TRUE(lanes->Reserve(want, grown));
  auto fill = [&](int k, int count) {
    for (int n = 1; n <= count; ++n) lanes->Push(k, k * 1000.0 + n);
  };
  for (int k = 0; k < kAll; ++k) {
    if (!ReverbLanes::Active(k)) continue;
    lanes->SetRoom(k, 100);
    fill(k, 150);
  }
  const int wider = ReverbLanes::Lane(1, 3);
  want[wider] = 5000;
  ASSERT_TRUE(lanes->Reserve(want, grown));
  for (int k = 0; k < kAll; ++k) EXPECT_EQ(grown[k], k == wider) << k;
  EXPECT_EQ(lanes->filled[wider], 0.0);
  EXPECT_EQ(lanes->At(wider, 1.0), 0.0);
  lanes->SetRoom(wider, 5000);
  fill(wider, 5000);
  EXPECT_EQ(lanes->At(wider, 5000.0), wider * 1000.0 + 1.0);
  for (int k = 0; k < kAll; ++k) {
    if (!ReverbLanes::Active(k) || k == wider) continue;
    for (int distance = 1; distance <= 100; ++distance)
      ASSERT_EQ(lanes->At(k, distance), k * 1000.0 + 151 - distance) << k << " " << distance;
  }
}

class ReverbRoomTest : public ::testing::TestWithParam<double> {};

// Each line keeps what it reads back at the longest reverb and deepest
// modulation, far less than the half second every line used to keep; at the
// longest setting the lines reach their full lengths without being held by
// their stores.
TEST_P(ReverbRoomTest, LinesHoldTheirLongestReadsAndNoMore) {
  const double fs = GetParam();
  auto net = std::make_unique<ReverbNetwork>();
  net->Reserve(fs);
  net->SetSampleRate(fs);
  const int32_t half = static_cast<int32_t>(fs * 0.5);
  long kept = 0;
  for (int side = 0; side < 2; ++side) {
    for (int i = 0; i < kLines; ++i) {
      const int32_t room = net->LineStore(side, i).length;
      EXPECT_GE(room, net->LongestRead(side, i, fs) + 1.0) << side << " " << i;
      EXPECT_LE(room, half);
      kept += room;
    }
  }
  EXPECT_LT(kept, 2 * kLines * static_cast<long>(half) * 2 / 5);

  net->UpdateSettings(Settings(1.0, 1.0));
  test::TestNoise noise;
  const int frames = static_cast<int>(fs * 0.75);  // past every glide
  std::vector<double> inL(frames), inR(frames), wl(frames), wr(frames);
  for (int n = 0; n < frames; ++n) {
    inL[n] = noise.Next();
    inR[n] = noise.Next();
  }
  net->ProcessBlock(inL.data(), inR.data(), wl.data(), wr.data(), frames);
  // The longest line on the left: its full length, read back without clamping.
  const double m = 1.0 * static_cast<double>(0.095f) * 0.75 + static_cast<double>(0.005f);
  const int last = kLines - 1;
  const double k = last * (1.0 / kLines);
  EXPECT_EQ(net->LineDelayLength(0, last),
            std::floor(((0.9 * m + 0.1) * static_cast<double>(0.06461f) + m * k + 0.1 * last * m) * fs));
  for (int n = 0; n < 2000; ++n) {
    double l, r;
    net->Process(noise.Next(), noise.Next(), &l, &r);
    ASSERT_TRUE(std::isfinite(l) && std::isfinite(r));
    for (int side = 0; side < 2; ++side)
      for (int i = 0; i < kLines; ++i)
        ASSERT_LT(net->LineModFactor(side, i) * net->LineDelayLength(side, i), net->LineStore(side, i).length - 1)
            << "frame " << n << " side " << side << " line " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, ReverbRoomTest, ::testing::Values(22050.0, 44100.0, 96000.0, 192000.0));

// The host changes the rate up and down, and once past every rate prepared
// for: the lines resize within the room made outside the audio path, the
// output stays finite, nothing allocates; the room made afterwards for the
// high rate gives its lines their full length.
TEST(ReverbKernelTest, RateChangesUpDownAndPastThePreparedRatesNeverAllocate) {
  auto net = std::make_unique<ReverbNetwork>();
  net->Reserve(44100.0);
  test::TestNoise noise;
  double previous = 44100.0;
  auto play = [&](double fs) {
    alloc::CountWindow window;
    net->SetSampleRate(fs);
    net->UpdateSettings(Settings(1.0, 1.0));
    double inL[256], inR[256], wl[256], wr[256];
    for (int b = 0; b < static_cast<int>(fs * 0.6 / 256); ++b) {
      for (int i = 0; i < 256; ++i) {
        inL[i] = noise.Next();
        inR[i] = noise.Next();
      }
      net->ProcessBlock(inL, inR, wl, wr, 256);
      for (int i = 0; i < 256; ++i) ASSERT_TRUE(std::isfinite(wl[i]) && std::isfinite(wr[i])) << fs;
      // Within the prepared rates no read, not even one gliding from a
      // length set at the old rate, is held by a line's store short of the
      // half second the lines always held their reads to.
      if (fs > ModDelayLine::kPreparedRate || previous > ModDelayLine::kPreparedRate) continue;
      for (int side = 0; side < 2; ++side) {
        for (int i = 0; i < kLines; ++i) {
          const int32_t room = net->LineStore(side, i).length;
          if (room == static_cast<int32_t>(fs * 0.5)) continue;
          ASSERT_LT(net->LineModFactor(side, i) * net->LineDelayLength(side, i), room - 1)
              << "block " << b << " side " << side << " line " << i;
        }
      }
    }
    EXPECT_EQ(window.Count(), 0) << fs;
    previous = fs;
  };
  for (double fs : {96000.0, 22050.0, 192000.0, 44100.0, 384000.0, 48000.0}) {
    SCOPED_TRACE(fs);
    play(fs);
    for (int side = 0; side < 2; ++side)
      for (int i = 0; i < kLines; ++i) ASSERT_LE(net->LineStore(side, i).length, net->LineStore(side, i).capacity);
  }
  // Past the prepared rates the longest lines are held by their stores.
  net->SetSampleRate(384000.0);
  EXPECT_LT(net->LineStore(0, kLines - 1).length, ReverbNetwork::LineRoom(0, kLines - 1, 384000.0));
  net->Reserve(384000.0);  // outside the audio path
  net->SetSampleRate(48000.0);
  net->SetSampleRate(384000.0);
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < kLines; ++i) EXPECT_GE(net->LineStore(side, i).length, ReverbNetwork::LineRoom(side, i, 384000.0));
  play(384000.0);
}

}  // namespace
}  // namespace morvanta
