// Reads a Standard MIDI File into a NoteSequence: every track merged, times
// converted to seconds through the file's tempo map.
#pragma once

#include <string>

#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace render {

// Returns false and fills *error when the file cannot be read or is not a
// Standard MIDI File.
bool ReadMidiFile(const std::string& path, NoteSequence* sequence, std::string* error);

}  // namespace render
}  // namespace morvanta
