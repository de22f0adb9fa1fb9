// The command line of morvanta-render: what it accepts, its help text, and
// the checks made before anything is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/render/OfflineRenderer.h"

namespace morvanta {
namespace render {

// Exit codes: 0 done, 1 a file or the plug-in failed, 2 a usage error
// (unknown option, program or parameter), 130 interrupted.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

struct RenderOptions {
  std::string midiPath;     // empty: the built-in demo phrase
  std::string outputPath;   // empty: demo.wav or <MIDI file's name>.wav
  std::string pluginPath;   // empty: found by PluginLocator
  std::string program;      // index or name; empty: keep the plug-in's
  std::vector<std::pair<std::string, std::string>> params;  // name, value text
  std::string statePath;
  std::string saveStatePath;
  std::string saveBankPath;   // .fxb: the standard bank file; else the raw chunk
  std::string presetPath;     // --load-preset: an .fxp or .fxb file
  std::string savePresetPath; // --save-preset: an .fxp file
  uint32_t channelMask = 0;   // bit c: play MIDI channel c + 1; 0: every channel
  bool strict = false;        // a damaged MIDI file is an error, not a warning
  std::string sampleFormat = "pcm24";
  double seconds = 0.0;     // > 0: length of the performance
  bool listPrograms = false;
  bool listParams = false;
  bool normalize = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  // Every option named on the command line, in order.
  std::vector<std::string> given;
  RenderSettings settings;
};

// Fills *options; on a usage error, or options that cannot take effect
// together, returns false with a message.
bool ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);
std::string RenderUsage();
// The output name used when -o is not given.
std::string DefaultOutputPath(const RenderOptions& options);
// True when the name ends in `extension` (".fxb"), in any case.
bool HasExtension(const std::string& path, const std::string& extension);

}  // namespace render
}  // namespace morvanta
