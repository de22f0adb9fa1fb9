#include "dsp/DelayBuffer.h"

#include <new>

namespace morvanta {

bool DelayBuffer::Reserve(int32_t capacity) {
  if (capacity <= capacity_) return true;
  // Left uninitialised on purpose: nothing is read before it is written.
  double* fresh = new (std::nothrow) double[static_cast<size_t>(capacity)];
  if (fresh == nullptr) return false;
  data_.reset(fresh);
  capacity_ = capacity;
  SetLength(pos_.length);
  return true;
}

void DelayBuffer::SetLength(int32_t length) {
  if (length > capacity_) length = capacity_;
  if (length < 1) length = capacity_ < 1 ? 0 : 1;
  pos_.length = length;
  pos_.write = 0;
  Clear();
}

}  // namespace morvanta
