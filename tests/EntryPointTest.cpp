// The shipped plug-in as a host loads it: exports, cheap and display-free
// construction, many instances, and host-facing hardening on the real instrument.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/CommaLocale.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

using host::PluginInstance;

std::unique_ptr<PluginInstance> Load() {
  std::string error;
  auto p = PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  EXPECT_TRUE(p) << error;
  return p;
}

intptr_t NullHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

TEST(EntryPointTest, BothEntryPointsCreateAnInstance) {
  void* lib = dlopen(MORVANTA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const char* name : {"VSTPluginMain", "main"}) {
    void* sym = dlsym(lib, name);
    ASSERT_NE(sym, nullptr) << name;
    AEffect* (*entry)(HostCallback);
    std::memcpy(&entry, &sym, sizeof entry);
    AEffect* e = entry(&NullHost);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 201);
    e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0.0f);
  }
  EXPECT_EQ(dlsym(lib, "_ZN8morvanta16CreateInstrumentEPFlP7AEffectiilPvfE"), nullptr);
  dlclose(lib);
}

TEST(EntryPointTest, ManyInstancesWithoutADisplay) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  {
    std::vector<std::unique_ptr<PluginInstance>> live;
    for (int i = 0; i < 16; ++i) live.push_back(Load());
    for (auto& p : live) ASSERT_TRUE(p && p->NumParams() == 240);
    for (int i = 0; i < 100; ++i) {
      auto p = Load();
      ASSERT_TRUE(p);
      EXPECT_EQ(p->Dispatch(vst::effEditOpen), 0);  // no editor window yet
    }
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 3; ++i) {
        std::string error;
        auto p = PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
        if (p) p->SetParameter(0, 0.3f);
      }
    });
  }
  for (auto& t : threads) t.join();
  if (display) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(EntryPointTest, HostFacingHardeningOnTheInstrument) {
  auto p = Load();
  ASSERT_TRUE(p);
  const int pitch = p->FindParam("Pitch");
  const int gain = p->FindParam("Amp gain");
  ASSERT_GE(pitch, 0);
  ASSERT_GE(gain, 0);
  p->SetParameter(pitch, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(p->GetParameter(pitch), 0.5f);  // default 0 of -24..24 untouched
  p->SetParameter(pitch, 5.0f);
  EXPECT_EQ(p->ParamDisplay(pitch), "24");
  EXPECT_EQ(p->GetParameter(240), 0.0f);
  p->SetParameter(-1, 0.5f);
  {
    testing::CommaLocale locale;
    EXPECT_TRUE(p->SetParameterText(pitch, "2.7"));
    EXPECT_EQ(p->ParamDisplay(pitch), "2");  // stored 2.7, shown truncated
    EXPECT_EQ(p->ParamDisplay(gain), "50.00");
  }
  p->SetSampleRate(-1.0);
  p->SetBlockSize(0);
  p->SetSampleRate(48000.0);
  p->SetBlockSize(256);
  p->Resume();
  p->SendMidi({{0, {0x90, 60, 100}}, {100, {0x80, 60, 0}}});
  std::vector<float> l(4096 + 16, 5.0f), r(4096 + 16, 5.0f);
  float* outs[2] = {l.data(), r.data()};
  const unsigned int before = _mm_getcsr();
  p->ProcessFloat(outs, 4096);  // 16 announced blocks in one call
  EXPECT_EQ(_mm_getcsr(), before);
  EXPECT_EQ(p->Log().wantMidiCalls, 1);
  EXPECT_EQ(l[4096], 5.0f);
  for (int i = 0; i < 4096; ++i) ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i]));
}

TEST(EntryPointTest, FuzzedChunksOnTheInstrument) {
  auto p = Load();
  ASSERT_TRUE(p);
  const std::vector<uint8_t> program = p->GetChunk(false);
  ASSERT_EQ(program.size(), 1928u);
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = program;
    if (round % 2) {
      bytes.resize(rng() % 2000);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    } else {
      for (int e = 0; e < 8; ++e) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      bytes.resize(rng() % (bytes.size() + 1));
    }
    p->SetChunk(bytes, round % 3 == 0);
    for (int i = 0; i < 240; i += 7) {
      const float x = p->GetParameter(i);
      ASSERT_TRUE(x >= 0.0f && x <= 1.0f) << i;
    }
  }
  EXPECT_TRUE(p->SetChunk(program, false));
}

}  // namespace
}  // namespace morvanta
