// A small editor host: a top-level X window per plug-in instance with the
// plug-in's editor opened inside it through the VST2 interface, effEditIdle
// on a timer at a chosen rate (or never), notes from the computer keyboard or
// a MIDI file, and every edit callback printed on stdout. Driven by hand or,
// line by line on stdin, by the window tests.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/VstHost.h"
#include "tools/render/NoteSequence.h"

namespace morvanta {
namespace edithost {

struct Options {
  std::string plugin;
  int instances = 1;
  double idleHz = 25.0;  // 0: never
  std::string midiFile;
  bool aplay = false;    // send the sound to aplay instead of dropping it
  bool openAtStart = true;
  // Show our window only after the editor is open in it, as Ardour does.
  bool mapLate = false;
};

class EditHost {
 public:
  explicit EditHost(const Options& options) : options_(options) {}
  ~EditHost();
  EditHost(const EditHost&) = delete;
  EditHost& operator=(const EditHost&) = delete;

  // Loads the instances and connects to the X server; false with *error.
  bool Start(std::string* error);
  // Runs until the window is closed, "quit" is read or stdin ends.
  void Run();

 private:
  struct Slot {
    std::unique_ptr<host::PluginInstance> plugin;
    Window window = 0;
    bool editorOpen = false;
    std::vector<int> held;  // keys sounding from the computer keyboard
    std::mutex midiMutex;
    std::vector<host::MidiEvent> pending;  // taken by the audio thread
  };

  void Command(const std::string& line);
  void OpenEditor(int i);
  void CloseEditor(int i);
  void DestroyWindow(int i);
  void MakeWindow(int i, int width, int height);
  void HandleX(XEvent& e);
  void PlayKey(int i, KeySym sym, bool press);
  void Idle();
  void PrintStats();
  void AudioLoop();
  int SlotOfWindow(Window w) const;

  Options options_;
  std::vector<std::unique_ptr<Slot>> slots_;
  Display* display_ = nullptr;
  Atom deleteWindow_ = 0;
  bool quit_ = false;
  double idleHz_ = 0.0;
  long idleCalls_ = 0;
  render::NoteSequence sequence_;
  std::thread audio_;
  std::atomic<bool> stopAudio_{false};
};

}  // namespace edithost
}  // namespace morvanta
