// TubeDriveClipper: a peak-normalised soft clipper (bus tube drive and the
// delay's drive); the peak it normalises by is measured on alternate calls.
#pragma once

#include <cstdint>

namespace morvanta {

class TubeDriveClipper {
 public:
  double Process(double x, double amount);

 private:
  double windowPeak_ = 0.0;
  double runningMaxPeak_ = -99999.0;
  double inversePeak_ = 0.0;
  double peak_ = 0.0;
  double latchedInverse_ = 0.0;
  double latchedPeak_ = 0.0;
  double lastSignInput_ = -99999.0;
  int32_t phase_ = 0;
};

}  // namespace morvanta
