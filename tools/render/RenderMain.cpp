// morvanta-render: loads Morvanta.so through the project's VST2 host library
// and renders a MIDI file or the built-in demo phrase into an audio file.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/Facts.h"
#include "tools/host/FxContainer.h"
#include "tools/host/PresetExchange.h"
#include "tools/host/VstHost.h"
#include "tools/render/AudioFileWriter.h"
#include "tools/render/DemoPhrase.h"
#include "tools/render/MidiFileReader.h"
#include "tools/render/OfflineRenderer.h"
#include "tools/render/OutputFile.h"
#include "tools/render/PluginLocator.h"
#include "tools/render/RenderOptions.h"

namespace morvanta {
namespace render {
namespace {

// The render is kept in memory as float samples until it is written; this
// also keeps a float WAV file within its 4 GiB limit.
constexpr double kMaxRenderBytes = 4.0 * 1024 * 1024 * 1024 - 1024 * 1024;

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "morvanta-render: %s\n", message.c_str());
  return code;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  const size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

bool IsIndex(const std::string& s) {
  return !s.empty() && s.size() < 6 &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Names that contain the text, to suggest after a miss.
std::string Suggestions(const std::vector<std::string>& names, const std::string& wanted) {
  const std::string w = Lower(Trim(wanted));
  std::string out;
  int count = 0;
  for (const std::string& name : names) {
    if (w.empty() || name.empty() || Lower(name).find(w) == std::string::npos) continue;
    out += (count ? ", '" : "; did you mean '") + name + "'";
    if (++count == 5) break;
  }
  return out;
}

int FindByName(const std::vector<std::string>& names, const std::string& wanted) {
  const std::string w = Lower(Trim(wanted));
  for (size_t i = 0; i < names.size(); ++i) {
    if (!names[i].empty() && Lower(names[i]) == w) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> ProgramNames(host::PluginInstance* plugin) {
  std::vector<std::string> names;
  for (int i = 0; i < plugin->NumPrograms(); ++i) names.push_back(plugin->ProgramName(i));
  return names;
}

std::vector<std::string> ParamNames(host::PluginInstance* plugin) {
  std::vector<std::string> names;
  for (int i = 0; i < plugin->NumParams(); ++i) names.push_back(plugin->ParamName(i));
  return names;
}

bool SelectProgram(host::PluginInstance* plugin, const std::string& wanted, std::string* error) {
  const std::vector<std::string> names = ProgramNames(plugin);
  int index = -1;
  if (IsIndex(wanted)) {
    index = std::atoi(wanted.c_str());
    if (index >= static_cast<int>(names.size())) {
      *error = "there is no program " + wanted + " (programs are 0 to " +
               std::to_string(names.size() - 1) + ")";
      return false;
    }
  } else {
    index = FindByName(names, wanted);
    if (index < 0) {
      *error = "unknown program '" + wanted + "'" + Suggestions(names, wanted) +
               " (see --list-programs)";
      return false;
    }
  }
  plugin->SetProgram(index);
  if (plugin->GetProgram() != index) {
    *error = "the plug-in did not switch to program " + std::to_string(index);
    return false;
  }
  return true;
}

// The leading number of a value text; what follows may only be the unit.
bool SplitValue(const std::string& text, const std::string& label, std::string* number) {
  const std::string t = Trim(text);
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || !std::isfinite(v)) return false;
  const std::string rest = Lower(Trim(std::string(end)));
  if (!rest.empty() && rest != Lower(Trim(label))) return false;
  *number = t.substr(0, static_cast<size_t>(end - t.c_str()));
  return true;
}

bool SetParam(host::PluginInstance* plugin, const std::string& name, const std::string& valueText,
              std::string* error, std::string* note) {
  const std::vector<std::string> names = ParamNames(plugin);
  int index = -1;
  if (IsIndex(Trim(name))) {
    index = std::atoi(Trim(name).c_str());
    if (index >= static_cast<int>(names.size()) || names[index].empty()) {
      *error = "there is no parameter " + Trim(name) + " (see --list-params)";
      return false;
    }
  } else {
    index = FindByName(names, name);
    if (index < 0) {
      *error = "unknown parameter '" + Trim(name) + "'" + Suggestions(names, name) +
               " (see --list-params)";
      return false;
    }
  }
  const std::string label = plugin->ParamLabel(index);
  std::string number;
  if (!SplitValue(valueText, label, &number)) {
    *error = "'" + valueText + "' is not a value for '" + names[index] + "' (a number" +
             (label.empty() ? "" : " in " + label) + ")";
    return false;
  }
  if (!plugin->SetParameterText(index, number)) {
    *error = "the plug-in refused '" + number + "' for '" + names[index] + "'";
    return false;
  }
  const std::string shown = Trim(plugin->ParamDisplay(index));
  char* end = nullptr;
  const double asked = std::strtod(number.c_str(), nullptr);
  const double got = std::strtod(shown.c_str(), &end);
  const float normalised = plugin->GetParameter(index);
  const bool atAnEnd = normalised <= 0.0f || normalised >= 1.0f;
  if (atAnEnd && end != shown.c_str() &&
      std::fabs(got - asked) > 0.0051 * std::max(1.0, std::fabs(asked))) {
    *note = "'" + names[index] + "' takes " + number + " as " + shown +
            (label.empty() ? "" : " " + label) + " (out of its range)";
  }
  return true;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open state file '" + path + "': " + std::strerror(errno);
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read state file '" + path + "'";
    return false;
  }
  return true;
}

// A program chunk holds one double per parameter behind an optional
// header; anything else is taken as a bank.
bool IsProgramChunk(const std::vector<uint8_t>& bytes) {
  return bytes.size() == size_t{kProgramValuesBytes} || bytes.size() == size_t{kProgramChunkBytes};
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, const char* what,
                std::string* error) {
  if (bytes.empty()) {
    *error = std::string("the plug-in returned no ") + what;
    return false;
  }
  OutputFile file;
  return file.Open(path, error) && file.WriteAll(bytes, error) && file.Commit(error);
}

bool SaveStoredSound(host::PluginInstance* plugin, const RenderOptions& options, std::string* error) {
  if (!options.savePresetPath.empty() &&
      !WriteBytes(options.savePresetPath, host::ExportFxProgram(*plugin), "program chunk", error)) {
    return false;
  }
  if (!options.saveStatePath.empty() &&
      !WriteBytes(options.saveStatePath, plugin->GetChunk(false), "program chunk", error)) {
    return false;
  }
  if (!options.saveBankPath.empty()) {
    const bool fxb = HasExtension(options.saveBankPath, ".fxb");
    if (!WriteBytes(options.saveBankPath, fxb ? host::ExportFxBank(*plugin) : plugin->GetChunk(true),
                    "bank chunk", error)) {
      return false;
    }
  }
  return true;
}

void ListPrograms(host::PluginInstance* plugin) {
  const std::vector<std::string> names = ProgramNames(plugin);
  const size_t current = static_cast<size_t>(plugin->GetProgram());
  for (size_t i = 0; i < names.size(); ++i) {
    std::printf("%3zu %s %s\n", i, i == current ? "*" : " ", names[i].c_str());
  }
}

void ListParams(host::PluginInstance* plugin) {
  for (int i = 0; i < plugin->NumParams(); ++i) {
    const std::string name = plugin->ParamName(i);
    if (name.empty()) continue;
    const std::string label = plugin->ParamLabel(i);
    std::printf("%3d  %-26s %s%s%s\n", i, name.c_str(), plugin->ParamDisplay(i).c_str(),
                label.empty() ? "" : " ", label.c_str());
  }
}

class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  void Update(int64_t done, int64_t total, int rate) {
    if (!enabled_ || total <= 0) return;
    const int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total));
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\rRendering [%.*s%*s] %3d%%  %.1f s", filled,
                 "##############################", kWidth - filled, "", percent,
                 static_cast<double>(done) / rate);
    std::fflush(stderr);
  }
  void Finish() {
    if (enabled_ && shown_ >= 0) std::fprintf(stderr, "\r\033[K");
  }

 private:
  bool enabled_;
  int shown_ = -1;
};

