#include "editor/MyControls.h"

namespace morvanta {

MyKnobMultiControl::MyKnobMultiControl(PanelInstrument& instrument, PanelGraphics& graphics,
                                       int x, int y, int param, const BitmapStrip& strip,
                                       DragDirection direction, double gearing)
    : KnobMultiControl(graphics, x, y, param, strip, direction, gearing), instrument_(instrument) {}

void MyKnobMultiControl::OnMouseDown(int x, int y, unsigned modifiers) {
  KnobMultiControl::OnMouseDown(x, y, modifiers);
  instrument_.EditCommand(Param());
}

void MyKnobMultiControl::OnMouseUp(int, int, unsigned) { instrument_.PushSnapshot(); }

void MyKnobMultiControl::OnMouseWheel(int x, int y, unsigned modifiers, int steps) {
  KnobMultiControl::OnMouseWheel(x, y, modifiers, steps);
  instrument_.EditCommand(Param());
  instrument_.PushSnapshot();
}

void MyKnobMultiControl::ValueCommitted() { instrument_.PushSnapshot(); }

MySwitchControl::MySwitchControl(PanelInstrument& instrument, PanelGraphics& graphics, int x,
                                 int y, int param, const BitmapStrip& strip)
    : SwitchControl(graphics, x, y, param, strip), instrument_(instrument) {}

void MySwitchControl::OnMouseDown(int x, int y, unsigned modifiers) {
  SwitchControl::OnMouseDown(x, y, modifiers);
  instrument_.EditCommand(Param());
}

void MySwitchControl::OnMouseUp(int, int, unsigned) { instrument_.PushSnapshot(); }

MyRadioButtonsControl::MyRadioButtonsControl(PanelInstrument& instrument, PanelGraphics& graphics,
                                             const PanelRect& rect, int param, int buttons,
                                             const BitmapStrip& strip)
    : RadioButtonsControl(graphics, rect, param, buttons, strip), instrument_(instrument) {}

void MyRadioButtonsControl::OnMouseDown(int x, int y, unsigned modifiers) {
  RadioButtonsControl::OnMouseDown(x, y, modifiers);
  instrument_.EditCommand(Param());
}

void MyRadioButtonsControl::OnMouseUp(int, int, unsigned) { instrument_.PushSnapshot(); }

void MyRadioButtonsControl::ValueCommitted() { instrument_.PushSnapshot(); }

MyContactControl::MyContactControl(PanelInstrument& instrument, PanelGraphics& graphics, int x,
                                   int y, int param, const BitmapStrip& strip)
    : ContactControl(graphics, x, y, param, strip), instrument_(instrument) {}

void MyContactControl::OnMouseDown(int x, int y, unsigned modifiers) {
  ContactControl::OnMouseDown(x, y, modifiers);
  instrument_.EditCommand(Param());
}

void MyContactControl::OnMouseUp(int, int, unsigned) {
  SetValue(0.0);
  SetDirty(true);
}

}  // namespace morvanta
