// .fxp and .fxb files: what we write, what we read back, files assembled
// byte by byte from the container's published layout, and the files that
// must be refused without touching the sound.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "instrument/ParamTable.h"
#include "tools/host/FxContainer.h"
#include "tools/host/PresetExchange.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<host::PluginInstance> Open() {
  std::string error;
  auto p = host::PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  EXPECT_TRUE(p) << error;
  return p;
}

std::vector<float> Values(host::PluginInstance& p) {
  std::vector<float> v;
  for (int i = 0; i < p.NumParams(); ++i) v.push_back(p.GetParameter(i));
  return v;
}

// Big-endian fields as the format's layout lists them.
void Be32(Bytes* b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b->push_back(static_cast<uint8_t>(v >> shift));
}
void Text(Bytes* b, const char* t, size_t field) {
  const size_t n = std::strlen(t);
  b->insert(b->end(), t, t + n);
  b->insert(b->end(), field - n, 0);
}
void BeFloat(Bytes* b, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  Be32(b, bits);
}
uint32_t ReadBe32(const Bytes& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// fxProgram with a parameter list: 'CcnK', byteSize, 'FxCk', version 1,
// fxID, fxVersion, numParams, prgName[28], then numParams big-endian floats.
Bytes HandMadeParamProgram(const char* id, const char* name, const std::vector<float>& params) {
  Bytes b;
  Text(&b, "CcnK", 4);
  Be32(&b, static_cast<uint32_t>(48 + 4 * params.size()));  // everything after byteSize
  Text(&b, "FxCk", 4);
  Be32(&b, 1);
  Text(&b, id, 4);
  Be32(&b, 10000);
  Be32(&b, static_cast<uint32_t>(params.size()));
  Text(&b, name, 28);
  for (float f : params) BeFloat(&b, f);
  return b;
}

TEST(PresetFile, ProgramFileCarriesTheSoundAndNameInTheStandardHeader) {
  auto a = Open();
  a->SetProgram(7);
  ASSERT_TRUE(a->SetParameterText(kFilterFrequency, "33"));
  ASSERT_TRUE(a->SetParameterText(kVoiceMode, "0"));
  const Bytes file = host::ExportFxProgram(*a);
  ASSERT_EQ(file.size(), 60u + 1928u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "CcnK");
  EXPECT_EQ(ReadBe32(file, 4), file.size() - 8);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "FPCh");
  EXPECT_EQ(ReadBe32(file, 12), 1u);
  EXPECT_EQ(std::string(file.begin() + 16, file.begin() + 20), "mvta");
  EXPECT_EQ(ReadBe32(file, 20), 10000u);
  EXPECT_EQ(ReadBe32(file, 24), 240u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[28])), a->ProgramName(7).substr(0, 27));
  EXPECT_EQ(ReadBe32(file, 56), 1928u);
  EXPECT_EQ(Bytes(file.begin() + 60, file.end()), a->GetChunk(false));

  auto b = Open();
  b->SetProgram(2);
  std::string error;
  ASSERT_TRUE(host::ImportFxFile(*b, file, &error)) << error;
  EXPECT_EQ(Values(*b), Values(*a));
  EXPECT_EQ(b->GetProgram(), 2);  // a program file fills the current program
  EXPECT_EQ(b->ProgramName(2), a->ProgramName(7).substr(0, 27));
}

TEST(PresetFile, BankFileRestoresEveryProgramAndTheCurrentOne) {
  auto a = Open();
  a->SetProgram(5);
  ASSERT_TRUE(a->SetParameterText(kAmpGain, "12"));
  std::string name = "Night bells";
  a->Dispatch(vst::effSetProgramName, 0, 0, &name[0]);
  a->SetProgram(9);
  const Bytes file = host::ExportFxBank(*a);
  ASSERT_GT(file.size(), 160u);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "FBCh");
  EXPECT_EQ(ReadBe32(file, 12), 2u);
  EXPECT_EQ(ReadBe32(file, 24), 201u);
  EXPECT_EQ(ReadBe32(file, 28), 9u);  // the current program
  EXPECT_EQ(ReadBe32(file, 156), file.size() - 160);

  auto b = Open();
  std::string error;
  ASSERT_TRUE(host::ImportFxFile(*b, file, &error)) << error;
  EXPECT_EQ(b->GetProgram(), 9);
  EXPECT_EQ(b->ProgramName(5), "Night bells");
  b->SetProgram(5);
  a->SetProgram(5);
  EXPECT_EQ(Values(*b), Values(*a));
  EXPECT_EQ(b->ParamDisplay(kAmpGain), a->ParamDisplay(kAmpGain));
}

