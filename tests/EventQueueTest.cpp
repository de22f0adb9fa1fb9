// EventQueue: a block-size change never drops or cuts off queued events.
#include <gtest/gtest.h>

#include "engine/EventQueue.h"

namespace morvanta {
namespace {

TEST(EventQueue, ResizeKeepsRoomForEveryQueuedEvent) {
  // More events than the block-size share of the capacity (2^20) may hold.
  constexpr int kEvents = (1 << 20) + 700;
  EventQueue q;
  for (int i = 0; i < kEvents; ++i) q.Add(MidiMessage{i, 0x90, 60, 100});
  q.Resize(512);
  EXPECT_EQ(q.Count(), kEvents);
  EXPECT_GE(q.Capacity(), kEvents);
  int read = 0;
  while (q.NextDue(kEvents) != nullptr) ++read;
  EXPECT_EQ(read, kEvents);
  q.Resize(100);  // 100 rounds up to 512
  EXPECT_EQ(q.Capacity(), 512);
}

}  // namespace
}  // namespace morvanta
