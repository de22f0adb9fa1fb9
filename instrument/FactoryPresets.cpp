#include "instrument/FactoryPresets.h"

#include <cmath>

#include "instrument/ParamTable.h"

namespace morvanta {
namespace {

// Family members by their 1-based number, as the table writes them.
constexpr int H(int n) { return kHarmonics1 + n - 1; }
constexpr int P(int n) { return kArpPitch1 + n - 1; }
constexpr int S(int n) { return kArpShape1 + n - 1; }
constexpr int M(int n) { return kArpMod1 + n - 1; }

constexpr FactoryPresetRow kRows[] = {
#include "instrument/FactoryPresetTable.inc"
};

static_assert(sizeof kRows / sizeof kRows[0] == kNumFactoryRows,
              "the factory table holds programs 1..200");

}  // namespace

const FactoryPresetRow* FactoryPresetRows() { return kRows; }

bool ExpandFactoryPreset(int row, double* values, int count) {
  if (row < 0 || row >= kNumFactoryRows || values == nullptr || count < kNumParams) return false;
  for (int i = 0; i < kNumParams; ++i) {
    const ParamDef& d = ParamDefAt(i);
    values[i] = d.kind == ParameterKind::None ? 0.0 : d.def;
  }
  for (const PresetOverride& o : kRows[row].overrides) {
    if (o.index < 0 || o.index >= kNumParams) continue;
    values[o.index] = o.value;
  }
  for (int i = 0; i < kNumParams; ++i) {
    const ParameterKind kind = ParamDefAt(i).kind;
    if (kind == ParameterKind::Bool || kind == ParameterKind::Int || kind == ParameterKind::Enum) {
      values[i] = std::round(values[i]);
    }
  }
  for (int i = kNumSoundParams; i < kNumParams; ++i) values[i] = 0.0;
  return true;
}

void BuildFactoryPresets(PluginCore& core) {
  core.AddPresetFromCurrent("init");
  double values[kNumParams];
  for (int row = 0; row < kNumFactoryRows; ++row) {
    if (ExpandFactoryPreset(row, values, kNumParams)) core.AddPreset(kRows[row].name, values);
  }
}

}  // namespace morvanta
