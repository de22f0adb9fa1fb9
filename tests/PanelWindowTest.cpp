// The X11 window layer under a private Xvfb, with a stand-in panel: where the
// window goes, what it shows, how mouse, keys and focus reach the panel, and
// that opening and closing leave no thread, window, connection or error
// handler behind. Input comes from the XTest extension, as from a real user.
// GoogleTest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "graphics/PanelWindow.h"
#include "support/XvfbServer.h"
#include "support/WindowTestKit.h"

namespace morvanta {
namespace {

using testing::WaitFor;

constexpr int kPanelW = 1370;
constexpr int kPanelH = 760;
constexpr unsigned long kLeftColour = 0x204080;
constexpr unsigned long kRightColour = 0xc08020;

int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

enum class Kind { Down, Drag, Up, Double, Wheel, Out, Key, PromptKey, FocusLost };

struct Call {
  Kind kind;
  int x = 0, y = 0, value = 0;
  unsigned mods = 0;
};

// Stands in for the panel: paints two colours, opens a "prompt" on a right
// click, opens a web page on a middle click, and records every call.
class FakePanel : public PanelWindowClient {
 public:
  int Width() const override { return kPanelW; }
  int Height() const override { return kPanelH; }
  void WindowOpened(PanelPlatform* platform) override {
    platform_ = platform;
    back_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPanelW, kPanelH);
    Invalidate({0, 0, kPanelW, kPanelH});
    ++opened;
    threads.insert(std::this_thread::get_id());
  }
  void WindowClosed() override {
    cairo_surface_destroy(back_);
    back_ = nullptr;
    platform_ = nullptr;
    ++closed;
    threads.insert(std::this_thread::get_id());
  }
  bool TimerTick(PanelRect* dirty) override {
    ++ticks;
    threads.insert(std::this_thread::get_id());
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dirty_) return false;
    *dirty = dirtyRect_;
    dirty_ = false;
    return true;
  }
  cairo_surface_t* Paint(const PanelRect& area) override {
    ++paints;
    threads.insert(std::this_thread::get_id());
    cairo_t* cr = cairo_create(back_);
    cairo_rectangle(cr, area.x, area.y, area.w, area.h);
    cairo_clip(cr);
    for (int half = 0; half < 2; ++half) {
      const unsigned long c = half ? kRightColour : leftColour.load();
      cairo_set_source_rgb(cr, ((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0, (c & 255) / 255.0);
      cairo_rectangle(cr, half * kPanelW / 2, 0, kPanelW / 2, kPanelH);
      cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(back_);
    return back_;
  }
  void MouseDown(int x, int y, int button, unsigned mods) override {
    Record({Kind::Down, x, y, button, mods});
    if (button == 3) prompt = true;
    if (button == 2) urlOpened = platform_->OpenUrl(url.c_str()) ? 1 : 0;
  }
  void MouseDrag(int x, int y, unsigned mods) override { Record({Kind::Drag, x, y, 0, mods}); }
  void MouseUp(int x, int y, unsigned mods) override { Record({Kind::Up, x, y, 0, mods}); }
  void DoubleClick(int x, int y, unsigned mods) override { Record({Kind::Double, x, y, 0, mods}); }
  void Wheel(int x, int y, unsigned mods, int steps) override {
    Record({Kind::Wheel, x, y, steps, mods});
  }
  void MouseOut() override { Record({Kind::Out}); }
  bool KeyDown(int x, int y, int key, unsigned mods) override {
    Record({Kind::Key, x, y, key, mods});
    return key == 'a';
  }
  bool PromptOpen() const override { return prompt; }
  void PromptKey(int key, unsigned mods) override {
    Record({Kind::PromptKey, 0, 0, key, mods});
    if (key == kKeyEnter || key == kKeyEscape) prompt = false;
  }
  void PromptFocusLost() override {
    Record({Kind::FocusLost});
    prompt = false;
  }

  void Invalidate(PanelRect r) {
    std::lock_guard<std::mutex> lock(mutex_);
    dirtyRect_ = r;
    dirty_ = true;
  }
  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  void ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }
  bool Has(Kind k) {
    for (const Call& c : Calls()) {
      if (c.kind == k) return true;
    }
    return false;
  }

  std::atomic<unsigned long> leftColour{kLeftColour};
  std::atomic<int> opened{0}, closed{0}, ticks{0}, paints{0}, urlOpened{-1};
  std::atomic<bool> prompt{false};
  std::string url = "https://example.invalid/morvanta";
  std::set<std::thread::id> threads;  // written by the window thread only

 private:
  void Record(const Call& c) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(c);
  }
  std::mutex mutex_;
  std::vector<Call> calls_;
  bool dirty_ = false;
  PanelRect dirtyRect_{};
  PanelPlatform* platform_ = nullptr;
  cairo_surface_t* back_ = nullptr;
};

std::atomic<int> g_hostErrors{0};
int CountHostError(Display*, XErrorEvent*) {
  ++g_hostErrors;
  return 0;
}

// The host side: its own X connection, a top-level window to hold the
// panel, and XTest to play the user.
class PanelWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.Start(1600, 1000, &why)) GTEST_SKIP() << why;
    host_ = XOpenDisplay(nullptr);
    ASSERT_NE(host_, nullptr);
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(host_, &ev, &err, &major, &minor));
    previousHandler_ = XSetErrorHandler(&CountHostError);
    g_hostErrors = 0;
    parent_ = MakeParent(0, 0, 1500, 860);
    // A sanitizer may start a helper thread of its own at the first thread
    // the process makes; make it start now, before any test counts threads.
    std::thread([] {}).join();
  }
  void TearDown() override {
    if (host_) {
      XSetErrorHandler(previousHandler_);
      XCloseDisplay(host_);
    }
  }

  Window MakeParent(int x, int y, int w, int h) {
    Window win = XCreateSimpleWindow(host_, DefaultRootWindow(host_), x, y, w, h, 0, 0, 0);
    XSelectInput(host_, win, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(host_, win);
    XSync(host_, False);
    return win;
  }

  std::vector<Window> Children(Window w) { return testing::Children(host_, w); }

  unsigned long Pixel(Window w, int x, int y) {
    XImage* image = XGetImage(host_, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long p = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return p;
  }

  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(host_, -1, x, y, 0);
    XSync(host_, False);
  }
  void Button(unsigned b, bool press, unsigned long delayMs = 0) {
    XTestFakeButtonEvent(host_, b, press, delayMs);
    XSync(host_, False);
  }
  void Click(unsigned b, unsigned long delayMs = 0) {
    Button(b, true, delayMs);
    Button(b, false);
  }
  void Key(KeySym sym, bool press) {
    XTestFakeKeyEvent(host_, XKeysymToKeycode(host_, sym), press, 0);
    XSync(host_, False);
  }
  void Type(KeySym sym) {
    Key(sym, true);
    Key(sym, false);
  }
  Window Focus() {
    Window f;
    int revert;
    XGetInputFocus(host_, &f, &revert);
    return f;
  }
  // Key events the host's window received (forwarded by the panel).
  std::vector<XKeyEvent> HostKeys() {
    std::vector<XKeyEvent> keys;
    XSync(host_, False);
    XEvent e;
    while (XCheckWindowEvent(host_, parent_, KeyPressMask | KeyReleaseMask, &e)) keys.push_back(e.xkey);
    return keys;
  }

  std::unique_ptr<PanelWindow> Open(FakePanel& panel, Window parent) {
    auto window = OpenPanelWindow(reinterpret_cast<void*>(parent), panel);
    if (window) {
      // Shown once the first paint has reached the screen.
      WaitFor([&] { return Pixel(parent, 10, 10) == panel.leftColour; });
    }
    return window;
  }
  size_t CountOf(FakePanel& panel, Kind k) {
    size_t n = 0;
    for (const Call& c : panel.Calls()) n += c.kind == k;
    return n;
  }

  testing::XvfbServer server_;
  Display* host_ = nullptr;
  Window parent_ = 0;
  XErrorHandler previousHandler_ = nullptr;
};