double PeakOf(const std::vector<float>& samples) {
  float peak = 0.0f;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  return peak;
}

std::string Decibels(double amplitude) {
  if (amplitude <= 0.0) return "-inf dBFS";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(amplitude));
  return text;
}

// The MIDI file (or the demo phrase) as it will be played: the chosen
// channels, cut or ended as asked, with everything still held released.
bool ReadPerformance(const RenderOptions& options, NoteSequence* sequence, std::string* error) {
  if (options.midiPath.empty()) {
    *sequence = MakeDemoPhrase();
  } else {
    std::string damage;
    if (!ReadMidiFile(options.midiPath, sequence, error, &damage)) return false;
    if (!damage.empty() && options.strict) {
      *error = "cannot read MIDI file: " + damage + " (--strict)";
      return false;
    }
    if (!damage.empty()) {
      std::fprintf(stderr, "morvanta-render: warning: %s; playing what was read before it "
                   "(--strict refuses the file)\n", damage.c_str());
    }
    if (options.channelMask != 0) {
      sequence->KeepChannels(options.channelMask);
      if (sequence->Messages().empty()) {
        *error = "nothing to render: the chosen --channel has no events in '" +
                 options.midiPath + "'";
        return false;
      }
    }
  }
  if (options.seconds > 0.0) {
    sequence->CutAt(options.seconds);
  } else {
    sequence->ReleaseAtEnd();
  }
  if (sequence->EndSeconds() <= 0.0) {
    *error = "nothing to render: the MIDI file has no events (use --seconds)";
    return false;
  }
  return true;
}

