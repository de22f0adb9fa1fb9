// The seam between the panel (controls, painting, edit logic: headless and
// testable) and the window system that shows it inside a host's window.
//
// The panel side implements PanelWindowClient; a window layer (X11 today)
// implements PanelWindow and calls the client from one thread of its own.
// The client must accept those calls while other threads push parameter
// values to its controls.
#pragma once

#include <cstdint>
#include <memory>

typedef struct _cairo_surface cairo_surface_t;

namespace morvanta {

struct PanelRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// Modifier flags handed to the controls with every mouse call.
enum PanelModifier : unsigned {
  kModLeftButton = 1u << 0,
  kModRightButton = 1u << 1,
  kModShift = 1u << 2,
  kModControl = 1u << 3,
  kModAlt = 1u << 4,
};

// Keys the panel understands. Printable characters are passed as their
// ASCII code (32..126); the others use these codes.
enum PanelKey : int {
  kKeyNone = 0,
  kKeyBackspace = 8,
  kKeyTab = 9,
  kKeyEnter = 13,
  kKeyEscape = 27,
  kKeyLeft = 0x100,
  kKeyRight,
  kKeyUp,
  kKeyDown,
  kKeyHome,
  kKeyEnd,
  kKeyDelete,
};

// Services only the window system can give (the link area's web page).
class PanelPlatform {
 public:
  virtual ~PanelPlatform() = default;
  // Opens the address in the user's browser; false when that failed.
  virtual bool OpenUrl(const char* url) = 0;
};

class PanelWindowClient {
 public:
  virtual ~PanelWindowClient() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // The window now exists / is gone. On open the client creates its back
  // buffer and marks every control dirty; on close it frees the buffer.
  // `platform` stays valid until WindowClosed.
  virtual void WindowOpened(PanelPlatform* platform) = 0;
  virtual void WindowClosed() = 0;

  // The 40 ms timer. Commits or drops a finished value prompt; otherwise
  // answers the union of the dirty controls' rectangles (false: nothing).
  virtual bool TimerTick(PanelRect* dirty) = 0;

  // Paints `area` into the back buffer (an ARGB32 image surface of the
  // panel's size) and returns it; the caller copies `area` of it to the
  // screen. Null when no window is open.
  virtual cairo_surface_t* Paint(const PanelRect& area) = 0;

  // Mouse, in panel coordinates (may lie outside the panel while a button
  // is held). A press captures: drags and the release go to the pressed
  // control. `button` is 1 left, 2 middle, 3 right.
  virtual void MouseDown(int x, int y, int button, unsigned modifiers) = 0;
  virtual void MouseDrag(int x, int y, unsigned modifiers) = 0;
  virtual void MouseUp(int x, int y, unsigned modifiers) = 0;
  virtual void DoubleClick(int x, int y, unsigned modifiers) = 0;
  virtual void Wheel(int x, int y, unsigned modifiers, int steps) = 0;
  virtual void MouseOut() = 0;

  // A key over the panel with no value prompt open: answers whether the
  // control under (x, y) took it (if not, the host's window gets it).
  virtual bool KeyDown(int x, int y, int key, unsigned modifiers) = 0;

  // The value prompt (a text-entry box the panel draws itself). While it
  // is open the window layer holds keyboard focus and sends every key
  // here; focus loss commits, as Enter does.
  virtual bool PromptOpen() const = 0;
  virtual void PromptKey(int key, unsigned modifiers) = 0;
  virtual void PromptFocusLost() = 0;

  // The window thread makes every call that may change a parameter (mouse,
  // keys, prompt, TimerTick) between TryEnterInput answering true and
  // LeaveInput. The host closes the window while holding the instance lock
  // and waits for that thread, so a client whose calls take that lock
  // answers its try_lock here (and unlocks in LeaveInput): the window
  // thread then never blocks on it and retries until it gets in or closes.
  virtual bool TryEnterInput() { return true; }
  virtual void LeaveInput() {}
};

// A window showing the panel inside a host's window; destroying it closes
// the window and stops everything it started.
class PanelWindow {
 public:
  virtual ~PanelWindow() = default;
  // Called from the host's effEditIdle; may do nothing.
  virtual void Idle() = 0;
};

// Opens the panel inside the host's parent window (an X11 window id on
// Linux); null when no window could be made (no display, bad parent).
std::unique_ptr<PanelWindow> OpenPanelWindow(void* parent, PanelWindowClient& client);

}  // namespace morvanta
