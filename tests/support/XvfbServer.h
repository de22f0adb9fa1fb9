// A private X server for the window tests: Xvfb on a display number it picks
// itself (-displayfd), so tests never collide with a desktop or each other.
#pragma once

#include <sys/types.h>

#include <string>

namespace morvanta {
namespace testing {

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts the server with one screen of the given size and points DISPLAY
  // at it. False (with *why) when Xvfb is missing or does not come up.
  bool Start(int width, int height, std::string* why);
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace testing
}  // namespace morvanta
