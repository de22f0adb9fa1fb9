// The built-in demo phrase the tool renders when no MIDI file is given: nine
// bars in A minor at 104 BPM (chords, a bass line and a melody, about 21 s).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace render {

NoteSequence MakeDemoPhrase();

// The sound the demo plays when the command line names no program, state or
// parameter: "init" opened up with a few harmonics, a filter envelope, and
// the chorus, a tempo-synchronised delay and the reverb switched on.
// Pairs of parameter name and value, as --param takes them.
const std::vector<std::pair<std::string, std::string>>& DemoSound();

}  // namespace render
}  // namespace morvanta
