// morvanta-golden: records the golden outputs of the built plug-in, or checks
// the plug-in against them.
//
//   morvanta-golden --write tests/golden                  # every case
//   morvanta-golden --write tests/golden --only 'random-*'
//   morvanta-golden --check tests/golden [--only PATTERN] [--simd TARGET]
//   morvanta-golden --list
//
// --simd limits the plug-in's vector kernels to one target (AVX2, SSE4, ...;
// the processor's best when not given).
#include <cstdio>
#include <cstring>
#include <string>

#include "dsp/SimdDispatch.h"
#include "tools/golden/GoldenRecorder.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: morvanta-golden (--write DIR | --check DIR | --list) [--only PATTERN] "
               "[--plugin PATH] [--simd TARGET]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace morvanta::golden;
  std::string mode, dir, pattern = "*", plugin = MORVANTA_PLUGIN_PATH, target;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if ((a == "--write" || a == "--check") && hasValue) {
      mode = a.substr(2);
      dir = argv[++i];
    } else if (a == "--list") {
      mode = "list";
    } else if (a == "--only" && hasValue) {
      pattern = argv[++i];
    } else if (a == "--plugin" && hasValue) {
      plugin = argv[++i];
    } else if (a == "--simd" && hasValue) {
      target = argv[++i];
    } else {
      return Usage();
    }
  }
  if (mode.empty()) return Usage();
  if (!target.empty() && !morvanta::ForceSimdTarget(target)) {
    std::fprintf(stderr, "no SIMD target %s here; available:", target.c_str());
    for (const std::string& t : morvanta::SimdTargetsAvailable()) std::fprintf(stderr, " %s", t.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const std::vector<std::string> cases = CasesMatching(pattern);
  if (cases.empty()) {
    std::fprintf(stderr, "no case matches %s\n", pattern.c_str());
    return 1;
  }
  int failures = 0;
  for (const std::string& name : cases) {
    if (mode == "list") {
      std::printf("%s\n", name.c_str());
      continue;
    }
    Recording rec;
    std::string error;
    if (!RecordCase(plugin, name, &rec, &error)) {
      std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
      return 1;
    }
    if (mode == "write") {
      if (!WriteRecording(dir, rec, &error)) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
        return 1;
      }
      std::printf("wrote %s\n", name.c_str());
    } else {
      std::string report;
      double largest = 0.0;
      const bool ok = CheckRecording(dir, rec, kGoldenLimitDb, &report, &largest);
      if (rec.audio.empty()) {
        std::printf("%s %s\n%s", ok ? "ok  " : "FAIL", name.c_str(), report.c_str());
      } else {
        std::printf("%s %s (largest difference %.1f dB)\n%s", ok ? "ok  " : "FAIL", name.c_str(),
                    largest, report.c_str());
      }
      if (!ok) ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
