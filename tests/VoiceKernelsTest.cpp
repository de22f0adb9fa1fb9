// The voices side by side: the sine-sum and filter lanes give the one-voice
// code's bits on every instruction set, the oscillator's two halves with their
// kept weights give Render's bits through level, growth and damping changes,
// and the engine's output depends neither on the instruction set nor on where
// the blocks end (notes starting and ending mid-block, stealing, partials and
// the harmonics LFO switched off and on).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsp/PhaseWrap.h"
#include "dsp/SimdDispatch.h"
#include "dsp/VoiceFilter.h"
#include "dsp/VoiceKernels.h"
#include "dsp/VoiceOscillator.h"
#include "engine/HarmonicsLfoBank.h"
#include "support/EngineTestKit.h"
#include "support/EveryTarget.h"

namespace morvanta {
namespace {

using testkit::Bits;
using testkit::OnEveryTarget;

TEST(VoiceKernelsTest, SineLanesRepeatTheOneVoiceSumOnEveryTarget) {
  OnEveryTarget([] {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    SineLanes lanes = {};
    for (int trial = 0; trial < 3000; ++trial) {
      const int count = 1 + static_cast<int>(gen() % kKernelLanes);
      for (int i = 0; i < kKernelLanes; ++i) {
        const int kind = static_cast<int>(gen() % 16);
        // Phases as the oscillator makes them, angles on every quadrant
        // boundary's either side, and some beyond the polynomial range.
        double x0 = 6.2831853 * unit(gen);
        if (kind == 0) x0 = -x0;
        if (kind == 1) x0 = 1.5707963267948966 * static_cast<double>(gen() % 8);
        if (kind == 2) x0 = 3e12 * unit(gen);
        if (kind == 3) x0 = 0.0;
        lanes.x0[i] = x0;
        lanes.stretch[i] = 1.0 + unit(gen) / 4.0;
        const int top = static_cast<int>(gen() % 17) - 1;
        lanes.top[i] = top;
        for (int k = 0; k < 16; ++k) lanes.amp[k][i] = k <= top && gen() % 4 != 0 ? unit(gen) : 0.0;
        if (top >= 0) lanes.amp[top][i] = 0.25 + unit(gen);
      }
      SumSineLanes(lanes, count);
      for (int i = 0; i < count; ++i) {
        const double want = SinePartialSum(lanes.x0[i], lanes.stretch[i], &lanes.amp[0][i], kKernelLanes,
                                           static_cast<int>(lanes.top[i]));
        ASSERT_EQ(Bits(lanes.sum[i]), Bits(want)) << "trial " << trial << " lane " << i;
      }
    }
  });
}

TEST(VoiceKernelsTest, FilterLanesRepeatVoiceFilterOnEveryTarget) {
  OnEveryTarget([] {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    constexpr int kVoices = kKernelLanes;
    FilterLanes lanes = {};
    VoiceFilter ref[kVoices], lane[kVoices];
    for (int i = 0; i < kVoices; ++i) lane[i].BindLane(lanes, i);
    const double mixes[] = {0.0, 0.25, 0.5, 0.75, 1.0};
    for (int step = 0; step < 4000; ++step) {
      // Some voices sit a step out now and then: their lanes keep their state.
      const int count = step % 7 == 0 ? 1 + static_cast<int>(gen() % kVoices) : kVoices;
      double x[kVoices];
      for (int i = 0; i < count; ++i) {
        // Controls move now and then: the tangent is kept between moves.
        if (gen() % 64 == 0) {
          const double cutoff = 0.02 + 22.0 * unit(gen);
          // A low host rate puts the smoothed cutoff past Nyquist.
          const double prewarp = static_cast<double>(3.14159265358979f) / (gen() % 4 == 0 ? 8000.0 : 44100.0);
          const double mix = gen() % 2 ? mixes[gen() % 5] : unit(gen);
          const double q = gen() % 3 == 0 ? 1.0 : unit(gen);
          for (VoiceFilter* f : {&ref[i], &lane[i]}) {
            f->cutoffKHz = cutoff;
            f->prewarp = prewarp;
            f->mix = mix;
            f->SetResonance(q);
          }
        }
        if (gen() % 500 == 0) {
          ref[i].Reset();
          lane[i].Reset();
        }
        // Loud input drives the band-pass into its clip.
        x[i] = (unit(gen) - 0.5) * (gen() % 10 == 0 ? 40.0 : 1.0);
        lanes.active[i] = step % 5 == 0 && gen() % 3 == 0 ? 0.0 : 1.0;
        lanes.x[i] = x[i];
        lane[i].ControlsToLane();
      }
      ProcessFilterLanes(lanes, count);
      for (int i = 0; i < count; ++i) {
        if (lanes.active[i] != 0.0) {
          const double want = ref[i].Process(x[i]);
          ASSERT_EQ(Bits(lanes.y[i]), Bits(want)) << "step " << step << " lane " << i;
        }
        ASSERT_EQ(Bits(lane[i].Cutoff()), Bits(ref[i].Cutoff())) << "step " << step << " lane " << i;
      }
      // The lanes past the count were left alone as well.
      for (int i = count; i < kVoices; ++i) ASSERT_EQ(Bits(lane[i].Cutoff()), Bits(ref[i].Cutoff()));
    }
    // A bound filter's own steps go through its lane too.
    for (int n = 0; n < 100; ++n) ASSERT_EQ(Bits(lane[3].Process(0.1)), Bits(ref[3].Process(0.1)));
  });
}

TEST(VoiceKernelsTest, OscillatorHalvesKeepRendersBitsThroughLevelGrowthAndDampingChanges) {
  constexpr int kCount = 3;
  double shared[16] = {1.0};
  uint64_t version = 1;
  VoiceOscillator ref[kCount], split[kCount];
  for (int i = 0; i < kCount; ++i) {
    ref[i].ShareLevels(shared);             // works the weights out every sample
    split[i].ShareLevels(shared, &version);  // keeps them while the version stands
    for (VoiceOscillator* o : {&ref[i], &split[i]}) {
      o->SetSampleRate(44100.0);
      o->StartNote(60 + 7 * i, 0.3 + 0.3 * i, 261.0 * (i + 1), kOscSine, false, 0.0, 0.0, 0.0);
    }
  }
  SineLanes lanes = {};
  for (int n = 0; n < 4000; ++n) {
    auto both = [&](auto change) {
      for (int i = 0; i < kCount; ++i) {
        change(ref[i]);
        change(split[i]);
      }
    };
    // Partials switched on and off, the slope growing them for a while, the
    // velocity damping coming in, the stretch moving; each change of the
    // shared levels is counted, as the engine does.
    if (n == 500 || n == 2500 || n == 3200) {
      for (int k = 1; k < 16; ++k) shared[k] = n == 2500 ? 0.0 : 0.5 / k;
      ++version;
    }
    if (n == 1000) both([](VoiceOscillator& o) { o.slopeRate = -0.4; });
    if (n == 1500) both([](VoiceOscillator& o) { o.slopeRate = 0.0; });
    if (n == 2000) both([](VoiceOscillator& o) { o.velocityToHarmonics = 0.7; });
    if (n == 3000) both([](VoiceOscillator& o) { o.harmPhase = 0.6; });
    // A turn on another shape in between leaves the lane alone.
    if (n == 3500) both([](VoiceOscillator& o) { o.baseShape = kOscSaw; });
    if (n == 3600) both([](VoiceOscillator& o) { o.baseShape = kOscSine; });
    double sums[kCount] = {};
    bool inLane[kCount];
    for (int i = 0; i < kCount; ++i) inLane[i] = split[i].Begin(lanes, i, &sums[i]);
    SumSineLanes(lanes, kCount);
    for (int i = 0; i < kCount; ++i) {
      const double got = split[i].Finish(inLane[i] ? lanes.sum[i] : sums[i]);
      ASSERT_EQ(Bits(got), Bits(ref[i].Render())) << "sample " << n << " voice " << i;
    }
  }
}

// The other shapes' sums side by side against the one-voice render, at the
// edges their branches turn on: phases on eighths of a turn (the triangle's
// corners, a pulse width equal to the phase), widths of 0 and below, the
// classic stop at the fundamental, levels of 0, below 0 and NaN, growth,
// damping, stretch and a multi-pulse phase rounding up to the last partial.
TEST(VoiceKernelsTest, ShapeLanesRepeatTheOneVoicePartialSumsOnEveryTarget) {
  OnEveryTarget([] {
    constexpr int kCount = 16;
    double shared[16] = {1.0, 0.5, 0.0, -0.25, 0.8, 0.0, 0.3, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.6};
    uint64_t version = 1;
    const int shapes[4] = {kOscTriangle, kOscSquare, kOscSaw, kOscMultiPulse};
    const double widths[4] = {0.5, 0.25, 0.0, -0.1};
    VoiceOscillator ref[kCount], split[kCount];
    for (int i = 0; i < kCount; ++i) {
      ref[i].ShareLevels(shared);
      split[i].ShareLevels(shared, &version);
      for (VoiceOscillator* o : {&ref[i], &split[i]}) {
        o->SetSampleRate(44100.0);
        // An eighth of a turn per sample for the first voices, other pitches for the rest.
        const double f = i < 8 ? 44100.0 / 8.0 : 97.0 * (i + 1);
        o->StartNote(60, 0.25 + 0.05 * i, f, shapes[i % 4], false, 0.0, 0.0, 0.0);
        o->pulseWidth = widths[(i / 4) % 4];
        o->pulseWidthMode = i % 3 == 0 ? kPulseClassic : kPulseHarmonic;
      }
    }
    static ShapeLanes lanes;
    static SineLanes sine;
    alignas(64) double sums[kCount] = {};
    for (int n = 0; n < 3000; ++n) {
      auto both = [&](auto change) {
        for (int i = 0; i < kCount; ++i) {
          change(i, ref[i]);
          change(i, split[i]);
        }
      };
      if (n == 400) {
        shared[2] = std::nan("");
        shared[14] = 0.7;
        ++version;
      }
      if (n == 800) both([](int, VoiceOscillator& o) { o.slopeRate = 0.3; });
      if (n == 1200) both([](int, VoiceOscillator& o) { o.slopeRate = 0.0; });
      if (n == 1600) both([](int, VoiceOscillator& o) { o.velocityToHarmonics = 0.8; });
      if (n == 2000) both([](int i, VoiceOscillator& o) { o.harmPhase = 0.1 * (i % 5); });
      if (n == 2400) both([](int i, VoiceOscillator& o) { o.pulseWidth = i % 2 == 0 ? 0.125 : 0.375; });
      uint32_t bits[kNumOscShapes] = {};
      double ignored = 0.0;
      for (int i = 0; i < kCount; ++i) {
        ASSERT_FALSE(split[i].Begin(sine, i, &ignored, false, &lanes));
        bits[split[i].steps.Shape()] |= 1u << i;
      }
      for (int shape = 0; shape < kNumOscShapes; ++shape) {
        if (bits[shape] != 0) SumShapeLanes(lanes, bits[shape], shape, shared, sums);
      }
      for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(Bits(split[i].Finish(sums[i])), Bits(ref[i].Render())) << "sample " << n << " voice " << i;
      }
    }
  });
}

// The partials' growth and weights side by side against the one-partial
// loops they replace, with levels and growths at and beyond the holds
// (0, below 0, NaN, infinity, the ceiling and the floor).
TEST(VoiceKernelsTest, PartialGrowthAndWeightsRepeatTheOnePartialLoopsOnEveryTarget) {
  OnEveryTarget([] {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double odd[] = {0.0, -0.0, -0.5, NAN, INFINITY, 1e150, 2e150, 1e-150, 0.9e-150, 1.0, 4.0};
    auto pick = [&] { return gen() % 4 == 0 ? odd[gen() % 11] : unit(gen) * 3.0; };
    for (int n = 0; n < 2000; ++n) {
      double levels[16], growth[16], damping[16];
      for (int k = 0; k < 16; ++k) {
        levels[k] = gen() % 3 == 0 ? 0.0 : pick();
        growth[k] = pick();
        damping[k] = gen() % 5 == 0 ? pick() : 1.0 - unit(gen);
      }
      const double step = n % 7 == 0 ? odd[gen() % 11] : (unit(gen) - 0.5) * 1e-3;
      double grown[16];
      std::memcpy(grown, growth, sizeof grown);
      GrowPartials(grown, step, 1e150, 1e-150);
      double weights[16];
      const int top = WeighPartials(levels, grown, damping, weights);
      int wantTop = -1;
      for (int k = 0; k < 16; ++k) {
        double g = growth[k] * (1.0 + static_cast<double>(k) * step);
        g = g > 1e150 ? 1e150 : g;
        g = g < 1e-150 ? 0.0 : g;
        ASSERT_EQ(Bits(grown[k]), Bits(g)) << n << " " << k;
        const double gain = levels[k] * g * g;
        const double capped = gain < 1.0 ? gain : 1.0;
        const double w = (capped > 0.0 ? capped : 0.0) * damping[k];
        ASSERT_EQ(Bits(weights[k]), Bits(w)) << n << " " << k;
        if (w != 0.0) wantTop = k;
      }
      ASSERT_EQ(top, wantTop) << n;
    }
  });
}

TEST(VoiceKernelsTest, PhaseWrapGivesTheFloorsBits) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> xs = {0.0, -0.0, 1.0, 2.0, -1.0, std::nextafter(1.0, 0.0), std::nextafter(2.0, 0.0),
                            std::nextafter(0.0, 1.0), 1e300, -1e-300, INFINITY, -INFINITY, NAN};
  for (int n = 0; n < 100000; ++n) xs.push_back((unit(gen) - 0.25) * (n % 3 == 0 ? 2.5 : 40.0));
  for (double x : xs) {
    const double want = x - std::floor(x);
    if (std::isnan(want)) {
      EXPECT_TRUE(std::isnan(WrapPhase(x))) << x;
    } else {
      ASSERT_EQ(Bits(WrapPhase(x)), Bits(want)) << x;
    }
  }
}

