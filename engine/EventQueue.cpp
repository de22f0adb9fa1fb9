// EventQueue: a fixed array that grows only outside rendering (when an event
// arrives and it is full) and is resized when the host's block size changes.
#include "engine/EventQueue.h"

#include <cstdint>
#include <new>
#include <stdexcept>

namespace morvanta {

EventQueue::EventQueue() { SetCapacity(kGrowth); }

bool EventQueue::SetCapacity(int capacity) {
  try {
    events_.resize(static_cast<size_t>(capacity));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void EventQueue::Compact() {
  if (read_ == 0) return;
  for (int i = read_; i < count_; ++i) events_[i - read_] = events_[i];
  count_ -= read_;
  read_ = 0;
}

void EventQueue::Add(const MidiMessage& m) {
  if (m.status < 0x80 || m.status >= 0xF0) return;
  const int kind = m.status & 0xF0;
  if (kind == 0xA0 || kind == 0xC0) return;
  if (count_ >= Capacity()) {
    if (read_ > 0) {
      Compact();
    } else {
      const int grown = (Capacity() / kGrowth + 1) * kGrowth;
      if (!SetCapacity(grown)) return;
    }
  }
  int at = count_;
  if (count_ > read_ && m.offset < events_[count_ - 1].offset) {
    while (at > read_ && events_[at - 1].offset > m.offset) --at;
    for (int i = count_; i > at; --i) events_[i] = events_[i - 1];
  }
  events_[at] = m;
  ++count_;
}

const MidiMessage* EventQueue::NextDue(int frame) {
  if (read_ < count_ && events_[read_].offset <= frame) return &events_[read_++];
  return nullptr;
}

void EventQueue::FlushEvents(int frames) {
  Compact();
  for (int i = 0; i < count_; ++i) events_[i].offset -= frames;
}

void EventQueue::Resize(int blockSize) {
  Compact();
  // The block size's share is bounded; the queued events always keep their room.
  constexpr int64_t kMaxCapacity = 1 << 20;
  auto roundUp = [](int n) {
    return n <= 0 ? int64_t{512} : ((static_cast<int64_t>(n) + 511) / 512) * 512;
  };
  int64_t capacity = roundUp(blockSize);
  if (capacity > kMaxCapacity) capacity = kMaxCapacity;
  const int64_t needed = roundUp(count_);
  if (capacity < needed) capacity = needed;
  SetCapacity(static_cast<int>(capacity));
}

}  // namespace morvanta
