// RandomSource: the engine's random values (pan spread, random LFO shapes,
// pitch noise), a uniform integer 0..32767 from the standard generator divided
// by 32767. The engine owns one and hands it to the units that draw from it.
//
// The generator is the C library's rand() sequence kept as a value: glibc's
// additive feedback generator (r[i] = r[i-31] + r[i-3], seeded by a Lehmer
// sequence, the first 310 values discarded, each output the top 31 bits). A
// source seeded with 1 draws exactly what a fresh process's rand() gives,
// while two instances no longer disturb each other's sequence.
#pragma once

#include <cstdint>

namespace morvanta {

class RandomSource {
 public:
  explicit RandomSource(uint32_t seed = 1) { Seed(seed); }

  void Seed(uint32_t seed) {
    // Seed 0 would make the Lehmer sequence all zeros; rand() uses 1 then.
    // The sequence is 16807 r mod (2^31 - 1) by Schrage's method on the seed
    // taken as a signed 32-bit number, as the library does.
    int32_t r = seed == 0 ? 1 : static_cast<int32_t>(seed);
    state_[0] = static_cast<uint32_t>(r);
    for (int i = 1; i < 31; ++i) {
      const int32_t hi = r / 127773;
      const int32_t lo = r % 127773;
      r = 16807 * lo - 2836 * hi;
      if (r < 0) r += 2147483647;
      state_[i] = static_cast<uint32_t>(r);
    }
    for (int i = 31; i < kSize; ++i) state_[i] = state_[i - 31];
    pos_ = 0;
    for (int i = kSize; i < 344; ++i) Step();
  }

  // 0 .. 2^31 - 1, as rand() returns it.
  int32_t Next() { return static_cast<int32_t>(Step() >> 1); }
  // The engine's random value: rand()'s low 15 bits (0..32767) divided by
  // 32767, so that the result stays in 0..1.
  double Unit() { return (Next() % 32768) / 32767.0; }

  // The source a unit draws from until its owner injects another (units
  // built on their own, as in tests); shared, so no instance uses it.
  static RandomSource& Fallback() {
    static RandomSource shared;
    return shared;
  }

 private:
  static constexpr int kSize = 34;

  // state_[(pos_ + j) % 34] holds r[i - 34 + j] for the next index i.
  uint32_t Step() {
    const uint32_t v = state_[Wrap(pos_ + 3)] + state_[Wrap(pos_ + 31)];
    state_[pos_] = v;
    pos_ = Wrap(pos_ + 1);
    return v;
  }
  static int Wrap(int i) { return i >= kSize ? i - kSize : i; }

  uint32_t state_[kSize] = {};
  int pos_ = 0;
};

}  // namespace morvanta
