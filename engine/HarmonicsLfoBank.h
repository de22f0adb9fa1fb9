// HarmonicsLfoBank: sixteen slow triangle LFOs at drifting rates, one per
// harmonic, shared by all voices; they animate the harmonic levels.
#pragma once

namespace morvanta {

class HarmonicsLfoBank {
 public:
  static constexpr int kCount = 16;

  // Advances every phase one sample and writes the sixteen harmonic gains
  // (m + 1) * h^2 from the sixteen "Harmonics" levels h (0..1). True when
  // any gain differs from what `gains` held, bit for bit.
  bool Tick(double speed, double depth, const double* levels, double invRate, double* gains);

  double Phase(int k) const { return phases_[k]; }

 private:
  alignas(64) double phases_[kCount] = {};
  alignas(64) double steps_[kCount] = {};
  double stepSpeed_ = -1.0, stepInvRate_ = -1.0;  // what steps_ were made for
};

}  // namespace morvanta
