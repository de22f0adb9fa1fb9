#include "tools/edithost/EditHost.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <sstream>

#include "tools/render/MidiFileReader.h"

namespace morvanta {
namespace edithost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 44100.0;
constexpr int kBlockFrames = 256;
constexpr int kVelocity = 100;
// Our window's own colour: a panel that paints nothing shows up as grey.
constexpr unsigned long kWindowGrey = 0x808080;

std::mutex g_printMutex;

// One line on stdout, whole, whatever thread prints it.
void Print(const char* format, ...) {
  std::lock_guard<std::mutex> lock(g_printMutex);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::putchar('\n');
  std::fflush(stdout);
}

int CountEntries(const char* dir) {
  int n = -2;  // "." and ".."
  if (DIR* d = opendir(dir)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// Two rows of the computer keyboard as a piano, as trackers lay it out:
// z s x d c v g b h n j m , from C3, q 2 w 3 e r 5 t 6 y 7 u i from C4.
int NoteForKey(KeySym sym) {
  static const char kLower[] = "zsxdcvgbhnjm,";
  static const char kUpper[] = "q2w3er5t6y7ui";
  if (sym > 0x7f) return -1;
  for (int i = 0; kLower[i]; ++i) {
    if (static_cast<KeySym>(kLower[i]) == sym) return 48 + i;
    if (static_cast<KeySym>(kUpper[i]) == sym) return 60 + i;
  }
  return -1;
}

}  // namespace

EditHost::~EditHost() {
  for (size_t i = 0; i < slots_.size(); ++i) CloseEditor(static_cast<int>(i));
  stopAudio_ = true;
  if (audio_.joinable()) audio_.join();
  slots_.clear();
  if (display_) XCloseDisplay(display_);
}

bool EditHost::Start(std::string* error) {
  display_ = XOpenDisplay(nullptr);
  if (!display_) {
    *error = "cannot open the X display (is DISPLAY set?)";
    return false;
  }
  deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  // Held keys repeat as presses only, so a held note is not retriggered.
  XkbSetDetectableAutoRepeat(display_, True, nullptr);
  if (!options_.midiFile.empty()) {
    std::string damage;
    if (!render::ReadMidiFile(options_.midiFile, &sequence_, error, &damage)) return false;
    if (!damage.empty()) std::fprintf(stderr, "morvanta-edithost: %s\n", damage.c_str());
  }
  for (int i = 0; i < options_.instances; ++i) {
    auto slot = std::make_unique<Slot>();
    slot->plugin = host::PluginInstance::Load(options_.plugin, error);
    if (!slot->plugin) return false;
    slot->plugin->KeepLoadedAfterClose();  // the process ends right after
    slot->plugin->SetSampleRate(kSampleRate);
    slot->plugin->SetBlockSize(kBlockFrames);
    slot->plugin->Resume();
    slot->plugin->SetCallbackObserver([i](int32_t opcode, int32_t index, float opt) {
      if (opcode == vst::audioMasterBeginEdit) Print("begin %d %d", i, index);
      if (opcode == vst::audioMasterAutomate) Print("automate %d %d %.6f", i, index, opt);
      if (opcode == vst::audioMasterEndEdit) Print("end %d %d", i, index);
    });
    slots_.push_back(std::move(slot));
  }
  idleHz_ = options_.idleHz;
  audio_ = std::thread(&EditHost::AudioLoop, this);
  if (options_.openAtStart) {
    for (int i = 0; i < options_.instances; ++i) OpenEditor(i);
  }
  Print("ready %d", options_.instances);
  return true;
}

void EditHost::MakeWindow(int i, int width, int height) {
  Slot& s = *slots_[static_cast<size_t>(i)];
  const int offset = 40 * i;  // a second instance sits a little further down
  s.window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), offset, offset,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 0, kWindowGrey);
  const std::string title = "Morvanta edit host " + std::to_string(i);
  XStoreName(display_, s.window, title.c_str());
  XSetWMProtocols(display_, s.window, &deleteWindow_, 1);
  XSelectInput(display_, s.window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  if (!options_.mapLate) XMapWindow(display_, s.window);
  XSync(display_, False);
  Print("window %d 0x%lx", i, static_cast<unsigned long>(s.window));
}

void EditHost::OpenEditor(int i) {
  Slot& s = *slots_[static_cast<size_t>(i)];
  if (s.editorOpen) return;
  ERect* rect = nullptr;
  s.plugin->Dispatch(vst::effEditGetRect, 0, 0, &rect);
  const int width = rect ? rect->right - rect->left : 0;
  const int height = rect ? rect->bottom - rect->top : 0;
  Print("rect %d %d %d", i, width, height);
  if (!s.window) MakeWindow(i, width > 0 ? width : 400, height > 0 ? height : 300);
  // Like Ardour, pass our Display in `value`; the plug-in must not use it.
  const intptr_t answer = s.plugin->Dispatch(vst::effEditOpen, 0, reinterpret_cast<intptr_t>(display_),
                                             reinterpret_cast<void*>(s.window));
  s.editorOpen = answer != 0;
  if (options_.mapLate) {
    XMapWindow(display_, s.window);
    XSync(display_, False);
  }
  Print("open %d %d", i, static_cast<int>(answer));
}

void EditHost::CloseEditor(int i) {
  Slot& s = *slots_[static_cast<size_t>(i)];
  if (!s.editorOpen) return;
  const intptr_t answer = s.plugin->Dispatch(vst::effEditClose);
  s.editorOpen = false;
  Print("close %d %d", i, static_cast<int>(answer));
}

// What some hosts do: their window goes first, the editor is closed after.
void EditHost::DestroyWindow(int i) {
  Slot& s = *slots_[static_cast<size_t>(i)];
  if (!s.window) return;
  XDestroyWindow(display_, s.window);
  XSync(display_, False);
  s.window = 0;
  Print("destroyed %d", i);
}

void EditHost::PrintStats() {
  int children = 0;
  for (const auto& s : slots_) {
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (s->window && XQueryTree(display_, s->window, &root, &parent, &kids, &n)) {
      children += static_cast<int>(n);
      if (kids) XFree(kids);
    }
  }
  Print("stats threads=%d fds=%d children=%d idle=%ld", CountEntries("/proc/self/task"),
        CountEntries("/proc/self/fd"), children, idleCalls_);
}

void EditHost::Command(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  int a = -1, b = -1;
  double value = 0.0;
  auto each = [&](int which, void (EditHost::*f)(int)) {
    for (int i = 0; i < static_cast<int>(slots_.size()); ++i) {
      if (which < 0 || which == i) (this->*f)(i);
    }
  };
  auto valid = [&](int i) { return i >= 0 && i < static_cast<int>(slots_.size()); };
  if (word == "open") {
    in >> a;
    each(a, &EditHost::OpenEditor);
  } else if (word == "close") {
    in >> a;
    each(a, &EditHost::CloseEditor);
  } else if (word == "destroy-parent") {
    in >> a;
    each(a, &EditHost::DestroyWindow);
  } else if (word == "get" && (in >> a)) {
    if (!(in >> b)) b = 0;
    if (valid(b)) {
      host::PluginInstance& p = *slots_[static_cast<size_t>(b)]->plugin;
      Print("param %d %d %.6f %s", b, a, p.GetParameter(a), p.ParamDisplay(a).c_str());
    }
  } else if (word == "set" && (in >> a >> value)) {
    if (!(in >> b)) b = 0;
    if (valid(b)) slots_[static_cast<size_t>(b)]->plugin->SetParameter(a, static_cast<float>(value));
  } else if (word == "idle" && (in >> value)) {
    idleHz_ = std::max(0.0, value);
  } else if (word == "note" && (in >> a)) {  // note KEY on|off [instance]
    std::string state;
    in >> state;
    if (!(in >> b)) b = 0;
    if (valid(b) && a >= 0 && a < 128) {
      Slot& s = *slots_[static_cast<size_t>(b)];
      std::lock_guard<std::mutex> lock(s.midiMutex);
      host::MidiEvent e;
      e.bytes[0] = state == "off" ? 0x80 : 0x90;
      e.bytes[1] = static_cast<uint8_t>(a);
      e.bytes[2] = kVelocity;
      s.pending.push_back(e);
    }
  } else if (word == "stats") {
    PrintStats();
  } else if (word == "sync") {
    XSync(display_, False);
    Print("synced");
  } else if (word == "quit") {
    quit_ = true;
  } else if (!word.empty()) {
    Print("unknown %s", word.c_str());
  }
}

int EditHost::SlotOfWindow(Window w) const {
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i]->window == w) return static_cast<int>(i);
  }
  return -1;
}

