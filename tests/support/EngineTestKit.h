// Helpers for the engine tests: the "init" sound's snapshot, a recording
// engine host, MIDI shorthands, block rendering and signal measurements.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "engine/SynthEngine.h"
#include "engine/ParamSnapshot.h"

namespace morvanta {
namespace testkit {

// The snapshot the instrument builds from its parameter defaults ("init").
ParamSnapshot InitSnapshot();

// A snapshot from random stored values of every sound parameter (normalised
// values uniform in 0..1, a quarter of them at 0 or 1).
ParamSnapshot RandomSnapshot(std::mt19937& gen);

class RecordingHost : public EngineHost {
 public:
  double tempo = 0.0;
  std::vector<double> wheels;
  double HostTempo() override { return tempo; }
  void OnModWheelFromMidi(double wheel) override { wheels.push_back(wheel); }
};

inline MidiMessage NoteOn(int note, int velocity = 127, int offset = 0) {
  return MidiMessage{offset, 0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)};
}
inline MidiMessage NoteOff(int note, int offset = 0) {
  return MidiMessage{offset, 0x80, static_cast<uint8_t>(note), 0};
}

struct Stereo {
  std::vector<double> left, right;
};

// Renders `frames` samples in blocks of `block`.
Stereo Render(SynthEngine& engine, const ParamSnapshot& snap, int frames, double rate = 44100.0,
              int block = 512);

// Frequency from the upward zero crossings (linearly interpolated) of x[begin..end).
double ZeroCrossingFrequency(const std::vector<double>& x, size_t begin, size_t end, double rate);

double Peak(const std::vector<double>& x, size_t begin, size_t end);

bool AllFinite(const std::vector<double>& x);

// An engine with a recording host and the "init" snapshot.
struct EngineRig {
  RecordingHost host;
  SynthEngine engine{host};
  ParamSnapshot snap = InitSnapshot();
};

}  // namespace testkit
}  // namespace morvanta
