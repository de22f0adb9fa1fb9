// The panel's window on X11: a child of the host's window, painted from the
// panel's back buffer through a Cairo Xlib surface.
//
// Threading. Hosts open and close the editor on threads of their choosing
// (Ardour uses its event-loop thread, not its GTK thread), call effEditIdle
// at 15 to 50 Hz or never, and use Xlib without XInitThreads. So the window
// lives on an X connection of our own, and one thread of our own does all
// that touches it: the 40 ms timer, painting, mouse, keys and focus. The
// opening thread makes the connection and the window before that thread
// starts; the closing thread wakes it through a pipe, joins it, and only then
// destroys the window and closes the connection. The connection is thus never
// used by two threads at once, and Idle has nothing to do.
//
// X errors (a host that destroys its window before closing the editor, a
// parent id that is no window) come through XSetErrorHandler, which is
// process-wide: our handler is installed only while a panel window exists,
// swallows the errors on our own connections and hands every other one to
// the handler that was there before; the last window to close puts that one
// back.
#include "graphics/PanelWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <signal.h>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace morvanta {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTimerPeriod = std::chrono::milliseconds(40);  // 25 redraws a second
constexpr unsigned long kDoubleClickMs = 500;  // the usual desktop default
constexpr int kDoubleClickSlop = 4;            // pixels a second click may stray
constexpr auto kInputRetry = std::chrono::milliseconds(1);

// ---------------------------------------------------------------------------
// Error trap shared by every panel window of the process.

std::mutex g_trapMutex;
std::vector<std::pair<Display*, std::atomic<int>*>> g_trapped;
XErrorHandler g_previousHandler = nullptr;
thread_local bool t_inTrap = false;

int TrapError(Display* display, XErrorEvent* event) {
  if (t_inTrap) return 0;  // a handler installed after ours that chains back to us
  XErrorHandler previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_trapMutex);
    for (auto& entry : g_trapped) {
      if (entry.first == display) {
        entry.second->fetch_add(1);
        return 0;
      }
    }
    previous = g_previousHandler;
  }
  if (previous == nullptr) return 0;
  t_inTrap = true;
  const int result = previous(display, event);
  t_inTrap = false;
  return result;
}

void TrapErrorsOn(Display* display, std::atomic<int>* counter) {
  std::lock_guard<std::mutex> lock(g_trapMutex);
  if (g_trapped.empty()) {
    XErrorHandler previous = XSetErrorHandler(&TrapError);
    if (previous != &TrapError) g_previousHandler = previous;
  }
  g_trapped.emplace_back(display, counter);
}

void StopTrappingErrorsOn(Display* display) {
  std::lock_guard<std::mutex> lock(g_trapMutex);
  g_trapped.erase(std::remove_if(g_trapped.begin(), g_trapped.end(),
                                 [display](const auto& e) { return e.first == display; }),
                  g_trapped.end());
  if (g_trapped.empty()) {
    XErrorHandler current = XSetErrorHandler(g_previousHandler);
    // Someone installed a handler after ours: theirs stays.
    if (current != &TrapError) XSetErrorHandler(current);
  }
}

// ---------------------------------------------------------------------------

unsigned Modifiers(unsigned state) {
  unsigned m = 0;
  if (state & Button1Mask) m |= kModLeftButton;
  if (state & Button3Mask) m |= kModRightButton;
  if (state & ShiftMask) m |= kModShift;
  if (state & ControlMask) m |= kModControl;
  if (state & Mod1Mask) m |= kModAlt;
  return m;
}

unsigned ButtonModifier(unsigned button) {
  if (button == Button1) return kModLeftButton;
  if (button == Button3) return kModRightButton;
  return 0;
}

// The panel's key code for an X key, or kKeyNone.
int PanelKeyFor(KeySym sym, const char* text, int length) {
  switch (sym) {
    case XK_BackSpace: return kKeyBackspace;
    case XK_Tab: case XK_ISO_Left_Tab: return kKeyTab;
    case XK_Return: case XK_KP_Enter: return kKeyEnter;
    case XK_Escape: return kKeyEscape;
    case XK_Left: case XK_KP_Left: return kKeyLeft;
    case XK_Right: case XK_KP_Right: return kKeyRight;
    case XK_Up: case XK_KP_Up: return kKeyUp;
    case XK_Down: case XK_KP_Down: return kKeyDown;
    case XK_Home: case XK_KP_Home: return kKeyHome;
    case XK_End: case XK_KP_End: return kKeyEnd;
    case XK_Delete: case XK_KP_Delete: return kKeyDelete;
    default: break;
  }
  if (length == 1 && text[0] >= 32 && text[0] <= 126) return text[0];
  return kKeyNone;
}

