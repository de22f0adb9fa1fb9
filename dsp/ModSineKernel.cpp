// ModSineKernel: the chorus's four sine-modulated lines per sample, vectorised
// across the lines. The buffer reads and writes, the glides and the loop
// filter's tangent (the library's single-precision tanf) stay one line at a
// time; the cut-off, the filter's coefficients and state, the read position
// and the sine modulation run on all lines at once, with the scalar code's
// operations in the scalar code's order (no fused multiply-adds), so every
// target computes the samples ModDelayLine::ProcessSine does.
#include "dsp/ModSineLanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "dsp/ModSineKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>

#include "dsp/FastSine.h"

HWY_BEFORE_NAMESPACE();
namespace morvanta {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

constexpr int kLanes = ModSineLanes::kLanes;
constexpr double kTwoPi = 6.283185307179586476925;

using D = hn::CappedTag<double, kLanes>;

// FastSine's polynomials and quadrant choice for arguments below 1e12 in
// magnitude (the caller takes the others one at a time).
template <class V>
V SineOf(D d, V x) {
  namespace fd = fastsine_detail;
  const V scaled = hn::Mul(x, hn::Set(d, fd::kTwoOverPi));
  const V half = hn::IfThenElse(hn::Ge(scaled, hn::Zero(d)), hn::Set(d, 0.5), hn::Set(d, -0.5));
  const V q = hn::Trunc(hn::Add(scaled, half));
  const V r = hn::Sub(hn::Sub(x, hn::Mul(q, hn::Set(d, fd::kHalfPiHigh))), hn::Mul(q, hn::Set(d, fd::kHalfPiLow)));
  const V r2 = hn::Mul(r, r);
  const V r4 = hn::Mul(r2, r2);
  const V r8 = hn::Mul(r4, r4);
  const V ps = hn::Add(hn::Add(hn::Add(hn::Set(d, -1.0 / 6), hn::Mul(r2, hn::Set(d, 1.0 / 120))),
                               hn::Mul(r4, hn::Add(hn::Set(d, -1.0 / 5040), hn::Mul(r2, hn::Set(d, 1.0 / 362880))))),
                       hn::Mul(r8, hn::Add(hn::Set(d, -1.0 / 39916800),
                                           hn::Mul(r2, hn::Set(d, 1.0 / 6227020800.0)))));
  const V sine = hn::Add(r, hn::Mul(hn::Mul(r, r2), ps));
  const V pc = hn::Add(
      hn::Add(hn::Add(hn::Set(d, -0.5), hn::Mul(r2, hn::Set(d, 1.0 / 24))),
              hn::Mul(r4, hn::Add(hn::Set(d, -1.0 / 720), hn::Mul(r2, hn::Set(d, 1.0 / 40320))))),
      hn::Mul(r8, hn::Add(hn::Add(hn::Set(d, -1.0 / 3628800), hn::Mul(r2, hn::Set(d, 1.0 / 479001600.0))),
                          hn::Mul(r4, hn::Set(d, -1.0 / 87178291200.0)))));
  const V cosine = hn::Add(hn::Set(d, 1.0), hn::Mul(r2, pc));
  // The quadrant q mod 4 (q & 3 for the two's complement integer).
  const V quarter = hn::Sub(q, hn::Mul(hn::Set(d, 4.0), hn::Floor(hn::Mul(q, hn::Set(d, 0.25)))));
  const V odd = hn::IfThenElse(hn::Eq(quarter, hn::Set(d, 1.0)), cosine, hn::Neg(cosine));
  const V even = hn::IfThenElse(hn::Eq(quarter, hn::Zero(d)), sine, hn::Neg(sine));
  return hn::IfThenElse(hn::Or(hn::Eq(quarter, hn::Set(d, 1.0)), hn::Eq(quarter, hn::Set(d, 3.0))), odd, even);
}

}  // namespace

