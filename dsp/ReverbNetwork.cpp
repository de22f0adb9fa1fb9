// ReverbNetwork: the two sides share one structure over two different tables
// of line times, which decorrelates them; settings are applied per block.
#include "dsp/ReverbNetwork.h"

#include <cmath>
#include <new>

namespace morvanta {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Damping frequencies at or above Nyquist would fold the section over into
// an unstable one; they are held just below it.
constexpr double kMaxFrequencyRatio = 0.49;
constexpr int kLanes = ReverbLanes::kLanes;

constexpr float kTimesLeft[ReverbNetwork::kLines] = {
    0.025f, 0.03987f, 0.012987f, 0.065f, 0.029687f, 0.06523f, 0.08549879f, 0.0213879f,
    0.03876451f, 0.09851357f, 0.0234987f, 0.051387f, 0.01358796f, 0.0367895f, 0.06461f, 0.0731526f,
    0.025f, 0.03987f, 0.012987f, 0.065f, 0.029687f, 0.06523f, 0.06549879f, 0.0213879f,
    0.03876451f, 0.09851357f, 0.0234987f, 0.051387f, 0.01358796f, 0.0367895f, 0.06461f};
constexpr float kTimesRight[ReverbNetwork::kLines] = {
    0.01358796f, 0.0367895f, 0.06461f, 0.0731526f, 0.03876451f, 0.09851357f, 0.0234987f, 0.051387f,
    0.029687f, 0.06523f, 0.08549879f, 0.0213879f, 0.025f, 0.03987f, 0.012987f, 0.065f,
    0.01358796f, 0.0367895f, 0.06461f, 0.0731526f, 0.03876451f, 0.09851357f, 0.0234987f, 0.051387f,
    0.029687f, 0.06523f, 0.06549879f, 0.0213879f, 0.025f, 0.03987f, 0.012987f};

// The line times' scale m at a length setting (0..1).
double TimeScaleAt(double length) { return length * static_cast<double>(0.095f) * 0.75 + static_cast<double>(0.005f); }
// A line's modulation depth at a depth setting (lengths swing by 1 +- this).
double LineDepth(double otherSideTime, double modDepth) { return (otherSideTime + 1.0) * static_cast<double>(0.05f) * modDepth; }
// The target length of line i (samples) for time scale m.
double LineTarget(double time, int i, double m, double fs) {
  const double k = i * (1.0 / ReverbNetwork::kLines);
  return std::floor(((0.9 * m + 0.1) * time + m * k + 0.1 * i * m) * fs);
}
// Half a second at fs: the most any line keeps, as the lines always did.
int32_t HalfSecond(double fs) {
  double samples = fs * ModDelayLine::kSeconds;
  if (!(samples >= 2.0)) samples = 2.0;
  if (samples > ModDelayLine::kMaxBufferLength) samples = ModDelayLine::kMaxBufferLength;
  return static_cast<int32_t>(samples);
}
// Room for reads up to `longest` samples back (two spare for the
// interpolation's second sample and rounding), at most half a second.
int32_t RoomFor(double longest, double fs) {
  const int32_t half = HalfSecond(fs);
  if (!(longest < half)) return half;
  const int32_t room = static_cast<int32_t>(std::ceil(longest)) + 2;
  return room < half ? room : half;
}
}  // namespace

bool ReverbLanes::Reserve(const int32_t* want, bool* grown) {
  int32_t next[kLanes];
  int64_t total = kIdleSlots;
  bool any = store == nullptr;
  for (int k = 0; k < kLanes; ++k) {
    next[k] = Active(k) && want[k] > capacity[k] ? want[k] : capacity[k];
    grown[k] = next[k] != capacity[k];
    any = any || grown[k];
    total += (static_cast<int64_t>(next[k]) + 7) / 8 * 8;  // lines start on cache lines
  }
  if (!any) return true;
  // Left uninitialised on purpose (no resident pages until written):
  // nothing is read before it is written, except as 0 in the idle slots.
  double* fresh = new (std::nothrow) double[static_cast<size_t>(total)];
  if (fresh == nullptr) {
    for (int k = 0; k < kLanes; ++k) grown[k] = false;
    return false;
  }
  for (int32_t i = 0; i < kIdleSlots; ++i) fresh[i] = 0.0;
  int64_t at = kIdleSlots;
  for (int k = 0; k < kLanes; ++k) {
    if (!Active(k)) continue;
    if (!grown[k] && filled[k] > 0.0) {
      const double* old = Samples(k);
      for (int32_t i = 0; i < static_cast<int32_t>(room[k]); ++i) fresh[at + i] = old[i];
    }
    start[k] = at;
    capacity[k] = next[k];
    at += (static_cast<int64_t>(next[k]) + 7) / 8 * 8;
  }
  store.reset(fresh);
  for (int k = 0; k < kLanes; ++k)
    if (grown[k]) SetRoom(k, static_cast<int32_t>(room[k]));
  return true;
}

