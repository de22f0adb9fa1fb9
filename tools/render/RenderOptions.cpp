// The command line of morvanta-render: what it accepts, its help text, and
// the checks made before anything is loaded.
#include "tools/render/RenderOptions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace morvanta {
namespace render {
namespace {

bool ParseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == '\0' && std::isfinite(*value);
}

bool NumberIn(const std::string& option, const std::string& text, double low, double high,
              double* value, std::string* error) {
  if (!ParseNumber(text, value) || *value < low || *value > high) {
    char range[96];
    std::snprintf(range, sizeof range, "%g and %g", low, high);
    *error = option + " takes a number between " + range + ", not '" + text + "'";
    return false;
  }
  return true;
}

bool WholeNumberIn(const std::string& option, const std::string& text, int low, int high,
                   int* value, std::string* error) {
  double v = 0.0;
  if (!ParseNumber(text, &v) || v != std::floor(v) || v < low || v > high) {
    *error = option + " takes a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not '" + text + "'";
    return false;
  }
  *value = static_cast<int>(v);
  return true;
}

}  // namespace

std::string RenderUsage() {
  return
      "Usage: morvanta-render [options] [MIDI-FILE]\n"
      "Renders a Standard MIDI File (all tracks, with its tempo map) through the\n"
      "Morvanta VST2 plug-in into a WAV or FLAC file. Without a MIDI file it plays\n"
      "a built-in demo phrase (about 21 s), with chorus, delay and reverb on unless\n"
      "--program, --load-preset, --state or --param chooses the sound.\n"
      "\n"
      "Output:\n"
      "  -o, --output FILE      .wav or .flac (default: demo.wav, or the MIDI file's\n"
      "                         name with .wav, in the current folder)\n"
      "  --format F             pcm16, pcm24 (default) or float (WAV only)\n"
      "  --normalize            scale the result so its peak is at -1 dBFS\n"
      "  --sr HZ                sample rate (default 44100)\n"
      "  --block FRAMES         frames per process call (default 512)\n"
      "  --tail SECONDS         after the last event, render until the output has\n"
      "                         stayed below -90 dBFS for 0.5 s, at most this long\n"
      "                         (default 10); the last 10 ms fade out\n"
      "  --seconds SECONDS      play this long (cuts or extends the performance;\n"
      "                         notes still held are released at the end)\n"
      "Sound:\n"
      "  --plugin PATH          the plug-in to load (default: the one built or\n"
      "                         installed with this tool)\n"
      "  --program N|NAME       select a program by index or name (any case)\n"
      "  --param NAME=VALUE     set a parameter by name (any case) or index, in its\n"
      "                         own units, e.g. --param 'Filter frequency=40';\n"
      "                         repeatable, applied after --program and --state\n"
      "  --tempo BPM            tempo the plug-in sees (default: the MIDI file's)\n"
      "  --load-preset FILE     load a VST preset (.fxp) or bank (.fxb) file, as\n"
      "                         saved by a host or by --save-preset/--save-bank\n"
      "  --state FILE           load a raw program or bank chunk saved with\n"
      "                         --save-state or --save-bank (for either option a\n"
      "                         bank loads before --program, a program after it)\n"
      "  --save-preset FILE     save the sound as set up as a VST preset (.fxp)\n"
      "  --save-state FILE      save the sound as set up (raw program chunk)\n"
      "  --save-bank FILE       save all programs: a VST bank file when FILE ends\n"
      "                         in .fxb, else the raw bank chunk\n"
      "MIDI:\n"
      "  --channel N            play only MIDI channel N (1 to 16; repeatable;\n"
      "                         default: all). A General MIDI file has its drums\n"
      "                         on channel 10: --channel 10 plays only them.\n"
      "  --strict               refuse a damaged MIDI file (by default what could\n"
      "                         be read is played, with a warning)\n"
      "At the end of the MIDI file every note still held is released and a held\n"
      "sustain pedal lifted, as a sequencer's stop does; then the tail runs.\n"
      "Information:\n"
      "  --list-programs        print the programs and exit; '*' marks the one\n"
      "                         a render with the same options would use\n"
      "  --list-params          print the parameters with the values a render with\n"
      "                         the same options would use, and exit\n"
      "  --double               render through the 64-bit process call\n"
      "  --accumulate           render through the old accumulating process call\n"
      "  -q, --quiet            no progress bar and no summary\n"
      "  -h, --help             this text\n"
      "  --version              the tool's version\n"
      "\n"
      "Exit status: 0 done, 1 a file or the plug-in failed, 2 a usage error.\n";
}

namespace {

// Options that take no value; false when `name` is none of them.
bool ApplySwitch(const std::string& name, RenderOptions* options) {
  if (name == "-h" || name == "--help") {
    options->help = true;
  } else if (name == "--version") {
    options->version = true;
  } else if (name == "-q" || name == "--quiet") {
    options->quiet = true;
  } else if (name == "--list-programs") {
    options->listPrograms = true;
  } else if (name == "--list-params") {
    options->listParams = true;
  } else if (name == "--normalize") {
    options->normalize = true;
  } else if (name == "--double") {
    options->settings.path = ProcessPath::kDouble;
  } else if (name == "--accumulate") {
    options->settings.path = ProcessPath::kAccumulate;
  } else if (name == "--strict") {
    options->strict = true;
  } else {
    return false;
  }
  return true;
}

constexpr const char* kValuedOptions[] = {
    "-o",        "--output", "--plugin",      "--program",     "--param",     "--tempo",
    "--tail",    "--seconds", "--sr",         "--block",       "--format",    "--state",
    "--save-state", "--save-bank", "--load-preset", "--save-preset", "--channel"};

bool TakesValue(const std::string& name) {
  for (const char* o : kValuedOptions)
    if (name == o) return true;
  return false;
}

bool SetParamOption(const std::string& text, RenderOptions* options, std::string* error) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0) {
    *error = "--param takes NAME=VALUE, not '" + text + "'";
    return false;
  }
  options->params.emplace_back(text.substr(0, eq), text.substr(eq + 1));
  return true;
}

