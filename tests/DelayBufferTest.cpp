// DelayBuffer: a clear costs nothing and leaves the memory alone, yet every
// read afterwards is exactly what a zero-filled buffer would give.
#include "dsp/DelayBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace morvanta {
namespace {

std::vector<double> RawCopy(const DelayBuffer& b) {
  return std::vector<double>(b.Raw(), b.Raw() + b.Capacity());
}

TEST(DelayBufferTest, ClearReadsZerosAndLeavesTheStoreAsItWas) {
  DelayBuffer b;
  ASSERT_TRUE(b.Reserve(1000));
  b.SetLength(1000);
  for (int i = 0; i < 1700; ++i) b.Push(1.0 + i);  // wrapped once
  const std::vector<double> before = RawCopy(b);
  b.Clear();
  EXPECT_EQ(std::memcmp(before.data(), b.Raw(), before.size() * sizeof(double)), 0);
  for (int i = 0; i < b.Length(); ++i) ASSERT_EQ(b.Read(i), 0.0) << i;
  // Writing resumes where it stopped; only what is written since reads back.
  const int at = b.WriteIndex();
  b.Push(-5.0);
  EXPECT_EQ(b.Read(at), -5.0);
  EXPECT_EQ(b.Read(at == 0 ? b.Length() - 1 : at - 1), 0.0);
  EXPECT_EQ(b.Read((at + 1) % b.Length()), 0.0);
}

// Pushes, clears and length changes in random order against a plain vector
// that is zero-filled on every clear: every index reads the same in both.
TEST(DelayBufferTest, ReadsAsAZeroFilledBufferThroughClearsAndWraps) {
  std::mt19937 rng(7);
  DelayBuffer b;
  ASSERT_TRUE(b.Reserve(64));
  b.SetLength(37);
  std::vector<double> ref(37, 0.0);
  int write = 0;
  for (int step = 0; step < 20000; ++step) {
    const unsigned op = rng() % 100;
    if (op < 2) {
      b.Clear();
      std::fill(ref.begin(), ref.end(), 0.0);
    } else if (op < 3) {
      const int length = 1 + static_cast<int>(rng() % 64);
      b.SetLength(length);
      ref.assign(length, 0.0);
      write = 0;
    } else {
      const double v = static_cast<double>(rng() % 1000) + 1.0;
      b.Push(v);
      ref[write] = v;
      write = (write + 1) % static_cast<int>(ref.size());
    }
    ASSERT_EQ(b.Length(), static_cast<int>(ref.size()));
    ASSERT_EQ(b.WriteIndex(), write);
    for (int i = 0; i < b.Length(); ++i) ASSERT_EQ(b.Read(i), ref[i]) << "step " << step << " index " << i;
  }
}

TEST(DelayBufferTest, ReserveOnlyGrowsAndAGrownStoreStartsSilent) {
  DelayBuffer b;
  ASSERT_TRUE(b.Reserve(100));
  b.SetLength(100);
  for (int i = 0; i < 150; ++i) b.Push(3.0);
  ASSERT_TRUE(b.Reserve(50));
  EXPECT_EQ(b.Capacity(), 100);
  EXPECT_EQ(b.Read(10), 3.0);  // a smaller request changes nothing
  ASSERT_TRUE(b.Reserve(400));
  EXPECT_EQ(b.Capacity(), 400);
  EXPECT_EQ(b.Length(), 100);
  EXPECT_EQ(b.WriteIndex(), 0);
  for (int i = 0; i < b.Length(); ++i) ASSERT_EQ(b.Read(i), 0.0) << i;
  b.SetLength(1000);  // held within the room made
  EXPECT_EQ(b.Length(), 400);
}

}  // namespace
}  // namespace morvanta
