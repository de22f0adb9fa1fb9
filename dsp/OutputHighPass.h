// OutputHighPass: the bus high-pass at 30 Hz (Q 0.8) that removes DC and
// sub-sonic content from one output channel; one Biquad section.
#pragma once

#include "dsp/Biquad.h"

namespace morvanta {

class OutputHighPass {
 public:
  OutputHighPass() { SetSampleRate(44100.0); }
  // Recomputes the coefficients for fs; the filter state is kept.
  void SetSampleRate(double fs) { section_.Init(Biquad::kHighPass, 30.0 / fs, 0.8); }
  float Process(float x) { return section_.Process(x); }
  void Clear() { section_.Clear(); }
  const Biquad& Section() const { return section_; }

 private:
  Biquad section_;
};

}  // namespace morvanta
