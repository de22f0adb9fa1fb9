// Where the tool finds Morvanta.so when --plugin is not given: the build's
// own plug-in for a tool run from the build tree; otherwise the installed one.
#include "tools/render/PluginLocator.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace morvanta {
namespace render {
namespace {

std::string ExecutableDir() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> DefaultPluginCandidates() {
  const std::string built = MORVANTA_PLUGIN_PATH;
  const std::string exeDir = ExecutableDir();
  std::vector<std::string> candidates;
  if (!exeDir.empty() && RealPath(exeDir) == RealPath(MORVANTA_RENDER_BUILD_DIR)) {
    candidates.push_back(built);
    return candidates;
  }
  if (!exeDir.empty()) {
    candidates.push_back(exeDir + "/../" MORVANTA_VST_SUBDIR "/Morvanta.so");
    const std::string plain = exeDir + "/../lib/vst/Morvanta.so";
    if (plain != candidates.back()) candidates.push_back(plain);
  }
  if (const char* home = getenv("HOME"); home && *home) {
    candidates.push_back(std::string(home) + "/.vst/Morvanta.so");
  }
  candidates.push_back(built);
  return candidates;
}

std::string FindDefaultPlugin(std::vector<std::string>* tried) {
  const std::vector<std::string> candidates = DefaultPluginCandidates();
  for (const std::string& path : candidates) {
    if (IsFile(path)) return std::filesystem::path(path).lexically_normal().string();
  }
  *tried = candidates;
  return "";
}

}  // namespace render
}  // namespace morvanta
