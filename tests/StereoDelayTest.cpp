// StereoDelay: echo times of "STRAIGHT" and "OFFSET", tempo-synchronised
// periods, the drive bypass, the faded time glide and lengths at the limits.
#include "dsp/StereoDelay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/EffectSignals.h"

namespace morvanta {
namespace {

ParamSnapshot EchoSettings(int pingPong) {
  ParamSnapshot p;
  p.delayOn = 1;
  p.delayPingPongType = pingPong;
  p.delayTempoSync = 0;
  p.delayTime = 100.0;  // g = 4410 samples at 44.1 kHz
  p.delayLevel = 1.0;
  p.delayFeedback = 0.5;
  p.delayColor = 0.5;
  p.delayDrive = 0.0;
  p.delayWidth = 1.0;
  return p;
}

// Lets the first glide finish, then records the echoes (output minus input)
// of one impulse on both channels.
void RecordEchoes(StereoDelay& d, const ParamSnapshot& p, double fs, double tempo, int frames,
                  std::vector<double>* outL, std::vector<double>* outR) {
  for (int b = 0; b < 100; ++b) {
    d.BlockUpdate(fs, tempo, p);
    for (int n = 0; n < 512; ++n) {
      double l = 0.0, r = 0.0;
      d.Process(l, r);
    }
  }
  outL->assign(frames, 0.0);
  outR->assign(frames, 0.0);
  for (int n = 0; n < frames; ++n) {
    if (n % 512 == 0) d.BlockUpdate(fs, tempo, p);
    const double x = n == 0 ? 1.0 : 0.0;
    double l = x, r = x;
    d.Process(l, r);
    (*outL)[n] = l - x;
    (*outR)[n] = r - x;
  }
}

double PeakIn(const std::vector<double>& v, int from, int to) {
  double m = 0.0;
  for (int n = from; n < to; ++n) m = std::max(m, std::fabs(v[n]));
  return m;
}

// An echo starts exactly at `at`: quiet just before, clearly there after.
void ExpectEchoAt(const std::vector<double>& v, int at, const char* side) {
  EXPECT_LT(PeakIn(v, at - 200, at), 1e-12) << side << " before " << at;
  EXPECT_NE(v[at], 0.0) << side << " at " << at;
  EXPECT_GT(PeakIn(v, at, at + 200), 1e-3) << side << " after " << at;
}

void ExpectNoEchoAround(const std::vector<double>& v, int at, const char* side) {
  EXPECT_LT(PeakIn(v, at - 200, at + 200), 1e-12) << side << " around " << at;
}

TEST(StereoDelayTest, OffsetEchoesLeftEveryPeriodRightHalfAPeriodLater) {
  StereoDelay d;
  std::vector<double> l, r;
  RecordEchoes(d, EchoSettings(StereoDelay::kOffset), 44100.0, 0.0, 4 * 4410, &l, &r);
  const int g = 4410;
  ExpectEchoAt(l, g, "left");
  ExpectEchoAt(l, 2 * g, "left");
  ExpectEchoAt(l, 3 * g, "left");
  ExpectEchoAt(r, 3 * g / 2, "right");  // pre-tap g/2, then the right unit's g
  ExpectEchoAt(r, 5 * g / 2, "right");
  ExpectNoEchoAround(l, 3 * g / 2, "left");
  ExpectNoEchoAround(r, g, "right");
}

TEST(StereoDelayTest, StraightEchoesLeftEveryTwoPeriodsRightInBetween) {
  StereoDelay d;
  std::vector<double> l, r;
  RecordEchoes(d, EchoSettings(StereoDelay::kStraight), 44100.0, 0.0, 6 * 4410, &l, &r);
  const int g = 4410;
  ExpectEchoAt(r, g, "right");  // the pre-tap's half-level tap
  ExpectEchoAt(l, 2 * g, "left");
  ExpectEchoAt(r, 3 * g, "right");
  ExpectEchoAt(l, 4 * g, "left");
  ExpectEchoAt(r, 5 * g, "right");
  ExpectNoEchoAround(l, g, "left");
  ExpectNoEchoAround(r, 2 * g, "right");
  ExpectNoEchoAround(l, 3 * g, "left");
}

TEST(StereoDelayTest, WidthZeroPutsBothEchoesInTheMiddle) {
  StereoDelay d;
  ParamSnapshot p = EchoSettings(StereoDelay::kOffset);
  p.delayWidth = 0.0;
  std::vector<double> l, r;
  RecordEchoes(d, p, 44100.0, 0.0, 3 * 4410, &l, &r);
  for (int n = 0; n < 3 * 4410; ++n) ASSERT_EQ(l[n], r[n]) << n;
  ExpectEchoAt(l, 4410, "left");
  ExpectEchoAt(l, 6615, "left");
}

TEST(StereoDelayTest, ThreeEighthsAt120BeatsPerMinute) {
  // Index int((657 - 20) / 980 * 10) = 6 ("3/8"); beat 22050: g = 2 * 22050 * 3/8.
  EXPECT_DOUBLE_EQ(StereoDelay::Period(657.0, true, 44100.0, 120.0), 16537.5);
  EXPECT_DOUBLE_EQ(StereoDelay::Period(1000.0, true, 44100.0, 120.0), 44100.0);  // "1/1"
  EXPECT_DOUBLE_EQ(StereoDelay::Period(20.0, true, 44100.0, 120.0), 1378.125);   // "1/32"
  EXPECT_DOUBLE_EQ(StereoDelay::Period(250.0, false, 44100.0, 120.0), 11025.0);  // free

  StereoDelay d;
  ParamSnapshot p = EchoSettings(StereoDelay::kOffset);
  p.delayTempoSync = 1;
  p.delayTime = 657.0;
  std::vector<double> l, r;
  RecordEchoes(d, p, 44100.0, 120.0, 100, &l, &r);
  EXPECT_EQ(d.Left().DelayLength(), 16537);
  EXPECT_EQ(d.PreTap().DelayLength(), 8268);  // half of it
}

TEST(StereoDelayTest, SyncWithoutTempoIsSilentAndFinite) {
  for (double tempo : {0.0, -5.0, std::nan(""), double(INFINITY)}) {
    StereoDelay d;
    ParamSnapshot p = EchoSettings(StereoDelay::kStraight);
    p.delayTempoSync = 1;
    test::TestNoise noise;
    for (int b = 0; b < 200; ++b) {
      d.BlockUpdate(44100.0, tempo, p);
      for (int n = 0; n < 512; ++n) {
        const double x = noise.Next(), y = noise.Next();
        double l = x, r = y;
        d.Process(l, r);
        ASSERT_EQ(l, x) << tempo;
        ASSERT_EQ(r, y) << tempo;
      }
    }
    for (const DelayUnit* u : {&d.Left(), &d.PreTap(), &d.Right()})
      EXPECT_GE(u->DelayLength(), 1) << tempo;
  }
}

TEST(StereoDelayTest, LengthsStayInsideTheBuffer) {
  struct Case {
    double fs, tempo, time;
    int sync, pingPong;
  } cases[] = {
      {44100.0, 20.0, 1000.0, 1, StereoDelay::kStraight},  // 2g = 529200
      {44100.0, 10.0, 1000.0, 1, StereoDelay::kOffset},    // g capped at 352800
      {192000.0, 0.0, 1000.0, 0, StereoDelay::kStraight},  // 2g = 384000
      {384000.0, 0.0, 1000.0, 0, StereoDelay::kOffset},    // g = 384000
      {44100.0, 1e9, 20.0, 1, StereoDelay::kOffset},       // g far below a sample
  };
  for (const Case& c : cases) {
    StereoDelay d;
    ParamSnapshot p = EchoSettings(c.pingPong);
    p.delayTempoSync = c.sync;
    p.delayTime = c.time;
    test::TestNoise noise;
    for (int b = 0; b < static_cast<int>(c.fs / 512); ++b) {
      d.BlockUpdate(c.fs, c.tempo, p);
      for (int n = 0; n < 512; ++n) {
        double l = noise.Next(), r = noise.Next();
        d.Process(l, r);
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r));
      }
    }
    for (const DelayUnit* u : {&d.Left(), &d.PreTap(), &d.Right()}) {
      EXPECT_LT(u->DelayLength(), DelayUnit::kBufferLength) << c.fs << " " << c.tempo;
      EXPECT_GE(u->DelayLength(), 1) << c.fs << " " << c.tempo;
    }
    if (c.pingPong == StereoDelay::kStraight) {
      // The pattern keeps its shape: left and right at twice the pre-tap.
      EXPECT_NEAR(d.Left().DelayLength(), 2 * d.PreTap().DelayLength(), 1.0);
    }
  }
}

