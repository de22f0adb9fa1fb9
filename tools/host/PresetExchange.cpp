// Import checks every count against the loaded plug-in before it sets a
// single value, so a foreign or mismatched file leaves the sound alone.
#include "tools/host/PresetExchange.h"

#include "tools/host/FxContainer.h"

namespace morvanta {
namespace host {
namespace {

void SetProgramName(PluginInstance& plugin, const std::string& name) {
  std::string copy = name.substr(0, kFxProgramNameBytes - 1);
  plugin.Dispatch(vst::effSetProgramName, 0, 0, &copy[0]);
}

bool CheckParams(PluginInstance& plugin, const FxProgram& program, std::string* error) {
  if (static_cast<int>(program.params.size()) == plugin.NumParams()) return true;
  *error = "it holds " + std::to_string(program.params.size()) + " parameter values; " +
           plugin.EffectName() + " has " + std::to_string(plugin.NumParams());
  return false;
}

void ApplyParams(PluginInstance& plugin, const FxProgram& program) {
  for (size_t i = 0; i < program.params.size(); ++i) {
    plugin.SetParameter(static_cast<int>(i), program.params[i]);
  }
  SetProgramName(plugin, program.name);
}

bool ImportProgram(PluginInstance& plugin, const FxProgram& program, std::string* error) {
  if (program.opaque) {
    if (!plugin.SetChunk(program.chunk, false)) {
      *error = "the plug-in refused the program chunk it holds";
      return false;
    }
    if (!program.name.empty()) SetProgramName(plugin, program.name);
    return true;
  }
  if (!CheckParams(plugin, program, error)) return false;
  ApplyParams(plugin, program);
  return true;
}

bool ImportBank(PluginInstance& plugin, const FxFile& file, std::string* error) {
  if (file.opaque) {
    if (!plugin.SetChunk(file.chunk, true)) {
      *error = "the plug-in refused the bank chunk it holds";
      return false;
    }
  } else {
    if (static_cast<int>(file.programs.size()) > plugin.NumPrograms()) {
      *error = "it holds " + std::to_string(file.programs.size()) + " programs; " +
               plugin.EffectName() + " has " + std::to_string(plugin.NumPrograms());
      return false;
    }
    for (const FxProgram& program : file.programs) {
      if (program.opaque) {
        *error = "a parameter bank holds an opaque program";
        return false;
      }
      if (!CheckParams(plugin, program, error)) return false;
    }
    for (size_t i = 0; i < file.programs.size(); ++i) {
      plugin.SetProgram(static_cast<int>(i));
      ApplyParams(plugin, file.programs[i]);
    }
  }
  const int current = file.currentProgram;
  if (current >= 0 && current < plugin.NumPrograms()) {
    plugin.SetProgram(current);
  } else if (!file.opaque && !file.programs.empty()) {
    plugin.SetProgram(0);
  }
  return true;
}

}  // namespace

bool ImportFxFile(PluginInstance& plugin, const std::vector<uint8_t>& bytes, std::string* error) {
  FxFile file;
  if (!ReadFxFile(bytes, &file, error)) return false;
  const AEffect* effect = plugin.Effect();
  if (effect == nullptr || file.pluginId != effect->uniqueID) {
    *error = "it was saved by another plug-in (id '" + FourCcText(file.pluginId) + "'; " +
             plugin.EffectName() + " is '" + FourCcText(effect ? effect->uniqueID : 0) + "')";
    return false;
  }
  // A chunk the plug-in refuses may still have been applied in part: the
  // programs as they were are put back.
  const std::vector<uint8_t> before = plugin.GetChunk(true);
  const int program = plugin.GetProgram();
  const bool ok = file.bank ? ImportBank(plugin, file, error) : ImportProgram(plugin, file.program, error);
  if (!ok && !before.empty()) {
    plugin.SetChunk(before, true);
    plugin.SetProgram(program);
  }
  return ok;
}

std::vector<uint8_t> ExportFxProgram(PluginInstance& plugin) {
  const std::vector<uint8_t> chunk = plugin.GetChunk(false);
  const AEffect* effect = plugin.Effect();
  if (chunk.empty() || effect == nullptr) return {};
  return WriteFxProgramChunk(effect->uniqueID, effect->version, effect->numParams,
                             plugin.ProgramName(plugin.GetProgram()), chunk);
}

std::vector<uint8_t> ExportFxBank(PluginInstance& plugin) {
  const std::vector<uint8_t> chunk = plugin.GetChunk(true);
  const AEffect* effect = plugin.Effect();
  if (chunk.empty() || effect == nullptr) return {};
  return WriteFxBankChunk(effect->uniqueID, effect->version, effect->numPrograms,
                          plugin.GetProgram(), chunk);
}

}  // namespace host
}  // namespace morvanta
