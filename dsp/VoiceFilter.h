// VoiceFilter: a voice's zero-delay state-variable filter with a soft-clipped
// band-pass in the loop and a low-pass/band-pass/high-pass crossfade.
#pragma once

#include "dsp/VoiceKernels.h"

namespace morvanta {

class VoiceFilter {
 public:
  // Clears the cutoff smoother and both integrators; keeps the controls.
  void Reset();
  // Runs the cutoff smoother over `samples` zero-input samples (from a reset
  // filter the integrators stay at 0, so only the smoother moves).
  void Preroll(int samples);
  double Process(double x);
  // Process in two halves around ProcessFilterLanes: the filter's state and
  // controls with the input go into a lane, and the moved-on state comes
  // back with the output.
  void ToLane(FilterLanes& lanes, int lane, double x) const {
    lanes.smoother[lane] = smoother_;
    lanes.s1[lane] = s1_;
    lanes.s2[lane] = s2_;
    lanes.cutoffKHz[lane] = cutoffKHz;
    lanes.prewarp[lane] = prewarp;
    lanes.damping[lane] = damping;
    lanes.mix[lane] = mix;
    lanes.x[lane] = x;
    lanes.tanKey[lane] = tanKey_;
    lanes.tanValue[lane] = tanValue_;
  }
  double FromLane(const FilterLanes& lanes, int lane) {
    smoother_ = cutoff_ = lanes.smoother[lane];
    s1_ = lanes.s1[lane];
    s2_ = lanes.s2[lane];
    tanKey_ = lanes.tanKey[lane];
    tanValue_ = lanes.tanValue[lane];
    return lanes.y[lane];
  }

  // Controls written by the render frame before each Process.
  double prewarp = 3.1415927410125732 / 44100.0;  // pi / fs
  double cutoffKHz = 22.0;
  double damping = 2.0;
  // damping = 1 / (39.5 r^2 + 0.5) for the resonance r (0..1).
  void SetResonance(double r) {
    if (r == resonanceKey_) return;
    resonanceKey_ = r;
    damping = 1.0 / (r * r * 39.5 + 0.5);
  }
  double mix = 0.0;

  double Cutoff() const { return cutoff_; }

 private:
  double cutoff_ = 0.0;
  double smoother_ = 0.0;
  double s2_ = 0.0;
  double s1_ = 0.0;
  double resonanceKey_ = 0.0;
  float tanKey_ = 0.0f;
  float tanValue_ = 0.0f;
};

}  // namespace morvanta