void RbjSection::Set(double f, double fs) {
  if (f > kMaxFrequencyRatio * fs) f = kMaxFrequencyRatio * fs;
  frequency = static_cast<float>(f);
  sampleRate = static_cast<float>(fs);
  const float w = static_cast<float>(2.0 * kPi * f / fs);
  const float cs = std::cos(w);
  const float sn = std::sin(w);
  const float alpha = sn / (2.0f * Q);
  const float a0 = 1.0f + alpha;
  lpB0 = lpB2 = (1.0f - cs) / (2.0f * a0);
  lpB1 = (1.0f - cs) / a0;
  hpB0 = hpB2 = (1.0f + cs) / (2.0f * a0);
  hpB1 = -(1.0f + cs) / a0;
  a1 = -2.0f * cs / a0;
  a2 = (1.0f - alpha) / a0;
}

double ReverbNetwork::LongestRead(int side, int i, double fs) {
  const double time = side == 0 ? kTimesLeft[i] : kTimesRight[i];
  const double other = side == 0 ? kTimesRight[i] : kTimesLeft[i];
  // Lengths grow with the length setting; the depth is deepest at length 0
  // with full modulation (0.5).
  return LineTarget(time, i, TimeScaleAt(1.0), fs) * (1.0 + LineDepth(other, 0.5));
}

int32_t ReverbNetwork::LineRoom(int side, int i, double fs) { return RoomFor(LongestRead(side, i, fs), fs); }

ReverbNetwork::ReverbNetwork() {
  ReverbLanes& s = core_.lanes;
  int32_t want[kLanes] = {};
  bool grown[kLanes];
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < kLines; ++i) want[ReverbLanes::Lane(side, i)] = LineRoom(side, i, ModDelayLine::kPreparedRate);
  if (!s.Reserve(want, grown)) throw std::bad_alloc();
  for (int side = 0; side < 2; ++side) {
    for (int i = 0; i < kLines; ++i) {
      const int k = ReverbLanes::Lane(side, i);
      s.delayLength[k] = 441.0;
      s.feedback[k] = 0.75;
      s.outputGain[k] = 0.5;
      s.factorHigh[k] = 1.5;
      s.factorLow[k] = 0.5;
      lineRate_[k] = 44100.0;
      SetLineLength(k, 44100.0);
      s.modRate[k] = 0.25 / 44100.0;
    }
    core_.preDelay[side].SetFeedback(0.0);
    core_.preDelay[side].SetOutputGain(2.0);
  }
  UpdateSettings(settings_);
}

// A line's length at fs: what it reads back at fs, or more while its length
// still holds, or glides from or to, one set for a higher rate.
void ReverbNetwork::SetLineLength(int k, double fs) {
  ReverbLanes& s = core_.lanes;
  const int side = ReverbLanes::Side(k);
  const int i = ReverbLanes::Line(k);
  const DelayTimeRamp r = s.Glide(k);
  double held = s.delayLength[k];
  if (r.current > held) held = r.current;
  if (r.Running() && r.target > held) held = r.target;
  const double other = side == 0 ? kTimesRight[i] : kTimesLeft[i];
  double longest = LongestRead(side, i, fs);
  const double holding = held * (1.0 + LineDepth(other, 0.5));
  if (holding > longest) longest = holding;
  s.SetRoom(k, RoomFor(longest, fs));
  RestartLine(k);
}

void ReverbNetwork::RestartLine(int k) {
  ReverbLanes& s = core_.lanes;
  // The circle is the half second the line would keep with room for it.
  const int32_t circle = HalfSecond(lineRate_[k]);
  const int32_t most = HalfSecond(preparedRate_);
  s.circle[k] = circle < most ? circle : most;
  s.circleWrite[k] = 0;
  s.lengthD[k] = s.circle[k];
  s.modFactor[k] = 1.0;
  s.modDirection[k] = 1.0;
  s.readPos[k] = 0.0;
}

void ReverbNetwork::Reserve(double fs) {
  const float rate = static_cast<float>(fs);
  ReverbLanes& s = core_.lanes;
  int32_t want[kLanes] = {};
  bool grown[kLanes];
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < kLines; ++i) want[ReverbLanes::Lane(side, i)] = LineRoom(side, i, rate);
  if (s.Reserve(want, grown)) {
    if (rate > preparedRate_) preparedRate_ = rate;
    // A line with more room starts empty; it starts over with it.
    for (int k = 0; k < kLanes; ++k)
      if (grown[k]) SetLineLength(k, lineRate_[k]);
  }
  core_.preDelay[0].Reserve(rate);
  core_.preDelay[1].Reserve(rate);
}

