// The command line of morvanta-render: what it accepts, its help text, and
// the checks made before anything is loaded.
#include "tools/render/RenderOptions.h"

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
      "--program, --state or --param chooses the sound.\n"
      "\n"
      "Output:\n"
      "  -o, --output FILE      .wav or .flac (default: demo.wav, or the MIDI file's\n"
      "                         name with .wav, in the current folder)\n"
      "  --format F             pcm16, pcm24 (default) or float (WAV only)\n"
      "  --normalize            scale the result so its peak is at -1 dBFS\n"
      "  --sr HZ                sample rate (default 44100)\n"
      "  --block FRAMES         frames per process call (default 512)\n"
      "  --tail SECONDS         after the last event, render until the output falls\n"
      "                         below -90 dBFS, at most this long (default 10)\n"
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
      "  --state FILE           load a program or bank chunk saved with --save-state\n"
      "                         or --save-bank (a bank is loaded before --program)\n"
      "  --save-state FILE      save the sound as set up (program chunk)\n"
      "  --save-bank FILE       save all programs (bank chunk)\n"
      "Information:\n"
      "  --list-programs        print the program list and exit\n"
      "  --list-params          print the parameters with their values and exit\n"
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
  } else {
    return false;
  }
  return true;
}

constexpr const char* kValuedOptions[] = {
    "-o",     "--output", "--plugin", "--program", "--param", "--tempo",      "--tail",
    "--seconds", "--sr",  "--block",  "--format",  "--state", "--save-state", "--save-bank"};

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
