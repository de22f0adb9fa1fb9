// VoiceKernels: the two per-sample steps every sounding voice takes, the sine
// partial sum and the voice filter, run across voices side by side. Each lane
// is one voice and computes exactly what the one-voice code computes (the same
// operations in the same order, nothing fused), so the samples do not change
// with the number of lanes or the instruction set.
#pragma once

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

// The one-voice sum the lanes reproduce: sines by the recurrence
// sin((k+1)x) = 2cos(x)sin(kx) - sin((k-1)x), four chains interleaved.
inline double SinePartialSum(double x0, double stretch, const double* amp, int ampStride, int top) {
  auto a = [amp, ampStride](int k) { return amp[k * ampStride]; };
  const double s0 = FastSine(x0);
  if (top <= 0) return top < 0 ? 0.0 : a(0) * s0;
  const double dx = x0 * stretch;
  const double c1 = 2.0 * FastCosine(dx);
  const double c2 = c1 * c1 - 2.0;
  const double c4 = c2 * c2 - 2.0;
  const double s1 = FastSine(x0 + dx);
  const double s2 = c1 * s1 - s0;
  const double s3 = c1 * s2 - s1;
  const double s4 = c2 * s2 - s0;
  const double s5 = c2 * s3 - s1;
  const double s6 = c2 * s4 - s2;
  const double s7 = c2 * s5 - s3;
  const double lo = (a(0) * s0 + a(1) * s1) + (a(2) * s2 + a(3) * s3) +
                    ((a(4) * s4 + a(5) * s5) + (a(6) * s6 + a(7) * s7));
  if (top < 8) return lo;
  const double s8 = c4 * s4 - s0;
  const double s9 = c4 * s5 - s1;
  const double s10 = c4 * s6 - s2;
  const double s11 = c4 * s7 - s3;
  const double s12 = c4 * s8 - s4;
  const double s13 = c4 * s9 - s5;
  const double s14 = c4 * s10 - s6;
  const double s15 = c4 * s11 - s7;
  const double hi = (a(8) * s8 + a(9) * s9) + (a(10) * s10 + a(11) * s11) +
                    ((a(12) * s12 + a(13) * s13) + (a(14) * s14 + a(15) * s15));
  return lo + hi;
}

// Writes sum[i] for lanes 0..count-1.
void SumSineLanes(SineLanes& lanes, int count);

// The voice filter's state and controls per lane (see VoiceFilter, which
// loads and stores its lane around each step).
struct FilterLanes {
  alignas(64) double smoother[kKernelLanes];
  alignas(64) double s1[kKernelLanes];
  alignas(64) double s2[kKernelLanes];
  alignas(64) double cutoffKHz[kKernelLanes];
  alignas(64) double prewarp[kKernelLanes];
  alignas(64) double damping[kKernelLanes];
  alignas(64) double mix[kKernelLanes];
  alignas(64) double x[kKernelLanes];  // the input
  alignas(64) double y[kKernelLanes];  // the output
  alignas(64) float tanKey[kKernelLanes];
  alignas(64) float tanValue[kKernelLanes];
};

// One filter step for lanes 0..count-1: y from x, the state moved on.
void ProcessFilterLanes(FilterLanes& lanes, int count);

}  // namespace morvanta
