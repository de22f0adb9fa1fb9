// DelayTimeRamp: glides a delay length from a start to a target over a number
// of samples, in a straight line or an S-curve (accelerate, cruise, decelerate).
#pragma once

namespace morvanta {

struct DelayTimeRamp {
  void Set(double startValue, double targetValue, double durationSamples, double accelSamples);
  // Inline: the delay lines step it every sample while it runs.
  void Advance(int n);
  bool Running() const { return elapsed < duration; }

  double start = 0.0;
  double target = 0.0;
  double duration = -1.0;  // -1 when idle
  double invDuration = 0.0;
  double accelTime = 0.0;
  double elapsed = 0.0;
  double accel = 0.0;
  double velocity = 0.0;
  double direction = 1.0;
  double current = 0.0;
  double accelDistance = 0.0;
  double cruiseEndDistance = 0.0;
};

inline void DelayTimeRamp::Advance(int n) {
  if (duration < 0.0) return;
  elapsed += n;
  // The last step lands on the target itself: callers stop advancing once
  // elapsed reaches the duration, and the curve's own value there may fall a
  // rounding short (a whole sample once truncated to an integer length).
  if (elapsed >= duration) {
    duration = -1.0;
    current = target;
    return;
  }
  const double t = elapsed;
  if (accelTime <= 0.0) {
    current = start + direction * velocity * t;
  } else if (t < accelTime) {
    current = start + direction * accel * t * t * 0.5;
  } else if (t < duration - accelTime) {
    current = start + direction * ((t - accelTime) * velocity + accelDistance);
  } else {
    const double u = t - duration + accelTime;
    const double r = accel * u * 0.5;
    current = start + direction * ((velocity - r) * u + cruiseEndDistance);
  }
}

}  // namespace morvanta
