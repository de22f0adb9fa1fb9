// Placeholder render frame: consumes the queue at its offsets and writes
// silence until the voices land.
#include "engine/SynthEngine.h"

namespace morvanta {

SynthEngine::SynthEngine(EngineHost& host) : host_(host) {
  queue_.reserve(1024);
  handled_.reserve(1024);
}

void SynthEngine::MidiReceived(const MidiMessage& m) {
  if (m.status < 0x80 || m.status >= 0xF0) return;
  const int kind = m.status & 0xF0;
  if (kind == 0xA0 || kind == 0xC0) return;
  auto it = queue_.end();
  while (it != queue_.begin() && (it - 1)->offset > m.offset) --it;
  queue_.insert(it, m);
}

void SynthEngine::RenderBlock(const ParamSnapshot& snapshot, double* left, double* right,
                              int frames, double sampleRate) {
  (void)snapshot;
  (void)sampleRate;
  size_t read = 0;
  for (int s = 0; s < frames; ++s) {
    while (read < queue_.size() && queue_[read].offset <= s) {
      if (handled_.size() < handled_.capacity()) handled_.push_back(queue_[read]);
      ++read;
    }
    left[s] = 0.0;
    right[s] = 0.0;
  }
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(read));
  for (MidiMessage& m : queue_) m.offset -= frames;
}

void SynthEngine::Reset(double sampleRate, int blockSize) {
  (void)sampleRate;
  (void)blockSize;
}

void SynthEngine::HardReset(const ParamSnapshot& snapshot) { (void)snapshot; }

}  // namespace morvanta
