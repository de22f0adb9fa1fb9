// LfoRate: an LFO frequency parameter (0..1) to hertz, free (64 v^2) or as a
// fraction of the host's eighth-note rate.
#pragma once

namespace morvanta {

// tempoBpm 0 (no host tempo) gives rate 0 when synchronised.
inline double LfoRate(double value, bool sync, double tempoBpm) {
  double v = value > 0.0 ? value : 0.0;
  if (v > 1.0) v = 1.0;
  if (!sync) return 64.0 * v * v;
  static constexpr double kFactors[10] = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                                          1.0 / 3,  1.0 / 2,  1.0,     2.0,     4.0};
  const double tempo = tempoBpm > 0.0 && tempoBpm < 1e6 ? tempoBpm : 0.0;
  return tempo / 30.0 * kFactors[static_cast<int>(9.0 * v)];
}

}  // namespace morvanta
