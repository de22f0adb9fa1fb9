// ReverbLanes: the reverb's 62 modulated lines as a structure of arrays, so
// that the work each line does on its own runs as vectors across lines.
// Lanes 2i and 2i + 1 hold line i of the left and the right side, so that
// the two sides' running sums step as one pair; lanes 62 and 63 are idle and
// keep the lanes a whole number of vectors wide on every target.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/DelayTimeRamp.h"
#include "dsp/ModDelayLine.h"

namespace morvanta {

struct ReverbLanes {
  static constexpr int kLinesPerSide = 31;
  static constexpr int kLanes = 64;
  static constexpr float kDenormalOffset = 2.3283064365386963e-10f;  // 2^-32

  static constexpr int Lane(int side, int i) { return 2 * i + side; }
  static constexpr int Side(int lane) { return lane % 2; }
  static constexpr int Line(int lane) { return lane / 2; }
  static constexpr bool Active(int lane) { return lane < 2 * kLinesPerSide; }

  // The lines: fractional read position, glided length (samples), the store's
  // length as a real, triangle modulation and the loop's gains.
  alignas(64) double readPos[kLanes] = {};
  alignas(64) double delayLength[kLanes] = {};
  alignas(64) double lengthD[kLanes] = {};
  alignas(64) double modFactor[kLanes] = {};
  alignas(64) double modDirection[kLanes] = {};
  alignas(64) double modRate[kLanes] = {};
  alignas(64) double factorHigh[kLanes] = {};
  alignas(64) double factorLow[kLanes] = {};
  alignas(64) double feedback[kLanes] = {};
  alignas(64) double outputGain[kLanes] = {};

  // The damping pair in front of each line: two low-pass sections (direct
  // form I, single precision) on the same input, mixed by g1 and g2. Both
  // sections always see the same input, so they share its history.
  alignas(64) float b0[2][kLanes] = {};
  alignas(64) float b1[2][kLanes] = {};
  alignas(64) float b2[2][kLanes] = {};
  alignas(64) float a1[2][kLanes] = {};
  alignas(64) float a2[2][kLanes] = {};
  alignas(64) float x1[kLanes] = {};
  alignas(64) float x2[kLanes] = {};
  alignas(64) float y1[2][kLanes] = {};
  alignas(64) float y2[2][kLanes] = {};
  double g1 = 1.0, g2 = 0.0;

  // Each line's length glide, a straight line (the network sets no
  // acceleration), as lane arrays so that the glides step as vectors: the
  // length is start + direction * velocity * elapsed until elapsed reaches
  // the duration (-1 when idle). Glide() and SetGlide() hand it over as a ramp.
  alignas(64) double glideStart[kLanes] = {};
  alignas(64) double glideTarget[kLanes] = {};
  alignas(64) double glideDuration[kLanes] = {};
  alignas(64) double glideElapsed[kLanes] = {};
  alignas(64) double glideVelocity[kLanes] = {};
  alignas(64) double glideDirection[kLanes] = {};
  alignas(64) double glideCurrent[kLanes] = {};
  // Each line keeps only the samples it can read back, in its part of
  // `store` (from `start`, its first `room` samples in use). The lines share
  // one store so that the reads and writes of a vector of lines are single
  // gathers and scatters; the idle lanes read and write a few zeros of their
  // own at its beginning. Positions are still reckoned in a half-second
  // circle (`circle`, with the write position `circleWrite` in it), exactly
  // as when every line kept half a second, and mapped onto the store by their
  // distance from the newest sample: the interpolation fractions, and so the
  // sound, do not depend on the store's size. `write` is the line's write
  // index, `filled` how many samples were written since the last clear (at
  // most `room`; older ones read as 0). These counts are whole numbers held
  // as reals, so that they take part in the vector arithmetic exactly.
  std::unique_ptr<double[]> store;
  alignas(64) int64_t start[kLanes] = {};
  int32_t capacity[kLanes] = {};
  alignas(64) double room[kLanes] = {};
  alignas(64) double write[kLanes] = {};
  alignas(64) double filled[kLanes] = {};
  alignas(64) double circle[kLanes] = {};
  alignas(64) double circleWrite[kLanes] = {};
  // True while any line's length may still be gliding.
  bool rampsActive = false;

  // The store begins with a cache line of zeros: the idle lanes read and
  // write its first two, and the last is never written (reads of samples not
  // written since a clear may be pointed at it).
  static constexpr int32_t kIdleSlots = 8;
  static constexpr int64_t kZeroSlot = kIdleSlots - 1;

