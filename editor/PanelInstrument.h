// What the panel needs of the instrument behind it: the edit commands and
// history recording its controls trigger, and the display's text for a
// reading the audio thread handed over.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvanta {

// The parameter the display shows and its value in engine units, plus the
// switch that decides how the value reads (LFO sync, delay tempo sync).
struct DisplayReading {
  int32_t param = -1;  // -1: the display is empty
  double value = 0.0;
  int32_t flag = 0;
};

class PanelInstrument {
 public:
  // A control was pressed: note its parameter for the display; run undo,
  // redo, A/B and copy for the four command buttons.
  virtual void EditCommand(int index) = 0;
  // A control was released: record the sound when it changed.
  virtual void PushSnapshot() = 0;
  // The display's text for `reading` ("name \nvalue"); "" when empty.
  virtual void FormatDisplay(const DisplayReading& reading, char* out, std::size_t size) const = 0;

 protected:
  ~PanelInstrument() = default;
};

}  // namespace morvanta
