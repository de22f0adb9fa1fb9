// HarmonicsLfoBank: triangles of period 4 in phase units; the first one
// moves at half the others' depth.
#include "engine/HarmonicsLfoBank.h"

#include <cstdint>
#include <cstring>

#include "dsp/VoiceKernels.h"

namespace morvanta {

bool HarmonicsLfoBank::Tick(double speed, double depth, const double* levels, double invRate,
                            double* gains) {
  if (!(speed == stepSpeed_ && invRate == stepInvRate_)) {
    // The phase steps follow the speed and the rate alone.
    stepSpeed_ = speed;
    stepInvRate_ = invRate;
    const double speedFactor = 9.9 * speed + 0.1;
    for (int k = 0; k < kCount; ++k) {
      const double r = (k * 0.0625 * 1.763 + 0.0625) * k * 0.025 + 0.5;
      steps_[k] = r * speedFactor * invRate;
    }
  }
  const int lanes = TickHarmonicsLanes(phases_, steps_, depth, levels, gains);
  if (lanes >= 0) return lanes != 0;
  uint64_t differ = 0;  // the bits in which any gain moved
  for (int k = 0; k < kCount; ++k) {
    double p = phases_[k] + steps_[k];
    while (p > 4.0) p -= 4.0;
    phases_[k] = p;
    const double tri = p < 1.0 ? p : (p < 3.0 ? 2.0 - p : p - 4.0);
    double m = tri * depth;
    if (k == 0) m *= 0.5;
    const double g = (m + 1.0) * levels[k] * levels[k];
    uint64_t now, before;
    std::memcpy(&now, &g, sizeof now);
    std::memcpy(&before, &gains[k], sizeof before);
    differ |= now ^ before;
    gains[k] = g;
  }
  return differ != 0;
}

}  // namespace morvanta
