// StereoDelay: the right echoes pass a single-tap pre-tap unit first, which
// displaces them against the left; "Delay Width" crossfades the two sides.
#include "dsp/StereoDelay.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <type_traits>

#include "dsp/DelayLanes.h"

namespace morvanta {

namespace {
inline double Unit(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }
inline double Clamp(double v, double lo, double hi) { return v > lo ? (v < hi ? v : hi) : lo; }

constexpr double kSyncFractions[11] = {1.0 / 32, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                                       3.0 / 8,  1.0 / 3,  1.0 / 2,  3.0 / 4, 1.0};
constexpr double kLongestLength = DelayUnit::kBufferLength - 1;
constexpr double kPi = 3.14159265358979323846;
// The loop's gain for any frequency stays at or below this.
constexpr double kMaxLoopGain = 0.999;

std::complex<double> Response(const Biquad& b, double w) {
  const std::complex<double> z1 = std::polar(1.0, -w);
  const std::complex<double> z2 = z1 * z1;
  return (b.b0 + b.b1 * z1 + b.b2 * z2) / (1.0 + b.a1 * z1 + b.a2 * z2);
}
}  // namespace

DelayColorFilter::DelayColorFilter() {
  lowPass.Init(Biquad::kLowPass, 1200.0 / 44100.0, 0.5);
  highPass1.Init(Biquad::kHighPass, 1200.0 / 44100.0, 0.5);
  highPass2.Init(Biquad::kHighPass, 2000.0 / 44100.0, 0.5);
  allPass.Init(Biquad::kAllPass, 2000.0 / 44100.0, 0.5);
}

void DelayColorFilter::Configure(double drive, double colour, double fs) {
  if (drive == configuredFor_[0] && colour == configuredFor_[1] && fs == configuredFor_[2]) return;
  configuredFor_[0] = drive;
  configuredFor_[1] = colour;
  configuredFor_[2] = fs;
  firstQ = 0.707;
  const double f1 = 600.0 + 300.0 * drive;
  const double f2 = 1600.0 - 600.0 * drive + 400.0 * colour;
  lowPass.Init(Biquad::kLowPass, f1 / fs, firstQ);
  highPass1.Init(Biquad::kHighPass, f1 / fs, firstQ);
  highPass2.Init(Biquad::kHighPass, f2 / fs, secondQ);
  allPass.Init(Biquad::kAllPass, f2 / fs, secondQ);
}

// A logarithmic grid over fourteen octaves below Nyquist, then a
// golden-section refinement around every local maximum it shows.
double DelayColorFilter::PeakGain() const {
  auto gain = [this](double w) {
    const std::complex<double> lo2 = Response(allPass, w) * Response(lowPass, w);
    const std::complex<double> h2 = Response(highPass2, w) * Response(highPass1, w);
    return std::abs(midGain * 0.7 * (lo2 + h2 - 1.0) + lowGain * 0.8 * lo2 + highGain * 1.25 * h2);
  };
  constexpr int kSteps = 192;
  constexpr double kOctaves = 14.0;
  auto at = [](int k) { return kPi * std::exp2(-kOctaves * (kSteps - k) / kSteps); };
  double g[kSteps + 1];
  for (int k = 0; k <= kSteps; ++k) g[k] = gain(at(k));
  double best = 0.0;
  for (int k = 0; k <= kSteps; ++k) {
    best = std::max(best, g[k]);
    const bool peak = (k == 0 || g[k] >= g[k - 1]) && (k == kSteps || g[k] >= g[k + 1]);
    if (!peak) continue;
    const double r = 0.6180339887498949;
    double a = at(k > 0 ? k - 1 : 0), b = at(k < kSteps ? k + 1 : kSteps);
    for (int i = 0; i < 40; ++i) {
      const double c = b - r * (b - a), d = a + r * (b - a);
      const double gc = gain(c), gd = gain(d);
      best = std::max(best, std::max(gc, gd));
      if (gc > gd) b = d; else a = c;
    }
  }
  return best;
}

void DelayColorFilter::Clear() {
  lowPass.Clear();
  highPass1.Clear();
  highPass2.Clear();
  allPass.Clear();
}

DelayUnit::DelayUnit(int32_t length) : length_(length) {
  if (!buffer_.Reserve(length)) throw std::bad_alloc();
  buffer_.SetLength(length);
}

void DelayUnit::SetSampleRate(double fs) {
  fs_ = fs;
  colour_.Configure(drive_, colourAmount_, fs_);
  UpdateFeedbackCeiling();
}

void DelayUnit::SetColourAndDrive(double drive, double colour) {
  drive_ = drive;
  colourAmount_ = colour;
  colour_.Configure(drive_, colourAmount_, fs_);
  colour_.lowGain = (0.5 - colour) * 1.6 + (1.0 - 0.2 * drive);
  colour_.midGain = 1.5 + 0.4 * drive;
  colour_.highGain = (colour - 0.5) * 1.6 + (1.0 - 0.2 * drive);
  UpdateFeedbackCeiling();
}

// The linear part of the loop returns 0.26 (1 - drive / 2) feedback |C(w)| of
// each echo; with colour and drive near 0, full feedback and short times that
// passes 1 near 500 Hz and the echo would grow without end into infinities
// (the clipped part cannot hold it back). Such settings get the largest
// feedback that still lets the echoes die away; all others are untouched.
void DelayUnit::UpdateFeedbackCeiling() {
  if (!(feedback_ > 0.0)) return;  // no loop to hold (the pre-tap unit)
  if (drive_ == ceilingKey_[0] && colourAmount_ == ceilingKey_[1] && fs_ == ceilingKey_[2]) return;
  ceilingKey_[0] = drive_;
  ceilingKey_[1] = colourAmount_;
  ceilingKey_[2] = fs_;
  const double linear = 0.26 * (1.0 - drive_ * 0.5) * colour_.PeakGain();
  feedbackCeiling_ = linear > 0.0 ? kMaxLoopGain / linear : 1e300;
}

void DelayUnit::SetTime(double samples) {
  samples = Clamp(samples, 1.0, length_ - 1.0);
  if (samples == delayLength_ || samples == ramp_.target) return;
  // The very first glide starts from the unit's own length: from the idle
  // ramp's 0 it would sweep the loop through lengths of a few samples, where
  // the drive's term feeds back so strongly that a burst of enormous samples
  // comes out before the peak-following clipper catches it.
  const bool neverSet = ramp_.duration < 0.0 && ramp_.target == 0.0;
  ramp_.Set(neverSet ? delayLength_ : ramp_.current, samples, fs_ * 0.375, fs_ * 0.1875);
}

// A unit's state for a block loop, held in locals where the buffer writes
// cannot alias it; Step is Process for one sample. For a single sample the
// colour section and the clipper are used in place (kCopy false): copying
// them in and out would cost more than it saves.
template <bool kCopy>
struct DelayUnit::Runner {
  explicit Runner(DelayUnit& u)
      : unit(u), pos(u.buffer_.Cursor()), data(u.buffer_.Data()), colour(u.colour_), clipper(u.clipper_),
        loopFeedback(u.LoopFeedback()), d(u.drive_), push(16.0 * (0.2 * d + 0.5) * (0.2 * d + 0.5) + 1.0),
        trim(4.0 * (0.2 * d + 0.5) + 1.0), halfDrive(d * 0.5), clean(1.0 - d * 0.5), level(u.outputLevel_),
        length(u.length_), delayLength(u.delayLength_), readPos(u.readPos_), gliding(u.ramp_.Running()) {}
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;
  ~Runner() {
    unit.buffer_.SetCursor(pos);
    if (kCopy) {
      unit.colour_ = colour;
      unit.clipper_ = clipper;
    }
    unit.delayLength_ = delayLength;
    unit.readPos_ = readPos;
  }

