// EventQueue: fixed room that never grows; ordering by offset; what is
// dropped when the room runs out, and that no note-off ever is.
#include <gtest/gtest.h>

#include <vector>

#include "engine/EventQueue.h"

namespace morvanta {
namespace {

MidiMessage On(int offset, int note) { return MidiMessage{offset, 0x90, static_cast<uint8_t>(note), 100}; }
MidiMessage Off(int offset, int note) { return MidiMessage{offset, 0x80, static_cast<uint8_t>(note), 0}; }

std::vector<MidiMessage> Drain(EventQueue& q, int frame) {
  std::vector<MidiMessage> out;
  while (const MidiMessage* m = q.NextDue(frame)) out.push_back(*m);
  return out;
}

TEST(EventQueue, KeepsOffsetOrderAndArrivalOrderForEqualOffsets) {
  EventQueue q;
  q.Add(On(10, 1));
  q.Add(On(5, 2));
  q.Add(On(10, 3));
  q.Add(On(5, 4));
  q.Add(On(0, 5));
  const std::vector<MidiMessage> got = Drain(q, 100);
  ASSERT_EQ(got.size(), 5u);
  const int notes[] = {5, 2, 4, 1, 3};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i].data1, notes[i]) << i;
}

TEST(EventQueue, FullQueueDropsNoteOnsAndControllersAndCountsThem) {
  EventQueue q;
  const int room = q.Capacity();
  EXPECT_EQ(room, EventQueue::kCapacity);
  for (int i = 0; i < room; ++i) ASSERT_EQ(q.Add(On(1000 + i, 60)), EventQueue::AddResult::kQueued);
  EXPECT_EQ(q.Add(On(5, 61)), EventQueue::AddResult::kDropped);
  EXPECT_EQ(q.Add(MidiMessage{5, 0xB0, 1, 64}), EventQueue::AddResult::kDropped);
  EXPECT_EQ(q.Add(MidiMessage{5, 0xE0, 0, 64}), EventQueue::AddResult::kDropped);
  EXPECT_EQ(q.Add(MidiMessage{5, 0xF8, 0, 0}), EventQueue::AddResult::kIgnored);
  EXPECT_EQ(q.Dropped(), 3);
  EXPECT_EQ(q.Count(), room);
  EXPECT_EQ(q.Capacity(), room);
}

// A queue full of note-ons still takes note-offs: each replaces the latest
// queued event that is not a note-off and lands at its own offset.
TEST(EventQueue, FullQueueOfNoteOnsStillAcceptsNoteOffs) {
  EventQueue q;
  const int room = q.Capacity();
  for (int i = 0; i < room; ++i) q.Add(On(i, 40 + i % 40));
  for (int n = 0; n < 100; ++n) {
    ASSERT_EQ(q.Add(Off(n, 40 + n % 40)), EventQueue::AddResult::kQueued) << n;
    ASSERT_EQ(q.Add(MidiMessage{n, 0x90, static_cast<uint8_t>(40 + n % 40), 0}), EventQueue::AddResult::kQueued);
  }
  EXPECT_EQ(q.Count(), room);
  EXPECT_EQ(q.Dropped(), 200);
  const std::vector<MidiMessage> got = Drain(q, room);
  int offs = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (i > 0) {
      ASSERT_LE(got[i - 1].offset, got[i].offset);
    }
    if (IsNoteOff(got[i])) {
      ++offs;
    } else {
      EXPECT_LT(got[i].offset, room - 200);  // the latest note-ons went
    }
  }
  EXPECT_EQ(offs, 200);
}

TEST(EventQueue, NoteOffWithNothingButNoteOffsQueuedIsReportedNotLost) {
  EventQueue q;
  for (int i = 0; i < q.Capacity(); ++i) q.Add(Off(i, 60));
  EXPECT_EQ(q.Add(Off(3, 61)), EventQueue::AddResult::kNoRoomForNoteOff);
  EXPECT_EQ(q.Count(), q.Capacity());
}

// Events beyond the block stay queued, moving one block earlier each time,
// and come due at their frame; consumed events free their room.
TEST(EventQueue, FarEventsWaitTheirTurnAndFlushFreesRoom) {
  EventQueue q;
  q.Add(On(1000, 1));
  q.Add(On(10, 2));
  EXPECT_EQ(Drain(q, 255).size(), 1u);
  q.FlushEvents(256);
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.At(0).offset, 1000 - 256);
  q.FlushEvents(256);
  EXPECT_TRUE(Drain(q, 255).empty());
  q.FlushEvents(256);  // 1000 - 3 * 256 = 232: due at that frame of this block
  EXPECT_TRUE(Drain(q, 231).empty());
  const std::vector<MidiMessage> due = Drain(q, 232);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].data1, 1);

  for (int i = 0; i < q.Capacity(); ++i) q.Add(On(i % 64, 60));
  EXPECT_EQ(Drain(q, 63).size(), static_cast<size_t>(q.Capacity()));
  q.FlushEvents(64);
  EXPECT_EQ(q.Add(On(0, 60)), EventQueue::AddResult::kQueued);
}

}  // namespace
}  // namespace morvanta
