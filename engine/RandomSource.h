// RandomUnit: the engine's random source, a uniform integer 0..32767 from the
// standard generator divided by 32767 (pan spread, random LFO shapes, pitch noise).
#pragma once

#include <cstdlib>

namespace morvanta {

// glibc's rand() spans 0..2^31-1; only its low 15 bits are taken so that the
// result stays in 0..1 on every platform.
inline double RandomUnit() { return (std::rand() % 32768) / 32767.0; }

}  // namespace morvanta
