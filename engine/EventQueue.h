// EventQueue: the MIDI messages of the coming blocks, sorted by sample offset
// (equal offsets in arrival order); consumed during a block, shifted after it.
#pragma once

#include <cstdint>
#include <vector>

namespace morvanta {

struct MidiMessage {
  int32_t offset = 0;  // frames from the start of the next block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

class EventQueue {
 public:
  static constexpr int kGrowth = 1024;

  EventQueue();

  // Drops system messages, polyphonic pressure and program changes, and the
  // event when the queue cannot grow.
  void Add(const MidiMessage& m);
  // The next unread event whose offset is at most `frame`, or null.
  const MidiMessage* NextDue(int frame);
  // Discards the consumed events and moves the rest `frames` earlier.
  void FlushEvents(int frames);
  // Compacts and sets the capacity for a new block size.
  void Resize(int blockSize);

  int Count() const { return count_ - read_; }
  int Capacity() const { return static_cast<int>(events_.size()); }
  const MidiMessage& At(int i) const { return events_[read_ + i]; }

 private:
  void Compact();
  bool SetCapacity(int capacity);

  std::vector<MidiMessage> events_;
  int count_ = 0;
  int read_ = 0;
};

}  // namespace morvanta
