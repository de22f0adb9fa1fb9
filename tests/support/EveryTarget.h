// Helpers for the tests that hold the vector kernels to the one-lane code:
// a double's bits, and a body run once per instruction set the dispatcher
// can pick here.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "dsp/SimdDispatch.h"

namespace morvanta {
namespace testkit {

inline uint64_t Bits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Runs `body` once per available instruction set, forced, then restores the best.
template <class Body>
void OnEveryTarget(Body body) {
  for (const std::string& t : SimdTargetsAvailable()) {
    ASSERT_TRUE(ForceSimdTarget(t)) << t;
    SCOPED_TRACE(t);
    body();
  }
  ForceSimdTarget("");
}

}  // namespace testkit
}  // namespace morvanta
