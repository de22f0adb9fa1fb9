// ReverbKernel: the reverb network per frame, vectorised across its lines.
// Within a frame the lines depend on each other only through the running sums
// that feed each line the outputs of the lines before it; those sums stay a
// scalar chain in the network's order. Everything else (the damping pairs, the
// loop arithmetic, the read positions, the triangle modulation) runs on every
// line at once, with the scalar code's operations in the scalar code's order
// (no fused multiply-adds), so every target computes the same samples.
#include "dsp/ReverbLanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "dsp/ReverbKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace morvanta {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

constexpr int kLanes = ReverbLanes::kLanes;

// The line outputs, read before the frame's input reaches any line. The
// positions in the store are found for all lines at once; only the loads are
// one line at a time.
void ReadLines(ReverbLanes& s, double* y, double* heard, bool prefetch) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> dh;
  alignas(64) double near[kLanes];
  alignas(64) double far[kLanes];
  alignas(64) double fraction[kLanes];
  alignas(64) int32_t nearAt[kLanes];
  alignas(64) int32_t farAt[kLanes];
  const hn::Rebind<int32_t, decltype(d)> di;
  const auto zero = hn::Zero(d);
  const auto one = hn::Set(d, 1.0);
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(d))) {
    const auto len = hn::Load(d, s.delayLength + k);
    const auto span = hn::Load(d, s.lengthD + k);
    hn::Store(hn::IfThenElse(hn::Ge(len, span), span, len), d, s.delayLength + k);
    const auto pos = hn::Load(d, s.readPos + k);
    const auto at = hn::Floor(pos);  // positions are never negative
    hn::Store(hn::Sub(pos, at), d, fraction + k);
    const auto circle = hn::Load(d, s.circle + k);
    const auto room = hn::Load(d, s.room + k);
    const auto write = hn::Load(d, s.write + k);
    auto dist = hn::Sub(hn::Load(d, s.circleWrite + k), at);
    dist = hn::IfThenElse(hn::Le(dist, zero), hn::Add(dist, circle), dist);
    auto next = hn::Sub(dist, one);
    next = hn::IfThenElse(hn::Le(next, zero), hn::Add(next, circle), next);
    dist = hn::IfThenElse(hn::Gt(dist, room), room, dist);
    next = hn::IfThenElse(hn::Gt(next, room), room, next);
    auto i = hn::Sub(write, dist);
    i = hn::IfThenElse(hn::Lt(i, zero), hn::Add(i, room), i);
    auto j = hn::Sub(write, next);
    j = hn::IfThenElse(hn::Lt(j, zero), hn::Add(j, room), j);
    hn::Store(hn::DemoteTo(di, i), di, nearAt + k);
    hn::Store(hn::DemoteTo(di, j), di, farAt + k);
    // Samples not written since the last clear read as 0.
    const auto filled = hn::Load(d, s.filled + k);
    hn::Store(hn::IfThenElse(hn::Le(dist, filled), one, zero), d, near + k);
    hn::Store(hn::IfThenElse(hn::Le(next, filled), one, zero), d, far + k);
  }
  for (int side = 0; side < 2; ++side) {
    for (int line = 0; line < ReverbLanes::kLinesPerSide; ++line) {
      const int k = ReverbLanes::Lane(side, line);
      const double* raw = s.mem[k].Raw();
      // The flags become the samples (or stay 0).
      near[k] = near[k] != 0.0 ? raw[nearAt[k]] : 0.0;
      far[k] = far[k] != 0.0 ? raw[farAt[k]] : 0.0;
      if (prefetch) PrefetchLine(s, k);
    }
  }
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(d))) {
    const auto f = hn::Load(d, fraction + k);
    const auto out = hn::Add(hn::Mul(hn::Sub(one, f), hn::Load(d, near + k)), hn::Mul(f, hn::Load(d, far + k)));
    hn::Store(out, d, y + k);
    // What the line passes on, rounded to single precision.
    hn::Store(hn::PromoteTo(d, hn::DemoteTo(dh, hn::Mul(out, hn::Load(d, s.outputGain + k)))), d, heard + k);
  }
}

