// ChorusEffect: "Mod Mode" picks a 1 ms or 10 ms base delay; the right side
// runs slightly longer delays, faster rates and a 0.96 gain for width.
#include "dsp/ChorusEffect.h"

#include <cmath>
#include <initializer_list>

namespace morvanta {

namespace {
inline double Unit(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }
}  // namespace

void ChorusEffect::Reserve(double fs) {
  const float rate = static_cast<float>(fs);
  for (ModDelayLine* line : {&firstLeft_, &firstRight_, &secondLeft_, &secondRight_}) line->Reserve(rate);
}

void ChorusEffect::SetSampleRate(double fs) {
  const float rate = static_cast<float>(fs);
  firstLeft_.SetSampleRate(rate, false);
  firstRight_.SetSampleRate(rate, false);
  secondLeft_.SetSampleRate(rate, false);
  secondRight_.SetSampleRate(rate, false);
}

void ChorusEffect::BlockUpdate(double fs, const ChorusSettings& p) {
  const double mix = Unit(p.mix);
  const double dl = Unit(p.delay);
  const double fb = Unit(p.feedback);
  const double amp = Unit(p.amp);
  const double sp = Unit(p.speed);
  const int mode = p.mode != 0 ? 1 : 0;
  const double base = (9 * mode + 1) * 0.001;
  const double n = 9 * mode + 1;
  const double D = 0.67 * dl;
  const double gain = (1.0 - 0.3 * fb) * mix;
  const double depth = 0.2 * amp + 0.01;
  const double rate = 8.0 * sp + 0.01;
  const float rateF = static_cast<float>(fs);

  ModDelayLine* first[2] = {&firstLeft_, &firstRight_};
  ModDelayLine* second[2] = {&secondLeft_, &secondRight_};
  for (int s = 0; s < 2; ++s) {
    ModDelayLine& a = *first[s];
    a.SetSampleRate(rateF, false);
    a.SetOutputGain(s == 0 ? gain : gain * 0.96);
    a.SetDelayTarget(s == 0 ? (base + 0.05 * dl) * fs : ((base + 0.05) * dl + base) * fs);
    a.SetFeedback(0.8 * fb);
    a.SetModDepth(depth);
    a.SetModRate(s == 0 ? rate : rate + 0.1);

    ModDelayLine& b = *second[s];
    b.SetSampleRate(rateF, false);
    b.SetOutputGain(s == 0 ? gain : gain * 0.96);
    b.SetDelayTarget(s == 0 ? (0.002 * n + 0.05 * D) * fs
                            : ((0.001 * n + 0.05) * D + 0.002 * n) * fs);
    b.SetFeedback(0.8 * fb);
    b.SetModDepth(depth);
    b.SetModRate(s == 0 ? rate * 0.73 : rate * 0.73 + 0.1);
  }
  wetGain_ = std::sqrt(mix);
  dryGain_ = std::sqrt(1.0 - mix);
}

void ChorusEffect::ProcessBlock(double* left, double* right, int n) {
  // A single frame costs less in the scalar lines than in and out of lanes.
  if (n == 1) return Process(*left, *right);
  constexpr int kChunk = 64;
  double firstL[kChunk], secondL[kChunk], firstR[kChunk], secondR[kChunk];
  ModDelayLine* const lines[4] = {&firstLeft_, &secondLeft_, &firstRight_, &secondRight_};
  double* const out[4] = {firstL, secondL, firstR, secondR};
  for (int start = 0; start < n; start += kChunk) {
    const int k = n - start < kChunk ? n - start : kChunk;
    double* l = left + start;
    double* r = right + start;
    const double* const in[4] = {l, l, r, r};
    ModDelayLine::ProcessSineFour(lines, in, out, k);
    for (int s = 0; s < k; ++s) l[s] = wetGain_ * (firstL[s] - secondL[s]) + dryGain_ * l[s];
    for (int s = 0; s < k; ++s) r[s] = dryGain_ * r[s] + wetGain_ * (firstR[s] - secondR[s]);
  }
}

void ChorusEffect::Clear() {
  firstLeft_.Clear();
  firstRight_.Clear();
  secondLeft_.Clear();
  secondRight_.Clear();
}

const ModDelayLine& ChorusEffect::Line(int index) const {
  switch (index) {
    case 1: return firstRight_;
    case 2: return secondLeft_;
    case 3: return secondRight_;
    default: return firstLeft_;
  }
}

}  // namespace morvanta
