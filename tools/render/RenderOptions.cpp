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

bool ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasValue = true;
      }
    }
    auto takeValue = [&](std::string* out) {
      if (hasValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto noValue = [&]() {
      if (hasValue) *error = arg + " takes no value";
      return !hasValue;
    };
    std::string text;
    if (arg == "-h" || arg == "--help") {
      if (!noValue()) return false;
      options->help = true;
    } else if (arg == "--version") {
      if (!noValue()) return false;
      options->version = true;
    } else if (arg == "-q" || arg == "--quiet") {
      if (!noValue()) return false;
      options->quiet = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!takeValue(&options->outputPath)) return false;
    } else if (arg == "--plugin") {
      if (!takeValue(&options->pluginPath)) return false;
    } else if (arg == "--program") {
      if (!takeValue(&options->program)) return false;
    } else if (arg == "--param") {
      if (!takeValue(&text)) return false;
      const size_t eq = text.rfind('=');
      if (eq == std::string::npos || eq == 0) {
        *error = "--param takes NAME=VALUE, not '" + text + "'";
        return false;
      }
      options->params.emplace_back(text.substr(0, eq), text.substr(eq + 1));
    } else if (arg == "--tempo") {
      if (!takeValue(&text) ||
          !NumberIn(arg, text, 1.0, 999.0, &options->settings.fixedTempo, error)) {
        return false;
      }
    } else if (arg == "--tail") {
      if (!takeValue(&text) ||
          !NumberIn(arg, text, 0.0, 600.0, &options->settings.tailSeconds, error)) {
        return false;
      }
    } else if (arg == "--seconds") {
      if (!takeValue(&text) || !NumberIn(arg, text, 0.001, 24 * 3600.0, &options->seconds, error)) {
        return false;
      }
    } else if (arg == "--sr") {
      if (!takeValue(&text) ||
          !WholeNumberIn(arg, text, 8000, 384000, &options->settings.sampleRate, error)) {
        return false;
      }
    } else if (arg == "--block") {
      if (!takeValue(&text) ||
          !WholeNumberIn(arg, text, 1, 16384, &options->settings.blockSize, error)) {
        return false;
      }
    } else if (arg == "--format") {
      if (!takeValue(&options->sampleFormat)) return false;
    } else if (arg == "--state") {
      if (!takeValue(&options->statePath)) return false;
    } else if (arg == "--save-state") {
      if (!takeValue(&options->saveStatePath)) return false;
    } else if (arg == "--save-bank") {
      if (!takeValue(&options->saveBankPath)) return false;
    } else if (arg == "--list-programs") {
      if (!noValue()) return false;
      options->listPrograms = true;
    } else if (arg == "--list-params") {
      if (!noValue()) return false;
      options->listParams = true;
    } else if (arg == "--normalize") {
      if (!noValue()) return false;
      options->normalize = true;
    } else if (arg == "--double") {
      if (!noValue()) return false;
      options->settings.path = ProcessPath::kDouble;
    } else if (arg == "--accumulate") {
      if (!noValue()) return false;
      options->settings.path = ProcessPath::kAccumulate;
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
