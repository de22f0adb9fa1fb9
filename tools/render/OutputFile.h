// An output file that appears whole or not at all: written under a temporary
// name in the destination's folder and renamed into place on Commit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvanta {
namespace render {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; fails (with a message) when the folder
  // cannot be written.
  bool Open(const std::string& path, std::string* error);
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  bool WriteAll(const std::vector<uint8_t>& bytes, std::string* error);
  // Flushes, closes and renames the temporary file onto the destination.
  bool Commit(std::string* error);
  // Removes the temporary file (also done by the destructor).
  void Discard();

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
};

}  // namespace render
}  // namespace morvanta
