// Rendering allocates nothing: global operator new/delete are replaced by
// counting versions (the allocation counter) and the count is read across
// RenderBlock calls.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "instrument/Brisquet.h"
#include "instrument/ParamTable.h"
#include "plugin/Vst2Abi.h"
#include "support/EngineTestKit.h"
#include "tools/alloc/AllocationCounter.h"

namespace morvanta {
namespace {

using testkit::NoteOff;
using testkit::NoteOn;

using alloc::CountWindow;

// Every stage at work: all partials, shapers, arp, random LFO, bus and effects.
ParamSnapshot BusySound() {
  ParamSnapshot s = testkit::InitSnapshot();
  for (double& h : s.harmonics) h = 0.8;
  s.chorusOn = s.delayOn = s.reverbOn = s.arpOn = 1;
  s.lfo1.shape = 5;
  s.distortion = s.tubeDrive = s.pitchNoise = s.waveShaper = s.ringMod = s.bitDivider = 0.3;
  return s;
}

int* volatile g_sink = nullptr;

TEST(AllocationFree, TheCounterSeesAllocations) {
  CountWindow window;
  std::vector<int> v(100, 1);
  g_sink = v.data();
  EXPECT_EQ(window.Count(), 1);
}

TEST(AllocationFree, EngineRenderBlocksAllocateNothing) {
  testkit::RecordingHost host;
  host.tempo = 128.0;
  host.wheels.reserve(64);
  SynthEngine engine(host);
  engine.Reset(48000.0, 256);
  const ParamSnapshot snap = BusySound();
  std::vector<double> left(256), right(256);
  for (int n = 0; n < 16; ++n) engine.MidiReceived(NoteOn(40 + 3 * n, 100, n));
  for (int b = 0; b < 8; ++b) engine.RenderBlock(snap, left.data(), right.data(), 256, 48000.0);

  // Events of every kind handled inside the measured blocks.
  for (const MidiMessage& m : {NoteOn(90, 80, 3), NoteOff(43, 9), MidiMessage{20, 0xB0, 1, 64},
                               MidiMessage{30, 0xE0, 0, 90}, MidiMessage{40, 0xD0, 50, 0}, NoteOn(91, 80, 300)}) {
    engine.MidiReceived(m);
  }
  long count;
  {
    CountWindow window;
    for (int b = 0; b < 64; ++b) engine.RenderBlock(snap, left.data(), right.data(), 256, 48000.0);
    count = window.Count();
  }
  EXPECT_EQ(count, 0);
}

TEST(AllocationFree, InstrumentRenderBlocksAllocateNothing) {
  std::unique_ptr<Brisquet> b(static_cast<Brisquet*>(CreateInstrument(nullptr)));
  b->MutableSnapshot() = BusySound();
  std::vector<double> left(512), right(512);
  double* outs[2] = {left.data(), right.data()};
  for (int n = 0; n < 16; ++n) b->MidiReceived(n, 0x90, static_cast<uint8_t>(50 + n), 100);
  for (int i = 0; i < 4; ++i) b->RenderBlock(nullptr, outs, 512);
  b->MidiReceived(5, 0xB0, 1, 100);
  b->MidiReceived(7, 0x80, 52, 0);
  long count;
  {
    CountWindow window;
    for (int i = 0; i < 32; ++i) b->RenderBlock(nullptr, outs, 512);
    count = window.Count();
  }
  EXPECT_EQ(count, 0);
}

// A host's event list of n MIDI events, built once outside the counted calls.
class EventList {
 public:
  EventList(int n, int32_t firstOffset, int32_t offsetStep, int offsetWrap) : events_(n) {
    const size_t header = offsetof(VstEvents, events);
    storage_.assign(header + sizeof(VstEvent*) * static_cast<size_t>(n > 2 ? n : 2), 0);
    auto* list = reinterpret_cast<VstEvents*>(storage_.data());
    list->numEvents = n;
    for (int i = 0; i < n; ++i) {
      VstMidiEvent& m = events_[i];
      m.type = vst::kVstMidiType;
      m.byteSize = sizeof(VstMidiEvent);
      m.deltaFrames = firstOffset + offsetStep * (i % offsetWrap);
      // Note-ons and note-offs, a controller and a bend now and then.
      const int kind = i % 7;
      m.midiData[0] = static_cast<char>(kind == 5 ? 0xB0 : kind == 6 ? 0xE0 : (kind % 2 ? 0x80 : 0x90));
      m.midiData[1] = static_cast<char>(30 + i % 60);
      m.midiData[2] = static_cast<char>(1 + i % 120);
      list->events[i] = reinterpret_cast<VstEvent*>(&m);
    }
  }
  VstEvents* Get() { return reinterpret_cast<VstEvents*>(storage_.data()); }