void ReverbNetwork::SetSampleRate(double fs) {
  const float rate = static_cast<float>(fs);
  fs_ = rate;
  invFs_ = 1.0 / fs_;
  bool changed[kLanes] = {};
  for (int k = 0; k < kLanes; ++k) {
    if (!ReverbLanes::Active(k) || lineRate_[k] == fs_) continue;
    lineRate_[k] = fs_;
    changed[k] = true;
  }
  core_.preDelay[0].SetSampleRate(rate, false);
  core_.preDelay[1].SetSampleRate(rate, false);
  Recompute();
  // Sized once the lines have their new targets: a glide the rate change
  // replaced no longer needs room.
  for (int k = 0; k < kLanes; ++k)
    if (changed[k]) SetLineLength(k, fs_);
}

void ReverbNetwork::UpdateSettings(const ReverbSettings& st) {
  settings_ = st;
  auto unit = [](double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; };
  const double lg = unit(st.length);
  lengthFactor_ = unit(st.lengthFactor);
  const double feedback = 0.75 * (0.9 * lengthFactor_ + 0.1);
  for (int k = 0; k < kLanes; ++k)
    if (ReverbLanes::Active(k)) core_.lanes.feedback[k] = feedback;
  timeScale_ = TimeScaleAt(lg);
  filterSpread_ = st.filterSpreadBase;
  core_.width = st.width;
  core_.outputScale = st.outputScaleBase;
  dampSlope_ = (1.0 - unit(st.damp)) * 0.75;
  dampBase_ = (0.7 * unit(st.damp2) + 0.3) * 11025.0;
  preDelayTime_ = st.preDelayBase * 0.5;
  modDepth_ = (1.0 - 0.42 * lg) * 0.5 * unit(st.mod);
  modRate_ = st.modRateBase + 0.01;
  hpControl_ = 0.5 * unit(st.hp);
  Recompute();
}

void ReverbNetwork::SetDelayTarget(int k, double samples) {
  ReverbLanes& s = core_.lanes;
  if (samples == s.delayLength[k]) return;
  if (samples != s.glideTarget[k]) {
    const double fs = lineRate_[k];
    DelayTimeRamp r = s.Glide(k);
    r.Set(r.current, samples, samples > s.delayLength[k] ? fs * 0.5 : fs * 0.25, 0.0);
    s.SetGlide(k, r);
    s.rampsActive = true;
  }
}

void ReverbNetwork::Recompute() {
  ReverbLanes& s = core_.lanes;
  const double fs = fs_;
  for (int i = 0; i < kLines; ++i) {
    const double t1 = kTimesLeft[i];
    const double t2 = kTimesRight[i];
    const double depth[2] = {LineDepth(t2, modDepth_), LineDepth(t1, modDepth_)};
    const double own[2] = {t1, t2};
    for (int side = 0; side < 2; ++side) {
      const int k = ReverbLanes::Lane(side, i);
      s.factorHigh[k] = 1.0 + depth[side];
      s.factorLow[k] = 1.0 - depth[side];
      s.modRate[k] = depth[side] * 24.0 * modRate_ * (own[side] + 1.0) / fs;
    }
  }

  double preDelay = std::floor((preDelayTime_ + 0.01) * fs);
  if (!(preDelay >= 0.0)) preDelay = 0.0;
  core_.preDelay[0].GlideTo(preDelay, fs * 0.5, fs * 0.25);
  core_.preDelay[1].GlideTo(preDelay, fs * 0.5, fs * 0.25);

  const double m = timeScale_;
  const double t = filterSpread_;
  s.g1 = 0.2 - 1.2 * t;
  s.g2 = 0.5 * t + 1.0;
  for (int i = 0; i < kLines; ++i) {
    const double k = i * (1.0 / kLines);
    const double a = (1.0 - k * dampSlope_) * dampBase_ * 1.33 + 100.0;
    const double b = (a - 100.0) * t * 0.75 + 100.0;
    RbjSection first, second;
    first.Set(b, fs);
    second.Set(a, fs);
    for (int side = 0; side < 2; ++side) {
      const int lane = ReverbLanes::Lane(side, i);
      const RbjSection* sections[2] = {&first, &second};
      for (int sec = 0; sec < 2; ++sec) {
        s.b0[sec][lane] = sections[sec]->lpB0;
        s.b1[sec][lane] = sections[sec]->lpB1;
        s.b2[sec][lane] = sections[sec]->lpB2;
        s.a1[sec][lane] = sections[sec]->a1;
        s.a2[sec][lane] = sections[sec]->a2;
      }
      SetDelayTarget(lane, LineTarget(side == 0 ? kTimesLeft[i] : kTimesRight[i], i, m, fs));
      s.outputGain[lane] = 0.25 + 0.125 * k;
    }
  }

  const double hp = 980.0 * hpControl_ + 20.0;
  core_.outHp[0].Set(hp, fs);
  core_.outHp[1].Set(hp, fs);
}

