// The built-in demo phrase the tool renders when no MIDI file is given: nine
// bars in A minor at 104 BPM (chords, a bass line and a melody, about 21 s).
#pragma once

#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace render {

NoteSequence MakeDemoPhrase();

}  // namespace render
}  // namespace morvanta
