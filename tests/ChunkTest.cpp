// State chunks: the byte buffer's bounded reads, program and bank chunks, the
// preset slots they fill, and robustness against any byte string.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "plugin/PluginCore.h"
#include "support/RecordingInstrument.h"

namespace morvanta {
namespace {

using testing::RecordingInstrument;

intptr_t Dispatch(RecordingInstrument& a, int32_t op, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr) {
  return a.Effect()->dispatcher(a.Effect(), op, index, value, ptr, 0.0f);
}

std::vector<uint8_t> GetChunk(RecordingInstrument& a, bool bank) {
  void* data = nullptr;
  const intptr_t n = Dispatch(a, vst::effGetChunk, bank ? 0 : 1, 0, &data);
  const auto* p = static_cast<const uint8_t*>(data);
  return n > 0 ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

intptr_t SetChunk(RecordingInstrument& a, std::vector<uint8_t> bytes, bool bank) {
  uint8_t dummy = 0;
  return Dispatch(a, vst::effSetChunk, bank ? 0 : 1, static_cast<intptr_t>(bytes.size()),
                  bytes.empty() ? &dummy : bytes.data());
}

StateChunk Doubles(std::initializer_list<double> values, bool header) {
  StateChunk c;
  if (header) PluginCore::WriteHeader(c);
  for (double v : values) c.PutDouble(v);
  return c;
}

std::vector<uint8_t> Bytes(const StateChunk& c) {
  return std::vector<uint8_t>(c.Data(), c.Data() + c.Size());
}

TEST(ChunkTest, BufferReadsStayInsideTheBytes) {
  StateChunk c;
  c.PutInt(0x70666674);
  c.PutDouble(-2.5);
  ASSERT_EQ(c.Size(), 12);
  EXPECT_EQ(c.Data()[0], 0x74);  // little-endian: low byte first
  int32_t i = 0;
  double d = 0;
  EXPECT_EQ(c.GetInt(0, &i), 4);
  EXPECT_EQ(i, 0x70666674);
  EXPECT_EQ(c.GetDouble(4, &d), 12);
  EXPECT_EQ(d, -2.5);
  EXPECT_EQ(c.GetDouble(5, &d), -1);
  EXPECT_EQ(c.GetInt(9, &i), -1);
  EXPECT_EQ(c.GetInt(-1, &i), -1);
  uint8_t b = 0;
  EXPECT_EQ(c.GetByte(12, &b), -1);
  EXPECT_EQ(c.GetInt(std::numeric_limits<int>::max() - 1, &i), -1);
}

TEST(ChunkTest, StringsReportTheirEndEvenBeyondTheBytes) {
  StateChunk c;
  c.PutInt(5);
  c.PutBytes("ab\0cd", 5);
  std::string s = "x";
  EXPECT_EQ(c.GetString(0, &s), 9);
  EXPECT_EQ(s, "ab");  // cut at the embedded zero
  StateChunk longer;
  longer.PutInt(100);
  longer.PutBytes("abc", 3);
  EXPECT_EQ(longer.GetString(0, &s), 104);  // 4 + 100, past the 7 bytes
  EXPECT_EQ(s, "");
  StateChunk huge;
  huge.PutInt(std::numeric_limits<int32_t>::max());
  EXPECT_EQ(huge.GetString(0, &s), -1);  // the end does not fit an int position
  StateChunk negative;
  negative.PutInt(-100);
  EXPECT_EQ(negative.GetString(0, &s), -1);
  StateChunk slightlyNegative;  // 4 - 2 would land inside the length itself
  slightlyNegative.PutInt(-2);
  slightlyNegative.PutInt(0);
  EXPECT_EQ(slightlyNegative.GetString(0, &s), -1);
}

TEST(ChunkTest, ProgramChunkRoundTripsWithHeader) {
  RecordingInstrument a;
  const std::vector<uint8_t> chunk = GetChunk(a, false);
  ASSERT_EQ(chunk.size(), 8u + 4 * 8);  // header + 4 doubles
  const uint8_t header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(chunk.data(), header, 8), 0);
  a.ParameterAt(0)->value = 12.0;
  EXPECT_EQ(SetChunk(a, chunk, false), 1);
  EXPECT_EQ(a.ParameterAt(0)->value, 50.0);
  EXPECT_EQ(a.changed.size(), 4u);
}

TEST(ChunkTest, ProgramChunkWithoutHeaderOrWithExtraBytes) {
  RecordingInstrument a;
  EXPECT_EQ(SetChunk(a, Bytes(Doubles({1, 2, 3, 4}, false)), false), 1);
  EXPECT_EQ(a.ParameterAt(0)->value, 1.0);
  EXPECT_EQ(a.ParameterAt(1)->value, 2.0);
  EXPECT_EQ(a.ParameterAt(2)->value, 3.0);
  EXPECT_EQ(a.ParameterAt(3)->value, 1.0);  // undefined record: range 0..1
  EXPECT_EQ(SetChunk(a, Bytes(Doubles({5, 6, 0.5, 0, 99}, true)), false), 1);
  EXPECT_EQ(a.ParameterAt(0)->value, 5.0);
  EXPECT_EQ(a.ParameterAt(3)->value, 0.0);
}

TEST(ChunkTest, TruncatedChunkAnswersZeroAndKeepsWhatWasRead) {
  RecordingInstrument a;
  StateChunk c = Doubles({7, -3}, true);
  c.PutBytes("\1\2\3", 3);  // a third value cut short
  a.changed.clear();
  EXPECT_EQ(SetChunk(a, Bytes(c), false), 0);
  EXPECT_EQ(a.ParameterAt(0)->value, 7.0);
  EXPECT_EQ(a.ParameterAt(1)->value, -3.0);
  EXPECT_EQ(a.ParameterAt(2)->value, 0.1);  // not reached: keeps its value
  EXPECT_EQ(a.changed.size(), 4u);
  const std::vector<uint8_t> magicOnly = {0x74, 0x66, 0x66, 0x70, 0x00};
  EXPECT_EQ(SetChunk(a, magicOnly, false), 0);
  EXPECT_EQ(a.ParameterAt(0)->value, 7.0);
  EXPECT_EQ(SetChunk(a, {}, false), 0);
  EXPECT_EQ(a.ParameterAt(0)->value, 7.0);
}

TEST(ChunkTest, StoredNaNAndInfinitiesAreMadeSafe) {
  RecordingInstrument a;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(SetChunk(a, Bytes(Doubles({nan, inf, -inf, nan}, true)), false), 1);
  EXPECT_EQ(a.ParameterAt(0)->value, 50.0);  // default
  EXPECT_EQ(a.ParameterAt(1)->value, 24.0);
  EXPECT_EQ(a.ParameterAt(2)->value, 0.0);
  EXPECT_EQ(a.ParameterAt(3)->value, 0.0);
}

TEST(ChunkTest, BankChunkRestoresSlotsAndFlags) {
  RecordingInstrument a;
  a.FillEmptyPresets("Empty", 3);
  std::vector<uint8_t> bank = GetChunk(a, true);
  // header + 3 slots of (4 + name + 1 + 32): "init", "Empty", "Empty"
  ASSERT_EQ(bank.size(), 8u + 3 * 37 + 4 + 5 + 5);
  // Rewrite slot 1 uninitialised: name "Empty", flag 0, no values.
  StateChunk c;
  PluginCore::WriteHeader(c);
  c.PutString("first");
  uint8_t one = 1, zero = 0;
  c.PutBytes(&one, 1);
  for (double v : {10.0, 1.0, 1.0, 0.0}) c.PutDouble(v);
  c.PutString("second");
  c.PutBytes(&zero, 1);
  c.PutString(std::string(300, 'n').c_str());
  c.PutBytes(&one, 1);
  for (double v : {20.0, 2.0, 2.0, 1.0}) c.PutDouble(v);
  EXPECT_EQ(SetChunk(a, Bytes(c), true), 1);
  EXPECT_STREQ(a.PresetName(0), "first");
  EXPECT_EQ(std::string(a.PresetName(2)), std::string(255, 'n'));  // cut to the name field
  EXPECT_EQ(a.ParameterAt(0)->value, 10.0);  // current slot 0 loaded last
  EXPECT_FALSE(a.PresetAt(1)->initialised);
  Dispatch(a, vst::effSetProgram, 0, 1);
  EXPECT_EQ(Dispatch(a, vst::effGetProgram), 1);
  EXPECT_STREQ(a.PresetName(1), "user preset 1");
  EXPECT_EQ(a.PresetAt(1)->values.Size(), 32);
}

TEST(ChunkTest, BankChunkCutShortLoadsTheSlotsBefore) {
  RecordingInstrument a;
  a.FillEmptyPresets("Empty", 3);
  std::vector<uint8_t> bank = GetChunk(a, true);
  // Slot 0 ("init", 37 + 4 bytes) intact, slot 1 cut inside its values.
  bank[8 + 4] = 'I';
  bank.resize(8 + 41 + 4 + 5 + 1 + 12);
  EXPECT_EQ(SetChunk(a, bank, true), 0);
  EXPECT_STREQ(a.PresetName(0), "Init");
  EXPECT_TRUE(a.PresetAt(1)->initialised);
  EXPECT_EQ(a.PresetAt(1)->values.Size(), 32);  // the slot still holds a full set
}

TEST(ChunkTest, ProgramNamesAndSlots) {
  RecordingInstrument a;
  a.FillEmptyPresets("Empty", 3);
  Dispatch(a, vst::effSetProgram, 0, 2);
  a.ParameterAt(0)->value = 33.0;
  std::string longName(400, 'q');
  Dispatch(a, vst::effSetProgramName, 0, 0, &longName[0]);
  EXPECT_EQ(Dispatch(a, vst::effGetProgram), 2);
  EXPECT_EQ(std::string(a.PresetName(2)), std::string(255, 'q'));
  char empty[1] = {0};
  Dispatch(a, vst::effSetProgramName, 0, 0, empty);
  EXPECT_EQ(std::string(a.PresetName(2)), std::string(255, 'q'));
  double stored = 0;
  a.PresetAt(2)->values.GetDouble(0, &stored);
  EXPECT_EQ(stored, 33.0);
  EXPECT_STREQ(a.PresetName(3), "");
  EXPECT_STREQ(a.PresetName(-1), "");
  a.ParameterAt(0)->value = 44.0;
  Dispatch(a, vst::effSetProgram, 0, 7);  // out of range: live values kept in slot 2
  EXPECT_EQ(Dispatch(a, vst::effGetProgram), 2);
  a.PresetAt(2)->values.GetDouble(0, &stored);
  EXPECT_EQ(stored, 44.0);
  char name[256];
  EXPECT_EQ(Dispatch(a, vst::effGetProgramNameIndexed, 9, 0, name), 0);
  EXPECT_STREQ(name, "");
}

// Any byte string given as a program or bank chunk: no crash, no read outside
// the bytes, and every parameter stays inside its range.
TEST(ChunkTest, FuzzedChunksNeverBreakTheInstance) {
  RecordingInstrument a;
  a.FillEmptyPresets("Empty", 3);
  const std::vector<uint8_t> validBank = GetChunk(a, true);
  const std::vector<uint8_t> validProgram = GetChunk(a, false);
  std::mt19937 rng(20261208);
  for (int round = 0; round < 6000; ++round) {
    std::vector<uint8_t> bytes;
    const int mode = round % 3;
    if (mode == 2) {
      bytes.resize(rng() % 300);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    } else {
      bytes = mode == 0 ? validBank : validProgram;
      const int edits = 1 + static_cast<int>(rng() % 6);
      for (int e = 0; e < edits && !bytes.empty(); ++e) {
        const size_t at = rng() % bytes.size();
        switch (rng() % 4) {
          case 0: bytes[at] = static_cast<uint8_t>(rng()); break;
          case 1: bytes.resize(at); break;
          case 2: bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<uint8_t>(rng())); break;
          default: bytes[at] = 0xFF; break;
        }
      }
    }
    const bool bank = rng() % 2 == 0;
    const intptr_t r = SetChunk(a, bytes, bank);
    ASSERT_TRUE(r == 0 || r == 1);
    for (int i = 0; i < a.NumParams(); ++i) {
      const PlugParameter* p = a.ParameterAt(i);
      ASSERT_FALSE(std::isnan(p->value));
      ASSERT_GE(p->value, p->min);
      ASSERT_LE(p->value, p->max);
    }
    for (int s = 0; s < a.NumPresets(); ++s) ASSERT_LT(std::strlen(a.PresetName(s)), 256u);
    ASSERT_GE(Dispatch(a, vst::effGetProgram), 0);
  }
}

}  // namespace
}  // namespace morvanta