TEST(StereoDelayTest, DriveZeroIsLinear) {
  // With drive 0 the clipped term has weight 0: twice the input gives exactly
  // twice the echoes. With full drive it does not.
  for (double drive : {0.0, 1.0}) {
    StereoDelay a, b;
    ParamSnapshot p = EchoSettings(StereoDelay::kOffset);
    p.delayDrive = drive;
    p.delayFeedback = 1.0;
    test::TestNoise noise;
    double maxDiff = 0.0;
    for (int blk = 0; blk < 200; ++blk) {
      a.BlockUpdate(44100.0, 0.0, p);
      b.BlockUpdate(44100.0, 0.0, p);
      for (int n = 0; n < 512; ++n) {
        const double x = 4.0 * noise.Next();
        double l1 = x, r1 = -x, l2 = 2.0 * x, r2 = -2.0 * x;
        a.Process(l1, r1);
        b.Process(l2, r2);
        maxDiff = std::max(maxDiff, std::fabs(2.0 * l1 - l2) + std::fabs(2.0 * r1 - r2));
      }
    }
    if (drive == 0.0)
      EXPECT_EQ(maxDiff, 0.0);
    else
      EXPECT_GT(maxDiff, 1e-3);
  }
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
  // Colour 0.5, drive 0: low gain 1, so DC comes out as 0.8 * 0.26.
  EXPECT_NEAR(steady, 0.208, 1e-4);

  u.SetTime(17640.0);
  const double duration = 44100.0 * 0.375;  // 16537.5 samples
  EXPECT_EQ(u.Ramp().duration, duration);
  std::vector<double> out(60000);
  for (int n = 0; n < 60000; ++n) out[n] = u.Process(1.0);
  // The sample written at the glide's middle (n = 8269) is read 17640 later.
  const int mid = 8269 + 17640;
  double quietest = steady;
  for (int n = mid - 100; n <= mid + 100; ++n) quietest = std::min(quietest, std::fabs(out[n]));
  EXPECT_LT(quietest, 0.01 * steady);  // the loop filters smooth the V's vertex a little
  EXPECT_GT(std::fabs(out[mid - 4000]), 0.2 * steady);  // faded in and out linearly
  EXPECT_NEAR(out[59999], steady, 1e-4);
  double jump = 0.0;
  for (int n = 1; n < 60000; ++n) jump = std::max(jump, std::fabs(out[n] - out[n - 1]));
  EXPECT_LT(jump, 0.01 * steady);  // no zipper: the level moves smoothly
}

}  // namespace
}  // namespace morvanta
