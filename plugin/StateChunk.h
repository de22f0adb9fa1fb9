// A growable little-endian byte buffer with positioned reads; every read
// returns the position after the item, or -1 when the item does not fit.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace morvanta {

class StateChunk {
 public:
  void Clear() { bytes_.clear(); }
  int Size() const { return static_cast<int>(bytes_.size()); }
  const uint8_t* Data() const { return bytes_.data(); }
  uint8_t* Data() { return bytes_.data(); }
  // Replaces the contents with n bytes from src (n <= 0 empties it).
  void Assign(const void* src, int n);

  void PutInt(int32_t v);
  void PutDouble(double v) { EncodeDouble(Grow(8), v); }
  void PutString(const char* s);
  void PutBytes(const void* src, int n);

  // Appends n bytes (zeroed) and returns where they start; for writers that
  // fill many items at once.
  uint8_t* Grow(int n);
  // Stores v at `at` in the chunk's byte order; returns the byte after it.
  static uint8_t* EncodeDouble(uint8_t* at, double v) {
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
    u = __builtin_bswap64(u);
#endif
    std::memcpy(at, &u, sizeof u);
    return at + 8;
  }

  int GetInt(int pos, int32_t* v) const;
  int GetDouble(int pos, double* v) const {
    if (pos < 0 || pos > Size() - 8) return -1;
    uint64_t u;
    std::memcpy(&u, bytes_.data() + pos, sizeof u);
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
    u = __builtin_bswap64(u);
#endif
    if (v) std::memcpy(v, &u, sizeof u);
    return pos + 8;
  }
  // Reads an int length L then L bytes. The end (pos + 4 + L) is returned
  // even when it lies beyond the length; then no text is taken. A negative L,
  // or an end no int can hold, gives -1.
  int GetString(int pos, std::string* s) const;
  int GetByte(int pos, uint8_t* v) const;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace morvanta
