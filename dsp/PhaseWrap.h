// PhaseWrap: x - floor(x), the fractional part a phase accumulator keeps.
// A phase that moved by less than a cycle is handled by one compare and one
// subtraction (the same values the floor gives); anything else takes the floor.
#pragma once

#include <cmath>

namespace morvanta {

inline double WrapPhase(double x) {
  // Zero itself goes through the floor: -0 - floor(-0) is +0.
  if (x > 0.0 && x < 2.0) return x >= 1.0 ? x - 1.0 : x;
  return x - std::floor(x);
}

}  // namespace morvanta
