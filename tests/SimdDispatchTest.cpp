// Run-time dispatch: every available target can be forced and is then the
// one in use; an unknown name changes nothing; an empty name restores the best.
#include <gtest/gtest.h>

#include "dsp/SimdDispatch.h"

namespace morvanta {
namespace {

TEST(SimdDispatchTest, ForcesEachAvailableTargetAndRestoresTheBest) {
  const std::vector<std::string> targets = SimdTargetsAvailable();
  ASSERT_FALSE(targets.empty());
  const std::string best = ActiveSimdTarget();
  EXPECT_EQ(best, targets.front());
  for (const std::string& t : targets) {
    ASSERT_TRUE(ForceSimdTarget(t)) << t;
    EXPECT_EQ(ActiveSimdTarget(), t);
  }
  EXPECT_FALSE(ForceSimdTarget("NO_SUCH_TARGET"));
  EXPECT_EQ(ActiveSimdTarget(), targets.back());
  ASSERT_TRUE(ForceSimdTarget(""));
  EXPECT_EQ(ActiveSimdTarget(), best);
}

}  // namespace
}  // namespace morvanta
