// EventQueue: a fixed array; inserting finds its place by binary search, so a
// host's list in offset order only ever appends.
#include "engine/EventQueue.h"

#include <algorithm>

namespace morvanta {

EventQueue::EventQueue() : events_(kCapacity) {}

void EventQueue::Compact() {
  if (read_ == 0) return;
  std::copy(events_.begin() + read_, events_.begin() + count_, events_.begin());
  count_ -= read_;
  read_ = 0;
}

// Drops the latest queued event that is not a note-off: the one furthest in
// the future, and a lost note-on or controller leaves nothing sounding.
bool EventQueue::MakeRoomForNoteOff() {
  for (int i = count_ - 1; i >= read_; --i) {
    if (IsNoteOff(events_[i])) continue;
    std::copy(events_.begin() + i + 1, events_.begin() + count_, events_.begin() + i);
    --count_;
    ++dropped_;
    return true;
  }
  return false;
}

EventQueue::AddResult EventQueue::Add(const MidiMessage& m) {
  if (m.status < 0x80 || m.status >= 0xF0) return AddResult::kIgnored;
  const int kind = m.status & 0xF0;
  if (kind == 0xA0 || kind == 0xC0) return AddResult::kIgnored;
  if (count_ >= kCapacity) Compact();
  if (count_ >= kCapacity) {
    if (!IsNoteOff(m)) {
      ++dropped_;
      return AddResult::kDropped;
    }
    if (!MakeRoomForNoteOff()) return AddResult::kNoRoomForNoteOff;
  }
  // After every queued event with an offset not greater than the new one.
  auto begin = events_.begin() + read_;
  auto end = events_.begin() + count_;
  auto at = end;
  if (count_ > read_ && m.offset < events_[count_ - 1].offset) {
    at = std::upper_bound(begin, end, m.offset,
                          [](int32_t offset, const MidiMessage& e) { return offset < e.offset; });
    std::copy_backward(at, end, end + 1);
  }
  *at = m;
  ++count_;
  return AddResult::kQueued;
}

const MidiMessage* EventQueue::NextDue(int frame) {
  if (read_ < count_ && events_[read_].offset <= frame) return &events_[read_++];
  return nullptr;
}

void EventQueue::FlushEvents(int frames) {
  Compact();
  for (int i = 0; i < count_; ++i) events_[i].offset -= frames;
}

}  // namespace morvanta
