// VoiceKernels: the sine sum and the filter step across lanes, compiled once
// per instruction set and picked at run time. Every expression repeats the
// one-voice code's operations in its order; the float/double conversions are
// the same roundings (DemoteTo rounds to nearest like the casts).
#include "dsp/VoiceKernels.h"

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
    double maxTop = -1.0;
    for (int j = i; j < i + n && j < count; ++j) maxTop = s.top[j] > maxTop ? s.top[j] : maxTop;
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
    VD sn[16];
    sn[0] = s0;
    sn[1] = SinQuadrantLanes(d, x1, 0);
    sn[2] = hn::Sub(hn::Mul(c1, sn[1]), sn[0]);
    sn[3] = hn::Sub(hn::Mul(c1, sn[2]), sn[1]);
    for (int k = 4; k < 8; ++k) sn[k] = hn::Sub(hn::Mul(c2, sn[k - 2]), sn[k - 4]);
    auto group = [&](int b) {
      auto p = [&](int k) { return hn::Mul(a(k), sn[k]); };
      return hn::Add(hn::Add(hn::Add(p(b), p(b + 1)), hn::Add(p(b + 2), p(b + 3))),
                     hn::Add(hn::Add(p(b + 4), p(b + 5)), hn::Add(p(b + 6), p(b + 7))));
    };
    const VD lo = group(0);
    VD result = hn::IfThenElse(hn::Gt(top, zero), lo, first);
    if (maxTop >= 8.0) {
      for (int k = 8; k < 16; ++k) sn[k] = hn::Sub(hn::Mul(c4, sn[k - 4]), sn[k - 8]);
      result = hn::IfThenElse(hn::Ge(top, hn::Set(d, 8.0)), hn::Add(lo, group(8)), result);
    }
    hn::Store(result, d, s.sum + i);
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
    alignas(64) float angles[kKernelLanes];
    hn::Store(angle, df, angles);
    for (int j = 0; j < n && i + j < count; ++j) {
      if (f.active[i + j] != 0.0 && angles[j] != f.tanKey[i + j]) {
        f.tanKey[i + j] = angles[j];
        f.tanValue[i + j] = std::tan(angles[j]);
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

}  // namespace HWY_NAMESPACE
}  // namespace morvanta
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace morvanta {

HWY_EXPORT(SumSineLanesImpl);
HWY_EXPORT(ProcessFilterLanesImpl);
HWY_EXPORT(TickHarmonicsLanesImpl);

void SumSineLanes(SineLanes& lanes, int count) { HWY_DYNAMIC_DISPATCH(SumSineLanesImpl)(lanes, count); }

void ProcessFilterLanes(FilterLanes& lanes, int count) {
  HWY_DYNAMIC_DISPATCH(ProcessFilterLanesImpl)(lanes, count);
}

int TickHarmonicsLanes(double* phases, const double* steps, double depth, const double* levels, double* gains) {
  return HWY_DYNAMIC_DISPATCH(TickHarmonicsLanesImpl)(phases, steps, depth, levels, gains);
}

}  // namespace morvanta
#endif  // HWY_ONCE
