// The plug-in core: parameters with their normalised mapping, the program
// slots and state chunks, channel buffers, the instance lock, and the virtual
// operations through which the host adapter and the instrument meet.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/Facts.h"
#include "plugin/InstanceLock.h"
#include "plugin/PlugParameter.h"
#include "plugin/StateChunk.h"

namespace morvanta {

// Editor seen from the core: the window layer implements it. All calls are
// made under the instance lock.
class EditorLink {
 public:
  virtual ~EditorLink() = default;
  // A parameter changed; value is normalised or plain as stated.
  virtual void ParameterDisplayUpdate(int index, double value, bool normalised) = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Opens the window inside the host's parent window; false on failure.
  virtual bool Open(void* parent) = 0;
  virtual void Close() = 0;
};

struct PlugPreset {
  bool initialised = false;
  char name[256] = "empty";
  StateChunk values;
};

struct ChannelSlot {
  bool connected = true;
  double** bufferSlot = nullptr;     // entry in the core's pointer array
  float* floatDestination = nullptr; // host's float buffer for this block
  std::vector<double> conversion;    // block-size long
  char label[32] = {};
};

struct Identity {
  const char* effectName;
  const char* productName;
  const char* vendorName;
  int32_t uniqueId;
  int32_t version;  // packed 0x00MMmmbb
  int numParams;
  int numPresets;
  const char* channelLayout;  // "0-2"
};

class PluginCore {
 public:
  explicit PluginCore(const Identity& id);
  virtual ~PluginCore();
  PluginCore(const PluginCore&) = delete;
  PluginCore& operator=(const PluginCore&) = delete;

  // Hooks, in the core's slot order.
  virtual void Reset();
  virtual void ParameterChanged(int index);
  virtual void RenderBlock(double** inputs, double** outputs, int frames);
  virtual void EditorOpened() {}
  virtual void EditorClosed() {}
  virtual void SetActive(bool active);
  virtual void MidiReceived(int32_t offset, uint8_t status, uint8_t data1, uint8_t data2);
  virtual void SysExReceived(int32_t offset, int32_t size, const uint8_t* bytes) {
    (void)offset; (void)size; (void)bytes;
  }
  virtual bool MidiNoteName(int note, char* text) { (void)note; if (text) text[0] = 0; return false; }
  virtual bool WriteState(StateChunk& chunk) { return SerializeParams(chunk); }
  virtual int ReadState(const StateChunk& chunk, int pos) { return UnserializeParams(chunk, pos); }
  virtual void SetParameterFromEditor(int index, double x);
  virtual void BeginHostEdit(int index) { (void)index; }
  virtual void NotifyHostAutomation(int index, double x) { (void)index; (void)x; }
  virtual void EndHostEdit(int index) { (void)index; }
  virtual void RequestHostDisplayUpdate() {}
  virtual double HostTempo() { return 0.0; }
  virtual int HostKind() { return 0; }
  virtual void IdentifyHostOnce() {}
  virtual void AttachEditor(std::unique_ptr<EditorLink> editor);
  virtual void RefreshEditorControls();
  virtual void OnPresetRestored() {}
  virtual void ResizeBlockBuffers(int frames);

  // Parameters.
  int NumParams() const { return static_cast<int>(params_.size()); }
  PlugParameter* ParameterAt(int index);
  const PlugParameter* ParameterAt(int index) const;

  // Presets and chunks.
  int NumPresets() const { return static_cast<int>(presets_.size()); }
  bool SerializeParams(StateChunk& chunk);
  int UnserializeParams(const StateChunk& chunk, int pos);
  bool SerializePresets(StateChunk& chunk);
  int UnserializePresets(const StateChunk& chunk, int pos);
  void ModifyCurrentPreset(const char* name = nullptr);
  bool LoadPreset(int index);
  const char* PresetName(int index) const;
  void AddPreset(const char* name, const double* values);  // NumParams() values
  void AddPresetFromCurrent(const char* name);
  void FillEmptyPresets(const char* name, int count);
  static void WriteHeader(StateChunk& chunk);
  // Returns the position after the header (unchanged when there is none, -1
  // when the version cannot be read); *version is 0 without a header.
  static int ReadHeader(const StateChunk& chunk, int pos, int32_t* version);
  const PlugPreset* PresetAt(int index) const;
  int CurrentPresetIndex() const { return currentPreset_; }

  // Instance data.
  InstanceLock& Lock() { return lock_; }
  double SampleRate() const { return sampleRate_; }
  void SetSampleRate(double rate) { sampleRate_ = rate; }
  int BlockSize() const { return blockSize_; }
  int NumInputs() const { return static_cast<int>(inputs_.size()); }
  int NumOutputs() const { return static_cast<int>(outputs_.size()); }
  EditorLink* Editor() { return editor_.get(); }
  const Identity& Ident() const { return identity_; }
  bool IsInstrument() const { return isInstrument_; }
  bool ReceivesMidi() const { return receivesMidi_; }

 protected:
  // The audio exchange: the channel slots a host adapter points at the
  // host's buffers (or their conversion buffers) before each RenderBlock,
  // and the pointer arrays RenderBlock then receives.
  std::vector<ChannelSlot>& InputSlots() { return inputs_; }
  std::vector<ChannelSlot>& OutputSlots() { return outputs_; }
  double** InputBuffers() { return inputPtrs_.data(); }
  double** OutputBuffers() { return outputPtrs_.data(); }

 private:
  // UnserializeParams without the ParameterChanged calls; with clampedOut,
  // also stores each value as set (8 bytes per parameter read).
  int ReadParamValues(const StateChunk& chunk, int pos, uint8_t* clampedOut = nullptr);

  InstanceLock lock_;
  Identity identity_;
  bool isInstrument_ = true;
  bool receivesMidi_ = true;
  int currentPreset_ = 0;
  double sampleRate_ = 44100.0;
  int blockSize_ = 0;
  std::unique_ptr<EditorLink> editor_;
  std::vector<PlugParameter> params_;
  std::vector<PlugPreset> presets_;
  std::vector<double*> inputPtrs_;
  std::vector<double*> outputPtrs_;
  std::vector<ChannelSlot> inputs_;
  std::vector<ChannelSlot> outputs_;
};

}  // namespace morvanta
