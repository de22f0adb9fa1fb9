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

// How long the tail must stay below the threshold before it stops early.
constexpr double kQuietSecondsBeforeStop = 0.5;
// The file's last moments fade to silence over this time, so that a tail cut
// at --tail (or a performance cut by --seconds) ends without a click.
constexpr double kFinalFadeSeconds = 0.01;

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
  // Fades the last `fadeFrames` frames of the result to silence.
  static void FadeOut(RenderResult* result, int64_t fadeFrames);
};

}  // namespace render
}  // namespace morvanta