  [[gnu::always_inline]] float Step(double x) {
    const double echo = pos.ReadBetween(data, readPos);
    const float cf = colour.Process(echo);
    const double v = (cf * loopFeedback + x) * 0.26;
    const double z = clipper.Process(push * (d * v * 16.0), 0.1) / trim;
    double w = z * halfDrive * 0.2 + clean * v;
    if (gliding) w *= 2.0 * std::fabs(unit.ramp_.elapsed - unit.ramp_.duration * 0.5) / unit.ramp_.duration;
    pos.Push(data, w);

    double p = static_cast<double>(pos.write) - delayLength;
    if (p < 0.0) p += length;
    if (p >= length) p -= length;
    readPos = p;

    if (gliding) {
      unit.ramp_.Advance(1);
      delayLength = static_cast<int32_t>(unit.ramp_.current);
      gliding = unit.ramp_.Running();
    }
    return static_cast<float>(cf * level);
  }

  DelayUnit& unit;
  DelayBuffer::Positions pos;
  double* const data;
  std::conditional_t<kCopy, DelayColorFilter, DelayColorFilter&> colour;
  std::conditional_t<kCopy, TubeDriveClipper, TubeDriveClipper&> clipper;
  // The drive's terms, b = 0.2 d + 0.5: 16 b^2 + 1 and 4 b + 1.
  const double loopFeedback, d, push, trim, halfDrive, clean, level, length;
  int32_t delayLength;
  double readPos;
  bool gliding;
};

void DelayUnit::ProcessBlock(const double* x, double* y, int n) {
  if (n == 1) {
    y[0] = Runner<false>(*this).Step(x[0]);
    return;
  }
  Runner<true> run(*this);
  for (int s = 0; s < n; ++s) y[s] = run.Step(x[s]);
}

void DelayUnit::Clear() {
  buffer_.Clear();
  colour_.Clear();
}

namespace {
Biquad* Sections(DelayColorFilter& c, int k) {
  switch (k) {
    case DelayLanes::kLowPass: return &c.lowPass;
    case DelayLanes::kHighPass1: return &c.highPass1;
    case DelayLanes::kHighPass2: return &c.highPass2;
    default: return &c.allPass;
  }
}
}  // namespace

void DelayUnit::LoadLane(DelayLanes& s, int k) {
  for (int i = 0; i < DelayLanes::kSections; ++i) {
    const Biquad& b = *Sections(colour_, i);
    s.b0[i][k] = b.b0;
    s.b1[i][k] = b.b1;
    s.b2[i][k] = b.b2;
    s.a1[i][k] = b.a1;
    s.a2[i][k] = b.a2;
    s.z1[i][k] = b.z1;
    s.z2[i][k] = b.z2;
  }
  s.lowGain[k] = colour_.lowGain;
  s.midGain[k] = colour_.midGain;
  s.highGain[k] = colour_.highGain;
  // The same terms as the scalar step's.
  const double d = drive_;
  s.loopFeedback[k] = LoopFeedback();
  s.drive[k] = d;
  s.push[k] = 16.0 * (0.2 * d + 0.5) * (0.2 * d + 0.5) + 1.0;
  s.trim[k] = 4.0 * (0.2 * d + 0.5) + 1.0;
  s.halfDrive[k] = d * 0.5;
  s.clean[k] = 1.0 - d * 0.5;
  s.level[k] = outputLevel_;
  s.phase[k] = clipper_.phase_;
  s.inversePeak[k] = clipper_.inversePeak_;
  s.latchedInverse[k] = clipper_.latchedInverse_;
  s.windowPeak[k] = clipper_.windowPeak_;
  s.peak[k] = clipper_.peak_;
  s.runningMaxPeak[k] = clipper_.runningMaxPeak_;
  s.latchedPeak[k] = clipper_.latchedPeak_;
  s.lastSignInput[k] = clipper_.lastSignInput_;
  if (k >= DelayLanes::kUnits) return;
  s.data[k] = buffer_.Data();
  s.pos[k] = buffer_.Cursor();
  s.ramp[k] = &ramp_;
  s.length[k] = length_;
  s.readPos[k] = readPos_;
  s.delayLength[k] = delayLength_;
  s.gliding[k] = ramp_.Running();
}

void DelayUnit::StoreLane(const DelayLanes& s, int k) {
  for (int i = 0; i < DelayLanes::kSections; ++i) {
    Biquad& b = *Sections(colour_, i);
    b.z1 = s.z1[i][k];
    b.z2 = s.z2[i][k];
  }
  clipper_.phase_ = static_cast<int32_t>(s.phase[k]);
  clipper_.inversePeak_ = s.inversePeak[k];
  clipper_.latchedInverse_ = s.latchedInverse[k];
  clipper_.windowPeak_ = s.windowPeak[k];
  clipper_.peak_ = s.peak[k];
  clipper_.runningMaxPeak_ = s.runningMaxPeak[k];
  clipper_.latchedPeak_ = s.latchedPeak[k];
  clipper_.lastSignInput_ = s.lastSignInput[k];
  buffer_.SetCursor(s.pos[k]);
  readPos_ = s.readPos[k];
  delayLength_ = s.delayLength[k];
}

double StereoDelay::Period(double timeMs, bool sync, double fs, double tempoBpm) {
  if (!sync) return timeMs * 0.001 * fs;
  const int index = static_cast<int>(Clamp((timeMs - 20.0) / 980.0 * 10.0, 0.0, 10.0));
  if (!(tempoBpm > 0.0) || !std::isfinite(tempoBpm)) return 0.0;
  const double beat = fs * 60.0 / tempoBpm;
  const double g = 2.0 * beat * kSyncFractions[index];
  return g < DelayUnit::kBufferLength ? g : DelayUnit::kBufferLength;
}

void StereoDelay::BlockUpdate(double fs, double tempoBpm, const DelaySettings& p) {
  const double t = Clamp(p.timeMs, 20.0, 1000.0);
  const double level = Unit(p.level);
  const double feedback = Unit(p.feedback);
  const double colour = Unit(p.colour);
  const double drive = Unit(p.drive);
  pingPong_ = p.pingPongType != 0 ? kOffset : kStraight;
  width_ = Clamp(p.width, -1.0, 1.0);

  preTap_.SetSampleRate(fs);
  preTap_.SetFeedback(0.0);
  preTap_.SetOutputLevel((0.25 * colour + 1.75) * 0.5);
  preTap_.SetColourAndDrive(drive, colour);

  double g = Period(t, p.tempoSync != 0, fs, tempoBpm);
  silent_ = !(g > 0.0);
  // The longest echo pattern that fits keeps its shape: "STRAIGHT" needs 2g
  // in the buffer, "OFFSET" g.
  const double longest = pingPong_ == kStraight ? kLongestLength * 0.5 : kLongestLength;
  if (g > longest) g = longest;

  DelayUnit* units[2] = {&left_, &right_};
  for (DelayUnit* unit : units) {
    unit->SetSampleRate(fs);
    unit->SetOutputLevel((0.25 * colour + 1.75) * level);
    const double shorten = 1.0 - t * 0.001;
    unit->SetFeedback((1.0 - 0.27 * colour + 0.3 * shorten * shorten) * feedback);
    unit->SetColourAndDrive(drive, colour);
    if (pingPong_ == kOffset) {
      if (!silent_) {
        unit->SetTime(g);
        preTap_.SetTime(g / 2.0);
      }
    } else {
      if (!silent_) {
        unit->SetTime(2.0 * g);
        preTap_.SetTime(g);
      }
      unit->SetFeedback(unit->Feedback() * 0.9);
    }
  }
}

void StereoDelay::ProcessBlock(double* left, double* right, int n) {
  if (n == 1)
    RunUnits(*left, *right);
  else
    RunLanes(left, right, n);
}

// A single frame costs less in the units' own steps than in and out of lanes.
void StereoDelay::RunUnits(double& left, double& right) {
  DelayUnit::Runner<false> echoL(left_), tap(preTap_), echoR(right_);
  // Without a tempo to follow, the synchronised echo is muted; the units run
  // on silence so that their old contents fade instead of returning later.
  const double inL = silent_ ? 0.0 : left;
  const double inR = silent_ ? 0.0 : right;
  const double eL = echoL.Step(inL);
  const double m = tap.Step(inR);
  double eR;
  if (pingPong_ == kOffset)
    eR = echoR.Step(m);
  else
    eR = echoR.Step(m * right_.Feedback()) + m * right_.OutputLevel() * 0.5;
  if (silent_) return;
  const double k = width_ * 0.5;
  left += (0.5 + k) * eL + (0.5 - k) * eR;
  right += (0.5 + k) * eR + (0.5 - k) * eL;
}

void StereoDelay::RunLanes(double* left, double* right, int n) {
  DelayLanes lanes;
  preTap_.LoadLane(lanes, DelayLanes::kTap);
  right_.LoadLane(lanes, DelayLanes::kRight);
  left_.LoadLane(lanes, DelayLanes::kLeft);
  left_.LoadLane(lanes, DelayLanes::kLanes - 1);
  const bool offset = pingPong_ == kOffset;
  lanes.rightScale = offset ? 1.0 : right_.Feedback();
  const double rightLevel = right_.OutputLevel();
  const double k = width_ * 0.5;
  constexpr int kChunk = 64;
  constexpr int kL = DelayLanes::kLanes;
  alignas(32) double in[kChunk * kL];
  alignas(32) double out[kChunk * kL];
  for (int start = 0; start < n; start += kChunk) {
    const int count = n - start < kChunk ? n - start : kChunk;
    double* l = left + start;
    double* r = right + start;
    for (int s = 0; s < count; ++s) {
      const double inL = silent_ ? 0.0 : l[s];
      in[kL * s + DelayLanes::kTap] = silent_ ? 0.0 : r[s];
      in[kL * s + DelayLanes::kRight] = 0.0;
      in[kL * s + DelayLanes::kLeft] = inL;
      in[kL * s + kL - 1] = inL;
    }
    DelayLanesBlock(lanes, in, out, count);
    if (silent_) continue;
    for (int s = 0; s < count; ++s) {
      const double eL = out[kL * s + DelayLanes::kLeft];
      const double m = out[kL * s + DelayLanes::kTap];
      double eR = out[kL * s + DelayLanes::kRight];
      if (!offset) eR = eR + m * rightLevel * 0.5;
      l[s] += (0.5 + k) * eL + (0.5 - k) * eR;
      r[s] += (0.5 + k) * eR + (0.5 - k) * eL;
    }
  }
  preTap_.StoreLane(lanes, DelayLanes::kTap);
  right_.StoreLane(lanes, DelayLanes::kRight);
  left_.StoreLane(lanes, DelayLanes::kLeft);
}

void StereoDelay::Clear() {
  left_.Clear();
  preTap_.Clear();
  right_.Clear();
}

}  // namespace morvanta
