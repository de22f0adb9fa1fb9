// The editor end to end, as a user meets it in a host: the edit host tool
// opens Morvanta.so's editor through the VST2 interface on a private Xvfb,
// xdotool plays the user, and the tool's printout shows what the host saw.
// GoogleTest and our headers first: Xlib's macros (None, Bool) would break them.
#include <gtest/gtest.h>

#include "editor/PanelEditor.h"
#include "editor/PanelLayout.h"
#include "instrument/Brisquet.h"
#include "support/XvfbServer.h"
#include "support/WindowTestKit.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace morvanta {
namespace {

using testing::WaitFor;

constexpr int kWidth = 1370;
constexpr int kHeight = 760;
const std::string kTool = std::string(MORVANTA_BUILD_DIR) + "/tools/morvanta-edithost";
const std::string kArtefacts = std::string(MORVANTA_BUILD_DIR) + "/tests/";

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

// Runs xdotool with the given arguments; true when it succeeded.
bool Xdo(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>("xdotool")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The edit host tool as a child process: commands go in on its stdin, its
// printout is collected line by line.
class EditHostProcess {
 public:
  bool Start(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv{const_cast<char*>(kTool.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, kTool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    if (rc != 0) {
      pid_ = -1;
      return false;
    }
    reader_ = std::thread([this] { Read(); });
    return WaitLine("ready");
  }
  ~EditHostProcess() { Quit(); }

  void Send(const std::string& command) {
    const std::string line = command + "\n";
    if (write(toChild_, line.data(), line.size()) < 0) ADD_FAILURE() << "tool gone";
  }
  // Waits for a line starting with `prefix` after the first `from` lines;
  // answers its index, or -1.
  int WaitLine(const std::string& prefix, size_t from = 0, int timeoutMs = 10000) {
    int found = -1;
    WaitFor([&] {
      std::lock_guard<std::mutex> lock(mutex_);
      for (size_t i = from; i < lines_.size(); ++i) {
        if (lines_[i].compare(0, prefix.size(), prefix) == 0) {
          found = static_cast<int>(i);
          return true;
        }
      }
      return false;
    }, timeoutMs);
    return found;
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }
  // The line answering a command, e.g. Ask("stats", "stats").
  std::vector<std::string> Ask(const std::string& command, const std::string& answer) {
    const size_t from = Count();
    Send(command);
    const int at = WaitLine(answer, from);
    if (at < 0) return {};
    return Words(Lines()[static_cast<size_t>(at)]);
  }
  double Param(int index, int instance = 0) {
    const auto w = Ask("get " + std::to_string(index) + " " + std::to_string(instance), "param");
    return w.size() >= 4 ? std::atof(w[3].c_str()) : -1.0;
  }
  std::string ParamText(int index) {
    const auto w = Ask("get " + std::to_string(index), "param");
    return w.size() >= 5 ? w[4] : "";
  }
  Window HostWindow(int instance = 0) {
    const int at = WaitLine("window " + std::to_string(instance));
    return at < 0 ? 0 : std::strtoul(Words(Lines()[static_cast<size_t>(at)])[2].c_str(), nullptr, 16);
  }
  // Ends the tool; its exit status (-1 when it had to be killed).
  int Quit() {
    if (pid_ <= 0) return exitStatus_;
    Send("quit");
    close(toChild_);
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 20000);
    if (!ended) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    exitStatus_ = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    reader_.join();
    close(fromChild_);
    return exitStatus_;
  }

 private:
  void Read() {
    std::string pending;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fromChild_, buffer, sizeof buffer)) > 0) {
      pending.append(buffer, static_cast<size_t>(n));
      size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
      }
    }
  }

  pid_t pid_ = -1;
  int toChild_ = -1, fromChild_ = -1;
  int exitStatus_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

using Image = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Image Screenshot(Display* d, Window w, int width, int height) {
  Image out(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), &cairo_surface_destroy);
  XImage* x = XGetImage(d, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                        AllPlanes, ZPixmap);
  if (!x) return out;
  cairo_surface_flush(out.get());
  unsigned char* data = cairo_image_surface_get_data(out.get());
  const int stride = cairo_image_surface_get_stride(out.get());
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int px = 0; px < width; ++px) row[px] = static_cast<uint32_t>(XGetPixel(x, px, y) & 0xffffff);
  }
  cairo_surface_mark_dirty(out.get());
  XDestroyImage(x);
  return out;
}

uint32_t PixelAt(cairo_surface_t* s, int x, int y) {
  const unsigned char* data = cairo_image_surface_get_data(s);
  return reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(s))[x] & 0xffffff;
}

