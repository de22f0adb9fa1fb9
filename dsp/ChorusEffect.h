// ChorusEffect: the stereo chorus/flanger on the bus ("Mod ..." parameters),
// two modulated delay lines with feedback.
#pragma once

#include "instrument/ParamSnapshot.h"

namespace morvanta {

class ChorusEffect {
 public:
  void SetSampleRate(double) {}
  void BlockUpdate(double, const ParamSnapshot&) {}
  void Process(double&, double&) {}
  void Clear() {}
};

}  // namespace morvanta