TEST_F(PanelWindowTest, OpensAsChildOfTheHostWindowAndShowsThePanelsPixels) {
  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  const std::vector<Window> kids = Children(parent_);
  ASSERT_EQ(kids.size(), 1u);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(host_, kids[0], &a));
  EXPECT_EQ(a.width, kPanelW);
  EXPECT_EQ(a.height, kPanelH);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(Pixel(parent_, 10, 10), kLeftColour);
  // The first paint may reach the screen in pieces on a slow machine.
  EXPECT_TRUE(WaitFor([&] { return Pixel(parent_, kPanelW - 1, kPanelH - 1) == kRightColour; }));

  // A dirty area reported by the timer is repainted without any idle call.
  panel.leftColour = 0x30a050;
  panel.Invalidate({0, 0, 100, 100});
  EXPECT_TRUE(WaitFor([&] { return Pixel(parent_, 50, 50) == 0x30a050; }));
  EXPECT_EQ(Pixel(parent_, 300, 300), kLeftColour);  // outside the area: untouched

  // Exposed areas are painted again: cover the panel with a window and take it away.
  Window cover = MakeParent(200, 200, 300, 300);
  panel.leftColour = 0x102030;
  XDestroyWindow(host_, cover);
  XSync(host_, False);
  EXPECT_TRUE(WaitFor([&] { return Pixel(parent_, 250, 250) == 0x102030; }));

  // Ticks run at about 25 per second: 10 of them take about 400 ms.
  const int start = panel.ticks;
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitFor([&] { return panel.ticks >= start + 10; }));
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GT(ms, 300.0);
  EXPECT_LT(ms, 1500.0);

  window.reset();
  EXPECT_EQ(panel.opened, 1);
  EXPECT_EQ(panel.closed, 1);
  EXPECT_TRUE(Children(parent_).empty());
  // Every call came from one thread, and not from the host's.
  EXPECT_EQ(panel.threads.size(), 1u);
  EXPECT_EQ(panel.threads.count(std::this_thread::get_id()), 0u);
}

