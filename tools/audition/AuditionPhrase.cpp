// Category phrases for the preset audition.
#include "tools/audition/AuditionPhrase.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include "instrument/ParamTable.h"

namespace morvanta {
namespace audition {
namespace {

std::string LowerFirstWords(const std::string& name, int words) {
  std::string out;
  int seen = 0;
  for (char c : name) {
    if (c == ' ' && ++seen == words) break;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

void AddChord(render::NoteSequence* seq, double start, double length,
              std::initializer_list<int> keys, int velocity) {
  for (int key : keys) seq->AddNote(kLeadInSeconds + start, length, 0, key, velocity);
}

// A legato line: each note starts a little before the previous one ends, so
// a MONO program glides and keeps its envelope where it is set to.
void AddLine(render::NoteSequence* seq, std::initializer_list<int> keys, double step,
             double lastLength, int velocity) {
  constexpr double kOverlap = 0.02;
  double t = kLeadInSeconds;
  size_t i = 0;
  for (int key : keys) {
    const bool last = ++i == keys.size();
    seq->AddNote(t, last ? lastLength : step + kOverlap, 0, key, velocity);
    t += step;
  }
}

// C major with its octave, played upwards.
constexpr int kTriad[] = {60, 64, 67, 72};

// Keys one after the other, `spacing` apart; all released `length` after the
// first started when `spacing` is small, or each after `length` otherwise.
template <size_t N>
void AddRun(render::NoteSequence* seq, double spacing, double length, const int (&keys)[N]) {
  for (size_t i = 0; i < N; ++i) {
    const double start = kLeadInSeconds + spacing * i;
    seq->AddNote(start, spacing * N < length ? length - spacing * i : length, 0, keys[i], 100);
  }
}

}  // namespace

Category CategoryOfName(const std::string& name) {
  const std::string first = LowerFirstWords(name, 1);
  if (first == "init") return Category::kInit;
  if (first == "pad") return Category::kPad;
  if (first == "keys") return Category::kKeys;
  if (first == "lead") return Category::kLead;
  if (first == "pluck") return Category::kPluck;
  if (first == "bass") return Category::kBass;
  if (first == "arp") return Category::kArp;
  if (first == "fx") return Category::kFx;
  if (first == "drum") return Category::kDrum;
  if (first == "live" && LowerFirstWords(name, 2) == "live arp") return Category::kLiveArp;
  return Category::kOther;
}

const char* CategoryLabel(Category category) {
  switch (category) {
    case Category::kInit: return "Init";
    case Category::kPad: return "Pad";
    case Category::kKeys: return "Keys";
    case Category::kLead: return "Lead";
    case Category::kPluck: return "Pluck";
    case Category::kBass: return "Bass";
    case Category::kArp: return "Arp";
    case Category::kLiveArp: return "Live arp";
    case Category::kFx: return "FX";
    case Category::kDrum: return "Drum";
    case Category::kOther: break;
  }
  return "Other";
}

int ProgramValues::VoiceMode() const {
  if (values.size() <= kVoiceMode) return -1;
  return static_cast<int>(std::lround(values[kVoiceMode]));
}

bool ProgramValues::UsesModWheel() const {
  for (int i = kModwToAmp; i <= kModwToTubeDrive && i < static_cast<int>(values.size()); ++i) {
    if (std::fabs(values[i]) > 1e-9) return true;
  }
  return false;
}

int ProgramValues::DistinctStepPitches() const {
  if (values.size() < static_cast<size_t>(kNumParams)) return 0;
  const int steps = std::clamp(static_cast<int>(std::lround(values[kArpStepsCount])), 1, 16);
  std::set<long> pitches;
  for (int k = 0; k < steps; ++k) pitches.insert(std::lround(values[kArpPitch1 + k]));
  return static_cast<int>(pitches.size());
}

Phrase MakePhrase(Category category, const ProgramValues& program) {
  Phrase p;
  p.firstNoteSeconds = kLeadInSeconds;
  render::NoteSequence& seq = p.sequence;
  switch (category) {
    case Category::kPad:
      AddChord(&seq, 0.0, 2.5, {48, 55, 60, 64}, 90);
      break;
    case Category::kLead:
      AddLine(&seq, {60, 62, 64, 67, 64}, 0.3, 0.6, 100);
      break;
    case Category::kBass:
      AddLine(&seq, {36, 43, 41, 39, 36}, 0.3, 0.6, 100);
      break;
    case Category::kPluck:
      AddRun(&seq, 0.25, 0.2, kTriad);
      break;
    case Category::kArp:
    case Category::kLiveArp:
      if (program.VoiceMode() == 1) {
        AddRun(&seq, 0.01, 2.0, kTriad);
      } else {
        seq.AddNote(kLeadInSeconds, 2.0, 0, 60, 100);
      }
      break;
    case Category::kFx:
      seq.AddNote(kLeadInSeconds, 1.5, 0, 60, 100);
      break;
    case Category::kDrum:
      for (int i = 0; i < 3; ++i) seq.AddNote(kLeadInSeconds + 0.5 * i, 0.1, 0, 48, 50 + 38 * i);
      break;
    case Category::kInit:
    case Category::kKeys:
    case Category::kOther:
      AddChord(&seq, 0.0, 0.9, {60, 64, 67}, 100);
      AddChord(&seq, 1.0, 0.9, {53, 57, 60, 65}, 70);
      break;
  }
  seq.Finish();
  for (const render::TimedMidi& m : seq.Messages()) {
    const int kind = m.bytes[0] & 0xF0;
    if (kind == 0x80 || (kind == 0x90 && m.bytes[2] == 0)) {
      p.releaseSeconds = std::max(p.releaseSeconds, m.seconds);
    }
  }
  if (program.UsesModWheel()) {
    // Up over the held part, then down again before the release.
    constexpr int kSteps = 32;
    const double held = p.releaseSeconds - kLeadInSeconds;
    for (int i = 0; i <= kSteps; ++i) {
      const double f = static_cast<double>(i) / kSteps;
      const uint8_t value = static_cast<uint8_t>(std::lround(127.0 * (f <= 0.5 ? 2 * f : 2 - 2 * f)));
      seq.AddMessage(kLeadInSeconds + f * held * 0.999, 0xB0, 1, value);
    }
    seq.Finish();
    p.wheelSweep = true;
  }
  return p;
}

}  // namespace audition
}  // namespace morvanta
