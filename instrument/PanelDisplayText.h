// The texts of the panel's parameter display: the parameter's name, then
// its value in the words and units a musician reads (percent, seconds,
// hertz, tempo divisions, mode names), computed from engine units.
#pragma once

#include <cstddef>

#include "editor/PanelInstrument.h"
#include "plugin/PlugParameter.h"

namespace morvanta {

// Writes "name \nvalue" for `reading` into `out` (always terminated); ""
// for an empty reading. `param` is the reading's parameter record.
// Locale-independent.
void FormatPanelDisplay(const PlugParameter* param, const DisplayReading& reading, char* out,
                        std::size_t size);

// The value part alone (appended to `out`).
void AppendDisplayValue(const PlugParameter* param, const DisplayReading& reading, char* out,
                        std::size_t size);

}  // namespace morvanta
