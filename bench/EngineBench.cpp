// Engine throughput: 16 sounding voices with all 16 harmonics up, 44.1 kHz,
// 512-frame blocks; reports CPU seconds per second of audio.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/SynthEngine.h"

namespace {

using morvanta::MidiMessage;
using morvanta::ParamSnapshot;
using morvanta::SynthEngine;

class QuietHost : public morvanta::EngineHost {
 public:
  double HostTempo() override { return 120.0; }
  void OnModWheelFromMidi(double) override {}
};

void RenderSixteenVoices(benchmark::State& state, bool referenceSine, int shape) {
  constexpr double kRate = 44100.0;
  constexpr int kBlock = 512;
  QuietHost host;
  SynthEngine engine(host);
  engine.Reset(kRate, kBlock);
  engine.UseReferenceSine(referenceSine);
  ParamSnapshot snap;
  snap.voiceMode = 2;
  snap.oscShape = shape;
  for (double& h : snap.harmonics) h = 1.0;
  snap.harmonicsLfoAmp = 0.5;
  snap.filterFrequency = 0.6;
  snap.filterResonance = 0.3;
  for (int n = 0; n < 16; ++n) engine.MidiReceived(MidiMessage{0, 0x90, static_cast<uint8_t>(40 + 2 * n), 100});
  std::vector<double> left(kBlock), right(kBlock);
  engine.RenderBlock(snap, left.data(), right.data(), kBlock, kRate);
  int64_t frames = 0;
  for (auto _ : state) {
    engine.RenderBlock(snap, left.data(), right.data(), kBlock, kRate);
    benchmark::DoNotOptimize(left.data());
    frames += kBlock;
  }
  state.counters["cpu_s_per_audio_s"] =
      benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SixteenVoices(benchmark::State& state) { RenderSixteenVoices(state, false, 0); }
void BM_SixteenVoicesReferenceSine(benchmark::State& state) { RenderSixteenVoices(state, true, 0); }
void BM_SixteenVoicesSaw(benchmark::State& state) { RenderSixteenVoices(state, false, 3); }

}  // namespace

BENCHMARK(BM_SixteenVoices);
BENCHMARK(BM_SixteenVoicesReferenceSine);
BENCHMARK(BM_SixteenVoicesSaw);
BENCHMARK_MAIN();
