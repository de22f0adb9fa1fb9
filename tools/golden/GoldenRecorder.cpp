// The golden recorder: fixed patches (set through parameters, and again
// through the program chunk), a MIDI phrase with bends, CC 1 and aftertouch,
// and automation that switches the effects and partials off and on again,
// rendered on the double and float paths at two sample rates.
#include "tools/golden/GoldenRecorder.h"

#include <fnmatch.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "instrument/ParamTable.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace golden {

namespace {

using host::MidiEvent;
using host::PluginInstance;
using Channels = std::vector<std::vector<double>>;

constexpr unsigned kRandSeed = 12345;     // srand() before every render
constexpr int kRandomPatches = 30;
constexpr unsigned kRandomPatchSeedBase = 7000;  // patch n uses seed base + n
constexpr int kBlockFrames = 256;
constexpr double kRenderSeconds = 0.5;
constexpr double kTempo = 120.0;
constexpr int kRates[] = {44100, 96000};
// A 24-bit file is kept only when its quantisation stays this far below
// each channel's RMS; otherwise the take is stored as 32-bit float.
constexpr double kFlacLimitDb = -125.0;
constexpr double kFullScale24 = 8388607.0;

constexpr int kParams = kNumParams;

struct TimedMidi {
  double seconds;
  uint8_t status, data1, data2;
};

// Notes, bends, CC 1, channel and key aftertouch, a note-on with velocity 0.
constexpr TimedMidi kPhrase[] = {
    {0.000, 0x90, 60, 100}, {0.010, 0xB0, 1, 40},   {0.030, 0x90, 64, 80},
    {0.060, 0x90, 67, 127}, {0.080, 0xE0, 0, 0x50}, {0.110, 0xD0, 90, 0},
    {0.130, 0xE0, 0, 0x20}, {0.160, 0xE0, 0, 0x40}, {0.170, 0xB0, 1, 127},
    {0.200, 0x80, 60, 0},   {0.210, 0x90, 72, 90},  {0.230, 0xA0, 72, 60},
    {0.260, 0xD0, 0, 0},    {0.300, 0x80, 64, 0},   {0.320, 0x90, 48, 70},
    {0.350, 0x80, 67, 64},  {0.380, 0x80, 72, 0},   {0.400, 0x90, 48, 0},
};

struct Automation {
  double seconds;
  int index;
  float value;  // normalised
};

using Patch = std::vector<std::pair<int, float>>;

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

float Normalised(int value, int max) { return static_cast<float>(value) / static_cast<float>(max); }

// The random patches draw from mt19937, whose sequence the standard fixes,
// and map its raw output themselves (the distributions are not portable).
Patch RandomPatch(int n) {
  std::mt19937 gen(kRandomPatchSeedBase + static_cast<unsigned>(n));
  auto unit = [&gen] { return static_cast<float>(gen() >> 8) / 16777216.0f; };
  Patch p;
  for (int i = 0; i < kNumSoundParams; ++i) p.emplace_back(i, unit());
  // Audible and prompt: a gain in the upper half, a short first attack.
  p[kAmpGain].second = 0.5f + 0.5f * p[kAmpGain].second;
  p[kAdsr1Attack].second *= 0.2f;
  return p;
}

Patch ShapePatch(int shape) {
  return {{kOscShape, Normalised(shape, 4)},
          {kHarmonics1 + 1, 0.5f},
          {kHarmonics1 + 2, 0.3f},
          {kHarmonics1 + 6, 0.2f},
          {kPulseWidth, 0.6f},
          {kLfo1Shape, Normalised(shape, 5)},
          {kLfo1Frequency, 0.6f},
          {kLfo1ToPitch, 0.3f},
          {kLfo2Shape, Normalised(5 - shape, 5)},
          {kLfo2ToFC, 0.4f},
          {kFilterFrequency, 0.7f},
          {kFilterResonance, 0.4f}};
}

Patch ModePatch(int mode) {
  Patch p = {{kVoiceMode, Normalised(mode, 2)},
             {kGlideTime, 0.4f},
             {kHarmonics1 + 2, 0.5f},
             {kChorusOn, 1.0f},
             {kDelayOn, 1.0f}};
  if (mode == 1) {
    p.emplace_back(kArpOn, 1.0f);
    p.emplace_back(kArpLiveDirection, Normalised(2, 3));
  }
  return p;
}

const char* const kModeNames[] = {"mono", "livearp", "poly"};

// Everything one case renders: the program it starts from, the patch on top
// (normalised values, then exact values through text entry), the MIDI, the
// automation, the rates and the length.
struct CaseRecipe {
  std::string program;  // factory program name; empty for "init"
  Patch patch;
  std::vector<std::pair<int, std::string>> texts;
  std::vector<TimedMidi> phrase{std::begin(kPhrase), std::end(kPhrase)};
  bool standardAutomation = true;  // the effects/partials switching below
  std::vector<Automation> automation;
  std::vector<int> rates{std::begin(kRates), std::end(kRates)};
  double seconds = kRenderSeconds;
};

CaseRecipe FromPatch(Patch patch) {
  CaseRecipe c;
  c.patch = std::move(patch);
  return c;
}

// The designed cases below play their own material without the standard
// automation, which would switch their effects and partials off.
CaseRecipe Designed(Patch patch) {
  CaseRecipe c = FromPatch(std::move(patch));
  c.standardAutomation = false;
  return c;
}

float Bipolar(double percent) { return static_cast<float>(0.5 + percent / 200.0); }

std::string Exact(double value) { return Format("%.17g", value); }

// The telling factory programs, played by the standard phrase as they are.
CaseRecipe ProgramCase(const char* program) {
  CaseRecipe c = Designed({});
  c.program = program;
  return c;
}

// A nearly self-oscillating filter whose cut-off an LFO and ADSR2 sweep from
// low to the top of the range, with the response moving from low-pass through
// band-pass to high-pass; at 32 kHz the top of the range meets the cap below
// Nyquist.
CaseRecipe ResonanceCase() {
  CaseRecipe c = Designed({});
  c.patch = {{kOscShape, Normalised(3, 4)},   {kFilterFrequency, 0.35f},
             {kFilterResonance, 0.995f},      {kFilterKeyTrack, 0.3f},
             {kLfo1Frequency, 0.45f},         {kLfo1ToFC, Bipolar(60)},
             {kLfo2Shape, Normalised(2, 5)},  {kLfo2Frequency, 0.3f},
             {kLfo2ToFR, Bipolar(-20)},       {kAdsr2Attack, 0.35f},
             {kAdsr2Decay, 0.4f},             {kAdsr2Sustain, 0.2f},
             {kAdsr2ToFC, Bipolar(95)},       {kHarmonics1 + 1, 0.4f}};
  c.automation = {{0.15, kFilterMix, 0.5f}, {0.3, kFilterMix, 1.0f}, {0.4, kFilterResonance, 1.0f}};
  c.rates.push_back(32000);
  return c;
}

// The step sequence on plain voices: six steps looping from the third, each
// with its own pitch, shape and modulation, the modulation stepped or smoothed.
CaseRecipe StepSequenceCase(bool smooth) {
  CaseRecipe c = Designed({});
  c.patch = {{kArpOn, 1.0f},
             {kArpStepsCount, Normalised(6 - 1, 15)},
             {kArpLoopStart, Normalised(2, 15)},
             {kArpTempoDivider, Normalised(64 - 1, 127)},
             {kArpModSmooth, smooth ? 1.0f : 0.0f},
             {kArpModToAmp, 0.4f},
             {kArpModToPW, 0.6f},
             {kArpModToFC, 0.8f},
             {kArpModToBitDiv, 0.3f},
             {kArpModToPan, 0.7f},
             {kArpModToWaveShaper, 0.3f},
             {kFilterFrequency, 0.55f},
             {kFilterResonance, 0.5f}};
  const int pitches[] = {-12, 7, 0, 12, 5, -5};
  const double mods[] = {-80, 50, 100, -30, 0, 70};
  for (int k = 0; k < 6; ++k) {
    c.patch.emplace_back(kArpPitch1 + k, Normalised(pitches[k] + 24, 48));
    c.patch.emplace_back(kArpShape1 + k, Normalised(k % 5, 4));
    c.patch.emplace_back(kArpMod1 + k, Bipolar(mods[k]));
  }
  return c;
}

// Every partial at half level through chorus, delay and reverb, a sixteen-note
// chord struck over the first 40 ms and released at 0.3 s.
CaseRecipe FullChainCase() {
  CaseRecipe c = Designed({});
  for (int h = 0; h < 16; ++h) c.patch.emplace_back(kHarmonics1 + h, 0.5f);
  c.patch.insert(c.patch.end(), {{kHarmonicsLfoAmp, 0.5f},
                                 {kHarmonicsLfoSpeed, 0.4f},
                                 {kHarmonicsPhaseShift, 0.3f},
                                 {kStereoSpread, 0.6f},
                                 {kChorusOn, 1.0f},
                                 {kDelayOn, 1.0f},
                                 {kDelayTime, 0.2f},
                                 {kReverbOn, 1.0f},
                                 {kAmpGain, 0.35f}});
  c.phrase.clear();
  for (int n = 0; n < 16; ++n) {
    const uint8_t key = static_cast<uint8_t>(36 + 3 * n);
    c.phrase.push_back({0.0025 * n, 0x90, key, static_cast<uint8_t>(60 + 4 * n)});
    c.phrase.push_back({0.3, 0x80, key, 0});
  }
  return c;
}

// The bit divider holding for a non-whole number of samples (3.79 at
// 44.1 kHz, 8.25 at 96 kHz) with its feedback, ADSR2 moving the limit.
CaseRecipe BitDividerCase() {
  CaseRecipe c = Designed({{kOscShape, Normalised(3, 4)},
                          {kBitDivider, 0.3f},
                          {kBitFeedback, 0.6f},
                          {kAdsr2ToBitDiv, Bipolar(25)},
                          {kAdsr2ToBitFeed, Bipolar(-30)},
                          {kVelToBitDiv, 0.3f},
                          {kWaveShaper, 0.2f}});
  return c;
}

// Envelope segments of exactly one sample and shorter than one, at the rate
// the case renders at; short notes among a held one, so voices fall idle
// inside a block while another sounds.
CaseRecipe EnvelopeEdgeCase(int rate) {
  CaseRecipe c = Designed({});
  const double oneSample = 1.0 / rate;
  c.texts = {{kAdsr1Attack, Exact(oneSample)},        {kAdsr1Decay, Exact(0.4 * oneSample)},
             {kAdsr1Release, Exact(oneSample)},       {kAdsr2Attack, Exact(0.5 * oneSample)},
             {kAdsr2Decay, Exact(oneSample)},         {kAdsr2Release, Exact(0.25 * oneSample)}};
  c.patch = {{kOscShape, Normalised(2, 4)}, {kAdsr1Sustain, 0.6f}, {kAdsr2Sustain, 0.3f},
             {kAdsr2ToFC, Bipolar(-60)},   {kAdsr2ToPitch, Bipolar(10)}, {kFilterFrequency, 0.8f}};
  c.phrase = {{0.000, 0x90, 48, 100}, {0.0104, 0x90, 60, 90},  {0.0105, 0x80, 60, 0},
              {0.020, 0x90, 64, 90},  {0.020, 0x80, 64, 0},    {0.031, 0x90, 67, 80},
              {0.047, 0x80, 67, 0},   {0.061, 0x90, 72, 127},  {0.0612, 0x80, 72, 0},
              {0.090, 0x90, 76, 70},  {0.150, 0x80, 76, 0},    {0.200, 0x80, 48, 0}};
  c.rates = {rate};
  c.seconds = 0.25;
  return c;
}

// Voices whose releases end inside a block while a held note sounds on, and
// notes that start part-way into a block.
CaseRecipe VoicesIdleCase() {
  CaseRecipe c = Designed({{kOscShape, Normalised(1, 4)},
                          {kAdsr1Attack, 0.05f},
                          {kAdsr1Release, 0.12f},
                          {kAdsr1Sustain, 0.8f},
                          {kFilterFrequency, 0.6f}});
  c.phrase = {{0.000, 0x90, 45, 100}, {0.0232, 0x90, 57, 90}, {0.040, 0x80, 57, 0},
              {0.0571, 0x90, 61, 80}, {0.070, 0x80, 61, 0},  {0.1003, 0x90, 64, 110},
              {0.110, 0x80, 64, 0},   {0.1797, 0x90, 69, 70}, {0.2011, 0x80, 69, 0},
              {0.260, 0x80, 45, 0}};
  c.seconds = 0.35;
  return c;
}

// Twenty keys on sixteen voices that all sit at the same level (no attack, no
// decay, full sustain), so the stealing order decides which voices go.
CaseRecipe VoiceStealingCase() {
  CaseRecipe c = Designed({{kOscShape, Normalised(3, 4)},
                          {kAdsr1Attack, 0.0f},
                          {kAdsr1Decay, 0.0f},
                          {kAdsr1Sustain, 1.0f},
                          {kAdsr1Release, 0.1f},
                          {kStereoSpread, 1.0f},
                          {kAmpGain, 0.3f},
                          {kFilterFrequency, 0.7f}});
  c.phrase.clear();
  for (int n = 0; n < 16; ++n) c.phrase.push_back({0.003 * n, 0x90, static_cast<uint8_t>(40 + 2 * n), 100});
  const TimedMidi more[] = {{0.100, 0x90, 81, 100}, {0.100, 0x90, 83, 100}, {0.150, 0x90, 85, 100},
                            {0.170, 0x80, 40, 0},   {0.190, 0x90, 87, 100}, {0.220, 0x80, 81, 0},
                            {0.240, 0x90, 89, 100}, {0.300, 0xB0, 123, 0}};
  c.phrase.insert(c.phrase.end(), std::begin(more), std::end(more));
  c.seconds = 0.4;
  return c;
}

// Random pitch steps held for a while, their depth moved by LFO2 and velocity.
CaseRecipe PitchNoiseCase() {
  CaseRecipe c = Designed({{kOscShape, Normalised(3, 4)},
                          {kPitchNoise, 0.6f},
                          {kPitchNoiseHeight, 0.4f},
                          {kLfo2Frequency, 0.4f},
                          {kLfo2ToPitchNoise, Bipolar(40)},
                          {kVelToPitchNoise, 0.5f}});
  return c;
}

// Name and description of every case after the random patches, shapes and modes.
const std::vector<std::pair<std::string, CaseRecipe>>& DesignedCases() {
  static const std::vector<std::pair<std::string, CaseRecipe>> cases = {
      {"program-pad-signus-1", ProgramCase("Pad signus 1")},
      {"program-bass-raw-saw-1", ProgramCase("Bass raw saw 1")},
      {"filter-resonance", ResonanceCase()},
      {"steps-stepped", StepSequenceCase(false)},
      {"steps-smoothed", StepSequenceCase(true)},
      {"full-chain", FullChainCase()},
      {"bit-divider", BitDividerCase()},
      {"envelope-edges-44k", EnvelopeEdgeCase(44100)},
      {"envelope-edges-96k", EnvelopeEdgeCase(96000)},
      {"voices-idle", VoicesIdleCase()},
      {"voice-stealing", VoiceStealingCase()},
      {"pitch-noise", PitchNoiseCase()},
  };
  return cases;
}

bool CaseFor(const std::string& name, CaseRecipe* recipe) {
  if (name == "init") {
    *recipe = CaseRecipe{};
    return true;
  }
  for (int n = 1; n <= kRandomPatches; ++n) {
    if (name == Format("random-%02d", n)) {
      *recipe = FromPatch(RandomPatch(n));
      return true;
    }
  }
  for (int s = 0; s <= 4; ++s) {
    if (name == Format("shape-%d", s)) {
      *recipe = FromPatch(ShapePatch(s));
      return true;
    }
  }
  for (int m = 0; m < 3; ++m) {
    if (name == std::string("mode-") + kModeNames[m]) {
      *recipe = FromPatch(ModePatch(m));
      return true;
    }
  }
  for (const auto& c : DesignedCases()) {
    if (c.first == name) {
      *recipe = c.second;
      return true;
    }
  }
  return false;
}

// Mid-render automation: effects and partials 2..16 off, then on, then back
// to the patch's own values; a filter move in between.
std::vector<Automation> AutomationFor(const CaseRecipe& recipe, const std::vector<float>& patchValues) {
  std::vector<Automation> a = recipe.automation;
  if (!recipe.standardAutomation) return a;
  const int switches[] = {kChorusOn, kReverbOn, kDelayOn};
  for (int s : switches) a.push_back({0.12, s, 0.0f});
  for (int h = 1; h < 16; ++h) a.push_back({0.12, kHarmonics1 + h, 0.0f});
  for (int s : switches) a.push_back({0.24, s, 1.0f});
  for (int h = 1; h < 16; ++h) a.push_back({0.24, kHarmonics1 + h, 0.6f});
  a.push_back({0.30, kFilterFrequency, 0.35f});
  for (int s : switches) a.push_back({0.36, s, patchValues[s]});
  for (int h = 1; h < 16; ++h) a.push_back({0.36, kHarmonics1 + h, patchValues[kHarmonics1 + h]});
  a.push_back({0.36, kFilterFrequency, patchValues[kFilterFrequency]});
  return a;
}

int FrameAt(double seconds, int rate) { return static_cast<int>(std::lround(seconds * rate)); }

std::unique_ptr<PluginInstance> Open(const std::string& path, int rate, std::string* error) {
  std::srand(kRandSeed);
  std::unique_ptr<PluginInstance> p = PluginInstance::Load(path, error);
  if (!p) return p;
  p->SetTempo(kTempo);
  p->SetSampleRate(rate);
  p->SetBlockSize(kBlockFrames);
  return p;
}

// Loads the case's factory program, if any, then sets its patch on top.
bool ApplyCase(PluginInstance& p, const CaseRecipe& recipe, std::string* error) {
  if (!recipe.program.empty()) {
    int found = -1;
    for (int i = 0; i < p.NumPrograms() && found < 0; ++i)
      if (p.ProgramName(i) == recipe.program) found = i;
    if (found < 0) {
      *error = "no factory program named " + recipe.program;
      return false;
    }
    p.SetProgram(found);
  }
  for (const auto& s : recipe.patch) p.SetParameter(s.first, s.second);
  for (const auto& t : recipe.texts) {
    if (!p.SetParameterText(t.first, t.second)) {
      *error = "parameter " + std::to_string(t.first) + " refused " + t.second;
      return false;
    }
  }
  return true;
}

Channels Render(PluginInstance& p, const CaseRecipe& recipe, int rate, bool floatPath,
                const std::vector<float>& patchValues) {
  p.Resume();
  const int total = FrameAt(recipe.seconds, rate);
  const int channels = std::max(p.Effect()->numOutputs, 1);
  Channels out(static_cast<size_t>(channels));
  const std::vector<Automation> automation = AutomationFor(recipe, patchValues);
  std::vector<std::vector<double>> dbuf(channels, std::vector<double>(kBlockFrames));
  std::vector<std::vector<float>> fbuf(channels, std::vector<float>(kBlockFrames));
  std::vector<double*> dptr;
  std::vector<float*> fptr;
  for (int c = 0; c < channels; ++c) {
    dptr.push_back(dbuf[c].data());
    fptr.push_back(fbuf[c].data());
  }
  for (int start = 0; start < total; start += kBlockFrames) {
    const int n = std::min(kBlockFrames, total - start);
    for (const Automation& a : automation) {
      const int f = FrameAt(a.seconds, rate);
      if (f >= start && f < start + n) p.SetParameter(a.index, a.value);
    }
    std::vector<MidiEvent> events;
    for (const TimedMidi& m : recipe.phrase) {
      const int f = FrameAt(m.seconds, rate);
      if (f < start || f >= start + n) continue;
      MidiEvent e;
      e.deltaFrames = f - start;
      e.bytes[0] = m.status;
      e.bytes[1] = m.data1;
      e.bytes[2] = m.data2;
      events.push_back(e);
    }
    if (!events.empty()) p.SendMidi(events);
    if (floatPath) {
      p.ProcessFloat(fptr.data(), n);
      for (int c = 0; c < channels; ++c) out[c].insert(out[c].end(), fbuf[c].begin(), fbuf[c].begin() + n);
    } else {
      p.ProcessDouble(dptr.data(), n);
      for (int c = 0; c < channels; ++c) out[c].insert(out[c].end(), dbuf[c].begin(), dbuf[c].begin() + n);
    }
  }
  p.Suspend();
  return out;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string DispatchText(PluginInstance& p, int32_t opcode, int32_t index, intptr_t* answer) {
  char buf[512] = {};
  *answer = p.Dispatch(opcode, index, 0, buf);
  buf[sizeof buf - 1] = 0;
  return buf;
}

std::string PinLine(PluginInstance& p, bool output, int index) {
  VstPinProperties props{};
  const intptr_t r =
      p.Dispatch(output ? vst::effGetOutputProperties : vst::effGetInputProperties, index, 0, &props);
  props.label[sizeof props.label - 1] = 0;
  return Format("%s pin %d: answer=%ld flags=%d label=%s\n", output ? "output" : "input", index,
                static_cast<long>(r), r ? props.flags : 0, Quote(r ? props.label : "").c_str());
}

std::string CapabilityTexts(PluginInstance& p);
std::string RefusalTexts(PluginInstance& p);

// The dispatcher's fixed answers (not the editor's open/close/idle, not the
// names of the factory programs after "init").
std::string DispatcherTexts(PluginInstance& p) {
  std::string t;
  const AEffect* e = p.Effect();
  t += Format("magic=%d numPrograms=%d numParams=%d numInputs=%d numOutputs=%d\n", e->magic,
              e->numPrograms, e->numParams, e->numInputs, e->numOutputs);
  t += Format("flags=%d initialDelay=%d uniqueID=%d version=%d ioRatio=%.9g\n", e->flags,
              e->initialDelay, e->uniqueID, e->version, e->ioRatio);
  const struct {
    const char* name;
    int32_t opcode;
  } texts[] = {{"effGetEffectName", vst::effGetEffectName},
               {"effGetVendorString", vst::effGetVendorString},
               {"effGetProductString", vst::effGetProductString},
               {"effGetProgramName", vst::effGetProgramName}};
  for (const auto& q : texts) {
    intptr_t r = 0;
    const std::string s = DispatchText(p, q.opcode, 0, &r);
    t += Format("%s: answer=%ld text=%s\n", q.name, static_cast<long>(r), Quote(s).c_str());
  }
  const struct {
    const char* name;
    int32_t opcode;
    int32_t index;
  } plain[] = {{"effGetVendorVersion", vst::effGetVendorVersion, 0},
               {"effGetVstVersion", vst::effGetVstVersion, 0},
               {"effGetPlugCategory", vst::effGetPlugCategory, 0},
               {"effIdentify", vst::effIdentify, 0},
               {"effGetTailSize", vst::effGetTailSize, 0},
               {"effGetProgram", vst::effGetProgram, 0},
               {"effCanBeAutomated 0", vst::effCanBeAutomated, 0},
               {"effCanBeAutomated 239", vst::effCanBeAutomated, 239},
               {"effProcessVarIo", vst::effProcessVarIo, 0},
               {"effIdle", vst::effIdle, 0},
               {"effProcessEvents null", vst::effProcessEvents, 0},
               {"effGetChunk null", vst::effGetChunk, 0},
               {"effSetChunk null", vst::effSetChunk, 0},
               {"effCanDo null", vst::effCanDo, 0},
               {"effVendorSpecific 8 0", vst::effVendorSpecific, 8},
               {"opcode 9999", 9999, 0}};
  for (const auto& q : plain) {
    t += Format("%s: answer=%ld\n", q.name, static_cast<long>(p.Dispatch(q.opcode, q.index)));
  }
  for (intptr_t v : {0L, 3L, 4L, 239L, 240L, -1L}) {
    t += Format("effVendorSpecific %d value %ld: answer=%ld\n", 8, static_cast<long>(v),
                static_cast<long>(p.Dispatch(vst::effVendorSpecific, 8, v)));
  }
  for (int idx : {0, -1, 201, 1000}) {
    intptr_t r = 0;
    const std::string s = DispatchText(p, vst::effGetProgramNameIndexed, idx, &r);
    t += Format("effGetProgramNameIndexed %d: answer=%ld text=%s\n", idx, static_cast<long>(r),
                Quote(s).c_str());
  }
  return t + CapabilityTexts(p) + RefusalTexts(p);
}

// Capabilities, pins, speaker arrangement, the editor's rectangle, key names.
std::string CapabilityTexts(PluginInstance& p) {
  std::string t;
  const char* canDos[] = {"sendVstEvents",     "sendVstMidiEvent",     "receiveVstEvents",
                          "receiveVstMidiEvent", "receiveVstTimeInfo", "hasCockosExtensions",
                          "hasCockosViewAsConfig", "offline",          "midiProgramNames",
                          "bypass",            "",                     "plugAsChannelInsert"};
  for (const char* c : canDos) {
    std::string copy = c;
    t += Format("effCanDo %s: answer=%ld\n", Quote(c).c_str(),
                static_cast<long>(p.Dispatch(vst::effCanDo, 0, 0, &copy[0])));
  }
  for (int i : {0, 1, 2, -1}) t += PinLine(p, true, i);
  for (int i : {0, 1, -1}) t += PinLine(p, false, i);
  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  const intptr_t r = p.Dispatch(vst::effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out);
  t += Format("effGetSpeakerArrangement: answer=%ld in=%d/%d out=%d/%d\n", static_cast<long>(r),
              in ? in->type : -99, in ? in->numChannels : -99, out ? out->type : -99,
              out ? out->numChannels : -99);
  ERect* rect = nullptr;
  const intptr_t rr = p.Dispatch(vst::effEditGetRect, 0, 0, &rect);
  t += Format("effEditGetRect: answer=%ld rect=%d,%d,%d,%d\n", static_cast<long>(rr),
              rect ? rect->top : -1, rect ? rect->left : -1, rect ? rect->bottom : -1,
              rect ? rect->right : -1);
  for (int key : {0, 60, 127, -1, 128}) {
    MidiKeyName k{};
    k.thisKeyNumber = key;
    const intptr_t a = p.Dispatch(vst::effGetMidiKeyName, 0, 0, &k);
    k.keyName[sizeof k.keyName - 1] = 0;
    t += Format("effGetMidiKeyName %d: answer=%ld name=%s\n", key, static_cast<long>(a),
                Quote(k.keyName).c_str());
  }
  return t;
}

// What the plug-in makes of rates, block sizes and chunks it should refuse.
std::string RefusalTexts(PluginInstance& p) {
  std::string t;
  for (float rate : {44100.0f, 7999.0f, 2.0e6f, 0.0f, -1.0f, NAN}) {
    t += Format("effSetSampleRate %g: answer=%ld\n", static_cast<double>(rate),
                static_cast<long>(p.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, rate)));
  }
  for (intptr_t frames : {intptr_t{512}, intptr_t{0}, intptr_t{-5}, intptr_t{1} << 21}) {
    t += Format("effSetBlockSize %ld: answer=%ld\n", static_cast<long>(frames),
                static_cast<long>(p.Dispatch(vst::effSetBlockSize, 0, frames)));
  }
  const std::vector<uint8_t> bad = {1, 2, 3};
  t += Format("effSetChunk 3 bytes (program): answer=%d\n", p.SetChunk(bad, false) ? 1 : 0);
  t += Format("effSetChunk 3 bytes (bank): answer=%d\n", p.SetChunk(bad, true) ? 1 : 0);
  t += Format("program chunk size after refusals: %zu\n", p.GetChunk(false).size());
  return t;
}

const float kProbeValues[] = {0.0f, 0.1f, 0.25f, 0.5f, 0.75f, 0.9f, 1.0f};
const char* const kProbeTexts[] = {"33.3", "-5", "1e9", "abc", "", "2"};

// Every parameter's name and label, its display and read-back at several
// values, the vendor-specific display and the answers to text entry.
std::string ParameterTexts(PluginInstance& p) {
  std::string t;
  for (int i = -1; i <= kParams; ++i) {
    t += Format("[%d] name=%s label=%s default=%s (%.9g)\n", i, Quote(p.ParamName(i)).c_str(),
                Quote(p.ParamLabel(i)).c_str(), Quote(p.ParamDisplay(i)).c_str(),
                static_cast<double>(p.GetParameter(i)));
    for (float x : kProbeValues) {
      p.SetParameter(i, x);
      t += Format("  set %.9g: display=%s get=%.9g\n", static_cast<double>(x),
                  Quote(p.ParamDisplay(i)).c_str(), static_cast<double>(p.GetParameter(i)));
    }
    char buf[64] = {};
    const intptr_t vs = p.Dispatch(vst::effVendorSpecific, 7, i, buf, 0.3f);
    t += Format("  vendor-specific 7 at 0.3: answer=%ld text=%s\n", static_cast<long>(vs),
                Quote(buf).c_str());
    for (const char* text : kProbeTexts) {
      const bool ok = p.SetParameterText(i, text);
      t += Format("  text %s: answer=%d display=%s get=%.9g\n", Quote(text).c_str(), ok ? 1 : 0,
                  Quote(p.ParamDisplay(i)).c_str(), static_cast<double>(p.GetParameter(i)));
    }
  }
  return t;
}

std::string PatchTexts(PluginInstance& p) {
  std::string t;
  for (int i = 0; i < kParams; ++i) {
    t += Format("[%d] %s = %s %s (%.9g)\n", i, p.ParamName(i).c_str(), p.ParamDisplay(i).c_str(),
                p.ParamLabel(i).c_str(), static_cast<double>(p.GetParameter(i)));
  }
  return t;
}

bool RecordRecipe(const std::string& path, const std::string& name, const CaseRecipe& recipe,
                Recording* out, std::string* error) {
  std::vector<uint8_t> chunk;
  std::vector<float> values;
  {
    std::unique_ptr<PluginInstance> p = Open(path, kRates[0], error);
    if (!p || !ApplyCase(*p, recipe, error)) return false;
    for (int i = 0; i < kParams; ++i) values.push_back(p->GetParameter(i));
    chunk = p->GetChunk(false);
    out->exact.push_back({name + ".txt", PatchTexts(*p)});
    out->exact.push_back({name + ".chunk", std::string(chunk.begin(), chunk.end())});
  }
  for (int rate : recipe.rates) {
    AudioTake take;
    take.file = Format("%s-%d", name.c_str(), rate);
    take.sampleRate = rate;
    {
      std::unique_ptr<PluginInstance> p = Open(path, rate, error);
      if (!p || !ApplyCase(*p, recipe, error)) return false;
      take.doublePath = Render(*p, recipe, rate, false, values);
    }
    {
      // The float path takes the same patch through its program chunk.
      std::unique_ptr<PluginInstance> p = Open(path, rate, error);
      if (!p) return false;
      if (!p->SetChunk(chunk, false)) {
        *error = name + ": the plug-in refused its own program chunk";
        return false;
      }
      take.floatPath = Render(*p, recipe, rate, true, values);
    }
    out->audio.push_back(std::move(take));
  }
  return true;
}

double Rms(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x * x;
  return v.empty() ? 0.0 : std::sqrt(s / static_cast<double>(v.size()));
}

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

double Peak(const std::vector<double>& c) {
  double peak = 0.0;
  for (double x : c) peak = std::max(peak, std::fabs(x));
  return peak;
}

int Quantise24(double x, double peak) {
  return peak > 0.0 ? static_cast<int>(std::lround(x / peak * kFullScale24)) : 0;
}

// Each channel is scaled to its own peak; the peaks travel in the comment.
bool WriteAudio(const std::string& base, int rate, const Channels& ch, std::string* error) {
  std::vector<double> peaks;
  bool flac = true;
  for (const auto& c : ch) {
    peaks.push_back(Peak(c));
    if (!std::isfinite(peaks.back())) flac = false;
  }
  for (size_t c = 0; c < ch.size() && flac; ++c) {
    std::vector<double> q(ch[c].size());
    for (size_t i = 0; i < q.size(); ++i) q[i] = Quantise24(ch[c][i], peaks[c]) * (peaks[c] / kFullScale24);
    if (RelativeErrorDb(ch[c], q) > kFlacLimitDb) flac = false;
  }
  const std::string path = base + (flac ? ".flac" : ".wav");
  std::remove((base + (flac ? ".wav" : ".flac")).c_str());
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = static_cast<int>(ch.size());
  info.format = flac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) : (SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) {
    *error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  std::string comment = "peak=";
  for (size_t c = 0; c < ch.size(); ++c)
    comment += Format("%s%.17g", c ? "," : "", flac ? peaks[c] : 1.0);
  sf_set_string(f, SF_STR_COMMENT, comment.c_str());
  const size_t frames = ch.empty() ? 0 : ch[0].size();
  bool ok = true;
  if (flac) {
    std::vector<int> data(frames * ch.size());
    for (size_t i = 0; i < frames; ++i)
      for (size_t c = 0; c < ch.size(); ++c) data[i * ch.size() + c] = Quantise24(ch[c][i], peaks[c]) * 256;
    ok = sf_writef_int(f, data.data(), static_cast<sf_count_t>(frames)) == static_cast<sf_count_t>(frames);
  } else {
    std::vector<float> data(frames * ch.size());
    for (size_t i = 0; i < frames; ++i)
      for (size_t c = 0; c < ch.size(); ++c) data[i * ch.size() + c] = static_cast<float>(ch[c][i]);
    ok = sf_writef_float(f, data.data(), static_cast<sf_count_t>(frames)) == static_cast<sf_count_t>(frames);
  }
  sf_close(f);
  if (!ok) *error = "short write to " + path;
  return ok;
}

bool ReadAudio(const std::string& base, Channels* ch, int* rate, std::string* error) {
  bool flac = true;
  SF_INFO info{};
  SNDFILE* f = sf_open((base + ".flac").c_str(), SFM_READ, &info);
  if (f == nullptr) {
    flac = false;
    info = SF_INFO{};
    f = sf_open((base + ".wav").c_str(), SFM_READ, &info);
  }
  if (f == nullptr) {
    *error = "no golden audio " + base + ".flac or .wav";
    return false;
  }
  const size_t n = static_cast<size_t>(info.frames);
  const size_t channels = static_cast<size_t>(info.channels);
  std::vector<double> peaks(channels, 1.0);
  if (const char* c = sf_get_string(f, SF_STR_COMMENT)) {
    if (std::strncmp(c, "peak=", 5) == 0) {
      char* next = const_cast<char*>(c + 4);
      for (double& p : peaks) p = std::strtod(next + 1, &next);
    }
  }
  ch->assign(channels, std::vector<double>(n));
  if (flac) {
    std::vector<int> data(n * channels);
    sf_readf_int(f, data.data(), info.frames);
    for (size_t i = 0; i < n; ++i)
      for (size_t c = 0; c < channels; ++c)
        (*ch)[c][i] = (data[i * channels + c] / 256) * (peaks[c] / kFullScale24);
  } else {
    std::vector<float> data(n * channels);
    sf_readf_float(f, data.data(), info.frames);
    for (size_t i = 0; i < n; ++i)
      for (size_t c = 0; c < channels; ++c) (*ch)[c][i] = data[i * channels + c];
  }
  *rate = info.samplerate;
  sf_close(f);
  return true;
}

// Relative error of one path against the stored reference, channel by channel.
void CheckPath(const std::string& what, const Channels& ref, const Channels& test, double limitDb,
               bool* ok, std::string* report, double* largestDb) {
  if (ref.size() != test.size()) {
    *ok = false;
    *largestDb = INFINITY;
    *report += Format("%s: %zu channels, golden has %zu\n", what.c_str(), test.size(), ref.size());
    return;
  }
  for (size_t c = 0; c < ref.size(); ++c) {
    if (ref[c].size() != test[c].size()) {
      *ok = false;
      *largestDb = INFINITY;
      *report += Format("%s ch%zu: %zu frames, golden has %zu\n", what.c_str(), c, test[c].size(),
                        ref[c].size());
      continue;
    }
    const double db = RelativeErrorDb(ref[c], test[c]);
    if (!(db <= *largestDb)) *largestDb = db;
    if (!(db <= limitDb)) {
      *ok = false;
      *report += Format("%s ch%zu: %.1f dB relative (limit %.0f dB)\n", what.c_str(), c, db, limitDb);
    }
  }
}

}  // namespace

