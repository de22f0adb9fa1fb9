// The random shapes (random LFOs, pitch noise, pan spread) draw from each
// instance's own generator: two instances of Morvanta.so in one process render
// the same state and MIDI bit for bit alike, however their calls interleave,
// and a render repeated in a new instance gives the same samples.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

using host::MidiEvent;
using host::PluginInstance;

constexpr int kBlock = 256;
constexpr int kBlocks = 80;

std::unique_ptr<PluginInstance> RandomShapesInstance() {
  std::string error;
  auto p = PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  EXPECT_TRUE(p != nullptr) << error;
  if (!p) return p;
  p->SetSampleRate(44100.0);
  p->SetBlockSize(kBlock);
  const std::pair<const char*, float> settings[] = {
      {"LFO1 shape", 1.0f},          {"LFO1 frequency", 0.6f}, {"Lfo1 -> Amp", 0.9f},
      {"LFO2 shape", 0.8f},          {"LFO2 frequency", 0.5f}, {"Lfo2 -> Pitch noise", 1.0f},
      {"Pitch noise", 0.7f},         {"Stereo spread", 1.0f},
  };
  for (const auto& s : settings) {
    const int index = p->FindParam(s.first);
    EXPECT_GE(index, 0) << s.first;
    p->SetParameter(index, s.second);
  }
  p->Resume();
  return p;
}

// The MIDI of block b: a chord now and then, released later.
std::vector<MidiEvent> BlockMidi(int b) {
  std::vector<MidiEvent> events;
  if (b % 20 == 0)
    for (int n = 0; n < 4; ++n) events.push_back(MidiEvent{n * 7, {0x90, static_cast<uint8_t>(50 + 4 * n + b / 20), 100}});
  if (b % 20 == 12)
    for (int n = 0; n < 4; ++n) events.push_back(MidiEvent{3, {0x80, static_cast<uint8_t>(50 + 4 * n + b / 20), 0}});
  return events;
}

class Take {
 public:
  explicit Take(PluginInstance& p) : p_(p), left_(kBlock), right_(kBlock) {}
  bool Done() const { return block_ >= kBlocks; }
  void Step() {
    p_.SendMidi(BlockMidi(block_++));
    double* outs[2] = {left_.data(), right_.data()};
    p_.ProcessDouble(outs, kBlock);
    samples_.insert(samples_.end(), left_.begin(), left_.end());
    samples_.insert(samples_.end(), right_.begin(), right_.end());
  }
  const std::vector<double>& Samples() const { return samples_; }

 private:
  PluginInstance& p_;
  std::vector<double> left_, right_;
  std::vector<double> samples_;
  int block_ = 0;
};

std::vector<double> RenderAlone() {
  auto p = RandomShapesInstance();
  Take t(*p);
  while (!t.Done()) t.Step();
  return t.Samples();
}

TEST(ReproducibleRenderTest, RepeatedRenderInANewInstanceIsIdentical) {
  const std::vector<double> first = RenderAlone();
  const std::vector<double> second = RenderAlone();
  ASSERT_EQ(first.size(), second.size());
  EXPECT_TRUE(first == second);
  double energy = 0.0;
  for (double x : first) energy += x * x;
  EXPECT_GT(energy, 1.0);  // the take is not silence
}

// Two instances playing the same state and MIDI, their blocks interleaved in
// three ways; a third instance playing something else in between.
TEST(ReproducibleRenderTest, TwoInstancesRenderAlikeInAnyInterleaving) {
  const std::vector<double> reference = RenderAlone();
  for (int pattern = 0; pattern < 3; ++pattern) {
    auto a = RandomShapesInstance();
    auto b = RandomShapesInstance();
    auto other = RandomShapesInstance();
    Take ta(*a), tb(*b), tother(*other);
    for (int step = 0; !ta.Done() || !tb.Done(); ++step) {
      const bool aFirst = pattern == 0 ? true : pattern == 1 ? step % 2 == 0 : step % 3 != 0;
      if (aFirst && !ta.Done()) ta.Step();
      if (pattern == 2 && step % 2 == 1 && !tb.Done()) tb.Step();  // b runs ahead at times
      if (!tother.Done()) {
        other->SendMidi({MidiEvent{0, {0x90, static_cast<uint8_t>(30 + step % 40), 90}}});
        tother.Step();
      }
      if (!tb.Done()) tb.Step();
      if (!aFirst && !ta.Done()) ta.Step();
    }
    EXPECT_TRUE(ta.Samples() == reference) << "pattern " << pattern;
    EXPECT_TRUE(tb.Samples() == reference) << "pattern " << pattern;
  }
}

}  // namespace
}  // namespace morvanta
