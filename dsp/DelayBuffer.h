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
  // From now on every sample reads 0 until it is written again.
  void Clear() {
    start_ = write_;
    written_ = 0;
  }

  double Read(int32_t i) const {
    if (written_ >= length_) return data_[i];
    int32_t d = i - start_;
    if (d < 0) d += length_;
    return d < written_ ? data_[i] : 0.0;
  }
  // Writes at the write index and moves it on (wrapping at the length).
  void Push(double v) {
    data_[write_] = v;
    if (++write_ >= length_) write_ = 0;
    if (written_ < length_) ++written_;
  }
  int32_t WriteIndex() const { return write_; }

  int32_t Length() const { return length_; }
  int32_t Capacity() const { return capacity_; }
  // Samples written since the last clear (at most the length).
  int32_t WrittenSinceClear() const { return written_; }
  // The raw store, stale samples included (for tests).
  const double* Raw() const { return data_.get(); }
  // The raw store for a user that keeps its own positions (the reverb's
  // lines); Push, Read and the counts above are then not used.
  double* Data() { return data_.get(); }

 private:
  std::unique_ptr<double[]> data_;
  int32_t capacity_ = 0;
  int32_t length_ = 0;
  int32_t write_ = 0;
  int32_t start_ = 0;  // the write index at the last clear
  int32_t written_ = 0;
};

}  // namespace morvanta