// Writes every line's sample and moves the stores' and circles' positions on.
void WriteLines(ReverbLanes& s, const double* w) {
  for (int side = 0; side < 2; ++side) {
    for (int line = 0; line < ReverbLanes::kLinesPerSide; ++line) {
      const int k = ReverbLanes::Lane(side, line);
      s.mem[k].Data()[static_cast<int32_t>(s.write[k])] = w[k];
    }
  }
  const hn::ScalableTag<double> d;
  const auto zero = hn::Zero(d);
  const auto one = hn::Set(d, 1.0);
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(d))) {
    const auto room = hn::Load(d, s.room + k);
    const auto write = hn::Add(hn::Load(d, s.write + k), one);
    hn::Store(hn::IfThenElse(hn::Lt(write, room), write, zero), d, s.write + k);
    const auto filled = hn::Load(d, s.filled + k);
    hn::Store(hn::IfThenElse(hn::Lt(filled, room), hn::Add(filled, one), filled), d, s.filled + k);
    const auto cw = hn::Add(hn::Load(d, s.circleWrite + k), one);
    hn::Store(hn::IfThenElse(hn::Lt(cw, hn::Load(d, s.circle + k)), cw, zero), d, s.circleWrite + k);
  }
}

void RunLines(ReverbLanes& s, const double* y, const float* x, double* w) {
  const hn::ScalableTag<float> df;
  const hn::ScalableTag<double> dd;
  const hn::Rebind<float, decltype(dd)> dh;  // as many floats as dd has doubles
  alignas(64) float ya[kLanes];
  alignas(64) float yb[kLanes];
  const auto offset = hn::Set(df, ReverbLanes::kDenormalOffset);
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(df))) {
    const auto in = hn::Add(hn::Load(df, x + k), offset);
    const auto x1 = hn::Load(df, s.x1 + k);
    const auto x2 = hn::Load(df, s.x2 + k);
    for (int sec = 0; sec < 2; ++sec) {
      const auto y1 = hn::Load(df, s.y1[sec] + k);
      const auto y2 = hn::Load(df, s.y2[sec] + k);
      auto out = hn::Mul(hn::Load(df, s.b0[sec] + k), in);
      out = hn::Add(out, hn::Mul(hn::Load(df, s.b1[sec] + k), x1));
      out = hn::Add(out, hn::Mul(hn::Load(df, s.b2[sec] + k), x2));
      out = hn::Sub(out, hn::Mul(hn::Load(df, s.a1[sec] + k), y1));
      out = hn::Sub(out, hn::Mul(hn::Load(df, s.a2[sec] + k), y2));
      hn::Store(y1, df, s.y2[sec] + k);
      hn::Store(out, df, s.y1[sec] + k);
      hn::Store(out, df, (sec == 0 ? ya : yb) + k);
    }
    hn::Store(x1, df, s.x2 + k);
    hn::Store(in, df, s.x1 + k);
  }
  const auto g1 = hn::Set(dd, s.g1);
  const auto g2 = hn::Set(dd, s.g2);
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(dd))) {
    const auto mixed = hn::Add(hn::Mul(g1, hn::PromoteTo(dd, hn::Load(dh, ya + k))),
                               hn::Mul(g2, hn::PromoteTo(dd, hn::Load(dh, yb + k))));
    const auto damped = hn::PromoteTo(dd, hn::DemoteTo(dh, mixed));
    const auto loop = hn::Sub(damped, hn::Mul(hn::Load(dd, y + k), hn::Load(dd, s.feedback + k)));
    hn::Store(loop, dd, w + k);
  }
}