TEST_F(PanelWindowTest, RefusesWhatCannotHoldAWindow) {
  FakePanel panel;
  EXPECT_EQ(OpenPanelWindow(nullptr, panel), nullptr);
  // An id that names no window: refused, and the error stays with us.
  EXPECT_EQ(OpenPanelWindow(reinterpret_cast<void*>(uintptr_t{0x3fffff0}), panel), nullptr);
  // An input-only window cannot hold a painted one.
  XSetWindowAttributes attrs{};
  Window inputOnly = XCreateWindow(host_, DefaultRootWindow(host_), 0, 0, 10, 10, 0, 0, InputOnly,
                                   CopyFromParent, 0, &attrs);
  XSync(host_, False);
  EXPECT_EQ(OpenPanelWindow(reinterpret_cast<void*>(inputOnly), panel), nullptr);
  EXPECT_EQ(g_hostErrors, 0);
  EXPECT_EQ(panel.opened, 0);
  // No display server at all.
  const std::string display = getenv("DISPLAY");
  unsetenv("DISPLAY");
  EXPECT_EQ(OpenPanelWindow(reinterpret_cast<void*>(parent_), panel), nullptr);
  setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(PanelWindowTest, APressCapturesDragsAndTheReleaseEvenOutsideTheWindow) {
  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  MoveTo(100, 100);
  Button(1, true);
  MoveTo(300, 120);
  Key(XK_Shift_L, true);
  MoveTo(1450, 800);  // beyond the panel's edge, still in the host's window
  Key(XK_Shift_L, false);
  Button(1, false);
  ASSERT_TRUE(WaitFor([&] { return panel.Has(Kind::Up) && panel.Has(Kind::Out); }));

  const std::vector<Call> calls = panel.Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, Kind::Down);
  EXPECT_EQ(calls[0].x, 100);
  EXPECT_EQ(calls[0].y, 100);
  EXPECT_EQ(calls[0].value, 1);
  EXPECT_EQ(calls[0].mods, unsigned{kModLeftButton});
  EXPECT_EQ(calls[1].kind, Kind::Drag);
  EXPECT_EQ(calls[1].x, 300);
  EXPECT_EQ(calls[1].mods, unsigned{kModLeftButton});
  const Call& last = calls[calls.size() - 3];
  EXPECT_EQ(last.kind, Kind::Drag);
  EXPECT_EQ(last.x, 1450);
  EXPECT_EQ(last.y, 800);
  EXPECT_EQ(last.mods, kModLeftButton | kModShift);
  EXPECT_EQ(calls[calls.size() - 2].kind, Kind::Up);
  EXPECT_EQ(calls[calls.size() - 2].x, 1450);
  EXPECT_EQ(calls[calls.size() - 2].mods, 0u);  // the released button is no longer held
  EXPECT_EQ(calls.back().kind, Kind::Out);      // the pointer is outside after the release

  // A second button during a drag does not start another gesture, and a
  // right press reports the right button.
  panel.ClearCalls();
  MoveTo(200, 200);
  Button(1, true);
  Button(3, true);
  Button(3, false);
  Button(1, false);
  ASSERT_TRUE(WaitFor([&] { return panel.Has(Kind::Up); }));
  EXPECT_EQ(CountOf(panel, Kind::Down), 1u);
  EXPECT_EQ(CountOf(panel, Kind::Up), 1u);
  Click(3);
  ASSERT_TRUE(WaitFor([&] { return CountOf(panel, Kind::Down) == 2 && CountOf(panel, Kind::Up) == 2; }));
  EXPECT_EQ(panel.Calls()[panel.Calls().size() - 2].mods, unsigned{kModRightButton});
}

