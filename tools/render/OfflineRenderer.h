// Plays a NoteSequence into a loaded plug-in block by block, the way a DAW's
// offline export does, and collects the interleaved output.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/host/VstHost.h"
#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace render {

enum class ProcessPath { kFloat, kDouble, kAccumulate };

struct RenderSettings {
  int sampleRate = 44100;
  int blockSize = 512;
  ProcessPath path = ProcessPath::kFloat;
  double fixedTempo = 0.0;     // > 0: the tempo the plug-in sees throughout
  double tailSeconds = 10.0;   // longest tail after the last event
  double tailThresholdDb = -90.0;
};

struct RenderResult {
  std::vector<float> interleaved;
  int channels = 0;
  int64_t frames = 0;
  int64_t nonFiniteSamples = 0;  // written as silence
  bool interrupted = false;
};

// Frames the tail keeps rendering below the threshold before it stops early,
// so that a delay's later echoes are not cut off.
constexpr double kQuietSecondsBeforeStop = 2.0;

class OfflineRenderer {
 public:
  using Progress = std::function<void(int64_t done, int64_t total)>;

  // The plug-in must be opened, with rate and block size set and resumed.
  bool Render(host::PluginInstance* plugin, const NoteSequence& sequence,
              const RenderSettings& settings, const Progress& progress,
              const volatile std::sig_atomic_t* stop, RenderResult* result, std::string* error);

  // Sample frame of each message: note-offs never share or precede the frame
  // of their note-on, so a very short note still sounds.
  static std::vector<std::pair<int64_t, TimedMidi>> ScheduleFrames(const NoteSequence& sequence,
                                                                   int sampleRate);
};

}  // namespace render
}  // namespace morvanta
