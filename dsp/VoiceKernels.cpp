// VoiceKernels: the sine sum and the filter step across lanes, compiled once
// per instruction set and picked at run time. Every expression repeats the
// one-voice code's operations in its order; the float/double conversions are
// the same roundings (DemoteTo rounds to nearest like the casts).
#include "dsp/VoiceKernels.h"
#include "dsp/OscShape.h"
#include "dsp/VoiceLanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "dsp/VoiceKernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace morvanta {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DD = hn::ScalableTag<double>;
using VD = hn::Vec<DD>;
using DF = hn::Rebind<float, DD>;
using VF = hn::Vec<DF>;

// FastSine's polynomials, term for term.
HWY_INLINE VD SinPolyLanes(DD d, VD r) {
  const VD r2 = hn::Mul(r, r);
  const VD r4 = hn::Mul(r2, r2);
  const VD r8 = hn::Mul(r4, r4);
  const VD a = hn::Add(hn::Set(d, -1.0 / 6), hn::Mul(r2, hn::Set(d, 1.0 / 120)));
  const VD b = hn::Mul(r4, hn::Add(hn::Set(d, -1.0 / 5040), hn::Mul(r2, hn::Set(d, 1.0 / 362880))));
  const VD c = hn::Mul(r8, hn::Add(hn::Set(d, -1.0 / 39916800), hn::Mul(r2, hn::Set(d, 1.0 / 6227020800.0))));
  const VD p = hn::Add(hn::Add(a, b), c);
  return hn::Add(r, hn::Mul(hn::Mul(r, r2), p));
}

HWY_INLINE VD CosPolyLanes(DD d, VD r) {
  const VD r2 = hn::Mul(r, r);
  const VD r4 = hn::Mul(r2, r2);
  const VD r8 = hn::Mul(r4, r4);
  const VD a = hn::Add(hn::Set(d, -0.5), hn::Mul(r2, hn::Set(d, 1.0 / 24)));
  const VD b = hn::Mul(r4, hn::Add(hn::Set(d, -1.0 / 720), hn::Mul(r2, hn::Set(d, 1.0 / 40320))));
  const VD c = hn::Mul(r8, hn::Add(hn::Add(hn::Set(d, -1.0 / 3628800), hn::Mul(r2, hn::Set(d, 1.0 / 479001600.0))),
                                   hn::Mul(r4, hn::Set(d, -1.0 / 87178291200.0))));
  const VD p = hn::Add(hn::Add(a, b), c);
  return hn::Add(hn::Set(d, 1.0), hn::Mul(r2, p));
}

// SinQuadrant for arguments below 1e12 in magnitude (the caller checks).
HWY_INLINE VD SinQuadrantLanes(DD d, VD x, int quarterTurns) {
  namespace fs = fastsine_detail;
  const VD zero = hn::Zero(d);
  const VD scaled = hn::Mul(x, hn::Set(d, fs::kTwoOverPi));
  const VD half = hn::IfThenElse(hn::Ge(scaled, zero), hn::Set(d, 0.5), hn::Set(d, -0.5));
  // Truncation as the integer conversion does it; adding 0 turns -0 into +0
  // as the round trip through an integer would.
  const VD qd = hn::Add(hn::Trunc(hn::Add(scaled, half)), zero);
  const VD r = hn::Sub(hn::Sub(x, hn::Mul(qd, hn::Set(d, fs::kHalfPiHigh))), hn::Mul(qd, hn::Set(d, fs::kHalfPiLow)));
  // (q + quarterTurns) & 3, exact in doubles for whole q.
  const VD four = hn::Set(d, 4.0);
  VD quadrant = hn::Add(hn::Sub(qd, hn::Mul(four, hn::Floor(hn::Mul(qd, hn::Set(d, 0.25))))),
                        hn::Set(d, static_cast<double>(quarterTurns)));
  quadrant = hn::IfThenElse(hn::Ge(quadrant, four), hn::Sub(quadrant, four), quadrant);
  const auto odd = hn::Or(hn::Eq(quadrant, hn::Set(d, 1.0)), hn::Eq(quadrant, hn::Set(d, 3.0)));
  const VD v = hn::IfThenElse(odd, CosPolyLanes(d, r), SinPolyLanes(d, r));
  return hn::IfThenElse(hn::Ge(quadrant, hn::Set(d, 2.0)), hn::Neg(v), v);
}

HWY_INLINE bool InPolyRange(DD d, VD x) { return hn::AllTrue(d, hn::Lt(hn::Abs(x), hn::Set(d, 1e12))); }

