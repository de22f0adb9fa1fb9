// Encodes rendered audio as WAV or FLAC through libsndfile into an
// OutputFile; the container follows the file name's extension.
#include "tools/render/AudioFileWriter.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

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

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Moves all `n` bytes with pread or pwrite, going on after short transfers.
template <typename Transfer, typename Bytes>
bool WholeAt(Transfer transfer, int fd, Bytes* data, size_t n, off_t at) {
  while (n > 0) {
    const ssize_t done = transfer(fd, data, n, at);
    if (done <= 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
    at += done;
  }
  return true;
}
bool ReadAt(int fd, uint8_t* to, size_t n, off_t at) { return WholeAt(pread, fd, to, n, at); }
bool WriteAt(int fd, const uint8_t* from, size_t n, off_t at) { return WholeAt(pwrite, fd, from, n, at); }

// libsndfile writes a float WAV's format chunk in 16 bytes, without the
// extension size that every format other than integer PCM carries; sox and
// other readers complain about it. This adds the (empty) extension: the file
// from the end of the format chunk on moves two bytes back, and the chunk
// and RIFF sizes grow by two.
bool AddFormatExtensionSize(int fd) {
  constexpr off_t kFmtEnd = 12 + 8 + 16;
  uint8_t head[kFmtEnd];
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size < kFmtEnd || !ReadAt(fd, head, sizeof head, 0)) return false;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVEfmt ", 8) != 0 ||
      Le32(head + 16) != 16) {
    return false;
  }
  std::vector<uint8_t> buffer(1 << 20);
  for (off_t end = size; end > kFmtEnd;) {
    const size_t n = static_cast<size_t>(std::min<off_t>(end - kFmtEnd, static_cast<off_t>(buffer.size())));
    end -= static_cast<off_t>(n);
    if (!ReadAt(fd, buffer.data(), n, end) || !WriteAt(fd, buffer.data(), n, end + 2)) return false;
  }
  PutLe32(head + 4, Le32(head + 4) + 2);
  PutLe32(head + 16, 18);
  const uint8_t noExtension[2] = {0, 0};
  return WriteAt(fd, head, sizeof head, 0) && WriteAt(fd, noExtension, 2, kFmtEnd);
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
  if (failure.empty() && format.isFloat && !AddFormatExtensionSize(file->Fd())) {
    failure = "cannot complete the float WAV header";
  }
  if (!failure.empty()) {
    *error = "cannot write '" + file->Path() + "': " + failure;
    return false;
  }
  return true;
}

}  // namespace render
}  // namespace morvanta
