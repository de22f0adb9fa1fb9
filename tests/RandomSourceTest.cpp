// RandomSource: the standard generator's sequence, kept per owner.
#include "dsp/RandomSource.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace morvanta {
namespace {

#ifdef __GLIBC__
// The C library's rand() after srand(seed) gives the same numbers.
TEST(RandomSourceTest, DrawsTheStandardGeneratorsSequence) {
  for (unsigned seed : {1u, 0u, 12345u, 4000000000u}) {
    std::srand(seed);
    RandomSource g(seed);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(g.Next(), std::rand()) << "seed " << seed << ", draw " << i;
  }
}
#endif

TEST(RandomSourceTest, OwnersDoNotDisturbEachOther) {
  RandomSource a, b, alone;
  for (int i = 0; i < 1000; ++i) {
    const double va = a.Unit();
    b.Unit();
    b.Unit();  // another owner drawing more often
    ASSERT_EQ(va, alone.Unit()) << i;
    ASSERT_GE(va, 0.0);
    ASSERT_LE(va, 1.0);
  }
  a.Seed(1);
  RandomSource fresh;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a.Next(), fresh.Next()) << i;
}

}  // namespace
}  // namespace morvanta