// Share of the pixels of `area` whose colour differs by more than `tolerance`
// in any channel.
double DifferentShare(cairo_surface_t* a, cairo_surface_t* b, LayoutRect area, int tolerance) {
  long different = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const uint32_t p = PixelAt(a, x, y), q = PixelAt(b, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((p >> shift) & 255) - static_cast<int>((q >> shift) & 255)) >
            tolerance) {
          ++different;
          break;
        }
      }
    }
  }
  return static_cast<double>(different) / ((area.right - area.left) * (area.bottom - area.top));
}

// The panel as the headless editor paints it at the default sound.
Image HeadlessPanel() {
  std::unique_ptr<PluginCore> core(CreateInstrument(nullptr));
  PanelEditor* panel = static_cast<Brisquet*>(core.get())->Panel();
  Image out(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight), &cairo_surface_destroy);
  panel->WindowOpened(nullptr);
  cairo_surface_t* back = panel->Paint({0, 0, kWidth, kHeight});
  cairo_t* cr = cairo_create(out.get());
  if (back) cairo_set_source_surface(cr, back, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  panel->WindowClosed();
  cairo_surface_flush(out.get());
  return out;
}

const PanelItem* FindItem(PanelControlKind kind, int bitmap = -1) {
  size_t n = 0;
  const PanelItem* items = PanelItems(&n);
  for (size_t i = 0; i < n; ++i) {
    if (items[i].kind == kind && (bitmap < 0 || items[i].bitmap == bitmap) &&
        (items[i].param >= 0 || kind == PanelControlKind::PushButton))
      return &items[i];
  }
  return nullptr;
}

struct Point {
  int x, y;
};
Point Centre(const LayoutRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class EditorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.Start(1600, 1000, &why)) GTEST_SKIP() << why;
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  std::vector<Window> Children(Window w) { return testing::Children(display_, w); }
  Window ParentOf(Window w) { return testing::ParentOf(display_, w); }
  // Starts the tool and waits until the panel is on screen.
  bool Launch(EditHostProcess& tool, const std::vector<std::string>& args = {}) {
    if (!tool.Start(args)) return false;
    if (tool.WaitLine("open 0 1") < 0) return false;
    host_ = tool.HostWindow();
    return WaitFor([&] { return Children(host_).size() == 1; });
  }
  int Stat(EditHostProcess& tool, const char* name) {
    for (const std::string& w : tool.Ask("stats", "stats")) {
      if (w.rfind(std::string(name) + "=", 0) == 0) return std::atoi(w.c_str() + std::strlen(name) + 1);
    }
    return -1;
  }
  // Waits until the screen shows the headless panel in `area`.
  bool ShowsPanel(cairo_surface_t* expected, Window w, LayoutRect area, double* share) {
    return WaitFor([&] {
      Image shot = Screenshot(display_, w, kWidth, kHeight);
      *share = DifferentShare(shot.get(), expected, area, 8);
      return *share < 0.005;
    });
  }

  testing::XvfbServer server_;
  Display* display_ = nullptr;
  Window host_ = 0;
};

