// Adsr: triggering (plain or legato), release, and the one-envelope tick that
// TickEnvelopeLanes repeats lane by lane.
#include "engine/Adsr.h"

namespace morvanta {

void Adsr::BindLane(EnvelopeLanes& lanes, int lane) { f_.Bind(&lanes.v[0][lane]); }

double Adsr::Tick() {
  double& stage = F(kEnvStage);
  double& level = F(kEnvLevel);
  double& slope = F(kEnvSlope);
  double& t = F(kEnvTime);
  const double attack = F(kEnvAttack), decay = F(kEnvDecay), release = F(kEnvRelease);
  const double sustain = F(kEnvSustain), invRate = F(kEnvInvRate);
  if (F(kEnvEndTime) > t) {
    if (stage == kAttack && t > attack) {
      level = 1.0;
      if (decay > 0.0) {
        slope = -(1.0 - sustain) / decay;
        stage = kDecay;
      } else {
        level = sustain;
        slope = 0.0;
        stage = kSustain;
      }
    } else if (stage == kDecay && t >= attack + decay) {
      level = sustain;
      slope = 0.0;
      stage = kSustain;
    }
    const double before = level;
    level += slope * invRate;
    // A segment shorter than one sample would step far past its target
    // (a spike, or NaN further on): it stops at the target instead. Longer
    // segments keep their plain straight-line steps.
    if (stage == kAttack) {
      if (attack < invRate && before <= 1.0 && level > 1.0) level = 1.0;
    } else if (stage == kDecay) {
      if (decay < invRate && before >= sustain && level < sustain) level = sustain;
    } else if (stage == kRelease) {
      if (release < invRate && before >= 0.0 && level < 0.0) level = 0.0;
    }
  } else if (stage == kRelease) {
    stage = kIdle;
  }
  t += invRate;
  return level;
}

void Adsr::Trigger(double attack, double decay, double release, double sustain, bool legato) {
  double& stage = F(kEnvStage);
  double& level = F(kEnvLevel);
  double& slope = F(kEnvSlope);
  F(kEnvAttack) = attack;
  F(kEnvDecay) = decay;
  F(kEnvRelease) = release;
  F(kEnvSustain) = sustain;
  F(kEnvEndTime) = attack + decay + release;
  if (!legato) {
    F(kEnvTime) = 0.0;
    slope = 0.0;
    level = 0.0;
    stage = kAttack;
  } else {
    if (stage == kAttack || stage == kDecay || stage == kSustain) return;
    if (stage == kIdle) level = 0.0;
    stage = kAttack;
    F(kEnvTime) = 0.0;
  }
  if (attack > 0.0) {
    if (legato) {
      slope = (1.0 - level) / attack;
    } else {
      level = 0.0;
      slope = 1.0 / attack;
    }
  } else if (decay > 0.0) {
    level = 1.0;
    stage = kDecay;
    slope = -(1.0 - sustain) / decay;
  } else {
    slope = 0.0;
    level = sustain;
    stage = kSustain;
  }
}

void Adsr::Release() {
  double& level = F(kEnvLevel);
  const double release = F(kEnvRelease);
  F(kEnvStage) = kRelease;
  F(kEnvEndTime) = F(kEnvTime) + release;
  if (release > 0.0) {
    F(kEnvSlope) = -level / release;
  } else {
    level = 0.0;
    F(kEnvStage) = kIdle;
    F(kEnvSlope) = 0.0;
  }
}

void Adsr::GoIdle() {
  F(kEnvAttack) = F(kEnvDecay) = F(kEnvRelease) = 0.0;
  F(kEnvSustain) = 0.5;
  F(kEnvLevel) = 0.0;
  F(kEnvStage) = kIdle;
  F(kEnvEndTime) = 0.0;
  F(kEnvTime) = 0.0;
  F(kEnvSlope) = 0.0;
}

}  // namespace morvanta
