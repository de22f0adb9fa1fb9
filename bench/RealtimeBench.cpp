// Real-time behaviour of Morvanta.so as a host meets it, driven through the
// host library like any other plug-in:
//   locks  — how long each host call holds the instance lock (timed from the
//            host side: every dispatcher request and callback holds the lock
//            for its whole run), at 44.1 and 192 kHz with the effect chain on;
//   paced  — an audio thread paced in real time (64- and 512-frame blocks at
//            44.1 kHz) while a control thread loads programs and banks without
//            pause: longest process call and missed deadlines;
//   events — blocks of 1,000 note-ons far beyond the block: memory and call
//            time as the blocks go by, and allocations inside effProcessEvents.
// Usage: RealtimeBench [locks|paced|events|all] [--seconds N] [--blocks N]
//                      [--normal-priority]  (audio thread without SCHED_FIFO)
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tools/alloc/AllocationCounter.h"
#include "tools/host/VstHost.h"

namespace {

using morvanta::host::MidiEvent;
using morvanta::host::PluginInstance;
using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

template <typename F>
double TimeMicros(F&& f) {
  const auto t0 = Clock::now();
  f();
  return Micros(Clock::now() - t0);
}

struct Stats {
  std::vector<double> samples;
  void Add(double v) { samples.push_back(v); }
  double Quantile(double q) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    const size_t i = std::min(samples.size() - 1, static_cast<size_t>(q * (samples.size() - 1) + 0.5));
    return samples[i];
  }
  double Max() { return samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end()); }
  double Mean() {
    double s = 0.0;
    for (double v : samples) s += v;
    return samples.empty() ? 0.0 : s / samples.size();
  }
};

// SCHED_FIFO for the calling thread while in scope, where the system allows it.
class RealtimePriority {
 public:
  RealtimePriority(int priority, bool wanted) {
    sched_param prio{};
    prio.sched_priority = priority;
    active_ = wanted && pthread_setschedparam(pthread_self(), SCHED_FIFO, &prio) == 0;
  }
  ~RealtimePriority() {
    sched_param prio{};
    if (active_) pthread_setschedparam(pthread_self(), SCHED_OTHER, &prio);
  }
  bool Active() const { return active_; }

 private:
  bool active_ = false;
};

long ResidentKb() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  long pages = 0, resident = 0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::unique_ptr<PluginInstance> LoadPlugin() {
  std::string error;
  auto p = PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
  if (!p) {
    std::fprintf(stderr, "cannot load %s: %s\n", MORVANTA_PLUGIN_PATH, error.c_str());
    std::exit(1);
  }
  return p;
}

class Output {
 public:
  explicit Output(int frames) : left_(frames), right_(frames), ptrs_{left_.data(), right_.data()} {}
  double** Ptrs() { return ptrs_; }

 private:
  std::vector<double> left_, right_;
  double* ptrs_[2];
};

// A sounding chord keeps every voice and every effect line busy.
std::vector<MidiEvent> Chord(bool on) {
  std::vector<MidiEvent> events;
  for (int n = 0; n < 16; ++n) {
    MidiEvent e;
    e.deltaFrames = n;
    e.bytes[0] = on ? 0x90 : 0x80;
    e.bytes[1] = static_cast<uint8_t>(36 + 3 * n);
    e.bytes[2] = on ? 100 : 0;
    events.push_back(e);
  }
  return events;
}

// Sets the rate, turns chorus, delay and reverb on in every program (random
// LFOs and pitch noise too) and returns the bank that carries them.
std::vector<uint8_t> PrepareFullChain(PluginInstance& p, double rate, int block) {
  p.SetSampleRate(rate);
  p.SetBlockSize(block);
  p.Resume();
  const char* on[] = {"Chorus On", "Delay On", "Reverb On"};
  int indices[3];
  for (int i = 0; i < 3; ++i) indices[i] = p.FindParam(on[i]);
  const int mix = p.FindParam("Reverb mix");
  for (int prog = 0; prog < p.NumPrograms(); ++prog) {
    p.SetProgram(prog);
    for (int idx : indices)
      if (idx >= 0) p.SetParameter(idx, 1.0f);
    if (mix >= 0) p.SetParameter(mix, 0.4f);
  }
  p.SetProgram(0);
  return p.GetChunk(true);
}

