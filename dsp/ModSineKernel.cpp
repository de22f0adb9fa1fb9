// ModSineKernel: the chorus's four sine-modulated lines per sample, vectorised
// across the lines. The buffer loads and stores, the glides and the loop
// filter's tangent (the library's single-precision tanf, which no cheaper
// formula reproduces to the bit) stay one line at a time; the read positions,
// the interpolation, the cut-off, the filter's coefficients and state and the
// sine modulation run on all lines at once, with the scalar code's operations
// in the scalar code's order (no fused multiply-adds), so every target
// computes the samples ModDelayLine::ProcessSine does.
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
using V = hn::Vec<D>;
using DI = hn::Rebind<int32_t, D>;
constexpr int kStep = static_cast<int>(hn::MaxLanes(D()));
static_assert(kLanes % kStep == 0, "the lanes fill whole vectors");
static_assert(kLanes == 4, "the stretch's inputs and outputs are copied four lines at a time");
constexpr int kChunks = kLanes / kStep;

// The lanes of chunk c from values just stored one at a time: each is loaded
// on its own (a vector load right after single stores would wait for them to
// reach the cache) and the vector is put together in registers.
HWY_INLINE V FromScalars(D d, const double* v, int c) {
  const double* a = v + c * kStep;
#if HWY_TARGET == HWY_SCALAR
  return hn::Set(d, a[0]);
#else
  if constexpr (kStep == 4) {
    const hn::Half<D> dh;
    return hn::Combine(d, hn::InterleaveLower(dh, hn::Set(dh, a[2]), hn::Set(dh, a[3])),
                       hn::InterleaveLower(dh, hn::Set(dh, a[0]), hn::Set(dh, a[1])));
  } else {
    return hn::InterleaveLower(d, hn::Set(d, a[0]), hn::Set(d, a[1]));
  }
#endif
}

