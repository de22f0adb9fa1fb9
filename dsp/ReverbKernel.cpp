// ReverbKernel: the reverb network per frame, vectorised across its lines.
// Within a frame the lines depend on each other only through the running sums
// that feed each line the outputs of the lines before it; those sums stay a
// chain in the network's order, the two sides' chains stepping as a pair.
// Everything else (the reads and writes as gathers and scatters, the damping
// pairs, the loop arithmetic, the read positions, the triangle modulation, the
// glides) runs on every line at once, with the scalar code's operations in the
// scalar code's order (no fused multiply-adds), so every target computes the
// same samples. A frame is three passes over the lines: the reads, the moves
// (which do not wait for the sums) and the damping with the writes. In a
// settled block (see Settled) the reads and moves are one pass, with the
// store's indices as integers and without the holds such a block never needs.
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

// True when no line glides, every length is within its circle, every store
// is full and every read of the block lies 2 to `room` samples back (each
// line's circle and its span being the same). Nothing in a block changes the
// first three (only clears, new lengths and new glide targets do, all outside
// the kernel), so for the whole block every distance read is within what was
// written, the lengths need no holding, the stores' counts no moving and the
// glides no stepping. For the reads: the first frame's distance is checked as
// it stands; every later one is read `used` = factor * length samples back,
// where the factor stays between its bounds and its value now (a step of it,
// a number, either lands within its bounds or is held to one of them), so
// `used` stays between the three products checked here (rounding is
// monotonic). The distance read is
// then between floor(used) and ceil(used), by the same monotonicity of the
// rounding of the circle's positions: within 2 .. room, no distance is held
// by the store, the second sample is the one after the first, and no `used`
// needs holding to 0 .. span; the positions' wraps around the circle and the
// store still happen. SettledFrame relies on all of this.
bool Settled(const ReverbLanes& s) {
  if (s.rampsActive) return false;
  const hn::ScalableTag<double> d;
  const auto zero = hn::Zero(d);
  const auto two = hn::Set(d, 2.0);
  const auto lastActive = hn::Set(d, 2.0 * ReverbLanes::kLinesPerSide - 1.0);
  auto settled = hn::Eq(zero, zero);  // all true so far
  for (int k = 0; k < kLanes; k += static_cast<int>(hn::Lanes(d))) {
    const auto room = hn::Load(d, s.room + k);
    const auto span = hn::Load(d, s.lengthD + k);
    const auto circle = hn::Load(d, s.circle + k);
    const auto length = hn::Load(d, s.delayLength + k);
    settled = hn::And(settled, hn::Eq(hn::Load(d, s.filled + k), room));
    settled = hn::And(settled, hn::Le(length, span));
    settled = hn::And(settled, hn::Eq(circle, span));
    // The first frame's distance, as the reads find it.
    auto dist = hn::Sub(hn::Load(d, s.circleWrite + k), hn::Floor(hn::Load(d, s.readPos + k)));
    dist = hn::IfThenElse(hn::Le(dist, zero), hn::Add(dist, circle), dist);
    auto reads = hn::And(hn::Ge(dist, two), hn::Le(dist, room));
    // The later frames' `used` (a step of the factor of at most 1 keeps it a
    // number).
    const auto factor = hn::Load(d, s.modFactor + k);
    const auto step = hn::Abs(hn::Mul(hn::Load(d, s.modDirection + k), hn::Load(d, s.modRate + k)));
    reads = hn::And(reads, hn::Le(step, hn::Set(d, 1.0)));
    const auto most = hn::Min(room, span);
    const hn::Vec<decltype(d)> factors[3] = {factor, hn::Load(d, s.factorLow + k), hn::Load(d, s.factorHigh + k)};
    for (const auto& f : factors) {
      const auto used = hn::Mul(f, length);
      reads = hn::And(reads, hn::And(hn::Ge(used, two), hn::Le(used, most)));
    }
    // The idle lanes read and write their own zeros, whatever the checks say.
    settled = hn::And(settled, hn::Or(reads, hn::Gt(hn::Iota(d, static_cast<double>(k)), lastActive)));
  }
  return hn::AllTrue(d, settled);
}

