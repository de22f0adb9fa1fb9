// VoiceKernels: the two per-sample steps every sounding voice takes, the sine
// partial sum and the voice filter, run across voices side by side. Each lane
// is one voice and computes exactly what the one-voice code computes (the same
// operations in the same order, nothing fused), so the samples do not change
// with the number of lanes or the instruction set.
#pragma once

#include <cstdint>

#include "dsp/FastSine.h"

namespace morvanta {

// Up to sixteen voices in structure-of-arrays form; lanes past the count in use
// hold finite leftovers whose results nobody reads.
constexpr int kKernelLanes = 16;

// The sine sum of one voice: partial k (0..15) has the angle x0 + k*dx with
// dx = x0 * stretch and the weight amp[k]; `top` is the highest partial with a
// non-zero weight (-1 when none), the partials above it are left out.
struct SineLanes {
  alignas(64) double x0[kKernelLanes];
  alignas(64) double stretch[kKernelLanes];
  alignas(64) double top[kKernelLanes];
  alignas(64) double amp[16][kKernelLanes];  // [partial][lane]
  alignas(64) double sum[kKernelLanes];      // the result
};

// The sums of the other partial shapes (triangle, square, saw, multi-pulse),
// one voice per lane: partial k has the phase (stretch * k + 1) * phase
// wrapped to 0..1 and the weight gain[k] * damping[k]; partials whose gain is
// not above 0 are left out. `classic` is 1 where the pulse-width mode stops a
// pulse at a fundamental in its low half. Partials above `top` add nothing.
struct ShapeLanes {
  alignas(64) double phase[kKernelLanes];
  alignas(64) double stretch[kKernelLanes];
  alignas(64) double pulseWidth[kKernelLanes];
  alignas(64) double classic[kKernelLanes];
  alignas(64) double top[kKernelLanes];  // the highest partial whose gain is above 0 (-1: none)
  alignas(64) double gain[16][kKernelLanes];     // [partial][lane]
  alignas(64) double damping[16][kKernelLanes];  // [partial][lane]
};

// The sums in `shape` for the lanes whose bit is set in `lanes`, into out[i]
// (64-byte aligned; the other lanes keep theirs). The multi-pulse reads the
// level of the partial under its phase from levels[0..15].
void SumShapeLanes(const ShapeLanes& s, uint32_t lanes, int shape, const double* levels, double* out);

// One voice's sixteen partials side by side. GrowPartials: each growth g_k
// becomes g_k * (1 + k * step), held to `ceiling` and set to 0 below
// `floor`. WeighPartials: each weight is the gain min(level * g * g, 1)
// (1 for NaN), 0 where the gain is not above 0, times the damping factor;
// answers the highest partial whose weight is not 0 (-1: none).
void GrowPartials(double* growth, double step, double ceiling, double floor);
int WeighPartials(const double* levels, const double* growth, const double* damping, double* weights);

// The one-voice sum the lanes reproduce: sines by the recurrence
// sin((k+1)x) = 2cos(x)sin(kx) - sin((k-1)x), as four interleaved chains
// (steps of 2 and 4 partials), summed in pairwise groups of eight.
inline double SinePartialSum(double x0, double stretch, const double* amp, int ampStride, int top) {
  double s[16];
  s[0] = FastSine(x0);
  if (top <= 0) return top < 0 ? 0.0 : amp[0] * s[0];
  const double dx = x0 * stretch;
  const double c1 = 2.0 * FastCosine(dx);
  const double c2 = c1 * c1 - 2.0;
  const double c4 = c2 * c2 - 2.0;
  s[1] = FastSine(x0 + dx);
  s[2] = c1 * s[1] - s[0];
  s[3] = c1 * s[2] - s[1];
  for (int k = 4; k < 8; ++k) s[k] = c2 * s[k - 2] - s[k - 4];
  auto group = [&](int b) {
    auto p = [&](int k) { return amp[k * ampStride] * s[k]; };
    return ((p(b) + p(b + 1)) + (p(b + 2) + p(b + 3))) + ((p(b + 4) + p(b + 5)) + (p(b + 6) + p(b + 7)));
  };
  const double lo = group(0);
  if (top < 8) return lo;
  for (int k = 8; k < 16; ++k) s[k] = c4 * s[k - 4] - s[k - 8];
  return lo + group(8);
}

// Writes sum[i] for lanes 0..count-1.
void SumSineLanes(SineLanes& lanes, int count);

// The voice filter's state and controls per lane (a VoiceFilter bound to a
// lane keeps its state here).
struct FilterLanes {
  alignas(64) double smoother[kKernelLanes];
  alignas(64) double s1[kKernelLanes];
  alignas(64) double s2[kKernelLanes];
  alignas(64) double cutoffKHz[kKernelLanes];
  alignas(64) double prewarp[kKernelLanes];
  alignas(64) double damping[kKernelLanes];
  alignas(64) double mix[kKernelLanes];
  alignas(64) double x[kKernelLanes];       // the input
  alignas(64) double y[kKernelLanes];       // the output
  alignas(64) double active[kKernelLanes];  // 1: take the step, 0: keep the state
  // The output's gains into the left and right sums, and y times them.
  alignas(64) double gainLeft[kKernelLanes];
  alignas(64) double gainRight[kKernelLanes];
  alignas(64) double left[kKernelLanes];
  alignas(64) double right[kKernelLanes];
  alignas(64) float tanKey[kKernelLanes];
  alignas(64) float tanValue[kKernelLanes];
};

// One filter step for the active lanes among 0..count-1: y from x, the state
// moved on, left and right from y and the gains. The other lanes keep their
// state (their outputs mean nothing).
void ProcessFilterLanes(FilterLanes& lanes, int count);

// The harmonics LFO bank's sample, its sixteen triangles side by side: each
// phase moves on by its step and wraps past 4, the triangle (the first at
// half depth) scales its level's square into the gain. Answers 1 when any
// gain's bits changed, 0 when none did, and -1, having changed nothing, when
// a phase would need more than one wrap (the caller then takes the steps one
// by one). `phases` and `steps` are aligned to 64 bytes.
int TickHarmonicsLanes(double* phases, const double* steps, double depth, const double* levels, double* gains);


}  // namespace morvanta
