// Adsr: triggering (plain or legato) and release.
#include "engine/Adsr.h"

namespace morvanta {

void Adsr::Trigger(double attack, double decay, double release, double sustain, bool legato) {
  attack_ = attack;
  decay_ = decay;
  release_ = release;
  sustain_ = sustain;
  endTime_ = attack + decay + release;
  if (!legato) {
    t_ = 0.0;
    slope_ = 0.0;
    level_ = 0.0;
    stage_ = kAttack;
  } else {
    if (stage_ == kAttack || stage_ == kDecay || stage_ == kSustain) return;
    if (stage_ == kIdle) level_ = 0.0;
    stage_ = kAttack;
    t_ = 0.0;
  }
  if (attack > 0.0) {
    if (legato) {
      slope_ = (1.0 - level_) / attack;
    } else {
      level_ = 0.0;
      slope_ = 1.0 / attack;
    }
  } else if (decay > 0.0) {
    level_ = 1.0;
    stage_ = kDecay;
    slope_ = -(1.0 - sustain) / decay;
  } else {
    slope_ = 0.0;
    level_ = sustain;
    stage_ = kSustain;
  }
}

void Adsr::Release() {
  stage_ = kRelease;
  endTime_ = t_ + release_;
  if (release_ > 0.0) {
    slope_ = -level_ / release_;
  } else {
    level_ = 0.0;
    stage_ = kIdle;
    slope_ = 0.0;
  }
}

void Adsr::GoIdle() {
  attack_ = decay_ = release_ = 0.0;
  sustain_ = 0.5;
  level_ = 0.0;
  stage_ = kIdle;
  endTime_ = 0.0;
  t_ = 0.0;
  slope_ = 0.0;
}

}  // namespace morvanta