TEST_F(EditorWindowTest, OpensInsideTheHostsWindowAndShowsThePanel) {
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  const Window ours = Children(host_).at(0);
  EXPECT_EQ(ParentOf(ours), host_);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(display_, ours, &a));
  EXPECT_EQ(a.width, kWidth);
  EXPECT_EQ(a.height, kHeight);

  Image expected = HeadlessPanel();
  double share = 1.0;
  const bool same = ShowsPanel(expected.get(), host_, {0, 0, kWidth, kHeight}, &share);
  Image shot = Screenshot(display_, host_, kWidth, kHeight);
  cairo_surface_write_to_png(shot.get(), (kArtefacts + "editor-window-screenshot.png").c_str());
  cairo_surface_write_to_png(expected.get(), (kArtefacts + "editor-window-headless.png").c_str());
  EXPECT_TRUE(same) << share * 100 << "% of the pixels differ from the headless panel";
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, DraggingASliderIsOneHostEditAndUndoTakesItBack) {
  const PanelItem* slider = FindItem(PanelControlKind::SliderHorizontal);
  const PanelItem* undo = FindItem(PanelControlKind::PushButton, kBmpUndo);
  ASSERT_NE(slider, nullptr);
  ASSERT_NE(undo, nullptr);
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  const int p = slider->param;
  const double before = tool.Param(p);
  size_t count = 0;
  const LayoutRect display = PanelControlRect(PanelItems(&count)[PanelDisplayItem()]);
  Image displayBefore = Screenshot(display_, host_, kWidth, kHeight);

  const Point c = Centre(PanelControlRect(*slider));
  const size_t from = tool.Count();
  ASSERT_TRUE(Xdo({"mousemove", std::to_string(c.x), std::to_string(c.y), "mousedown", "1",
                   "mousemove", std::to_string(c.x + 20), std::to_string(c.y), "mousemove",
                   std::to_string(c.x + 40), std::to_string(c.y), "mouseup", "1"}));
  const std::string ps = " " + std::to_string(p);
  const int end = tool.WaitLine("end 0" + ps, from);
  ASSERT_GE(end, 0);
  const int begin = tool.WaitLine("begin 0" + ps, from);
  const int automate = tool.WaitLine("automate 0" + ps, from);
  ASSERT_GE(begin, 0);
  ASSERT_GE(automate, 0);
  EXPECT_LT(begin, automate);
  EXPECT_LT(automate, end);
  const double after = tool.Param(p);
  EXPECT_GT(after, before);  // dragged to the right
  // The host's last automate value is what it reads back.
  double last = -1.0;
  for (const std::string& line : tool.Lines()) {
    const auto w = Words(line);
    if (w.size() == 4 && w[0] == "automate" && std::atoi(w[2].c_str()) == p) last = std::atof(w[3].c_str());
  }
  EXPECT_NEAR(last, after, 1e-5);
  // The display shows the touched parameter.
  EXPECT_TRUE(WaitFor([&] {
    Image now = Screenshot(display_, host_, kWidth, kHeight);
    return DifferentShare(now.get(), displayBefore.get(), display, 8) > 0.01;
  }));

  const Point u = Centre(PanelControlRect(*undo));
  ASSERT_TRUE(Xdo({"mousemove", std::to_string(u.x), std::to_string(u.y), "click", "1"}));
  EXPECT_TRUE(WaitFor([&] { return std::fabs(tool.Param(p) - before) < 1e-6; }))
      << tool.Param(p) << " after undo, " << before << " before the drag";
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, ARadioButtonClickSetsItsChoice) {
  const PanelItem* radio = FindItem(PanelControlKind::RadioGroup);
  ASSERT_NE(radio, nullptr);
  ASSERT_GE(radio->buttons, 2);
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  const int p = radio->param;
  for (int k : {radio->buttons - 1, 0}) {
    const Point c = Centre(RadioButtonRect(*radio, k));
    const size_t from = tool.Count();
    ASSERT_TRUE(Xdo({"mousemove", std::to_string(c.x), std::to_string(c.y), "click", "1"}));
    ASSERT_GE(tool.WaitLine("end 0 " + std::to_string(p), from), 0) << k;
    // Button k of n stands for the normalised value k / (n - 1).
    EXPECT_NEAR(tool.Param(p), static_cast<double>(k) / (radio->buttons - 1), 1e-6) << k;
  }
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, ATypedValueInTheValuePromptIsSetOnEnter) {
  const PanelItem* slider = FindItem(PanelControlKind::SliderHorizontal);
  ASSERT_NE(slider, nullptr);
  std::unique_ptr<PluginCore> core(CreateInstrument(nullptr));
  const PlugParameter& info = *core->ParameterAt(slider->param);
  const int typed = static_cast<int>(std::lround(info.min + 0.37 * (info.max - info.min)));
  ASSERT_NE(typed, static_cast<int>(std::lround(info.value)));

  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  const Point c = Centre(PanelControlRect(*slider));
  const size_t from = tool.Count();
  ASSERT_TRUE(Xdo({"mousemove", std::to_string(c.x), std::to_string(c.y), "click", "3"}));
  // The prompt takes the keyboard focus, so the keys reach it.
  Window ours = Children(host_).at(0);
  ASSERT_TRUE(WaitFor([&] {
    Window f;
    int revert;
    XGetInputFocus(display_, &f, &revert);
    return f == ours;
  }));
  ASSERT_TRUE(Xdo({"type", std::to_string(typed)}));
  ASSERT_TRUE(Xdo({"key", "Return"}));
  ASSERT_GE(tool.WaitLine("automate 0 " + std::to_string(slider->param), from), 0);
  EXPECT_TRUE(WaitFor([&] { return std::atof(tool.ParamText(slider->param).c_str()) == typed; }))
      << tool.ParamText(slider->param);
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, KeysNoControlTakesReachTheHostAndPlayNotes) {
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  // Where no control is, keys go on to the host's window,
  // whose keyboard piano plays them.
  const size_t from = tool.Count();
  ASSERT_TRUE(Xdo({"mousemove", "950", "170", "keydown", "z"}));
  EXPECT_GE(tool.WaitLine("note 0 on 48", from), 0);
  ASSERT_TRUE(Xdo({"keyup", "z"}));
  EXPECT_GE(tool.WaitLine("note 0 off 48", from), 0);
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, OpeningAndClosingFiftyTimesLeavesNothingBehind) {
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  tool.Send("close");
  ASSERT_GE(tool.WaitLine("close 0 1"), 0);
  const int threads = Stat(tool, "threads"), fds = Stat(tool, "fds");
  for (int i = 0; i < 50; ++i) {
    tool.Send("open");
    tool.Send("close");
  }
  tool.Send("open");
  const size_t from = tool.Count();
  ASSERT_GE(tool.WaitLine("open 0 1", from > 0 ? from - 1 : 0), 0);
  EXPECT_EQ(Stat(tool, "children"), 1);
  EXPECT_EQ(Stat(tool, "threads"), threads + 1);  // the window's own
  tool.Send("close");
  EXPECT_EQ(Stat(tool, "threads"), threads);
  EXPECT_EQ(Stat(tool, "fds"), fds);  // no X connection left open
  EXPECT_EQ(Stat(tool, "children"), 0);
  int opened = 0;
  for (const std::string& line : tool.Lines()) opened += line == "open 0 1";
  EXPECT_EQ(opened, 52);
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, TwoInstancesOpenAtOnceEachTakeTheirOwnEdits) {
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool, {"--instances", "2"}));
  ASSERT_GE(tool.WaitLine("open 1 1"), 0);
  const Window second = tool.HostWindow(1);
  ASSERT_TRUE(WaitFor([&] { return Children(second).size() == 1; }));
  // The second window lies over the first, 40 pixels down and right.
  const PanelItem* slider = FindItem(PanelControlKind::SliderHorizontal);
  const Point c = Centre(PanelControlRect(*slider));
  const size_t from = tool.Count();
  ASSERT_TRUE(Xdo({"mousemove", std::to_string(c.x + 40), std::to_string(c.y + 40), "mousedown", "1",
                   "mousemove", std::to_string(c.x + 80), std::to_string(c.y + 40), "mouseup", "1"}));
  ASSERT_GE(tool.WaitLine("end 1 " + std::to_string(slider->param), from), 0);
  for (const std::string& line : tool.Lines()) EXPECT_NE(line.rfind("begin 0", 0), 0u) << line;
  EXPECT_NE(tool.Param(slider->param, 1), tool.Param(slider->param, 0));
  EXPECT_EQ(Stat(tool, "children"), 2);
  tool.Send("close 0");
  EXPECT_EQ(Stat(tool, "children"), 1);
  EXPECT_EQ(tool.Quit(), 0);
}

