// Encodes rendered audio as WAV or FLAC through libsndfile into an
// OutputFile; the container follows the file name's extension.
#include "tools/render/AudioFileWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>

namespace morvanta {
namespace render {
namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

}  // namespace

bool ResolveAudioFormat(const std::string& path, const std::string& sampleFormat,
                        AudioFormat* format, std::string* error) {
  const std::string ext = LowerExtension(path);
  int container = 0;
  if (ext == "wav") {
    container = SF_FORMAT_WAV;
  } else if (ext == "flac") {
    container = SF_FORMAT_FLAC;
  } else {
    *error = "cannot tell the output format from '" + path + "': use a .wav or .flac name";
    return false;
  }
  int subtype = 0;
  if (sampleFormat == "pcm16") {
    subtype = SF_FORMAT_PCM_16;
  } else if (sampleFormat == "pcm24") {
    subtype = SF_FORMAT_PCM_24;
  } else if (sampleFormat == "float") {
    if (container == SF_FORMAT_FLAC) {
      *error = "FLAC has no floating-point samples: use --format pcm16 or pcm24";
      return false;
    }
    subtype = SF_FORMAT_FLOAT;
  } else {
    *error = "unknown sample format '" + sampleFormat + "' (pcm16, pcm24 or float)";
    return false;
  }
  format->sndfileFormat = container | subtype;
  format->isFloat = subtype == SF_FORMAT_FLOAT;
  return true;
}

bool WriteAudioFile(OutputFile* file, const AudioFormat& format, int sampleRate, int channels,
                    const std::vector<float>& interleaved, std::string* error) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format.sndfileFormat;
  if (!sf_format_check(&info)) {
    *error = "cannot write '" + file->Path() + "': this format does not take " +
             std::to_string(sampleRate) + " Hz with " + std::to_string(channels) + " channels";
    return false;
  }
  SNDFILE* sf = sf_open_fd(file->Fd(), SFM_WRITE, &info, SF_FALSE);
  if (!sf) {
    *error = "cannot write '" + file->Path() + "': " + sf_strerror(nullptr);
    return false;
  }
  if (!format.isFloat) sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / channels);
  const sf_count_t written = frames > 0 ? sf_writef_float(sf, interleaved.data(), frames) : 0;
  std::string failure = written == frames ? "" : sf_strerror(sf);
  if (sf_close(sf) != 0 && failure.empty()) failure = "encoder could not finish the file";
  if (!failure.empty()) {
    *error = "cannot write '" + file->Path() + "': " + failure;
    return false;
  }
  return true;
}

}  // namespace render
}  // namespace morvanta
