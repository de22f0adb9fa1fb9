// StepSequence: a voice's 16-step row (pitch ratio, shape offset, modulation)
// clocked in seconds from the note start; in LIVE ARP it is rebuilt from the held keys.
#pragma once

#include <cstdint>

#include "dsp/HeldNoteList.h"
#include "dsp/OscShape.h"

namespace morvanta {

// "Arp live Direction": the order in which LIVE ARP plays the held keys.
enum ArpDirection : int32_t {
  kArpUp = 0,
  kArpDown = 1,
  kArpUpDown = 2,
  kArpDownUp = 3,
};

class StepSequence {
 public:
  static constexpr int kMaxSteps = 32;

  // ratios, shapes and mods hold the 16 step rows (ratios already 2^(p/12),
  // shapes as the raw step values, mods as fractions).
  void LoadFromParameters(int stepCount, int loopStart, double tempoDivider,
                          const double* ratios, const double* shapes, const double* mods) {
    count_ = stepCount < 16 ? stepCount : 16;
    loopStart_ = loopStart;
    stepLength_ = StepLength(tempoDivider);
    for (int k = 0; k < 16; ++k) {
      ratios_[k] = ratios[k];
      shapeOffsets_[k] = static_cast<int32_t>(shapes[k]);
      mods_[k] = mods[k];
    }
  }

  // `direction` is an ArpDirection.
  void LoadFromHeldNotes(const HeldNoteList& held, int direction, double tempoDivider,
                         const double* shapes, const double* mods) {
    const int q = held.Count();
    loopStart_ = 0;
    stepLength_ = StepLength(tempoDivider);
    live_ = true;
    const bool down = direction == kArpDown || direction == kArpDownUp;
    for (int k = 0; k < q; ++k) {
      const int e = down ? q - 1 - k : k;
      const int s = direction == kArpDownUp ? q - 1 - k : k;
      ratios_[k] = held.Ratio(e);
      shapeOffsets_[k] = static_cast<int32_t>(shapes[s]);
      mods_[k] = mods[s];
    }
    if (direction == kArpUpDown || direction == kArpDownUp) {
      count_ = q == 1 ? 1 : 2 * q - 2;
      for (int i = 0; i + 2 < q; ++i) {
        const int e = direction == kArpUpDown ? q - 2 - i : i + 1;
        ratios_[q + i] = held.Ratio(e);
        shapeOffsets_[q + i] = static_cast<int32_t>(shapes[e]);
        mods_[q + i] = mods[e];
      }
    } else {
      count_ = q;
    }
  }

  // Called at every note start.
  void Restart() {
    SettleSmoothedMod();
    index_ = -1;
    lastStep_ = -1;
    stepUntil_ = -1.0;
    ratio_ = -1.0;
    stepMod_ = 0.0;
    live_ = false;
  }

  // Advances the clock to `time` seconds since the note start.
  void Tick(double time, int baseShape, bool releaseHold) {
    if (loopStart_ >= count_) loopStart_ = count_ - 1;
    if (count_ < 1) {
      SettleSmoothedMod();
      // A LIVE ARP key released on the frame it was pressed leaves no step to
      // hold; the tail then plays the note itself rather than a frozen phase.
      if (!releaseHold || ratio_ < 0.0) {
        shape_ = baseShape;
        ratio_ = 1.0;
        stepMod_ = 0.0;
      }
      return;
    }
    if (loopStart_ < 0) loopStart_ = 0;
    // Well inside the current step the clock only moves on: the division and
    // the smoothed value wait until someone asks for them.
    if (time >= stepFrom_ && time < stepUntil_ && stepLength_ == boundsLength_) {
      TickWithinStep(time);
      return;
    }
    smoothedPending_ = false;
    const double h = time / stepLength_;
    const int64_t k = static_cast<int64_t>(h);
    if (k != lastStep_) {
      lastStep_ = k;
      Advance();
      if (!live_) {
        ratio_ = on_ ? ratios_[index_] : 1.0;
      } else {
        if (ratios_[index_] == ratio_) Advance();
        ratio_ = ratios_[index_];
      }
      previousMod_ = stepMod_;
      if (on_) {
        stepMod_ = mods_[index_];
        shape_ = ((shapeOffsets_[index_] + baseShape) % kNumOscShapes + kNumOscShapes) % kNumOscShapes;
      } else {
        stepMod_ = 0.0;
        shape_ = baseShape;
      }
    }
    smoothedMod_ = previousMod_ + (stepMod_ - previousMod_) * (h - static_cast<double>(k));
    SetStepBounds(k);
  }

  // The times for which Tick only moves the clock on (the step and
  // everything it sets stay); false when there are none.
  bool StepSpan(double* from, double* until) const {
    if (count_ < 1 || stepLength_ != boundsLength_) return false;
    *from = stepFrom_;
    *until = stepUntil_;
    return true;
  }
  // What Tick(time) does for a time within StepSpan.
  void TickWithinStep(double time) {
    pendingTime_ = time;
    smoothedPending_ = true;
  }

  void SetOn(bool on) { on_ = on; }
  int Count() const { return count_; }
  int LoopStart() const { return loopStart_; }
  int Index() const { return index_; }
  double Ratio() const { return ratio_; }
  int Shape() const { return shape_; }
  void SetShape(int shape) { shape_ = shape; }
  double StepMod() const { return stepMod_; }
  double SmoothedMod() {
    SettleSmoothedMod();
    return smoothedMod_;
  }
  double StepLength() const { return stepLength_; }

 private:
  static double StepLength(double divider) { return 2.0 / (divider >= 1.0 ? divider : 1.0); }

  // The times for which the step index is surely `k`: a millionth of a step
  // short of either edge, so that the rounding of these bounds and of the
  // quotient cannot matter (for fewer than 2^30 steps).
  void SetStepBounds(int64_t k) {
    if (k >= 0 && k < (int64_t{1} << 30) && stepLength_ > 0.0 && stepLength_ < 1e300) {
      const double whole = static_cast<double>(k);
      stepFrom_ = (whole + kStepMargin) * stepLength_;
      stepUntil_ = (whole + 1.0 - kStepMargin) * stepLength_;
      boundsLength_ = stepLength_;
    } else {
      stepUntil_ = -1.0;
    }
  }

  // The smoothed value of the last Tick that skipped it, worked out exactly
  // as that Tick would have.
  void SettleSmoothedMod() {
    if (!smoothedPending_) return;
    smoothedPending_ = false;
    const double h = pendingTime_ / boundsLength_;
    smoothedMod_ = previousMod_ + (stepMod_ - previousMod_) * (h - static_cast<double>(static_cast<int64_t>(h)));
  }

  static constexpr double kStepMargin = 1e-6;

  void Advance() {
    ++index_;
    if (index_ >= count_) index_ = loopStart_;
  }

  double ratios_[kMaxSteps] = {};
  int32_t shapeOffsets_[kMaxSteps] = {};
  double mods_[kMaxSteps] = {};
  bool on_ = false;
  bool live_ = false;
  int count_ = 0;
  int loopStart_ = 0;
  double stepLength_ = 0.0625;
  int index_ = -1;
  int64_t lastStep_ = -1;
  double ratio_ = -1.0;
  int shape_ = 0;
  double stepMod_ = 0.0;
  double previousMod_ = 0.0;
  double smoothedMod_ = 0.0;
  // Where the step index is known without dividing (see SetStepBounds).
  double stepFrom_ = 0.0;
  double stepUntil_ = -1.0;
  double boundsLength_ = 0.0;
  bool smoothedPending_ = false;
  double pendingTime_ = 0.0;
};

}  // namespace morvanta