// Asks for the memory at store indices `from` and `to` of the lines from `k`
// (a hint only; it never faults).
HWY_INLINE void PrefetchAt(const double* store, int k, hn::Vec<hn::RebindToSigned<hn::ScalableTag<double>>> from,
                           hn::Vec<hn::RebindToSigned<hn::ScalableTag<double>>> to) {
  const hn::RebindToSigned<hn::ScalableTag<double>> dw;
  constexpr int N = static_cast<int>(hn::MaxLanes(dw));
  alignas(64) int64_t a[N];
  alignas(64) int64_t b[N];
  hn::Store(from, dw, a);
  hn::Store(to, dw, b);
  for (int l = 0; l < static_cast<int>(hn::Lanes(dw)); ++l) {
    if (!ReverbLanes::Active(k + l)) continue;
    // (As assembly: the compiler drops __builtin_prefetch here.)
    asm volatile("prefetcht0 %0" : : "m"(store[a[l]]));
    asm volatile("prefetcht0 %0" : : "m"(store[b[l]]));
  }
}

// Asks for the memory a vector of lines from `k` reads and writes a few
// frames from now: 62 lines walk through their stores in step, more streams
// than the processor follows by itself.
HWY_INLINE void PrefetchLines(const ReverbLanes& s, int k) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::RebindToSigned<decltype(d)> dw;
  const auto ahead = hn::Set(d, 24.0);  // three cache lines of doubles
  const auto zero = hn::Zero(d);
  const auto room = hn::Load(d, s.room + k);
  const auto write = hn::Load(d, s.write + k);
  auto a = hn::Add(hn::Sub(write, hn::Floor(hn::Mul(hn::Load(d, s.delayLength + k), hn::Load(d, s.modFactor + k)))), ahead);
  a = hn::IfThenElse(hn::Lt(a, zero), hn::Add(a, room), a);
  a = hn::IfThenElse(hn::Ge(a, room), hn::Sub(a, room), a);
  auto b = hn::Add(write, ahead);
  b = hn::IfThenElse(hn::Ge(b, room), hn::Sub(b, room), b);
  const auto first = hn::Load(dw, s.start + k);
  PrefetchAt(s.store.get(), k, hn::Add(first, hn::PromoteTo(dw, hn::DemoteTo(di, a))),
             hn::Add(first, hn::PromoteTo(dw, hn::DemoteTo(di, b))));
}

// The triangle's next step for the lines from `k`, from their factor now.
HWY_INLINE void StepTriangle(ReverbLanes& s, int k, hn::Vec<hn::ScalableTag<double>> factor) {
  const hn::ScalableTag<double> d;
  auto dir = hn::Load(d, s.modDirection + k);
  factor = hn::Add(factor, hn::Mul(dir, hn::Load(d, s.modRate + k)));
  const auto high = hn::Load(d, s.factorHigh + k);
  const auto low = hn::Load(d, s.factorLow + k);
  const auto atHigh = hn::Ge(factor, high);
  const auto atLow = hn::AndNot(atHigh, hn::Le(factor, low));
  factor = hn::IfThenElse(atHigh, high, hn::IfThenElse(atLow, low, factor));
  dir = hn::IfThenElse(hn::Or(atHigh, atLow), hn::Neg(dir), dir);
  hn::Store(factor, d, s.modFactor + k);
  hn::Store(dir, d, s.modDirection + k);
}