TEST_F(PanelWindowTest, DoubleClicksGoByTimeAndDistance) {
  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  auto kinds = [&] {
    std::vector<Kind> k;
    for (const Call& c : panel.Calls()) {
      if (c.kind != Kind::Out && c.kind != Kind::FocusLost) k.push_back(c.kind);
    }
    return k;
  };
  auto wait = [&](size_t n) { return WaitFor([&] { return kinds().size() >= n; }); };

  MoveTo(400, 300);
  Click(1);
  MoveTo(402, 303);  // within reach
  Click(1);
  Click(1);  // a third click starts again
  ASSERT_TRUE(wait(6));
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Down, Kind::Up, Kind::Double, Kind::Up, Kind::Down, Kind::Up}));

  panel.ClearCalls();
  MoveTo(600, 300);
  Click(1);
  MoveTo(612, 300);  // too far
  Click(1);
  ASSERT_TRUE(wait(4));
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Down, Kind::Up, Kind::Down, Kind::Up}));

  panel.ClearCalls();
  MoveTo(800, 300);
  Click(1);
  Click(1, 650);  // the server holds the second press back past the double-click time
  ASSERT_TRUE(wait(4));
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Down, Kind::Up, Kind::Down, Kind::Up}));

  // Right clicks never pair up.
  panel.ClearCalls();
  Click(3);
  Click(3);
  ASSERT_TRUE(wait(4));
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Down, Kind::Up, Kind::Down, Kind::Up}));
}

TEST_F(PanelWindowTest, WheelUpAndDownAreStepsSidewaysScrollingIsIgnored) {
  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  MoveTo(500, 400);
  Key(XK_Control_L, true);
  Click(4);
  Key(XK_Control_L, false);
  Click(6);
  Click(7);
  Click(5);
  ASSERT_TRUE(WaitFor([&] { return CountOf(panel, Kind::Wheel) == 2; }));
  const std::vector<Call> calls = panel.Calls();
  ASSERT_EQ(calls.size(), 2u);  // no press, release or drag from any of them
  EXPECT_EQ(calls[0].value, 1);
  EXPECT_EQ(calls[0].x, 500);
  EXPECT_EQ(calls[0].mods, unsigned{kModControl});
  EXPECT_EQ(calls[1].value, -1);
}

