// A performance as the renderer plays it: MIDI messages at times in seconds,
// the tempo in force over time, and where the performance ends.
#pragma once

#include <cstdint>
#include <vector>

namespace morvanta {
namespace render {

struct TimedMidi {
  double seconds = 0.0;
  uint8_t bytes[3] = {0, 0, 0};
};

struct TempoChange {
  double seconds = 0.0;
  double bpm = 120.0;
};

class NoteSequence {
 public:
  // Adds a note as a note-on / note-off pair; channel 0..15, key 0..127.
  void AddNote(double start, double duration, int channel, int key, int velocity);
  void AddMessage(double seconds, uint8_t status, uint8_t data1, uint8_t data2);
  // Tempo changes must be added in time order; before the first one the
  // tempo is 120 BPM, as in a MIDI file without a tempo event.
  void AddTempo(double seconds, double bpm);

  // Sorts the messages by time (controllers before note-offs before
  // note-ons at equal times) and sets the end to the last message, unless a
  // later end was set.
  void Finish();
  // Cuts the performance at `seconds`: later messages are dropped, notes
  // still sounding are released at the cut, and the end becomes the cut.
  void CutAt(double seconds);
  // Releases at the end what a sequencer's stop releases: every note still
  // held gets its note-off, and a sustain pedal still down goes up.
  void ReleaseAtEnd();
  // Drops the channel messages of channels whose bit (1 << channel) is clear.
  void KeepChannels(uint32_t mask);

  double TempoAt(double seconds) const;
  double EndSeconds() const { return end_; }
  void ExtendEndTo(double seconds);
  const std::vector<TimedMidi>& Messages() const { return messages_; }
  const std::vector<TempoChange>& Tempi() const { return tempi_; }

 private:
  std::vector<TimedMidi> messages_;
  std::vector<TempoChange> tempi_;
  double end_ = 0.0;
};

}  // namespace render
}  // namespace morvanta