// The line outputs (in frames not settled), read before the frame's input
// reaches any line, with one gather per vector of lines. `heard` is what each
// line passes on (rounded to single precision), `heard7` that times 0.7.
void ReadLines(ReverbLanes& s, double* y, double* heard, double* heard7, int t) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> dh;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::RebindToSigned<decltype(d)> dw;  // 64-bit store indices
  const int n = static_cast<int>(hn::Lanes(d));
  const double* store = s.store.get();
  const auto zero = hn::Zero(d);
  const auto one = hn::Set(d, 1.0);
  const auto seven = hn::Set(d, 0.7);
  for (int k = 0; k < kLanes; k += n) {
    const auto len = hn::Load(d, s.delayLength + k);
    const auto span = hn::Load(d, s.lengthD + k);
    hn::Store(hn::IfThenElse(hn::Ge(len, span), span, len), d, s.delayLength + k);
    const auto pos = hn::Load(d, s.readPos + k);
    const auto at = hn::Floor(pos);  // positions are never negative
    const auto fraction = hn::Sub(pos, at);
    const auto circle = hn::Load(d, s.circle + k);
    const auto room = hn::Load(d, s.room + k);
    const auto write = hn::Load(d, s.write + k);
    // The distances of circle positions `at` and `at + 1` (wrapping), held
    // within the store.
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
    const auto first = hn::Load(dw, s.start + k);
    auto nearAt = hn::Add(first, hn::PromoteTo(dw, hn::DemoteTo(di, i)));
    auto farAt = hn::Add(first, hn::PromoteTo(dw, hn::DemoteTo(di, j)));
    // Samples not written since the last clear read the store's zero.
    const auto filled = hn::Load(d, s.filled + k);
    const auto none = hn::Set(dw, ReverbLanes::kZeroSlot);
    nearAt = hn::IfThenElse(hn::RebindMask(dw, hn::Le(dist, filled)), nearAt, none);
    farAt = hn::IfThenElse(hn::RebindMask(dw, hn::Le(next, filled)), farAt, none);
    const auto near = hn::GatherIndex(d, store, nearAt);
    const auto far = hn::GatherIndex(d, store, farAt);
    // A line moves on by one sample a frame, a cache line every eight: each
    // vector of lines looks ahead once in eight frames, the vectors in turn.
    if (((t + k / n) & 7) == 0) PrefetchLines(s, k);
    const auto out = hn::Add(hn::Mul(hn::Sub(one, fraction), near), hn::Mul(fraction, far));
    hn::Store(out, d, y + k);
    const auto h = hn::PromoteTo(d, hn::DemoteTo(dh, hn::Mul(out, hn::Load(d, s.outputGain + k))));
    hn::Store(h, d, heard + k);
    hn::Store(hn::Mul(seven, h), d, heard7 + k);
  }
}