TEST_F(PanelWindowTest, KeysGoToTheControlUnderTheMouseOthersToTheHost) {
  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  MoveTo(700, 500);
  Type(XK_a);  // the control takes it
  Type(XK_b);  // the control declines it
  Type(XK_F5); // not for controls at all
  ASSERT_TRUE(WaitFor([&] { return CountOf(panel, Kind::Key) == 2; }));
  std::vector<XKeyEvent> hostKeys;
  ASSERT_TRUE(WaitFor([&] {
    for (const XKeyEvent& k : HostKeys()) hostKeys.push_back(k);
    return hostKeys.size() >= 4;
  }));
  const std::vector<Call> calls = panel.Calls();
  EXPECT_EQ(calls[0].value, 'a');
  EXPECT_EQ(calls[0].x, 700);
  EXPECT_EQ(calls[0].y, 500);
  EXPECT_EQ(calls[1].value, 'b');
  // The host sees b and F5, pressed and released, and never a.
  ASSERT_EQ(hostKeys.size(), 4u);
  EXPECT_EQ(hostKeys[0].type, KeyPress);
  EXPECT_EQ(hostKeys[0].keycode, XKeysymToKeycode(host_, XK_b));
  EXPECT_EQ(hostKeys[1].type, KeyRelease);
  EXPECT_EQ(hostKeys[2].keycode, XKeysymToKeycode(host_, XK_F5));
  EXPECT_EQ(hostKeys[3].type, KeyRelease);
  EXPECT_EQ(hostKeys[2].x, 700);  // in the host window's coordinates
}

TEST_F(PanelWindowTest, TheValuePromptTakesTheKeyboardAndGivesItBack) {
  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  const Window before = Focus();
  const Window ours = Children(parent_).at(0);

  MoveTo(300, 300);
  Click(3);
  ASSERT_TRUE(WaitFor([&] { return Focus() == ours; }));
  MoveTo(1480, 840);  // keys reach the prompt wherever the mouse is
  Type(XK_1);
  Type(XK_period);
  Type(XK_BackSpace);
  Type(XK_Return);
  ASSERT_TRUE(WaitFor([&] { return !panel.prompt && Focus() == before; }));
  std::vector<int> keys;
  for (const Call& c : panel.Calls()) {
    if (c.kind == Kind::PromptKey) keys.push_back(c.value);
  }
  EXPECT_EQ(keys, (std::vector<int>{'1', '.', kKeyBackspace, kKeyEnter}));
  // (The release of Enter may reach the host once the focus is back there.)
  for (const XKeyEvent& k : HostKeys()) EXPECT_EQ(k.type, KeyRelease);

  // Escape closes it too.
  MoveTo(300, 300);
  Click(3);
  ASSERT_TRUE(WaitFor([&] { return Focus() == ours; }));
  Type(XK_Escape);
  ASSERT_TRUE(WaitFor([&] { return !panel.prompt && Focus() == before; }));

  // Focus taken away by the host commits it.
  Click(3);
  ASSERT_TRUE(WaitFor([&] { return Focus() == ours; }));
  XSetInputFocus(host_, parent_, RevertToParent, CurrentTime);
  XSync(host_, False);
  ASSERT_TRUE(WaitFor([&] { return panel.Has(Kind::FocusLost); }));
  EXPECT_FALSE(panel.prompt);
  EXPECT_EQ(Focus(), parent_);  // what the host chose stays

  // A click elsewhere on the panel commits it as well.
  panel.ClearCalls();
  Click(3);
  ASSERT_TRUE(WaitFor([&] { return Focus() == ours; }));
  MoveTo(900, 300);
  Click(1);
  ASSERT_TRUE(WaitFor([&] { return panel.Has(Kind::FocusLost) && Focus() == parent_; }));
}

TEST_F(PanelWindowTest, TheLinkOpensThroughXdgOpenAndAFailedStartIsAFailure) {
  char dir[] = "/tmp/morvanta-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string script = std::string(dir) + "/xdg-open";
  const std::string out = std::string(dir) + "/opened";
  {
    std::ofstream f(script);
    f << "#!/bin/sh\necho \"$1\" > " << out << ".tmp && mv " << out << ".tmp " << out << "\n";
  }
  chmod(script.c_str(), 0755);
  const std::string path = getenv("PATH") ? getenv("PATH") : "";

  FakePanel panel;
  auto window = Open(panel, parent_);
  ASSERT_NE(window, nullptr);
  setenv("PATH", (std::string(dir) + ":" + path).c_str(), 1);
  MoveTo(100, 100);
  Click(2);
  ASSERT_TRUE(WaitFor([&] { return panel.urlOpened != -1; }));
  EXPECT_EQ(panel.urlOpened, 1);
  ASSERT_TRUE(WaitFor([&] { return access(out.c_str(), F_OK) == 0; }));
  std::ifstream opened(out);
  std::string line;
  std::getline(opened, line);
  EXPECT_EQ(line, panel.url);

  panel.urlOpened = -1;
  setenv("PATH", dir, 1);
  unlink(script.c_str());
  Click(2);
  ASSERT_TRUE(WaitFor([&] { return panel.urlOpened != -1; }));
  EXPECT_EQ(panel.urlOpened, 0);
  setenv("PATH", path.c_str(), 1);
  unlink(out.c_str());
  rmdir(dir);
}

