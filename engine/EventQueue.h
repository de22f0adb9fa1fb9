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

// A note-off, or a note-on with velocity 0.
inline bool IsNoteOff(const MidiMessage& m) {
  const int kind = m.status & 0xF0;
  return kind == 0x80 || (kind == 0x90 && m.data2 == 0);
}

class EventQueue {
 public:
  // The queue's fixed room, allocated with it. Hosts send events for the
  // coming block, a few hundred at most; the room only runs out when a host
  // sends thousands in one list or keeps sending events far beyond the block.
  // Then new note-ons and controllers are dropped (and counted), while a
  // note-off takes the place of the latest queued event that is not one, so
  // no note is left hanging.
  static constexpr int kCapacity = 4096;

  enum class AddResult {
    kQueued,
    kIgnored,           // a kind the instrument does not use
    kDropped,           // no room
    kNoRoomForNoteOff,  // no room, and nothing but note-offs queued
  };

  EventQueue();

  // Drops system messages, polyphonic pressure and program changes. Never
  // allocates.
  AddResult Add(const MidiMessage& m);
  // The next unread event whose offset is at most `frame`, or null.
  const MidiMessage* NextDue(int frame);
  // Discards the consumed events and moves the rest `frames` earlier.
  void FlushEvents(int frames);
  // Discards the consumed events.
  void Compact();

  int Count() const { return count_ - read_; }
  int Capacity() const { return static_cast<int>(events_.size()); }
  const MidiMessage& At(int i) const { return events_[read_ + i]; }
  // Events dropped for want of room since construction.
  int64_t Dropped() const { return dropped_; }

 private:
  bool MakeRoomForNoteOff();

  std::vector<MidiMessage> events_;
  int count_ = 0;
  int read_ = 0;
  int64_t dropped_ = 0;
};

}  // namespace morvanta
