// StereoDelay: the bus echo ("Delay ..." parameters): left, pre-tap and right
// delay units with colour filters, drive, S-curve time glide and tempo sync.
#pragma once

#include <cstdint>
#include <limits>
#include "dsp/Biquad.h"
#include "dsp/DelayBuffer.h"
#include "dsp/DelayLanes.h"
#include "dsp/DelayTimeRamp.h"
#include "dsp/TubeDriveClipper.h"
#include "dsp/EffectSettings.h"

namespace morvanta {

// The tone section inside each unit's loop: a low band through an all-pass,
// a high band through two high-passes and the mid band as the remainder.
struct DelayColorFilter {
  DelayColorFilter();
  // Sets the sections for drive, colour and rate; the same three again leave
  // them as they are (the delay configures every host block).
  void Configure(double drive, double colour, double fs);
  float Process(double x);
  // The largest magnitude of the section's response over all frequencies.
  double PeakGain() const;
  void Clear();

  Biquad lowPass, highPass1, highPass2, allPass;
  double lowGain = 1.0, midGain = 1.5, highGain = 1.0;
  double firstQ = 0.5, secondQ = 0.475;

 private:
  // Drive, colour and rate the sections were set for (none at first).
  double configuredFor_[3] = {std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0};
};

class DelayUnit {
 public:
  static constexpr int32_t kBufferLength = 352800;

  // Keeps `length` samples (the pre-tap needs half of what the echo units
  // do). Throws std::bad_alloc when its buffer cannot be had.
  explicit DelayUnit(int32_t length = kBufferLength);
  DelayUnit(const DelayUnit&) = delete;
  DelayUnit& operator=(const DelayUnit&) = delete;

  void SetSampleRate(double fs);
  void SetColourAndDrive(double drive, double colour);
  // Starts the S-curve glide to `samples` (held within 1 .. length - 1).
  void SetTime(double samples);
  float Process(double x) {
    double y;
    ProcessBlock(&x, &y, 1);
    return static_cast<float>(y);
  }
  // Process over n samples; y receives the single-precision outputs (y may
  // be x).
  void ProcessBlock(const double* x, double* y, int n);
  // Silences the buffer (without touching its memory) and the colour section.
  void Clear();

  void SetFeedback(double v) {
    feedback_ = v;
    UpdateFeedbackCeiling();
  }
  void SetOutputLevel(double v) { outputLevel_ = v; }
  double Feedback() const { return feedback_; }
  // The feedback the loop really uses: the set one, held below the point
  // where the loop would amplify its own echoes.
  double LoopFeedback() const { return feedback_ < feedbackCeiling_ ? feedback_ : feedbackCeiling_; }
  double OutputLevel() const { return outputLevel_; }
  int32_t DelayLength() const { return delayLength_; }
  const DelayTimeRamp& Ramp() const { return ramp_; }
  const DelayBuffer& Buffer() const { return buffer_; }

 private:
  DelayBuffer buffer_;
  double fs_ = 44100.0;
  int32_t length_ = kBufferLength;
  double readPos_ = 0.0;
  DelayTimeRamp ramp_;
  DelayColorFilter colour_;
  TubeDriveClipper clipper_;
  int32_t delayLength_ = 35280;
  double feedback_ = 0.5;
  double outputLevel_ = 0.5;
  double colourAmount_ = 0.5;
  double drive_ = 0.0;
  double feedbackCeiling_ = 1e300;
  double ceilingKey_[3] = {-1.0, -1.0, -1.0};  // drive, colour, fs it was found for
  void UpdateFeedbackCeiling();
  // The unit's state into and out of lane k of the side-by-side kernel.
  void LoadLane(DelayLanes& s, int k);
  void StoreLane(const DelayLanes& s, int k);
  friend class StereoDelay;
  template <bool kCopy>
  struct Runner;
};

inline float DelayColorFilter::Process(double x) {
  const float xs = static_cast<float>(x);
  const float lo = lowPass.Process(xs);
  const float h1 = highPass1.Process(xs);
  const float h2 = highPass2.Process(h1);
  const float lo2 = allPass.Process(lo);
  const float low = static_cast<float>(0.8 * lo2);
  const float high = static_cast<float>(1.25 * h2);
  const float mid = static_cast<float>(0.7 * (static_cast<double>(lo2) + h2 - x));
  return static_cast<float>(midGain * mid + lowGain * low + highGain * high);
}

class StereoDelay {
 public:
  enum PingPong { kStraight = 0, kOffset = 1 };

  void BlockUpdate(double fs, double tempoBpm, const DelaySettings& p);
  void Process(double& left, double& right) { ProcessBlock(&left, &right, 1); }
  // Process over n frames in place.
  void ProcessBlock(double* left, double* right, int n);
  void Clear();

  // The period g in samples for a "Delay Time" value; 0 when synchronised
  // without a usable tempo.
  static double Period(double timeMs, bool sync, double fs, double tempoBpm);

  const DelayUnit& Left() const { return left_; }
  const DelayUnit& PreTap() const { return preTap_; }
  const DelayUnit& Right() const { return right_; }

 private:
  // One frame, each unit in its own scalar step.
  void RunUnits(double& left, double& right);
  // Frames in chunks through the vector kernel, the units side by side.
  void RunLanes(double* left, double* right, int n);

  // The pre-tap never reads further back than half the longest period.
  DelayUnit left_, preTap_{DelayUnit::kBufferLength / 2 + 1}, right_;
  int32_t pingPong_ = kStraight;
  double width_ = 0.65;
  bool silent_ = false;
};

}  // namespace morvanta
