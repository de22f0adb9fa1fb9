// RandomGenerator: the C library's rand() sequence as a value each owner
// keeps for itself. The additive feedback generator of glibc's rand()
// (r[i] = r[i-31] + r[i-3], seeded by a Lehmer sequence, the first 310
// values discarded, each output the top 31 bits), so an owner seeded with 1
// draws exactly what a fresh process's rand() would give, while two owners
// no longer disturb each other's sequence.
#pragma once

#include <cstdint>

namespace morvanta {

class RandomGenerator {
 public:
  explicit RandomGenerator(uint32_t seed = 1) { Seed(seed); }

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
  // The engine's random value: 0..32767 (the low 15 bits) divided by 32767.
  double Unit() { return (Next() % 32768) / 32767.0; }

  // What a unit draws from until an owner hands it its own generator (units
  // built on their own, as in tests); shared, so no instance uses it.
  static RandomGenerator& Unowned() {
    static RandomGenerator shared;
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
