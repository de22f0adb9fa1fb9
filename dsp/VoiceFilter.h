// VoiceFilter: a voice's zero-delay state-variable filter with a soft-clipped
// band-pass in the loop and a low-pass/band-pass/high-pass crossfade.
#pragma once

#include "dsp/VoiceKernels.h"

namespace morvanta {

class VoiceFilter {
 public:
  VoiceFilter() = default;
  // A filter bound to a lane keeps its state there; it is neither copied nor moved.
  VoiceFilter(const VoiceFilter&) = delete;
  VoiceFilter& operator=(const VoiceFilter&) = delete;

  // Clears the cutoff smoother and both integrators; keeps the controls.
  void Reset();
  // Runs the cutoff smoother over `samples` zero-input samples (from a reset
  // filter the integrators stay at 0, so only the smoother moves).
  void Preroll(int samples);
  double Process(double x);

  // Moves the filter's state into a lane of `lanes`, where ProcessFilterLanes
  // moves it on side by side with other voices; the methods above then work
  // on it there. The lanes must outlive the filter's use.
  void BindLane(FilterLanes& lanes, int lane);
  // Copies the controls into the bound lane (before ProcessFilterLanes).
  void ControlsToLane() const {
    lanes_->cutoffKHz[lane_] = cutoffKHz;
    lanes_->prewarp[lane_] = prewarp;
    lanes_->damping[lane_] = damping;
    lanes_->mix[lane_] = mix;
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

  // The smoothed cutoff the last step used.
  double Cutoff() const { return lanes_ != nullptr ? lanes_->smoother[lane_] : own_.smoother; }

 private:
  // The cutoff smoother, the two integrators, and the tangent with its angle.
  struct State {
    double smoother, s1, s2;
    float tanKey, tanValue;
  };
  State Load() const;
  void Store(const State& s);

  State own_ = {};  // the state while no lane holds it
  FilterLanes* lanes_ = nullptr;
  int lane_ = 0;
  double resonanceKey_ = 0.0;
};

}  // namespace morvanta
