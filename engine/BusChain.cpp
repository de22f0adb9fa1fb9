// BusChain: the shapers run in single precision where the sound was defined
// so; the effects are skipped entirely while switched off.
#include "engine/BusChain.h"

#include <cmath>

#include "dsp/DistortionShaper.h"

namespace morvanta {
namespace {

// "Distortion" 0..1 drives the shaper with 0..2.
constexpr double kDistortionDrive = 2.0;
// Tube drive t pushes the bus by 16 t^2 + 1 into the clipper, which keeps
// 0.1 of its own drive, and trims it back by 4 t + 1.
constexpr double kTubePush = 16.0;
constexpr double kTubeTrim = 4.0;
constexpr double kTubeClipAmount = 0.1;

inline double Clamp01(double x) { return x > 0.0 ? (x < 1.0 ? x : 1.0) : 0.0; }

// One channel's distortion, high-pass and tube drive over n frames.
[[gnu::always_inline]] inline void ShapeChannel(OutputHighPass& highPass, TubeDriveClipper& tube, bool distort,
                                                float drive, const double* tubeDrive, double* io, int n) {
  for (int s = 0; s < n; ++s) {
    double x = io[s];
    if (distort) x = DistortionShaper(static_cast<float>(x), drive);
    x = highPass.Process(static_cast<float>(x));
    const double t = tubeDrive[s];
    if (t > 0.0) x = tube.Process((kTubePush * t * t + 1.0) * x, kTubeClipAmount) / (kTubeTrim * t + 1.0);
    io[s] = x;
  }
}

}  // namespace

void BusChain::Reserve(double fs) {
  chorus_.Reserve(fs);
  reverb_.Reserve(fs);
}

void BusChain::SetSampleRate(double fs) {
  highPass_[0].SetSampleRate(fs);
  highPass_[1].SetSampleRate(fs);
  chorus_.SetSampleRate(fs);
  reverb_.SetSampleRate(fs);
}

void BusChain::Clear() {
  delay_.Clear();
  chorus_.Clear();
  reverb_.Clear();
}

void BusChain::BlockUpdate(double fs, double tempoBpm, const ParamSnapshot& p) {
  distortion_ = p.distortion;
  chorusOn_ = p.chorusOn != 0;
  delayOn_ = p.delayOn != 0;
  reverbOn_ = p.reverbOn != 0;
  reverbMix_ = p.reverbMix;
  reverbSettings_ = p.reverb;
  chorus_.BlockUpdate(fs, ChorusSettingsOf(p));
  delay_.BlockUpdate(fs, tempoBpm, DelaySettingsOf(p));
}

void BusChain::ProcessFrames(const double* tubeDrive, double* left, double* right, int n) {
  double* channel[2] = {left, right};
  const bool distort = distortion_ > 0.0;
  const float drive = static_cast<float>(kDistortionDrive * distortion_);
  for (int ch = 0; ch < 2; ++ch) {
    if (n == 1) {
      ShapeChannel(highPass_[ch], tube_[ch], distort, drive, tubeDrive, channel[ch], n);
      continue;
    }
    // Copies in locals, where the stores to the channel cannot alias them.
    OutputHighPass highPass = highPass_[ch];
    TubeDriveClipper tube = tube_[ch];
    ShapeChannel(highPass, tube, distort, drive, tubeDrive, channel[ch], n);
    highPass_[ch] = highPass;
    tube_[ch] = tube;
  }
  if (chorusOn_) chorus_.ProcessBlock(left, right, n);
  if (delayOn_) delay_.ProcessBlock(left, right, n);
}

void BusChain::ProcessReverb(double* left, double* right, int frames) {
  if (!reverbOn_) return;
  reverb_.UpdateSettings(reverbSettings_);
  const double r = Clamp01(reverbMix_);
  const double dryGain = std::sqrt(1.0 - r);
  constexpr int kChunk = 64;
  double wetL[kChunk], wetR[kChunk];
  for (int start = 0; start < frames; start += kChunk) {
    const int n = frames - start < kChunk ? frames - start : kChunk;
    double* l = left + start;
    double* rt = right + start;
    reverb_.ProcessBlock(l, rt, wetL, wetR, n);
    for (int s = 0; s < n; ++s) {
      l[s] = wetL[s] * r + dryGain * l[s];
      rt[s] = wetR[s] * r + dryGain * rt[s];
    }
  }
}

}  // namespace morvanta
