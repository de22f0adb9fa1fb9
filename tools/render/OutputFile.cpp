// An output file that appears whole or not at all: written under a temporary
// name in the destination's folder and renamed into place on Commit.
#include "tools/render/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace morvanta {
namespace render {

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const std::string& path, std::string* error) {
  Discard();
  path_ = path;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) {
    *error = "cannot write '" + path + "': not a file name";
    return false;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = "cannot write '" + path + "': it is a folder";
    return false;
  }
  std::string pattern = dir + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) {
    *error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  temp_ = name.data();
  return true;
}

bool OutputFile::WriteAll(const std::vector<uint8_t>& bytes, std::string* error) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write '" + path_ + "': " + std::strerror(n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::Commit(std::string* error) {
  if (fd_ < 0) {
    *error = "cannot write '" + path_ + "': not open";
    return false;
  }
  // mkstemp creates the file private; give it the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  const bool synced = fsync(fd_) == 0 || errno == EINVAL;
  const int syncErrno = errno;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed) {
    *error = "cannot write '" + path_ + "': " + std::strerror(synced ? errno : syncErrno);
    Discard();
    return false;
  }
  if (rename(temp_.c_str(), path_.c_str()) != 0) {
    *error = "cannot write '" + path_ + "': " + std::strerror(errno);
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

void OutputFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace render
}  // namespace morvanta