// What each line does without its input (in frames not settled): its write
// index is noted (`at`), the store's and circle's positions move on, the next
// read position (from the length before this frame's glide step) and the
// triangle's next step are found. While lengths may glide, `fade` gets each
// line's write gain (1 when not gliding) and the glides step on; returns
// whether any line glided. None of this waits for the running sums, so it
// overlaps them.
bool MoveLines(ReverbLanes& s, int64_t* at, double* fade) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::RebindToSigned<decltype(d)> dw;  // 64-bit store indices
  const int n = static_cast<int>(hn::Lanes(d));
  const auto zero = hn::Zero(d);
  const auto one = hn::Set(d, 1.0);
  const auto half = hn::Set(d, 0.5);
  const bool ramps = s.rampsActive;
  bool gliding = false;
  for (int k = 0; k < kLanes; k += n) {
    const auto room = hn::Load(d, s.room + k);
    const auto write = hn::Load(d, s.write + k);
    hn::Store(hn::Add(hn::Load(dw, s.start + k), hn::PromoteTo(dw, hn::DemoteTo(di, write))), dw, at + k);
    const auto written = hn::Add(write, one);
    hn::Store(hn::IfThenElse(hn::Lt(written, room), written, zero), d, s.write + k);
    const auto filled = hn::Load(d, s.filled + k);
    hn::Store(hn::IfThenElse(hn::Lt(filled, room), hn::Add(filled, one), filled), d, s.filled + k);
    auto cw = hn::Add(hn::Load(d, s.circleWrite + k), one);
    cw = hn::IfThenElse(hn::Lt(cw, hn::Load(d, s.circle + k)), cw, zero);
    hn::Store(cw, d, s.circleWrite + k);

    const auto span = hn::Load(d, s.lengthD + k);
    auto factor = hn::Load(d, s.modFactor + k);
    auto used = hn::Mul(factor, hn::Load(d, s.delayLength + k));
    used = hn::IfThenElse(hn::Gt(used, zero), used, zero);
    used = hn::IfThenElse(hn::Gt(used, span), span, used);
    auto pos = hn::Sub(cw, used);
    pos = hn::IfThenElse(hn::Lt(pos, zero), hn::Add(pos, span), pos);
    pos = hn::IfThenElse(hn::Ge(pos, span), hn::Sub(pos, span), pos);
    hn::Store(pos, d, s.readPos + k);
    if (ramps) {
      // A gliding line fades its writes around the glide's middle, and its
      // glide steps on (landing on its target at the end).
      const auto duration = hn::Load(d, s.glideDuration + k);
      const auto elapsed = hn::Load(d, s.glideElapsed + k);
      const auto running = hn::Lt(elapsed, duration);  // idle lanes never glide
      const auto gain = hn::Add(hn::Div(hn::Abs(hn::Sub(elapsed, hn::Mul(duration, half))), duration), half);
      hn::Store(hn::IfThenElse(running, gain, one), d, fade + k);
      if (!hn::AllFalse(d, running)) {
        gliding = true;
        const auto t = hn::Add(elapsed, one);
        const auto done = hn::And(running, hn::Ge(t, duration));
        const auto step = hn::AndNot(done, running);
        const auto target = hn::Load(d, s.glideTarget + k);
        const auto along = hn::Add(hn::Load(d, s.glideStart + k),
                                   hn::Mul(hn::Mul(hn::Load(d, s.glideDirection + k), hn::Load(d, s.glideVelocity + k)), t));
        const auto current = hn::IfThenElse(done, target, hn::IfThenElse(step, along, hn::Load(d, s.glideCurrent + k)));
        hn::Store(current, d, s.glideCurrent + k);
        hn::Store(hn::IfThenElse(running, t, elapsed), d, s.glideElapsed + k);
        hn::Store(hn::IfThenElse(done, hn::Set(d, -1.0), duration), d, s.glideDuration + k);
        hn::Store(hn::IfThenElse(running, current, hn::Load(d, s.delayLength + k)), d, s.delayLength + k);
      }
    }

    StepTriangle(s, k, factor);
  }
  return gliding;
}

// The settled frames keep each line's store positions as integers: its write
// index in the shared store and the end of its part of it.
struct StoreSpans {
  alignas(64) int64_t write[kLanes];
  alignas(64) int64_t room[kLanes];
  alignas(64) int64_t end[kLanes];

  void Take(const ReverbLanes& s) {
    for (int k = 0; k < kLanes; ++k) {
      write[k] = s.start[k] + static_cast<int64_t>(s.write[k]);
      room[k] = static_cast<int64_t>(s.room[k]);
      end[k] = s.start[k] + room[k];
    }
  }
  void Return(ReverbLanes& s) const {
    for (int k = 0; k < kLanes; ++k) s.write[k] = static_cast<double>(write[k] - s.start[k]);
  }
};

