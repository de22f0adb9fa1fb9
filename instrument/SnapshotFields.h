// Where each parameter lives in the ParamSnapshot and how its value is
// converted into the engine's unit (and back).
#pragma once

#include <cstdint>

#include "engine/ParamSnapshot.h"

namespace morvanta {

enum class FieldConversion {
  None,          // no snapshot field (edit-history buttons)
  Percent,       // value / 100
  Hundredth,     // value * 0.01 (harmonic levels)
  AsIs,          // the double unchanged
  Truncated,     // toward zero, into an int32
  WholeDouble,   // toward zero, held as a double ("Pitch")
  Bool,          // value != 0 (NaN counts as true)
  VoiceMode,     // 0 MONO, 1 LIVE ARP, anything else POLY
  ReverbLength,  // slots 1 and 7 of the reverb block
  ReverbDamp,    // slots 3 and 4 of the reverb block
  Aftertouch,    // straight into the engine's aftertouch switch
};

struct SnapshotField {
  FieldConversion conversion = FieldConversion::None;
  double* real = nullptr;
  int32_t* integer = nullptr;
  bool* flag = nullptr;
};

// The field of `s` that parameter `index` fills.
SnapshotField FieldOf(ParamSnapshot& s, int index);

// Truncation toward zero that is safe for NaN and huge values.
int32_t TruncateToInt(double v);

}  // namespace morvanta
