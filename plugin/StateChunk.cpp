// The state chunk: a little-endian byte buffer with bounds-checked positioned
// reads, used for program and bank chunks and for the preset slots.
#include "plugin/StateChunk.h"

#include <cstring>

namespace morvanta {

namespace {

bool Fits(int pos, int64_t n, int size) {
  return pos >= 0 && n >= 0 && static_cast<int64_t>(pos) + n <= static_cast<int64_t>(size);
}

}  // namespace

void StateChunk::Assign(const void* src, int n) {
  bytes_.clear();
  if (n > 0 && src != nullptr) {
    const auto* p = static_cast<const uint8_t*>(src);
    bytes_.assign(p, p + n);
  }
}

uint8_t* StateChunk::Grow(int n) {
  const size_t at = bytes_.size();
  bytes_.resize(at + static_cast<size_t>(n > 0 ? n : 0));
  return bytes_.data() + at;
}

void StateChunk::PutInt(int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  uint8_t* at = Grow(4);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(u >> (8 * i));
}

void StateChunk::PutString(const char* s) {
  const int n = s ? static_cast<int>(std::strlen(s)) : 0;
  PutInt(n);
  PutBytes(s, n);
}

void StateChunk::PutBytes(const void* src, int n) {
  if (n <= 0 || src == nullptr) return;
  const auto* p = static_cast<const uint8_t*>(src);
  bytes_.insert(bytes_.end(), p, p + n);
}

int StateChunk::GetInt(int pos, int32_t* v) const {
  if (!Fits(pos, 4, Size())) return -1;
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(bytes_[pos + i]) << (8 * i);
  if (v) *v = static_cast<int32_t>(u);
  return pos + 4;
}

int StateChunk::GetString(int pos, std::string* s) const {
  int32_t len = 0;
  const int p = GetInt(pos, &len);
  if (p < 0) return -1;
  // A negative length would move the read back over bytes already taken, and
  // an end that no int position can hold is unreachable: both end the read.
  if (len < 0) return -1;
  const int64_t end = static_cast<int64_t>(p) + len;
  if (end > INT32_MAX) return -1;
  if (s) {
    s->clear();
    if (len > 0 && end <= Size()) {
      const char* text = reinterpret_cast<const char*>(bytes_.data() + p);
      s->assign(text, strnlen(text, static_cast<size_t>(len)));
    }
  }
  return static_cast<int>(end);
}

int StateChunk::GetByte(int pos, uint8_t* v) const {
  if (!Fits(pos, 1, Size())) return -1;
  if (v) *v = bytes_[pos];
  return pos + 1;
}

}  // namespace morvanta