bool IsFxFile(const std::vector<uint8_t>& bytes, bool* bank, std::string* error) {
  host::FxFile file;
  if (!host::ReadFxFile(bytes, &file, error)) return false;
  *bank = file.bank;
  return true;
}

// What one invocation works on, filled step by step.
struct RenderJob {
  RenderOptions options;
  NoteSequence sequence;
  OutputFile output;
  AudioFormat format;
  std::string outputPath;
  std::string pluginPath;
  std::unique_ptr<host::PluginInstance> plugin;
  bool listing = false;
};

// A step's answer when the run goes on.
constexpr int kContinue = -1;

// Everything that can be checked without the plug-in comes first, so a typo
// fails before a long render.
int PrepareInput(RenderJob* job) {
  const RenderOptions& options = job->options;
  std::string error;
  job->outputPath = options.outputPath.empty() ? DefaultOutputPath(options) : options.outputPath;
  // A listing reads the MIDI file too: it shows what this very render would use.
  if (!ReadPerformance(options, &job->sequence, &error)) return Fail(kExitFailure, error);
  if (job->listing) return kContinue;
  if (!ResolveAudioFormat(job->outputPath, options.sampleFormat, &job->format, &error)) {
    return Fail(kExitUsage, error);
  }
  const double seconds = job->sequence.EndSeconds() + options.settings.tailSeconds;
  if (seconds * options.settings.sampleRate * 2 * sizeof(float) > kMaxRenderBytes) {
    char hours[64];
    std::snprintf(hours, sizeof hours, "%.1f hours", seconds / 3600.0);
    return Fail(kExitUsage, std::string("too long to render in one go: ") + hours +
                                " (use --seconds, or a lower --sr)");
  }
  if (!job->output.Open(job->outputPath, &error)) return Fail(kExitFailure, error);
  return kContinue;
}

