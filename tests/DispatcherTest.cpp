// The dispatcher and parameter callbacks as a host sees them: identity,
// parameters, pins, capability texts, host identification and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/CommaLocale.h"
#include "support/RecordingInstrument.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

using testing::FakeEditor;
using testing::RecordingInstrument;

// What the fake host answers and saw.
struct FakeHost {
  std::string product;
  intptr_t vendorVersion = 0;
  int productCalls = 0;
  int versionCalls = 0;
  VstTimeInfo time{};
  bool giveTime = false;
  std::vector<std::pair<int, float>> automations;
};
FakeHost g_host;

intptr_t FakeCallback(AEffect*, int32_t opcode, int32_t index, intptr_t, void* ptr, float opt) {
  switch (opcode) {
    case vst::audioMasterGetProductString:
      ++g_host.productCalls;
      std::strcpy(static_cast<char*>(ptr), g_host.product.c_str());
      return 1;
    case vst::audioMasterGetVendorVersion:
      ++g_host.versionCalls;
      return g_host.vendorVersion;
    case vst::audioMasterGetTime:
      return g_host.giveTime ? reinterpret_cast<intptr_t>(&g_host.time) : 0;
    case vst::audioMasterAutomate:
      g_host.automations.emplace_back(index, opt);
      return 0;
    default:
      return 0;
  }
}

intptr_t Dispatch(RecordingInstrument& a, int32_t op, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
  return a.Effect()->dispatcher(a.Effect(), op, index, value, ptr, opt);
}

std::string Text(RecordingInstrument& a, int32_t op, int32_t index) {
  char buf[300];
  std::memset(buf, 'X', sizeof buf);
  buf[299] = 0;
  Dispatch(a, op, index, 0, buf);
  return buf;
}

int KindFor(const std::string& product, intptr_t version = 0, int* hostVersion = nullptr) {
  g_host = FakeHost{};
  g_host.product = product;
  g_host.vendorVersion = version;
  RecordingInstrument a(&FakeCallback);
  Dispatch(a, vst::effOpen);
  if (hostVersion) *hostVersion = a.HostVersion();
  return a.HostKind();
}

TEST(DispatcherTest, HostIdentificationFollowsTheTableOrder) {
  EXPECT_EQ(KindFor("Ableton LIVE 11"), 9);
  EXPECT_EQ(KindFor("Cubase Live Edition"), 3);  // cubase comes before live
  EXPECT_EQ(KindFor("REAPER"), 1);
  EXPECT_EQ(KindFor("Ardour"), 28);
  EXPECT_EQ(KindFor("Unknown DAW"), 0);
  int version = 0;
  EXPECT_EQ(KindFor("Renoise", 30405, &version), 29);
  EXPECT_EQ(version, 3 << 16 | 4 << 8 | 5);  // 30405 -> 3.4.5
  EXPECT_EQ(KindFor(""), 0);
  EXPECT_EQ(g_host.versionCalls, 0);  // an empty name is not asked for a version
  EXPECT_EQ(g_host.productCalls, 1);  // cached: HostKind() above did not ask again
}

TEST(DispatcherTest, FixedAnswers) {
  RecordingInstrument a;
  EXPECT_EQ(a.Effect()->magic, 0x56737450);
  EXPECT_EQ(a.Effect()->flags, 0x1111);  // replacing | double | synth | editor
  EXPECT_EQ(Dispatch(a, vst::effIdentify), 0x4E764566);
  EXPECT_EQ(Dispatch(a, vst::effGetVstVersion), 2400);
  EXPECT_EQ(Dispatch(a, vst::effGetVendorVersion), 10203);  // 0x010203 -> 1.2.3
  EXPECT_EQ(Dispatch(a, vst::effGetPlugCategory), 2);
  EXPECT_EQ(Dispatch(a, vst::effCanBeAutomated, 999), 1);
  EXPECT_EQ(Dispatch(a, vst::effGetTailSize), 0);
  EXPECT_EQ(Dispatch(a, vst::effSetBypass, 0, 1), 0);
  EXPECT_EQ(Dispatch(a, 12345), 0);
  EXPECT_EQ(Text(a, vst::effGetEffectName, 0), "Recorder");
  EXPECT_EQ(Text(a, vst::effGetVendorString, 0), "Tester");
  EXPECT_EQ(Text(a, vst::effGetProductString, 0), "");
  EXPECT_EQ(Dispatch(a, vst::effGetEffectName), 0);
  const std::pair<const char*, intptr_t> canDo[] = {
      {"receiveVstTimeInfo", 1}, {"receiveVstMidiEvent", 1}, {"sendVstEvents", 1},
      {"hasCockosExtensions", 0xBEEF0000}, {"ReceiveVstTimeInfo", 0}, {"bypass", 0}};
  for (const auto& c : canDo) {
    std::string text = c.first;
    EXPECT_EQ(Dispatch(a, vst::effCanDo, 0, 0, &text[0]), c.second) << c.first;
  }
  EXPECT_EQ(Dispatch(a, vst::effCanDo), 0);
}