// FastSine's polynomials and quadrant choice for arguments below 1e12 in
// magnitude (the caller takes the others one at a time).
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
  const DI di;
  const auto one = hn::Set(d, 1.0);
  const auto two = hn::Set(d, 2.0);
  // The lines' state in locals for the whole block, where the sample stores
  // cannot alias it.
  struct Chunk {
    V modFactor, modPhase, fs, feedback, gain, depth, phaseStep, q, fc, b0, b1, b2, a1, a2, z1, z2;
    // The buffers' read positions, lengths and write indices (the write
    // index wraps at the store's own length).
    V readPos, delayLength, lengthD, write, lengthW;
    hn::Vec<DI> lengthI;
  } c[kChunks];
  for (int i = 0; i < kChunks; ++i) {
    const int k = i * kStep;
    Chunk& h = c[i];
    h.modFactor = hn::Load(d, s.modFactor + k);
    h.modPhase = hn::Load(d, s.modPhase + k);
    h.fs = hn::Load(d, s.fs + k);
    h.feedback = hn::Load(d, s.feedback + k);
    h.gain = hn::Load(d, s.gain + k);
    h.depth = hn::Load(d, s.depth + k);
    // The phase's step is the same quotient every sample.
    h.phaseStep = hn::Div(hn::Load(d, s.rate + k), h.fs);
    h.q = hn::Load(d, s.q + k);
    h.fc = hn::Load(d, s.fc + k);
    h.b0 = hn::Load(d, s.b0 + k);
    h.b1 = hn::Load(d, s.b1 + k);
    h.b2 = hn::Load(d, s.b2 + k);
    h.a1 = hn::Load(d, s.a1 + k);
    h.a2 = hn::Load(d, s.a2 + k);
    h.z1 = hn::Load(d, s.z1 + k);
    h.z2 = hn::Load(d, s.z2 + k);
  }
  DelayBuffer::Positions pos[kLanes];
  double* data[kLanes];
  bool gliding[kLanes];
  bool anyGliding = false;
  alignas(32) double write[kLanes];
  alignas(32) int32_t length[kLanes];
  for (int k = 0; k < kLanes; ++k) {
    pos[k] = s.pos[k];
    data[k] = s.data[k];
    gliding[k] = s.gliding[k];
    anyGliding |= gliding[k];
    write[k] = pos[k].write;
    length[k] = pos[k].length;
  }
  for (int i = 0; i < kChunks; ++i) {
    const int k = i * kStep;
    c[i].readPos = hn::Load(d, s.readPos + k);
    c[i].delayLength = hn::Load(d, s.delayLength + k);
    c[i].lengthD = hn::Load(d, s.lengthD + k);
    c[i].write = hn::Load(d, write + k);
    c[i].lengthI = hn::Load(di, length + k);
    c[i].lengthW = hn::PromoteTo(d, c[i].lengthI);
  }

  // The modulation and the loop filter's coefficients do not depend on the
  // signal: they are found for a stretch of frames first, where the frames'
  // divisions and tangents overlap, and the signal then runs through them.
  constexpr int kStretch = 64;
  alignas(32) float argument[kStretch * kLanes];
  alignas(32) double tangent[kStretch * kLanes];
  alignas(32) double factor[kStretch * kLanes];
  alignas(32) double b0[kStretch * kLanes];
  alignas(32) double b1[kStretch * kLanes];
  alignas(32) double a1[kStretch * kLanes];
  alignas(32) double a2[kStretch * kLanes];
  alignas(32) double inputs[kStretch * kLanes];
  alignas(32) double outputs[kStretch * kLanes];
  alignas(32) double pushed[kLanes];
  alignas(32) int32_t index[kLanes];
  alignas(32) int32_t following[kLanes];
  alignas(32) int32_t slot[kLanes];
  alignas(32) double angle[kLanes];
  for (int first = 0; first < n; first += kStretch) {
    const int count = n - first < kStretch ? n - first : kStretch;
    for (int t = 0; t < count; ++t) {
      bool wide = false;
      for (int i = 0; i < kChunks; ++i) {
        Chunk& h = c[i];
        const int at = t * kLanes + i * kStep;
        hn::Store(h.modFactor, d, factor + at);
        // Cut-off (held below Nyquist) and the tangent's argument.
        h.fc = hn::Div(hn::Add(hn::Mul(h.modFactor, hn::Set(d, 750.0)), hn::Set(d, 6000.0)), h.fs);
        const auto held = hn::IfThenElse(hn::Lt(h.fc, hn::Set(d, 0.49)), h.fc, hn::Set(d, 0.49));
        hn::Store(hn::DemoteTo(df, hn::Mul(hn::Set(d, 3.14159265358979323846), held)), df, argument + at);
        // The modulation, and the phase for the next sample.
        const auto a = hn::Mul(hn::Set(d, kTwoPi), h.modPhase);
        hn::Store(a, d, angle + i * kStep);
        wide |= !hn::AllTrue(d, hn::Lt(hn::Abs(a), hn::Set(d, 1e12)));
        h.modFactor = hn::Add(one, hn::Mul(h.depth, SineOf(d, a)));
        h.modPhase = hn::Add(h.modPhase, h.phaseStep);
      }
      if (wide) {
        alignas(32) double next[kLanes];
        alignas(32) double depth[kLanes];
        for (int i = 0; i < kChunks; ++i) {
          hn::Store(c[i].modFactor, d, next + i * kStep);
          hn::Store(c[i].depth, d, depth + i * kStep);
        }
        for (int k = 0; k < kLanes; ++k) {
          if (!(std::fabs(angle[k]) < 1e12)) next[k] = 1.0 + depth[k] * FastSine(angle[k]);
        }
        for (int i = 0; i < kChunks; ++i) c[i].modFactor = hn::Load(d, next + i * kStep);
      }
    }
    for (int k = 0; k < count * kLanes; ++k) tangent[k] = std::tan(argument[k]);
    for (int t = 0; t < count; ++t) {
      for (int i = 0; i < kChunks; ++i) {
        // The low-pass coefficients from the tangent.
        const int at = t * kLanes + i * kStep;
        const auto K = hn::Load(d, tangent + at);
        const auto K2 = hn::Mul(K, K);
        const auto KQ = hn::Div(K, c[i].q);
        const auto norm = hn::Div(one, hn::Add(hn::Add(one, KQ), K2));
        const auto b0v = hn::Mul(K2, norm);
        hn::Store(b0v, d, b0 + at);
        hn::Store(hn::Mul(two, b0v), d, b1 + at);
        hn::Store(hn::Mul(hn::Mul(two, hn::Sub(K2, one)), norm), d, a1 + at);
        hn::Store(hn::Mul(hn::Add(hn::Sub(one, KQ), K2), norm), d, a2 + at);
      }
    }

    // Until a line has filled its buffer once since the last clear, its reads
    // check which samples are still unwritten (a stretch that starts full
    // stays full).
    bool full = true;
    for (int k = 0; k < kLanes; ++k) full = full && pos[k].written >= pos[k].length;
    // The stretch's inputs side by side (every input is read before any
    // output is written).
    {
      const double *x0 = x[0] + first, *x1 = x[1] + first, *x2 = x[2] + first, *x3 = x[3] + first;
      for (int t = 0; t < count; ++t) {
        double* to = inputs + t * kLanes;
        to[0] = x0[t];
        to[1] = x1[t];
        to[2] = x2[t];
        to[3] = x3[t];
      }
    }
    for (int t = 0; t < count; ++t) {
      alignas(32) double ra[kLanes], rb[kLanes];
      alignas(32) double fraction[kLanes];
      for (int i = 0; i < kChunks; ++i) {
        // DelayBuffer::Positions::ReadBetween's indices and fraction on all
        // lines, the length held inside the buffer first.
        Chunk& h = c[i];
        h.delayLength = hn::IfThenElse(hn::Ge(h.delayLength, h.lengthD), h.lengthD, h.delayLength);
        const auto at = hn::DemoteTo(di, h.readPos);
        const auto next = hn::Add(at, hn::Set(di, 1));
        hn::Store(at, di, index + i * kStep);
        hn::Store(hn::IfThenElseZero(hn::Lt(next, h.lengthI), next), di, following + i * kStep);
        hn::Store(hn::Sub(h.readPos, hn::PromoteTo(d, at)), d, fraction + i * kStep);
      }
      if (full) {
        for (int k = 0; k < kLanes; ++k) {
          ra[k] = data[k][index[k]];
          rb[k] = data[k][following[k]];
        }
      } else {
        for (int k = 0; k < kLanes; ++k) {
          ra[k] = pos[k].Read(data[k], index[k]);
          rb[k] = pos[k].Read(data[k], following[k]);
        }
      }
      for (int i = 0; i < kChunks; ++i) {
        // The loop: input plus fed-back output, in single precision, through
        // the filter.
        Chunk& h = c[i];
        const int at = t * kLanes + i * kStep;
        const auto f = hn::Load(d, fraction + i * kStep);
        const auto o = hn::Add(hn::Mul(hn::Sub(one, f), FromScalars(d, ra, i)), hn::Mul(f, FromScalars(d, rb, i)));
        const auto u = hn::PromoteTo(d, hn::DemoteTo(df, hn::Add(hn::Load(d, inputs + at), hn::Mul(o, h.feedback))));
        const auto fb0 = hn::Load(d, b0 + at);
        const auto yv = hn::Add(hn::Mul(u, fb0), h.z1);
        h.z1 = hn::Sub(hn::Add(hn::Mul(u, hn::Load(d, b1 + at)), h.z2), hn::Mul(hn::Load(d, a1 + at), yv));
        h.z2 = hn::Sub(hn::Mul(u, fb0), hn::Mul(hn::Load(d, a2 + at), yv));
        hn::Store(hn::PromoteTo(d, hn::DemoteTo(df, yv)), d, pushed + i * kStep);
        hn::Store(hn::Mul(o, h.gain), d, outputs + at);
        // The read position for the next sample, held inside the buffer,
        // from the write index after the push.
        hn::Store(hn::DemoteTo(di, h.write), di, slot + i * kStep);
        h.write = hn::Add(h.write, one);
        h.write = hn::IfThenElseZero(hn::Lt(h.write, h.lengthW), h.write);
        auto used = hn::Mul(hn::Load(d, factor + at), h.delayLength);
        used = hn::IfThenElseZero(hn::Gt(used, hn::Zero(d)), used);
        used = hn::IfThenElse(hn::Gt(used, h.lengthD), h.lengthD, used);
        auto p = hn::Sub(h.write, used);
        p = hn::IfThenElse(hn::Lt(p, hn::Zero(d)), hn::Add(p, h.lengthD), p);
        h.readPos = hn::IfThenElse(hn::Ge(p, h.lengthD), hn::Sub(p, h.lengthD), p);
      }
      if (full) {
        for (int k = 0; k < kLanes; ++k) data[k][slot[k]] = pushed[k];
      } else {
        for (int k = 0; k < kLanes; ++k) pos[k].Push(data[k], pushed[k]);
      }
      if (anyGliding) {
        anyGliding = false;
        alignas(32) double glided[kLanes];
        for (int i = 0; i < kChunks; ++i) hn::Store(c[i].delayLength, d, glided + i * kStep);
        for (int k = 0; k < kLanes; ++k) {
          if (!gliding[k]) continue;
          s.ramp[k]->Advance(1);
          glided[k] = s.ramp[k]->current;
          gliding[k] = s.ramp[k]->Running();
          anyGliding |= gliding[k];
        }
        for (int i = 0; i < kChunks; ++i) c[i].delayLength = hn::Load(d, glided + i * kStep);
      }
    }
    if (full) {
      // The write indices moved on in the lanes alone.
      alignas(32) double moved[kLanes];
      for (int i = 0; i < kChunks; ++i) hn::Store(c[i].write, d, moved + i * kStep);
      for (int k = 0; k < kLanes; ++k) pos[k].write = static_cast<int32_t>(moved[k]);
    }
    {
      double *y0 = y[0] + first, *y1 = y[1] + first, *y2 = y[2] + first, *y3 = y[3] + first;
      for (int t = 0; t < count; ++t) {
        const double* from = outputs + t * kLanes;
        y0[t] = from[0];
        y1[t] = from[1];
        y2[t] = from[2];
        y3[t] = from[3];
      }
    }
    // The last frame's coefficients stay with the lines.
    const int last = (count - 1) * kLanes;
    for (int i = 0; i < kChunks; ++i) {
      const int at = last + i * kStep;
      c[i].b0 = hn::Load(d, b0 + at);
      c[i].b1 = hn::Load(d, b1 + at);
      c[i].b2 = c[i].b0;
      c[i].a1 = hn::Load(d, a1 + at);
      c[i].a2 = hn::Load(d, a2 + at);
    }
  }

  for (int k = 0; k < kLanes; ++k) {
    s.pos[k] = pos[k];
    s.gliding[k] = gliding[k];
  }
  for (int i = 0; i < kChunks; ++i) {
    hn::Store(c[i].readPos, d, s.readPos + i * kStep);
    hn::Store(c[i].delayLength, d, s.delayLength + i * kStep);
  }
  for (int i = 0; i < kChunks; ++i) {
    const int k = i * kStep;
    const Chunk& h = c[i];
    hn::Store(h.modFactor, d, s.modFactor + k);
    hn::Store(h.modPhase, d, s.modPhase + k);
    hn::Store(h.fc, d, s.fc + k);
    hn::Store(h.b0, d, s.b0 + k);
    hn::Store(h.b1, d, s.b1 + k);
    hn::Store(h.b2, d, s.b2 + k);
    hn::Store(h.a1, d, s.a1 + k);
    hn::Store(h.a2, d, s.a2 + k);
    hn::Store(h.z1, d, s.z1 + k);
    hn::Store(h.z2, d, s.z2 + k);
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
