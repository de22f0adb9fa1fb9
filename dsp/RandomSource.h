// RandomSource: the engine's random values (pan spread, random LFO shapes,
// pitch noise), a uniform integer 0..32767 from the standard generator divided
// by 32767. The engine owns one and hands it to the units that draw from it.
#pragma once

#include <cstdlib>

namespace morvanta {

class RandomSource {
 public:
  // glibc's rand() spans 0..2^31-1; only its low 15 bits are taken so that
  // the result stays in 0..1 on every platform.
  double Unit() { return (std::rand() % 32768) / 32767.0; }

  // The source a unit draws from until its owner injects another.
  static RandomSource& Fallback() {
    static RandomSource shared;
    return shared;
  }
};

}  // namespace morvanta