// A settled frame's reads and moves (ReadLines and MoveLines in one pass
// over the lines, which load the same fields; each vector of lines is read
// before it moves). What Settled() proves drops out: every distance is
// within 2 .. room, so the second sample is the one after the first (the
// first of the line's part after its last) and nothing is held.
HWY_INLINE void SettledFrame(ReverbLanes& s, StoreSpans& spans, double* y, double* heard, double* heard7,
                             int64_t* at, int t) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> dh;
  const hn::RebindToSigned<decltype(d)> dw;  // store indices
  const int n = static_cast<int>(hn::Lanes(d));
  const double* store = s.store.get();
  const auto zero = hn::Zero(d);
  const auto one = hn::Set(d, 1.0);
  const auto seven = hn::Set(d, 0.7);
  // A whole number v below 2^51 in magnitude: the bits of 1.5 * 2^52 + v are
  // those of 1.5 * 2^52 plus v.
  const auto magic = hn::Set(d, 6755399441055744.0);
  const auto magicBits = hn::BitCast(dw, magic);
  const auto oneW = hn::Set(dw, 1);
  for (int k = 0; k < kLanes; k += n) {
    const auto pos = hn::Load(d, s.readPos + k);
    const auto whole = hn::Floor(pos);  // positions are never negative
    const auto fraction = hn::Sub(pos, whole);
    const auto circle = hn::Load(d, s.circle + k);
    const auto cw = hn::Load(d, s.circleWrite + k);
    auto dist = hn::Sub(cw, whole);
    dist = hn::IfThenElse(hn::Le(dist, zero), hn::Add(dist, circle), dist);
    const auto write = hn::Load(dw, spans.write + k);
    const auto first = hn::Load(dw, s.start + k);
    const auto end = hn::Load(dw, spans.end + k);
    auto nearAt = hn::Sub(hn::Add(write, magicBits), hn::BitCast(dw, hn::Add(dist, magic)));
    nearAt = hn::IfThenElse(hn::Lt(nearAt, first), hn::Add(nearAt, hn::Load(dw, spans.room + k)), nearAt);
    auto farAt = hn::Add(nearAt, oneW);
    farAt = hn::IfThenElse(hn::Lt(farAt, end), farAt, first);
    const auto near = hn::GatherIndex(d, store, nearAt);
    const auto far = hn::GatherIndex(d, store, farAt);
    // Looking ahead as ReadLines does, from the read and the write.
    if (((t + k / n) & 7) == 0) {
      const auto ahead = hn::Set(dw, 24);
      const auto room = hn::Load(dw, spans.room + k);
      const auto a = hn::Add(nearAt, ahead);
      const auto b = hn::Add(write, ahead);
      PrefetchAt(store, k, hn::IfThenElse(hn::Lt(a, end), a, hn::Sub(a, room)),
                 hn::IfThenElse(hn::Lt(b, end), b, hn::Sub(b, room)));
    }
    const auto out = hn::Add(hn::Mul(hn::Sub(one, fraction), near), hn::Mul(fraction, far));
    hn::Store(out, d, y + k);
    const auto h = hn::PromoteTo(d, hn::DemoteTo(dh, hn::Mul(out, hn::Load(d, s.outputGain + k))));
    hn::Store(h, d, heard + k);
    hn::Store(hn::Mul(seven, h), d, heard7 + k);

    // The moves, as MoveLines makes them.
    hn::Store(write, dw, at + k);
    const auto written = hn::Add(write, oneW);
    hn::Store(hn::IfThenElse(hn::Lt(written, end), written, first), dw, spans.write + k);
    auto cwNext = hn::Add(cw, one);
    cwNext = hn::IfThenElse(hn::Lt(cwNext, circle), cwNext, zero);
    hn::Store(cwNext, d, s.circleWrite + k);
    auto factor = hn::Load(d, s.modFactor + k);
    const auto used = hn::Mul(factor, hn::Load(d, s.delayLength + k));
    auto next = hn::Sub(cwNext, used);
    next = hn::IfThenElse(hn::Lt(next, zero), hn::Add(next, circle), next);
    next = hn::IfThenElse(hn::Ge(next, circle), hn::Sub(next, circle), next);
    hn::Store(next, d, s.readPos + k);
    StepTriangle(s, k, factor);
  }
}