// Keys the controls may take: space, arrows, digits and letters.
bool IsControlKey(int key) {
  return key == ' ' || key == kKeyLeft || key == kKeyRight || key == kKeyUp || key == kKeyDown ||
         (key >= '0' && key <= '9') || (key >= 'a' && key <= 'z') || (key >= 'A' && key <= 'Z');
}

PanelRect Union(const PanelRect& a, const PanelRect& b) {
  if (a.w <= 0 || a.h <= 0) return b;
  if (b.w <= 0 || b.h <= 0) return a;
  const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return {x0, y0, x1 - x0, y1 - y0};
}

class X11PanelWindow final : public PanelWindow, public PanelPlatform {
 public:
  explicit X11PanelWindow(PanelWindowClient& client) : client_(client) {}
  ~X11PanelWindow() override;
  X11PanelWindow(const X11PanelWindow&) = delete;
  X11PanelWindow& operator=(const X11PanelWindow&) = delete;

  bool Open(Window parent);
  void Idle() override {}
  bool OpenUrl(const char* url) override;

 private:
  static void ConnectionLost(Display*, void* self) {
    static_cast<X11PanelWindow*>(self)->dead_ = true;
  }

  void Run();
  void Tick();
  void Handle(XEvent& event);
  void OnPress(const XButtonEvent& e);
  void OnRelease(const XButtonEvent& e);
  void OnMotion(const XMotionEvent& e);
  void OnKey(XKeyEvent& e);
  void EndCapture();
  void Show(PanelRect area);
  void FollowPrompt();
  void GiveFocusBack();
  void ForwardKey(XKeyEvent e);
  void ReapChildren();
  // Waits for the client's input gate; false when the window is closing.
  bool EnterClient();

  PanelWindowClient& client_;
  Display* display_ = nullptr;
  Window window_ = 0;
  Window parent_ = 0;
  cairo_surface_t* surface_ = nullptr;
  XImage* image_ = nullptr;  // the back buffer's layout, without pixels of its own
  GC gc_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> errors_{0};
  bool dead_ = false;  // the X server went away
  bool gone_ = false;  // our window was destroyed with the host's

  // Thread state.
  PanelRect exposed_{};
  unsigned capture_ = 0;  // button that owns the current gesture
  int lastX_ = 0, lastY_ = 0;
  int hoverX_ = -1, hoverY_ = -1;
  bool haveClick_ = false;
  Time clickTime_ = 0;
  int clickX_ = 0, clickY_ = 0;
  bool focusTaken_ = false;
  Window focusBefore_ = None;
  int revertBefore_ = RevertToParent;
  std::vector<unsigned> forwardedKeys_;
  std::vector<pid_t> children_;
};

