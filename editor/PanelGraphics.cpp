#include "editor/PanelGraphics.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

namespace morvanta {
namespace {

constexpr int kPromptWidth = 40;
constexpr int kPromptHeight = 16;
// The framework's text style for the value prompt.
const TextStyle kPromptStyle{12, RasterColor{255, 0, 0, 0}, "Verdana", kTextNormal,
                             TextAlign::Left, 0};
constexpr RasterColor kPromptPaper{255, 255, 255, 255};
constexpr RasterColor kPromptBorder{255, 40, 40, 40};
constexpr RasterColor kPromptSelection{255, 160, 196, 255};
constexpr RasterColor kPromptCaret{255, 0, 0, 0};
constexpr int kPromptPadding = 2;

PromptFilter FilterFor(ParameterKind kind) {
  switch (kind) {
    case ParameterKind::Int:
      return PromptFilter::Integer;
    case ParameterKind::Double:
      return PromptFilter::Decimal;
    default:
      return PromptFilter::Anything;
  }
}

// The value as the prompt first shows it: fixed point at the display
// precision, whole when that is 0; '.' whatever the locale.
std::string PromptValueText(const PlugParameter& p) {
  char buf[64];
  const double v = std::isfinite(p.value) ? p.value : 0.0;
  const int precision = std::max(0, std::min<int>(p.displayPrecision, 6));
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

bool HasDigit(const std::string& s) {
  for (char c : s)
    if (c >= '0' && c <= '9') return true;
  return false;
}

}  // namespace

PanelGraphics::PanelGraphics(PluginCore& plug, int width, int height)
    : plug_(plug),
      width_(width),
      height_(height),
      controlForParam_(static_cast<size_t>(std::max(plug.NumParams(), 0)), -1) {}

PanelGraphics::~PanelGraphics() { Close(); }

void PanelGraphics::AttachBackground(const BitmapStrip& background) {
  controls_.insert(controls_.begin(), std::make_unique<BitmapControl>(*this, 0, 0, background));
  for (int& c : controlForParam_)
    if (c >= 0) ++c;
}

int PanelGraphics::AddControl(std::unique_ptr<PanelControl> control) {
  const int index = static_cast<int>(controls_.size());
  const int param = control->Param();
  if (param >= 0 && param < static_cast<int>(controlForParam_.size()) && controlForParam_[param] < 0)
    controlForParam_[param] = index;
  controls_.push_back(std::move(control));
  return index;
}

PanelControl* PanelGraphics::ControlAt(int index) {
  return index >= 0 && index < NumControls() ? controls_[index].get() : nullptr;
}

PanelControl* PanelGraphics::ControlForParam(int param) {
  if (param < 0 || param >= static_cast<int>(controlForParam_.size())) return nullptr;
  return ControlAt(controlForParam_[param]);
}

void PanelGraphics::SetAllDirty() {
  for (auto& c : controls_) c->SetDirty(false);
}

void PanelGraphics::InvalidateArea(const PanelRect& area) {
  extraDirty_ = RectUnion(extraDirty_, RectIntersection(area, PanelRect{0, 0, width_, height_}));
}

int PanelGraphics::FindControl(int x, int y) const {
  for (int i = NumControls() - 1; i >= 0; --i) {
    const PanelControl& c = *controls_[i];
    if (!c.IsHidden() && !c.IsGrayed() && c.IsHit(x, y)) return i;
  }
  return -1;
}

void PanelGraphics::BeginEdit(const PanelControl& c) {
  if (c.Param() >= 0) plug_.BeginHostEdit(c.Param());
}

void PanelGraphics::EndEdit(const PanelControl& c) {
  if (c.Param() >= 0) plug_.EndHostEdit(c.Param());
}

void PanelGraphics::ParameterDisplayUpdate(int index, double value, bool normalised) {
  PanelControl* c = ControlForParam(index);
  if (c == nullptr || std::isnan(value)) return;
  if (!normalised) {
    const PlugParameter* p = plug_.ParameterAt(index);
    if (p == nullptr) return;
    value = p->Normalise(value);
  }
  c->SetValueFromPlug(value);
}

bool PanelGraphics::Open(void* parent) {
  Close();
  window_ = OpenPanelWindow(parent, *this);
  return window_ != nullptr;
}

void PanelGraphics::Close() {
  window_.reset();
  if (backBuffer_) WindowClosed();
}

void PanelGraphics::WindowOpened(PanelPlatform* platform) {
  platform_ = platform;
  backBuffer_ = std::make_unique<RasterMemBitmap>(width_, height_);
  if (!backBuffer_->Valid()) backBuffer_.reset();
  SetAllDirty();
}

void PanelGraphics::WindowClosed() {
  if (pressed_ >= 0 && pressBegunEdit_) EndEdit(*controls_[pressed_]);
  pressed_ = -1;
  promptState_ = PromptState::Closed;
  promptControl_ = -1;
  extraDirty_ = PanelRect{};
  backBuffer_.reset();
  platform_ = nullptr;
}

bool PanelGraphics::TimerTick(PanelRect* dirty) {
  Sync();
  if (promptState_ == PromptState::Confirmed || promptState_ == PromptState::Cancelled)
    FinishPrompt();
  if (!backBuffer_) return false;
  const PanelRect full{0, 0, width_, height_};
  PanelRect area = extraDirty_;
  for (const auto& c : controls_)
    if (c->IsDirty()) area = RectUnion(area, RectIntersection(c->DrawArea(), full));
  if (RectEmpty(area)) return false;
  if (dirty) *dirty = area;
  return true;
}

cairo_surface_t* PanelGraphics::Paint(const PanelRect& area) {
  if (!backBuffer_) return nullptr;
  Sync();
  const PanelRect full{0, 0, width_, height_};
  if (!controls_.empty() && controls_[0]->IsDirty() && RectInside(full, area)) {
    // The background is drawn: everything goes, in list order.
    for (auto& c : controls_) c->TakeDirty();
    extraDirty_ = PanelRect{};
    RedrawArea(full);
    return backBuffer_->Surface();
  }
  // A control made dirty after the tick that chose `area` may lie outside
  // it; it keeps its mark for the next tick.
  for (auto& c : controls_) {
    const PanelRect r = RectIntersection(c->DrawArea(), full);
    if (c->IsDirty() && RectInside(r, area)) {
      c->TakeDirty();
      RedrawArea(r);
    }
  }
  if (!RectEmpty(extraDirty_) && RectInside(extraDirty_, area)) {
    const PanelRect r = extraDirty_;
    extraDirty_ = PanelRect{};
    RedrawArea(r);
  }
  return backBuffer_->Surface();
}

void PanelGraphics::RedrawArea(const PanelRect& area) {
  if (RectEmpty(area)) return;
  for (auto& c : controls_)
    if (!c->IsHidden() && RectsIntersect(c->DrawArea(), area)) c->Draw(*backBuffer_, area);
  if (promptState_ == PromptState::Editing && RectsIntersect(promptRect_, area)) DrawPrompt();
}

void PanelGraphics::DrawPrompt() {
  RasterMemBitmap& b = *backBuffer_;
  const PanelRect box = promptRect_;
  const PanelRect inner{box.x + 1, box.y + 1, box.w - 2, box.h - 2};
  b.Fill(box, kPromptPaper);
  const std::string& text = prompt_.Text();
  const int textX = box.x + kPromptPadding;
  auto xAt = [&](std::size_t n) {
    return textX + static_cast<int>(TextWidth(text.substr(0, n).c_str(), kPromptStyle));
  };
  if (prompt_.HasSelection()) {
    const int x0 = xAt(prompt_.SelectionStart()), x1 = xAt(prompt_.SelectionEnd());
    b.Fill(RectIntersection(PanelRect{x0, inner.y, x1 - x0, inner.h}, inner), kPromptSelection);
  }
  b.DrawText(text.c_str(), PanelRect{textX, box.y + 1, box.w, box.h}, kPromptStyle, inner);
  b.Fill(RectIntersection(PanelRect{xAt(prompt_.Caret()), inner.y + 1, 1, inner.h - 2}, inner),
         kPromptCaret);
  b.Outline(box, kPromptBorder, box);
}

void PanelGraphics::OpenValuePrompt(PanelControl* control) {
  if (control == nullptr) return;
  int index = -1;
  for (int i = 0; i < NumControls(); ++i)
    if (controls_[i].get() == control) index = i;
  const PlugParameter* p = plug_.ParameterAt(control->Param());
  if (index < 0 || p == nullptr) return;
  if (promptState_ != PromptState::Closed) FinishPrompt();
  std::string text;
  {
    std::lock_guard<InstanceLock> guard(plug_.Lock());  // the host may be writing it
    text = PromptValueText(*p);
  }
  prompt_.Reset(text, FilterFor(p->kind));
  const PanelRect& r = control->Rect();
  promptRect_ = PanelRect{r.x + (r.w - kPromptWidth) / 2, r.y + (r.h - kPromptHeight) / 2,
                          kPromptWidth, kPromptHeight};
  promptControl_ = index;
  promptState_ = PromptState::Editing;
  InvalidateArea(promptRect_);
}

void PanelGraphics::PromptKey(int key, unsigned modifiers) {
  if (promptState_ != PromptState::Editing) return;
  if (key == kKeyEnter) {
    promptState_ = PromptState::Confirmed;
  } else if (key == kKeyEscape) {
    promptState_ = PromptState::Cancelled;
  } else if (prompt_.Key(key, (modifiers & kModShift) != 0)) {
    InvalidateArea(promptRect_);
  }
}

void PanelGraphics::PromptFocusLost() {
  if (promptState_ == PromptState::Editing) promptState_ = PromptState::Confirmed;
}

void PanelGraphics::FinishPrompt() {
  const bool commit = promptState_ == PromptState::Confirmed;
  PanelControl* c = ControlAt(promptControl_);
  promptState_ = PromptState::Closed;
  promptControl_ = -1;
  InvalidateArea(promptRect_);
  if (!commit || c == nullptr) return;
  const PlugParameter* p = plug_.ParameterAt(c->Param());
  double v = 0.0;
  // Text without a single digit is dropped rather than read as 0.
  if (p == nullptr || !HasDigit(prompt_.Text()) || !p->ParseText(prompt_.Text().c_str(), &v) ||
      !std::isfinite(v))
    return;
  BeginEdit(*c);
  c->SetValueFromUserInput(p->Normalise(v));
  EndEdit(*c);
  c->ValueCommitted();
}

void PanelGraphics::MouseDown(int x, int y, int button, unsigned modifiers) {
  Sync();
  if (promptState_ == PromptState::Editing) {
    promptState_ = PromptState::Confirmed;  // clicking away commits, as focus loss does
    FinishPrompt();
  }
  if (button == 1) modifiers |= kModLeftButton;
  if (button == 3) modifiers |= kModRightButton;
  if (pressed_ >= 0 && pressBegunEdit_) EndEdit(*controls_[pressed_]);
  lastX_ = x;
  lastY_ = y;
  pressed_ = FindControl(x, y);
  pressBegunEdit_ = false;
  if (pressed_ < 0) return;
  PanelControl& c = *controls_[pressed_];
  pressBegunEdit_ = c.Param() >= 0;
  BeginEdit(c);
  c.OnMouseDown(x, y, modifiers);
}

void PanelGraphics::MouseDrag(int x, int y, unsigned modifiers) {
  if (pressed_ < 0 || (x == lastX_ && y == lastY_)) return;
  const int dx = x - lastX_, dy = y - lastY_;
  lastX_ = x;
  lastY_ = y;
  controls_[pressed_]->OnMouseDrag(x, y, dx, dy, modifiers);
}

void PanelGraphics::MouseUp(int x, int y, unsigned modifiers) {
  const int index = pressed_ >= 0 ? pressed_ : FindControl(x, y);
  const bool endEdit = pressed_ >= 0 && pressBegunEdit_;
  pressed_ = -1;
  pressBegunEdit_ = false;
  if (index < 0) return;
  PanelControl& c = *controls_[index];
  c.OnMouseUp(x, y, modifiers);
  if (endEdit) EndEdit(c);
}

void PanelGraphics::DoubleClick(int x, int y, unsigned modifiers) {
  Sync();
  const int index = FindControl(x, y);
  if (index < 0) return;
  PanelControl& c = *controls_[index];
  if (c.DoubleClickAsClick()) {
    MouseDown(x, y, 1, modifiers);
    return;
  }
  BeginEdit(c);
  c.OnMouseDoubleClick(x, y, modifiers | kModLeftButton);
  EndEdit(c);
}

void PanelGraphics::Wheel(int x, int y, unsigned modifiers, int steps) {
  Sync();
  const int index = FindControl(x, y);
  if (index < 0 || steps == 0 || !controls_[index]->TakesWheel()) return;
  PanelControl& c = *controls_[index];
  BeginEdit(c);
  c.OnMouseWheel(x, y, modifiers, steps);
  EndEdit(c);
}

void PanelGraphics::MouseOut() {
  if (pressed_ < 0) return;
  controls_[pressed_]->OnMouseOut();
}

bool PanelGraphics::KeyDown(int x, int y, int key, unsigned modifiers) {
  Sync();
  const int index = FindControl(x, y);
  if (index < 0 || !controls_[index]->TakesKey(key)) return false;
  PanelControl& c = *controls_[index];
  BeginEdit(c);
  c.OnKeyDown(x, y, key, modifiers);
  EndEdit(c);
  return true;
}

}  // namespace morvanta