// After the writes: the next read positions and the triangle's next step.
void MoveLines(ReverbLanes& s, const double* writeIndex, const double* lengthBefore) {
  const hn::ScalableTag<double> d;
  const auto zero = hn::Zero(d);
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(d))) {
    const auto room = hn::Load(d, s.lengthD + k);
    auto used = hn::Mul(hn::Load(d, s.modFactor + k), hn::Load(d, lengthBefore + k));
    used = hn::IfThenElse(hn::Gt(used, zero), used, zero);
    used = hn::IfThenElse(hn::Gt(used, room), room, used);
    auto pos = hn::Sub(hn::Load(d, writeIndex + k), used);
    pos = hn::IfThenElse(hn::Lt(pos, zero), hn::Add(pos, room), pos);
    pos = hn::IfThenElse(hn::Ge(pos, room), hn::Sub(pos, room), pos);
    hn::Store(pos, d, s.readPos + k);

    auto dir = hn::Load(d, s.modDirection + k);
    auto factor = hn::Add(hn::Load(d, s.modFactor + k), hn::Mul(dir, hn::Load(d, s.modRate + k)));
    const auto high = hn::Load(d, s.factorHigh + k);
    const auto low = hn::Load(d, s.factorLow + k);
    const auto atHigh = hn::Ge(factor, high);
    const auto atLow = hn::AndNot(atHigh, hn::Le(factor, low));
    const auto turn = hn::Or(atHigh, atLow);
    factor = hn::IfThenElse(atHigh, high, hn::IfThenElse(atLow, low, factor));
    dir = hn::IfThenElse(turn, hn::Neg(dir), dir);
    hn::Store(factor, d, s.modFactor + k);
    hn::Store(dir, d, s.modDirection + k);
  }
}

}  // namespace

void ReverbBlockKernel(ReverbCore& core, const double* inL, const double* inR, double* wetL,
                       double* wetR, int n) {
  ReverbLanes& s = core.lanes;
  alignas(64) double y[kLanes] = {};
  alignas(64) double heard[kLanes] = {};
  alignas(64) float x[kLanes] = {};
  alignas(64) double w[kLanes];
  alignas(64) double lengthBefore[kLanes];
  const double* in[2] = {inL, inR};
  double* out[2] = {wetL, wetR};
  for (int t = 0; t < n; ++t) {
    // A line moves on by one sample a frame: a cache line every eight.
    ReadLines(s, y, heard, (t & 3) == 0);
    double acc[2];
    for (int side = 0; side < 2; ++side) {
      // Each line hears the input and every line before it on its side.
      double sum = 0.2 * core.preDelay[side].ProcessPlain(in[side][t]);
      double a = 0.0;
      for (int i = 0; i < ReverbLanes::kLinesPerSide; ++i) {
        const int k = ReverbLanes::Lane(side, i);
        x[k] = static_cast<float>(sum);
        a += 0.7 * heard[k];
        sum += heard[k];
      }
      acc[side] = a;
    }
    RunLines(s, y, x, w);
    bool gliding = false;
    if (s.rampsActive) {
      for (int k = 0; k < kLanes; ++k) {
        const DelayTimeRamp& r = s.ramp[k];
        if (ReverbLanes::Active(k) && r.Running()) {
          w[k] *= std::fabs(r.elapsed - r.duration * 0.5) / r.duration + 0.5;
          gliding = true;
        }
      }
    }
    WriteLines(s, w);
    // The read positions follow the lengths before this frame's glide step.
    if (gliding) {
      for (int k = 0; k < kLanes; ++k) lengthBefore[k] = s.delayLength[k];
      for (int k = 0; k < kLanes; ++k) {
        DelayTimeRamp& r = s.ramp[k];
        if (ReverbLanes::Active(k) && r.Running()) {
          r.Advance(1);
          s.delayLength[k] = r.current;
        }
      }
    }
    s.rampsActive = gliding;
    MoveLines(s, s.circleWrite, gliding ? lengthBefore : s.delayLength);
    double sides[2];
    for (int side = 0; side < 2; ++side) sides[side] = core.outHp[side].HighPass(static_cast<float>(acc[side]));
    const double scale = 2.5 * core.outputScale;
    const double mid = (sides[0] + sides[1]) * scale / 2.0;
    const double diff = (sides[0] - sides[1]) * scale / 2.0 * core.width;
    out[0][t] = mid + diff;
    out[1][t] = mid - diff;
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvanta
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace morvanta {

HWY_EXPORT(ReverbBlockKernel);

void ReverbBlock(ReverbCore& core, const double* inL, const double* inR, double* wetL, double* wetR,
                 int n) {
  HWY_DYNAMIC_DISPATCH(ReverbBlockKernel)(core, inL, inR, wetL, wetR, n);
}

}  // namespace morvanta
#endif  // HWY_ONCE
