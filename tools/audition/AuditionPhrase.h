// What each factory program is played with when it is auditioned: its
// category (from the leading word of its name) and a short phrase that suits
// it: chords for pads and keys, a line for leads and basses, held keys for
// the arpeggios, hits at several velocities for drums, and a mod-wheel sweep
// for any program that routes the wheel somewhere.
#pragma once

#include <string>
#include <vector>

#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace audition {

enum class Category { kInit, kPad, kKeys, kLead, kPluck, kBass, kArp, kLiveArp, kFx, kDrum, kOther };
constexpr int kNumCategories = 11;

// "Live arp sinseq 1" -> kLiveArp, "Fx laser 1" and "FX mouth pop 1" -> kFx.
Category CategoryOfName(const std::string& name);
const char* CategoryLabel(Category category);

// Which program a rendering or a picture is of.
struct ProgramId {
  int program = 0;
  std::string name;
  Category category = Category::kOther;
};

// The program's stored values (240 plain values, as its chunk holds them).
struct ProgramValues {
  std::vector<double> values;
  int VoiceMode() const;  // 0 MONO, 1 LIVE ARP, 2 POLY; -1 when unknown
  // Any "Modw -> ..." depth away from zero.
  bool UsesModWheel() const;
  // Distinct "Arp pitch" values among the steps the sequence plays.
  int DistinctStepPitches() const;
};

struct Phrase {
  render::NoteSequence sequence;
  double firstNoteSeconds = 0.0;
  double releaseSeconds = 0.0;  // the last note-off
  bool wheelSweep = false;
};

// Silence before the first note, so the level smoothers of a fresh
// instance have settled when it starts.
constexpr double kLeadInSeconds = 0.25;

// Seconds rendered after the last note-off: enough to see a decay to
// -60 dBFS within 3 s.
constexpr double kTailSeconds = 3.25;

Phrase MakePhrase(Category category, const ProgramValues& program);

}  // namespace audition
}  // namespace morvanta