void SumSineLanesImpl(SineLanes& s, int count) {
  const DD d;
  const int n = static_cast<int>(hn::Lanes(d));
  for (int i = 0; i < count; i += n) {
    const VD x0 = hn::Load(d, s.x0 + i);
    const VD top = hn::Load(d, s.top + i);
    const double maxTop =
        hn::GetLane(hn::MaxOfLanes(d, hn::IfThenElse(hn::FirstN(d, count - i), top, hn::Set(d, -1.0))));
    const VD dx = hn::Mul(x0, hn::Load(d, s.stretch + i));
    const VD x1 = hn::Add(x0, dx);
    if (!InPolyRange(d, x0) || (maxTop > 0.0 && !(InPolyRange(d, dx) && InPolyRange(d, x1)))) {
      for (int j = i; j < i + n && j < count; ++j) {
        s.sum[j] = SinePartialSum(s.x0[j], s.stretch[j], &s.amp[0][j], kKernelLanes, static_cast<int>(s.top[j]));
      }
      continue;
    }
    auto a = [&](int k) { return hn::Load(d, s.amp[k] + i); };
    const VD s0 = SinQuadrantLanes(d, x0, 0);
    const VD zero = hn::Zero(d);
    const VD first = hn::IfThenElse(hn::Lt(top, zero), zero, hn::Mul(a(0), s0));
    if (maxTop <= 0.0) {
      hn::Store(first, d, s.sum + i);
      continue;
    }
    const VD two = hn::Set(d, 2.0);
    const VD c1 = hn::Mul(two, SinQuadrantLanes(d, dx, 1));
    const VD c2 = hn::Sub(hn::Mul(c1, c1), two);
    const VD c4 = hn::Sub(hn::Mul(c2, c2), two);
    // sin(k x0) for k = 1..16 by the recurrences s(k) = c s(k - j) - s(k - 2j),
    // in named vectors (an array of them would live on the stack).
    const VD s1 = SinQuadrantLanes(d, x1, 0);
    const VD s2 = hn::Sub(hn::Mul(c1, s1), s0);
    const VD s3 = hn::Sub(hn::Mul(c1, s2), s1);
    const VD s4 = hn::Sub(hn::Mul(c2, s2), s0);
    const VD s5 = hn::Sub(hn::Mul(c2, s3), s1);
    const VD s6 = hn::Sub(hn::Mul(c2, s4), s2);
    const VD s7 = hn::Sub(hn::Mul(c2, s5), s3);
    auto group = [&](int b, VD t0, VD t1, VD t2, VD t3, VD t4, VD t5, VD t6, VD t7)
                     HWY_ATTR __attribute__((always_inline)) {
      auto p = [&](int k, VD t) HWY_ATTR __attribute__((always_inline)) { return hn::Mul(a(b + k), t); };
      return hn::Add(hn::Add(hn::Add(p(0, t0), p(1, t1)), hn::Add(p(2, t2), p(3, t3))),
                     hn::Add(hn::Add(p(4, t4), p(5, t5)), hn::Add(p(6, t6), p(7, t7))));
    };
    const VD lo = group(0, s0, s1, s2, s3, s4, s5, s6, s7);
    VD result = hn::IfThenElse(hn::Gt(top, zero), lo, first);
    if (maxTop >= 8.0) {
      const VD s8 = hn::Sub(hn::Mul(c4, s4), s0);
      const VD s9 = hn::Sub(hn::Mul(c4, s5), s1);
      const VD s10 = hn::Sub(hn::Mul(c4, s6), s2);
      const VD s11 = hn::Sub(hn::Mul(c4, s7), s3);
      const VD s12 = hn::Sub(hn::Mul(c4, s8), s4);
      const VD s13 = hn::Sub(hn::Mul(c4, s9), s5);
      const VD s14 = hn::Sub(hn::Mul(c4, s10), s6);
      const VD s15 = hn::Sub(hn::Mul(c4, s11), s7);
      result = hn::IfThenElse(hn::Ge(top, hn::Set(d, 8.0)), hn::Add(lo, group(8, s8, s9, s10, s11, s12, s13, s14, s15)),
                              result);
    }
    hn::Store(result, d, s.sum + i);
  }
}

// VoiceOscillator::PartialSum per lane for one of the shapes other than the sine.
void SumShapeLanesImpl(const ShapeLanes& s, uint32_t lanes, int shape, const double* levels, double* out) {
  const DD d;
  const hn::RebindToSigned<DD> di;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  const VD two = hn::Set(d, 2.0);
  const VD four = hn::Set(d, 4.0);
  for (int i = 0; i < kKernelLanes; i += n) {
    const uint8_t byte = static_cast<uint8_t>(lanes >> i);
    const auto use = hn::LoadMaskBits(d, &byte);
    if (hn::AllFalse(d, use)) continue;
    const VD phase = hn::Load(d, s.phase + i);
    const VD stretch = hn::Load(d, s.stretch + i);
    const VD pw = hn::Load(d, s.pulseWidth + i);
    const auto classic = hn::Ne(hn::Load(d, s.classic + i), zero);
    auto done = hn::FirstN(d, 0);  // pulses stopped at their fundamental
    VD m = zero;
    const double top = hn::GetLane(hn::MaxOfLanes(d, hn::IfThenElse(use, hn::Load(d, s.top + i), hn::Set(d, -1.0))));
    for (int k = 0; k <= top; ++k) {
      const VD g = hn::Load(d, s.gain[k] + i);
      const auto on = hn::AndNot(done, hn::Gt(g, zero));
      const VD a = hn::Mul(g, hn::Load(d, s.damping[k] + i));
      const VD x = hn::Mul(hn::Add(hn::Mul(stretch, hn::Set(d, static_cast<double>(k))), one), phase);
      // x - floor(x) is the phase wrap's value for every x.
      const VD w = hn::Sub(x, hn::Floor(x));
      switch (shape) {
        case kOscTriangle: {
          const VD rise = hn::Mul(four, w);
          const VD fall = hn::Mul(four, hn::Sub(hn::Set(d, 0.5), w));
          const VD back = hn::Mul(four, hn::Sub(w, one));
          const VD v =
              hn::IfThenElse(hn::Lt(w, hn::Set(d, 0.25)), rise, hn::IfThenElse(hn::Lt(w, hn::Set(d, 0.75)), fall, back));
          m = hn::IfThenElse(on, hn::Add(m, hn::Mul(a, v)), m);
          break;
        }
        case kOscSquare: {
          const auto high = hn::Gt(pw, w);
          m = hn::IfThenElse(on, hn::IfThenElse(high, hn::Add(m, a), hn::Sub(m, a)), m);
          if (k == 0) done = hn::And(hn::AndNot(high, on), classic);
          break;
        }
        case kOscSaw: {
          const auto sounds = hn::And(on, hn::Gt(pw, zero));
          const auto rise = hn::Lt(w, hn::Mul(two, pw));
          const VD v = hn::IfThenElse(rise, hn::Add(m, hn::Mul(a, hn::Sub(one, hn::Mul(two, w)))), hn::Sub(m, a));
          m = hn::IfThenElse(sounds, v, m);
          if (k == 0) done = hn::And(hn::AndNot(rise, sounds), classic);
          break;
        }
        case kOscMultiPulse: {
          const auto high = hn::And(on, hn::Gt(pw, w));
          // The partial under the phase (the last one for a phase rounded up to 1).
          VD t = hn::Trunc(hn::Mul(hn::Set(d, 16.0), hn::IfThenElse(high, w, zero)));
          t = hn::IfThenElse(hn::Gt(t, hn::Set(d, 15.0)), hn::Set(d, 15.0), t);
          const VD level = hn::GatherIndex(d, levels, hn::ConvertTo(di, t));
          m = hn::IfThenElse(high, hn::Add(m, hn::Mul(a, level)), m);
          break;
        }
        default: break;
      }
    }
    if (shape == kOscMultiPulse) m = hn::Mul(m, hn::Set(d, 1.25));
    hn::BlendedStore(m, use, d, out + i);
  }
}

