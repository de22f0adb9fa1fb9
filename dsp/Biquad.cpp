// Biquad: the coefficient formulas of the three section types the instrument
// uses live in the header, where the per-sample callers inline them.
#include "dsp/Biquad.h"

namespace morvanta {

void Biquad::Init(int filterType, double fc, double q) {
  type = filterType;
  Fc = fc;
  Q = q;
  Compute();
}

}  // namespace morvanta
