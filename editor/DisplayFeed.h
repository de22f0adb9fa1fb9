// Hands the display's reading and the step page from the audio thread to
// the window's thread without locks, allocation or text: the audio thread
// publishes numbers at the end of each block, the window formats them.
#pragma once

#include <atomic>
#include <cstdint>

#include "editor/PanelInstrument.h"

namespace morvanta {

class DisplayFeed {
 public:
  // Single writer (the audio thread, or any thread holding the instance lock).
  void Publish(const DisplayReading& r) {
    const uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);  // odd: writing
    std::atomic_thread_fence(std::memory_order_release);
    param_.store(r.param, std::memory_order_relaxed);
    value_.store(r.value, std::memory_order_relaxed);
    flag_.store(r.flag, std::memory_order_relaxed);
    sequence_.store(s + 2, std::memory_order_release);
  }

  // False while a write is in progress (keep what was shown).
  bool Read(DisplayReading* out) const {
    const uint32_t before = sequence_.load(std::memory_order_acquire);
    if (before & 1u) return false;
    DisplayReading r;
    r.param = param_.load(std::memory_order_relaxed);
    r.value = value_.load(std::memory_order_relaxed);
    r.flag = flag_.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) != before) return false;
    *out = r;
    return true;
  }

  void PublishStepPage(int32_t page) { page_.store(page, std::memory_order_relaxed); }
  int32_t StepPage() const { return page_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> sequence_{0};
  std::atomic<int32_t> param_{-1};
  std::atomic<double> value_{0.0};
  std::atomic<int32_t> flag_{0};
  std::atomic<int32_t> page_{0};
};

}  // namespace morvanta