// VoiceFilter::Process per lane.
void ProcessFilterLanesImpl(FilterLanes& f, int count) {
  const DD d;
  const DF df;
  const int n = static_cast<int>(hn::Lanes(d));
  // A smoothed cutoff left above Nyquist stops just below it (as VoiceFilter).
  const VD maxAngle = hn::Set(d, 0.4999 * 3.14159265358979323846);
  for (int i = 0; i < count; i += n) {
    const auto active = hn::And(hn::Ne(hn::Load(d, f.active + i), hn::Zero(d)), hn::FirstN(d, count - i));
    const VD smoother = hn::Load(d, f.smoother + i);
    const VD fc = hn::Add(hn::Mul(hn::Set(d, static_cast<double>(0.999f)), smoother), hn::Load(d, f.cutoffKHz + i));
    hn::Store(hn::IfThenElse(active, fc, smoother), d, f.smoother + i);
    const VD rawAngle = hn::Mul(fc, hn::Load(d, f.prewarp + i));
    const VF angle = hn::DemoteTo(df, hn::IfThenElse(hn::Lt(rawAngle, maxAngle), rawAngle, maxAngle));
    // The tangent is worked out again only where the single-precision angle moved.
    if (!hn::AllFalse(df, hn::Ne(angle, hn::Load(df, f.tanKey + i)))) {
      alignas(64) float angles[kKernelLanes];
      hn::Store(angle, df, angles);
      for (int j = 0; j < n && i + j < count; ++j) {
        if (f.active[i + j] != 0.0 && angles[j] != f.tanKey[i + j]) {
          f.tanKey[i + j] = angles[j];
          f.tanValue[i + j] = std::tan(angles[j]);
        }
      }
    }
    const VF g = hn::Load(df, f.tanValue + i);
    const VD gd = hn::PromoteTo(d, g);
    const VD s1 = hn::Load(d, f.s1 + i);
    const VD s2 = hn::Load(d, f.s2 + i);
    const VD damping = hn::Load(d, f.damping + i);
    const VD xr = hn::PromoteTo(d, hn::DemoteTo(df, hn::Load(d, f.x + i)));
    const VD h = hn::Sub(xr, hn::Add(hn::Mul(hn::Add(gd, damping), s1), s2));
    const VF gk = hn::Add(g, hn::DemoteTo(df, damping));
    const VF den = hn::Div(hn::Set(df, 1.0f), hn::Add(hn::Mul(gk, g), hn::Set(df, 1.0f)));
    const VD hp = hn::Mul(h, hn::PromoteTo(d, den));
    const VF u1 = hn::Mul(g, hn::DemoteTo(df, hp));
    VF b = hn::Add(u1, hn::DemoteTo(df, s1));
    const VF one = hn::Set(df, 1.0f);
    const VF minusOne = hn::Set(df, -1.0f);
    b = hn::IfThenElse(hn::Gt(b, one), one, b);
    b = hn::IfThenElse(hn::Lt(b, minusOne), minusOne, b);
    const VF bp = hn::Sub(b, hn::Mul(hn::Mul(hn::Mul(b, b), b), hn::Set(df, 1.0f / 3.0f)));
    const VF u2 = hn::Mul(g, bp);
    const VF lp = hn::Add(hn::DemoteTo(df, s2), u2);
    hn::Store(hn::IfThenElse(active, hn::PromoteTo(d, hn::Add(lp, u2)), s2), d, f.s2 + i);
    hn::Store(hn::IfThenElse(active, hn::PromoteTo(d, hn::Add(bp, u1)), s1), d, f.s1 + i);
    const VD mix = hn::Load(d, f.mix + i);
    const VD half = hn::Set(d, 0.5);
    const VD oneD = hn::Set(d, 1.0);
    VD y = hn::Mul(hn::Sub(oneD, hn::Abs(hn::Sub(hn::Mul(hn::Set(d, 2.0), mix), oneD))), hn::PromoteTo(d, bp));
    const VD low = hn::Mul(hn::Mul(hn::Set(d, 2.0), hn::Sub(half, mix)), hn::PromoteTo(d, lp));
    y = hn::IfThenElse(hn::Lt(mix, half), hn::Add(y, low), y);
    const VD high = hn::Mul(hn::Mul(hn::Set(d, 1.666), hn::Sub(mix, half)), hp);
    y = hn::IfThenElse(hn::Gt(mix, half), hn::Add(y, high), y);
    hn::Store(y, d, f.y + i);
    hn::Store(hn::Mul(hn::Load(d, f.gainLeft + i), y), d, f.left + i);
    hn::Store(hn::Mul(hn::Load(d, f.gainRight + i), y), d, f.right + i);
  }
}


