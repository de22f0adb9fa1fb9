// Audio, MIDI and tempo between host and instrument: the three process
// calls, block slicing, disconnected channels, events, tempo and MXCSR.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cstring>
#include <vector>

#include "support/RecordingInstrument.h"

namespace morvanta {
namespace {

using testing::RampSample;
using testing::RecordingInstrument;

intptr_t Dispatch(RecordingInstrument& a, int32_t op, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr) {
  return a.Effect()->dispatcher(a.Effect(), op, index, value, ptr, 0.0f);
}

struct FloatBuffers {
  explicit FloatBuffers(int frames, float fill = 0.0f)
      : left(frames + 8, fill), right(frames + 8, fill), ptrs{left.data(), right.data()} {}
  std::vector<float> left, right;
  float* ptrs[2];
};

TEST(AudioExchangeTest, FloatOutputIsTheNarrowedDoubleResult) {
  RecordingInstrument a;
  Dispatch(a, vst::effSetBlockSize, 0, 512);
  FloatBuffers out(512, 9.0f);
  a.Effect()->processReplacing(a.Effect(), nullptr, out.ptrs, 512);
  EXPECT_EQ(a.renderedBlocks, std::vector<int>{512});
  for (int i = 0; i < 512; ++i) {
    ASSERT_EQ(out.left[i], static_cast<float>(RampSample(i, 0)));
    ASSERT_EQ(out.right[i], static_cast<float>(RampSample(i, 1)));
  }
  EXPECT_EQ(out.left[512], 9.0f);  // nothing written past the block
}

TEST(AudioExchangeTest, AccumulatingCallAddsInSinglePrecision) {
  RecordingInstrument a;
  FloatBuffers out(64, 0.25f);
  a.Effect()->process(a.Effect(), nullptr, out.ptrs, 64);
  for (int i = 0; i < 64; ++i)
    ASSERT_EQ(out.right[i], 0.25f + static_cast<float>(RampSample(i, 1)));
}

TEST(AudioExchangeTest, BlocksLongerThanAnnouncedAreSliced) {
  RecordingInstrument a;
  Dispatch(a, vst::effSetBlockSize, 0, 256);
  FloatBuffers out(600, -1.0f);
  a.Effect()->processReplacing(a.Effect(), nullptr, out.ptrs, 600);
  EXPECT_EQ(a.renderedBlocks, (std::vector<int>{256, 256, 88}));
  for (int i = 0; i < 600; ++i) ASSERT_EQ(out.left[i], static_cast<float>(RampSample(i, 0)));
  EXPECT_EQ(out.left[600], -1.0f);

  std::vector<double> left(1001, 7.0), right(1001, 7.0);
  double* outs[2] = {left.data(), right.data()};
  a.renderedBlocks.clear();
  a.Effect()->processDoubleReplacing(a.Effect(), nullptr, outs, 1000);
  EXPECT_EQ(a.renderedBlocks, (std::vector<int>{256, 256, 256, 232}));
  EXPECT_EQ(right[999], RampSample(600 + 999, 1));
  EXPECT_EQ(left[1000], 7.0);
}

TEST(AudioExchangeTest, NonPositiveFramesAndNullListsAreHarmless) {
  RecordingInstrument a;
  a.Effect()->processReplacing(a.Effect(), nullptr, nullptr, 0);
  a.Effect()->processReplacing(a.Effect(), nullptr, nullptr, -5);
  EXPECT_TRUE(a.renderedBlocks.empty());
  a.Effect()->processReplacing(a.Effect(), nullptr, nullptr, 32);  // rendered and discarded
  double* nullOuts[2] = {nullptr, nullptr};
  a.Effect()->processDoubleReplacing(a.Effect(), nullptr, nullOuts, 32);
  EXPECT_EQ(a.renderedBlocks, (std::vector<int>{32, 32}));
}

TEST(AudioExchangeTest, OneChannelArrangementLeavesTheSecondBufferAlone) {
  RecordingInstrument a;
  VstSpeakerArrangement mono{};
  mono.type = 0;
  mono.numChannels = 1;
  EXPECT_EQ(Dispatch(a, vst::effSetSpeakerArrangement, 0, 0, &mono), 1);
  FloatBuffers out(128, 3.0f);
  a.Effect()->processReplacing(a.Effect(), nullptr, out.ptrs, 128);
  EXPECT_EQ(out.left[5], static_cast<float>(RampSample(5, 0)));
  for (int i = 0; i < 128; ++i) ASSERT_EQ(out.right[i], 3.0f);
}

TEST(AudioExchangeTest, EventsAreHandedOverInListOrder) {
  RecordingInstrument a;
  VstMidiEvent on{}, off{};
  on.type = off.type = 1;
  on.deltaFrames = 10;
  on.midiData[0] = static_cast<char>(0x90);
  on.midiData[1] = 60;
  on.midiData[2] = 100;
  off.deltaFrames = 5;
  off.midiData[0] = static_cast<char>(0x80);
  VstMidiSysexEvent sysex{};
  char dump[3] = {static_cast<char>(0xF0), 0x7D, static_cast<char>(0xF7)};
  sysex.type = 6;
  sysex.dumpBytes = 3;
  sysex.sysexDump = dump;
  VstEvent other{};
  other.type = 3;
  struct {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[5];
  } list{5, 0, {reinterpret_cast<VstEvent*>(&on), nullptr, &other,
                reinterpret_cast<VstEvent*>(&sysex), reinterpret_cast<VstEvent*>(&off)}};
  EXPECT_EQ(Dispatch(a, vst::effProcessEvents, 0, 0, &list), 1);
  ASSERT_EQ(a.midi.size(), 2u);
  EXPECT_EQ(a.midi[0].offset, 10);
  EXPECT_EQ(a.midi[0].status, 0x90);
  EXPECT_EQ(a.midi[0].data2, 100);
  EXPECT_EQ(a.midi[1].offset, 5);
  EXPECT_EQ(a.sysex, (std::vector<uint8_t>{0xF0, 0x7D, 0xF7}));
  list.numEvents = -3;
  EXPECT_EQ(Dispatch(a, vst::effProcessEvents, 0, 0, &list), 1);
  EXPECT_EQ(a.midi.size(), 2u);
}

VstTimeInfo g_time{};
bool g_giveTime = false;
int g_wantMidi = 0;
intptr_t TimeHost(AEffect*, int32_t opcode, int32_t, intptr_t value, void*, float) {
  if (opcode == vst::audioMasterWantMidi) ++g_wantMidi;
  if (opcode == vst::audioMasterGetTime && value == 0x400 && g_giveTime)
    return reinterpret_cast<intptr_t>(&g_time);
  return 0;
}

TEST(AudioExchangeTest, TempoNeedsTheValidFlag) {
  RecordingInstrument a(&TimeHost);
  g_giveTime = false;
  EXPECT_EQ(a.HostTempo(), 0.0);
  g_giveTime = true;
  g_time.tempo = 133.0;
  g_time.flags = 0;
  EXPECT_EQ(a.HostTempo(), 0.0);
  g_time.flags = 0x400;
  EXPECT_EQ(a.HostTempo(), 133.0);
  g_time.tempo = -10.0;
  EXPECT_EQ(a.HostTempo(), 0.0);
  RecordingInstrument silentHost(nullptr);
  EXPECT_EQ(silentHost.HostTempo(), 0.0);

  g_wantMidi = 0;
  FloatBuffers out(16);
  a.Effect()->processReplacing(a.Effect(), nullptr, out.ptrs, 16);
  a.Effect()->process(a.Effect(), nullptr, out.ptrs, 16);
  EXPECT_EQ(g_wantMidi, 2);  // asked before every block
}

TEST(AudioExchangeTest, DenormalsFlushedOnlyDuringTheCall) {
  RecordingInstrument a;
  const unsigned int host = _mm_getcsr();
  _mm_setcsr(host & ~0x8040u);
  const unsigned int before = _mm_getcsr();
  FloatBuffers out(16);
  std::vector<double> l(16), r(16);
  double* douts[2] = {l.data(), r.data()};
  a.Effect()->processReplacing(a.Effect(), nullptr, out.ptrs, 16);
  EXPECT_EQ(a.mxcsrDuringRender & 0x8040u, 0x8040u);
  EXPECT_EQ(_mm_getcsr(), before);
  a.mxcsrDuringRender = 0;
  a.Effect()->process(a.Effect(), nullptr, out.ptrs, 16);
  EXPECT_EQ(a.mxcsrDuringRender & 0x8040u, 0x8040u);
  EXPECT_EQ(_mm_getcsr(), before);
  a.mxcsrDuringRender = 0;
  a.Effect()->processDoubleReplacing(a.Effect(), nullptr, douts, 16);
  EXPECT_EQ(a.mxcsrDuringRender & 0x8040u, 0x8040u);
  EXPECT_EQ(_mm_getcsr(), before);
  a.fixedSample = 1e-40;  // normal as a double, subnormal as a float
  a.Effect()->processReplacing(a.Effect(), nullptr, out.ptrs, 16);
  EXPECT_EQ(out.left[3], 0.0f);
  _mm_setcsr(host);
}

}  // namespace
}  // namespace morvanta
