// The factory program set: the table's rows are well-formed, the slots hold
// exactly what the rows say, "init" brings back the defaults, and a program
// reached by program change sounds the same as the same program sent as a chunk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "instrument/Brisquet.h"
#include "instrument/FactoryPresets.h"
#include "instrument/ParamTable.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

std::unique_ptr<Brisquet> MakeInstrument() {
  return std::unique_ptr<Brisquet>(static_cast<Brisquet*>(CreateInstrument(nullptr)));
}

std::vector<double> StoredValues(const Brisquet& b, int slot) {
  std::vector<double> values;
  const PlugPreset* preset = b.PresetAt(slot);
  if (preset == nullptr) return values;
  double v = 0.0;
  for (int pos = 0; (pos = preset->values.GetDouble(pos, &v)) > 0;) values.push_back(v);
  return values;
}

bool IsIntegerKind(ParameterKind kind) {
  return kind == ParameterKind::Bool || kind == ParameterKind::Int || kind == ParameterKind::Enum;
}

TEST(FactoryPresetTable, RowsAreInProgramOrderAndWellFormed) {
  const FactoryPresetRow* rows = FactoryPresetRows();
  EXPECT_STREQ(rows[0].name, "Pad signus 1");
  EXPECT_STREQ(rows[104].name, "Bass raw saw 1");
  EXPECT_STREQ(rows[kNumFactoryRows - 1].name, "Drum hihat 5");

  // The categories come as contiguous blocks of the listed sizes.
  const std::pair<const char*, int> blocks[] = {{"Pad ", 24},  {"Keys ", 19},     {"Lead ", 36},
                                                {"Pluck ", 24}, {"Bass ", 16},     {"Arp ", 19},
                                                {"Live arp ", 15}, {"F", 23}, {"Drum ", 24}};
  int row = 0;
  for (const auto& block : blocks) {
    for (int n = 0; n < block.second; ++n, ++row) {
      ASSERT_LT(row, kNumFactoryRows);
      EXPECT_EQ(std::strncmp(rows[row].name, block.first, std::strlen(block.first)), 0)
          << "row " << row << " \"" << rows[row].name << "\" outside the " << block.first << "block";
    }
  }
  EXPECT_EQ(row, kNumFactoryRows);

  std::set<std::string> names;
  for (int r = 0; r < kNumFactoryRows; ++r) {
    const std::string name = rows[r].name;
    EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
    EXPECT_LT(name.size(), 256u);
    std::set<int> seen;
    for (const PresetOverride& o : rows[r].overrides) {
      ASSERT_GE(o.index, 0) << name;
      ASSERT_LT(o.index, kNumSoundParams) << name << ": the edit-history buttons are never stored";
      EXPECT_TRUE(seen.insert(o.index).second) << name << " sets parameter " << o.index << " twice";
      const ParamDef& d = ParamDefAt(o.index);
      EXPECT_TRUE(d.kind != ParameterKind::None || o.index == kUnnamed20) << name << ": " << o.index;
      EXPECT_GE(o.value, d.min) << name << ": " << d.name;
      EXPECT_LE(o.value, d.max) << name << ": " << d.name;
      if (IsIntegerKind(d.kind)) {
        EXPECT_EQ(o.value, std::trunc(o.value)) << name << ": " << d.name;
      }
      char text[32];
      std::snprintf(text, sizeof text, "%.6g", o.value);
      EXPECT_EQ(std::strtod(text, nullptr), o.value)
          << name << ": " << d.name << " has more than six significant digits";
    }
  }
}

TEST(FactoryPresetTable, ExpansionRefusesRowsOutsideTheTable) {
  double values[kNumParams];
  for (double& v : values) v = -7.0;
  EXPECT_FALSE(ExpandFactoryPreset(-1, values, kNumParams));
  EXPECT_FALSE(ExpandFactoryPreset(kNumFactoryRows, values, kNumParams));
  EXPECT_FALSE(ExpandFactoryPreset(0, values, kNumParams - 1));
  EXPECT_FALSE(ExpandFactoryPreset(0, nullptr, kNumParams));
  for (double v : values) EXPECT_EQ(v, -7.0);
}

