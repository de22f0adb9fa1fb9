// Reads a Standard MIDI File into a NoteSequence: every track merged, times
// converted to seconds through the file's tempo map.
#pragma once

#include <string>

#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace render {

// Returns false and fills *error when the file cannot be read, is not a
// Standard MIDI File, or yields nothing. A file the library stops reading
// part way keeps what was read before the fault, and *damage says where.
bool ReadMidiFile(const std::string& path, NoteSequence* sequence, std::string* error,
                  std::string* damage);

}  // namespace render
}  // namespace morvanta
