// StereoDelay: echo times of "OFFSET" and "STRAIGHT", the synchronised
// period, the drive bypass, the faded glide, lengths at the limits and a
// loop that never amplifies its own echoes.
#include "dsp/StereoDelay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsp/SimdDispatch.h"

#include "support/EffectSignals.h"

namespace morvanta {
namespace {

// One host block through the delay, whole or one frame at a time; its frames
// (left, right) are appended to out.
void ProcessAndAppend(StereoDelay& d, std::vector<double>& l, std::vector<double>& r, bool oneFrameAtATime,
                      std::vector<double>& out) {
  const int count = static_cast<int>(l.size());
  if (oneFrameAtATime)
    for (int i = 0; i < count; ++i) d.ProcessBlock(&l[i], &r[i], 1);
  else
    d.ProcessBlock(l.data(), r.data(), count);
  for (int i = 0; i < count; ++i) {
    out.push_back(l[i]);
    out.push_back(r[i]);
  }
}

ParamSnapshot Echo(int pingPong, int sync = 0, double timeMs = 100.0) {
  ParamSnapshot p;
  p.delayPingPongType = pingPong;
  p.delayTempoSync = sync;
  p.delayTime = timeMs;  // 100 ms: g = 4410 samples at 44.1 kHz
  p.delayLevel = 1.0;
  p.delayFeedback = 0.5;
  p.delayDrive = 0.0;
  p.delayWidth = 1.0;
  return p;
}

// Runs `seconds` of the delay on `in` (called per frame); returns L, R outputs.
template <class Input>
std::vector<double> RunDelay(StereoDelay& d, const ParamSnapshot& p, double fs, double tempo,
                             double seconds, Input in) {
  std::vector<double> out;
  for (int n = 0; n < static_cast<int>(seconds * fs); ++n) {
    if (n % 512 == 0) d.BlockUpdate(fs, tempo, DelaySettingsOf(p));
    double l, r;
    in(n, &l, &r);
    d.Process(l, r);
    out.push_back(l);
    out.push_back(r);
  }
  return out;
}

// Channel ch of `out` has an echo starting exactly at frame `at`, or none near it.
void ExpectEcho(const std::vector<double>& out, int ch, int at, bool present) {
  double before = 0.0, after = 0.0;
  for (int n = at - 200; n < at; ++n) before = std::max(before, std::fabs(out[2 * n + ch]));
  for (int n = at; n < at + 200; ++n) after = std::max(after, std::fabs(out[2 * n + ch]));
  EXPECT_LT(before, 1e-12) << ch << " " << at;
  if (present) {
    EXPECT_NE(out[2 * at + ch], 0.0) << ch << " " << at;
    EXPECT_GT(after, 1e-3) << ch << " " << at;
  } else {
    EXPECT_LT(after, 1e-12) << ch << " " << at;
  }
}

std::vector<double> ImpulseEchoes(const ParamSnapshot& p, double seconds) {
  StereoDelay d;
  auto silence = [](int, double* l, double* r) { *l = *r = 0.0; };
  RunDelay(d, p, 44100.0, 0.0, 1.0, silence);  // the first glide settles
  return RunDelay(d, p, 44100.0, 0.0, seconds, [](int n, double* l, double* r) { *l = *r = n == 0; });
}

TEST(StereoDelayTest, OffsetAndStraightEchoTimes) {
  const int g = 4410;
  // "OFFSET": left at g, 2g, 3g; right (pre-tap g/2, then g) at 1.5g, 2.5g.
  const std::vector<double> o = ImpulseEchoes(Echo(StereoDelay::kOffset), 0.4);
  for (int k : {2, 4, 6}) ExpectEcho(o, 0, k * g / 2, true);
  for (int k : {3, 5}) ExpectEcho(o, 1, k * g / 2, true);
  ExpectEcho(o, 0, 3 * g / 2, false);
  ExpectEcho(o, 1, g, false);
  // "STRAIGHT": left at 2g, 4g; right at g (the pre-tap's tap), 3g, 5g.
  const std::vector<double> s = ImpulseEchoes(Echo(StereoDelay::kStraight), 0.6);
  for (int k : {2, 4}) ExpectEcho(s, 0, k * g, true);
  for (int k : {1, 3, 5}) ExpectEcho(s, 1, k * g, true);
  for (int k : {1, 3}) ExpectEcho(s, 0, k * g, false);
  ExpectEcho(s, 1, 2 * g, false);
}

TEST(StereoDelayTest, ThreeEighthsAt120BeatsPerMinute) {
  // Index int((657 - 20) / 980 * 10) = 6, "3/8"; beat 22050: g = 2 * 22050 * 3/8.
  EXPECT_DOUBLE_EQ(StereoDelay::Period(657.0, true, 44100.0, 120.0), 16537.5);
  StereoDelay d;
  auto silence = [](int, double* l, double* r) { *l = *r = 0.0; };
  RunDelay(d, Echo(StereoDelay::kOffset, 1, 657.0), 44100.0, 120.0, 1.0, silence);
  EXPECT_EQ(d.Left().DelayLength(), 16537);
  EXPECT_EQ(d.PreTap().DelayLength(), 8268);  // half of it
}

TEST(StereoDelayTest, SyncWithoutTempoIsSilent) {
  for (double tempo : {0.0, -5.0, std::nan(""), double(INFINITY)}) {
    StereoDelay d;
    test::TestNoise noise;
    std::vector<double> in;
    const std::vector<double> out = RunDelay(d, Echo(StereoDelay::kStraight, 1), 44100.0, tempo, 2.0,
                                        [&](int, double* l, double* r) {
                                          *l = noise.Next();
                                          *r = noise.Next();
                                          in.push_back(*l);
                                          in.push_back(*r);
                                        });
    EXPECT_EQ(out, in) << tempo;
  }
}

TEST(StereoDelayTest, LengthsStayInsideTheBuffer) {
  struct Case {
    double fs, tempo, time;
    int sync, pingPong;
  } cases[] = {
      {44100.0, 20.0, 1000.0, 1, StereoDelay::kStraight},  // 2g = 529200
      {44100.0, 10.0, 1000.0, 1, StereoDelay::kOffset},    // g capped at the buffer, 352800
      {192000.0, 0.0, 1000.0, 0, StereoDelay::kStraight},  // 2g = 384000
      {44100.0, 1e9, 20.0, 1, StereoDelay::kOffset},       // g far below one sample
  };
  for (const Case& c : cases) {
    StereoDelay d;
    test::TestNoise noise;
    const std::vector<double> out = RunDelay(d, Echo(c.pingPong, c.sync, c.time), c.fs, c.tempo, 1.0,
                                        [&](int, double* l, double* r) { *l = *r = noise.Next(); });
    for (double v : out) ASSERT_TRUE(std::isfinite(v));
    for (const DelayUnit* u : {&d.Left(), &d.PreTap(), &d.Right()}) {
      // Each unit inside its own store: the pre-tap keeps half the others'.
      EXPECT_LT(u->DelayLength(), u->Buffer().Length()) << c.fs << " " << c.tempo;
      EXPECT_GE(u->DelayLength(), 1) << c.fs << " " << c.tempo;
    }
    EXPECT_EQ(d.PreTap().Buffer().Length(), DelayUnit::kBufferLength / 2 + 1);
    EXPECT_EQ(d.Left().Buffer().Length(), DelayUnit::kBufferLength);
    if (c.pingPong == StereoDelay::kStraight) {  // the longest pattern that fits keeps its shape
      EXPECT_NEAR(d.Left().DelayLength(), 2 * d.PreTap().DelayLength(), 1.0);
    }
  }
}

TEST(StereoDelayTest, DriveZeroIsLinear) {
  // Drive 0 gives the clipped term weight 0: twice the input, exactly twice the output.
  ParamSnapshot p = Echo(StereoDelay::kOffset);
  p.delayFeedback = 1.0;
  StereoDelay a, b;
  test::TestNoise na, nb;
  auto once = [&](int, double* l, double* r) { *l = *r = 4 * na.Next(); };
  auto twice = [&](int, double* l, double* r) { *l = *r = 8 * nb.Next(); };
  const std::vector<double> ya = RunDelay(a, p, 44100.0, 0.0, 2.0, once);
  const std::vector<double> yb = RunDelay(b, p, 44100.0, 0.0, 2.0, twice);
  for (size_t i = 0; i < ya.size(); ++i) ASSERT_EQ(2 * ya[i], yb[i]) << i;
}

TEST(StereoDelayTest, TimeChangeFadesToSilenceAtMidGlide) {
  DelayUnit u;
  u.SetSampleRate(44100.0);
  u.SetColourAndDrive(0.0, 0.5);
  u.SetFeedback(0.0);
  u.SetOutputLevel(1.0);
  u.SetTime(4410.0);
  double steady = 0.0;
  for (int n = 0; n < 44100; ++n) steady = u.Process(1.0);
  EXPECT_NEAR(steady, 0.208, 1e-4);  // colour 0.5, drive 0: DC leaves as 0.8 * 0.26
  u.SetTime(17640.0);
  std::vector<double> out(60000);
  for (double& y : out) y = u.Process(1.0);
  // The write at the glide's middle (8269 of 16537.5 samples) is read 17640 later.
  const int mid = 8269 + 17640;
  double quietest = steady, jump = 0.0;
  for (int n = mid - 100; n <= mid + 100; ++n) quietest = std::min(quietest, std::fabs(out[n]));
  for (int n = 1; n < 60000; ++n) jump = std::max(jump, std::fabs(out[n] - out[n - 1]));
  EXPECT_LT(quietest, 0.01 * steady);
  EXPECT_LT(jump, 0.01 * steady);  // a smooth V, no zipper
  EXPECT_NEAR(out.back(), steady, 1e-4);
}

// Peak of |L| + |R| over frames [from, to) of an interleaved output.
double PeakOf(const std::vector<double>& out, int from, int to) {
  double peak = 0.0;
  for (int n = from; n < to; ++n) peak = std::max(peak, std::fabs(out[2 * n]) + std::fabs(out[2 * n + 1]));
  return peak;
}

TEST(StereoDelayTest, FullFeedbackEchoesDieAwayAtEveryColour) {
  // Colour 0, drive 0, 20 ms: feedback (1 + 0.3 * 0.98^2) = 1.288 and the colour
  // section peaks near 485 Hz at |C| = 3.03, so the loop returned 0.26 * 1.288 *
  // 3.03 = 1.015 of every echo and grew without end.
  ParamSnapshot p = Echo(StereoDelay::kOffset, 0, 20.0);
  p.delayFeedback = 1.0;
  p.delayColor = 0.0;
  StereoDelay d;
  test::TestNoise noise;
  const std::vector<double> out = RunDelay(d, p, 44100.0, 0.0, 12.0, [&](int n, double* l, double* r) {
    *l = *r = n < 22050 ? 0.5 * noise.Next() : 0.0;
  });
  EXPECT_LT(PeakOf(out, 11 * 44100, 12 * 44100), PeakOf(out, 44100, 2 * 44100));
  EXPECT_LT(d.Left().LoopFeedback(), d.Left().Feedback());
  // Colour 0.5 peaks at |C| = 2.49: 0.26 * 1.288 * 2.49 = 0.83, the feedback stays as set.
  p.delayColor = 0.5;
  StereoDelay e;
  RunDelay(e, p, 44100.0, 0.0, 0.1, [](int, double* l, double* r) { *l = *r = 0.0; });
  EXPECT_EQ(e.Left().LoopFeedback(), e.Left().Feedback());
}

TEST(StereoDelayTest, FirstGlideStartsFromTheUnitsOwnLength) {
  // From the idle ramp's 0 the loop ran through lengths of a few samples with
  // the drive's term feeding back: this noise of 0.5 came out with peaks of
  // 1e11 at 48 kHz before the clipper caught up.
  ParamSnapshot p = Echo(StereoDelay::kOffset, 0, 20.0);
  p.delayFeedback = p.delayColor = p.delayDrive = 1.0;
  StereoDelay d;
  test::TestNoise noise(12730u);
  const std::vector<double> out = RunDelay(d, p, 48000.0, 0.0, 1.0, [&](int, double* l, double* r) {
    *l = 0.5 * noise.Next();
    *r = -*l;
  });
  EXPECT_LT(PeakOf(out, 0, 48000), 20.0);
  // 0.8 s (35280 samples) down to 20 ms at 48 kHz (960).
  EXPECT_EQ(d.Left().Ramp().start, 35280.0);
  EXPECT_EQ(d.Left().Ramp().target, 960.0);
}

// A cleared unit reads silence from its whole eight seconds at once, with
// its memory untouched: no stale echo returns later.
TEST(StereoDelayTest, ClearedUnitIsSilentWithoutTouchingItsBuffer) {
  DelayUnit unit;
  unit.SetSampleRate(44100.0);
  unit.SetFeedback(0.5);
  unit.SetOutputLevel(1.0);
  unit.SetColourAndDrive(0.0, 0.5);
  unit.SetTime(1000.0);
  for (int n = 0; n < 400000; ++n) unit.Process(std::sin(n * 0.01));
  const DelayBuffer& b = unit.Buffer();
  const std::vector<double> before(b.Raw(), b.Raw() + b.Capacity());
  unit.Clear();
  EXPECT_EQ(std::memcmp(before.data(), b.Raw(), before.size() * sizeof(double)), 0);
  for (int n = 0; n < DelayUnit::kBufferLength + 1000; ++n) ASSERT_EQ(unit.Process(0.0), 0.0f) << n;
}

// The bus runs the units side by side in vector lanes over blocks; one frame
// at a time they run in their own scalar steps. Through glides (the first
// one, a retarget mid-glide, one to the shortest time), feedback at the
// ceiling, tempo sync with and without a tempo, colour and drive changes,
// both ping-pong types, an input large enough to clip hard and a clear, both
// must give the same samples bit for bit on every target.
TEST(StereoDelayTest, BlocksInLanesMatchSingleFramesOnEveryTarget) {
  struct BestTargetAfterwards {
    ~BestTargetAfterwards() { ForceSimdTarget(""); }
  } restore;
  struct Stage {
    int from;
    double tempo;
    DelaySettings p;
  };
  auto settings = [](double time, double feedback, double colour, double drive, int pingPong, int sync,
                     double width) {
    DelaySettings p;
    p.timeMs = time;
    p.level = 0.8;
    p.feedback = feedback;
    p.colour = colour;
    p.drive = drive;
    p.pingPongType = pingPong;
    p.tempoSync = sync;
    p.width = width;
    return p;
  };
  const std::vector<Stage> stages = {
      {0, 120.0, settings(30.0, 0.7, 0.5, 0.4, 0, 0, 0.65)},
      {3000, 120.0, settings(45.0, 0.7, 0.5, 0.4, 0, 0, 0.65)},   // retarget mid-glide
      {9000, 120.0, settings(20.0, 1.0, 0.0, 0.0, 0, 0, -0.3)},   // feedback held at the ceiling
      {30000, 120.0, settings(20.0, 1.0, 1.0, 1.0, 1, 0, 1.0)},   // colour and drive at the top
      {42000, 140.0, settings(60.0, 0.9, 0.2, 0.7, 1, 1, 0.5)},   // tempo sync
      {52000, 0.0, settings(60.0, 0.9, 0.2, 0.7, 0, 1, 0.5)},     // sync without a tempo: silent
      {56000, 97.0, settings(300.0, 0.8, 0.6, 0.3, 0, 1, 0.0)},
  };
  constexpr int kFrames = 64000;
  constexpr int kClearAt = 47000;
  auto input = [&](int n, int ch) {
    double x = std::sin(n * (0.021 + 0.013 * ch)) * (1.5 + std::sin(n * 0.0007));
    // Far beyond the soft curve's range, cleared before its echo returns.
    if (n == kClearAt - 3) x = ch == 0 ? 1e160 : -1e160;
    return x;
  };
  // Host blocks of uneven sizes, each starting with the block's settings.
  auto run = [&](StereoDelay& d, double fs, bool oneFrameAtATime) {
    std::vector<double> out;
    int n = 0, size = 1, stage = 0;
    while (n < kFrames) {
      if (stage + 1 < static_cast<int>(stages.size()) && n >= stages[stage + 1].from) ++stage;
      int stop = stage + 1 < static_cast<int>(stages.size()) ? stages[stage + 1].from : kFrames;
      if (n < kClearAt) stop = std::min(stop, kClearAt);
      if (n == kClearAt) d.Clear();
      const int count = std::min(size, stop - n);
      d.BlockUpdate(fs, stages[stage].tempo, stages[stage].p);
      std::vector<double> l(count), r(count);
      for (int i = 0; i < count; ++i) {
        l[i] = input(n + i, 0);
        r[i] = input(n + i, 1);
      }
      ProcessAndAppend(d, l, r, oneFrameAtATime, out);
      n += count;
      size = size * 5 % 331 + 1;
    }
    return out;
  };
  auto bits = [](double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
  };

  // At 1 kHz the echoes come back within a block, and the lane path must
  // write each frame before the next one reads.
  for (const double fs : {44100.0, 1000.0}) {
    auto reference = std::make_unique<StereoDelay>();
    const std::vector<double> expected = run(*reference, fs, true);
    for (const std::string& target : SimdTargetsAvailable()) {
      ASSERT_TRUE(ForceSimdTarget(target)) << target;
      auto delay = std::make_unique<StereoDelay>();
      const std::vector<double> out = run(*delay, fs, false);
      ASSERT_EQ(out.size(), expected.size());
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(bits(out[i]), bits(expected[i])) << target << " " << fs << " Hz, frame " << i / 2 << " channel " << i % 2;
      const DelayUnit* units[3] = {&delay->Left(), &delay->PreTap(), &delay->Right()};
      const DelayUnit* refs[3] = {&reference->Left(), &reference->PreTap(), &reference->Right()};
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(units[k]->DelayLength(), refs[k]->DelayLength()) << target << " unit " << k;
        EXPECT_EQ(units[k]->Buffer().WriteIndex(), refs[k]->Buffer().WriteIndex()) << target << " unit " << k;
        EXPECT_EQ(units[k]->Ramp().current, refs[k]->Ramp().current) << target << " unit " << k;
      }
    }
  }
}

// A unit that holds its length reads runs of neighbouring samples: silence
// until its reads reach what was written since the last clear, then written
// samples, and past about eight seconds a full buffer. Through a clear between
// glides, the read positions wrapping at the buffer's end, blocks of uneven
// sizes and two lengthening glides whose ends fall on either frame of
// two-frame blocks (a glide's last step leaves the next read at the old
// length, and that read may open a block), the blocks must give the samples
// the single frames give, bit for bit, on every target.
TEST(StereoDelayTest, FullBuffersInLanesMatchSingleFramesOnEveryTarget) {
  struct BestTargetAfterwards {
    ~BestTargetAfterwards() { ForceSimdTarget(""); }
  } restore;
  constexpr double kFs = 44100.0;
  constexpr int kClearAt = 20000;
  constexpr int kFrames = 420000;
  constexpr int kRetimeAt = 380000;
  constexpr int kRetimeAgainAt = kRetimeAt + 20001;
  auto settings = [](double time, int pingPong) {
    DelaySettings p;
    p.timeMs = time;
    p.level = 0.8;
    p.feedback = 0.7;
    p.colour = 0.4;
    p.drive = 0.5;
    p.pingPongType = pingPong;
    p.width = 0.3;
    return p;
  };
  auto run = [&](int pingPong, bool oneFrameAtATime) {
    auto d = std::make_unique<StereoDelay>();
    std::vector<double> out;
    out.reserve(2 * kFrames);
    std::vector<double> l, r;
    int n = 0, size = 1;
    while (n < kFrames) {
      if (n == kClearAt) d->Clear();
      const int stop = n < kClearAt ? kClearAt : (n < kRetimeAt ? kRetimeAt : (n < kRetimeAgainAt ? kRetimeAgainAt : kFrames));
      const int count = std::min(n < kRetimeAt ? size : 2, stop - n);
      d->BlockUpdate(kFs, 120.0, settings(n < kRetimeAt ? 150.0 : (n < kRetimeAgainAt ? 200.0 : 260.0), pingPong));
      l.resize(count);
      r.resize(count);
      for (int i = 0; i < count; ++i) {
        l[i] = std::sin((n + i) * 0.021) * (1.0 + std::sin((n + i) * 0.0007));
        r[i] = std::sin((n + i) * 0.034);
      }
      ProcessAndAppend(*d, l, r, oneFrameAtATime, out);
      n += count;
      size = size * 7 % 389 + 1;
    }
    return out;
  };
  for (const int pingPong : {0, 1}) {
    const std::vector<double> expected = run(pingPong, true);
    for (const std::string& target : SimdTargetsAvailable()) {
      ASSERT_TRUE(ForceSimdTarget(target)) << target;
      const std::vector<double> out = run(pingPong, false);
      ASSERT_EQ(out.size(), expected.size());
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(std::memcmp(&out[i], &expected[i], sizeof(double)), 0)
            << target << " ping-pong " << pingPong << ", frame " << i / 2 << " channel " << i % 2;
    }
  }
}

// The colour section keeps its sections while drive, colour and rate stay
// the same; any change of one of them, and a change back, must retune them
// exactly as a section set up afresh.
TEST(StereoDelayTest, ColourSectionFollowsEveryChangeOfDriveColourAndRate) {
  struct Setting {
    double drive, colour, fs;
  };
  const Setting settings[] = {{0.4, 0.5, 44100.0}, {0.4, 0.5, 44100.0}, {0.4, 0.5, 96000.0}, {0.4, 0.5, 44100.0},
                              {0.0, 0.5, 44100.0}, {0.0, 1.0, 44100.0}, {0.4, 0.5, 44100.0}};
  DelayColorFilter kept;
  for (const Setting& s : settings) {
    kept.Configure(s.drive, s.colour, s.fs);
    DelayColorFilter fresh;
    fresh.Configure(s.drive, s.colour, s.fs);
    const Biquad* a[4] = {&kept.lowPass, &kept.highPass1, &kept.highPass2, &kept.allPass};
    const Biquad* b[4] = {&fresh.lowPass, &fresh.highPass1, &fresh.highPass2, &fresh.allPass};
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(a[k]->b0, b[k]->b0) << s.drive << " " << s.colour << " " << s.fs << " section " << k;
      EXPECT_EQ(a[k]->b1, b[k]->b1) << k;
      EXPECT_EQ(a[k]->b2, b[k]->b2) << k;
      EXPECT_EQ(a[k]->a1, b[k]->a1) << k;
      EXPECT_EQ(a[k]->a2, b[k]->a2) << k;
    }
  }
}

}  // namespace
}  // namespace morvanta
