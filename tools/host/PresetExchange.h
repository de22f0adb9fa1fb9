// Imports and exports .fxp/.fxb files with a loaded plug-in, as a host's
// preset menu does: the file's kind decides what is set, and a file made
// for another plug-in is refused before anything changes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/VstHost.h"

namespace morvanta {
namespace host {

// Applies a whole .fxp or .fxb file. A program goes into the current program
// (values and name); a bank replaces the programs and selects the file's
// current one. On failure returns false with a message; a file that fails
// its checks changes nothing.
bool ImportFxFile(PluginInstance& plugin, const std::vector<uint8_t>& bytes, std::string* error);

// The current program as an .fxp, or the bank as an .fxb, around the
// plug-in's own chunk; empty when the plug-in gives no chunk.
std::vector<uint8_t> ExportFxProgram(PluginInstance& plugin);
std::vector<uint8_t> ExportFxBank(PluginInstance& plugin);

}  // namespace host
}  // namespace morvanta
