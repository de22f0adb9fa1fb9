// The engine through the shipped plug-in and our host: the "init" sound's
// pitch and level, and the pitch wheel.
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

// One second of float output after the events, at 44.1 kHz in 512-frame blocks.
std::vector<double> PlayLeft(const std::vector<MidiEvent>& events) {
  std::string error;
  auto p = host::PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  EXPECT_TRUE(p) << error;
  std::vector<double> out;
  if (!p) return out;
  p->SetSampleRate(44100.0);
  p->SetBlockSize(512);
  p->Resume();
  p->SendMidi(events);
  std::vector<float> l(512), r(512);
  while (out.size() < 44100) {
    float* outs[2] = {l.data(), r.data()};
    p->ProcessFloat(outs, 512);
    out.insert(out.end(), l.begin(), l.end());
  }
  return out;
}

MidiEvent Event(uint8_t status, uint8_t d1, uint8_t d2) {
  MidiEvent e;
  e.bytes[0] = status;
  e.bytes[1] = d1;
  e.bytes[2] = d2;
  return e;
}

TEST(PluginSound, InitNote69Is440HzAtHalfEnvSquaredGain) {
  auto left = PlayLeft({Event(0x90, 69, 127)});
  EXPECT_NEAR(testkit::ZeroCrossingFrequency(left, 22050, 44100, 44100.0), 440.0, 0.05);
  // Sustain 1, "Amp gain" 50 % squared, velocity factor 1, centre pan sqrt(0.5).
  const double expected = 0.5 * 0.25 * std::sqrt(0.5);
  EXPECT_NEAR(testkit::Peak(left, 22050, 44100), expected, 0.01 * expected);
}

TEST(PluginSound, PitchWheelAtTheBottomIsAnOctaveDown) {
  auto left = PlayLeft({Event(0xE0, 0, 0), Event(0x90, 69, 127)});
  EXPECT_NEAR(testkit::ZeroCrossingFrequency(left, 22050, 44100, 44100.0), 220.0, 0.05);
}

}  // namespace
}  // namespace morvanta
