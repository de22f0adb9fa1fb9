// ModDelayLine: the three read variants share the fractional read and the
// read-position update; only the sine variant filters its feedback loop.
#include "dsp/ModDelayLine.h"

#include <cmath>
#include <new>

#include "dsp/FastSine.h"

namespace morvanta {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

int32_t LineSamples(double fs) {
  double samples = fs * ModDelayLine::kSeconds;
  if (!(samples >= 2.0)) samples = 2.0;
  if (samples > ModDelayLine::kMaxBufferLength) samples = ModDelayLine::kMaxBufferLength;
  return static_cast<int32_t>(samples);
}

}  // namespace

ModDelayLine::ModDelayLine() {
  if (!buffer_.Reserve(LineSamples(kPreparedRate))) throw std::bad_alloc();
  SetSampleRate(44100.0f, true);
  modRate_ = 0.25 * invFs_;
}

bool ModDelayLine::Reserve(float fs) {
  const int32_t before = buffer_.Capacity();
  if (!buffer_.Reserve(LineSamples(fs))) return false;
  // A new store starts empty; the line starts over with it.
  if (buffer_.Capacity() != before) SetSampleRate(static_cast<float>(fs_), true);
  return true;
}

void ModDelayLine::SetSampleRate(float fs, bool force) {
  const double rate = fs;
  if (rate == fs_ && !force) return;
  fs_ = rate;
  invFs_ = 1.0 / rate;
  fsRatio_ = rate / 44100.0;
  // Half a second, or what the room made for it holds.
  buffer_.SetLength(LineSamples(rate));
  length_ = buffer_.Length();
  lengthD_ = length_;
  modFactor_ = 1.0;
  modDirection_ = 1.0;
  readPos_ = 0.0;
}

void ModDelayLine::SetDelayTarget(double samples) {
  if (samples == delayLength_) return;
  if (samples != ramp_.target)
    ramp_.Set(ramp_.current, samples, samples > delayLength_ ? fs_ * 0.5 : fs_ * 0.25, 0.0);
}

void ModDelayLine::GlideTo(double samples, double durationSamples, double accelSamples) {
  if (samples == delayLength_ || samples == ramp_.target) return;
  ramp_.Set(ramp_.current, samples, durationSamples, accelSamples);
}

double ModDelayLine::ProcessPlain(double x) {
  const double y = ReadFractional();
  buffer_.Push(y * feedback_ + x);
  UpdateReadPosition(delayLength_);
  StepRamp();
  return delayLength_ > 0.0 ? outputGain_ * y : outputGain_ * x;
}

// The sine variant's state for a block loop, held in locals where the buffer
// writes cannot alias it.
struct ModDelayLine::SineRun {
  void Load(ModDelayLine& l) {
    line = &l;
    pos = l.buffer_.Cursor();
    data = l.buffer_.Data();
    filter = l.loopFilter_;
    filter.type = Biquad::kLowPass;
    filter.Q = 1.2 - 0.4 * l.feedback_;
    lengthD = l.lengthD_;
    feedback = l.feedback_;
    fs = l.fs_;
    gain = l.outputGain_;
    depth = l.modDepth_;
    rate = l.modRate_;
    delayLength = l.delayLength_;
    modFactor = l.modFactor_;
    modPhase = l.modPhase_;
    readPos = l.readPos_;
    gliding = l.ramp_.Running();
  }
  [[gnu::always_inline]] double Step(double x) {
    if (delayLength >= lengthD) delayLength = lengthD;
    const double out = pos.ReadBetween(data, readPos);
    filter.Fc = (modFactor * 750.0 + 6000.0) / fs;
    filter.Compute();
    const float u = static_cast<float>(x + out * feedback);
    pos.Push(data, filter.Process(u));
    readPos = ReadPosition(modFactor * delayLength, pos.write, lengthD);
    if (gliding) {
      line->ramp_.Advance(1);
      delayLength = line->ramp_.current;
      gliding = line->ramp_.Running();
    }
    modFactor = 1.0 + depth * FastSine(kTwoPi * modPhase);
    modPhase += rate / fs;
    return out * gain;
  }
  void Store() const {
    line->buffer_.SetCursor(pos);
    line->loopFilter_ = filter;
    line->delayLength_ = delayLength;
    line->modFactor_ = modFactor;
    line->modPhase_ = modPhase;
    line->readPos_ = readPos;
  }

  ModDelayLine* line;
  DelayBuffer::Positions pos;
  double* data;
  Biquad filter;
  double lengthD, feedback, fs, gain, depth, rate;
  double delayLength, modFactor, modPhase, readPos;
  bool gliding;
};

template <int kLines>
void ModDelayLine::ProcessSineLines(ModDelayLine* const* lines, const double* const* x, double* const* y, int n) {
  SineRun run[kLines];
  for (int k = 0; k < kLines; ++k) run[k].Load(*lines[k]);
  for (int s = 0; s < n; ++s) {
    for (int k = 0; k < kLines; ++k) y[k][s] = run[k].Step(x[k][s]);
  }
  for (int k = 0; k < kLines; ++k) run[k].Store();
}

template void ModDelayLine::ProcessSineLines<1>(ModDelayLine* const*, const double* const*, double* const*, int);
template void ModDelayLine::ProcessSineLines<4>(ModDelayLine* const*, const double* const*, double* const*, int);

void ModDelayLine::Clear() {
  buffer_.Clear();
  loopFilter_.Clear();
}

}  // namespace morvanta
