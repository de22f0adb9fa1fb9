// LfoRate: the free curve and the ten tempo factors.
#include "engine/LfoRate.h"

namespace morvanta {

double LfoRate(double value, bool sync, double tempoBpm) {
  double v = value > 0.0 ? value : 0.0;
  if (v > 1.0) v = 1.0;
  if (!sync) return 64.0 * v * v;
  static constexpr double kFactors[10] = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                                          1.0 / 3,  1.0 / 2,  1.0,     2.0,     4.0};
  const double tempo = tempoBpm > 0.0 && tempoBpm < 1e6 ? tempoBpm : 0.0;
  return tempo / 30.0 * kFactors[static_cast<int>(9.0 * v)];
}

}  // namespace morvanta
