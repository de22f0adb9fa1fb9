// A program load, a bank load and the engine's hard reset silence every
// effect line (4 chorus, 3 delay, 64 reverb) without writing to their memory,
// and the instrument's settings after a bank load are the current slot's.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "instrument/Brisquet.h"
#include "instrument/ParamTable.h"
#include "plugin/Vst2Abi.h"

namespace morvanta {
namespace {

// A line's memory in use and how much of it was written since its last clear.
struct LineMemory {
  const double* data;
  int32_t length;
  int32_t written;
};

std::vector<LineMemory> AllLines(const SynthEngine& engine) {
  const BusChain& e = engine.Bus();
  std::vector<LineMemory> lines;
  auto add = [&lines](const DelayBuffer& b) { lines.push_back({b.Raw(), b.Length(), b.WrittenSinceClear()}); };
  for (int i = 0; i < 4; ++i) add(e.Chorus().Line(i).Buffer());
  add(e.Delay().Left().Buffer());
  add(e.Delay().PreTap().Buffer());
  add(e.Delay().Right().Buffer());
  for (int side = 0; side < 2; ++side) {
    for (int i = 0; i < ReverbNetwork::kLines; ++i) {
      const ReverbNetwork::Store store = e.Reverb().LineStore(side, i);
      lines.push_back({store.data, store.length, store.written});
    }
    add(e.Reverb().PreDelay(side).Buffer());
  }
  return lines;
}

// The bytes of every line's memory that was written while playing.
std::vector<std::vector<double>> WrittenMemory(const SynthEngine& e) {
  std::vector<std::vector<double>> copy;
  for (const LineMemory& line : AllLines(e)) copy.emplace_back(line.data, line.data + line.length);
  return copy;
}

class PresetRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    b_.reset(static_cast<Brisquet*>(CreateInstrument(nullptr)));
    Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    Dispatch(vst::effMainsChanged, 0, 1);
    b_->FillEmptyPresets("Empty", kNumPrograms);  // as the entry point does
    // The programs the test loads play through every effect.
    for (int program : {3, 0}) {
      Dispatch(vst::effSetProgram, 0, program);
      for (int index : {kChorusOn, kDelayOn, kReverbOn}) b_->Effect()->setParameter(b_->Effect(), index, 1.0f);
    }
    bank_ = GetChunk(0);
  }
  intptr_t Dispatch(int32_t op, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return b_->Effect()->dispatcher(b_->Effect(), op, index, value, ptr, opt);
  }
  std::vector<uint8_t> GetChunk(int index) {
    void* data = nullptr;
    const intptr_t n = Dispatch(vst::effGetChunk, index, 0, &data);
    const auto* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + n);
  }
  // Two seconds of a chord through every effect, so every line wraps.
  void Play() {
    for (int n = 0; n < 8; ++n) b_->MidiReceived(n, 0x90, static_cast<uint8_t>(48 + 5 * n), 110);
    std::vector<double> l(512), r(512);
    double* outs[2] = {l.data(), r.data()};
    for (int i = 0; i < 190; ++i) b_->Effect()->processDoubleReplacing(b_->Effect(), nullptr, outs, 512);
  }
  void ExpectEveryLineClearedUntouched(const char* what) {
    const SynthEngine& e = b_->Engine();
    const std::vector<std::vector<double>> before = WrittenMemory(e);
    for (const LineMemory& line : AllLines(e)) ASSERT_GT(line.written, 0) << what;
    restore_();
    const std::vector<LineMemory> lines = AllLines(e);
    ASSERT_EQ(lines.size(), 71u);
    const std::vector<std::vector<double>> after = WrittenMemory(e);
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].written, 0) << what << " line " << i;
      EXPECT_TRUE(after[i] == before[i]) << what << ": line " << i << " memory was written";
    }
  }

  std::unique_ptr<Brisquet> b_;
  std::vector<uint8_t> bank_;
  std::function<void()> restore_;
};

TEST_F(PresetRestoreTest, ProgramLoadBankLoadAndHardResetClearEveryLineWithoutWritingIt) {
  Play();
  restore_ = [&] { Dispatch(vst::effSetProgram, 0, 3); };
  ExpectEveryLineClearedUntouched("program load");
  Play();
  restore_ = [&] { Dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(bank_.size()), bank_.data()); };
  ExpectEveryLineClearedUntouched("bank load");
  Play();
  restore_ = [&] { b_->Engine().HardReset(b_->Snapshot()); };
  ExpectEveryLineClearedUntouched("hard reset");
}

// Slot 0 is current and left uninitialised by the bank: it takes the live
// values, which are those of the bank's last slot, and the instrument's
// settings are those values too.
TEST_F(PresetRestoreTest, BankWithAnEmptyCurrentSlotLeavesTheLastSlotsSettings) {
  AEffect* e = b_->Effect();
  Dispatch(vst::effSetProgram, 0, kNumPrograms - 1);
  e->setParameter(e, kVoiceMode, 0.0f);
  e->setParameter(e, kFilterFrequency, 0.2f);
  e->setParameter(e, kReverbOn, 0.0f);
  Dispatch(vst::effSetProgram, 0, 0);
  std::vector<uint8_t> bank = GetChunk(0);
  // Slot 0 is first: header (8), name length (4) + "init" (4), then its flag.
  ASSERT_EQ(bank[16], 1);
  bank.erase(bank.begin() + 17, bank.begin() + 17 + 1920);
  bank[16] = 0;
  ASSERT_EQ(Dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(bank.size()), bank.data()), 1);
  EXPECT_STREQ(b_->PresetName(0), "user preset 1");
  const PlugPreset* last = b_->PresetAt(kNumPrograms - 1);
  ASSERT_TRUE(last != nullptr && last->initialised);
  EXPECT_EQ(std::memcmp(b_->PresetAt(0)->values.Data(), last->values.Data(), 8 * kNumParams), 0);
  // Re-deriving every parameter gives the settings the instrument holds.
  const ParamSnapshot held = b_->Snapshot();
  for (int i = 0; i < kNumParams; ++i) b_->ParameterChanged(i);
  EXPECT_TRUE(held == b_->Snapshot());
}

}  // namespace
}  // namespace morvanta