X11PanelWindow::~X11PanelWindow() {
  if (thread_.joinable()) {
    stop_ = true;
    const char c = 1;
    while (write(wake_[1], &c, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  if (display_) {
    if (!dead_) {
      if (surface_) cairo_surface_finish(surface_);
      if (window_ && !gone_) XDestroyWindow(display_, window_);
      XSync(display_, False);
    }
    if (surface_) cairo_surface_destroy(surface_);
    if (image_) XDestroyImage(image_);
    if (gc_) XFreeGC(display_, gc_);
    XCloseDisplay(display_);
    StopTrappingErrorsOn(display_);
  }
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

bool X11PanelWindow::Open(Window parent) {
  width_ = client_.Width();
  height_ = client_.Height();
  if (parent == 0 || width_ <= 0 || height_ <= 0) return false;
  display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr) return false;
  TrapErrorsOn(display_, &errors_);
  XSetIOErrorExitHandler(display_, &X11PanelWindow::ConnectionLost, this);

  XWindowAttributes pa;
  if (!XGetWindowAttributes(display_, parent, &pa) || pa.c_class != InputOutput) return false;
  parent_ = parent;
  XSetWindowAttributes a{};
  a.colormap = pa.colormap;
  a.border_pixel = 0;
  a.background_pixmap = None;
  a.bit_gravity = NorthWestGravity;
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                 KeyPressMask | KeyReleaseMask | FocusChangeMask | LeaveWindowMask |
                 StructureNotifyMask;
  const int before = errors_.load();
  window_ = XCreateWindow(display_, parent, 0, 0, static_cast<unsigned>(width_),
                          static_cast<unsigned>(height_), 0, pa.depth, InputOutput, pa.visual,
                          CWColormap | CWBorderPixel | CWBackPixmap | CWBitGravity | CWEventMask,
                          &a);
  XStoreName(display_, window_, "Morvanta");
  XMapWindow(display_, window_);
  XSync(display_, False);
  if (errors_.load() != before || dead_) {
    window_ = 0;  // never made, or already gone with its parent
    return false;
  }
  surface_ = cairo_xlib_surface_create(display_, window_, pa.visual, width_, height_);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return false;
  // A 24- or 32-bit true-colour window takes the back buffer's pixels as
  // they are; other visuals go through Cairo's conversion.
  if ((pa.depth == 24 || pa.depth == 32) && pa.visual->c_class == TrueColor &&
      pa.visual->red_mask == 0xff0000 && pa.visual->green_mask == 0xff00 &&
      pa.visual->blue_mask == 0xff) {
    image_ = XCreateImage(display_, pa.visual, static_cast<unsigned>(pa.depth), ZPixmap, 0, nullptr,
                          static_cast<unsigned>(width_), static_cast<unsigned>(height_), 32,
                          cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width_));
    if (image_) {
      const uint32_t probe = 1;
      image_->byte_order = *reinterpret_cast<const unsigned char*>(&probe) ? LSBFirst : MSBFirst;
      gc_ = XCreateGC(display_, window_, 0, nullptr);
    }
  }
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  try {
    thread_ = std::thread(&X11PanelWindow::Run, this);
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the editor stays closed
  }
  pthread_setname_np(thread_.native_handle(), "morvanta-panel");
  return true;
}

bool X11PanelWindow::EnterClient() {
  while (!client_.TryEnterInput()) {
    if (stop_) return false;
    std::this_thread::sleep_for(kInputRetry);
  }
  return true;
}

void X11PanelWindow::Run() {
  client_.WindowOpened(this);
  Clock::time_point nextTick = Clock::now() + kTimerPeriod;
  while (!stop_) {
    while (!dead_ && !stop_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      Handle(event);
    }
    if (stop_) break;
    const Clock::time_point now = Clock::now();
    if (now >= nextTick) {
      Tick();
      nextTick += kTimerPeriod;
      if (nextTick < now) nextTick = now + kTimerPeriod;  // fell behind: skip, don't catch up
      continue;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now);
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {dead_ ? -1 : ConnectionNumber(display_), POLLIN, 0}};
    poll(fds, 2, static_cast<int>(wait.count()) + 1);
    char drain[16];
    while (read(wake_[0], drain, sizeof drain) > 0) {
    }
  }
  // A gesture cut short by the close still ends the host's edit.
  if (capture_ != 0) EndCapture();
  if (focusTaken_) GiveFocusBack();
  if (!dead_) XFlush(display_);
  client_.WindowClosed();
  ReapChildren();
}

void X11PanelWindow::Tick() {
  ReapChildren();
  // Runs on after the window has gone with the host's, so that a prompt
  // finished just before still commits.
  PanelRect dirty;
  if (!EnterClient()) return;
  const bool any = client_.TimerTick(&dirty);
  client_.LeaveInput();
  FollowPrompt();
  if (any) Show(dirty);
}

void X11PanelWindow::Show(PanelRect area) {
  if (gone_ || dead_) return;
  const int x0 = std::max(area.x, 0), y0 = std::max(area.y, 0);
  const int x1 = std::min(area.x + area.w, width_), y1 = std::min(area.y + area.h, height_);
  if (x1 <= x0 || y1 <= y0) return;
  area = {x0, y0, x1 - x0, y1 - y0};
  cairo_surface_t* back = client_.Paint(area);
  if (back == nullptr || cairo_surface_status(back) != CAIRO_STATUS_SUCCESS) return;
  cairo_surface_flush(back);
  const cairo_format_t format = cairo_image_surface_get_format(back);
  if (image_ && (format == CAIRO_FORMAT_ARGB32 || format == CAIRO_FORMAT_RGB24) &&
      cairo_image_surface_get_width(back) == width_ &&
      cairo_image_surface_get_height(back) == height_ &&
      cairo_image_surface_get_stride(back) == image_->bytes_per_line) {
    // A plain image upload of the back buffer's pixels (its 32-bit layout
    // is the window's): nothing cached between calls that could go stale.
    image_->data = reinterpret_cast<char*>(cairo_image_surface_get_data(back));
    XPutImage(display_, window_, gc_, image_, area.x, area.y, area.x, area.y,
              static_cast<unsigned>(area.w), static_cast<unsigned>(area.h));
    image_->data = nullptr;
  } else {
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, back, 0, 0);
    cairo_rectangle(cr, area.x, area.y, area.w, area.h);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
  }
}

