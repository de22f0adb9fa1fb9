// The oscillator's partial shapes ("Osc shape", and the step row's offsets
// that wrap around them) and the pulse-width modes of the two pulse shapes.
#pragma once

#include <cstdint>

namespace morvanta {

enum OscShape : int32_t {
  kOscSine = 0,
  kOscTriangle = 1,
  kOscSquare = 2,
  kOscSaw = 3,
  kOscMultiPulse = 4,
};
constexpr int kNumOscShapes = 5;

// "Pulse width Mode": HARM keeps every partial, CLASSIC stops the sum at a
// fundamental in its low half so the wave keeps a classic pulse outline.
enum PulseWidthMode : int32_t {
  kPulseHarmonic = 0,
  kPulseClassic = 1,
};

}  // namespace morvanta
