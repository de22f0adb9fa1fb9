// ModDelayLine: the three read variants share the fractional read and the
// read-position update; only the sine variant filters its feedback loop.
#include "dsp/ModDelayLine.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "dsp/FastSine.h"

namespace morvanta {

namespace {
constexpr double kTwoPi = 6.283185307179586476925;
}

ModDelayLine::ModDelayLine() {
  SetSampleRate(44100.0f, true);
  modRate_ = 0.25 * invFs_;
}

void ModDelayLine::SetSampleRate(float fs, bool force) {
  const double rate = fs;
  if (rate == fs_ && !force) return;
  fs_ = rate;
  invFs_ = 1.0 / rate;
  fsRatio_ = rate / 44100.0;
  // Two seconds, but never more than two seconds at 384 kHz: no line reads
  // further back than half a second, and an absurd host rate must not ask
  // for gigabytes. If the memory is not there the old buffer is kept.
  double samples = fsRatio_ * 88200.0;
  if (!(samples >= 2.0)) samples = 2.0;
  if (samples > kMaxBufferLength) samples = kMaxBufferLength;
  try {
    std::vector<double> fresh(static_cast<size_t>(samples), 0.0);
    buffer_.swap(fresh);
  } catch (const std::bad_alloc&) {
    std::fill(buffer_.begin(), buffer_.end(), 0.0);
  }
  length_ = static_cast<int32_t>(buffer_.size());
  lengthD_ = length_;
  writeIndex_ = 0;
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
  buffer_[writeIndex_] = y * feedback_ + x;
  AdvanceWrite();
  UpdateReadPosition(delayLength_);
  StepRamp();
  return delayLength_ > 0.0 ? outputGain_ * y : outputGain_ * x;
}

double ModDelayLine::ProcessSine(double x) {
  if (delayLength_ >= lengthD_) delayLength_ = lengthD_;
  const double y = ReadFractional();
  loopFilter_.type = Biquad::kLowPass;
  loopFilter_.Q = 1.2 - 0.4 * feedback_;
  loopFilter_.Fc = (modFactor_ * 750.0 + 6000.0) / fs_;
  loopFilter_.Compute();
  const float u = static_cast<float>(x + y * feedback_);
  buffer_[writeIndex_] = loopFilter_.Process(u);
  AdvanceWrite();
  UpdateReadPosition(modFactor_ * delayLength_);
  StepRamp();
  modFactor_ = 1.0 + modDepth_ * FastSine(kTwoPi * modPhase_);
  modPhase_ += modRate_ / fs_;
  return y * outputGain_;
}

void ModDelayLine::Clear() {
  std::fill(buffer_.begin(), buffer_.end(), 0.0);
  loopFilter_.Clear();
}

}  // namespace morvanta
