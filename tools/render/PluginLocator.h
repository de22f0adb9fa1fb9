// Where the tool finds Morvanta.so when --plugin is not given: the build's
// own plug-in for a tool run from the build tree; otherwise the installed one.
#pragma once

#include <string>
#include <vector>

namespace morvanta {
namespace render {

// Candidate paths in the order they are tried.
std::vector<std::string> DefaultPluginCandidates();
// The first candidate that exists, or "" (then *tried lists them all).
std::string FindDefaultPlugin(std::vector<std::string>* tried);

}  // namespace render
}  // namespace morvanta
