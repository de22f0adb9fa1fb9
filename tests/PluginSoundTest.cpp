// The engine through the shipped plug-in and our host: the "init" sound's
// pitch and level, the pitch wheel, sample-accurate note starts and the mod
// wheel mirrored into its parameter.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/EngineTestKit.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

using host::MidiEvent;
using host::PluginInstance;

std::unique_ptr<PluginInstance> Open(double rate = 44100.0, int block = 512) {
  std::string error;
  auto p = PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  EXPECT_TRUE(p) << error;
  if (!p) return p;
  p->SetSampleRate(rate);
  p->SetBlockSize(block);
  p->Resume();
  return p;
}

// Renders `frames` float samples per channel in 512-frame blocks.
testkit::Stereo Play(PluginInstance& p, int frames, int block = 512) {
  testkit::Stereo out;
  std::vector<float> l(static_cast<size_t>(block)), r(static_cast<size_t>(block));
  for (int done = 0; done < frames; done += block) {
    float* outs[2] = {l.data(), r.data()};
    p.ProcessFloat(outs, block);
    out.left.insert(out.left.end(), l.begin(), l.end());
    out.right.insert(out.right.end(), r.begin(), r.end());
  }
  return out;
}

MidiEvent Event(int delta, uint8_t a, uint8_t b, uint8_t c) {
  MidiEvent e;
  e.deltaFrames = delta;
  e.bytes[0] = a;
  e.bytes[1] = b;
  e.bytes[2] = c;
  return e;
}

TEST(PluginSound, InitNote69Is440HzAtTheDesignedLevel) {
  auto p = Open();
  ASSERT_TRUE(p);
  p->SendMidi({Event(0, 0x90, 69, 127)});
  auto out = Play(*p, 44544);
  EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 22050, 44100, 44100.0), 440.0, 0.05);
  const double expected = 0.5 * 0.25 * std::sqrt(0.5);  // 0.5 env1^2 * 0.5^2, centre pan
  EXPECT_NEAR(testkit::Peak(out.left, 22050, 44100), expected, 0.01 * expected);
  EXPECT_NEAR(testkit::Peak(out.right, 22050, 44100), expected, 0.01 * expected);
}

TEST(PluginSound, PitchWheelAtTheBottomIsAnOctaveDown) {
  auto p = Open();
  ASSERT_TRUE(p);
  p->SendMidi({Event(0, 0xE0, 0, 0), Event(0, 0x90, 69, 127)});
  auto out = Play(*p, 22528);
  EXPECT_NEAR(testkit::ZeroCrossingFrequency(out.left, 11025, 22050, 44100.0), 220.0, 0.05);
}

TEST(PluginSound, NoteStartsAtItsDeltaFrame) {
  auto p = Open();
  ASSERT_TRUE(p);
  const int osc = p->FindParam("Osc shape");
  ASSERT_GE(osc, 0);
  p->SetParameter(osc, 0.75f);  // SAW: the first sample of a note is not 0
  p->SendMidi({Event(300, 0x90, 60, 127)});
  auto out = Play(*p, 512);
  for (int s = 0; s < 300; ++s) ASSERT_EQ(out.left[s], 0.0f) << s;
  EXPECT_NE(out.left[300], 0.0f);
}

TEST(PluginSound, ControllerOneSetsTheModWheelParameter) {
  auto p = Open();
  ASSERT_TRUE(p);
  const int wheel = p->FindParam("Mod wheel");
  ASSERT_GE(wheel, 0);
  p->SendMidi({Event(0, 0xB0, 1, 127)});
  Play(*p, 512);
  EXPECT_FLOAT_EQ(p->GetParameter(wheel), 1.0f);
}

}  // namespace
}  // namespace morvanta
