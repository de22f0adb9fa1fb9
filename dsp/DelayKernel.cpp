// DelayKernel: the bus delay's three units per frame, vectorised across the
// units. The buffer reads and writes and the glides stay one unit at a time;
// the colour section, the soft clipper, the loop's mix and the outputs run on
// all units at once, with the scalar step's operations in the scalar step's
// order (no fused multiply-adds), so every target computes the samples
// DelayUnit's step does. The clipper's branches become lane masks; its
// divisions are skipped when no lane needs them.
#include "dsp/DelayLanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "dsp/DelayKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace morvanta {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

constexpr int kLanes = DelayLanes::kLanes;
constexpr int kUnits = DelayLanes::kUnits;
constexpr int kSections = DelayLanes::kSections;
// The loop's clipper runs at amount 0.1.
constexpr double kClipThreshold = 1.0 - 0.99 * 0.1;

using D = hn::CappedTag<double, kLanes>;
using V = hn::Vec<D>;
constexpr int kStep = static_cast<int>(hn::MaxLanes(D()));
static_assert(kLanes % kStep == 0, "the lanes fill whole vectors");
constexpr int kChunks = kLanes / kStep;
// The chunk that holds the right unit's lane.
constexpr int kRightChunk = DelayLanes::kRight / kStep;

// A double rounded to single precision and back, as a float variable holds it.
HWY_INLINE V Single(D d, V x) {
#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128
  // The emulated conversion saturates at the largest float; a cast gives
  // infinity, as the processor's conversions do.
  alignas(32) double lanes[kStep];
  hn::Store(x, d, lanes);
  for (double& v : lanes) v = static_cast<float>(v);
  return hn::Load(d, lanes);
#else
  const hn::Rebind<float, D> df;
  return hn::PromoteTo(d, hn::DemoteTo(df, x));
#endif
}

// The vector of chunk c from the units' scalars (lane 3 repeats the left unit).
HWY_INLINE V FromUnits(D d, int c, double tap, double right, double left) {
#if HWY_TARGET == HWY_SCALAR
  return hn::Set(d, c == DelayLanes::kTap ? tap : (c == DelayLanes::kRight ? right : left));
#else
  if constexpr (kStep == 4) {
    (void)c;
    const hn::Half<D> dh;
    return hn::Combine(d, hn::Set(dh, left), hn::InterleaveLower(dh, hn::Set(dh, tap), hn::Set(dh, right)));
  } else {
    return c == 0 ? hn::InterleaveLower(d, hn::Set(d, tap), hn::Set(d, right)) : hn::Set(d, left);
  }
#endif
}

struct Section {
  V b0, b1, b2, a1, a2, z1, z2;

  // Biquad::Process: the input and output are single-precision values.
  HWY_INLINE V Process(V in) {
    const V y = hn::Add(hn::Mul(in, b0), z1);
    z1 = hn::Sub(hn::Add(hn::Mul(in, b1), z2), hn::Mul(a1, y));
    z2 = hn::Sub(hn::Mul(in, b2), hn::Mul(a2, y));
    return Single(D(), y);
  }
};

// TubeDriveClipper::Process at the loop's amount, with every branch a mask.
struct Clipper {
  V phase, inversePeak, latchedInverse, windowPeak, peak, runningMaxPeak, latchedPeak, lastSignInput, lastSign;

  static HWY_INLINE V Sign(D d, V x) {
    const V one = hn::Set(d, 1.0);
    return hn::IfThenElse(hn::Gt(x, hn::Zero(d)), one, hn::IfThenElseZero(hn::Lt(x, hn::Zero(d)), hn::Neg(one)));
  }