TEST(FactoryPresets, SlotsHoldInitThenTheTableWithIntegersAsExactDoubles) {
  auto b = MakeInstrument();
  ASSERT_EQ(b->NumPresets(), kNumPrograms);
  EXPECT_STREQ(b->PresetName(0), "init");
  EXPECT_STREQ(b->PresetName(200), "Drum hihat 5");

  const std::vector<double> init = StoredValues(*b, 0);
  ASSERT_EQ(init.size(), static_cast<size_t>(kNumParams));
  for (int i = 0; i < kNumParams; ++i) {
    const ParamDef& d = ParamDefAt(i);
    EXPECT_EQ(init[i], d.kind == ParameterKind::None ? 0.0 : d.def) << i;
  }
  EXPECT_EQ(init[kHarmonics1], 100.0);

  double expected[kNumParams];
  for (int slot = 1; slot < kNumPrograms; ++slot) {
    ASSERT_TRUE(b->PresetAt(slot)->initialised) << slot;
    EXPECT_STREQ(b->PresetName(slot), FactoryPresetRows()[slot - 1].name);
    ASSERT_TRUE(ExpandFactoryPreset(slot - 1, expected, kNumParams));
    const std::vector<double> stored = StoredValues(*b, slot);
    ASSERT_EQ(stored.size(), static_cast<size_t>(kNumParams)) << slot;
    for (int i = 0; i < kNumParams; ++i) {
      EXPECT_EQ(stored[i], expected[i]) << b->PresetName(slot) << " parameter " << i;
      if (IsIntegerKind(ParamDefAt(i).kind)) {
        EXPECT_EQ(stored[i], std::trunc(stored[i])) << i;
      }
      if (i >= kNumSoundParams) {
        EXPECT_EQ(stored[i], 0.0) << i;
      }
    }
  }
}

// The two rows whose values are given, by parameter name; everything else is "init".
struct NamedValue {
  const char* param;
  double value;
};

void ExpectRow(const Brisquet& b, int slot, std::initializer_list<NamedValue> given) {
  const std::vector<double> stored = StoredValues(b, slot);
  const std::vector<double> init = StoredValues(b, 0);
  ASSERT_EQ(stored.size(), static_cast<size_t>(kNumParams));
  std::vector<double> expected = init;
  for (const NamedValue& nv : given) {
    const int index = FindParamByName(nv.param);
    ASSERT_GE(index, 0) << nv.param;
    expected[index] = nv.value;
  }
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(stored[i], expected[i]) << b.PresetName(slot) << " " << i;
}

TEST(FactoryPresets, TheTwoGivenRowsAreExact) {
  auto b = MakeInstrument();
  ExpectRow(*b, 1, {{"Arp On", 1}, {"Arp pitch 2", 24}, {"Arp pitch 3", 12},
                    {"Modw -> Wave shaper", 78.3333}, {"Distortion", 38.3333}, {"Chorus On", 1},
                    {"Mod Speed", 31.1246}, {"Mod Mode", 1}, {"Reverb On", 1}, {"Reverb mix", 37.5},
                    {"Reverb length", 94.1667}, {"Reverb mod", 47.7796}, {"Delay On", 1},
                    {"Delay Drive", 0}, {"Pitch Range", 1}});
  ExpectRow(*b, 105,
            {{"Amp gain", 60.8333}, {"Voice mode", 0}, {"Osc shape", 3}, {"Pitch", -12},
             {"Ring mod Lock", 1}, {"Filter frequency", 1.66667}, {"Filter resonance", 100},
             {"Harmonics 2", 80.8333}, {"Harmonics 3", 10}, {"Harmonics 4", 25}, {"Harmonics 8", 30},
             {"Harmonics 11", 28.3333}, {"Harmonics 16", 19.1667}, {"Harmonics slope", -31.6667},
             {"Harmonics lfo amp", 21.6667}, {"Harmonics lfo speed", 100}, {"Vel -> Harmonics", 72.5},
             {"ADSR1 attack", 0.000202217}, {"ADSR1 release", 0.00635706}, {"ADSR2 decay", 0.344781},
             {"ADSR2 sustain", 8.33333}, {"ADSR2 release", 0.870263}, {"ADSR2 -> FC", 71.6667},
             {"LFO2 frequency", 11.6667}, {"Lfo2 -> Amp", 15}, {"Modw -> FC", 48.3333},
             {"Modw -> FR", 46.6667}, {"Modw -> Harm phase", 100}, {"Modw -> Lfo2 Amp", 15},
             {"Modw -> Lfo2 F", 16.6667}, {"Distortion", 53.3333}, {"Tube drive", 100},
             {"Mod mix", 45.8333}, {"Mod Delay", 2.16718}, {"Mod Feedback", 100}, {"Mod Amp", 48.6107},
             {"Mod Speed", 4.67545}, {"Reverb mix", 29.1667}, {"Reverb length", 14.1667},
             {"Delay Time", 102.94}, {"Delay Feedback", 52.5}, {"Delay Color", 75.8333},
             {"Delay Drive", 35.8333}, {"Delay Tempo Sync", 1}, {"Delay Width", 63.3333}});
}