void ReverbNetwork::Process(double inL, double inR, double* wetL, double* wetR) {
  ReverbBlock(core_, &inL, &inR, wetL, wetR, 1);
}

void ReverbNetwork::ProcessBlock(const double* inL, const double* inR, double* wetL, double* wetR, int n) {
  ReverbBlock(core_, inL, inR, wetL, wetR, n);
}

void ReverbNetwork::Clear() {
  ReverbLanes& s = core_.lanes;
  for (int k = 0; k < kLanes; ++k) {
    s.filled[k] = 0.0;
    s.x1[k] = s.x2[k] = 0.0f;
    for (int sec = 0; sec < 2; ++sec) s.y1[sec][k] = s.y2[sec][k] = 0.0f;
  }
  for (int side = 0; side < 2; ++side) {
    core_.preDelay[side].Clear();
    core_.outHp[side].Clear();
  }
}

// The network's order of operations, one line at a time: each line's read,
// then per line its damping pair (fed the input and the lines before it),
// its loop, its write and its next read position and modulation step.
void ReverbStepScalar(ReverbCore& core, double inL, double inR, double* wetL, double* wetR) {
  ReverbLanes& s = core.lanes;
  double sum[2] = {0.2 * core.preDelay[0].ProcessPlain(inL), 0.2 * core.preDelay[1].ProcessPlain(inR)};
  double y[kLanes] = {};
  for (int k = 0; k < kLanes; ++k) {
    if (!ReverbLanes::Active(k)) continue;
    if (s.delayLength[k] >= s.lengthD[k]) s.delayLength[k] = s.lengthD[k];
    y[k] = s.Read(k);
  }
  double acc[2] = {0.0, 0.0};
  for (int i = 0; i < ReverbLanes::kLinesPerSide; ++i) {
    for (int side = 0; side < 2; ++side) {
      const int k = ReverbLanes::Lane(side, i);
      // The damping pair.
      const float x = static_cast<float>(sum[side]) + ReverbLanes::kDenormalOffset;
      float out[2];
      for (int sec = 0; sec < 2; ++sec) {
        out[sec] = s.b0[sec][k] * x + s.b1[sec][k] * s.x1[k] + s.b2[sec][k] * s.x2[k] -
                   s.a1[sec][k] * s.y1[sec][k] - s.a2[sec][k] * s.y2[sec][k];
        s.y2[sec][k] = s.y1[sec][k];
        s.y1[sec][k] = out[sec];
      }
      s.x2[k] = s.x1[k];
      s.x1[k] = x;
      const float damped = static_cast<float>(s.g1 * out[0] + s.g2 * out[1]);
      // The line's loop and write.
      DelayTimeRamp r = s.Glide(k);
      double w = damped - y[k] * s.feedback[k];
      if (r.Running()) w *= std::fabs(r.elapsed - r.duration * 0.5) / r.duration + 0.5;
      const double written = s.Push(k, w);
      // The next read position, the glide and the triangle.
      double used = s.modFactor[k] * s.delayLength[k];
      if (!(used > 0.0)) used = 0.0;
      if (used > s.lengthD[k]) used = s.lengthD[k];
      double pos = written - used;
      if (pos < 0.0) pos += s.lengthD[k];
      if (pos >= s.lengthD[k]) pos -= s.lengthD[k];
      s.readPos[k] = pos;
      if (r.Running()) {
        r.Advance(1);
        s.delayLength[k] = r.current;
        s.SetGlide(k, r);
      }
      s.modFactor[k] += s.modDirection[k] * s.modRate[k];
      if (s.modFactor[k] >= s.factorHigh[k]) {
        s.modFactor[k] = s.factorHigh[k];
        s.modDirection[k] = -s.modDirection[k];
      } else if (s.modFactor[k] <= s.factorLow[k]) {
        s.modFactor[k] = s.factorLow[k];
        s.modDirection[k] = -s.modDirection[k];
      }
      const float h = static_cast<float>(y[k] * s.outputGain[k]);
      acc[side] += 0.7 * h;
      sum[side] += h;
    }
  }
  const double l = core.outHp[0].HighPass(static_cast<float>(acc[0]));
  const double r = core.outHp[1].HighPass(static_cast<float>(acc[1]));
  const double scale = 2.5 * core.outputScale;
  const double mid = (l + r) * scale / 2.0;
  const double side = (l - r) * scale / 2.0 * core.width;
  *wetL = mid + side;
  *wetR = mid - side;
}

}  // namespace morvanta
