// The instrument's editor: the graphics object with the whole control set
// built from the layout table, the parameter display and the three step
// rows that share one place. The audio thread hands the display's reading
// and the step page over through a DisplayFeed; the window's thread turns
// them into text and row visibility.
#pragma once

#include <memory>

#include "editor/DisplayFeed.h"
#include "editor/PanelGraphics.h"
#include "editor/PanelInstrument.h"

namespace morvanta {

class TextControl;

class PanelEditor : public PanelGraphics {
 public:
  PanelEditor(PluginCore& plug, PanelInstrument& instrument, int width, int height);

  DisplayFeed& Feed() { return feed_; }
  // List index of the display control and of the first slider of a step
  // row (0 pitch, 1 shape, 2 modulation); each row has 16 sliders.
  int DisplayIndex() const { return displayIndex_; }
  int StepRowFirst(int row) const { return row >= 0 && row < 3 ? stepRowFirst_[row] : -1; }
  TextControl* Display();

  // Takes over the feed now (the window's thread does this on its own
  // before every tick, paint and mouse event).
  void SyncNow() { Sync(); }

 protected:
  void Sync() override;

 private:
  friend std::unique_ptr<PanelEditor> BuildEditor(PluginCore&, PanelInstrument&);

  PanelInstrument& instrument_;
  DisplayFeed feed_;
  int displayIndex_ = -1;
  int stepRowFirst_[3] = {-1, -1, -1};
  DisplayReading shown_{};
  bool shownValid_ = false;
  int shownPage_ = -1;
};

constexpr int kStepRowLength = 16;

// Builds the editor for the instrument: loads the bitmaps, attaches the
// background and every control of the layout in order, the display last.
std::unique_ptr<PanelEditor> BuildEditor(PluginCore& plug, PanelInstrument& instrument);

}  // namespace morvanta
