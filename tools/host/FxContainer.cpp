// The .fxp/.fxb layout: a 'CcnK' header with the byte count of the rest, the
// kind ('FxCk', 'FPCh', 'FxBk', 'FBCh'), the format version, the plug-in's
// unique id and version and a count, then a 28-byte program name (programs)
// or a 128-byte field that version 2 banks open with the current program.
#include "tools/host/FxContainer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace morvanta {
namespace host {
namespace {

constexpr int32_t kCcnK = FourCc("CcnK");
constexpr int32_t kFxCk = FourCc("FxCk");
constexpr int32_t kFPCh = FourCc("FPCh");
constexpr int32_t kFxBk = FourCc("FxBk");
constexpr int32_t kFBCh = FourCc("FBCh");
constexpr size_t kBankFieldBytes = 128;

class Reader {
 public:
  Reader(const std::vector<uint8_t>& bytes, size_t at) : bytes_(bytes), at_(at) {}
  bool Has(size_t n) const { return at_ <= bytes_.size() && bytes_.size() - at_ >= n; }
  size_t At() const { return at_; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | bytes_[at_++];
    return static_cast<int32_t>(v);
  }
  float Float() {
    const uint32_t bits = static_cast<uint32_t>(Int());
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  std::string Name(size_t field) {
    const char* p = reinterpret_cast<const char*>(bytes_.data() + at_);
    at_ += field;
    return std::string(p, strnlen(p, field));
  }
  void Skip(size_t n) { at_ += n; }
  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> out(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                             bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n;
    return out;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t at_;
};

class Writer {
 public:
  void Int(int32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
  }
  void Zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void Name(const std::string& name) {
    // Cut to leave room for the terminator, as hosts expect.
    const size_t n = std::min(name.size(), static_cast<size_t>(kFxProgramNameBytes - 1));
    bytes_.insert(bytes_.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
    Zeros(kFxProgramNameBytes - n);
  }
  void Bytes(const std::vector<uint8_t>& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  // The header's byte count covers everything after the count itself.
  std::vector<uint8_t> Finish() {
    const int32_t rest = static_cast<int32_t>(bytes_.size() - 8);
    for (int i = 0; i < 4; ++i) bytes_[4 + i] = static_cast<uint8_t>(rest >> (24 - 8 * i));
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
};

// The 'CcnK' header up to the count; `kind` and the other fields are returned.
bool ReadHeader(Reader& r, int32_t* kind, int32_t* id, int32_t* version, int32_t* count,
                std::string* error) {
  if (!r.Has(28) || r.Int() != kCcnK) {
    *error = "not a VST preset or bank file (no 'CcnK' header)";
    return false;
  }
  r.Int();  // byte count: hosts disagree on it; the sizes below are checked instead
  *kind = r.Int();
  r.Int();  // format version
  *id = r.Int();
  *version = r.Int();
  *count = r.Int();
  return true;
}

bool ReadOpaque(Reader& r, std::vector<uint8_t>* chunk, std::string* error) {
  if (!r.Has(4)) {
    *error = "the file ends before its chunk size";
    return false;
  }
  const int32_t size = r.Int();
  if (size < 0 || !r.Has(static_cast<size_t>(size))) {
    *error = "the file is shorter than the " + std::to_string(size) + "-byte chunk it announces";
    return false;
  }
  *chunk = r.Bytes(static_cast<size_t>(size));
  return true;
}

bool ReadParams(Reader& r, int32_t count, std::vector<float>* params, std::string* error) {
  if (count < 0 || !r.Has(4 * static_cast<size_t>(count))) {
    *error = "the file is shorter than the " + std::to_string(count) + " parameters it announces";
    return false;
  }
  params->resize(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const float v = r.Float();
    if (!std::isfinite(v)) {
      *error = "parameter " + std::to_string(i) + " is not a number";
      return false;
    }
    (*params)[static_cast<size_t>(i)] = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
  }
  return true;
}

// A program from its 'CcnK' header on; `id` and `version` are its plug-in's.
bool ReadProgram(Reader& r, FxProgram* program, int32_t* id, int32_t* version, std::string* error) {
  int32_t kind = 0, count = 0;
  if (!ReadHeader(r, &kind, id, version, &count, error)) return false;
  if (kind != kFxCk && kind != kFPCh) {
    *error = "a program of kind '" + FourCcText(kind) + "' (expected 'FxCk' or 'FPCh')";
    return false;
  }
  if (!r.Has(kFxProgramNameBytes)) {
    *error = "the file ends inside the program name";
    return false;
  }
  program->name = r.Name(kFxProgramNameBytes);
  program->opaque = kind == kFPCh;
  return program->opaque ? ReadOpaque(r, &program->chunk, error)
                         : ReadParams(r, count, &program->params, error);
}

}  // namespace

std::string FourCcText(int32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
    if (!std::isprint(static_cast<unsigned char>(c))) return std::to_string(code);
    text += c;
  }
  return text;
}

bool ReadFxFile(const std::vector<uint8_t>& bytes, FxFile* file, std::string* error) {
  *file = FxFile{};
  Reader peek(bytes, 0);
  int32_t kind = 0, count = 0;
  if (!ReadHeader(peek, &kind, &file->pluginId, &file->pluginVersion, &count, error)) return false;
  if (kind == kFxCk || kind == kFPCh) {
    Reader r(bytes, 0);
    return ReadProgram(r, &file->program, &file->pluginId, &file->pluginVersion, error);
  }
  if (kind != kFxBk && kind != kFBCh) {
    *error = "unknown kind '" + FourCcText(kind) + "' (a preset is 'FxCk' or 'FPCh', a bank "
             "'FxBk' or 'FBCh')";
    return false;
  }
  file->bank = true;
  Reader r(bytes, 12);
  const int32_t formatVersion = r.Int();
  r.Skip(12);  // id, version, count: read above
  if (!r.Has(kBankFieldBytes)) {
    *error = "the file ends inside the bank header";
    return false;
  }
  const int32_t current = r.Int();
  r.Skip(kBankFieldBytes - 4);
  if (formatVersion >= 2) file->currentProgram = current;
  file->opaque = kind == kFBCh;
  if (file->opaque) return ReadOpaque(r, &file->chunk, error);
  if (count < 0) {
    *error = "the bank announces " + std::to_string(count) + " programs";
    return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    FxProgram program;
    int32_t id = 0, version = 0;
    if (!ReadProgram(r, &program, &id, &version, error)) {
      *error = "program " + std::to_string(i) + " of the bank: " + *error;
      return false;
    }
    file->programs.push_back(std::move(program));
  }
  return true;
}

std::vector<uint8_t> WriteFxProgramChunk(int32_t pluginId, int32_t pluginVersion, int32_t numParams,
                                         const std::string& name, const std::vector<uint8_t>& chunk) {
  Writer w;
  for (int32_t v : {kCcnK, 0, kFPCh, 1, pluginId, pluginVersion, numParams}) w.Int(v);
  w.Name(name);
  w.Int(static_cast<int32_t>(chunk.size()));
  w.Bytes(chunk);
  return w.Finish();
}

std::vector<uint8_t> WriteFxBankChunk(int32_t pluginId, int32_t pluginVersion, int32_t numPrograms,
                                      int32_t currentProgram, const std::vector<uint8_t>& chunk) {
  Writer w;
  for (int32_t v : {kCcnK, 0, kFBCh, 2, pluginId, pluginVersion, numPrograms, currentProgram}) w.Int(v);
  w.Zeros(kBankFieldBytes - 4);
  w.Int(static_cast<int32_t>(chunk.size()));
  w.Bytes(chunk);
  return w.Finish();
}

}  // namespace host
}  // namespace morvanta
