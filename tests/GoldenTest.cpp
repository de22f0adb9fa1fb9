// Compares the built plug-in with the golden outputs in tests/golden: texts
// and chunks byte for byte, audio per channel within -100 dB relative, on the
// double and the float path, once on every SIMD target this processor offers
// (the test forces each in turn; the plug-in shares the dispatcher's choice).
// Each case prints the largest difference it saw. Regenerate chosen files
// after an intended change with:
//   build/tools/morvanta-golden --write tests/golden --only 'PATTERN'
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "dsp/SimdDispatch.h"
#include "tools/golden/GoldenRecorder.h"

namespace morvanta {
namespace golden {
namespace {

std::vector<std::string> CasesToCheck() {
#ifdef MORVANTA_GOLDEN_SAMPLE
  // Under the sanitizers a sample runs; the release build checks every case.
  return {"dispatcher",  "params",       "init",       "random-07",   "shape-3",
          "mode-livearp", "filter-resonance", "envelope-edges-44k", "voice-stealing"};
#else
  return CaseNames();
#endif
}

// Puts the best target back however the test ends.
class ForcedTarget {
 public:
  explicit ForcedTarget(const std::string& name) : ok_(ForceSimdTarget(name)) {}
  ~ForcedTarget() { ForceSimdTarget(""); }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

using TargetAndCase = std::tuple<std::string, std::string>;

// The largest difference of the whole run, printed once at the end, so a run
// of every case on every target reports one figure.
class LargestDifference : public ::testing::Environment {
 public:
  void Note(double db, const std::string& what) {
    if (db > db_) {
      db_ = db;
      what_ = what;
    }
  }
  void TearDown() override {
    if (!what_.empty())
      std::printf("[ golden   ] largest difference of this run: %.1f dB (%s)\n", db_, what_.c_str());
  }

 private:
  double db_ = -INFINITY;
  std::string what_;
};

LargestDifference* const gLargest =
    static_cast<LargestDifference*>(::testing::AddGlobalTestEnvironment(new LargestDifference));

class GoldenTest : public ::testing::TestWithParam<TargetAndCase> {};

TEST_P(GoldenTest, MatchesRecordedOutput) {
  const std::string& target = std::get<0>(GetParam());
  const std::string& name = std::get<1>(GetParam());
  ForcedTarget forced(target);
  ASSERT_TRUE(forced.ok()) << target;
  ASSERT_EQ(ActiveSimdTarget(), target);
  Recording rec;
  std::string error;
  ASSERT_TRUE(RecordCase(MORVANTA_PLUGIN_PATH, name, &rec, &error)) << error;
  std::string report;
  double largest = 0.0;
  EXPECT_TRUE(CheckRecording(MORVANTA_GOLDEN_DIR, rec, kGoldenLimitDb, &report, &largest)) << report;
  if (!rec.audio.empty()) {
    RecordProperty("largest_difference_db", std::isfinite(largest) ? std::to_string(largest)
                                                                   : (largest < 0 ? "-inf" : "inf"));
    std::printf("[ golden   ] %s on %s: largest difference %.1f dB (limit %.0f dB)\n", name.c_str(),
                target.c_str(), largest, kGoldenLimitDb);
    gLargest->Note(largest, name + " on " + target);
  }
}

std::string CaseLabel(const ::testing::TestParamInfo<TargetAndCase>& info) {
  std::string s = std::get<0>(info.param) + "_" + std::get<1>(info.param);
  for (char& c : s)
    if (c == '-') c = '_';
  return s;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest,
                         ::testing::Combine(::testing::ValuesIn(SimdTargetsAvailable()),
                                            ::testing::ValuesIn(CasesToCheck())),
                         CaseLabel);

// The plug-in dispatches through the one Highway library of this process:
// its references to the dispatcher's choice resolve to the very function the
// test forces through, not to a copy of its own, so forcing here forces the
// plug-in's kernels too.
TEST(GoldenTargetTest, PluginSharesTheDispatchersChoice) {
  void* plugin = dlopen(MORVANTA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(plugin, nullptr) << dlerror();
  const char* chosen = "_ZN3hwy15GetChosenTargetEv";  // hwy::GetChosenTarget()
  void* ours = dlsym(RTLD_DEFAULT, chosen);
  void* theirs = dlsym(plugin, chosen);
  ASSERT_NE(ours, nullptr);
  EXPECT_EQ(theirs, ours);
  Dl_info info{};
  ASSERT_NE(dladdr(theirs, &info), 0);
  EXPECT_NE(std::string(info.dli_fname).find("libhwy"), std::string::npos) << info.dli_fname;
  dlclose(plugin);
}

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