// Stores the value of an option that TakesValue; false with *error when the
// value is out of range or malformed.
bool SetValued(const std::string& name, const std::string& text, RenderOptions* options,
               std::string* error) {
  RenderSettings& s = options->settings;
  if (name == "-o" || name == "--output") {
    options->outputPath = text;
  } else if (name == "--plugin") {
    options->pluginPath = text;
  } else if (name == "--program") {
    options->program = text;
  } else if (name == "--param") {
    return SetParamOption(text, options, error);
  } else if (name == "--tempo") {
    return NumberIn(name, text, 1.0, 999.0, &s.fixedTempo, error);
  } else if (name == "--tail") {
    return NumberIn(name, text, 0.0, 600.0, &s.tailSeconds, error);
  } else if (name == "--seconds") {
    return NumberIn(name, text, 0.001, 24 * 3600.0, &options->seconds, error);
  } else if (name == "--sr") {
    return WholeNumberIn(name, text, 8000, 384000, &s.sampleRate, error);
  } else if (name == "--block") {
    return WholeNumberIn(name, text, 1, 16384, &s.blockSize, error);
  } else if (name == "--format") {
    options->sampleFormat = text;
  } else if (name == "--state") {
    options->statePath = text;
  } else if (name == "--save-state") {
    options->saveStatePath = text;
  } else if (name == "--save-bank") {
    options->saveBankPath = text;
  } else if (name == "--load-preset") {
    options->presetPath = text;
  } else if (name == "--save-preset") {
    options->savePresetPath = text;
  } else if (name == "--channel") {
    int channel = 0;
    if (!WholeNumberIn(name, text, 1, 16, &channel, error)) return false;
    options->channelMask |= 1u << (channel - 1);
  }
  return true;
}

bool Given(const RenderOptions& o, const char* name) {
  for (const std::string& g : o.given) {
    if (g == name) return true;
  }
  return false;
}

// Options that cannot all take effect are refused rather than one of them
// silently losing.
bool CheckCombinations(const RenderOptions& o, std::string* error) {
  if (o.help || o.version) return true;
  const bool listing = o.listPrograms || o.listParams;
  if (listing) {
    // Options that only shape the audio a render writes.
    static const char* const kRenderOnly[] = {"-o",     "--output", "--format", "--normalize",
                                              "--tail", "--seconds", "--double", "--accumulate",
                                              "--sr",   "--block",  "--tempo",  "--channel",
                                              "--strict"};
    for (const std::string& name : o.given) {
      for (const char* r : kRenderOnly) {
        if (name != r) continue;
        *error = std::string(o.listPrograms ? "--list-programs" : "--list-params") +
                 " renders nothing, so " + name + " would have no effect";
        return false;
      }
    }
  }
  if (Given(o, "--double") && Given(o, "--accumulate")) {
    *error = "--double and --accumulate choose different process calls: give one";
    return false;
  }
  if (!o.statePath.empty() && !o.presetPath.empty()) {
    *error = "--state and --load-preset both load a stored sound: give one";
    return false;
  }
  if (!o.savePresetPath.empty() && HasExtension(o.savePresetPath, ".fxb")) {
    *error = "--save-preset writes a single program (.fxp); use --save-bank for an .fxb file";
    return false;
  }
  if (o.midiPath.empty() && o.channelMask != 0) {
    *error = "--channel chooses channels of a MIDI file, and none is given";
    return false;
  }
  if (o.midiPath.empty() && o.strict) {
    *error = "--strict is about reading a MIDI file, and none is given";
    return false;
  }
  return true;
}

}  // namespace

bool ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    // "--name=value" carries its value; other options take the next argument.
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasValue = true;
      }
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "--") options->given.push_back(arg);
    if (ApplySwitch(arg, options)) {
      if (hasValue) {
        *error = arg + " takes no value";
        return false;
      }
    } else if (TakesValue(arg)) {
      if (!hasValue) {
        if (i + 1 >= argc) {
          *error = arg + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      if (!SetValued(arg, value, options, error)) return false;
    } else if (arg == "--") {
      for (++i; i < argc; ++i) positional.push_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option '" + arg + "' (see --help)";
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() > 1) {
    *error = "only one MIDI file can be rendered at a time";
    return false;
  }
  if (!positional.empty()) options->midiPath = positional[0];
  return CheckCombinations(*options, error);
}

bool HasExtension(const std::string& path, const std::string& extension) {
  if (path.size() < extension.size()) return false;
  for (size_t i = 0; i < extension.size(); ++i) {
    const char c = path[path.size() - extension.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != extension[i]) return false;
  }
  return true;
}

std::string DefaultOutputPath(const RenderOptions& options) {
  if (options.midiPath.empty()) return "demo.wav";
  std::string base = options.midiPath;
  const size_t slash = base.rfind('/');
  if (slash != std::string::npos) base = base.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
  return base + ".wav";
}

}  // namespace render
}  // namespace morvanta