  ReverbLanes() {
    for (int k = 0; k < kLanes; ++k) SetGlide(k, DelayTimeRamp());
  }
  DelayTimeRamp Glide(int k) const {
    DelayTimeRamp r;
    r.start = glideStart[k];
    r.target = glideTarget[k];
    r.duration = glideDuration[k];
    r.invDuration = glideDuration[k] > 0.0 ? 1.0 / glideDuration[k] : 0.0;
    r.elapsed = glideElapsed[k];
    r.velocity = glideVelocity[k];
    r.direction = glideDirection[k];
    r.current = glideCurrent[k];
    return r;
  }
  // Takes a straight glide (one set without acceleration).
  void SetGlide(int k, const DelayTimeRamp& r) {
    glideStart[k] = r.start;
    glideTarget[k] = r.target;
    glideDuration[k] = r.duration;
    glideElapsed[k] = r.elapsed;
    glideVelocity[k] = r.velocity;
    glideDirection[k] = r.direction;
    glideCurrent[k] = r.current;
  }

  const double* Samples(int k) const { return store.get() + start[k]; }
  double* Samples(int k) { return store.get() + start[k]; }

  // Makes room for `want[k]` samples in each line (never less than it has).
  // Lines that get more start empty (the caller restarts them; `grown` tells
  // which); the others keep their samples. False, with everything kept, when
  // the memory is not there. Not for the audio path.
  bool Reserve(const int32_t* want, bool* grown);

  // The sample `distance` (1 .. circle) behind the write position: 0 when not
  // written since the last clear; a distance beyond the store (only at rates
  // above those it was made for) reads its oldest sample.
  double At(int k, double distance) const {
    if (distance > room[k]) distance = room[k];
    double i = write[k] - distance;
    if (i < 0.0) i += room[k];
    return distance <= filled[k] ? Samples(k)[static_cast<int32_t>(i)] : 0.0;
  }
  // The interpolated read at the line's read position.
  double Read(int k) const {
    const int32_t at = static_cast<int32_t>(readPos[k]);
    const double f = readPos[k] - at;
    // The distances of circle positions `at` and `at + 1` (wrapping).
    double distance = circleWrite[k] - at;
    if (distance <= 0.0) distance += circle[k];
    double nextDistance = distance - 1.0;
    if (nextDistance <= 0.0) nextDistance += circle[k];
    return (1.0 - f) * At(k, distance) + f * At(k, nextDistance);
  }
  // Writes the line's next sample; returns the new write position in the circle.
  double Push(int k, double w) {
    Samples(k)[static_cast<int32_t>(write[k])] = w;
    write[k] = write[k] + 1.0 < room[k] ? write[k] + 1.0 : 0.0;
    if (filled[k] < room[k]) filled[k] += 1.0;
    circleWrite[k] = circleWrite[k] + 1.0 < circle[k] ? circleWrite[k] + 1.0 : 0.0;
    return circleWrite[k];
  }
  // Takes `length` samples of the store (within its capacity, at least one)
  // and clears.
  void SetRoom(int k, int32_t length) {
    if (length > capacity[k]) length = capacity[k];
    if (length < 1) length = capacity[k] < 1 ? 0 : 1;
    room[k] = length;
    write[k] = filled[k] = 0.0;
  }
};

// A single-precision second-order section in direct form I: its low-pass
// coefficients feed the damping pairs, its high-pass runs on the output;
// inputs carry a tiny offset against denormals. Cookbook naming, as Biquad's:
// b feeds forward, a back.
struct RbjSection {
  void Set(double frequency, double sampleRate);
  float HighPass(float input) {
    const float x = input + ReverbLanes::kDenormalOffset;
    const float y = hpB0 * x + hpB1 * hpX1 + hpB2 * hpX2 - a1 * hpY1 - a2 * hpY2;
    hpX2 = hpX1;
    hpX1 = x;
    hpY2 = hpY1;
    hpY1 = y;
    return y;
  }
  void Clear() { hpX1 = hpX2 = hpY1 = hpY2 = 0.0f; }

  float frequency = 0.0f, sampleRate = 44100.0f, Q = 0.5f;
  float a1 = 0.0f, a2 = 0.0f;
  float lpB0 = 1.0f, lpB1 = 0.0f, lpB2 = 0.0f;
  float hpB0 = 1.0f, hpB1 = 0.0f, hpB2 = 0.0f;
  float hpX1 = 0.0f, hpX2 = 0.0f, hpY1 = 0.0f, hpY2 = 0.0f;
};

// Everything the reverb touches per sample.
struct ReverbCore {
  ReverbLanes lanes;
  ModDelayLine preDelay[2];
  RbjSection outHp[2];
  double outputScale = 1.5;
  double width = 1.0;
};

// The network over n frames with the vector kernel of the active SIMD
// target; every target gives the same samples as ReverbStepScalar.
void ReverbBlock(ReverbCore& core, const double* inL, const double* inR, double* wetL, double* wetR,
                 int n);

// One frame line by line in the network's order of operations: the reference
// the kernel reproduces lane by lane.
void ReverbStepScalar(ReverbCore& core, double inL, double inR, double* wetL, double* wetR);

}  // namespace morvanta