TEST(VoiceKernelsTest, HarmonicsBankReportsOnlyGainsThatMoved) {
  HarmonicsLfoBank bank;
  double levels[16] = {1.0, 0.5};
  double gains[16] = {};
  EXPECT_TRUE(bank.Tick(0.5, 0.0, levels, 1.0 / 44100.0, gains));  // from the zeros
  for (int n = 0; n < 1000; ++n) ASSERT_FALSE(bank.Tick(0.5, 0.0, levels, 1.0 / 44100.0, gains)) << n;
  levels[15] = 0.25;
  EXPECT_TRUE(bank.Tick(0.5, 0.0, levels, 1.0 / 44100.0, gains));
  EXPECT_FALSE(bank.Tick(0.5, 0.0, levels, 1.0 / 44100.0, gains));
  // With depth the triangles move every gain on every sample.
  for (int n = 0; n < 100; ++n) ASSERT_TRUE(bank.Tick(0.5, 0.3, levels, 1.0 / 44100.0, gains)) << n;
}

// The bank's triangles side by side against the one-by-one steps, on every
// target: slow and fast speeds (a step of more than one wrap falls back),
// depths of either sign, zero and NaN, and levels that change.
TEST(VoiceKernelsTest, HarmonicsBankLanesMatchTheStepsOneByOne) {
  struct Reference {
    double phases[16] = {}, gains[16] = {};
    bool Tick(double speed, double depth, const double* levels, double invRate) {
      bool moved = false;
      for (int k = 0; k < 16; ++k) {
        const double r = (k * 0.0625 * 1.763 + 0.0625) * k * 0.025 + 0.5;
        double p = phases[k] + r * (9.9 * speed + 0.1) * invRate;
        while (p > 4.0) p -= 4.0;
        phases[k] = p;
        const double tri = p < 1.0 ? p : (p < 3.0 ? 2.0 - p : p - 4.0);
        double m = tri * depth;
        if (k == 0) m *= 0.5;
        const double g = (m + 1.0) * levels[k] * levels[k];
        moved |= Bits(g) != Bits(gains[k]);
        gains[k] = g;
      }
      return moved;
    }
  };
  for (const std::string& t : SimdTargetsAvailable()) {
    ASSERT_TRUE(ForceSimdTarget(t)) << t;
    HarmonicsLfoBank bank;
    Reference ref;
    double gains[16] = {};
    double levels[16];
    for (int k = 0; k < 16; ++k) levels[k] = k % 3 == 1 ? 0.0 : 1.0 / (k + 1);
    const double speeds[] = {0.0, 0.3, 1.0, 5000.0, 1e6};  // the last two wrap more than once
    const double depths[] = {0.0, 0.7, -1.0, NAN};
    for (int n = 0; n < 4000; ++n) {
      const double speed = speeds[(n / 700) % 5], depth = depths[(n / 300) % 4];
      const double invRate = n % 1000 < 500 ? 1.0 / 44100.0 : 1.0 / 8000.0;
      if (n % 250 == 0) levels[(n / 250 * 5 + 3) % 16] = n % 500 == 0 ? NAN : 0.25;
      const bool moved = bank.Tick(speed, depth, levels, invRate, gains);
      ASSERT_EQ(moved, ref.Tick(speed, depth, levels, invRate)) << t << " " << n;
      for (int k = 0; k < 16; ++k) {
        ASSERT_EQ(Bits(bank.Phase(k)), Bits(ref.phases[k])) << t << " " << n << " " << k;
        ASSERT_EQ(Bits(gains[k]), Bits(ref.gains[k])) << t << " " << n << " " << k;
      }
    }
  }
  ForceSimdTarget("");
}