std::vector<std::string> CaseNames() {
  std::vector<std::string> names = {"dispatcher", "params", "init"};
  for (int n = 1; n <= kRandomPatches; ++n) names.push_back(Format("random-%02d", n));
  for (int s = 0; s <= 4; ++s) names.push_back(Format("shape-%d", s));
  for (const char* m : kModeNames) names.push_back(std::string("mode-") + m);
  for (const auto& c : DesignedCases()) names.push_back(c.first);
  return names;
}

std::vector<std::string> CasesMatching(const std::string& pattern) {
  std::vector<std::string> out;
  for (const std::string& n : CaseNames())
    if (fnmatch(pattern.c_str(), n.c_str(), 0) == 0) out.push_back(n);
  return out;
}

bool RecordCase(const std::string& pluginPath, const std::string& name, Recording* out,
                std::string* error) {
  *out = Recording{};
  if (name == "dispatcher" || name == "params") {
    std::unique_ptr<PluginInstance> p = Open(pluginPath, kRates[0], error);
    if (!p) return false;
    out->exact.push_back({name + ".txt", name == "dispatcher" ? DispatcherTexts(*p) : ParameterTexts(*p)});
    return true;
  }
  CaseRecipe recipe;
  if (!CaseFor(name, &recipe)) {
    *error = "no golden case named " + name;
    return false;
  }
  return RecordRecipe(pluginPath, name, recipe, out, error);
}