void RunBlocks(PluginInstance& p, Output& out, int frames, int count) {
  for (int i = 0; i < count; ++i) p.ProcessDouble(out.Ptrs(), frames);
}

// A loaded plug-in with the full chain in every program, having played a
// held chord for `chordBlocks` blocks.
struct Session {
  Session(double rate, int block, int chordBlocks) : p(LoadPlugin()), out(block) {
    bank = PrepareFullChain(*p, rate, block);
    p->SendMidi(Chord(true));
    RunBlocks(*p, out, block, chordBlocks);
  }
  std::unique_ptr<PluginInstance> p;
  Output out;
  std::vector<uint8_t> bank;
};

void Report(const char* what, Stats& s) {
  std::printf("  %-34s n=%-5zu median %9.1f us   p99 %9.1f us   max %9.1f us\n", what,
              s.samples.size(), s.Quantile(0.5), s.Quantile(0.99), s.Max());
}

// --- locks -----------------------------------------------------------------

void LockHoldAt(double rate) {
  constexpr int kBlock = 512;
  constexpr int kRepeats = 60;
  Session session(rate, kBlock, 200);
  PluginInstance* p = session.p.get();
  Output& out = session.out;
  const std::vector<uint8_t>& bank = session.bank;
  const std::vector<uint8_t> program = p->GetChunk(false);
  const double otherRate = rate == 44100.0 ? 48000.0 : 44100.0;
  std::vector<MidiEvent> thousand(1000), tenThousand(10000);
  for (int i = 0; i < 1000; ++i) thousand[i] = MidiEvent{i % kBlock, {0x90, static_cast<uint8_t>(30 + i % 60), 90}};
  // The worst order: every event goes before all those already queued.
  for (int i = 0; i < 10000; ++i)
    tenThousand[i] = MidiEvent{10000 - i, {static_cast<uint8_t>(i % 2 ? 0x80 : 0x90), static_cast<uint8_t>(30 + i % 60), 90}};

  // Measured on a real-time thread, so that other programs on the machine do
  // not stretch the calls; the figure is the call's own length.
  const RealtimePriority realtime(60, true);
  std::printf("lock hold per host call at %.1f kHz, full effect chain, %d-frame blocks%s:\n", rate / 1000.0,
              kBlock, realtime.Active() ? "" : " [normal priority]");
  struct Call {
    const char* name;
    std::function<void()> run;
    const std::vector<MidiEvent>* events = nullptr;  // the list the call sends, built beforehand
  };
  int prog = 0;
  int param = 0;
  void* chunkData = nullptr;
  const std::vector<Call> calls = {
      {"effSetProgram", [&] { p->SetProgram(prog = (prog + 37) % 201); }},
      {"effSetChunk (program)", [&] { p->SetChunk(program, false); }},
      {"effSetChunk (bank)", [&] { p->SetChunk(bank, true); }},
      {"effGetChunk (program)",
       [&] { p->Dispatch(vst::effGetChunk, 1, 0, &chunkData); }},
      {"effGetChunk (bank)", [&] { p->Dispatch(vst::effGetChunk, 0, 0, &chunkData); }},
      {"effSetSampleRate (same rate)", [&] { p->SetSampleRate(rate); }},
      {"effMainsChanged resume", [&] { p->Resume(); }},
      {"effMainsChanged suspend", [&] { p->Suspend(); }},
      {"effSetBlockSize", [&] { p->SetBlockSize(kBlock); }},
      {"setParameter", [&] { p->SetParameter(param = (param + 7) % 236, 0.5f); }},
      {"effProcessEvents (1,000 events)", [&] { p->SendPreparedMidi(); }, &thousand},
      {"effProcessEvents (10,000 reversed)", [&] { p->SendPreparedMidi(); }, &tenThousand},
      {"processDoubleReplacing (512)", [&] { p->ProcessDouble(out.Ptrs(), kBlock); }},
  };
  for (const Call& c : calls) {
    Stats s;
    for (int i = 0; i < kRepeats; ++i) {
      // Blocks in between keep the lines and voices in use, as in a session.
      p->SendMidi(Chord(true));
      RunBlocks(*p, out, kBlock, 2);
      if (c.events) p->PrepareMidi(*c.events);
      s.Add(TimeMicros(c.run));
    }
    Report(c.name, s);
  }
  // A change of rate, there and back (the reallocation happens here).
  Stats change;
  for (int i = 0; i < kRepeats; ++i) {
    RunBlocks(*p, out, kBlock, 2);
    change.Add(TimeMicros([&] { p->SetSampleRate(otherRate); }));
    RunBlocks(*p, out, kBlock, 2);
    change.Add(TimeMicros([&] { p->SetSampleRate(rate); }));
  }
  char name[64];
  std::snprintf(name, sizeof name, "effSetSampleRate (%.1f <-> %.1f)", rate / 1000.0, otherRate / 1000.0);
  Report(name, change);
}

