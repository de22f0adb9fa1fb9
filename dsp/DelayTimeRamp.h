// DelayTimeRamp: glides a delay length from a start to a target over a number
// of samples, in a straight line or an S-curve (accelerate, cruise, decelerate).
#pragma once

namespace morvanta {

struct DelayTimeRamp {
  void Set(double startValue, double targetValue, double durationSamples, double accelSamples);
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

}  // namespace morvanta
