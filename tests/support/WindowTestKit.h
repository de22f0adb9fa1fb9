// Helpers of the window tests: polling with a time-out instead of sleeping,
// and the window tree as XQueryTree reports it. Include after GoogleTest and
// the project's headers (Xlib's macros would break them).
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <thread>
#include <vector>

namespace morvanta {
namespace testing {

// Polls `done` until it holds or the time is up; answers its last value.
template <class Predicate>
bool WaitFor(Predicate done, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

inline std::vector<Window> Children(Display* d, Window w) {
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (XQueryTree(d, w, &root, &parent, &kids, &n)) {
    out.assign(kids, kids + n);
    if (kids) XFree(kids);
  }
  return out;
}

inline Window ParentOf(Display* d, Window w) {
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return 0;
  if (kids) XFree(kids);
  return parent;
}

}  // namespace testing
}  // namespace morvanta