// --- paced -----------------------------------------------------------------

struct PacedResult {
  long blocks = 0, missed = 0, loads = 0, bankLoads = 0;
  double longestCall = 0.0, meanCall = 0.0, p999 = 0.0;
  bool realtime = false;
};

bool g_realtimeAudio = true;

PacedResult Paced(int frames, double seconds, bool control) {
  constexpr double kRate = 44100.0;
  Session session(kRate, frames, 64);
  PluginInstance* p = session.p.get();
  Output& out = session.out;
  const std::vector<uint8_t>& bank = session.bank;

  std::atomic<bool> stop{false};
  std::atomic<long> loads{0}, bankLoads{0};
  std::thread controller;
  if (control) {
    controller = std::thread([&] {
      int prog = 0;
      long n = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        if (++n % 8 == 0) {
          p->SetChunk(bank, true);
          bankLoads.fetch_add(1, std::memory_order_relaxed);
        } else {
          p->SetProgram(prog = (prog + 13) % 201);
        }
        loads.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }

  // Audio threads of real hosts run with a real-time priority where the
  // system allows it; so does this one (the control thread stays normal).
  const RealtimePriority realtime(70, g_realtimeAudio);

  PacedResult r;
  r.realtime = realtime.Active();
  Stats calls;
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frames / kRate));
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  auto due = Clock::now() + period;
  const std::vector<MidiEvent> on = Chord(true), off = Chord(false);
  long block = 0;
  while (due < end) {
    std::this_thread::sleep_until(due - period);
    // A note pattern the way a sequencer sends it: chords every ~0.2 s.
    if (block % std::max(1, static_cast<int>(0.2 * kRate / frames)) == 0)
      p->SendMidi((block / std::max(1, static_cast<int>(0.2 * kRate / frames))) % 2 ? off : on);
    const auto t0 = Clock::now();
    p->ProcessDouble(out.Ptrs(), frames);
    const auto t1 = Clock::now();
    calls.Add(Micros(t1 - t0));
    ++block;
    if (t1 > due) {
      ++r.missed;
      due = t1 + period;  // the driver starts over after a dropout
    } else {
      due += period;
    }
  }
  stop = true;
  if (controller.joinable()) controller.join();
  r.blocks = block;
  r.loads = loads;
  r.bankLoads = bankLoads;
  r.longestCall = calls.Max();
  r.meanCall = calls.Mean();
  r.p999 = calls.Quantile(0.999);
  return r;
}

