// StereoDelay: the bus echo ("Delay ..." parameters), three delay units with
// colour filters, drive, time glide and tempo sync.
#pragma once

#include "instrument/ParamSnapshot.h"

namespace morvanta {

class StereoDelay {
 public:
  void BlockUpdate(double, double, const ParamSnapshot&) {}
  void Process(double&, double&) {}
  void Clear() {}
};

}  // namespace morvanta
