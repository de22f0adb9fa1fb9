// Pictures for the preset audition, drawn with Cairo: a contact sheet of
// small spectrograms (a block of rows per category, each labelled with the
// program's number and name) and one program's spectrogram with axes.
#pragma once

#include <string>
#include <vector>

#include "tools/audition/AuditionPhrase.h"
#include "tools/audition/PresetAnalysis.h"

namespace morvanta {
namespace audition {

struct PictureEntry : ProgramId {
  Spectrogram spectrogram;
};

bool WriteContactSheet(const std::vector<PictureEntry>& entries, const std::string& path,
                       std::string* error);
bool WriteSpectrogramPicture(const PictureEntry& entry, const std::string& path,
                             std::string* error);

}  // namespace audition
}  // namespace morvanta
