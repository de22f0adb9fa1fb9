// The synth engine: the per-block render frame over 16 fixed voice slots,
// the MIDI event queue, the bus stages and the effects. Plain records owned
// by the instrument; nothing here allocates while rendering.
#pragma once

#include <cstdint>
#include <vector>

#include "instrument/ParamSnapshot.h"

namespace morvanta {

struct MidiMessage {
  int32_t offset = 0;  // frames from the start of the next block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

// What the engine needs from the instance around it.
class EngineHost {
 public:
  virtual ~EngineHost() = default;
  virtual double HostTempo() = 0;  // beats per minute, 0 when none
  // Controller 1 or channel pressure moved the wheel (0..1): the instance
  // mirrors it into its snapshot and the "Mod wheel" parameter.
  virtual void OnModWheelFromMidi(double wheel) = 0;
};

class SynthEngine {
 public:
  explicit SynthEngine(EngineHost& host);
  SynthEngine(const SynthEngine&) = delete;
  SynthEngine& operator=(const SynthEngine&) = delete;

  void SetAftertouchToModW(bool on) { aftertouchToModW_ = on; }
  bool AftertouchToModW() const { return aftertouchToModW_; }

  // Queues a message by offset (equal offsets keep arrival order); drops
  // kinds the instrument does not use.
  void MidiReceived(const MidiMessage& m);
  // Takes the snapshot, handles due events at their offsets, renders
  // `frames` samples into left and right, and shifts the remaining events.
  void RenderBlock(const ParamSnapshot& snapshot, double* left, double* right, int frames,
                   double sampleRate);
  void Reset(double sampleRate, int blockSize);
  // Engine part of a restored preset: voices idle, held notes and every
  // effect buffer cleared, then the snapshot applied.
  void HardReset(const ParamSnapshot& snapshot);

  // Inspection for tests.
  int QueuedEvents() const { return static_cast<int>(queue_.size()); }
  const std::vector<MidiMessage>& HandledEventsForTest() const { return handled_; }

 private:
  EngineHost& host_;
  bool aftertouchToModW_ = true;
  std::vector<MidiMessage> queue_;
  std::vector<MidiMessage> handled_;
};

}  // namespace morvanta
