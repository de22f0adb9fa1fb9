// Reads a Standard MIDI File into a NoteSequence: every track merged, times
// converted to seconds through the file's tempo map (parsing is portSMF's).
#include "tools/render/MidiFileReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include <allegro.h>

// portSMF's reader entry point (exported, declared in a header Debian does not
// ship). Called directly so the tempo map can start from the file format's
// default of 120 BPM instead of the library's own 100.
Alg_error alg_smf_read(std::istream& file, Alg_seq_ptr new_seq);

namespace morvanta {
namespace render {
namespace {

// The library reports parse errors with printf; catch them for our message.
class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    std::cout.flush();
    file_ = std::tmpfile();
    saved_ = dup(STDOUT_FILENO);
    if (file_ && saved_ >= 0) dup2(fileno(file_), STDOUT_FILENO);
  }
  ~StdoutCapture() { Restore(); if (file_) std::fclose(file_); }
  std::string Restore() {
    std::string text;
    if (saved_ < 0) return text;
    std::fflush(stdout);
    std::cout.flush();
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    if (file_) {
      std::rewind(file_);
      char buffer[256];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// A file without a tempo event plays at 120 BPM.
constexpr double kDefaultBpm = 120.0;

int ToMidiByte(double fraction) {
  return std::clamp(static_cast<int>(std::lround(fraction * 127.0)), 0, 127);
}

void AddUpdate(Alg_event_ptr event, NoteSequence* sequence) {
  const char* attribute = event->get_attribute();
  if (!attribute) return;
  const std::string name(attribute);
  const uint8_t channel = static_cast<uint8_t>(std::max(0L, event->chan) & 0x0F);
  const double t = event->time;
  if (name == "bendr") {
    const int bend = std::clamp(
        static_cast<int>(std::lround((event->get_real_value() + 1.0) * 8192.0)), 0, 16383);
    sequence->AddMessage(t, static_cast<uint8_t>(0xE0 | channel), static_cast<uint8_t>(bend & 0x7F),
                         static_cast<uint8_t>(bend >> 7));
  } else if (name == "pressurer") {
    const int value = ToMidiByte(event->get_real_value());
    const long key = event->get_identifier();
    if (key >= 0 && key < 128) {
      sequence->AddMessage(t, static_cast<uint8_t>(0xA0 | channel), static_cast<uint8_t>(key),
                           static_cast<uint8_t>(value));
    } else {
      sequence->AddMessage(t, static_cast<uint8_t>(0xD0 | channel), static_cast<uint8_t>(value), 0);
    }
  } else if (name == "programi") {
    const long program = std::clamp(event->get_integer_value(), 0L, 127L);
    sequence->AddMessage(t, static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program), 0);
  } else if (name.size() > 8 && name.compare(0, 7, "control") == 0 && name.back() == 'r') {
    const int controller = std::atoi(name.c_str() + 7);
    if (controller < 0 || controller > 127) return;
    sequence->AddMessage(t, static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(controller),
                         static_cast<uint8_t>(ToMidiByte(event->get_real_value())));
  }
}

}  // namespace

bool ReadMidiFile(const std::string& path, NoteSequence* sequence, std::string* error,
                  std::string* damage) {
  damage->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open MIDI file '" + path + "': " + std::strerror(errno);
    return false;
  }
  char magic[4] = {0, 0, 0, 0};
  in.read(magic, 4);
  if (in.gcount() != 4 || std::memcmp(magic, "MThd", 4) != 0) {
    *error = "'" + path + "' is not a Standard MIDI File (no MThd header)";
    return false;
  }
  in.seekg(0);

  auto seq = std::make_unique<Alg_seq>();
  seq->get_time_map()->last_tempo = kDefaultBpm / 60.0;
  StdoutCapture capture;
  const Alg_error read = alg_smf_read(in, seq.get());
  const std::string message = capture.Restore();
  if (read != alg_no_error) {
    // The stream stands where the library stopped reading.
    in.clear();
    const std::streamoff stoppedAt = in.tellg();
    *damage = "'" + path + "' is damaged" +
              (stoppedAt >= 0 ? " (reading stopped at byte " + std::to_string(stoppedAt) + ")" : "") +
              (message.empty() ? "" : ": " + message);
  }
  seq->convert_to_seconds();

  Alg_time_map* map = seq->get_time_map();
  if (map) {
    for (long i = 0; i < map->length(); ++i) {
      const Alg_beat& point = map->beats[static_cast<int>(i)];
      sequence->AddTempo(point.time, map->get_tempo(point.beat) * 60.0);
    }
  }
  for (int t = 0; t < seq->tracks(); ++t) {
    Alg_track_ptr track = seq->track(t);
    for (long i = 0; i < track->length(); ++i) {
      Alg_event_ptr event = (*track)[static_cast<int>(i)];
      if (event->is_note()) {
        Alg_note_ptr note = static_cast<Alg_note_ptr>(event);
        sequence->AddNote(note->time, note->dur, static_cast<int>(std::max(0L, note->chan)),
                          static_cast<int>(note->get_identifier()),
                          static_cast<int>(std::lround(note->loud)));
      } else if (event->is_update()) {
        AddUpdate(event, sequence);
      }
    }
  }
  sequence->Finish();
  sequence->ExtendEndTo(seq->get_real_dur());
  if (!damage->empty() && sequence->Messages().empty()) {
    *error = "cannot read MIDI file: " + *damage;
    damage->clear();
    return false;
  }
  return true;
}

}  // namespace render
}  // namespace morvanta