// Finds and loads the plug-in and sets up its rate, block size and tempo.
int LoadPlugin(RenderJob* job) {
  RenderOptions& options = job->options;
  std::string error;
  job->pluginPath = options.pluginPath;
  if (job->pluginPath.empty()) {
    std::vector<std::string> tried;
    job->pluginPath = FindDefaultPlugin(&tried);
    if (job->pluginPath.empty()) {
      std::string list;
      for (const std::string& t : tried) list += "\n  " + t;
      return Fail(kExitFailure, "cannot find Morvanta.so; looked in:" + list +
                                    "\nuse --plugin PATH");
    }
  }
  job->plugin = host::PluginInstance::Load(job->pluginPath, &error);
  if (!job->plugin) {
    return Fail(kExitFailure, "cannot load plug-in '" + job->pluginPath + "': " + error);
  }
  host::PluginInstance& plugin = *job->plugin;
  // The process ends after the render: unloading the plug-in would only
  // unload the drawing libraries it brought in (pixman), whose start-up
  // tables the sanitizer then reports as lost.
  plugin.KeepLoadedAfterClose();
  plugin.SetProductString("morvanta-render");
  plugin.SetTempo(options.settings.fixedTempo > 0.0 ? options.settings.fixedTempo
                                                    : job->sequence.TempoAt(0.0));
  const int32_t flags = plugin.Effect()->flags;
  if (options.settings.path == ProcessPath::kDouble && !(flags & vst::effFlagsCanDoubleReplacing)) {
    return Fail(kExitFailure, "the plug-in has no 64-bit process call");
  }
  if (options.settings.path == ProcessPath::kFloat && !(flags & vst::effFlagsCanReplacing)) {
    options.settings.path = ProcessPath::kAccumulate;
  }
  plugin.SetSampleRate(options.settings.sampleRate);
  plugin.SetBlockSize(options.settings.blockSize);
  return kContinue;
}

// The sound: a stored sound (a bank before --program, a program after it),
// a program by number or name, then single parameters; the demo sound when
// nothing is chosen.
int ApplySound(RenderJob* job) {
  RenderOptions& options = job->options;
  host::PluginInstance* plugin = job->plugin.get();
  std::string error;
  std::vector<uint8_t> state;
  const bool fx = !options.presetPath.empty();
  const std::string& statePath = fx ? options.presetPath : options.statePath;
  bool stateIsBank = false;
  if (!statePath.empty()) {
    if (!ReadFile(statePath, &state, &error)) return Fail(kExitFailure, error);
    if (fx && !IsFxFile(state, &stateIsBank, &error)) {
      return Fail(kExitFailure, "cannot load '" + statePath + "': " + error);
    }
    if (!fx) stateIsBank = !IsProgramChunk(state);
  }
  auto load = [&]() {
    if (fx) {
      if (host::ImportFxFile(*plugin, state, &error)) return true;
      error = "cannot load '" + statePath + "': " + error;
      return false;
    }
    if (plugin->SetChunk(state, stateIsBank)) return true;
    error = "'" + statePath + "' is not a Morvanta " + (stateIsBank ? "program or bank" : "program");
    return false;
  };
  if (stateIsBank && !load()) return Fail(kExitFailure, error);
  if (!options.program.empty() && !SelectProgram(plugin, options.program, &error)) {
    return Fail(kExitUsage, error);
  }
  if (!statePath.empty() && !stateIsBank && !load()) return Fail(kExitFailure, error);
  if (options.midiPath.empty() && options.program.empty() && statePath.empty() &&
      options.params.empty()) {
    options.params = DemoSound();
  }
  for (const auto& param : options.params) {
    std::string note;
    if (!SetParam(plugin, param.first, param.second, &error, &note)) return Fail(kExitUsage, error);
    if (!note.empty()) std::fprintf(stderr, "morvanta-render: note: %s\n", note.c_str());
  }
  return kContinue;
}

// Saves the sound as asked, then lists it (and stops) when asked.
int ListOrSave(RenderJob* job) {
  const RenderOptions& options = job->options;
  host::PluginInstance* plugin = job->plugin.get();
  std::string error;
  if (!SaveStoredSound(plugin, options, &error)) return Fail(kExitFailure, error);
  if (!job->listing) return kContinue;
  if (options.listPrograms) ListPrograms(plugin);
  if (options.listParams) ListParams(plugin);
  if (options.midiPath.empty() && options.params == DemoSound()) {
    std::fprintf(stderr, "morvanta-render: note: without a MIDI file this is the built-in "
                 "demo's sound; a MIDI file plays the program as chosen\n");
  }
  return kExitOk;
}

