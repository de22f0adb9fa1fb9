// A performance as the renderer plays it: MIDI messages at times in seconds,
// the tempo in force over time, and where the performance ends.
#include "tools/render/NoteSequence.h"

#include <algorithm>
#include <map>
#include <utility>

namespace morvanta {
namespace render {
namespace {

int OrderAtEqualTime(const TimedMidi& m) {
  switch (m.bytes[0] & 0xF0) {
    case 0x80: return 1;
    case 0x90: return 2;
    default: return 0;
  }
}

bool IsNoteOn(const TimedMidi& m) { return (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0; }
bool IsNoteOff(const TimedMidi& m) {
  return (m.bytes[0] & 0xF0) == 0x80 || ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] == 0);
}

}  // namespace

void NoteSequence::AddNote(double start, double duration, int channel, int key, int velocity) {
  const uint8_t ch = static_cast<uint8_t>(channel & 0x0F);
  const uint8_t k = static_cast<uint8_t>(std::clamp(key, 0, 127));
  const uint8_t v = static_cast<uint8_t>(std::clamp(velocity, 1, 127));
  AddMessage(start, static_cast<uint8_t>(0x90 | ch), k, v);
  AddMessage(start + std::max(duration, 0.0), static_cast<uint8_t>(0x80 | ch), k, 0);
}

void NoteSequence::AddMessage(double seconds, uint8_t status, uint8_t data1, uint8_t data2) {
  TimedMidi m;
  m.seconds = std::max(seconds, 0.0);
  m.bytes[0] = status;
  m.bytes[1] = static_cast<uint8_t>(data1 & 0x7F);
  m.bytes[2] = static_cast<uint8_t>(data2 & 0x7F);
  messages_.push_back(m);
}

void NoteSequence::AddTempo(double seconds, double bpm) {
  if (!(bpm > 0.0)) return;
  if (!tempi_.empty() && tempi_.back().bpm == bpm) return;
  tempi_.push_back({std::max(seconds, 0.0), bpm});
}

void NoteSequence::Finish() {
  std::stable_sort(messages_.begin(), messages_.end(), [](const TimedMidi& a, const TimedMidi& b) {
    if (a.seconds != b.seconds) return a.seconds < b.seconds;
    return OrderAtEqualTime(a) < OrderAtEqualTime(b);
  });
  if (!messages_.empty()) ExtendEndTo(messages_.back().seconds);
}

void NoteSequence::CutAt(double seconds) {
  std::vector<TimedMidi> kept;
  for (const TimedMidi& m : messages_) {
    if (m.seconds >= seconds) break;
    kept.push_back(m);
  }
  messages_ = std::move(kept);
  end_ = seconds;
  ReleaseAtEnd();
}

void NoteSequence::ReleaseAtEnd() {
  constexpr uint8_t kSustain = 64;
  std::map<std::pair<int, int>, int> held;
  bool pedalDown[16] = {};
  for (const TimedMidi& m : messages_) {
    const int channel = m.bytes[0] & 0x0F;
    const std::pair<int, int> note(channel, m.bytes[1]);
    if (IsNoteOn(m)) ++held[note];
    if (IsNoteOff(m) && held[note] > 0) --held[note];
    if ((m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] == kSustain) pedalDown[channel] = m.bytes[2] >= 64;
  }
  for (const auto& entry : held) {
    for (int i = 0; i < entry.second; ++i) {
      AddMessage(end_, static_cast<uint8_t>(0x80 | entry.first.first),
                 static_cast<uint8_t>(entry.first.second), 0);
    }
  }
  for (int channel = 0; channel < 16; ++channel) {
    if (pedalDown[channel]) AddMessage(end_, static_cast<uint8_t>(0xB0 | channel), kSustain, 0);
  }
}

void NoteSequence::KeepChannels(uint32_t mask) {
  messages_.erase(std::remove_if(messages_.begin(), messages_.end(),
                                 [mask](const TimedMidi& m) { return !(mask >> (m.bytes[0] & 0x0F) & 1u); }),
                  messages_.end());
}

double NoteSequence::TempoAt(double seconds) const {
  double bpm = 120.0;
  for (const TempoChange& t : tempi_) {
    if (t.seconds > seconds) break;
    bpm = t.bpm;
  }
  return bpm;
}

void NoteSequence::ExtendEndTo(double seconds) { end_ = std::max(end_, seconds); }

}  // namespace render
}  // namespace morvanta
