// TubeDriveClipper: the bus tube-drive soft clipper, one per channel.
#pragma once

namespace morvanta {

class TubeDriveClipper {
 public:
  double Process(double x, double) { return x; }
};

}  // namespace morvanta
