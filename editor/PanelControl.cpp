#include "editor/PanelControl.h"

#include <algorithm>
#include <cmath>

#include "editor/PanelGraphics.h"

namespace morvanta {
namespace {

// Fine adjustment with Shift or Control: ten times the gearing.
constexpr double kFineGearing = 10.0;
constexpr double kWheelStep = 0.01;
constexpr double kFineWheelStep = 0.001;

bool Fine(unsigned modifiers) { return (modifiers & (kModShift | kModControl)) != 0; }

double Clamp01(double v) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(v, 0.0, 1.0);
}

}  // namespace

PanelControl::PanelControl(PanelGraphics& graphics, const PanelRect& rect, int param)
    : graphics_(graphics), rect_(rect), param_(param) {}

void PanelControl::SetValueFromPlug(double value) {
  if (default_.load() < 0.0) {
    default_.store(Clamp01(value));
    value_.store(Clamp01(value));
    SetDirty(false);
    return;
  }
  if (value_.load() != value) {
    value_.store(value);
    SetDirty(false);
  }
}

void PanelControl::SetValueFromUserInput(double value) {
  value_.store(value);
  SetDirty(true);
}

void PanelControl::Hide(bool hide) {
  if (hidden_ == hide) return;
  hidden_ = hide;
  SetDirty(false);
}

void PanelControl::GrayOut(bool gray) {
  if (grayed_ == gray) return;
  grayed_ = gray;
  SetDirty(false);
}

bool PanelControl::IsHit(int x, int y) const { return RectContains(rect_, x, y); }

void PanelControl::SetDirty(bool notify) {
  // Written back only when out of range, so a mark from another thread
  // never overwrites a value the window's thread has just set.
  const double v = value_.load();
  if (!(v >= 0.0 && v <= 1.0)) value_.store(Clamp01(v));
  dirty_.store(true);
  if (notify && param_ >= 0) graphics_.Plug().SetParameterFromEditor(param_, value_.load());
}

int FrameForValue(double value, int frames) {
  const int n = std::max(frames, 1);
  const int k = static_cast<int>((n - 1) * Clamp01(value) + 0.5) + 1;
  return std::clamp(k, 1, n);
}

BitmapControl::BitmapControl(PanelGraphics& graphics, int x, int y, const BitmapStrip& strip,
                             int param)
    : PanelControl(graphics, PanelRect{x, y, strip.FrameWidth(), strip.FrameHeight()}, param),
      strip_(strip) {}

void BitmapControl::Draw(RasterMemBitmap& target, const PanelRect& clip) {
  const int frame = strip_.frames < 2 ? 1 : FrameForValue(Value(), strip_.frames);
  target.Blit(strip_.Image(), strip_.Frame(frame - 1), rect_.x, rect_.y, BlendWeight(), clip);
}

KnobMultiControl::KnobMultiControl(PanelGraphics& graphics, int x, int y, int param,
                                   const BitmapStrip& strip, DragDirection direction,
                                   double gearing)
    : PanelControl(graphics, PanelRect{x, y, strip.FrameWidth(), strip.FrameHeight()}, param),
      strip_(strip),
      direction_(direction),
      gearing_(gearing > 0.0 ? gearing : 1.0) {}

void KnobMultiControl::OnMouseDown(int, int, unsigned modifiers) {
  if (modifiers & kModRightButton) graphics_.OpenValuePrompt(this);
}

void KnobMultiControl::OnMouseDrag(int, int, int dx, int dy, unsigned modifiers) {
  const double g = Fine(modifiers) ? gearing_ * kFineGearing : gearing_;
  double delta;
  if (direction_ == DragDirection::Horizontal) {
    if (rect_.w <= 0) return;
    delta = static_cast<double>(dx) / rect_.w / g;
  } else {
    if (rect_.h <= 0) return;
    delta = static_cast<double>(dy) / -rect_.h / g;  // top - bottom: up increases
  }
  if (delta == 0.0) return;
  SetValue(Value() + delta);
  SetDirty(true);
}

void KnobMultiControl::OnMouseDoubleClick(int, int, unsigned) {
  if (Default() < 0.0) return;
  SetValue(Default());
  SetDirty(true);
}

void KnobMultiControl::OnMouseWheel(int, int, unsigned modifiers, int steps) {
  if (steps == 0) return;
  SetValue(Value() + steps * (Fine(modifiers) ? kFineWheelStep : kWheelStep));
  SetDirty(true);
}

