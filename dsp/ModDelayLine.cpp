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

double ModDelayLine::ProcessSine(double x) {
  if (delayLength_ >= lengthD_) delayLength_ = lengthD_;
  const double y = ReadFractional();
  loopFilter_.type = Biquad::kLowPass;
  loopFilter_.Q = 1.2 - 0.4 * feedback_;
  loopFilter_.Fc = (modFactor_ * 750.0 + 6000.0) / fs_;
  loopFilter_.Compute();
  const float u = static_cast<float>(x + y * feedback_);
  buffer_.Push(loopFilter_.Process(u));
  UpdateReadPosition(modFactor_ * delayLength_);
  StepRamp();
  modFactor_ = 1.0 + modDepth_ * FastSine(kTwoPi * modPhase_);
  modPhase_ += modRate_ / fs_;
  return y * outputGain_;
}

void ModDelayLine::ProcessSineFour(ModDelayLine* const* lines, const double* const* x, double* const* y, int n) {
  ModSineLanes s;
  for (int k = 0; k < ModSineLanes::kLanes; ++k) lines[k]->LoadSineLane(s, k);
  ModSineBlock(s, x, y, n);
  for (int k = 0; k < ModSineLanes::kLanes; ++k) lines[k]->StoreSineLane(s, k);
}

void ModDelayLine::LoadSineLane(ModSineLanes& s, int k) {
  s.delayLength[k] = delayLength_;
  s.lengthD[k] = lengthD_;
  s.readPos[k] = readPos_;
  s.modFactor[k] = modFactor_;
  s.modPhase[k] = modPhase_;
  s.fs[k] = fs_;
  s.feedback[k] = feedback_;
  s.gain[k] = outputGain_;
  s.depth[k] = modDepth_;
  s.rate[k] = modRate_;
  s.q[k] = 1.2 - 0.4 * feedback_;
  s.fc[k] = loopFilter_.Fc;
  s.b0[k] = loopFilter_.b0;
  s.b1[k] = loopFilter_.b1;
  s.b2[k] = loopFilter_.b2;
  s.a1[k] = loopFilter_.a1;
  s.a2[k] = loopFilter_.a2;
  s.z1[k] = loopFilter_.z1;
  s.z2[k] = loopFilter_.z2;
  s.data[k] = buffer_.Data();
  s.pos[k] = buffer_.Cursor();
  s.ramp[k] = &ramp_;
  s.gliding[k] = ramp_.Running();
}

void ModDelayLine::StoreSineLane(const ModSineLanes& s, int k) {
  delayLength_ = s.delayLength[k];
  readPos_ = s.readPos[k];
  modFactor_ = s.modFactor[k];
  modPhase_ = s.modPhase[k];
  loopFilter_.type = Biquad::kLowPass;
  loopFilter_.Q = s.q[k];
  loopFilter_.Fc = s.fc[k];
  loopFilter_.b0 = s.b0[k];
  loopFilter_.b1 = s.b1[k];
  loopFilter_.b2 = s.b2[k];
  loopFilter_.a1 = s.a1[k];
  loopFilter_.a2 = s.a2[k];
  loopFilter_.z1 = s.z1[k];
  loopFilter_.z2 = s.z2[k];
  buffer_.SetCursor(s.pos[k]);
}

void ModDelayLine::Clear() {
  buffer_.Clear();
  loopFilter_.Clear();
}

}  // namespace morvanta
