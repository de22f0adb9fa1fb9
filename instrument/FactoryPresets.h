// The factory program set: "init" from the current (default) values, then the
// 200 designed programs, filled into the core's preset slots in order.
#pragma once

#include <initializer_list>

#include "plugin/PluginCore.h"

namespace morvanta {

constexpr int kNumFactoryRows = 200;  // programs 1..200; program 0 is "init"

// One parameter that differs from "init".
struct PresetOverride {
  int index;
  double value;
};

// One designed program: its name and the values that differ from "init".
struct FactoryPresetRow {
  const char* name;
  std::initializer_list<PresetOverride> overrides;
};

// The table, in program order (kNumFactoryRows rows, programs 1..200).
const FactoryPresetRow* FactoryPresetRows();

// Expands row `row` (0 = program 1) into the 240 values it stores: the
// parameter defaults, then the row's overrides, with integer parameters
// rounded to whole numbers and the edit-history buttons at 0. Returns false
// (and leaves `values` untouched) for a row outside the table.
bool ExpandFactoryPreset(int row, double* values, int count);

// Fills the core's free preset slots: "init" from the live values (call it
// while every parameter still holds its default), then the 200 programs.
void BuildFactoryPresets(PluginCore& core);

}  // namespace morvanta
