// The built-in demo phrase the tool renders when no MIDI file is given: nine
// bars in A minor at 104 BPM (chords, a bass line and a melody, about 21 s).
#include "tools/render/DemoPhrase.h"

namespace morvanta {
namespace render {
namespace {

constexpr double kBpm = 104.0;
constexpr int kBeatsPerBar = 4;
constexpr int kChordChannel = 0;
constexpr int kBassChannel = 1;
constexpr int kMelodyChannel = 2;

struct Bar {
  int chord[3];  // voicing around middle C
  int root;      // bass root, second octave
};

// Am F C G Am F Dm E, resolving to Am in the ninth bar.
constexpr Bar kBars[] = {
    {{57, 60, 64}, 45}, {{57, 60, 65}, 41}, {{55, 60, 64}, 48}, {{55, 59, 62}, 43},
    {{57, 60, 64}, 45}, {{57, 60, 65}, 41}, {{57, 62, 65}, 50}, {{56, 59, 64}, 40},
    {{57, 60, 64}, 45},
};
constexpr int kNumBars = sizeof(kBars) / sizeof(kBars[0]);

// The bass pattern of one bar: beat, length in beats, interval above the root.
struct BassStep {
  double beat;
  double length;
  int interval;
  int velocity;
};
constexpr BassStep kBassPattern[] = {
    {0.0, 0.9, 0, 96}, {1.5, 0.4, 0, 78}, {2.0, 0.9, 7, 88}, {3.0, 0.45, 12, 80}, {3.5, 0.45, 0, 74},
};

struct MelodyNote {
  int bar;
  double beat;
  double length;
  int key;
};
constexpr MelodyNote kMelody[] = {
    {0, 0.0, 1.0, 76}, {0, 1.0, 0.5, 72}, {0, 1.5, 0.5, 74}, {0, 2.0, 1.5, 76}, {0, 3.5, 0.5, 69},
    {1, 0.0, 1.5, 72}, {1, 1.5, 0.5, 69}, {1, 2.0, 0.5, 72}, {1, 2.5, 0.5, 74}, {1, 3.0, 1.0, 72},
    {2, 0.0, 1.0, 76}, {2, 1.0, 1.0, 79}, {2, 2.0, 0.5, 76}, {2, 2.5, 0.5, 74}, {2, 3.0, 1.0, 72},
    {3, 0.0, 1.5, 74}, {3, 1.5, 0.5, 71}, {3, 2.0, 1.0, 67}, {3, 3.0, 1.0, 74},
    {4, 0.0, 0.5, 76}, {4, 0.5, 1.5, 81}, {4, 2.0, 0.5, 79}, {4, 2.5, 0.5, 76}, {4, 3.0, 1.0, 72},
    {5, 0.0, 1.5, 77}, {5, 1.5, 0.5, 76}, {5, 2.0, 0.5, 74}, {5, 2.5, 0.5, 72}, {5, 3.0, 1.0, 69},
    {6, 0.0, 1.0, 74}, {6, 1.0, 1.0, 77}, {6, 2.0, 1.0, 81}, {6, 3.0, 1.0, 77},
    {7, 0.0, 1.5, 76}, {7, 1.5, 0.5, 74}, {7, 2.0, 0.5, 71}, {7, 2.5, 0.5, 68}, {7, 3.0, 1.0, 71},
    {8, 0.0, 4.0, 69},
};

}  // namespace

NoteSequence MakeDemoPhrase() {
  constexpr double beat = 60.0 / kBpm;
  NoteSequence sequence;
  sequence.AddTempo(0.0, kBpm);
  for (int b = 0; b < kNumBars; ++b) {
    const double barStart = b * kBeatsPerBar * beat;
    const bool last = b == kNumBars - 1;
    for (int key : kBars[b].chord) {
      sequence.AddNote(barStart, (kBeatsPerBar - 0.1) * beat, kChordChannel, key, last ? 72 : 62);
    }
    if (last) {
      sequence.AddNote(barStart, kBeatsPerBar * beat, kBassChannel, kBars[b].root, 96);
      continue;
    }
    for (const BassStep& step : kBassPattern) {
      sequence.AddNote(barStart + step.beat * beat, step.length * beat, kBassChannel,
                       kBars[b].root + step.interval, step.velocity);
    }
  }
  for (const MelodyNote& note : kMelody) {
    const double start = (note.bar * kBeatsPerBar + note.beat) * beat;
    sequence.AddNote(start, note.length * 0.95 * beat, kMelodyChannel, note.key, 100);
  }
  sequence.Finish();
  return sequence;
}

const std::vector<std::pair<std::string, std::string>>& DemoSound() {
  static const std::vector<std::pair<std::string, std::string>> sound = {
      {"Amp gain", "35"},
      {"Stereo spread", "40"},
      {"Harmonics 2", "45"},
      {"Harmonics 3", "22"},
      {"Harmonics 4", "15"},
      {"Harmonics 5", "8"},
      {"Harmonics lfo amp", "25"},
      {"Harmonics lfo speed", "15"},
      {"Filter frequency", "45"},
      {"Filter resonance", "30"},
      {"ADSR2 -> FC", "35"},
      {"ADSR1 release", "0.5"},
      {"Chorus On", "1"},
      {"Mod mix", "40"},
      {"Delay On", "1"},
      {"Delay Tempo Sync", "1"},
      {"Delay Time", "650"},  // the 3/8 division
      {"Delay Level", "30"},
      {"Delay Feedback", "35"},
      {"Delay PingPong Type", "1"},
      {"Reverb On", "1"},
      {"Reverb mix", "30"},
      {"Reverb length", "60"},
  };
  return sound;
}

}  // namespace render
}  // namespace morvanta