int TickHarmonicsLanesImpl(double* phases, const double* steps, double depth, const double* levels,
                           double* gains) {
  const hn::ScalableTag<double> d;
  const hn::RebindToUnsigned<decltype(d)> du;
  const int n = static_cast<int>(hn::Lanes(d));
  const auto four = hn::Set(d, 4.0);
  alignas(64) double next[16];
  auto wrapsAgain = hn::FirstN(d, 0);
  for (int k = 0; k < 16; k += n) {
    auto p = hn::Add(hn::Load(d, phases + k), hn::Load(d, steps + k));
    p = hn::IfThenElse(hn::Gt(p, four), hn::Sub(p, four), p);
    wrapsAgain = hn::Or(wrapsAgain, hn::Gt(p, four));
    hn::Store(p, d, next + k);
  }
  if (!hn::AllFalse(d, wrapsAgain)) return -1;
  // The first triangle's half depth; times 1 leaves the others' bits alone.
  alignas(64) static constexpr double kScale[16] = {0.5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const auto one = hn::Set(d, 1.0);
  const auto two = hn::Set(d, 2.0);
  const auto three = hn::Set(d, 3.0);
  const auto depthV = hn::Set(d, depth);
  auto differ = hn::Zero(du);
  for (int k = 0; k < 16; k += n) {
    const auto p = hn::Load(d, next + k);
    hn::Store(p, d, phases + k);
    const auto tri =
        hn::IfThenElse(hn::Lt(p, one), p, hn::IfThenElse(hn::Lt(p, three), hn::Sub(two, p), hn::Sub(p, four)));
    const auto m = hn::Mul(hn::Mul(tri, depthV), hn::Load(d, kScale + k));
    const auto level = hn::LoadU(d, levels + k);
    const auto g = hn::Mul(hn::Mul(hn::Add(m, one), level), level);
    differ = hn::Or(differ, hn::Xor(hn::BitCast(du, g), hn::BitCast(du, hn::LoadU(d, gains + k))));
    hn::StoreU(g, d, gains + k);
  }
  return hn::AllTrue(du, hn::Eq(differ, hn::Zero(du))) ? 0 : 1;
}

// Adsr::Tick for the lanes of the vector at i that are `active`: the segment
// changes, the step with its short-segment stops, the end of the release,
// and the clock.
template <class M>
HWY_INLINE void TickEnvelopeVec(DD d, EnvelopeLanes& e, int i, M active) {
  if (hn::AllFalse(d, active)) return;
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  const VD idle = zero, attack = one, decay = hn::Set(d, 2.0), sustain = hn::Set(d, 3.0), release = hn::Set(d, 4.0);
  const VD stage = hn::Load(d, e.v[kEnvStage] + i);
  const VD att = hn::Load(d, e.v[kEnvAttack] + i);
  const VD dec = hn::Load(d, e.v[kEnvDecay] + i);
  const VD rel = hn::Load(d, e.v[kEnvRelease] + i);
  const VD sus = hn::Load(d, e.v[kEnvSustain] + i);
  const VD inv = hn::Load(d, e.v[kEnvInvRate] + i);
  const VD t = hn::Load(d, e.v[kEnvTime] + i);
  const VD level0 = hn::Load(d, e.v[kEnvLevel] + i);
  const VD slope0 = hn::Load(d, e.v[kEnvSlope] + i);
  const auto run = hn::Gt(hn::Load(d, e.v[kEnvEndTime] + i), t);

  // The attack reached its top: on into the decay, or straight to the sustain.
  const auto topped = hn::And(run, hn::And(hn::Eq(stage, attack), hn::Gt(t, att)));
  // The decay reached the sustain level.
  const auto decayed = hn::And(run, hn::And(hn::Eq(stage, decay), hn::Ge(t, hn::Add(att, dec))));
  VD level = level0, slope = slope0, st = stage;
  if (!hn::AllFalse(d, hn::Or(topped, decayed))) {
    const auto decays = hn::Gt(dec, zero);
    const VD decaySlope = hn::Div(hn::Neg(hn::Sub(one, sus)), dec);
    level = hn::IfThenElse(topped, hn::IfThenElse(decays, one, sus), level);
    slope = hn::IfThenElse(topped, hn::IfThenElse(decays, decaySlope, zero), slope);
    st = hn::IfThenElse(topped, hn::IfThenElse(decays, decay, sustain), st);
    level = hn::IfThenElse(decayed, sus, level);
    slope = hn::IfThenElse(decayed, zero, slope);
    st = hn::IfThenElse(decayed, sustain, st);
  }

  const VD before = level;
  VD next = hn::Add(level, hn::Mul(slope, inv));
  // Segments shorter than a sample stop at their target.
  const auto shortA = hn::And(hn::Eq(st, attack), hn::Lt(att, inv));
  const auto shortD = hn::And(hn::Eq(st, decay), hn::Lt(dec, inv));
  const auto shortR = hn::And(hn::Eq(st, release), hn::Lt(rel, inv));
  if (!hn::AllFalse(d, hn::Or(shortA, hn::Or(shortD, shortR)))) {
    next = hn::IfThenElse(hn::And(shortA, hn::And(hn::Le(before, one), hn::Gt(next, one))), one, next);
    next = hn::IfThenElse(hn::And(shortD, hn::And(hn::Ge(before, sus), hn::Lt(next, sus))), sus, next);
    next = hn::IfThenElse(hn::And(shortR, hn::And(hn::Ge(before, zero), hn::Lt(next, zero))), zero, next);
  }
  level = hn::IfThenElse(run, next, level);
  // Past its end the release falls idle.
  st = hn::IfThenElse(hn::AndNot(run, hn::Eq(st, release)), idle, st);

  hn::BlendedStore(level, active, d, e.v[kEnvLevel] + i);
  hn::BlendedStore(slope, active, d, e.v[kEnvSlope] + i);
  hn::BlendedStore(st, active, d, e.v[kEnvStage] + i);
  hn::BlendedStore(hn::Add(t, inv), active, d, e.v[kEnvTime] + i);
}

// OnePoleSmoother::Process toward x for the lanes of the vector at i that
// are `on`; answers the values after the step.
template <class MF>
HWY_INLINE VF SmoothVec(DF df, SmootherLanes& s, int i, VF x, MF on) {
  const VF y = hn::Load(df, s.v[kSmoothY] + i);
  const VF next = hn::Add(hn::Mul(hn::Load(df, s.v[kSmoothA] + i), y), hn::Mul(hn::Load(df, s.v[kSmoothB] + i), x));
  const VF result = hn::IfThenElse(on, next, y);
  hn::Store(result, df, s.v[kSmoothY] + i);
  return result;
}

// VoiceLfo::PlainValue per lane (the sine argument below 1e12 in magnitude).
HWY_INLINE VD PlainLfoValueLanes(DD d, int shape, VD p) {
  const VD one = hn::Set(d, 1.0);
  const VD four = hn::Set(d, 4.0);
  switch (shape) {
    case 0: return SinQuadrantLanes(d, hn::Mul(hn::Set(d, 6.283185307179586), p), 0);
    case 1: {
      const VD rise = hn::Mul(four, p);
      const VD fall = hn::Mul(hn::Sub(hn::Set(d, 0.5), p), four);
      const VD back = hn::Mul(hn::Sub(p, one), four);
      return hn::IfThenElse(hn::Lt(p, hn::Set(d, 0.25)), rise, hn::IfThenElse(hn::Lt(p, hn::Set(d, 0.75)), fall, back));
    }
    case 2: return hn::IfThenElse(hn::Lt(p, hn::Set(d, 0.5)), one, hn::Neg(one));
    default: return hn::Sub(one, hn::Mul(hn::Set(d, 2.0), p));
  }
}

// VoiceLfo::SetFrequency (unless the bits stand), then Tick or TickUnheard,
// for the lanes of the vector at i that are `on`, in a plain shape; answers
// the faded values when heard.
template <class M>
HWY_INLINE VD TickLfoVec(DD d, LfoLanes& l, int i, int shape, double frequency, bool heard, M on) {
  const hn::RebindToUnsigned<DD> du;
  const VD one = hn::Set(d, 1.0);
  const VD rate = hn::Set(d, frequency);
  auto field = [&](int k) { return hn::Load(d, l.v[k] + i); };
  auto keep = [&](int k, VD v) { hn::BlendedStore(v, on, d, l.v[k] + i); };
  const VD held = field(kLfoFrequency);
  const auto same = hn::RebindMask(d, hn::Eq(hn::BitCast(du, held), hn::BitCast(du, rate)));
  const VD inc = hn::IfThenElse(same, field(kLfoIncrement), hn::Mul(rate, field(kLfoInvRate)));
  const VD phase = field(kLfoPhase);
  VD value = hn::Zero(d);
  if (heard) {
    if (shape == 0 && !InPolyRange(d, hn::Mul(hn::Set(d, 6.283185307179586), phase))) {
      alignas(64) double p[kKernelLanes], v[kKernelLanes];
      hn::Store(phase, d, p);
      for (size_t j = 0; j < hn::Lanes(d); ++j) v[j] = FastSine(6.283185307179586 * p[j]);
      value = hn::Load(d, v);
    } else {
      value = PlainLfoValueLanes(d, shape, phase);
    }
    keep(kLfoValue, value);
    keep(kLfoPending, hn::Zero(d));
  } else {
    keep(kLfoPending, one);
    keep(kLfoPendingShape, hn::Set(d, static_cast<double>(shape)));
    keep(kLfoPendingPhase, phase);
  }
  const VD moved = hn::Add(phase, inc);
  const VD fade = field(kLfoFade);
  VD faded = hn::Add(fade, field(kLfoFadeIncrement));
  faded = hn::IfThenElse(hn::Gt(faded, one), one, faded);
  faded = hn::IfThenElse(hn::Lt(fade, one), faded, fade);
  keep(kLfoFrequency, rate);
  keep(kLfoIncrement, inc);
  // x - floor(x) is the phase wrap's value for every x.
  keep(kLfoPhase, hn::Sub(moved, hn::Floor(moved)));
  keep(kLfoFade, faded);
  return hn::Mul(faded, value);
}

// x > lo ? x : lo, then x < hi ? x : hi (NaN goes to lo).
HWY_INLINE VD Hold(VD x, VD lo, VD hi) {
  x = hn::IfThenElse(hn::Gt(x, lo), x, lo);
  return hn::IfThenElse(hn::Lt(x, hi), x, hi);
}

// The scaled LFO: the ADSR2 depth fades it in (d > 0) or out (d < 0), the
// wheel depth crossfades toward wheel control.
HWY_INLINE VD LfoDepthLanes(DD d, VD raw, double depth, double wheelDepth, VD env2, double wheel) {
  const VD one = hn::Set(d, 1.0);
  const VD e = depth >= 0.0 ? hn::Mul(hn::Set(d, depth), env2) : hn::Mul(hn::Set(d, -depth), hn::Sub(one, env2));
  const VD w = hn::Mul(hn::Set(d, wheelDepth), hn::Set(d, wheel));
  const VD v = hn::Mul(hn::Add(w, hn::Mul(hn::Sub(hn::Add(e, one), hn::Set(d, std::fabs(depth))),
                                          hn::Set(d, 1.0 - std::fabs(wheelDepth)))),
                       raw);
  return Hold(v, hn::Set(d, -1.0), one);
}

// Bit j set where lane j of the mask is (at most eight lanes of doubles).
template <class M>
HWY_INLINE uint32_t LaneBits(DD d, M mask) {
  uint8_t bits[8] = {};
  hn::StoreMaskBits(d, mask, bits);
  return bits[0];
}

void GrowPartialsImpl(double* growth, double step, double ceiling, double floor) {
  const DD d;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD one = hn::Set(d, 1.0);
  for (int k = 0; k < 16; k += n) {
    VD g = hn::Mul(hn::LoadU(d, growth + k), hn::Add(one, hn::Mul(hn::Iota(d, static_cast<double>(k)), hn::Set(d, step))));
    g = hn::IfThenElse(hn::Gt(g, hn::Set(d, ceiling)), hn::Set(d, ceiling), g);
    g = hn::IfThenElse(hn::Lt(g, hn::Set(d, floor)), hn::Zero(d), g);
    hn::StoreU(g, d, growth + k);
  }
}

int WeighPartialsImpl(const double* levels, const double* growth, const double* damping, double* weights) {
  const DD d;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  int top = -1;
  for (int k = 0; k < 16; k += n) {
    const VD g = hn::LoadU(d, growth + k);
    const VD gain = hn::Mul(hn::Mul(hn::LoadU(d, levels + k), g), g);
    const VD capped = hn::IfThenElse(hn::Lt(gain, one), gain, one);
    const VD w = hn::Mul(hn::IfThenElse(hn::Gt(capped, zero), capped, zero), hn::LoadU(d, damping + k));
    hn::StoreU(w, d, weights + k);
    // A NaN weight counts as heard, as it does for the scalar != (an ordered
    // vector not-equal would leave it out).
    const uint32_t heard = LaneBits(d, hn::Not(hn::Eq(w, zero)));
    if (heard != 0) top = k + 31 - __builtin_clz(heard);
  }
  return top;
}

void StartVoiceLanesImpl(VoiceLanes& v, int count) {
  const DD d;
  const DF df;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  uint32_t soundingBits = 0, ringingBits = 0;
  for (int i = 0; i < count; i += n) {
    const auto use = hn::FirstN(d, count - i);
    const VF gain = SmoothVec(df, v.amp, i, hn::DemoteTo(df, hn::Load(d, v.ampTarget + i)), hn::FirstN(df, count - i));
    hn::Store(hn::PromoteTo(d, gain), d, v.gain + i);
    const auto run1 = hn::And(hn::Ne(hn::Load(d, v.env1.v[kEnvStage] + i), zero), use);
    const auto run2 = hn::And(hn::Ne(hn::Load(d, v.env2.v[kEnvStage] + i), zero), use);
    TickEnvelopeVec(d, v.env2, i, run2);
    TickEnvelopeVec(d, v.env1, i, run1);
    hn::Store(hn::Load(d, v.env1.v[kEnvLevel] + i), d, v.env1Value + i);
    hn::Store(hn::IfThenElse(run2, hn::Load(d, v.env2.v[kEnvLevel] + i), zero), d, v.env2Value + i);
    const auto sounding = hn::And(run1, hn::Ne(hn::Load(d, v.env1.v[kEnvStage] + i), zero));
    const auto ringing = hn::AndNot(sounding, hn::And(use, hn::Ne(hn::Load(d, v.env2.v[kEnvStage] + i), zero)));
    hn::Store(hn::IfThenElse(sounding, one, zero), d, v.sounding + i);
    hn::Store(hn::IfThenElse(ringing, one, zero), d, v.ringing + i);
    soundingBits |= LaneBits(d, sounding) << i;
    ringingBits |= LaneBits(d, ringing) << i;
  }
  v.soundingBits = soundingBits;
  v.ringingBits = ringingBits;
}

void FrontVoiceLanesImpl(VoiceLanes& v, const VoiceFrontFactors& f, SineLanes& sine, ShapeLanes& shapes,
                         int count) {
  const DD d;
  const hn::RebindToUnsigned<DD> du;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  const DF df;
  uint32_t steadyBits = 0, plainBits = 0;
  for (int i = 0; i < count; i += n) {
    const auto on = hn::And(hn::Ne(hn::Load(d, v.sounding + i), zero), hn::FirstN(d, count - i));
    if (hn::AllFalse(d, on)) continue;
    const VD raw1 = TickLfoVec(d, v.lfo1, i, f.lfo1Shape, f.lfo1Rate, f.lfo1Heard, on);
    const VD raw2 = TickLfoVec(d, v.lfo2, i, f.lfo2Shape, f.lfo2Rate, f.lfo2Heard, on);
    const VD env1 = hn::Load(d, v.env1Value + i);
    const VD env2 = hn::Load(d, v.env2Value + i);
    const VD arp = hn::Load(d, v.arp + i);
    const VD lfo1 = f.lfo1Heard ? LfoDepthLanes(d, raw1, f.lfo1Env2, f.lfo1Wheel, env2, f.wheel) : zero;
    const VD lfo2 = f.lfo2Heard ? LfoDepthLanes(d, raw2, f.lfo2Env2, f.lfo2Wheel, env2, f.wheel) : zero;
    hn::Store(lfo1, d, v.lfo1Value + i);
    hn::Store(lfo2, d, v.lfo2Value + i);

    VD amplitude = hn::Mul(hn::Mul(hn::Mul(hn::Set(d, 0.5), env1), env1), hn::Load(d, v.gain + i));
    amplitude = hn::Mul(amplitude, hn::Add(one, hn::Mul(arp, hn::Set(d, f.ampArp))));
    hn::Store(amplitude, d, v.amplitude + i);
    hn::Store(hn::Add(hn::Add(one, hn::Mul(lfo1, hn::Set(d, f.ampLfo1))), hn::Mul(lfo2, hn::Set(d, f.ampLfo2))), d,
              v.lfoGain + i);
    VD pan = hn::Add(hn::Mul(lfo2, hn::Set(d, f.panLfo2)), hn::Mul(lfo1, hn::Set(d, f.panLfo1)));
    pan = hn::Add(pan, hn::Mul(env2, hn::Set(d, f.panEnv2)));
    pan = hn::Add(hn::Add(pan, hn::Load(d, v.panOffset + i)), hn::Set(d, f.pan));
    pan = hn::Add(pan, hn::Mul(arp, hn::Set(d, f.panArp)));
    hn::Store(Hold(pan, zero, one), d, v.panTarget + i);

    // The sources one by one (an array of them would live on the stack).
    auto differ = hn::Zero(du);
    auto compare = [&](int k, VD source) HWY_ATTR __attribute__((always_inline)) {
      const auto x = hn::Xor(hn::BitCast(du, source), hn::BitCast(du, hn::Load(d, v.memo[k] + i)));
      differ = hn::Or(differ, hn::And(x, hn::Set(du, f.key[k])));
    };
    compare(0, env2);
    compare(1, lfo1);
    compare(2, lfo2);
    compare(3, hn::Set(d, f.wheel));
    compare(4, arp);
    const auto valid = hn::Ne(hn::Load(d, v.memoValid + i), zero);
    const auto holds = hn::And(hn::RebindMask(d, hn::Eq(differ, hn::Zero(du))), valid);
    hn::Store(hn::IfThenElse(holds, one, zero), d, v.memoHolds + i);
    if (!f.steady) continue;

    // A steady voice's oscillator part: its step clock stays within the
    // step, so the angle and the phase step are all that move.
    ClockLanes& c = v.clock;
    const VD elapsed = hn::Load(d, c.v[kClockElapsed] + i);
    auto fast = hn::And(hn::And(on, holds), hn::Ne(hn::Load(d, v.steadyArmed + i), zero));
    fast = hn::And(fast, hn::And(hn::Ge(elapsed, hn::Load(d, v.stepFrom + i)),
                                 hn::Lt(elapsed, hn::Load(d, v.stepUntil + i))));
    if (hn::AllFalse(d, fast)) continue;
    steadyBits |= LaneBits(d, fast) << i;
    // Its shapers take the plain step while the wave shaper stays at 0
    // (the smoother's 0 moves to 0 when the target is 0).
    const auto shaperOff = hn::And(hn::Eq(hn::Load(d, v.memoShape + i), zero),
                                   hn::Eq(hn::PromoteTo(d, hn::Load(df, v.shape.v[kSmoothY] + i)), zero));
    plainBits |= LaneBits(d, hn::And(hn::And(fast, shaperOff), hn::Ne(hn::Load(d, v.steadyPlain + i), zero))) << i;
    const VD raw = hn::Mul(hn::Add(hn::Load(d, v.stepBase + i), zero), hn::Set(d, f.bend));
    const VD step = hn::IfThenElse(hn::Lt(zero, raw), raw, zero);
    hn::Store(hn::IfThenElse(fast, step, hn::Load(d, c.v[kClockStep] + i)), d, c.v[kClockStep] + i);
    // The sine sum reads the angle, the other shapes the phase.
    const VD master = hn::Load(d, c.v[kClockMaster] + i);
    const auto sineShape = hn::Ne(hn::Load(d, v.steadySine + i), zero);
    hn::BlendedStore(hn::Mul(hn::Set(d, kOscTwoPi), master), hn::And(fast, sineShape), d, sine.x0 + i);
    hn::BlendedStore(master, hn::AndNot(sineShape, fast), d, shapes.phase + i);
    hn::Store(hn::IfThenElse(fast, hn::Load(d, v.memoShape + i), hn::Load(d, v.shapeTarget + i)), d,
              v.shapeTarget + i);
    hn::Store(hn::IfThenElse(fast, elapsed, hn::Load(d, v.stepTime + i)), d, v.stepTime + i);
    hn::Store(hn::IfThenElse(fast, one, hn::Load(d, v.tickSkipped + i)), d, v.tickSkipped + i);
  }
  v.steadyBits = steadyBits;
  v.plainBits = plainBits;
}

void EndVoiceLanesImpl(VoiceLanes& v, int count) {
  const DD d;
  const DF df;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  const VD two = hn::Set(d, 2.0);
  for (int i = 0; i < count; i += n) {
    const VD soundingD = hn::Load(d, v.sounding + i);
    const auto on = hn::And(hn::Ne(soundingD, zero), hn::FirstN(d, count - i));
    if (hn::AllFalse(d, on)) continue;
    const auto onF = hn::And(hn::Ne(hn::DemoteTo(df, soundingD), hn::Zero(df)), hn::FirstN(df, count - i));
    SmoothVec(df, v.shape, i, hn::DemoteTo(df, hn::Load(d, v.shapeTarget + i)), onF);
    const VF y = SmoothVec(df, v.pan, i, hn::DemoteTo(df, hn::Load(d, v.panTarget + i)), onF);
    // Single-precision smoothing may round a hair outside 0..1.
    const VD p = Hold(hn::PromoteTo(d, y), zero, one);
    // A settled pan keeps its gains (the square roots of the same bits).
    const hn::RebindToUnsigned<DD> du;
    const VD held = hn::Load(d, v.panPosition + i);
    if (!hn::AllTrue(du, hn::Eq(hn::BitCast(du, p), hn::BitCast(du, held)))) {
      hn::Store(p, d, v.panPosition + i);
      hn::Store(hn::Sqrt(hn::Sub(one, p)), d, v.panLeft + i);
      hn::Store(hn::Sqrt(p), d, v.panRight + i);
    }

    ClockLanes& c = v.clock;
    const VD step = hn::Load(d, c.v[kClockStep] + i);
    const VD master = hn::Load(d, c.v[kClockMaster] + i);
    const VD ring = hn::Load(d, c.v[kClockRing] + i);
    const VD elapsed = hn::Load(d, c.v[kClockElapsed] + i);
    const VD m = hn::Add(master, step);
    const VD r = hn::Add(ring, hn::Mul(hn::Mul(two, step), hn::Load(d, c.v[kClockRingRatio] + i)));
    // x - floor(x) is the phase wrap's value for every x.
    hn::Store(hn::IfThenElse(on, hn::Sub(m, hn::Floor(m)), master), d, c.v[kClockMaster] + i);
    hn::Store(hn::IfThenElse(on, hn::Sub(r, hn::Floor(r)), ring), d, c.v[kClockRing] + i);
    hn::Store(hn::IfThenElse(on, hn::Add(elapsed, hn::Load(d, c.v[kClockInvRate] + i)), elapsed), d,
              c.v[kClockElapsed] + i);
  }
}

void ShapeVoiceLanesImpl(VoiceLanes& v, FilterLanes& filters, const SineLanes& sine, int count) {
  const DD d;
  const int n = static_cast<int>(hn::Lanes(d));
  const VD zero = hn::Zero(d);
  const VD one = hn::Set(d, 1.0);
  ClockLanes& c = v.clock;
  for (int i = 0; i < count; i += n) {
    const auto use = hn::FirstN(d, count - i);
    const auto ringing = hn::And(hn::Ne(hn::Load(d, v.ringing + i), zero), use);
    const auto active = hn::Or(hn::And(hn::Ne(hn::Load(d, v.sounding + i), zero), use), ringing);
    hn::Store(hn::IfThenElse(active, one, zero), d, filters.active + i);
    hn::Store(hn::IfThenElse(ringing, zero, hn::Load(d, filters.x + i)), d, filters.x + i);
    hn::Store(hn::IfThenElse(ringing, hn::Load(d, v.ringLeft + i), hn::Load(d, v.panLeft + i)), d,
              filters.gainLeft + i);
    hn::Store(hn::IfThenElse(ringing, hn::Load(d, v.ringRight + i), hn::Load(d, v.panRight + i)), d,
              filters.gainRight + i);
    const uint8_t steadyByte = static_cast<uint8_t>(v.plainBits >> i);
    const auto steady = hn::And(hn::LoadMaskBits(d, &steadyByte), use);
    const uint8_t plainByte = static_cast<uint8_t>(v.shaperBits >> i);
    const auto on = hn::Or(hn::And(hn::LoadMaskBits(d, &plainByte), use), steady);
    if (hn::AllFalse(d, on)) continue;
    const VD m = hn::IfThenElse(steady, hn::Load(d, sine.sum + i), hn::Load(d, v.shaperIn + i));
    const VD divider = hn::Load(d, v.bitDivider + i);
    const VD feedback = hn::Load(d, v.bitFeedback + i);
    const VD counter0 = hn::Load(d, c.v[kClockCounter] + i);
    const VD held0 = hn::Load(d, c.v[kClockHeld] + i);
    const VD counter = hn::Add(counter0, one);
    const VD limit = hn::Mul(divider, hn::Load(d, c.v[kClockFsRatio] + i));
    const auto wrap = hn::Ge(counter, limit);
    const auto passes = hn::Le(divider, one);
    // Between holds the feedback moves the held sample by the phase times the input.
    const VD master = hn::Load(d, c.v[kClockMaster] + i);
    VD leaked = hn::Sub(held0, hn::Mul(hn::Mul(hn::Mul(master, m), feedback), hn::Set(d, 0.5)));
    const auto clamps = hn::Ne(feedback, zero);
    leaked = hn::IfThenElse(hn::And(clamps, hn::Gt(leaked, one)), one, leaked);
    leaked = hn::IfThenElse(hn::And(clamps, hn::Lt(leaked, hn::Neg(one))), hn::Neg(one), leaked);
    const VD x = hn::IfThenElse(hn::Or(passes, wrap), m, leaked);
    hn::Store(hn::IfThenElse(on, hn::IfThenElse(wrap, hn::Sub(counter, limit), counter), counter0), d,
              c.v[kClockCounter] + i);
    hn::Store(hn::IfThenElse(on, x, held0), d, c.v[kClockHeld] + i);
    const VD y = hn::Mul(hn::Mul(x, hn::Load(d, v.amplitude + i)), hn::Load(d, v.lfoGain + i));
    hn::Store(hn::IfThenElse(on, y, hn::Load(d, filters.x + i)), d, filters.x + i);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvanta
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace morvanta {

HWY_EXPORT(SumSineLanesImpl);
HWY_EXPORT(ProcessFilterLanesImpl);
HWY_EXPORT(SumShapeLanesImpl);
HWY_EXPORT(GrowPartialsImpl);
HWY_EXPORT(WeighPartialsImpl);
HWY_EXPORT(TickHarmonicsLanesImpl);

HWY_EXPORT(StartVoiceLanesImpl);
HWY_EXPORT(FrontVoiceLanesImpl);
HWY_EXPORT(EndVoiceLanesImpl);
HWY_EXPORT(ShapeVoiceLanesImpl);

void ShapeVoiceLanes(VoiceLanes& lanes, FilterLanes& filters, const SineLanes& sine, int count) {
  HWY_DYNAMIC_DISPATCH(ShapeVoiceLanesImpl)(lanes, filters, sine, count);
}

void StartVoiceLanes(VoiceLanes& lanes, int count) { HWY_DYNAMIC_DISPATCH(StartVoiceLanesImpl)(lanes, count); }

void FrontVoiceLanes(VoiceLanes& lanes, const VoiceFrontFactors& f, SineLanes& sine, ShapeLanes& shapes,
                     int count) {
  HWY_DYNAMIC_DISPATCH(FrontVoiceLanesImpl)(lanes, f, sine, shapes, count);
}

void EndVoiceLanes(VoiceLanes& lanes, int count) { HWY_DYNAMIC_DISPATCH(EndVoiceLanesImpl)(lanes, count); }

void SumShapeLanes(const ShapeLanes& s, uint32_t lanes, int shape, const double* levels, double* out) {
  HWY_DYNAMIC_DISPATCH(SumShapeLanesImpl)(s, lanes, shape, levels, out);
}

void GrowPartials(double* growth, double step, double ceiling, double floor) {
  HWY_DYNAMIC_DISPATCH(GrowPartialsImpl)(growth, step, ceiling, floor);
}

int WeighPartials(const double* levels, const double* growth, const double* damping, double* weights) {
  return HWY_DYNAMIC_DISPATCH(WeighPartialsImpl)(levels, growth, damping, weights);
}

void SumSineLanes(SineLanes& lanes, int count) { HWY_DYNAMIC_DISPATCH(SumSineLanesImpl)(lanes, count); }

void ProcessFilterLanes(FilterLanes& lanes, int count) {
  HWY_DYNAMIC_DISPATCH(ProcessFilterLanesImpl)(lanes, count);
}

int TickHarmonicsLanes(double* phases, const double* steps, double depth, const double* levels, double* gains) {
  return HWY_DYNAMIC_DISPATCH(TickHarmonicsLanesImpl)(phases, steps, depth, levels, gains);
}

}  // namespace morvanta
#endif  // HWY_ONCE
