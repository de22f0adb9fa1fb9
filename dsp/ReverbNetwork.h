// ReverbNetwork: the bus reverb, 31 cascaded triangle-modulated delay lines
// per side fed through damping filter pairs, with pre-delay, high-pass and M/S.
#pragma once

#include <cstdint>

#include "dsp/EffectSettings.h"
#include "dsp/ReverbLanes.h"

namespace morvanta {

class ReverbNetwork {
 public:
  static constexpr int kLines = ReverbLanes::kLinesPerSide;

  ReverbNetwork();
  ReverbNetwork(const ReverbNetwork&) = delete;
  ReverbNetwork& operator=(const ReverbNetwork&) = delete;

  // Makes the lines' room for fs (allocates only above the rates already
  // prepared for); not for the audio path. Each line gets what it can read
  // back at fs: its longest length at the longest reverb with the deepest
  // modulation, not a fixed half second.
  void Reserve(double fs);
  // The lines take the rate (resized and cleared only when it changed; never
  // allocating), then the network recomputes; called from the instrument's reset.
  void SetSampleRate(double fs);
  void UpdateSettings(const ReverbSettings& s);
  void Recompute();
  // One frame, or a block of frames (the same samples either way).
  void Process(double inL, double inR, double* wetL, double* wetR);
  void ProcessBlock(const double* inL, const double* inR, double* wetL, double* wetR, int n);
  void Clear();

  // The samples line `i` of `side` (0 left, 1 right) keeps at fs, and the
  // longest it can read back at fs (its length at the longest reverb, deepest
  // modulation).
  static int32_t LineRoom(int side, int i, double fs);
  static double LongestRead(int side, int i, double fs);

  // A line's store: its memory, the samples in use, the room made and the
  // samples written since the last clear (older ones read as 0).
  struct Store {
    const double* data;
    int32_t length;
    int32_t capacity;
    int32_t written;
  };
  Store LineStore(int side, int i) const {
    const ReverbLanes& s = core_.lanes;
    const int k = ReverbLanes::Lane(side, i);
    return {s.Samples(k), static_cast<int32_t>(s.room[k]), s.capacity[k], static_cast<int32_t>(s.filled[k])};
  }
  double LineFeedback(int side, int i) const { return core_.lanes.feedback[ReverbLanes::Lane(side, i)]; }
  double LineModFactor(int side, int i) const { return core_.lanes.modFactor[ReverbLanes::Lane(side, i)]; }
  double LineDelayLength(int side, int i) const { return core_.lanes.delayLength[ReverbLanes::Lane(side, i)]; }
  const ModDelayLine& PreDelay(int side) const { return core_.preDelay[side]; }
  const ReverbCore& Core() const { return core_; }
  // The reference path for tests: the same frame computed line by line.
  void ProcessScalar(double inL, double inR, double* wetL, double* wetR) {
    ReverbStepScalar(core_, inL, inR, wetL, wetR);
  }
  double TimeScale() const { return timeScale_; }

 private:
  void SetLineLength(int lane, double fs);
  void RestartLine(int lane);
  void SetDelayTarget(int lane, double samples);

  ReverbCore core_;
  double lineRate_[ReverbLanes::kLanes] = {};  // the rate each line was sized for
  double preparedRate_ = ModDelayLine::kPreparedRate;  // the highest rate with room made

  double timeScale_ = 0.0;
  double preDelayTime_ = 0.0;
  double dampSlope_ = 0.0;
  double dampBase_ = 0.0;
  double filterSpread_ = 0.0;
  double hpControl_ = 0.0;
  double lengthFactor_ = 0.0;
  double modDepth_ = 0.0;
  double modRate_ = 0.0;
  double fs_ = 44100.0;
  double invFs_ = 1.0 / 44100.0;
  ReverbSettings settings_;
};

}  // namespace morvanta
