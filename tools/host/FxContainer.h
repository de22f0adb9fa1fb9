// The VST2 preset (.fxp) and bank (.fxb) files hosts import and export: a
// big-endian container around either a parameter list or the plug-in's own
// opaque chunk. Bytes in, bytes out; nothing here talks to a plug-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvanta {
namespace host {

// Four-character codes as they read in the file ('CcnK' = 0x43636E4B).
constexpr int32_t FourCc(const char (&c)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(c[3])));
}
std::string FourCcText(int32_t code);  // 'mvta', or the number when not printable

// The program name field holds 28 bytes, its terminator included when shorter.
constexpr int kFxProgramNameBytes = 28;

struct FxProgram {
  std::string name;
  bool opaque = false;           // 'FPCh': `chunk` holds it; 'FxCk': `params` do
  std::vector<uint8_t> chunk;
  std::vector<float> params;     // normalised 0..1
};

struct FxFile {
  bool bank = false;
  int32_t pluginId = 0;
  int32_t pluginVersion = 0;
  // A program file: the one program. A bank: `programs` for the parameter
  // list variant ('FxBk'), `chunk` for the opaque one ('FBCh').
  FxProgram program;
  bool opaque = false;
  std::vector<uint8_t> chunk;
  std::vector<FxProgram> programs;
  int32_t currentProgram = -1;   // from a version 2 bank, else -1
};

// Reads a whole .fxp or .fxb file; on a damaged or foreign file returns false
// with a message that says what is wrong.
bool ReadFxFile(const std::vector<uint8_t>& bytes, FxFile* file, std::string* error);

// Writes a program file around an opaque chunk ('FPCh').
std::vector<uint8_t> WriteFxProgramChunk(int32_t pluginId, int32_t pluginVersion, int32_t numParams,
                                         const std::string& name, const std::vector<uint8_t>& chunk);
// Writes a version 2 bank file around an opaque chunk ('FBCh').
std::vector<uint8_t> WriteFxBankChunk(int32_t pluginId, int32_t pluginVersion, int32_t numPrograms,
                                      int32_t currentProgram, const std::vector<uint8_t>& chunk);

}  // namespace host
}  // namespace morvanta
