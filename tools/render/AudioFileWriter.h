// Encodes rendered audio as WAV or FLAC through libsndfile into an
// OutputFile; the container follows the file name's extension.
#pragma once

#include <string>
#include <vector>

#include "tools/render/OutputFile.h"

namespace morvanta {
namespace render {

struct AudioFormat {
  int sndfileFormat = 0;
  bool isFloat = false;
};

// `sampleFormat` is "pcm16", "pcm24" or "float" (WAV only).
bool ResolveAudioFormat(const std::string& path, const std::string& sampleFormat,
                        AudioFormat* format, std::string* error);

// Writes interleaved samples; PCM formats clip at full scale.
bool WriteAudioFile(OutputFile* file, const AudioFormat& format, int sampleRate, int channels,
                    const std::vector<float>& interleaved, std::string* error);

}  // namespace render
}  // namespace morvanta
