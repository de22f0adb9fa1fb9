// Full-chain throughput: 16 voices with all harmonics up through the bus
// stages, chorus, delay and reverb (44.1 kHz, 512-frame blocks), and each
// effect alone; reports CPU seconds per second of audio.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "dsp/ChorusEffect.h"
#include "dsp/ReverbNetwork.h"
#include "dsp/StereoDelay.h"
#include "engine/SynthEngine.h"

namespace {

using morvanta::MidiMessage;
using morvanta::ParamSnapshot;

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

class TempoHost : public morvanta::EngineHost {
 public:
  double HostTempo() override { return 120.0; }
  void OnModWheelFromMidi(double) override {}
};

ParamSnapshot EffectsOn() {
  ParamSnapshot p;
  p.voiceMode = 2;
  for (double& h : p.harmonics) h = 1.0;
  p.distortion = 0.3;
  p.tubeDrive = 0.3;
  p.chorusOn = 1;
  p.delayOn = 1;
  p.reverbOn = 1;
  p.reverbMix = 0.4;
  return p;
}

void ReportRate(benchmark::State& state, int64_t frames) {
  state.counters["cpu_s_per_audio_s"] = benchmark::Counter(
      static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FullChain(benchmark::State& state) {
  TempoHost host;
  auto engine = std::make_unique<morvanta::SynthEngine>(host);
  engine->Reset(kRate, kBlock);
  const ParamSnapshot p = EffectsOn();
  for (int n = 0; n < 16; ++n)
    engine->MidiReceived(MidiMessage{0, 0x90, static_cast<uint8_t>(40 + 2 * n), 100});
  std::vector<double> left(kBlock), right(kBlock);
  for (int b = 0; b < 100; ++b) engine->RenderBlock(p, left.data(), right.data(), kBlock, kRate);
  int64_t frames = 0;
  for (auto _ : state) {
    engine->RenderBlock(p, left.data(), right.data(), kBlock, kRate);
    benchmark::DoNotOptimize(left.data());
    frames += kBlock;
  }
  ReportRate(state, frames);
}

// A repeatable dense input block for the effects alone.
std::vector<double> NoiseBlock(uint32_t seed) {
  std::vector<double> v(kBlock);
  for (double& x : v) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<double>(seed) / 4294967296.0 - 0.5;
  }
  return v;
}

void BM_Chorus(benchmark::State& state) {
  auto chorus = std::make_unique<morvanta::ChorusEffect>();
  chorus->SetSampleRate(kRate);
  const ParamSnapshot p = EffectsOn();
  const std::vector<double> inL = NoiseBlock(1), inR = NoiseBlock(2);
  int64_t frames = 0;
  for (auto _ : state) {
    chorus->BlockUpdate(kRate, ChorusSettingsOf(p));
    for (int s = 0; s < kBlock; ++s) {
      double l = inL[s], r = inR[s];
      chorus->Process(l, r);
      benchmark::DoNotOptimize(l + r);
    }
    frames += kBlock;
  }
  ReportRate(state, frames);
}

void BM_Delay(benchmark::State& state) {
  auto delay = std::make_unique<morvanta::StereoDelay>();
  ParamSnapshot p = EffectsOn();
  p.delayDrive = 0.8;
  const std::vector<double> inL = NoiseBlock(3), inR = NoiseBlock(4);
  int64_t frames = 0;
  for (auto _ : state) {
    delay->BlockUpdate(kRate, 120.0, DelaySettingsOf(p));
    for (int s = 0; s < kBlock; ++s) {
      double l = inL[s], r = inR[s];
      delay->Process(l, r);
      benchmark::DoNotOptimize(l + r);
    }
    frames += kBlock;
  }
  ReportRate(state, frames);
}

// The same through the block entry points, as the engine's bus calls them:
// `update` is the block's settings, `process` runs the block in place.
template <class Update, class Process>
void TimeBlocks(benchmark::State& state, uint32_t seed, Update update, Process process) {
  const std::vector<double> inL = NoiseBlock(seed), inR = NoiseBlock(seed + 1);
  std::vector<double> l(kBlock), r(kBlock);
  int64_t frames = 0;
  for (auto _ : state) {
    update();
    l = inL;
    r = inR;
    process(l.data(), r.data());
    benchmark::DoNotOptimize(l.data());
    benchmark::DoNotOptimize(r.data());
    frames += kBlock;
  }
  ReportRate(state, frames);
}

void BM_ChorusBlock(benchmark::State& state) {
  auto chorus = std::make_unique<morvanta::ChorusEffect>();
  chorus->SetSampleRate(kRate);
  const ParamSnapshot p = EffectsOn();
  TimeBlocks(
      state, 1, [&] { chorus->BlockUpdate(kRate, ChorusSettingsOf(p)); },
      [&](double* l, double* r) { chorus->ProcessBlock(l, r, kBlock); });
}

void BM_DelayBlock(benchmark::State& state) {
  auto delay = std::make_unique<morvanta::StereoDelay>();
  ParamSnapshot p = EffectsOn();
  p.delayDrive = 0.8;
  TimeBlocks(
      state, 3, [&] { delay->BlockUpdate(kRate, 120.0, DelaySettingsOf(p)); },
      [&](double* l, double* r) { delay->ProcessBlock(l, r, kBlock); });
}

void BM_Reverb(benchmark::State& state) {
  auto reverb = std::make_unique<morvanta::ReverbNetwork>();
  reverb->SetSampleRate(kRate);
  const ParamSnapshot p = EffectsOn();
  const std::vector<double> inL = NoiseBlock(5), inR = NoiseBlock(6);
  int64_t frames = 0;
  for (auto _ : state) {
    reverb->UpdateSettings(p.reverb);
    for (int s = 0; s < kBlock; ++s) {
      double wl, wr;
      reverb->Process(inL[s], inR[s], &wl, &wr);
      benchmark::DoNotOptimize(wl + wr);
    }
    frames += kBlock;
  }
  ReportRate(state, frames);
}

// The reverb as the bus runs it: 64-frame blocks.
void BM_ReverbBlocks(benchmark::State& state) {
  auto reverb = std::make_unique<morvanta::ReverbNetwork>();
  reverb->SetSampleRate(kRate);
  const ParamSnapshot p = EffectsOn();
  const std::vector<double> inL = NoiseBlock(5), inR = NoiseBlock(6);
  constexpr int kChunk = 64;
  double wetL[kChunk], wetR[kChunk];
  int64_t frames = 0;
  for (auto _ : state) {
    reverb->UpdateSettings(p.reverb);
    for (int start = 0; start < kBlock; start += kChunk) {
      reverb->ProcessBlock(inL.data() + start, inR.data() + start, wetL, wetR, kChunk);
      benchmark::DoNotOptimize(wetL[0] + wetR[kChunk - 1]);
    }
    frames += kBlock;
  }
  ReportRate(state, frames);
}

}  // namespace

BENCHMARK(BM_FullChain);
BENCHMARK(BM_Chorus);
BENCHMARK(BM_Delay);
BENCHMARK(BM_ChorusBlock);
BENCHMARK(BM_DelayBlock);
BENCHMARK(BM_Reverb);
BENCHMARK(BM_ReverbBlocks);
BENCHMARK_MAIN();
