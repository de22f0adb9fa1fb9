// morvanta-manual: regenerates the parameter reference and the program list
// in docs/manual.md (--write), or checks that they are current (--check).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/host/VstHost.h"
#include "tools/manual/ManualSections.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "morvanta-manual: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string(argv[1]) != "--check" && std::string(argv[1]) != "--write")) {
    std::fprintf(stderr, "Usage: morvanta-manual --check|--write MANUAL.md PLUGIN.so\n");
    return 2;
  }
  const bool write = std::string(argv[1]) == "--write";
  const std::string path = argv[2];
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail("cannot read '" + path + "'");
  const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  std::string error;
  auto plugin = morvanta::host::PluginInstance::Load(argv[3], &error);
  if (!plugin) return Fail("cannot load plug-in '" + std::string(argv[3]) + "': " + error);
  std::vector<std::string> programs;
  for (int i = 0; i < plugin->NumPrograms(); ++i) programs.push_back(plugin->ProgramName(i));

  std::string missing;
  std::string after = before;
  if (!morvanta::manual::ReplaceSection(&after, "parameters",
                                        morvanta::manual::ParameterSection(&missing)) ||
      !morvanta::manual::ReplaceSection(&after, "programs",
                                        morvanta::manual::ProgramSection(programs))) {
    return Fail("'" + path + "' lacks the generated-section markers");
  }
  if (!missing.empty()) return Fail("no description for: " + missing + " (tools/manual/ParamHelp.cpp)");
  if (write) {
    if (after != before) std::ofstream(path, std::ios::binary) << after;
    return 0;
  }
  if (after != before) {
    return Fail("the generated sections of '" + path + "' are stale; run "
                "`cmake --build build --target manual` and commit the result");
  }
  return 0;
}
