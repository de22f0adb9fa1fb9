// The panel's controls: the common base and the framework's bitmap
// controls. Values are normalised 0..1. The core may push values from any
// thread (they are stored atomically and the control is marked dirty); all
// other calls come from the window's thread.
#pragma once

#include <atomic>
#include <string>

#include "graphics/PanelBitmaps.h"
#include "graphics/PanelWindow.h"
#include "graphics/Raster.h"

namespace morvanta {

class PanelGraphics;

class PanelControl {
 public:
  PanelControl(PanelGraphics& graphics, const PanelRect& rect, int param = -1);
  virtual ~PanelControl() = default;
  PanelControl(const PanelControl&) = delete;
  PanelControl& operator=(const PanelControl&) = delete;

  virtual void OnMouseDown(int x, int y, unsigned modifiers) {}
  virtual void OnMouseUp(int x, int y, unsigned modifiers) {}
  virtual void OnMouseDrag(int x, int y, int dx, int dy, unsigned modifiers) {}
  virtual void OnMouseDoubleClick(int x, int y, unsigned modifiers) {}
  virtual void OnMouseWheel(int x, int y, unsigned modifiers, int steps) {}
  // Whether the control acts on the wheel; OnMouseWheel is called only then.
  virtual bool TakesWheel() const { return false; }
  // Whether the control acts on `key`; OnKeyDown is called only then.
  virtual bool TakesKey(int key) const { return false; }
  virtual void OnKeyDown(int x, int y, int key, unsigned modifiers) {}
  virtual void OnMouseOut() {}
  virtual void Draw(RasterMemBitmap& target, const PanelRect& clip) = 0;
  // A value pushed by the plug-in (any thread): the first one also becomes
  // the default; later ones mark the control dirty when they differ.
  virtual void SetValueFromPlug(double value);
  // A value chosen by the user (the value prompt): stored and sent on.
  virtual void SetValueFromUserInput(double value);
  // The value prompt committed a typed value into this control.
  virtual void ValueCommitted() {}
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y) const;
  // Clamps the value, marks the control for redraw and, with `notify` and
  // a bound parameter, hands the value to the plug-in as an editor edit.
  virtual void SetDirty(bool notify);
  virtual void SetClean() { dirty_.store(false); }
  virtual bool IsDirty() const { return dirty_.load(); }

  // Double clicks arrive as one more press (switches and buttons).
  virtual bool DoubleClickAsClick() const { return false; }

  const PanelRect& Rect() const { return rect_; }
  // The area the control paints (its rectangle unless it draws beyond it).
  virtual PanelRect DrawArea() const { return rect_; }
  int Param() const { return param_; }
  double Value() const { return value_.load(); }
  void SetValue(double v) { value_.store(v); }
  double Default() const { return default_.load(); }
  bool IsHidden() const { return hidden_; }
  bool IsGrayed() const { return grayed_; }
  double BlendWeight() const { return grayed_ ? kGrayedWeight : 1.0; }
  // Takes the dirty mark and answers whether it was set.
  bool TakeDirty() { return dirty_.exchange(false); }

  static constexpr double kGrayedWeight = 0.25;

 protected:
  PanelGraphics& graphics_;
  PanelRect rect_;

 private:
  int param_;
  std::atomic<double> value_{0.0};
  std::atomic<double> default_{-1.0};
  std::atomic<bool> dirty_{true};
  bool hidden_ = false;
  bool grayed_ = false;
};

// Frame k (1..N) for a value: int((N - 1) * value + 0.5) + 1, clamped.
int FrameForValue(double value, int frames);

// A bitmap drawn at the frame its value selects (the background is one).
class BitmapControl : public PanelControl {
 public:
  BitmapControl(PanelGraphics& graphics, int x, int y, const BitmapStrip& strip, int param = -1);
  void Draw(RasterMemBitmap& target, const PanelRect& clip) override;

 protected:
  BitmapStrip strip_;
};

enum class DragDirection { Horizontal, Vertical };

// A slider drawn from a strip of frames, dragged along `direction`.
class KnobMultiControl : public PanelControl {
 public:
  KnobMultiControl(PanelGraphics& graphics, int x, int y, int param, const BitmapStrip& strip,
                   DragDirection direction, double gearing = 1.0);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  void OnMouseDrag(int x, int y, int dx, int dy, unsigned modifiers) override;
  void OnMouseDoubleClick(int x, int y, unsigned modifiers) override;
  void OnMouseWheel(int x, int y, unsigned modifiers, int steps) override;
  bool TakesWheel() const override { return true; }
  bool TakesKey(int key) const override;
  void OnKeyDown(int x, int y, int key, unsigned modifiers) override;
  void Draw(RasterMemBitmap& target, const PanelRect& clip) override;

 protected:
  BitmapStrip strip_;
  DragDirection direction_;
  double gearing_;
};

// A two-state (or N-state) switch: each press steps to the next frame.
class SwitchControl : public BitmapControl {
 public:
  SwitchControl(PanelGraphics& graphics, int x, int y, int param, const BitmapStrip& strip);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  bool DoubleClickAsClick() const override { return true; }
};

// A momentary button: pressed shows its second frame.
class ContactControl : public SwitchControl {
 public:
  using SwitchControl::SwitchControl;
};

// n buttons across a rectangle; the selected one shows the second frame.
class RadioButtonsControl : public PanelControl {
 public:
  static constexpr int kMaxButtons = 8;
  RadioButtonsControl(PanelGraphics& graphics, const PanelRect& rect, int param, int buttons,
                      const BitmapStrip& strip);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  void OnMouseDoubleClick(int x, int y, unsigned modifiers) override;
  void Draw(RasterMemBitmap& target, const PanelRect& clip) override;
  int Buttons() const { return buttons_; }
  const PanelRect& ButtonRect(int k) const { return buttonRects_[k]; }

 protected:
  BitmapStrip strip_;
  int buttons_;
  PanelRect buttonRects_[kMaxButtons];
};

// Text in a rectangle, drawn unclipped to the right and below it (so the
// area it paints reaches `extent` beyond the rectangle).
class TextControl : public PanelControl {
 public:
  TextControl(PanelGraphics& graphics, const PanelRect& rect, const TextStyle& style,
              const char* text = "");
  // Changes the text; marks the control dirty only when it differs.
  void SetText(const char* text);
  const std::string& Text() const { return text_; }
  void SetPaintExtent(int right, int bottom) { extentRight_ = right; extentBottom_ = bottom; }
  PanelRect DrawArea() const override;
  void Draw(RasterMemBitmap& target, const PanelRect& clip) override;

 private:
  TextStyle style_;
  std::string text_;
  int extentRight_ = 0;
  int extentBottom_ = 0;
};

// An invisible area that opens a web page when clicked.
class UrlControl : public PanelControl {
 public:
  UrlControl(PanelGraphics& graphics, const PanelRect& rect, const char* url,
             const char* backupUrl = nullptr);
  void OnMouseDown(int x, int y, unsigned modifiers) override;
  void Draw(RasterMemBitmap&, const PanelRect&) override {}
  // Opened successfully since construction.
  int Opens() const { return opens_; }

 private:
  std::string url_;
  std::string backupUrl_;
  int opens_ = 0;
};

}  // namespace morvanta
