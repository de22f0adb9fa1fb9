// An instrument with its editor for the panel tests: a recording host
// callback, the panel opened on a memory back buffer (no display server),
// and gestures aimed at the control of a parameter.
#pragma once

#include <memory>
#include <vector>

#include "editor/PanelEditor.h"
#include "instrument/Brisquet.h"

namespace morvanta {
namespace testing {

struct HostEvent {
  int opcode;  // vst::audioMasterAutomate, BeginEdit or EndEdit
  int index;
  float value;
};

class PanelRig {
 public:
  PanelRig();
  ~PanelRig();

  Brisquet& Synth() { return *synth_; }
  PanelEditor& Panel() { return *synth_->Panel(); }

  // The host's view of edits (automate, begin edit, end edit), in order.
  std::vector<HostEvent> events;
  // Only the events for `param`, as opcodes.
  std::vector<int> OpcodesFor(int param) const;

  PanelRect RectOf(int param);
  int CentreX(int param);
  int CentreY(int param);
  double Value(int param);  // the stored plain value

  // Press and release at the control's centre (or at (x, y)).
  void Click(int param, int button = 1, unsigned modifiers = 0);
  void ClickAt(int x, int y, int button = 1, unsigned modifiers = 0);
  // Press at the centre, drag by (dx, dy) in one move, release.
  void Drag(int param, int dx, int dy, unsigned modifiers = 0);
  // A control's value through its parameter, then a release that records.
  void Edit(int param, double normalised);

  // Opens the panel on a memory back buffer and paints all of it.
  RasterMemBitmap& PaintAll();
  // A timer tick and the paint of its dirty area.
  void Tick();
  void RenderBlock(int frames = 64);

 private:
  std::unique_ptr<Brisquet> synth_;
  std::vector<double> left_, right_;
};

}  // namespace testing
}  // namespace morvanta