void PacedReport(double seconds) {
  std::printf("paced audio thread at 44.1 kHz, %.0f s per run (deadline = one block period):\n", seconds);
  for (int frames : {64, 512}) {
    for (bool control : {false, true}) {
      const PacedResult r = Paced(frames, seconds, control);
      std::printf("  %3d frames, %-32s blocks %6ld of %6ld  missed %5ld  longest call %8.1f us  p99.9 %7.1f us"
                  "  mean %6.1f us  (period %.0f us)",
                  frames, control ? "control thread loading nonstop" : "no control thread", r.blocks,
                  static_cast<long>(seconds * 44100.0 / frames), r.missed,
                  r.longestCall, r.p999, r.meanCall, frames / 44100.0 * 1e6);
      if (!r.realtime) std::printf("  [normal priority]");
      if (control)
        std::printf("  loads %ld (%.0f/s, %ld banks)", r.loads, r.loads / seconds, r.bankLoads);
      std::printf("\n");
    }
  }
}

// --- events ----------------------------------------------------------------

// Allocations inside effProcessEvents and the process call for lists of
// growing size (events inside the block, so the queue empties each block).
void EventAllocations() {
  constexpr int kBlock = 256;
  Session session(44100.0, kBlock, 16);
  PluginInstance* p = session.p.get();
  Output& out = session.out;
  std::printf("allocations in effProcessEvents + process, fresh instance, %d-frame blocks:\n", kBlock);
  for (int n : {1, 1000, 1025, 4096, 10000}) {
    std::vector<MidiEvent> list(n);
    for (int i = 0; i < n; ++i) list[i] = MidiEvent{i % kBlock, {0x90, static_cast<uint8_t>(30 + i % 60), 90}};
    p->SendMidi(std::vector<MidiEvent>(n));  // sizes the host's own list storage
    p->ProcessDouble(out.Ptrs(), kBlock);
    p->PrepareMidi(list);
    morvanta::alloc::CountWindow window;
    p->SendPreparedMidi();
    p->ProcessDouble(out.Ptrs(), kBlock);
    std::printf("  list of %5d events: %ld allocations, %ld bytes\n", n, window.Count(), window.Bytes());
  }
}

// Lists of 1,000 note-ons all far beyond the block, one list per block.
void EventGrowth(int blocks) {
  constexpr int kBlock = 256;
  // Nine seconds first: every delay line has then been written through once,
  // so the memory its pages take no longer grows.
  Session session(44100.0, kBlock, static_cast<int>(9.0 * 44100.0 / kBlock));
  PluginInstance* p = session.p.get();
  Output& out = session.out;
  p->SendMidi(Chord(false));
  RunBlocks(*p, out, kBlock, static_cast<int>(2.0 * 44100.0 / kBlock));
  std::printf("%d blocks of 1,000 note-ons at deltaFrames 1,000,000, %d-frame blocks:\n", blocks, kBlock);
  const std::vector<MidiEvent> far(1000, MidiEvent{1000000, {0x90, 60, 90}});
  const RealtimePriority realtime(60, true);
  const long rss0 = ResidentKb();
  Stats first, last, all;
  for (int b = 0; b < blocks; ++b) {
    const double t = TimeMicros([&] {
      p->SendMidi(far);
      p->ProcessDouble(out.Ptrs(), kBlock);
    });
    all.Add(t);
    if (b < 100) first.Add(t);
    if (b >= blocks - 100) last.Add(t);
  }
  const long rss1 = ResidentKb();
  std::printf("  resident memory %+.1f MB; effProcessEvents + process: first 100 blocks mean %.1f us, "
              "last 100 mean %.1f us, max %.1f us\n",
              (rss1 - rss0) / 1024.0, first.Mean(), last.Mean(), all.Max());
}

}  // namespace

int main(int argc, char** argv) {
  std::string what = "all";
  double seconds = 10.0;
  int blocks = 3000;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--normal-priority")) {
      g_realtimeAudio = false;
    } else if (!std::strcmp(argv[i], "--blocks") && i + 1 < argc) {
      blocks = std::atoi(argv[++i]);
    } else {
      what = argv[i];
    }
  }
  const bool all = what == "all";
  if (all || what == "locks") {
    LockHoldAt(44100.0);
    LockHoldAt(192000.0);
  }
  if (all || what == "paced") PacedReport(seconds);
  if (all || what == "events") {
    EventAllocations();
    EventGrowth(blocks);
  }
  return 0;
}
