// The host library: loads a plug-in .so, answers its host callback with what a
// DAW would say, and drives it through the dispatcher and the process calls.
#include "tools/host/VstHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace morvanta {
namespace host {

namespace {

typedef AEffect* (*EntryProc)(HostCallback);

// The instance whose VSTPluginMain is running on this thread; the plug-in may
// call back before the host has had a chance to store itself in effect->user.
thread_local PluginInstance* t_loading = nullptr;

constexpr size_t kTextBufferSize = 256;

std::string DispatchText(PluginInstance& p, int32_t opcode, int32_t index) {
  char buf[kTextBufferSize + 1] = {};
  p.Dispatch(opcode, index, 0, buf);
  buf[kTextBufferSize] = 0;
  return buf;
}

}  // namespace

PluginInstance::~PluginInstance() {
  if (effect_ && effect_->dispatcher) effect_->dispatcher(effect_, vst::effClose, 0, 0, nullptr, 0.0f);
  effect_ = nullptr;
  if (library_ && unload_) dlclose(library_);
}

std::unique_ptr<PluginInstance> PluginInstance::Load(const std::string& path, std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return std::unique_ptr<PluginInstance>();
  };
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* e = dlerror();
    return fail(std::string("dlopen failed: ") + (e ? e : "unknown error"));
  }
  void* sym = dlsym(lib, "VSTPluginMain");
  if (sym == nullptr) sym = dlsym(lib, "main");
  if (sym == nullptr) {
    dlclose(lib);
    return fail("no VSTPluginMain or main in " + path);
  }
  std::unique_ptr<PluginInstance> inst(new PluginInstance());
  inst->library_ = lib;
  EntryProc entry;
  static_assert(sizeof entry == sizeof sym, "function and data pointers differ");
  std::memcpy(&entry, &sym, sizeof entry);
  t_loading = inst.get();
  AEffect* effect = entry(&PluginInstance::Callback);
  t_loading = nullptr;
  if (effect == nullptr) return fail("VSTPluginMain returned null");
  if (effect->magic != vst::kEffectMagic) return fail("effect record has a wrong magic number");
  effect->user = inst.get();
  inst->effect_ = effect;
  inst->Dispatch(vst::effOpen);
  return inst;
}

intptr_t PluginInstance::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  if (effect_ == nullptr || effect_->dispatcher == nullptr) return 0;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

intptr_t PluginInstance::Callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                  void* ptr, float opt) {
  PluginInstance* self = nullptr;
  if (effect && effect->user) self = static_cast<PluginInstance*>(effect->user);
  if (self == nullptr) self = t_loading;
  if (opcode == vst::audioMasterVersion) return 2400;
  if (self == nullptr) return 0;
  return self->HandleCallback(opcode, index, value, ptr, opt);
}

intptr_t PluginInstance::HandleCallback(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                        float opt) {
  (void)value;
  if (observer_) observer_(opcode, index, opt);
  switch (opcode) {
    case vst::audioMasterAutomate:
      log_.automations.emplace_back(index, opt);
      return 1;
    case vst::audioMasterVersion:
      return 2400;
    case vst::audioMasterWantMidi:
      ++log_.wantMidiCalls;
      return 1;
    case vst::audioMasterGetTime:
      ++log_.getTimeCalls;
      if (tempo_ > 0.0) {
        timeInfo_ = VstTimeInfo{};
        timeInfo_.sampleRate = sampleRate_;
        timeInfo_.tempo = tempo_;
        timeInfo_.flags = vst::kVstTempoValid;
        return reinterpret_cast<intptr_t>(&timeInfo_);
      }
      return 0;
    case vst::audioMasterGetProductString:
      if (ptr) {
        const size_t n = std::min(product_.size(), kTextBufferSize - 1);
        std::memcpy(ptr, product_.data(), n);
        static_cast<char*>(ptr)[n] = 0;
        return 1;
      }
      return 0;
    case vst::audioMasterGetVendorVersion:
      return vendorVersion_;
    case vst::audioMasterUpdateDisplay:
      ++log_.updateDisplayCalls;
      return 1;
    case vst::audioMasterBeginEdit:
      log_.beginEdits.push_back(index);
      return 1;
    case vst::audioMasterEndEdit:
      log_.endEdits.push_back(index);
      return 1;
    default:
      return 0;
  }
}