 private:
  std::vector<VstMidiEvent> events_;
  std::vector<uint8_t> storage_;
};

// Whatever the host sends — 1, 1,000 or 10,000 events a list, inside the
// block or far beyond it — neither effProcessEvents nor the process calls
// allocate, before and after program loads, a bank load and rate changes
// (a rate above those prepared for allocates in effSetSampleRate itself).
TEST(AllocationFree, EventListsAndProcessCallsAllocateNothingWhateverTheHostSends) {
  std::unique_ptr<Brisquet> b(static_cast<Brisquet*>(CreateInstrument(nullptr)));
  AEffect* e = b->Effect();
  auto dispatch = [e](int32_t op, int32_t index, intptr_t value, void* ptr, float opt) {
    return e->dispatcher(e, op, index, value, ptr, opt);
  };
  dispatch(vst::effOpen, 0, 0, nullptr, 0.0f);
  dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  dispatch(vst::effSetBlockSize, 0, 256, nullptr, 0.0f);
  dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  for (int index : {kChorusOn, kDelayOn, kReverbOn}) e->setParameter(e, index, 1.0f);
  e->setParameter(e, kLfo1Shape, 1.0f);  // smooth random
  e->setParameter(e, kPitchNoise, 0.5f);
  b->FillEmptyPresets("Empty", kNumPrograms);
  void* data = nullptr;
  const intptr_t size = dispatch(vst::effGetChunk, 0, 0, &data, 0.0f);
  std::vector<uint8_t> bank(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);

  std::vector<EventList> lists;
  for (int n : {1, 1000, 10000}) {
    lists.emplace_back(n, 0, 1, 256);            // inside the block
    lists.emplace_back(n, 1000000, 97, 100000);  // far beyond it
  }
  std::vector<float> fl(256), fr(256);
  std::vector<double> dl(256), dr(256);
  float* fouts[2] = {fl.data(), fr.data()};
  double* douts[2] = {dl.data(), dr.data()};
  const std::vector<std::function<void()>> between = {
      [] {},
      [&] { dispatch(vst::effSetProgram, 0, 7, nullptr, 0.0f); },
      [&] { dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(bank.size()), bank.data(), 0.0f); },
      [&] { dispatch(vst::effSetSampleRate, 0, 0, nullptr, 96000.0f); },
      [&] { dispatch(vst::effSetSampleRate, 0, 0, nullptr, 384000.0f); },
      [&] { dispatch(vst::effSetProgram, 0, 2, nullptr, 0.0f); },
  };
  for (size_t step = 0; step < between.size(); ++step) {
    between[step]();
    for (EventList& list : lists) {
      long count;
      {
        CountWindow window;
        dispatch(vst::effProcessEvents, 0, 0, list.Get(), 0.0f);
        e->processReplacing(e, nullptr, fouts, 256);
        e->processDoubleReplacing(e, nullptr, douts, 256);
        e->process(e, nullptr, fouts, 256);
        count = window.Count();
      }
      ASSERT_EQ(count, 0) << "step " << step << ", list of " << list.Get()->numEvents;
    }
  }
  EXPECT_EQ(b->Engine().Queue().Capacity(), EventQueue::kCapacity);
  EXPECT_GT(b->Engine().Queue().Dropped(), 0);
}

}  // namespace
}  // namespace morvanta