  HWY_INLINE V Process(D d, V x) {
    const V zero = hn::Zero(d);
    const V one = hn::Set(d, 1.0);
    // The phase alternates 0, 1; on 1 the window's peak is taken over.
    phase = hn::Sub(one, phase);
    const auto taking = hn::Eq(phase, one);
    const auto rising = hn::And(taking, hn::Gt(windowPeak, runningMaxPeak));
    const auto falling = hn::AndNot(rising, taking);
    runningMaxPeak = hn::IfThenElse(rising, windowPeak, runningMaxPeak);
    const auto nonZero = hn::Ne(windowPeak, zero);
    const auto invert = hn::And(rising, nonZero);
    if (!hn::AllFalse(d, invert)) inversePeak = hn::IfThenElse(invert, hn::Div(one, windowPeak), inversePeak);
    inversePeak = hn::IfThenElse(falling, one, inversePeak);
    peak = hn::IfThenElse(rising, hn::IfThenElseZero(nonZero, windowPeak), hn::IfThenElse(falling, one, peak));
    const V a = hn::Abs(x);
    windowPeak = hn::IfThenElse(taking, zero, hn::IfThenElse(hn::Gt(a, windowPeak), a, windowPeak));

    const V s = Sign(d, x);
    const auto flipped = hn::Ne(s, lastSign);
    latchedInverse = hn::IfThenElse(flipped, inversePeak, latchedInverse);
    latchedPeak = hn::IfThenElse(flipped, peak, latchedPeak);
    lastSignInput = hn::IfThenElse(flipped, x, lastSignInput);
    lastSign = hn::IfThenElse(flipped, s, lastSign);

    const V threshold = hn::Set(d, kClipThreshold);
    const V level = hn::Mul(a, latchedInverse);
    const auto over = hn::Gt(level, threshold);
    if (hn::AllFalse(d, over)) return x;
    // The soft curve, or its threshold beyond an overshoot where the curve
    // would overflow.
    const V e = hn::Sub(level, threshold);
    const V q = hn::Div(e, hn::Set(d, 1.0 - kClipThreshold));
    const V soft = hn::Mul(hn::Mul(hn::Add(hn::Div(e, hn::Add(hn::Mul(q, q), one)), threshold), s), latchedPeak);
    const V hard = hn::Mul(hn::Mul(threshold, s), latchedPeak);
    const V clipped = hn::IfThenElse(hn::Lt(e, hn::Set(d, 1e150)), soft, hard);
    return hn::IfThenElse(over, clipped, x);
  }
};

struct Unit {
  Section section[kSections];
  V lowGain, midGain, highGain, loopFeedback, drive, push, trim, halfDrive, clean, level;
  Clipper clip;
};

}  // namespace