TEST(PresetFile, HandAssembledParameterFilesLoad) {
  auto p = Open();
  std::vector<float> values = Values(*p);
  values[kFilterFrequency] = 0.25f;
  std::string error;
  ASSERT_TRUE(host::ImportFxFile(*p, HandMadeParamProgram("mvta", "Hand made", values), &error))
      << error;
  EXPECT_FLOAT_EQ(p->GetParameter(kFilterFrequency), 0.25f);
  EXPECT_EQ(p->ProgramName(p->GetProgram()), "Hand made");

  // fxSet: 'CcnK', byteSize, 'FxBk', version 2, fxID, fxVersion,
  // numPrograms, currentProgram, 124 reserved bytes, then the programs.
  std::vector<float> second = Values(*p);
  second[kFilterFrequency] = 0.75f;
  const Bytes one = HandMadeParamProgram("mvta", "First", values);
  const Bytes two = HandMadeParamProgram("mvta", "Second", second);
  Bytes bank;
  Text(&bank, "CcnK", 4);
  Be32(&bank, static_cast<uint32_t>(148 + one.size() + two.size()));
  Text(&bank, "FxBk", 4);
  Be32(&bank, 2);
  Text(&bank, "mvta", 4);
  Be32(&bank, 10000);
  Be32(&bank, 2);
  Be32(&bank, 1);
  bank.insert(bank.end(), 124, 0);
  bank.insert(bank.end(), one.begin(), one.end());
  bank.insert(bank.end(), two.begin(), two.end());
  auto q = Open();
  ASSERT_TRUE(host::ImportFxFile(*q, bank, &error)) << error;
  EXPECT_EQ(q->GetProgram(), 1);
  EXPECT_FLOAT_EQ(q->GetParameter(kFilterFrequency), 0.75f);
  EXPECT_EQ(q->ProgramName(0), "First");
  EXPECT_EQ(q->ProgramName(1), "Second");
  q->SetProgram(0);
  EXPECT_FLOAT_EQ(q->GetParameter(kFilterFrequency), 0.25f);
}

TEST(PresetFile, DamagedOrForeignFilesAreRefusedAndChangeNothing) {
  auto p = Open();
  p->SetProgram(3);
  ASSERT_TRUE(p->SetParameterText(kFilterResonance, "40"));
  const Bytes stateBefore = p->GetChunk(true);
  const std::vector<float> before = Values(*p);
  auto refused = [&](const Bytes& file, const std::string& says) {
    std::string error;
    EXPECT_FALSE(host::ImportFxFile(*p, file, &error));
    EXPECT_NE(error.find(says), std::string::npos) << error;
    EXPECT_EQ(Values(*p), before);
    EXPECT_EQ(p->GetProgram(), 3);
  };
  std::vector<float> values(240, 0.5f);
  refused(HandMadeParamProgram("abcd", "Other", values), "another plug-in (id 'abcd'");
  refused(HandMadeParamProgram("mvta", "Short", std::vector<float>(239, 0.5f)), "239 parameter");
  values[17] = std::numeric_limits<float>::quiet_NaN();
  refused(HandMadeParamProgram("mvta", "NaN", values), "parameter 17 is not a number");
  refused(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6}, "no 'CcnK' header");

  const Bytes good = host::ExportFxProgram(*p);
  for (size_t n = 0; n < good.size(); ++n) {
    std::string error;
    ASSERT_FALSE(host::ImportFxFile(*p, Bytes(good.begin(), good.begin() + n), &error)) << n;
  }
  // A chunk of the right container but cut short inside: the plug-in applies
  // what fits and says no; the programs as they were come back.
  const Bytes chunk = p->GetChunk(false);
  const Bytes cut = host::WriteFxProgramChunk(host::FourCc("mvta"), 10000, 240, "Cut",
                                              Bytes(chunk.begin(), chunk.begin() + 400));
  std::string error;
  EXPECT_FALSE(host::ImportFxFile(*p, cut, &error));
  EXPECT_EQ(Values(*p), before);
  EXPECT_EQ(p->GetChunk(true), stateBefore);

  // A parameter bank with more programs than the plug-in has.
  Bytes tooMany = host::WriteFxBankChunk(host::FourCc("mvta"), 10000, 202, 0, {});
  tooMany.resize(156);
  std::memcpy(&tooMany[8], "FxBk", 4);
  for (int i = 0; i < 202; ++i) {
    const Bytes one = HandMadeParamProgram("mvta", "One", std::vector<float>(240, 0.5f));
    tooMany.insert(tooMany.end(), one.begin(), one.end());
  }
  refused(tooMany, "202 programs");
}

}  // namespace
}  // namespace morvanta
