// ModSineLanes: four sine-modulated delay lines (the chorus's) side by side,
// for the vector kernel that runs them together. The lines stay independent:
// each lane computes exactly what ModDelayLine::ProcessSine computes for its
// line, with the same operations in the same order.
#pragma once

#include "dsp/DelayBuffer.h"
#include "dsp/DelayTimeRamp.h"

namespace morvanta {

struct ModSineLanes {
  static constexpr int kLanes = 4;

  alignas(32) double delayLength[kLanes];
  alignas(32) double lengthD[kLanes];
  alignas(32) double readPos[kLanes];
  alignas(32) double modFactor[kLanes];
  alignas(32) double modPhase[kLanes];
  alignas(32) double fs[kLanes];
  alignas(32) double feedback[kLanes];
  alignas(32) double gain[kLanes];
  alignas(32) double depth[kLanes];
  alignas(32) double rate[kLanes];
  // The loop filter: its Q, last cut-off and coefficients, and its state.
  alignas(32) double q[kLanes];
  alignas(32) double fc[kLanes];
  alignas(32) double b0[kLanes];
  alignas(32) double b1[kLanes];
  alignas(32) double b2[kLanes];
  alignas(32) double a1[kLanes];
  alignas(32) double a2[kLanes];
  alignas(32) double z1[kLanes];
  alignas(32) double z2[kLanes];
  double* data[kLanes];
  DelayBuffer::Positions pos[kLanes];
  DelayTimeRamp* ramp[kLanes];
  bool gliding[kLanes];
};

// n samples through the four lines; lane k reads x[k] and writes y[k] (which
// may be another lane's input: each frame's inputs are all read before its
// outputs are written).
void ModSineBlock(ModSineLanes& s, const double* const* x, double* const* y, int n);

}  // namespace morvanta
