// DelayTimeRamp: the glide's position as a function of elapsed samples; the
// acceleration phase is capped at half the glide so the profile stays an S.
#include "dsp/DelayTimeRamp.h"

#include <cmath>

namespace morvanta {

void DelayTimeRamp::Set(double startValue, double targetValue, double durationSamples,
                        double accelSamples) {
  elapsed = 0.0;
  duration = 0.0;
  target = targetValue;
  if (!(durationSamples > 0.0)) {
    start = current = targetValue;
    return;
  }
  direction = targetValue < startValue ? -1.0 : 1.0;
  start = current = startValue;
  duration = durationSamples;
  invDuration = 1.0 / durationSamples;
  const double distance = std::fabs(targetValue - startValue);
  if (accelSamples > 0.0) {
    const double acc = accelSamples < durationSamples * 0.5 ? accelSamples : durationSamples * 0.5;
    accelTime = acc;
    accel = distance / ((durationSamples - acc) * acc);
    accelDistance = accel * acc * acc * 0.5;
    velocity = accel * acc;
    cruiseEndDistance = (durationSamples - 2.0 * acc) * velocity + accelDistance;
  } else {
    accelTime = 0.0;
    velocity = distance / durationSamples;
    accel = 0.0;
  }
}

}  // namespace morvanta
