// A small VST2 host of our own: loads a plug-in .so with dlopen and drives
// it the way a DAW does (host callback, event lists, the three process
// calls). The tests and the command-line renderer are built on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin/Vst2Abi.h"

namespace morvanta {
namespace host {

struct MidiEvent {
  int32_t deltaFrames = 0;
  uint8_t bytes[3] = {0, 0, 0};
};

// What the host callback saw; the tests read it.
struct HostLog {
  std::vector<std::pair<int, float>> automations;  // (index, normalised value)
  std::vector<int> beginEdits;
  std::vector<int> endEdits;
  int wantMidiCalls = 0;
  int getTimeCalls = 0;
  int updateDisplayCalls = 0;
};

class PluginInstance {
 public:
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  // Opens the .so (RTLD_NOW), calls VSTPluginMain and effOpen. Returns null
  // and fills *error when anything fails.
  static std::unique_ptr<PluginInstance> Load(const std::string& path, std::string* error);

  AEffect* Effect() { return effect_; }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0,
                    void* ptr = nullptr, float opt = 0.0f);

  // Convenience wrappers over the dispatcher and the callbacks.
  void SetSampleRate(double rate);
  void SetBlockSize(int frames);
  void Resume();   // effMainsChanged 1
  void Suspend();  // effMainsChanged 0
  int NumParams() const;
  int NumPrograms() const;
  std::string ParamName(int index);
  std::string ParamLabel(int index);
  std::string ParamDisplay(int index);
  float GetParameter(int index);
  void SetParameter(int index, float normalised);
  // effString2Parameter; returns the dispatcher's answer.
  bool SetParameterText(int index, const std::string& text);
  int FindParam(const std::string& name);  // exact name, or -1
  std::string ProgramName(int index);      // effGetProgramNameIndexed
  int GetProgram();
  void SetProgram(int index);
  std::string EffectName();
  std::string VendorString();
  std::vector<uint8_t> GetChunk(bool bank);
  bool SetChunk(const std::vector<uint8_t>& bytes, bool bank);

  // Events are sent with effProcessEvents before the next process call.
  void SendMidi(const std::vector<MidiEvent>& events);
  // SendMidi in two steps: build the host's event list, then send it (again).
  void PrepareMidi(const std::vector<MidiEvent>& events);
  void SendPreparedMidi();
  void ProcessDouble(double** outputs, int frames);
  void ProcessFloat(float** outputs, int frames);        // processReplacing
  void ProcessAccumulate(float** outputs, int frames);   // deprecated process

  // What the plug-in's tempo query sees (0 = no tempo: the host answers
  // with a null record).
  void SetTempo(double bpm) { tempo_ = bpm; }
  // Product string the host reports (effect's host identification).
  void SetProductString(const std::string& s) { product_ = s; }
  void SetVendorVersion(int v) { vendorVersion_ = v; }
  HostLog& Log() { return log_; }
  // Sees every host callback before it is answered, on the thread the
  // plug-in calls from (the editor's window thread for edits).
  using CallbackObserver = std::function<void(int32_t opcode, int32_t index, float opt)>;
  void SetCallbackObserver(CallbackObserver observer) { observer_ = std::move(observer); }
  // Leaves the .so loaded after effClose, so that leak reports at exit can
  // still name the libraries it brought in.
  void KeepLoadedAfterClose() { unload_ = false; }

 private:
  PluginInstance() = default;
  static intptr_t Callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                           void* ptr, float opt);
  intptr_t HandleCallback(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

  void* library_ = nullptr;
  AEffect* effect_ = nullptr;
  double tempo_ = 0.0;
  double sampleRate_ = 44100.0;
  std::string product_ = "Morvanta test host";
  int vendorVersion_ = 1000;
  VstTimeInfo timeInfo_{};
  HostLog log_;
  CallbackObserver observer_;
  bool unload_ = true;
  std::vector<uint8_t> eventStorage_;
  // Silent input buffers handed to the process calls (grown, never shrunk).
  std::vector<double> silenceDouble_;
  std::vector<float> silenceFloat_;
  std::vector<double*> inputsDouble_;
  std::vector<float*> inputsFloat_;
  void PrepareInputs(int frames);
};

}  // namespace host
}  // namespace morvanta
