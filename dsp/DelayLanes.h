// DelayLanes: the bus delay's three units (pre-tap, right, left) side by side,
// for the vector kernel that steps them together. Each lane computes exactly
// what DelayUnit's own per-sample step computes for its unit, with the same
// operations in the same order; the fourth lane repeats the left unit so that
// it never holds values of its own.
#pragma once

#include <cstdint>

#include "dsp/DelayBuffer.h"
#include "dsp/DelayTimeRamp.h"

namespace morvanta {

struct DelayLanes {
  static constexpr int kLanes = 4;
  static constexpr int kUnits = 3;
  // Lane order: the pre-tap first, the right unit it feeds next to it.
  enum Lane { kTap = 0, kRight = 1, kLeft = 2 };
  // The colour section's sections: low-pass, first high-pass, second
  // high-pass, all-pass.
  enum Section { kLowPass = 0, kHighPass1 = 1, kHighPass2 = 2, kAllPass = 3, kSections = 4 };

  // Biquad coefficients and state per section.
  alignas(32) double b0[kSections][kLanes];
  alignas(32) double b1[kSections][kLanes];
  alignas(32) double b2[kSections][kLanes];
  alignas(32) double a1[kSections][kLanes];
  alignas(32) double a2[kSections][kLanes];
  alignas(32) double z1[kSections][kLanes];
  alignas(32) double z2[kSections][kLanes];
  alignas(32) double lowGain[kLanes];
  alignas(32) double midGain[kLanes];
  alignas(32) double highGain[kLanes];
  // The loop's terms (see DelayUnit's step).
  alignas(32) double loopFeedback[kLanes];
  alignas(32) double drive[kLanes];
  alignas(32) double push[kLanes];
  alignas(32) double trim[kLanes];
  alignas(32) double halfDrive[kLanes];
  alignas(32) double clean[kLanes];
  alignas(32) double level[kLanes];
  // The clipper's state; phase is 0 or 1.
  alignas(32) double phase[kLanes];
  alignas(32) double inversePeak[kLanes];
  alignas(32) double latchedInverse[kLanes];
  alignas(32) double windowPeak[kLanes];
  alignas(32) double peak[kLanes];
  alignas(32) double runningMaxPeak[kLanes];
  alignas(32) double latchedPeak[kLanes];
  alignas(32) double lastSignInput[kLanes];
  // The right unit's input is the pre-tap's output of the same frame times
  // this.
  double rightScale = 1.0;

  // The buffers, read and written one unit at a time.
  double* data[kUnits];
  DelayBuffer::Positions pos[kUnits];
  DelayTimeRamp* ramp[kUnits];
  double length[kUnits];
  double readPos[kUnits];
  int32_t delayLength[kUnits];
  bool gliding[kUnits];
};

// n frames through the units. in holds per frame four inputs in lane order
// (the right unit's is ignored), out receives per frame the four outputs in
// lane order.
void DelayLanesBlock(DelayLanes& s, const double* in, double* out, int n);

}  // namespace morvanta
