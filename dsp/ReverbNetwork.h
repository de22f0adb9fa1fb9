// ReverbNetwork: the bus reverb, 31 cascaded triangle-modulated delay lines
// per side fed through damping filter pairs, with pre-delay, high-pass and M/S.
#pragma once

#include <cstdint>

#include "dsp/ModDelayLine.h"
#include "dsp/EffectSettings.h"

namespace morvanta {

// A single-precision second-order section in direct form I: its low-pass
// coefficients feed the damping pairs, its high-pass runs here; inputs carry
// a tiny offset against denormals. Cookbook naming, as Biquad's: b feeds
// forward, a back.
struct RbjSection {
  void Set(double frequency, double sampleRate);
  float HighPass(float input) {
    const float x = input + kDenormalOffset;
    const float y = hpB0 * x + hpB1 * hpX1 + hpB2 * hpX2 - a1 * hpY1 - a2 * hpY2;
    hpX2 = hpX1;
    hpX1 = x;
    hpY2 = hpY1;
    hpY1 = y;
    return y;
  }
  void Clear() { hpX1 = hpX2 = hpY1 = hpY2 = 0.0f; }

  static constexpr float kDenormalOffset = 2.3283064365386963e-10f;  // 2^-32
  float frequency = 0.0f, sampleRate = 44100.0f, Q = 0.5f;
  float a1 = 0.0f, a2 = 0.0f;
  float lpB0 = 1.0f, lpB1 = 0.0f, lpB2 = 0.0f;
  float hpB0 = 1.0f, hpB1 = 0.0f, hpB2 = 0.0f;
  float hpX1 = 0.0f, hpX2 = 0.0f, hpY1 = 0.0f, hpY2 = 0.0f;
};

// The damping filter pairs of one line index on both sides, kept side by
// side so that the four sections run as one vector: lanes 0 and 1 are the
// left pair's first and second section, lanes 2 and 3 the right pair's.
// Each lane is an RbjSection's low-pass; each pair mixes its two by g1, g2.
struct DampingFilterPairs {
  void SetLane(int lane, const RbjSection& s) {
    b0[lane] = s.lpB0;
    b1[lane] = s.lpB1;
    b2[lane] = s.lpB2;
    a1[lane] = s.a1;
    a2[lane] = s.a2;
  }
  void Process(float inL, float inR, float* outL, float* outR) {
    const float l = inL + RbjSection::kDenormalOffset;
    const float r = inR + RbjSection::kDenormalOffset;
    alignas(16) const float x[4] = {l, l, r, r};
    alignas(16) float y[4];
    for (int k = 0; k < 4; ++k) y[k] = b0[k] * x[k] + b1[k] * x1[k] + b2[k] * x2[k] - a1[k] * y1[k] - a2[k] * y2[k];
    for (int k = 0; k < 4; ++k) {
      x2[k] = x1[k];
      x1[k] = x[k];
      y2[k] = y1[k];
      y1[k] = y[k];
    }
    *outL = static_cast<float>(g1 * y[0] + g2 * y[1]);
    *outR = static_cast<float>(g1 * y[2] + g2 * y[3]);
  }
  void Clear() {
    for (int k = 0; k < 4; ++k) x1[k] = x2[k] = y1[k] = y2[k] = 0.0f;
  }

  alignas(16) float b0[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  alignas(16) float b1[4] = {};
  alignas(16) float b2[4] = {};
  alignas(16) float a1[4] = {};
  alignas(16) float a2[4] = {};
  alignas(16) float x1[4] = {};
  alignas(16) float x2[4] = {};
  alignas(16) float y1[4] = {};
  alignas(16) float y2[4] = {};
  double g1 = 1.0, g2 = 0.0;
};

class ReverbNetwork {
 public:
  static constexpr int kLines = 31;

  ReverbNetwork();
  ReverbNetwork(const ReverbNetwork&) = delete;
  ReverbNetwork& operator=(const ReverbNetwork&) = delete;

  // Makes the lines' room for fs (allocates only above the rates already
  // prepared for); not for the audio path.
  void Reserve(double fs);
  // The lines take the rate (resized and cleared only when it changed; never
  // allocating), then the network recomputes; called from the instrument's reset.
  void SetSampleRate(double fs);
  void UpdateSettings(const ReverbSettings& s);
  void Recompute();
  void Process(double inL, double inR, double* wetL, double* wetR);
  void Clear();

  const ModDelayLine& Line(int side, int i) const { return side == 0 ? linesL_[i] : linesR_[i]; }
  const ModDelayLine& PreDelay(int side) const { return side == 0 ? preDelayL_ : preDelayR_; }
  const DampingFilterPairs& Pairs(int i) const { return pairs_[i]; }
  double TimeScale() const { return timeScale_; }

 private:
  DampingFilterPairs pairs_[kLines];
  ModDelayLine linesL_[kLines];
  ModDelayLine preDelayL_;
  ModDelayLine linesR_[kLines];
  ModDelayLine preDelayR_;
  RbjSection outHpL_, outHpR_;

  double timeScale_ = 0.0;
  double preDelayTime_ = 0.0;
  double dampSlope_ = 0.0;
  double dampBase_ = 0.0;
  double filterSpread_ = 0.0;
  double hpControl_ = 0.0;
  double lengthFactor_ = 0.0;
  double width_ = 1.0;
  double outputScale_ = 1.5;
  double modDepth_ = 0.0;
  double modRate_ = 0.0;
  double fs_ = 44100.0;
  double invFs_ = 1.0 / 44100.0;
  ReverbSettings settings_;
};

}  // namespace morvanta