void X11PanelWindow::Handle(XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.window != window_) break;
      exposed_ = Union(exposed_, {event.xexpose.x, event.xexpose.y, event.xexpose.width,
                                  event.xexpose.height});
      if (event.xexpose.count == 0) {
        Show(exposed_);
        exposed_ = {};
      }
      break;
    case ButtonPress:
      if (event.xbutton.window == window_) OnPress(event.xbutton);
      break;
    case ButtonRelease:
      if (event.xbutton.window == window_) OnRelease(event.xbutton);
      break;
    case MotionNotify:
      if (event.xmotion.window != window_) break;
      // Only the latest of a run of moves matters (never skip past a press).
      while (XEventsQueued(display_, QueuedAlready) > 0) {
        XEvent next;
        XPeekEvent(display_, &next);
        if (next.type != MotionNotify || next.xmotion.window != window_) break;
        XNextEvent(display_, &event);
      }
      OnMotion(event.xmotion);
      break;
    case LeaveNotify:
      // While a button is held the gesture owns the mouse; the leave that
      // follows a release outside the window arrives after the release.
      if (event.xcrossing.window == window_ && capture_ == 0 &&
          event.xcrossing.detail != NotifyInferior) {
        hoverX_ = hoverY_ = -1;
        client_.MouseOut();
      }
      break;
    case KeyPress:
    case KeyRelease:
      if (event.xkey.window == window_) OnKey(event.xkey);
      break;
    case FocusOut:
      if (event.xfocus.window == window_ && focusTaken_ &&
          (event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed) &&
          event.xfocus.detail != NotifyInferior && event.xfocus.detail != NotifyPointer) {
        focusTaken_ = false;  // someone else has it now: nothing to give back
        if (client_.PromptOpen() && EnterClient()) {
          client_.PromptFocusLost();
          client_.LeaveInput();
        }
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) {
        gone_ = true;
        focusTaken_ = false;
        if (capture_ != 0) EndCapture();
      }
      break;
    default:
      break;
  }
}

void X11PanelWindow::OnPress(const XButtonEvent& e) {
  if (e.button == Button4 || e.button == Button5) {
    if (EnterClient()) {
      client_.Wheel(e.x, e.y, Modifiers(e.state), e.button == Button4 ? 1 : -1);
      client_.LeaveInput();
    }
    return;
  }
  // Buttons 6 and 7 scroll sideways, which the panel has no use for.
  if (e.button > Button3) return;
  // A second button during a drag: the first one still owns the gesture.
  if (capture_ != 0) return;
  const unsigned mods = Modifiers(e.state) | ButtonModifier(e.button);
  const bool twice = e.button == Button1 && haveClick_ &&
                     ((e.time - clickTime_) & 0xffffffffUL) <= kDoubleClickMs &&
                     std::abs(e.x - clickX_) <= kDoubleClickSlop &&
                     std::abs(e.y - clickY_) <= kDoubleClickSlop;
  if (!EnterClient()) return;
  // A click beside an open value prompt takes the focus from it.
  if (client_.PromptOpen()) client_.PromptFocusLost();
  capture_ = e.button;
  lastX_ = e.x;
  lastY_ = e.y;
  if (twice) {
    client_.DoubleClick(e.x, e.y, mods);
    haveClick_ = false;  // a third click starts again
  } else {
    client_.MouseDown(e.x, e.y, static_cast<int>(e.button), mods);
    haveClick_ = e.button == Button1;
    clickTime_ = e.time;
    clickX_ = e.x;
    clickY_ = e.y;
  }
  client_.LeaveInput();
  FollowPrompt();
}

void X11PanelWindow::OnRelease(const XButtonEvent& e) {
  if (e.button != capture_) return;
  capture_ = 0;
  if (!EnterClient()) return;
  client_.MouseUp(e.x, e.y, Modifiers(e.state) & ~ButtonModifier(e.button));
  client_.LeaveInput();
  FollowPrompt();
}