bool WriteRecording(const std::string& dir, const Recording& rec, std::string* error) {
  for (const ExactFile& f : rec.exact) {
    if (!WriteFile(dir + "/" + f.file, f.bytes)) {
      *error = "cannot write " + dir + "/" + f.file;
      return false;
    }
  }
  for (const AudioTake& t : rec.audio) {
    if (!WriteAudio(dir + "/" + t.file, t.sampleRate, t.doublePath, error)) return false;
  }
  return true;
}

bool CheckRecording(const std::string& dir, const Recording& rec, double limitDb,
                    std::string* report, double* largestDb) {
  bool ok = true;
  double largest = -INFINITY;
  for (const ExactFile& f : rec.exact) {
    std::string golden;
    if (!ReadFile(dir + "/" + f.file, &golden)) {
      ok = false;
      *report += "missing golden file " + f.file + "\n";
    } else if (golden != f.bytes) {
      ok = false;
      size_t at = 0;
      while (at < golden.size() && at < f.bytes.size() && golden[at] == f.bytes[at]) ++at;
      const size_t line = static_cast<size_t>(std::count(golden.begin(), golden.begin() + at, '\n')) + 1;
      *report += Format("%s differs from byte %zu (line %zu)\n", f.file.c_str(), at, line);
    }
  }
  for (const AudioTake& t : rec.audio) {
    Channels ref;
    int rate = 0;
    std::string error;
    if (!ReadAudio(dir + "/" + t.file, &ref, &rate, &error)) {
      ok = false;
      largest = INFINITY;
      *report += error + "\n";
      continue;
    }
    if (rate != t.sampleRate) {
      ok = false;
      *report += Format("%s: golden rate %d\n", t.file.c_str(), rate);
    }
    CheckPath(t.file + " double", ref, t.doublePath, limitDb, &ok, report, &largest);
    CheckPath(t.file + " float", ref, t.floatPath, limitDb, &ok, report, &largest);
  }
  if (largestDb != nullptr) *largestDb = largest;
  return ok;
}

double RelativeErrorDb(const std::vector<double>& ref, const std::vector<double>& test) {
  if (ref.size() != test.size()) return INFINITY;
  std::vector<double> diff(ref.size());
  for (size_t i = 0; i < ref.size(); ++i) diff[i] = test[i] - ref[i];
  const double d = Rms(diff);
  const double r = Rms(ref);
  if (!std::isfinite(d) || !std::isfinite(r)) return INFINITY;
  if (d == 0.0) return -INFINITY;
  // A silent reference (below -240 dBFS) accepts only an equally silent take.
  if (r < 1e-12) return d < 1e-12 ? -INFINITY : INFINITY;
  return 20.0 * std::log10(d / r);
}

}  // namespace golden
}  // namespace morvanta
