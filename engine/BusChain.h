// BusChain: the summed voices' way to the output. Per channel the distortion
// shaper, the 30 Hz high-pass and the tube drive; per frame the chorus and
// the delay; over the finished block the reverb and its mix.
#pragma once

#include "dsp/ChorusEffect.h"
#include "dsp/OutputHighPass.h"
#include "dsp/ReverbNetwork.h"
#include "dsp/StereoDelay.h"
#include "dsp/TubeDriveClipper.h"
#include "engine/ParamSnapshot.h"

namespace morvanta {

class BusChain {
 public:
  BusChain() = default;
  BusChain(const BusChain&) = delete;
  BusChain& operator=(const BusChain&) = delete;

  // Makes the chorus and reverb lines' room for fs (allocates only above the
  // rates already prepared for); not for the audio path.
  void Reserve(double fs);
  // Sizes the chorus and reverb lines for fs (only when the rate changed;
  // never allocating) and retunes the high-passes.
  void SetSampleRate(double fs);
  // Silences every effect's buffers (without touching their memory).
  void Clear();
  // The block's settings from the snapshot.
  void BlockUpdate(double fs, double tempoBpm, const ParamSnapshot& p);
  // One frame through the shapers, the chorus and the delay; `tubeDrive` is
  // the frame's drive amount (0..1).
  void ProcessFrame(double tubeDrive, double& left, double& right) {
    ProcessFrames(&tubeDrive, &left, &right, 1);
  }
  // ProcessFrame over n frames in place, each with its own drive amount: the
  // same result, with every stage running through the frames on its own.
  void ProcessFrames(const double* tubeDrive, double* left, double* right, int n);
  // The reverb over the block's frames, mixed with the dry signal.
  void ProcessReverb(double* left, double* right, int frames);

  const ChorusEffect& Chorus() const { return chorus_; }
  const StereoDelay& Delay() const { return delay_; }
  const ReverbNetwork& Reverb() const { return reverb_; }

 private:
  double distortion_ = 0.0;
  bool chorusOn_ = false;
  bool delayOn_ = false;
  bool reverbOn_ = false;
  double reverbMix_ = 0.5;
  ReverbSettings reverbSettings_;
  OutputHighPass highPass_[2];
  TubeDriveClipper tube_[2];
  ChorusEffect chorus_;
  StereoDelay delay_;
  ReverbNetwork reverb_;
};

}  // namespace morvanta