void X11PanelWindow::OnMotion(const XMotionEvent& e) {
  hoverX_ = e.x;
  hoverY_ = e.y;
  if (capture_ == 0 || (e.x == lastX_ && e.y == lastY_)) return;
  lastX_ = e.x;
  lastY_ = e.y;
  if (!EnterClient()) return;
  client_.MouseDrag(e.x, e.y, Modifiers(e.state));
  client_.LeaveInput();
}

void X11PanelWindow::EndCapture() {
  capture_ = 0;
  if (!client_.TryEnterInput()) return;  // closing under the host's lock: nothing can wait
  client_.MouseUp(lastX_, lastY_, 0);
  client_.LeaveInput();
}

void X11PanelWindow::OnKey(XKeyEvent& e) {
  const bool press = e.type == KeyPress;
  auto forwarded = std::find(forwardedKeys_.begin(), forwardedKeys_.end(), e.keycode);
  if (!press) {
    // Releases follow their presses: a key the host got, the host gets again.
    if (forwarded != forwardedKeys_.end()) {
      forwardedKeys_.erase(forwarded);
      ForwardKey(e);
    }
    return;
  }
  char text[8];
  KeySym sym = NoSymbol;
  const int length = XLookupString(&e, text, sizeof text, &sym, nullptr);
  const int key = PanelKeyFor(sym, text, length);
  const unsigned mods = Modifiers(e.state);
  if (client_.PromptOpen()) {
    if (key != kKeyNone && EnterClient()) {
      client_.PromptKey(key, mods);
      client_.LeaveInput();
    }
    FollowPrompt();
    return;
  }
  bool taken = false;
  if (IsControlKey(key) && EnterClient()) {
    taken = client_.KeyDown(hoverX_, hoverY_, key, mods);
    client_.LeaveInput();
    FollowPrompt();
  }
  if (!taken) {
    if (forwarded == forwardedKeys_.end()) forwardedKeys_.push_back(e.keycode);
    ForwardKey(e);
  }
}

// A key no control took goes on to the host's window, as it would have had
// our window not been under the mouse.
void X11PanelWindow::ForwardKey(XKeyEvent e) {
  if (gone_ || dead_) return;
  Window child = None;
  XTranslateCoordinates(display_, window_, parent_, e.x, e.y, &e.x, &e.y, &child);
  e.window = parent_;
  e.subwindow = None;
  e.send_event = True;
  XSendEvent(display_, parent_, True, e.type == KeyPress ? KeyPressMask : KeyReleaseMask,
             reinterpret_cast<XEvent*>(&e));
}

// Hosts and bare X servers often give a plug-in window no keyboard focus, so
// the value prompt takes it while open and gives it back after.
void X11PanelWindow::FollowPrompt() {
  const bool open = client_.PromptOpen();
  if (open && !focusTaken_ && !gone_ && !dead_) {
    XGetInputFocus(display_, &focusBefore_, &revertBefore_);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    focusTaken_ = true;
  } else if (!open && focusTaken_) {
    GiveFocusBack();
  }
}

void X11PanelWindow::GiveFocusBack() {
  focusTaken_ = false;
  if (gone_ || dead_) return;
  Window now = None;
  int revert = 0;
  XGetInputFocus(display_, &now, &revert);
  if (now != window_) return;  // moved on already
  if (focusBefore_ == window_) focusBefore_ = PointerRoot;
  // A window that has gone away meanwhile makes an error our trap takes.
  XSetInputFocus(display_, focusBefore_, revertBefore_, CurrentTime);
}

// The link area: the desktop's opener shows the page; no connection check,
// a failed start is the failure.
bool X11PanelWindow::OpenUrl(const char* url) {
  if (url == nullptr || url[0] == '\0') return false;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The host's open files (audio devices, sockets) stay with the host, and
  // its blocked or ignored signals stay its own.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char program[] = "xdg-open";
  char* argv[] = {program, const_cast<char*>(url), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program, &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  children_.push_back(pid);
  return true;
}

// The opener runs on its own; its exit is collected on the timer so that no
// zombie stays behind (a host that reaps every child does it first).
void X11PanelWindow::ReapChildren() {
  children_.erase(std::remove_if(children_.begin(), children_.end(),
                                 [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; }),
                  children_.end());
}

}  // namespace

std::unique_ptr<PanelWindow> OpenPanelWindow(void* parent, PanelWindowClient& client) {
  const auto id = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  if (id == 0) return nullptr;
  auto window = std::make_unique<X11PanelWindow>(client);
  if (!window->Open(id)) return nullptr;
  return window;
}

}  // namespace morvanta