void PluginInstance::SetSampleRate(double rate) {
  sampleRate_ = rate;
  Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void PluginInstance::SetBlockSize(int frames) { Dispatch(vst::effSetBlockSize, 0, frames); }
void PluginInstance::Resume() { Dispatch(vst::effMainsChanged, 0, 1); }
void PluginInstance::Suspend() { Dispatch(vst::effMainsChanged, 0, 0); }
int PluginInstance::NumParams() const { return effect_ ? effect_->numParams : 0; }
int PluginInstance::NumPrograms() const { return effect_ ? effect_->numPrograms : 0; }
std::string PluginInstance::ParamName(int index) { return DispatchText(*this, vst::effGetParamName, index); }
std::string PluginInstance::ParamLabel(int index) { return DispatchText(*this, vst::effGetParamLabel, index); }
std::string PluginInstance::ParamDisplay(int index) { return DispatchText(*this, vst::effGetParamDisplay, index); }

float PluginInstance::GetParameter(int index) {
  return effect_ && effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

void PluginInstance::SetParameter(int index, float normalised) {
  if (effect_ && effect_->setParameter) effect_->setParameter(effect_, index, normalised);
}

bool PluginInstance::SetParameterText(int index, const std::string& text) {
  std::string copy = text;
  return Dispatch(vst::effString2Parameter, index, 0, &copy[0]) != 0;
}

int PluginInstance::FindParam(const std::string& name) {
  for (int i = 0; i < NumParams(); ++i)
    if (ParamName(i) == name) return i;
  return -1;
}

std::string PluginInstance::ProgramName(int index) {
  return DispatchText(*this, vst::effGetProgramNameIndexed, index);
}

int PluginInstance::GetProgram() { return static_cast<int>(Dispatch(vst::effGetProgram)); }
void PluginInstance::SetProgram(int index) { Dispatch(vst::effSetProgram, 0, index); }
std::string PluginInstance::EffectName() { return DispatchText(*this, vst::effGetEffectName, 0); }
std::string PluginInstance::VendorString() { return DispatchText(*this, vst::effGetVendorString, 0); }

std::vector<uint8_t> PluginInstance::GetChunk(bool bank) {
  void* data = nullptr;
  const intptr_t n = Dispatch(vst::effGetChunk, bank ? 0 : 1, 0, &data);
  if (n <= 0 || data == nullptr) return {};
  const auto* p = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(p, p + n);
}

bool PluginInstance::SetChunk(const std::vector<uint8_t>& bytes, bool bank) {
  uint8_t empty = 0;
  void* data = bytes.empty() ? &empty : const_cast<uint8_t*>(bytes.data());
  return Dispatch(vst::effSetChunk, bank ? 0 : 1, static_cast<intptr_t>(bytes.size()), data) != 0;
}

void PluginInstance::SendMidi(const std::vector<MidiEvent>& events) {
  PrepareMidi(events);
  SendPreparedMidi();
}

void PluginInstance::SendPreparedMidi() {
  if (!eventStorage_.empty()) Dispatch(vst::effProcessEvents, 0, 0, eventStorage_.data());
}

void PluginInstance::PrepareMidi(const std::vector<MidiEvent>& events) {
  const size_t n = events.size();
  const size_t header = offsetof(VstEvents, events);
  const size_t pointers = std::max<size_t>(n, 2) * sizeof(VstEvent*);
  const size_t records = (header + pointers + 15) / 16 * 16;
  eventStorage_.assign(records + n * sizeof(VstMidiEvent) + 16, 0);
  uint8_t* base = eventStorage_.data();
  auto* list = reinterpret_cast<VstEvents*>(base);
  auto* midi = reinterpret_cast<VstMidiEvent*>(base + records);
  list->numEvents = static_cast<int32_t>(n);
  auto** slots = reinterpret_cast<VstEvent**>(base + header);
  for (size_t i = 0; i < n; ++i) {
    VstMidiEvent& m = midi[i];
    m.type = vst::kVstMidiType;
    m.byteSize = sizeof(VstMidiEvent);
    m.deltaFrames = events[i].deltaFrames;
    for (int b = 0; b < 3; ++b) m.midiData[b] = static_cast<char>(events[i].bytes[b]);
    slots[i] = reinterpret_cast<VstEvent*>(&m);
  }
}

void PluginInstance::PrepareInputs(int frames) {
  const size_t n = frames > 0 ? static_cast<size_t>(frames) : 0;
  if (silenceDouble_.size() < n) silenceDouble_.assign(n, 0.0);
  if (silenceFloat_.size() < n) silenceFloat_.assign(n, 0.0f);
  const size_t channels = static_cast<size_t>(std::max(effect_->numInputs, 1));
  inputsDouble_.assign(channels, silenceDouble_.data());
  inputsFloat_.assign(channels, silenceFloat_.data());
}

void PluginInstance::ProcessDouble(double** outputs, int frames) {
  if (!effect_ || !effect_->processDoubleReplacing) return;
  PrepareInputs(frames);
  effect_->processDoubleReplacing(effect_, inputsDouble_.data(), outputs, frames);
}

void PluginInstance::ProcessFloat(float** outputs, int frames) {
  if (!effect_ || !effect_->processReplacing) return;
  PrepareInputs(frames);
  effect_->processReplacing(effect_, inputsFloat_.data(), outputs, frames);
}

void PluginInstance::ProcessAccumulate(float** outputs, int frames) {
  if (!effect_ || !effect_->process) return;
  PrepareInputs(frames);
  effect_->process(effect_, inputsFloat_.data(), outputs, frames);
}

}  // namespace host
}  // namespace morvanta
