// A growable little-endian byte buffer with positioned reads; every read
// returns the position after the item, or -1 when the item does not fit.
#pragma once

#include <cstdint>
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
  void PutDouble(double v);
  void PutString(const char* s);
  void PutBytes(const void* src, int n);

  int GetInt(int pos, int32_t* v) const;
  int GetDouble(int pos, double* v) const;
  // Reads an int length L then L bytes. The end (pos + 4 + L) is returned
  // even when it lies beyond the length; then no text is taken. A negative L,
  // or an end no int can hold, gives -1.
  int GetString(int pos, std::string* s) const;
  int GetByte(int pos, uint8_t* v) const;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace morvanta