void EditHost::PlayKey(int i, KeySym sym, bool press) {
  const int note = NoteForKey(sym);
  if (note < 0) return;
  Slot& s = *slots_[static_cast<size_t>(i)];
  auto held = std::find(s.held.begin(), s.held.end(), note);
  if (press == (held != s.held.end())) return;  // a repeat, or a release we never saw pressed
  if (press) {
    s.held.push_back(note);
  } else {
    s.held.erase(held);
  }
  host::MidiEvent e;
  e.bytes[0] = press ? 0x90 : 0x80;
  e.bytes[1] = static_cast<uint8_t>(note);
  e.bytes[2] = kVelocity;
  {
    std::lock_guard<std::mutex> lock(s.midiMutex);
    s.pending.push_back(e);
  }
  Print("note %d %s %d", i, press ? "on" : "off", note);
}

void EditHost::HandleX(XEvent& e) {
  switch (e.type) {
    case KeyPress:
    case KeyRelease: {
      const int i = SlotOfWindow(e.xkey.window);
      if (i < 0) break;
      char text[8];
      KeySym sym = NoSymbol;
      XLookupString(&e.xkey, text, sizeof text, &sym, nullptr);
      Print("key %d %s %s%s", i, e.type == KeyPress ? "press" : "release",
            XKeysymToString(sym) ? XKeysymToString(sym) : "?", e.xkey.send_event ? " sent" : "");
      PlayKey(i, sym, e.type == KeyPress);
      break;
    }
    case ClientMessage:
      if (static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow_) quit_ = true;
      break;
    default:
      break;
  }
}