bool KnobMultiControl::TakesKey(int key) const {
  return key == kKeyUp || key == kKeyDown || key == kKeyLeft || key == kKeyRight;
}

void KnobMultiControl::OnKeyDown(int, int, int key, unsigned modifiers) {
  const int steps = (key == kKeyUp || key == kKeyRight) ? 1 : -1;
  OnMouseWheel(0, 0, modifiers, steps);
}

void KnobMultiControl::Draw(RasterMemBitmap& target, const PanelRect& clip) {
  const int frame = FrameForValue(Value(), strip_.frames);
  target.Blit(strip_.Image(), strip_.Frame(frame - 1), rect_.x, rect_.y, BlendWeight(), clip);
}

SwitchControl::SwitchControl(PanelGraphics& graphics, int x, int y, int param,
                             const BitmapStrip& strip)
    : BitmapControl(graphics, x, y, strip, param) {}

void SwitchControl::OnMouseDown(int, int, unsigned) {
  const double step = strip_.frames < 2 ? 1.0 : 1.0 / (strip_.frames - 1);
  double v = Value() + step;
  if (v > 1.001) v = 0.0;
  SetValue(v);
  SetDirty(true);
}

RadioButtonsControl::RadioButtonsControl(PanelGraphics& graphics, const PanelRect& rect,
                                         int param, int buttons, const BitmapStrip& strip)
    : PanelControl(graphics, rect, param),
      strip_(strip),
      buttons_(std::clamp(buttons, 1, kMaxButtons)) {
  const int fw = strip_.FrameWidth(), fh = strip_.FrameHeight();
  const int gap = buttons_ > 1 ? (rect.w - buttons_ * fw) / (buttons_ - 1) : 0;
  for (int k = 0; k < buttons_; ++k) buttonRects_[k] = PanelRect{rect.x + k * (fw + gap), rect.y, fw, fh};
}

void RadioButtonsControl::OnMouseDown(int x, int y, unsigned modifiers) {
  if (modifiers & kModRightButton) {
    graphics_.OpenValuePrompt(this);
    return;
  }
  for (int k = 0; k < buttons_; ++k) {
    if (RectContains(buttonRects_[k], x, y)) {
      SetValue(buttons_ > 1 ? static_cast<double>(k) / (buttons_ - 1) : 0.0);
      break;
    }
  }
  SetDirty(true);
}

void RadioButtonsControl::OnMouseDoubleClick(int, int, unsigned) {
  if (Default() < 0.0) return;
  SetValue(Default());
  SetDirty(true);
}

void RadioButtonsControl::Draw(RasterMemBitmap& target, const PanelRect& clip) {
  const RasterBitmap image = strip_.Image();
  const int selected =
      std::clamp(static_cast<int>((buttons_ - 1) * Value() + 0.5), 0, buttons_ - 1);
  for (int k = 0; k < buttons_; ++k) {
    target.Blit(image, strip_.Frame(k == selected ? 1 : 0), buttonRects_[k].x,
                buttonRects_[k].y, BlendWeight(), clip);
  }
}

TextControl::TextControl(PanelGraphics& graphics, const PanelRect& rect, const TextStyle& style,
                         const char* text)
    : PanelControl(graphics, rect), style_(style), text_(text ? text : "") {}

void TextControl::SetText(const char* text) {
  const char* t = text ? text : "";
  if (text_ == t) return;
  text_ = t;
  SetDirty(false);
}

PanelRect TextControl::DrawArea() const {
  PanelRect r = rect_;
  r.w = std::max(r.w, extentRight_ - r.x);
  r.h = std::max(r.h, extentBottom_ - r.y);
  return r;
}

void TextControl::Draw(RasterMemBitmap& target, const PanelRect& clip) {
  target.DrawText(text_.c_str(), rect_, style_, clip);
}

UrlControl::UrlControl(PanelGraphics& graphics, const PanelRect& rect, const char* url,
                       const char* backupUrl)
    : PanelControl(graphics, rect), url_(url ? url : ""), backupUrl_(backupUrl ? backupUrl : "") {}

void UrlControl::OnMouseDown(int, int, unsigned) {
  PanelPlatform* platform = graphics_.Platform();
  if (platform == nullptr || url_.empty()) return;
  if (platform->OpenUrl(url_.c_str()) ||
      (!backupUrl_.empty() && platform->OpenUrl(backupUrl_.c_str())))
    ++opens_;
}

}  // namespace morvanta
