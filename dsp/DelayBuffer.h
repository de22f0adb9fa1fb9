// DelayBuffer: the circular sample store of a delay line. Clearing it costs
// the same whatever its size: the store remembers where writing resumed after
// the clear and how much has been written since, and every other sample reads
// as 0 until it is written again. A program load therefore clears dozens of
// lines without touching their memory.
#pragma once

#include <cstdint>
#include <memory>

namespace morvanta {

class DelayBuffer {
 public:
  // Makes room for `capacity` samples (never shrinks). The memory is left
  // untouched, so it costs no time and no resident pages until written.
  // False when the memory is not there; the old store is kept.
  bool Reserve(int32_t capacity);
  // The length in use (1 .. capacity); writing resumes at index 0; clears.
  void SetLength(int32_t length);
  // The store's positions as a value: a block loop takes them into locals
  // (where writes to the samples cannot disturb them), reads and writes
  // through them and stores them back.
  struct Positions {
    int32_t length = 0;
    int32_t write = 0;
    int32_t start = 0;  // the write index at the last clear
    int32_t written = 0;

    double Read(const double* data, int32_t i) const {
      if (written >= length) return data[i];
      int32_t d = i - start;
      if (d < 0) d += length;
      return d < written ? data[i] : 0.0;
    }
    void Push(double* data, double v) {
      data[write] = v;
      Advance();
    }
    // Moves on as Push does, without writing (for a loop that reads a
    // stretch of frames before it writes them).
    void Advance() {
      if (++write >= length) write = 0;
      if (written < length) ++written;
    }
    // Linear interpolation at the real position p (0 <= p < length); past
    // the last sample comes index 0.
    double ReadBetween(const double* data, double p) const {
      const int32_t i = static_cast<int32_t>(p);
      const double f = p - i;
      const int32_t j = i + 1 < length ? i + 1 : 0;
      return (1.0 - f) * Read(data, i) + f * Read(data, j);
    }
  };

  // From now on every sample reads 0 until it is written again.
  void Clear() {
    pos_.start = pos_.write;
    pos_.written = 0;
  }

  double Read(int32_t i) const { return pos_.Read(data_.get(), i); }
  // Writes at the write index and moves it on (wrapping at the length).
  void Push(double v) { pos_.Push(data_.get(), v); }
  int32_t WriteIndex() const { return pos_.write; }
  const Positions& Cursor() const { return pos_; }
  void SetCursor(const Positions& p) { pos_ = p; }

  int32_t Length() const { return pos_.length; }
  int32_t Capacity() const { return capacity_; }
  // Samples written since the last clear (at most the length).
  int32_t WrittenSinceClear() const { return pos_.written; }
  // The raw store, stale samples included (for tests).
  const double* Raw() const { return data_.get(); }
  // The raw store for a user that keeps its own positions (the reverb's
  // lines; Push, Read and the counts above are then not used) or holds them
  // in a block loop (Cursor / SetCursor).
  double* Data() { return data_.get(); }

 private:
  std::unique_ptr<double[]> data_;
  int32_t capacity_ = 0;
  Positions pos_;
};

}  // namespace morvanta
