// A program that links the allocation counter has its global operator new
// and delete replaced by versions that count (and otherwise use malloc and
// free) — a loaded plug-in's allocations included, since its operator new
// resolves to the program's. The tests and benchmarks that check an audio
// path for allocations read the count over a window.
#pragma once

namespace morvanta {
namespace alloc {

class CountWindow {
 public:
  CountWindow();  // starts counting from zero
  ~CountWindow();
  CountWindow(const CountWindow&) = delete;
  CountWindow& operator=(const CountWindow&) = delete;
  long Count() const;  // allocations since the window opened
  long Bytes() const;  // bytes they asked for
};

}  // namespace alloc
}  // namespace morvanta
