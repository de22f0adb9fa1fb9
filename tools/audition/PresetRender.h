// Renders one factory program the way the audition hears it: a fresh
// instance of the plug-in, the program chosen with effSetProgram, its values
// read back from its program chunk, and the category's phrase played through
// the offline player.
#pragma once

#include <string>
#include <vector>

#include "tools/audition/AuditionPhrase.h"
#include "tools/audition/PresetAnalysis.h"

namespace morvanta {
namespace audition {

struct RenderedProgram : ProgramId {
  ProgramValues values;
  Phrase phrase;
  int sampleRate = 44100;
  std::vector<float> left;
  std::vector<float> right;
  long long nonFiniteSamples = 0;
};

// Number of programs the plug-in reports, or -1 (with *error) when it cannot
// be loaded.
int CountPrograms(const std::string& pluginPath, std::string* error);

// Names of all programs, in order (one instance).
std::vector<std::string> ProgramNames(const std::string& pluginPath, std::string* error);

// Renders at most `tailSeconds` after the phrase's last note-off.
bool RenderProgram(const std::string& pluginPath, int program, int sampleRate,
                   RenderedProgram* out, std::string* error, double tailSeconds = kTailSeconds);

StereoView ViewOf(const RenderedProgram& p);
// The measurements of a program rendered with `tailSeconds` after its phrase.
Metrics MeasureProgram(const RenderedProgram& p, double tailSeconds = kTailSeconds);
// The fingerprint over the phrase and the first second after it.
Fingerprint FingerprintOf(const RenderedProgram& p, const Spectrogram& spectrogram);

}  // namespace audition
}  // namespace morvanta