TEST(DispatcherTest, OutOfRangeIndicesTouchNothing) {
  RecordingInstrument a;
  a.changed.clear();
  for (int index : {-1, 4, 240, std::numeric_limits<int>::min()}) {
    EXPECT_EQ(a.Effect()->getParameter(a.Effect(), index), 0.0f);
    a.Effect()->setParameter(a.Effect(), index, 0.5f);
    char buf[8] = "keep";
    Dispatch(a, vst::effGetParamName, index, 0, buf);
    Dispatch(a, vst::effGetParamDisplay, index, 0, buf);
    Dispatch(a, vst::effGetParamLabel, index, 0, buf);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(Dispatch(a, vst::effString2Parameter, index, 0, buf), 0);
    EXPECT_EQ(Dispatch(a, vst::effVendorSpecific, 7, index, buf, 0.5f), 0xBEEF);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(Dispatch(a, vst::effVendorSpecific, 8, index), 0);
  }
  EXPECT_TRUE(a.changed.empty());
  // Null pointers are answered without action.
  for (int op : {vst::effGetParamName, vst::effGetParamDisplay, vst::effGetProgramName,
                 vst::effSetProgramName, vst::effGetChunk, vst::effSetChunk,
                 vst::effProcessEvents, vst::effGetMidiKeyName, vst::effEditGetRect,
                 vst::effGetOutputProperties, vst::effGetProgramNameIndexed})
    EXPECT_EQ(Dispatch(a, op, 0, 64), 0) << op;
  EXPECT_EQ(Dispatch(a, vst::effString2Parameter, 0), 1);
  EXPECT_EQ(Dispatch(a, vst::effGetSpeakerArrangement), 1);
}

TEST(DispatcherTest, SetParameterClampsAndIgnoresNaN) {
  RecordingInstrument a;
  auto* editor = static_cast<FakeEditor*>(a.Editor());
  editor->updates.clear();
  a.changed.clear();
  a.Effect()->setParameter(a.Effect(), 1, 0.75f);
  EXPECT_EQ(a.ParameterAt(1)->value, 12.0);  // -24 + 0.75 * 48
  ASSERT_EQ(editor->updates.size(), 1u);
  EXPECT_TRUE(editor->updates[0].normalised);
  a.Effect()->setParameter(a.Effect(), 1, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(a.ParameterAt(1)->value, 12.0);
  EXPECT_EQ(a.changed.size(), 1u);
  a.Effect()->setParameter(a.Effect(), 1, 3.0f);
  EXPECT_EQ(a.ParameterAt(1)->value, 24.0);
  EXPECT_EQ(a.Effect()->getParameter(a.Effect(), 1), 1.0f);
  a.Effect()->setParameter(a.Effect(), 2, -0.5f);
  EXPECT_EQ(a.ParameterAt(2)->value, 0.0);
  EXPECT_EQ(a.changed, (std::vector<int>{1, 1, 2}));
}

TEST(DispatcherTest, TextEntryStoresClampedUnroundedValues) {
  RecordingInstrument a;
  testing::CommaLocale locale;  // also works in the C locale
  char text[16] = "2.7";
  EXPECT_EQ(Dispatch(a, vst::effString2Parameter, 1, 0, text), 1);
  EXPECT_DOUBLE_EQ(a.ParameterAt(1)->value, 2.7);  // an integer parameter keeps 2.7
  std::strcpy(text, "-99");
  Dispatch(a, vst::effString2Parameter, 1, 0, text);
  EXPECT_EQ(a.ParameterAt(1)->value, -24.0);
  std::strcpy(text, "nan");
  Dispatch(a, vst::effString2Parameter, 1, 0, text);
  EXPECT_EQ(a.ParameterAt(1)->value, -24.0);
  EXPECT_EQ(Text(a, vst::effGetParamDisplay, 0), "50.00");
  EXPECT_EQ(Text(a, vst::effGetParamLabel, 0), "%");
  char buf[32];
  EXPECT_EQ(Dispatch(a, vst::effVendorSpecific, 7, 0, buf, 0.25f), 0xBEEF);
  EXPECT_STREQ(buf, "25.00");  // 0 + 0.25 * 100
  EXPECT_EQ(Dispatch(a, vst::effVendorSpecific, 8, 1), 0xBEEF);  // int kind
  EXPECT_EQ(Dispatch(a, vst::effVendorSpecific, 8, 0), 0);       // double kind
}

TEST(DispatcherTest, RefusesUnusableRatesAndBlockSizes) {
  RecordingInstrument a;
  Dispatch(a, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(a.SampleRate(), 48000.0);
  EXPECT_EQ(a.resets, 1);
  for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                     std::numeric_limits<float>::infinity(), 2.0e6f, 100.0f, 7999.0f})
    Dispatch(a, vst::effSetSampleRate, 0, 0, nullptr, rate);
  EXPECT_EQ(a.SampleRate(), 48000.0);
  EXPECT_EQ(a.resets, 1);
  EXPECT_EQ(a.BlockSize(), 1024);
  for (intptr_t size : {intptr_t(0), intptr_t(-64), intptr_t(1) << 21, intptr_t(1) << 40})
    Dispatch(a, vst::effSetBlockSize, 0, size);
  EXPECT_EQ(a.BlockSize(), 1024);
  EXPECT_EQ(a.resets, 1);
  Dispatch(a, vst::effSetBlockSize, 0, 512);
  EXPECT_EQ(a.BlockSize(), 512);
  EXPECT_EQ(a.resets, 2);
  Dispatch(a, vst::effMainsChanged, 0, 1);
  Dispatch(a, vst::effMainsChanged, 0, 0);
  EXPECT_EQ(a.activeCalls, (std::vector<bool>{true, false}));
  EXPECT_EQ(a.resets, 3);
}

