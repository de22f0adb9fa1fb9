// The graphics object: owns the control list (the background is control
// 0), tracks dirty controls, paints them into a back buffer while a window
// is open, and turns the window's mouse and key events into control calls
// with the host's begin/end edit around them. It is also the core's editor.
#pragma once

#include <memory>
#include <vector>

#include "editor/PanelControl.h"
#include "graphics/PanelWindow.h"
#include "graphics/PromptText.h"
#include "graphics/Raster.h"
#include "plugin/PluginCore.h"

namespace morvanta {

class PanelGraphics : public EditorLink, public PanelWindowClient {
 public:
  PanelGraphics(PluginCore& plug, int width, int height);
  ~PanelGraphics() override;

  PluginCore& Plug() { return plug_; }

  // Control list; stable once the editor is built.
  void AttachBackground(const BitmapStrip& background);
  int AddControl(std::unique_ptr<PanelControl> control);
  int NumControls() const { return static_cast<int>(controls_.size()); }
  PanelControl* ControlAt(int index);
  // The control bound to `param`, or null.
  PanelControl* ControlForParam(int param);
  void SetAllDirty();
  // Marks an area for repaint that no single control covers.
  void InvalidateArea(const PanelRect& area);

  // The value prompt for a control's parameter: a 40 x 16 text box centred
  // on the control, its text the value at the parameter's precision.
  void OpenValuePrompt(PanelControl* control);
  const PromptText& Prompt() const { return prompt_; }
  PanelRect PromptRect() const { return promptRect_; }
  // The platform services while a window is open, else null.
  PanelPlatform* Platform() { return platform_; }
  // The back buffer while a window is open, else null.
  RasterMemBitmap* BackBuffer() { return backBuffer_.get(); }

  // EditorLink.
  void ParameterDisplayUpdate(int index, double value, bool normalised) override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  bool Open(void* parent) override;
  void Close() override;

  // PanelWindowClient.
  void WindowOpened(PanelPlatform* platform) override;
  void WindowClosed() override;
  bool TimerTick(PanelRect* dirty) override;
  cairo_surface_t* Paint(const PanelRect& area) override;
  void MouseDown(int x, int y, int button, unsigned modifiers) override;
  void MouseDrag(int x, int y, unsigned modifiers) override;
  void MouseUp(int x, int y, unsigned modifiers) override;
  void DoubleClick(int x, int y, unsigned modifiers) override;
  void Wheel(int x, int y, unsigned modifiers, int steps) override;
  void MouseOut() override;
  bool KeyDown(int x, int y, int key, unsigned modifiers) override;
  bool PromptOpen() const override { return promptState_ == PromptState::Editing; }
  void PromptKey(int key, unsigned modifiers) override;
  void PromptFocusLost() override;
  // The host closes the window under the instance lock and waits for the
  // window's thread, so that thread only ever tries for the lock.
  bool TryEnterInput() override { return plug_.Lock().try_lock(); }
  void LeaveInput() override { plug_.Lock().unlock(); }

 protected:
  // Runs on the window's thread before every timer tick, paint and mouse
  // event, to take over state that other threads handed in.
  virtual void Sync() {}

 private:
  enum class PromptState { Closed, Editing, Confirmed, Cancelled };

  // Topmost visible, enabled control under the point, or -1.
  int FindControl(int x, int y) const;
  void BeginEdit(const PanelControl& c);
  void EndEdit(const PanelControl& c);
  void RedrawArea(const PanelRect& area);
  void DrawPrompt();
  void FinishPrompt();

  PluginCore& plug_;
  int width_;
  int height_;
  std::vector<std::unique_ptr<PanelControl>> controls_;
  std::vector<int> controlForParam_;  // by parameter index, -1 for none

  int pressed_ = -1;
  bool pressBegunEdit_ = false;
  int lastX_ = 0;
  int lastY_ = 0;
  PanelRect extraDirty_{};

  PromptText prompt_;
  PromptState promptState_ = PromptState::Closed;
  PanelRect promptRect_{};
  int promptControl_ = -1;

  std::unique_ptr<RasterMemBitmap> backBuffer_;
  PanelPlatform* platform_ = nullptr;
  std::unique_ptr<PanelWindow> window_;
};

}  // namespace morvanta