// The loop and write of the lines from `k` (a vector of doubles): the
// damping pair's outputs `a` and `b` mixed, rounded, less the fed-back read.
HWY_INLINE void WriteLines(double* store, const ReverbLanes& s, const double* y, const int64_t* at,
                           const double* fade, bool faded, int k, hn::Vec<hn::ScalableTag<double>> a,
                           hn::Vec<hn::ScalableTag<double>> b) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> dh;  // as many floats as d has doubles
  const hn::RebindToSigned<decltype(d)> dw;
  const auto mixed = hn::Add(hn::Mul(hn::Set(d, s.g1), a), hn::Mul(hn::Set(d, s.g2), b));
  const auto damped = hn::PromoteTo(d, hn::DemoteTo(dh, mixed));
  auto w = hn::Sub(damped, hn::Mul(hn::Load(d, y + k), hn::Load(d, s.feedback + k)));
  if (faded) w = hn::Mul(w, hn::Load(d, fade + k));  // exact where the gain is 1
#if HWY_TARGET <= HWY_AVX3
  hn::ScatterIndex(w, d, store, hn::Load(dw, at + k));
#else
  // Without a scatter instruction, one store per line straight from the
  // indices (the emulated scatter would first copy them and loop).
  (void)dw;
  constexpr int N = static_cast<int>(hn::MaxLanes(d));
  alignas(32) double lanes[N];
  hn::Store(w, d, lanes);
#pragma GCC unroll 8
  for (int l = 0; l < N; ++l) store[at[k + l]] = lanes[l];
#endif
}

// Each line's damping pair on its input `x` (what it hears, rounded to single
// precision), its loop, and its write at `at` (scaled by `fade` while `faded`).
void DampLines(ReverbLanes& s, const double* y, const float* x, const int64_t* at, const double* fade,
               bool faded) {
  const hn::ScalableTag<float> df;
  const hn::ScalableTag<double> d;
  const int nf = static_cast<int>(hn::Lanes(df));
  double* store = s.store.get();
  const auto offset = hn::Set(df, ReverbLanes::kDenormalOffset);
  for (int kf = 0; kf < kLanes; kf += nf) {
    const auto in = hn::Add(hn::Load(df, x + kf), offset);
    const auto x1 = hn::Load(df, s.x1 + kf);
    const auto x2 = hn::Load(df, s.x2 + kf);
    hn::Vec<decltype(df)> out[2];
    for (int sec = 0; sec < 2; ++sec) {
      const auto y1 = hn::Load(df, s.y1[sec] + kf);
      const auto y2 = hn::Load(df, s.y2[sec] + kf);
      auto o = hn::Mul(hn::Load(df, s.b0[sec] + kf), in);
      o = hn::Add(o, hn::Mul(hn::Load(df, s.b1[sec] + kf), x1));
      o = hn::Add(o, hn::Mul(hn::Load(df, s.b2[sec] + kf), x2));
      o = hn::Sub(o, hn::Mul(hn::Load(df, s.a1[sec] + kf), y1));
      o = hn::Sub(o, hn::Mul(hn::Load(df, s.a2[sec] + kf), y2));
      hn::Store(y1, df, s.y2[sec] + kf);
      hn::Store(o, df, s.y1[sec] + kf);
      out[sec] = o;
    }
    hn::Store(x1, df, s.x2 + kf);
    hn::Store(in, df, s.x1 + kf);
    // The sections' outputs in double precision, half a float vector at a
    // time (a single lane on a target of single lanes).
#if HWY_TARGET == HWY_SCALAR
    WriteLines(store, s, y, at, fade, faded, kf, hn::PromoteTo(d, out[0]), hn::PromoteTo(d, out[1]));
#else
    const hn::Half<decltype(df)> dh;
    WriteLines(store, s, y, at, fade, faded, kf, hn::PromoteTo(d, hn::LowerHalf(dh, out[0])),
               hn::PromoteTo(d, hn::LowerHalf(dh, out[1])));
    WriteLines(store, s, y, at, fade, faded, kf + nf / 2, hn::PromoteTo(d, hn::UpperHalf(dh, out[0])),
               hn::PromoteTo(d, hn::UpperHalf(dh, out[1])));
#endif
  }
}

