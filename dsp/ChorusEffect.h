// ChorusEffect: the bus chorus ("Mod ..." parameters): per channel two
// sine-modulated delay lines whose difference is mixed with the dry signal.
#pragma once

#include "dsp/ModDelayLine.h"
#include "dsp/EffectSettings.h"

namespace morvanta {

class ChorusEffect {
 public:
  // Makes the lines' room for fs (allocates only above the rates already
  // prepared for); not for the audio path.
  void Reserve(double fs);
  // Sizes the lines for fs (only when the rate changed; never allocates);
  // the render frame's per-block update then finds them ready.
  void SetSampleRate(double fs);
  void BlockUpdate(double fs, const ChorusSettings& p);
  void Process(double& left, double& right) {
    const double yL = firstLeft_.ProcessSine(left) - secondLeft_.ProcessSine(left);
    left = wetGain_ * yL + dryGain_ * left;
    const double yR = firstRight_.ProcessSine(right) - secondRight_.ProcessSine(right);
    right = dryGain_ * right + wetGain_ * yR;
  }
  // Process over n frames in place, the four lines (independent of each
  // other) side by side in vector lanes.
  void ProcessBlock(double* left, double* right, int n);
  void Clear();

  const ModDelayLine& Line(int index) const;

 private:
  ModDelayLine firstLeft_, firstRight_, secondLeft_, secondRight_;
  double wetGain_ = 0.0;  // sqrt(mix)
  double dryGain_ = 1.0;  // sqrt(1 - mix)
};

}  // namespace morvanta