void DelayLanesKernel(DelayLanes& s, const double* in, double* out, int n) {
  const D d;
  Unit u[kChunks];
  for (int c = 0; c < kChunks; ++c) {
    const int o = c * kStep;
    Unit& t = u[c];
    for (int k = 0; k < kSections; ++k) {
      t.section[k] = Section{hn::Load(d, s.b0[k] + o), hn::Load(d, s.b1[k] + o), hn::Load(d, s.b2[k] + o),
                             hn::Load(d, s.a1[k] + o), hn::Load(d, s.a2[k] + o), hn::Load(d, s.z1[k] + o),
                             hn::Load(d, s.z2[k] + o)};
    }
    t.lowGain = hn::Load(d, s.lowGain + o);
    t.midGain = hn::Load(d, s.midGain + o);
    t.highGain = hn::Load(d, s.highGain + o);
    t.loopFeedback = hn::Load(d, s.loopFeedback + o);
    t.drive = hn::Load(d, s.drive + o);
    t.push = hn::Load(d, s.push + o);
    t.trim = hn::Load(d, s.trim + o);
    t.halfDrive = hn::Load(d, s.halfDrive + o);
    t.clean = hn::Load(d, s.clean + o);
    t.level = hn::Load(d, s.level + o);
    Clipper& k = t.clip;
    k.phase = hn::Load(d, s.phase + o);
    k.inversePeak = hn::Load(d, s.inversePeak + o);
    k.latchedInverse = hn::Load(d, s.latchedInverse + o);
    k.windowPeak = hn::Load(d, s.windowPeak + o);
    k.peak = hn::Load(d, s.peak + o);
    k.runningMaxPeak = hn::Load(d, s.runningMaxPeak + o);
    k.latchedPeak = hn::Load(d, s.latchedPeak + o);
    k.lastSignInput = hn::Load(d, s.lastSignInput + o);
    k.lastSign = Clipper::Sign(d, k.lastSignInput);
  }
  // The right unit's lane takes the pre-tap's output (lane 0 of chunk 0).
  const auto rightLane =
      hn::Eq(hn::Iota(d, kRightChunk * kStep), hn::Set(d, static_cast<double>(DelayLanes::kRight)));
  const V rightScale = hn::Set(d, s.rightScale);

  // The buffers' positions in locals, where the sample stores cannot alias
  // them.
  DelayBuffer::Positions pos[kUnits];
  double* data[kUnits];
  double length[kUnits], readPos[kUnits];
  int32_t delayLength[kUnits];
  bool gliding[kUnits];
  for (int k = 0; k < kUnits; ++k) {
    pos[k] = s.pos[k];
    data[k] = s.data[k];
    length[k] = s.length[k];
    readPos[k] = s.readPos[k];
    delayLength[k] = s.delayLength[k];
    gliding[k] = s.gliding[k];
  }

  // One frame's arithmetic on all units: the echoes read, the inputs in,
  // the outputs and the samples for the buffers out.
  auto arithmetic = [&](const double* echo, const double* x, double* y, double* w) __attribute__((always_inline)) HWY_ATTR {
    V tapOut = hn::Zero(d);
    for (int c = 0; c < kChunks; ++c) {
      Unit& a = u[c];
      const V e = FromUnits(d, c, echo[DelayLanes::kTap], echo[DelayLanes::kRight], echo[DelayLanes::kLeft]);
      // DelayColorFilter::Process.
      const V xs = Single(d, e);
      const V lo = a.section[DelayLanes::kLowPass].Process(xs);
      const V h1 = a.section[DelayLanes::kHighPass1].Process(xs);
      const V h2 = a.section[DelayLanes::kHighPass2].Process(h1);
      const V lo2 = a.section[DelayLanes::kAllPass].Process(lo);
      const V low = Single(d, hn::Mul(hn::Set(d, 0.8), lo2));
      const V high = Single(d, hn::Mul(hn::Set(d, 1.25), h2));
      const V mid = Single(d, hn::Mul(hn::Set(d, 0.7), hn::Sub(hn::Add(lo2, h2), e)));
      const V cf = Single(
          d, hn::Add(hn::Add(hn::Mul(a.midGain, mid), hn::Mul(a.lowGain, low)), hn::Mul(a.highGain, high)));
      const V echoOut = Single(d, hn::Mul(cf, a.level));
      hn::Store(echoOut, d, y + c * kStep);
      if (c == 0) tapOut = hn::Mul(hn::Broadcast<0>(echoOut), rightScale);
      // The loop: the feedback mix, the drive through the clipper and the
      // clean part.
      V input = hn::Load(d, x + c * kStep);
      if (c == kRightChunk) input = hn::IfThenElse(rightLane, tapOut, input);
      const V v = hn::Mul(hn::Add(hn::Mul(cf, a.loopFeedback), input), hn::Set(d, 0.26));
      const V driven = a.clip.Process(d, hn::Mul(a.push, hn::Mul(hn::Mul(a.drive, v), hn::Set(d, 16.0))));
      const V z = hn::Div(driven, a.trim);
      hn::Store(hn::Add(hn::Mul(hn::Mul(z, a.halfDrive), hn::Set(d, 0.2)), hn::Mul(a.clean, v)), d, w + c * kStep);
    }
  };
  // A glide fades the loop out and back in around its middle.
  auto fade = [&](int k) {
    const DelayTimeRamp& r = *s.ramp[k];
    return 2.0 * std::fabs(r.elapsed - r.duration * 0.5) / r.duration;
  };
  // The read position for the next frame, and the glide's step.
  auto move = [&](int k) {
    double p = static_cast<double>(pos[k].write) - delayLength[k];
    if (p < 0.0) p += length[k];
    if (p >= length[k]) p -= length[k];
    readPos[k] = p;
    if (gliding[k]) {
      DelayTimeRamp& r = *s.ramp[k];
      r.Advance(1);
      delayLength[k] = static_cast<int32_t>(r.current);
      gliding[k] = r.Running();
    }
  };

  constexpr int kStretch = 64;
  alignas(32) double echoes[kStretch * kLanes];
  alignas(32) double samples[kStretch * kLanes];
  alignas(32) double fades[kStretch * kLanes];
  for (int first = 0; first < n; first += kStretch) {
    const int count = n - first < kStretch ? n - first : kStretch;
    // When every unit reads from further back than the stretch is long (the
    // glide stays between its ends, give or take the length's truncation),
    // no frame reads what an earlier frame of the stretch writes: all the
    // reads go first, then the arithmetic alone, where the frames' chains of
    // divisions overlap, then the writes.
    bool ahead = count > 1;
    for (int k = 0; k < kUnits; ++k) {
      double lowest = delayLength[k];
      if (gliding[k]) lowest = std::min(lowest, std::min(s.ramp[k]->start, s.ramp[k]->target) - 1.0);
      ahead = ahead && lowest >= count + 2.0;
    }
    if (!ahead) {
      alignas(32) double echo[kLanes];
      alignas(32) double w[kLanes];
      for (int t = first; t < first + count; ++t) {
        for (int k = 0; k < kUnits; ++k) echo[k] = pos[k].ReadBetween(data[k], readPos[k]);
        arithmetic(echo, in + kLanes * t, out + kLanes * t, w);
        for (int k = 0; k < kUnits; ++k) {
          pos[k].Push(data[k], gliding[k] ? w[k] * fade(k) : w[k]);
          move(k);
        }
      }
      continue;
    }
    DelayBuffer::Positions start[kUnits];
    bool glided = false;
    for (int k = 0; k < kUnits; ++k) {
      start[k] = pos[k];
      glided |= gliding[k];
    }
    for (int k = 0; k < kUnits; ++k) {
      // A unit that holds its length and reads where that length puts it (a
      // glide's last step leaves the read of the next frame at the old
      // length) reads a run of neighbouring samples. When the run does not
      // wrap and every sample in it has been written since the last clear,
      // its interpolations (weights 1 and 0, as the scalar read computes
      // them) go four frames at a time.
      double held = static_cast<double>(pos[k].write) - delayLength[k];
      if (held < 0.0) held += length[k];
      if (held >= length[k]) held -= length[k];
      const int32_t at = static_cast<int32_t>(held);
      bool run = !gliding[k] && readPos[k] == held && held == at && at >= 0 && at + count < pos[k].length;
      if (run && pos[k].written < pos[k].length) {
        // The run's samples lie count + 1 in a row from the first; all of
        // them come after the clear when the last does.
        int32_t since = at - pos[k].start;
        if (since < 0) since += pos[k].length;
        run = since + count < pos[k].written;
      }
      if (run) {
        const double* a = data[k] + at;
        const V whole = hn::Sub(hn::Set(d, 1.0), hn::Zero(d));
        alignas(32) double echo[kStretch];
        int t = 0;
        for (; t + kStep <= count; t += kStep)
          hn::Store(hn::Add(hn::Mul(whole, hn::LoadU(d, a + t)), hn::Mul(hn::Zero(d), hn::LoadU(d, a + t + 1))), d,
                    echo + t);
        for (; t < count; ++t) echo[t] = (1.0 - 0.0) * a[t] + 0.0 * a[t + 1];
        for (t = 0; t < count; ++t) {
          echoes[kLanes * t + k] = echo[t];
          fades[kLanes * t + k] = 1.0;
        }
        // The write index, the count and the read position where the frames
        // leave them.
        pos[k].write += count;
        if (pos[k].write >= pos[k].length) pos[k].write -= pos[k].length;
        pos[k].written = std::min(pos[k].written + count, pos[k].length);
        move(k);
        continue;
      }
      for (int t = 0; t < count; ++t) {
        echoes[kLanes * t + k] = pos[k].ReadBetween(data[k], readPos[k]);
        fades[kLanes * t + k] = gliding[k] ? fade(k) : 1.0;
        pos[k].Advance();
        move(k);
      }
    }
    for (int t = 0; t < count; ++t)
      arithmetic(echoes + kLanes * t, in + kLanes * (first + t), out + kLanes * (first + t), samples + kLanes * t);
    for (int k = 0; k < kUnits; ++k) {
      DelayBuffer::Positions p = start[k];
      if (glided) {
        for (int t = 0; t < count; ++t) {
          const double w = samples[kLanes * t + k];
          const double f = fades[kLanes * t + k];
          p.Push(data[k], f != 1.0 ? w * f : w);
        }
      } else {
        for (int t = 0; t < count; ++t) p.Push(data[k], samples[kLanes * t + k]);
      }
    }
  }

  for (int k = 0; k < kUnits; ++k) {
    s.pos[k] = pos[k];
    s.readPos[k] = readPos[k];
    s.delayLength[k] = delayLength[k];
    s.gliding[k] = gliding[k];
  }
  for (int c = 0; c < kChunks; ++c) {
    const int o = c * kStep;
    const Unit& t = u[c];
    for (int k = 0; k < kSections; ++k) {
      hn::Store(t.section[k].z1, d, s.z1[k] + o);
      hn::Store(t.section[k].z2, d, s.z2[k] + o);
    }
    const Clipper& k = t.clip;
    hn::Store(k.phase, d, s.phase + o);
    hn::Store(k.inversePeak, d, s.inversePeak + o);
    hn::Store(k.latchedInverse, d, s.latchedInverse + o);
    hn::Store(k.windowPeak, d, s.windowPeak + o);
    hn::Store(k.peak, d, s.peak + o);
    hn::Store(k.runningMaxPeak, d, s.runningMaxPeak + o);
    hn::Store(k.latchedPeak, d, s.latchedPeak + o);
    hn::Store(k.lastSignInput, d, s.lastSignInput + o);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvanta
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace morvanta {

HWY_EXPORT(DelayLanesKernel);

void DelayLanesBlock(DelayLanes& s, const double* in, double* out, int n) {
  HWY_DYNAMIC_DISPATCH(DelayLanesKernel)(s, in, out, n);
}

}  // namespace morvanta
#endif  // HWY_ONCE