TEST(DispatcherTest, PinsArrangementsAndEditor) {
  RecordingInstrument a;
  VstPinProperties pin{};
  std::strcpy(pin.shortLabel, "host");
  EXPECT_EQ(Dispatch(a, vst::effGetOutputProperties, 0, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 1");
  EXPECT_EQ(pin.flags, 3);
  EXPECT_STREQ(pin.shortLabel, "host");
  EXPECT_EQ(Dispatch(a, vst::effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 2");
  EXPECT_EQ(pin.flags, 1);
  EXPECT_EQ(Dispatch(a, vst::effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(Dispatch(a, vst::effGetInputProperties, 0, 0, &pin), 0);

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(Dispatch(a, vst::effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, -1);
  EXPECT_EQ(out->type, 1);
  EXPECT_EQ(out->numChannels, 2);

  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(a, vst::effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 1370);
  EXPECT_EQ(rect->bottom - rect->top, 760);
  EXPECT_EQ(Dispatch(a, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
  EXPECT_EQ(Dispatch(a, vst::effEditClose), 1);
  MidiKeyName key{};
  key.thisKeyNumber = 60;
  std::strcpy(key.keyName, "stale");
  EXPECT_EQ(Dispatch(a, vst::effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");

  RecordingInstrument bare(nullptr, false);
  EXPECT_EQ(bare.Effect()->flags, 0x1110);
  EXPECT_EQ(Dispatch(bare, vst::effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(Dispatch(bare, vst::effEditClose), 0);
}

TEST(DispatcherTest, EditorChangesReachTheHost) {
  g_host = FakeHost{};
  RecordingInstrument a(&FakeCallback);
  a.SetParameterFromEditor(0, 0.5);
  ASSERT_EQ(g_host.automations.size(), 1u);
  EXPECT_EQ(g_host.automations[0].first, 0);
  EXPECT_EQ(g_host.automations[0].second, 0.5f);
  EXPECT_EQ(a.ParameterAt(0)->value, 50.0);
}

// The shipped plug-in through the host library.
TEST(DispatcherTest, MorvantaAnswersAsDesigned) {
  std::string error;
  auto p = host::PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(p->EffectName(), "Morvanta");
  EXPECT_EQ(p->VendorString(), "Quelvo");
  EXPECT_EQ(p->Dispatch(vst::effGetVendorVersion), 10000);
  EXPECT_EQ(p->Effect()->version, 10000);
  EXPECT_EQ(p->Effect()->uniqueID, 'm' << 24 | 'v' << 16 | 't' << 8 | 'a');
  EXPECT_EQ(p->NumParams(), 240);
  EXPECT_EQ(p->NumPrograms(), 201);
  EXPECT_EQ(p->Effect()->flags, 0x1111);
  EXPECT_EQ(p->Effect()->numInputs, 0);
  EXPECT_EQ(p->Effect()->numOutputs, 2);
  EXPECT_EQ(p->ProgramName(0), "init");
  EXPECT_EQ(p->ProgramName(201), "");
  const int pitchNoise = p->FindParam("Lfo1 -> Pitch moise");  // found only if all 19 come through
  EXPECT_GE(pitchNoise, 0);
  ERect* rect = nullptr;
  EXPECT_EQ(p->Dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 1370);
  EXPECT_EQ(rect->bottom, 760);
  EXPECT_EQ(p->GetChunk(false).size(), 1928u);
  EXPECT_TRUE(p->SetChunk(p->GetChunk(true), true));
}

}  // namespace
}  // namespace morvanta
