// A small VstAdapter-derived instrument for tests: four parameters, three
// program slots, layout "0-2"; it records the hooks the adapter calls and
// renders a known ramp so the audio exchange can be checked sample by sample.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/VstAdapter.h"

namespace morvanta {
namespace testing {

struct RecordedMidi {
  int32_t offset;
  uint8_t status, data1, data2;
};

// Parameters: 0 "Gain" double 0..100 step 0.01 "%"; 1 "Pitch" int -24..24;
// 2 "Attack" double 0..5 step 0.01 shape 3 "s"; 3 undefined.
class RecordingInstrument : public VstAdapter {
 public:
  explicit RecordingInstrument(HostCallback host = nullptr, bool withEditor = true);

  void Reset() override { ++resets; }
  void ParameterChanged(int index) override { changed.push_back(index); }
  void SetActive(bool active) override { activeCalls.push_back(active); }
  void MidiReceived(int32_t offset, uint8_t status, uint8_t d1, uint8_t d2) override {
    midi.push_back({offset, status, d1, d2});
  }
  void SysExReceived(int32_t offset, int32_t size, const uint8_t* bytes) override;
  void OnPresetRestored() override { ++presetRestores; }
  // Channel c, frame i of the n-th frame overall: (frameCounter + 1) * (c + 1) / 3.
  void RenderBlock(double** inputs, double** outputs, int frames) override;

  int resets = 0;
  int presetRestores = 0;
  std::vector<int> changed;
  std::vector<bool> activeCalls;
  std::vector<RecordedMidi> midi;
  std::vector<int> renderedBlocks;
  std::vector<uint8_t> sysex;
  long frameCounter = 0;
  double fixedSample = 0.0;  // when non-zero, rendered instead of the ramp
  unsigned int mxcsrDuringRender = 0;
};

// The value sample number n (counted over all blocks from 0) of channel c takes.
double RampSample(long n, int channel);

// A stand-in editor of a given size that remembers what it was told.
class FakeEditor : public EditorLink {
 public:
  FakeEditor(int w, int h, bool opens) : w_(w), h_(h), opens_(opens) {}
  void ParameterDisplayUpdate(int index, double value, bool normalised) override {
    updates.push_back({index, value, normalised});
  }
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  bool Open(void*) override { return opens_; }
  void Close() override { ++closes; }

  struct Update {
    int index;
    double value;
    bool normalised;
  };
  std::vector<Update> updates;
  int closes = 0;

 private:
  int w_, h_;
  bool opens_;
};

}  // namespace testing
}  // namespace morvanta
