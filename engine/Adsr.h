// Adsr: the straight-line attack/decay/sustain/release envelope of a voice.
// ADSR1 drives the amplitude and decides whether the voice sounds; ADSR2 modulates.
#pragma once

#include "dsp/VoiceLanes.h"

namespace morvanta {

class Adsr {
 public:
  enum Stage { kIdle = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };

  Adsr() {
    GoIdle();
    SetRate(44100.0);
  }

  // Moves the envelope's state into a lane of `lanes`, where TickEnvelopeLanes
  // moves it on side by side with other envelopes; the methods below then
  // work on it there. The lanes must outlive the envelope's use.
  void BindLane(EnvelopeLanes& lanes, int lane);

  void SetRate(double rate) { F(kEnvInvRate) = 1.0 / rate; }

  void Trigger(double attack, double decay, double release, double sustain, bool legato);
  void Release();
  // Idle with level 0, times 0, sustain 0.5.
  void GoIdle();

  double Tick();

  bool IsIdle() const { return F(kEnvStage) == kIdle; }
  double Level() const { return F(kEnvLevel); }
  int GetStage() const { return static_cast<int>(F(kEnvStage)); }

 private:
  double& F(int field) { return f_[field]; }
  double F(int field) const { return f_[field]; }

  LaneFields<double, kEnvFields> f_;
};

}  // namespace morvanta
