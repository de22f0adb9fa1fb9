#include "support/PanelRig.h"

#include "plugin/Vst2Abi.h"

namespace morvanta {
namespace testing {
namespace {

PanelRig* gRig = nullptr;

intptr_t RecordEdits(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
  if (gRig != nullptr && (opcode == vst::audioMasterAutomate || opcode == vst::audioMasterBeginEdit ||
                          opcode == vst::audioMasterEndEdit))
    gRig->events.push_back({opcode, index, opt});
  return 0;
}

}  // namespace

PanelRig::PanelRig() {
  gRig = this;
  synth_.reset(static_cast<Brisquet*>(CreateInstrument(RecordEdits)));
  left_.assign(4096, 0.0);
  right_.assign(4096, 0.0);
}

PanelRig::~PanelRig() {
  synth_.reset();
  if (gRig == this) gRig = nullptr;
}

std::vector<int> PanelRig::OpcodesFor(int param) const {
  std::vector<int> out;
  for (const HostEvent& e : events)
    if (e.index == param) out.push_back(e.opcode);
  return out;
}

PanelRect PanelRig::RectOf(int param) {
  PanelControl* c = Panel().ControlForParam(param);
  return c ? c->Rect() : PanelRect{};
}

int PanelRig::CentreX(int param) { return RectOf(param).x + RectOf(param).w / 2; }
int PanelRig::CentreY(int param) { return RectOf(param).y + RectOf(param).h / 2; }

double PanelRig::Value(int param) { return synth_->ParameterAt(param)->value; }

void PanelRig::ClickAt(int x, int y, int button, unsigned modifiers) {
  Panel().MouseDown(x, y, button, modifiers);
  Panel().MouseUp(x, y, modifiers);
}

void PanelRig::Click(int param, int button, unsigned modifiers) {
  ClickAt(CentreX(param), CentreY(param), button, modifiers);
}

void PanelRig::Drag(int param, int dx, int dy, unsigned modifiers) {
  const int x = CentreX(param), y = CentreY(param);
  Panel().MouseDown(x, y, 1, modifiers);
  Panel().MouseDrag(x + dx, y + dy, modifiers | kModLeftButton);
  Panel().MouseUp(x + dx, y + dy, modifiers);
}

void PanelRig::Edit(int param, double normalised) {
  PanelControl* c = Panel().ControlForParam(param);
  if (c == nullptr) return;
  Panel().MouseDown(CentreX(param), CentreY(param), 1, 0);
  c->SetValueFromUserInput(normalised);
  Panel().MouseUp(CentreX(param), CentreY(param), 0);
}

RasterMemBitmap& PanelRig::PaintAll() {
  if (Panel().BackBuffer() == nullptr) Panel().WindowOpened(nullptr);
  PanelRect dirty;
  if (Panel().TimerTick(&dirty)) Panel().Paint(dirty);
  return *Panel().BackBuffer();
}

void PanelRig::Tick() {
  PanelRect dirty;
  if (Panel().TimerTick(&dirty)) Panel().Paint(dirty);
}

void PanelRig::RenderBlock(int frames) {
  double* outs[2] = {left_.data(), right_.data()};
  synth_->RenderBlock(nullptr, outs, frames);
}

}  // namespace testing
}  // namespace morvanta
