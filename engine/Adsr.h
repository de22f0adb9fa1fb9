// Adsr: the straight-line attack/decay/sustain/release envelope of a voice.
// ADSR1 drives the amplitude and decides whether the voice sounds; ADSR2 modulates.
#pragma once

namespace morvanta {

class Adsr {
 public:
  enum Stage { kIdle = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };

  void SetRate(double rate) { invRate_ = 1.0 / rate; }

  void Trigger(double attack, double decay, double release, double sustain, bool legato);
  void Release();
  // Idle with level 0, times 0, sustain 0.5.
  void GoIdle();

  double Tick() {
    if (endTime_ > t_) {
      if (stage_ == kAttack && t_ > attack_) {
        level_ = 1.0;
        if (decay_ > 0.0) {
          slope_ = -(1.0 - sustain_) / decay_;
          stage_ = kDecay;
        } else {
          level_ = sustain_;
          slope_ = 0.0;
          stage_ = kSustain;
        }
      } else if (stage_ == kDecay && t_ >= attack_ + decay_) {
        level_ = sustain_;
        slope_ = 0.0;
        stage_ = kSustain;
      }
      const double before = level_;
      level_ += slope_ * invRate_;
      // A segment shorter than one sample would step far past its target
      // (a spike, or NaN further on): it stops at the target instead. Longer
      // segments keep their plain straight-line steps.
      if (stage_ == kAttack) {
        if (attack_ < invRate_ && before <= 1.0 && level_ > 1.0) level_ = 1.0;
      } else if (stage_ == kDecay) {
        if (decay_ < invRate_ && before >= sustain_ && level_ < sustain_) level_ = sustain_;
      } else if (stage_ == kRelease) {
        if (release_ < invRate_ && before >= 0.0 && level_ < 0.0) level_ = 0.0;
      }
    } else if (stage_ == kRelease) {
      stage_ = kIdle;
    }
    t_ += invRate_;
    return level_;
  }

  bool IsIdle() const { return stage_ == kIdle; }
  double Level() const { return level_; }
  int GetStage() const { return stage_; }

 private:
  double attack_ = 0.0, decay_ = 0.0, release_ = 0.0, sustain_ = 0.5;
  double level_ = 0.0;
  int stage_ = kIdle;
  double endTime_ = 0.0;
  double t_ = 0.0;
  double slope_ = 0.0;
  double invRate_ = 1.0 / 44100.0;
};

}  // namespace morvanta
