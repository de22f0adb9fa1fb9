// Compares the built plug-in with the golden outputs in tests/golden: texts
// and chunks byte for byte, audio per channel within -100 dB relative, on the
// double and the float path. Regenerate chosen files after an intended change
// with: build/tools/morvanta-golden --write tests/golden --only 'PATTERN'
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/golden/GoldenRecorder.h"

namespace morvanta {
namespace golden {
namespace {

std::vector<std::string> CasesToCheck() {
#ifdef MORVANTA_GOLDEN_SAMPLE
  // Under the sanitizers a sample runs; the release build checks every case.
  return {"dispatcher", "params", "init", "random-07", "shape-3", "mode-livearp"};
#else
  return CaseNames();
#endif
}

class GoldenTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, MatchesRecordedOutput) {
  Recording rec;
  std::string error;
  ASSERT_TRUE(RecordCase(MORVANTA_PLUGIN_PATH, GetParam(), &rec, &error)) << error;
  std::string report;
  EXPECT_TRUE(CheckRecording(MORVANTA_GOLDEN_DIR, rec, kGoldenLimitDb, &report)) << report;
}

std::string CaseLabel(const ::testing::TestParamInfo<std::string>& info) {
  std::string s = info.param;
  for (char& c : s)
    if (c == '-') c = '_';
  return s;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest, ::testing::ValuesIn(CasesToCheck()), CaseLabel);

// The comparison itself: identical takes pass, a -90 dB difference fails.
TEST(GoldenComparisonTest, RelativeErrorInDecibels) {
  std::vector<double> ref(1000), near(1000), off(1000);
  for (size_t i = 0; i < ref.size(); ++i) {
    ref[i] = (i % 7) - 3.0;
    near[i] = ref[i];
    off[i] = ref[i] * (1.0 + 3.1623e-5);  // 20*log10(3.1623e-5) = -90 dB
  }
  EXPECT_LT(RelativeErrorDb(ref, near), kGoldenLimitDb);
  EXPECT_NEAR(RelativeErrorDb(ref, off), -90.0, 0.01);
  const std::vector<double> silent(1000, 0.0);
  EXPECT_LT(RelativeErrorDb(silent, silent), kGoldenLimitDb);
  EXPECT_GT(RelativeErrorDb(silent, ref), kGoldenLimitDb);
  EXPECT_GT(RelativeErrorDb(ref, std::vector<double>(999, 0.0)), kGoldenLimitDb);
}

}  // namespace
}  // namespace golden
}  // namespace morvanta