// Frames from..to, all settled or not.
template <bool kSettled>
void RunFrames(ReverbCore& core, const double* inL, const double* inR, double* wetL, double* wetR, int from,
               int to) {
  ReverbLanes& s = core.lanes;
  alignas(64) double y[kLanes];
  alignas(64) double heard[kLanes];
  alignas(64) double heard7[kLanes];
  alignas(64) double sums[kLanes] = {};  // what each line hears (idle lanes: 0)
  alignas(64) float x[kLanes];
  alignas(64) int64_t at[kLanes];
  alignas(64) double fade[kLanes] = {};
  const double scale = 2.5 * core.outputScale;
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> dh;
  const int n = static_cast<int>(hn::Lanes(d));
  const hn::CappedTag<double, 2> d2;  // a left and right pair
  const int n2 = static_cast<int>(hn::Lanes(d2));
  // The pre-delays' outputs (times 0.2) for a chunk of frames at a time: they
  // depend on nothing in the network, and out of the frames their calls no
  // longer hold up each frame's running sums.
  constexpr int kChunk = 64;
  alignas(16) double input[kChunk][2];
  StoreSpans spans;  // (settled frames only)
  if (kSettled) spans.Take(s);
  for (int t = from; t < to; ++t) {
    if ((t - from) % kChunk == 0) {
      const int end = to - t < kChunk ? to : t + kChunk;
      for (int f = t; f < end; ++f) {
        input[f - t][0] = 0.2 * core.preDelay[0].ProcessPlain(inL[f]);
        input[f - t][1] = 0.2 * core.preDelay[1].ProcessPlain(inR[f]);
      }
    }
    if (kSettled) {
      SettledFrame(s, spans, y, heard, heard7, at, t);
    } else {
      ReadLines(s, y, heard, heard7, t);
    }
    // Each line hears the input and every line before it on its side. The
    // two sides' lines alternate in the lanes, so their sums step as a pair
    // (on a target of single lanes, one side after the other).
    const double* pair = input[(t - from) % kChunk];
    alignas(16) double acc[2];
    for (int p = 0; p < 2; p += n2) {
      auto sum = hn::Load(d2, pair + p);
      auto heardSum = hn::Zero(d2);
#pragma GCC unroll 31
      for (int i = 0; i < ReverbLanes::kLinesPerSide; ++i) {
        hn::Store(sum, d2, sums + 2 * i + p);
        heardSum = hn::Add(heardSum, hn::Load(d2, heard7 + 2 * i + p));
        sum = hn::Add(sum, hn::Load(d2, heard + 2 * i + p));
      }
      hn::Store(heardSum, d2, acc + p);
    }
    for (int k = 0; k < kLanes; k += n) hn::Store(hn::DemoteTo(dh, hn::Load(d, sums + k)), dh, x + k);
    const bool faded = s.rampsActive;
    if (!kSettled) s.rampsActive = MoveLines(s, at, fade);
    DampLines(s, y, x, at, fade, faded);
    const double l = core.outHp[0].HighPass(static_cast<float>(acc[0]));
    const double r = core.outHp[1].HighPass(static_cast<float>(acc[1]));
    const double mid = (l + r) * scale / 2.0;
    const double diff = (l - r) * scale / 2.0 * core.width;
    wetL[t] = mid + diff;
    wetR[t] = mid - diff;
  }
  if (kSettled) spans.Return(s);
}

}  // namespace

void ReverbBlockKernel(ReverbCore& core, const double* inL, const double* inR, double* wetL,
                       double* wetR, int n) {
  if (Settled(core.lanes)) {
    RunFrames<true>(core, inL, inR, wetL, wetR, 0, n);
  } else {
    RunFrames<false>(core, inL, inR, wetL, wetR, 0, n);
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
