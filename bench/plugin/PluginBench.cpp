// morvanta-plugin-bench: loads any VST2 instrument .so through our host
// library and times a held chord through the host interface.
//
//   morvanta-plugin-bench PLUGIN.so [--voices N] [--seconds S] [--rate HZ]
//       [--block FRAMES] [--program P] [--param INDEX=VALUE | --param NAME=VALUE]...
//       [--runs N] [--memory]
//
// Each run builds a fresh instance, sends an N-note chord at the first frame
// and renders S seconds with processReplacing (single precision, which every
// peer supports). It prints the process CPU seconds spent per second of audio
// (the median of the runs; helper threads a plug-in starts are counted too).
// --memory also reports the resident growth of one more instance after a
// full render and how long that second instance took to construct.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/host/VstHost.h"

namespace {

using morvanta::host::MidiEvent;
using morvanta::host::PluginInstance;

struct ParamSetting {
  std::string key;  // an index (all digits) or an exact parameter name
  float value = 0.0f;
};

struct Options {
  std::string plugin;
  int voices = 16;
  double seconds = 20.0;
  double rate = 44100.0;
  int block = 512;
  int program = -1;
  int runs = 3;
  bool memory = false;
  std::vector<ParamSetting> params;
};

void Usage() {
  std::fprintf(stderr,
               "usage: morvanta-plugin-bench PLUGIN.so [--voices N] [--seconds S] [--rate HZ]\n"
               "       [--block FRAMES] [--program P] [--param INDEX=VALUE|NAME=VALUE]...\n"
               "       [--runs N] [--memory]\n"
               "VALUE is the host's normalised 0..1 value.\n");
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&](const char** out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (a == "--memory") {
      o->memory = true;
    } else if (a == "--voices" && next(&v)) {
      o->voices = std::atoi(v);
    } else if (a == "--seconds" && next(&v)) {
      o->seconds = std::atof(v);
    } else if (a == "--rate" && next(&v)) {
      o->rate = std::atof(v);
    } else if (a == "--block" && next(&v)) {
      o->block = std::atoi(v);
    } else if (a == "--program" && next(&v)) {
      o->program = std::atoi(v);
    } else if (a == "--runs" && next(&v)) {
      o->runs = std::atoi(v);
    } else if (a == "--param" && next(&v)) {
      const std::string s = v;
      const size_t eq = s.rfind('=');
      if (eq == std::string::npos || eq == 0) return false;
      o->params.push_back({s.substr(0, eq), static_cast<float>(std::atof(s.c_str() + eq + 1))});
    } else if (!a.empty() && a[0] != '-' && o->plugin.empty()) {
      o->plugin = a;
    } else {
      return false;
    }
  }
  return !o->plugin.empty() && o->voices >= 1 && o->voices <= 128 && o->seconds > 0.0 &&
         o->rate >= 8000.0 && o->rate <= 768000.0 && o->block >= 1 && o->block <= 65536 &&
         o->runs >= 1;
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

long ResidentKiB() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  long size = 0, resident = 0;
  const int n = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return n == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::unique_ptr<PluginInstance> Open(const Options& o) {
  std::string error;
  std::unique_ptr<PluginInstance> p = PluginInstance::Load(o.plugin, &error);
  if (!p) {
    std::fprintf(stderr, "morvanta-plugin-bench: %s\n", error.c_str());
    return p;
  }
  p->SetTempo(120.0);
  p->SetSampleRate(o.rate);
  p->SetBlockSize(o.block);
  p->Resume();
  if (o.program >= 0) p->SetProgram(o.program);
  for (const ParamSetting& s : o.params) {
    const int index = AllDigits(s.key) ? std::atoi(s.key.c_str()) : p->FindParam(s.key);
    if (index < 0 || index >= p->NumParams()) {
      std::fprintf(stderr, "morvanta-plugin-bench: no parameter \"%s\"\n", s.key.c_str());
      return nullptr;
    }
    p->SetParameter(index, s.value);
  }
  return p;
}

// Renders the held chord; returns the process CPU seconds it took.
double RenderChord(PluginInstance& p, const Options& o) {
  std::vector<float> left(static_cast<size_t>(o.block)), right(static_cast<size_t>(o.block));
  float* outs[2] = {left.data(), right.data()};
  std::vector<MidiEvent> chord;
  for (int n = 0; n < o.voices; ++n) {
    // A chord spread over four octaves from C2, two semitones apart.
    chord.push_back(MidiEvent{0, {0x90, static_cast<uint8_t>(36 + (2 * n) % 92), 100}});
  }
  const long total = static_cast<long>(o.seconds * o.rate);
  const double start = ProcessCpuSeconds();
  p.SendMidi(chord);
  for (long done = 0; done < total; done += o.block) {
    const int frames = static_cast<int>(std::min<long>(o.block, total - done));
    p.ProcessFloat(outs, frames);
  }
  return ProcessCpuSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    Usage();
    return 2;
  }
  std::vector<double> perSecond;
  for (int r = 0; r < o.runs; ++r) {
    std::unique_ptr<PluginInstance> p = Open(o);
    if (!p) return 1;
    perSecond.push_back(RenderChord(*p, o) / o.seconds);
  }
  std::sort(perSecond.begin(), perSecond.end());
  std::printf("cpu_s_per_audio_s %.5f\n", perSecond[perSecond.size() / 2]);

  if (o.memory) {
    // The first instance keeps the library and its shared tables mapped, so
    // the second shows what one more instance costs.
    std::unique_ptr<PluginInstance> first = Open(o);
    if (!first) return 1;
    RenderChord(*first, o);
    const long before = ResidentKiB();
    const auto t0 = std::chrono::steady_clock::now();
    std::unique_ptr<PluginInstance> second = Open(o);
    const auto t1 = std::chrono::steady_clock::now();
    if (!second) return 1;
    RenderChord(*second, o);
    const long after = ResidentKiB();
    std::printf("construct_ms %.2f\n", std::chrono::duration<double, std::milli>(t1 - t0).count());
    std::printf("resident_growth_mib %.1f\n", (after - before) / 1024.0);
  }
  return 0;
}
