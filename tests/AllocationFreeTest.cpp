// Rendering allocates nothing: global operator new/delete are replaced by
// counting versions and the count is read across RenderBlock calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "instrument/Brisquet.h"
#include "support/EngineTestKit.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* CountedAlloc(std::size_t n) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return CountedAlloc(n); }
void* operator new[](std::size_t n) { return CountedAlloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace morvanta {
namespace {

using testkit::NoteOff;
using testkit::NoteOn;

class CountWindow {
 public:
  CountWindow() {
    g_allocations = 0;
    g_counting = true;
  }
  ~CountWindow() { g_counting = false; }
  long Count() const { return g_allocations.load(); }
};

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

}  // namespace
}  // namespace morvanta
