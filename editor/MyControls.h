// The instrument's own controls: the framework's slider, switch, radio
// group and push button, which also report every press to the instrument
// (EditCommand) and record the sound when the mouse is released.
#pragma once

#include "editor/PanelControl.h"
#include "editor/PanelInstrument.h"

namespace morvanta {

class MyKnobMultiControl : public KnobMultiControl {
 public:
  MyKnobMultiControl(PanelInstrument& instrument, PanelGraphics& graphics, int x, int y, int param,
                     const BitmapStrip& strip, DragDirection direction, double gearing = 1.0);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  void OnMouseUp(int x, int y, unsigned modifiers) override;
  // Wheel and arrow-key edits have no release: they record at once.
  void OnMouseWheel(int x, int y, unsigned modifiers, int steps) override;
  void ValueCommitted() override;

 private:
  PanelInstrument& instrument_;
};

class MySwitchControl : public SwitchControl {
 public:
  MySwitchControl(PanelInstrument& instrument, PanelGraphics& graphics, int x, int y, int param,
                  const BitmapStrip& strip);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  void OnMouseUp(int x, int y, unsigned modifiers) override;

 private:
  PanelInstrument& instrument_;
};

class MyRadioButtonsControl : public RadioButtonsControl {
 public:
  MyRadioButtonsControl(PanelInstrument& instrument, PanelGraphics& graphics, const PanelRect& rect,
                        int param, int buttons, const BitmapStrip& strip);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  void OnMouseUp(int x, int y, unsigned modifiers) override;
  void ValueCommitted() override;

 private:
  PanelInstrument& instrument_;
};

class MyContactControl : public ContactControl {
 public:
  MyContactControl(PanelInstrument& instrument, PanelGraphics& graphics, int x, int y, int param,
                   const BitmapStrip& strip);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  // The button falls back to 0 (its parameter too).
  void OnMouseUp(int x, int y, unsigned modifiers) override;

 private:
  PanelInstrument& instrument_;
};

}  // namespace morvanta