void EditHost::Idle() {
  for (auto& s : slots_) {
    if (s->editorOpen) s->plugin->Dispatch(vst::effEditIdle);
  }
  ++idleCalls_;
}

void EditHost::Run() {
  std::string input;
  bool stdinOpen = true;
  fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
  Clock::time_point nextIdle = Clock::now();
  while (!quit_) {
    int timeout = 100;
    if (idleHz_ > 0.0) {
      const auto now = Clock::now();
      if (now >= nextIdle) {
        Idle();
        nextIdle = std::max(nextIdle + std::chrono::microseconds(static_cast<long>(1e6 / idleHz_)), now);
      }
      timeout = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(nextIdle - Clock::now()).count()) + 1;
    }
    XFlush(display_);
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    if (XPending(display_) == 0) poll(fds, 2, timeout);
    while (XPending(display_) > 0) {
      XEvent e;
      XNextEvent(display_, &e);
      HandleX(e);
    }
    if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
      char buffer[512];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0) {
        stdinOpen = false;
        // A driving program that hangs up ends the run; started with
        // stdin from a file or /dev/null, the window stays until closed.
        struct stat st;
        if (fstat(STDIN_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) quit_ = true;
      }
      if (n > 0) input.append(buffer, static_cast<size_t>(n));
      size_t end;
      while ((end = input.find('\n')) != std::string::npos) {
        Command(input.substr(0, end));
        input.erase(0, end + 1);
      }
    }
  }
}

// Renders every instance in real time; the MIDI file and the keys are
// delivered at block starts. The sound goes to aplay when asked for.
void EditHost::AudioLoop() {
  FILE* out = options_.aplay ? popen("aplay -q -t raw -f FLOAT_LE -c 2 -r 44100 -", "w") : nullptr;
  std::vector<float> left(kBlockFrames), right(kBlockFrames), mixed(2 * kBlockFrames);
  float* outputs[2] = {left.data(), right.data()};
  const auto& messages = sequence_.Messages();
  size_t nextMessage = 0;
  long frames = 0;
  const auto start = Clock::now();
  while (!stopAudio_) {
    const double blockStart = frames / kSampleRate;
    const double blockEnd = (frames + kBlockFrames) / kSampleRate;
    std::fill(mixed.begin(), mixed.end(), 0.0f);
    for (size_t i = 0; i < slots_.size(); ++i) {
      Slot& s = *slots_[i];
      std::vector<host::MidiEvent> events;
      {
        std::lock_guard<std::mutex> lock(s.midiMutex);
        events.swap(s.pending);
      }
      for (size_t m = nextMessage; i == 0 && m < messages.size() && messages[m].seconds < blockEnd; ++m) {
        host::MidiEvent e;
        e.deltaFrames = static_cast<int32_t>(std::max(0.0, (messages[m].seconds - blockStart) * kSampleRate));
        std::copy(messages[m].bytes, messages[m].bytes + 3, e.bytes);
        events.push_back(e);
      }
      if (!events.empty()) s.plugin->SendMidi(events);
      s.plugin->ProcessFloat(outputs, kBlockFrames);
      for (int f = 0; f < kBlockFrames; ++f) {
        mixed[2 * f] += left[f];
        mixed[2 * f + 1] += right[f];
      }
    }
    while (nextMessage < messages.size() && messages[nextMessage].seconds < blockEnd) ++nextMessage;
    frames += kBlockFrames;
    if (out) {
      if (std::fwrite(mixed.data(), sizeof(float), mixed.size(), out) != mixed.size()) {
        pclose(out);
        out = nullptr;
      }
    } else {
      std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<long>(frames * 1e6 / kSampleRate)));
    }
  }
  if (out) pclose(out);
}

}  // namespace edithost
}  // namespace morvanta