// Renders the sequence, then normalises or warns about clipping and writes
// the file.
int RenderAndWrite(RenderJob* job) {
  const RenderOptions& options = job->options;
  std::string error;
  ProgressBar bar(!options.quiet && isatty(STDERR_FILENO));
  const int rate = options.settings.sampleRate;
  RenderResult result;
  const std::clock_t cpuStart = std::clock();
  const auto wallStart = std::chrono::steady_clock::now();
  job->plugin->Resume();
  OfflineRenderer renderer;
  const bool rendered = renderer.Render(
      job->plugin.get(), job->sequence, options.settings,
      [&](int64_t done, int64_t total) { bar.Update(done, total, rate); }, &gStop, &result,
      &error);
  job->plugin->Suspend();
  const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  bar.Finish();
  if (result.interrupted) return Fail(kExitInterrupted, "interrupted; nothing written");
  if (!rendered) return Fail(kExitFailure, error);

  if (result.nonFiniteSamples > 0) {
    std::fprintf(stderr, "morvanta-render: warning: the plug-in produced %lld non-finite samples, "
                 "written as silence\n", static_cast<long long>(result.nonFiniteSamples));
  }
  const double peak = PeakOf(result.interleaved);
  double gain = 1.0;
  if (options.normalize && peak > 0.0) {
    gain = std::pow(10.0, -1.0 / 20.0) / peak;
    for (float& s : result.interleaved) s = static_cast<float>(s * gain);
  } else if (!job->format.isFloat && peak > 1.0) {
    std::fprintf(stderr, "morvanta-render: warning: the output peaks at %s and is clipped; "
                 "use --normalize or --format float\n", Decibels(peak).c_str());
  }
  if (!WriteAudioFile(&job->output, job->format, rate, result.channels, result.interleaved, &error) ||
      !job->output.Commit(&error)) {
    return Fail(kExitFailure, error);
  }
  if (!options.quiet) {
    const double audioSeconds = static_cast<double>(result.frames) / rate;
    std::fprintf(stderr, "Rendered with %s\n", job->pluginPath.c_str());
    std::fprintf(stderr,
                 "Wrote %s: %.2f s at %d Hz, peak %s%s; rendered in %.2f s "
                 "(%.3f CPU s per audio s)\n",
                 job->outputPath.c_str(), audioSeconds, rate, Decibels(peak * gain).c_str(),
                 options.normalize ? " (normalized)" : "", wallSeconds,
                 audioSeconds > 0 ? cpuSeconds / audioSeconds : 0.0);
  }
  return kExitOk;
}

int Run(int argc, char** argv) {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  RenderJob job;
  std::string error;
  if (!ParseRenderOptions(argc, argv, &job.options, &error)) return Fail(kExitUsage, error);
  if (job.options.help) {
    std::fputs(RenderUsage().c_str(), stdout);
    return kExitOk;
  }
  if (job.options.version) {
    std::printf("morvanta-render %s\n", kVersionString);
    return kExitOk;
  }
  job.listing = job.options.listPrograms || job.options.listParams;
  for (int (*step)(RenderJob*) : {PrepareInput, LoadPlugin, ApplySound, ListOrSave}) {
    const int code = step(&job);
    if (code != kContinue) return code;
  }
  return RenderAndWrite(&job);
}

}  // namespace
}  // namespace render
}  // namespace morvanta

int main(int argc, char** argv) {
  try {
    return morvanta::render::Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return morvanta::render::Fail(morvanta::render::kExitFailure, "out of memory; nothing written");
  } catch (const std::exception& e) {
    return morvanta::render::Fail(morvanta::render::kExitFailure, e.what());
  }
}