TEST_F(EditorWindowTest, PaintsAndAnswersAtEveryIdleRateAndWithoutIdle) {
  Image expected = HeadlessPanel();
  const PanelItem* radio = FindItem(PanelControlKind::RadioGroup);
  for (const char* rate : {"0", "15", "25", "50"}) {
    EditHostProcess tool;
    // Without idle calls the host also shows its window only after the
    // editor is open in it, as Ardour does when it reopens a session.
    std::vector<std::string> args{"--idle", rate};
    if (std::string(rate) == "0") args.push_back("--map-late");
    ASSERT_TRUE(Launch(tool, args)) << rate;
    double share = 1.0;
    EXPECT_TRUE(ShowsPanel(expected.get(), host_, {0, 0, kWidth, kHeight}, &share)) << rate;
    const Point c = Centre(RadioButtonRect(*radio, 1));
    const size_t from = tool.Count();
    ASSERT_TRUE(Xdo({"mousemove", std::to_string(c.x), std::to_string(c.y), "click", "1"}));
    EXPECT_GE(tool.WaitLine("end 0 " + std::to_string(radio->param), from), 0) << rate;
    const int idles = Stat(tool, "idle");
    if (std::string(rate) == "0") {
      EXPECT_EQ(idles, 0);
    } else {
      EXPECT_GT(idles, 0);
    }
    EXPECT_EQ(tool.Quit(), 0) << rate;
  }
}

TEST_F(EditorWindowTest, AHostThatDestroysItsWindowBeforeClosingTheEditorGoesOn) {
  EditHostProcess tool;
  ASSERT_TRUE(Launch(tool));
  const int threads = Stat(tool, "threads");
  tool.Send("destroy-parent");
  tool.Send("close");
  ASSERT_GE(tool.WaitLine("close 0 1"), 0);
  EXPECT_EQ(Stat(tool, "threads"), threads - 1);
  // Idle after close, then a new window: the editor opens again.
  tool.Send("idle 50");
  const size_t from = tool.Count();
  tool.Send("open");
  ASSERT_GE(tool.WaitLine("open 0 1", from), 0);
  EXPECT_EQ(Stat(tool, "children"), 1);
  tool.Send("destroy-parent");
  EXPECT_EQ(tool.Quit(), 0);  // closed at exit after its window had gone
}

}  // namespace
}  // namespace morvanta