void ModSineBlockKernel(ModSineLanes& s, const double* const* x, double* const* y, int n) {
  const D d;
  const hn::Rebind<float, D> df;
  constexpr int kStep = static_cast<int>(hn::MaxLanes(d));
  alignas(32) double out[kLanes];
  alignas(32) double in[kLanes];
  alignas(32) float argument[kLanes];
  alignas(32) double tangent[kLanes];
  alignas(32) double pushed[kLanes];
  alignas(32) double write[kLanes];
  alignas(32) double angle[kLanes];
  const auto zero = hn::Zero(d);
  const auto one = hn::Set(d, 1.0);
  const auto two = hn::Set(d, 2.0);
  bool anyGliding = false;
  for (int k = 0; k < kLanes; ++k) anyGliding |= s.gliding[k];
  for (int t = 0; t < n; ++t) {
    for (int k = 0; k < kLanes; ++k) {
      if (s.delayLength[k] >= s.lengthD[k]) s.delayLength[k] = s.lengthD[k];
      out[k] = s.pos[k].ReadBetween(s.data[k], s.readPos[k]);
      in[k] = x[k][t];
    }
    for (int k = 0; k < kLanes; k += kStep) {
      // Cut-off (held below Nyquist) and the tangent's argument.
      const auto fc = hn::Div(hn::Add(hn::Mul(hn::Load(d, s.modFactor + k), hn::Set(d, 750.0)), hn::Set(d, 6000.0)),
                              hn::Load(d, s.fs + k));
      hn::Store(fc, d, s.fc + k);
      const auto held = hn::IfThenElse(hn::Lt(fc, hn::Set(d, 0.49)), fc, hn::Set(d, 0.49));
      hn::Store(hn::DemoteTo(df, hn::Mul(hn::Set(d, 3.14159265358979323846), held)), df, argument + k);
    }
    for (int k = 0; k < kLanes; ++k) tangent[k] = std::tan(argument[k]);
    for (int k = 0; k < kLanes; k += kStep) {
      // The low-pass coefficients from the tangent.
      const auto K = hn::Load(d, tangent + k);
      const auto K2 = hn::Mul(K, K);
      const auto KQ = hn::Div(K, hn::Load(d, s.q + k));
      const auto norm = hn::Div(one, hn::Add(hn::Add(one, KQ), K2));
      const auto b0 = hn::Mul(K2, norm);
      const auto b1 = hn::Mul(two, b0);
      const auto b2 = b0;
      const auto a1 = hn::Mul(hn::Mul(two, hn::Sub(K2, one)), norm);
      const auto a2 = hn::Mul(hn::Add(hn::Sub(one, KQ), K2), norm);
      hn::Store(b0, d, s.b0 + k);
      hn::Store(b1, d, s.b1 + k);
      hn::Store(b2, d, s.b2 + k);
      hn::Store(a1, d, s.a1 + k);
      hn::Store(a2, d, s.a2 + k);
      // The loop: input plus fed-back output, in single precision, through
      // the filter.
      const auto o = hn::Load(d, out + k);
      const auto u = hn::PromoteTo(
          d, hn::DemoteTo(df, hn::Add(hn::Load(d, in + k), hn::Mul(o, hn::Load(d, s.feedback + k)))));
      const auto z1 = hn::Load(d, s.z1 + k);
      const auto z2 = hn::Load(d, s.z2 + k);
      const auto yv = hn::Add(hn::Mul(u, b0), z1);
      hn::Store(hn::Sub(hn::Add(hn::Mul(u, b1), z2), hn::Mul(a1, yv)), d, s.z1 + k);
      hn::Store(hn::Sub(hn::Mul(u, b2), hn::Mul(a2, yv)), d, s.z2 + k);
      hn::Store(hn::PromoteTo(d, hn::DemoteTo(df, yv)), d, pushed + k);
    }
    for (int k = 0; k < kLanes; ++k) {
      s.pos[k].Push(s.data[k], pushed[k]);
      write[k] = s.pos[k].write;
    }
    for (int k = 0; k < kLanes; k += kStep) {
      // The read position for the next sample, held inside the buffer.
      const auto span = hn::Load(d, s.lengthD + k);
      auto used = hn::Mul(hn::Load(d, s.modFactor + k), hn::Load(d, s.delayLength + k));
      used = hn::IfThenElse(hn::Gt(used, zero), used, zero);
      used = hn::IfThenElse(hn::Gt(used, span), span, used);
      auto p = hn::Sub(hn::Load(d, write + k), used);
      p = hn::IfThenElse(hn::Lt(p, zero), hn::Add(p, span), p);
      p = hn::IfThenElse(hn::Ge(p, span), hn::Sub(p, span), p);
      hn::Store(p, d, s.readPos + k);
    }
    if (anyGliding) {
      anyGliding = false;
      for (int k = 0; k < kLanes; ++k) {
        if (!s.gliding[k]) continue;
        s.ramp[k]->Advance(1);
        s.delayLength[k] = s.ramp[k]->current;
        s.gliding[k] = s.ramp[k]->Running();
        anyGliding |= s.gliding[k];
      }
    }
    bool wide = false;
    for (int k = 0; k < kLanes; k += kStep) {
      // The modulation, and the phase for the next sample.
      const auto phase = hn::Load(d, s.modPhase + k);
      const auto a = hn::Mul(hn::Set(d, kTwoPi), phase);
      hn::Store(a, d, angle + k);
      wide |= !hn::AllTrue(d, hn::Lt(hn::Abs(a), hn::Set(d, 1e12)));
      hn::Store(hn::Add(one, hn::Mul(hn::Load(d, s.depth + k), SineOf(d, a))), d, s.modFactor + k);
      const auto rate = hn::Load(d, s.rate + k);
      hn::Store(hn::Add(phase, hn::Div(rate, hn::Load(d, s.fs + k))), d, s.modPhase + k);
      hn::Store(hn::Mul(hn::Load(d, out + k), hn::Load(d, s.gain + k)), d, out + k);
    }
    if (wide) {
      for (int k = 0; k < kLanes; ++k) {
        if (!(std::fabs(angle[k]) < 1e12)) s.modFactor[k] = 1.0 + s.depth[k] * FastSine(angle[k]);
      }
    }
    for (int k = 0; k < kLanes; ++k) y[k][t] = out[k];
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvanta
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace morvanta {

HWY_EXPORT(ModSineBlockKernel);

void ModSineBlock(ModSineLanes& s, const double* const* x, double* const* y, int n) {
  HWY_DYNAMIC_DISPATCH(ModSineBlockKernel)(s, x, y, n);
}

}  // namespace morvanta
#endif  // HWY_ONCE
