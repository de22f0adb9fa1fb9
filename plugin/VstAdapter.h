// The VST2 host adapter: fills the effect record a host drives, answers the
// dispatcher opcodes and moves audio, MIDI and tempo between host and core.
#pragma once

#include <cstdint>
#include <memory>

#include "plugin/PluginCore.h"
#include "plugin/Vst2Abi.h"

namespace morvanta {

// The host kinds HostKind() tells apart by the host's product string.
enum HostId : int32_t {
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostCakewalk = 5,
  kHostFruity = 7,
  kHostSamplitude = 8,
  kHostLive = 9,
  kHostMelodyne = 12,
  kHostVstManLib = 13,
  kHostAuLab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSawStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigital = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostPreSonus = 26,
  kHostVst3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMpt = 30,
};

class VstAdapter : public PluginCore {
 public:
  VstAdapter(const Identity& id, HostCallback host);
  ~VstAdapter() override;

  AEffect* Effect() { return &effect_; }
  HostCallback Host() const { return host_; }
  // The adapter that owns an effect record, or null.
  static VstAdapter* FromEffect(AEffect* effect);

  // Host-side hooks.
  void BeginHostEdit(int index) override;
  void NotifyHostAutomation(int index, double x) override;
  void EndHostEdit(int index) override;
  void RequestHostDisplayUpdate() override;
  double HostTempo() override;
  int HostKind() override;
  void IdentifyHostOnce() override;
  void AttachEditor(std::unique_ptr<EditorLink> editor) override;

  int HostVersion() const { return hostVersion_; }
  // Called after construction by the entry point: numPrograms >= 1 etc.
  void FinishConstruction();

  // The dispatcher and the callbacks of the effect record.
  static intptr_t VSTDispatcher(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                void* ptr, float opt);
  static void VSTProcess(AEffect* effect, float** inputs, float** outputs, int32_t frames);
  static void VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                  int32_t frames);
  static void VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                        int32_t frames);
  static void VSTSetParameter(AEffect* effect, int32_t index, float value);
  static float VSTGetParameter(AEffect* effect, int32_t index);

 private:
  // One dispatcher call, handed to the opcode groups.
  struct Request {
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
  };

  intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  bool DispatchSetup(const Request& r, intptr_t* answer);
  bool DispatchPrograms(const Request& r, intptr_t* answer);
  bool DispatchParameters(const Request& r, intptr_t* answer);
  bool DispatchEditor(const Request& r, intptr_t* answer);
  bool DispatchIdentity(const Request& r, intptr_t* answer);
  intptr_t VendorSpecific(const Request& r);
  intptr_t MidiKeyNameAnswer(MidiKeyName* key);
  intptr_t CallHost(int32_t opcode, int32_t index = 0, intptr_t value = 0,
                    void* ptr = nullptr, float opt = 0.0f);
  void ProcessFloat(float** inputs, float** outputs, int32_t frames, bool accumulate);
  void ProcessDouble(double** inputs, double** outputs, int32_t frames);
  void RenderFloatSlice(float** inputs, float** outputs, int offset, int frames, bool accumulate);
  intptr_t ProcessEvents(const VstEvents* events);
  bool PinProperties(bool output, int index, VstPinProperties* props);
  void SetSpeakerArrangement(bool output, const VstSpeakerArrangement* arr);
  intptr_t CanDo(const char* text) const;
  intptr_t GetChunk(bool bank, void** data);
  intptr_t SetChunk(bool bank, const void* data, intptr_t size);
  intptr_t StringToParameter(int index, const char* text);
  void SetParameterFromHost(int index, float x);
  float GetParameterForHost(int index);

  HostCallback host_ = nullptr;
  AEffect effect_{};
  StateChunk programChunk_;
  StateChunk bankChunk_;
  ERect editRect_{};
  VstSpeakerArrangement inputArrangement_{};
  VstSpeakerArrangement outputArrangement_{};
  bool hostIdentified_ = false;
  int hostKind_ = -1;
  int hostVersion_ = 0;
};

}  // namespace morvanta