TEST_F(PanelWindowTest, OpeningAndClosingFiftyTimesLeavesNothingBehind) {
  FakePanel panel;
  {  // the first connection loads Xlib's and Cairo's process-wide state
    auto warm = Open(panel, parent_);
    ASSERT_NE(warm, nullptr);
  }
  const int threads = CountEntries("/proc/self/task");
  const int fds = CountEntries("/proc/self/fd");
  for (int i = 0; i < 50; ++i) {
    auto window = OpenPanelWindow(reinterpret_cast<void*>(parent_), panel);
    ASSERT_NE(window, nullptr) << i;
    ASSERT_EQ(CountEntries("/proc/self/task"), threads + 1);
  }
  EXPECT_EQ(panel.opened, 51);
  EXPECT_EQ(panel.closed, 51);
  EXPECT_EQ(CountEntries("/proc/self/task"), threads);
  EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
  EXPECT_TRUE(Children(parent_).empty());
  // The host's own error handler is back in place, and it was never called.
  EXPECT_EQ(XSetErrorHandler(&CountHostError), &CountHostError);
  EXPECT_EQ(g_hostErrors, 0);
}

TEST_F(PanelWindowTest, TwoWindowsAtOnceEachPaintTheirOwnAndCloseFromAnotherThread) {
  FakePanel first, second;
  second.leftColour = 0x00ff00;
  Window otherParent = MakeParent(50, 50, 1400, 800);
  auto a = Open(first, parent_);
  auto b = Open(second, otherParent);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const int threads = CountEntries("/proc/self/task");
  // Errors on the host's own connection still reach the host's handler.
  XWindowAttributes attrs;
  XGetWindowAttributes(host_, 0x3fffff0, &attrs);
  EXPECT_EQ(g_hostErrors, 1);
  g_hostErrors = 0;
  std::thread([&] { b.reset(); }).join();  // closed by a thread that did not open it
  EXPECT_EQ(CountEntries("/proc/self/task"), threads - 1);
  // The first one shows through where the second one was.
  XDestroyWindow(host_, otherParent);
  XSync(host_, False);
  EXPECT_TRUE(WaitFor([&] { return Pixel(parent_, 200, 200) == kLeftColour; }));
  EXPECT_EQ(second.closed, 1);
  EXPECT_EQ(first.closed, 0);
  a.reset();
  EXPECT_EQ(g_hostErrors, 0);
}

TEST_F(PanelWindowTest, AHostThatDestroysItsWindowFirstCrashesNothing) {
  const int threads = CountEntries("/proc/self/task");
  for (int variant = 0; variant < 3; ++variant) {
    FakePanel panel;
    Window parent = MakeParent(0, 0, 1500, 860);
    auto window = Open(panel, parent);
    ASSERT_NE(window, nullptr);
    if (variant == 1) {  // in the middle of a drag
      MoveTo(100, 100);
      Button(1, true);
      MoveTo(150, 100);
      ASSERT_TRUE(WaitFor([&] { return panel.Has(Kind::Drag); }));
    }
    XDestroyWindow(host_, parent);
    XSync(host_, False);
    if (variant != 2) {
      // Let the window thread see the destruction and go on ticking.
      const int ticks = panel.ticks;
      ASSERT_TRUE(WaitFor([&] { return panel.ticks > ticks + 2; }));
      window->Idle();
    }
    window.reset();  // variant 2: straight after the host's destroy
    if (variant == 1) {
      Button(1, false);
      EXPECT_TRUE(panel.Has(Kind::Up));  // the gesture was ended for the host
    }
    EXPECT_EQ(panel.closed, 1);
  }
  EXPECT_EQ(CountEntries("/proc/self/task"), threads);
  EXPECT_EQ(g_hostErrors, 0);
}

}  // namespace
}  // namespace morvanta