// A scene with every frame-level decision the voices make: notes starting
// mid-block (pre-roll), a voice going idle mid-block while others sound and
// its filter ringing out, a seventeenth note stealing, the partials and the
// harmonics LFO switched off and on, random LFOs and pitch noise drawing,
// the pitch bend and the wheel moving mid-block. A one-sample block sets
// every control afresh, so it checks the controls kept between samples.
struct TimedMidi {
  int frame;
  MidiMessage message;
};

std::vector<double> RenderScene(int block) {
  testkit::EngineRig r;
  std::vector<TimedMidi> midi;
  for (int k = 0; k < 16; ++k) midi.push_back({37 * k + 3, testkit::NoteOn(40 + 3 * k, 20 + 6 * k)});
  midi.push_back({1500, testkit::NoteOff(43)});
  midi.push_back({2100, testkit::NoteOn(100, 90)});  // all sixteen busy: one is stolen
  midi.push_back({2600, testkit::NoteOff(52)});
  midi.push_back({2300, MidiMessage{0, 0xE0, 0, 80}});  // pitch bend while the controls stand
  midi.push_back({3300, MidiMessage{0, 0xB0, 1, 100}});  // the mod wheel moves them
  midi.push_back({4100, testkit::NoteOn(52, 64)});
  std::stable_sort(midi.begin(), midi.end(), [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
  constexpr int kFrames = 6000;
  std::vector<double> out;
  double left[512], right[512];
  size_t next = 0;
  for (int f = 0; f < kFrames; f += block) {
    ParamSnapshot snap = r.snap;
    snap.modWheel = r.engine.ModWheel();  // the instrument mirrors a MIDI wheel into its snapshot
    snap.adsr1.release = 0.01;  // the released voices go idle within the scene
    snap.adsr2.release = 0.03;  // and their filters ring out a little longer
    snap.lfo1.shape = 4;        // random steps
    snap.lfo1To.pan = 0.3;
    snap.lfo2.shape = 4;
    snap.adsr2.decay = 0.01;  // ADSR2 and the LFOs hold still for long stretches
    snap.lfo2To.fc = 0.4;
    snap.pitchNoise = 0.3;
    snap.velTo.harmonics = 0.5;
    snap.filterMix = 0.3;
    snap.filterResonance = 0.6;
    snap.modwTo.fc = 0.3;
    snap.modwTo.waveShaper = 0.5;
    snap.modwTo.amp = 0.2;
    snap.modwTo.tubeDrive = 0.3;
    // Every harmonic for a while, then only the fundamental, then back with the LFO moving them.
    if (f >= 1000 && f < 3000) {
      for (int k = 0; k < 16; ++k) snap.harmonics[k] = 0.5;
    }
    if (f >= 4000) {
      for (int k = 0; k < 16; ++k) snap.harmonics[k] = 0.4;
      snap.harmonicsLfoAmp = 0.8;
      snap.harmonicsLfoSpeed = 1.0;
    }
    for (; next < midi.size() && midi[next].frame < f + block; ++next) {
      MidiMessage m = midi[next].message;
      m.offset = midi[next].frame - f;
      r.engine.MidiReceived(m);
    }
    r.engine.RenderBlock(snap, left, right, block, 44100.0);
    for (int i = 0; i < block; ++i) {
      out.push_back(left[i]);
      out.push_back(right[i]);
    }
  }
  return out;
}

TEST(VoiceKernelsTest, EngineSamplesIgnoreTheTargetAndTheBlockEnds) {
  std::vector<double> first;
  OnEveryTarget([&] {
    for (int block : {500, 1, 40}) {
      const std::vector<double> out = RenderScene(block);
      if (first.empty()) {
        first = out;
        double peak = 0.0;
        for (double x : out) peak = std::max(peak, std::fabs(x));
        ASSERT_GT(peak, 0.01);
        continue;
      }
      ASSERT_EQ(out.size(), first.size());
      for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(Bits(out[i]), Bits(first[i])) << "block " << block << " at " << i;
    }
  });
}

}  // namespace
}  // namespace morvanta
