// ModDelayLine: a half-second fractional delay line whose length glides
// through a DelayTimeRamp; plain, triangle-modulated and sine-modulated reads.
// No reverb or chorus line reads back further than about a third of a second.
#pragma once

#include <cmath>
#include <cstdint>
#include "dsp/Biquad.h"
#include "dsp/DelayBuffer.h"
#include "dsp/DelayTimeRamp.h"
#include "dsp/ModSineLanes.h"

namespace morvanta {

class ModDelayLine {
 public:
  static constexpr double kSeconds = 0.5;
  // Room for this rate is made at construction, so that the usual rates up
  // to it never allocate.
  static constexpr double kPreparedRate = 192000.0;
  // Half a second at the highest rate a host may set (1 MHz).
  static constexpr int32_t kMaxBufferLength = 500000;

  // Throws std::bad_alloc when the prepared room cannot be had.
  ModDelayLine();
  ModDelayLine(const ModDelayLine&) = delete;
  ModDelayLine& operator=(const ModDelayLine&) = delete;

  // Makes room for half a second at fs (at most kMaxBufferLength samples);
  // allocates only above the rates already prepared for. Not for the audio
  // path. False when the memory is not there (the line then keeps its room).
  bool Reserve(float fs);
  // Takes half a second at fs as the line's length (no more than the room
  // made) and clears, only when fs differs from the stored rate or when
  // forced. Never allocates.
  void SetSampleRate(float fs, bool force);
  // Glides linearly to `samples`: 0.5 s when longer, 0.25 s when shorter.
  void SetDelayTarget(double samples);
  // Starts a glide of the length with an explicit duration and acceleration.
  void GlideTo(double samples, double durationSamples, double accelSamples);

  double ProcessPlain(double x);
  double ProcessTriangle(double x) { return FinishTriangle(x, ReadTriangle()); }
  // The triangle variant in two halves: the read does not depend on the
  // input, so a network can fetch all its lines' outputs before it feeds them.
  double ReadTriangle() {
    if (delayLength_ >= lengthD_) delayLength_ = lengthD_;
    return ReadFractional();
  }
  double FinishTriangle(double x, double y) {
    double w = x - y * feedback_;
    if (ramp_.Running()) w *= std::fabs(ramp_.elapsed - ramp_.duration * 0.5) / ramp_.duration + 0.5;
    buffer_.Push(w);
    UpdateReadPosition(modFactor_ * delayLength_);
    StepRamp();
    modFactor_ += modDirection_ * modRate_;
    if (modFactor_ >= factorHigh_) {
      modFactor_ = factorHigh_;
      modDirection_ = -modDirection_;
    } else if (modFactor_ <= factorLow_) {
      modFactor_ = factorLow_;
      modDirection_ = -modDirection_;
    }
    return y * outputGain_;
  }
  double ProcessSine(double x);
  // ProcessSine over n samples for four lines at once (the chorus's), line k
  // reading x[k] and writing y[k]; every frame's inputs are read before its
  // outputs are written, so an output may overwrite another line's input.
  static void ProcessSineFour(ModDelayLine* const* lines, const double* const* x, double* const* y, int n);
  // Silences the buffer (without touching its memory) and the loop filter;
  // lengths and glides are kept.
  void Clear();

  void SetFeedback(double v) { feedback_ = v; }
  void SetOutputGain(double v) { outputGain_ = v; }
  void SetModRate(double v) { modRate_ = v; }
  void SetModDepth(double v) {
    modDepth_ = v;
    factorHigh_ = 1.0 + v;
    factorLow_ = 1.0 - v;
  }

  double Feedback() const { return feedback_; }
  double OutputGain() const { return outputGain_; }
  double ModRate() const { return modRate_; }
  double ModDepth() const { return modDepth_; }
  double ModFactor() const { return modFactor_; }
  double DelayLength() const { return delayLength_; }
  const DelayTimeRamp& Ramp() const { return ramp_; }
  int32_t BufferLength() const { return buffer_.Length(); }
  const DelayBuffer& Buffer() const { return buffer_; }
  double SampleRate() const { return fs_; }

 private:
  void LoadSineLane(ModSineLanes& s, int k);
  void StoreSineLane(const ModSineLanes& s, int k);
  double ReadFractional() const { return buffer_.Cursor().ReadBetween(buffer_.Raw(), readPos_); }
  // The length is held inside the buffer so that a rate change or a deep
  // modulation can never point the read before the oldest sample.
  static double ReadPosition(double lengthUsed, int32_t writeIndex, double lengthD) {
    if (!(lengthUsed > 0.0)) lengthUsed = 0.0;
    if (lengthUsed > lengthD) lengthUsed = lengthD;
    double pos = writeIndex - lengthUsed;
    if (pos < 0.0) pos += lengthD;
    if (pos >= lengthD) pos -= lengthD;
    return pos;
  }
  void UpdateReadPosition(double lengthUsed) {
    readPos_ = ReadPosition(lengthUsed, buffer_.WriteIndex(), lengthD_);
  }
  void StepRamp() {
    if (ramp_.Running()) {
      ramp_.Advance(1);
      delayLength_ = ramp_.current;
    }
  }

  DelayBuffer buffer_;
  int32_t length_ = 0;
  double lengthD_ = 0.0;  // length_ as a real
  double modDirection_ = 1.0;
  double readPos_ = 0.0;
  DelayTimeRamp ramp_;
  double modPhase_ = 0.0;
  double fs_ = 0.0;
  double invFs_ = 0.0;
  double fsRatio_ = 1.0;
  Biquad loopFilter_;
  double delayLength_ = 441.0;
  double feedback_ = 0.75;
  double outputGain_ = 0.5;
  double modRate_ = 0.0;
  double modDepth_ = 0.5;
  double factorHigh_ = 1.5;  // 1 + depth
  double factorLow_ = 0.5;   // 1 - depth
  double modFactor_ = 1.0;
};

}  // namespace morvanta