TEST(FactoryPresets, InitAfterEditingRestoresEveryDefault) {
  auto b = MakeInstrument();
  Brisquet& core = *b;
  // Edits made on another program stay with that program when "init" is chosen.
  ASSERT_TRUE(core.LoadPreset(105));
  for (int i : {int(kHarmonics1), int(kAmpGain), int(kOscShape), int(kFilterFrequency),
                int(kReverbOn), int(kArpPitch1 + 3), int(kPitchRange)}) {
    PlugParameter* p = core.ParameterAt(i);
    p->value = p->min;
    core.ParameterChanged(i);
  }
  core.ModifyCurrentPreset();
  ASSERT_TRUE(core.LoadPreset(0));
  for (int i = 0; i < kNumParams; ++i) {
    const ParamDef& d = ParamDefAt(i);
    if (i == kAbSwitch) continue;  // follows the A/B side, not the preset
    EXPECT_EQ(core.ParameterAt(i)->value, d.kind == ParameterKind::None ? 0.0 : d.def) << d.name;
  }
  EXPECT_EQ(core.ParameterAt(kHarmonics1)->value, 100.0);
  EXPECT_EQ(core.Snapshot().voiceMode, 2);
}

// Renders a short phrase (a chord, then a higher note) from a fresh instance.
std::vector<float> RenderPhrase(host::PluginInstance& p) {
  std::vector<host::MidiEvent> on;
  for (uint8_t note : {48, 55, 64}) {
    host::MidiEvent e;
    e.bytes[0] = 0x90;
    e.bytes[1] = note;
    e.bytes[2] = 100;
    on.push_back(e);
  }
  std::srand(12345);  // pitch noise, random LFOs and voice spread draw from rand()
  std::vector<float> out;
  std::vector<float> l(256), r(256);
  for (int block = 0; block < 200; ++block) {
    if (block == 0) p.SendMidi(on);
    if (block == 120) {
      std::vector<host::MidiEvent> off = on;
      for (host::MidiEvent& e : off) e.bytes[0] = 0x80;
      p.SendMidi(off);
    }
    float* outs[2] = {l.data(), r.data()};
    p.ProcessFloat(outs, 256);
    out.insert(out.end(), l.begin(), l.end());
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

std::unique_ptr<host::PluginInstance> OpenPlugin() {
  std::string error;
  auto p = host::PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  EXPECT_TRUE(p) << error;
  if (!p) return p;
  p->SetSampleRate(44100.0);
  p->SetBlockSize(256);
  p->Resume();
  return p;
}

TEST(FactoryPresets, ProgramChangeAndProgramChunkSoundTheSame) {
  for (int program : {1, 27, 45, 84, 105, 150, 200}) {
    auto byProgram = OpenPlugin();
    auto byChunk = OpenPlugin();
    ASSERT_TRUE(byProgram && byChunk);
    byProgram->SetProgram(program);
    ASSERT_EQ(byProgram->GetProgram(), program);
    const std::vector<uint8_t> chunk = byProgram->GetChunk(false);
    ASSERT_EQ(chunk.size(), 1928u);
    ASSERT_TRUE(byChunk->SetChunk(chunk, false));

    const std::vector<float> a = RenderPhrase(*byProgram);
    const std::vector<float> b = RenderPhrase(*byChunk);
    ASSERT_EQ(a.size(), b.size());
    double peak = 0.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      peak = std::max(peak, std::fabs(static_cast<double>(a[i])));
      if (a[i] != b[i]) ++differing;
    }
    EXPECT_GT(peak, 1e-3) << "program " << program << " is silent";
    EXPECT_EQ(differing, 0u) << "program " << program;
  }
}

}  // namespace
}  // namespace morvanta
