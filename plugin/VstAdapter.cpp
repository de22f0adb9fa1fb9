// The VST2 host adapter: the effect record, the dispatcher, the parameter and
// audio callbacks, and the host-side hooks reached through the host callback.
#include "plugin/VstAdapter.h"

#include <xmmintrin.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

namespace morvanta {

namespace {

using Guard = std::lock_guard<InstanceLock>;

constexpr int32_t kIdentifyAnswer = 0x4E764566;  // 'NvEf'
constexpr intptr_t kVendorSpecificAnswer = 0xBEEF;
constexpr intptr_t kCockosAnswer = 0xBEEF0000;
constexpr int32_t kVstVersion = 2400;
constexpr int kMaxBlockSize = 1 << 20;
// Rates outside this range are refused: below 8 kHz the delay's shortest
// echoes and the reverb lose their stability, above 1 MHz the lines would
// ask for absurd amounts of memory.
constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 1.0e6;
constexpr size_t kNameBufferSize = 32;     // parameter names, labels, displays
constexpr size_t kIdentityBufferSize = 128;
constexpr size_t kProgramNameBufferSize = 256;
constexpr size_t kKeyNameBufferSize = 64;
constexpr uint32_t kFlushDenormals = 0x8000 | 0x0040;  // MXCSR FTZ | DAZ

void CopyText(void* dst, size_t dstSize, const char* src) {
  auto* out = static_cast<char*>(dst);
  const size_t n = src ? strnlen(src, dstSize - 1) : 0;
  if (n) std::memcpy(out, src, n);
  out[n] = 0;
}

int32_t SpeakerArrangementType(int channels) {
  switch (channels) {
    case 0: return vst::kSpeakerArrEmpty;
    case 1: return vst::kSpeakerArrMono;
    case 2: return vst::kSpeakerArrStereo;
    default: return vst::kSpeakerArrUserDefined;
  }
}

// Flush-to-zero and denormals-are-zero for the length of an audio callback;
// the host's own setting comes back afterwards.
class DenormalGuard {
 public:
  DenormalGuard() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushDenormals); }
  ~DenormalGuard() { _mm_setcsr(saved_); }
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
  unsigned int saved_;
};

struct HostName {
  const char* text;
  int kind;
};

constexpr HostName kHostNames[] = {
    {"cubase", 3},      {"reaper", 1},     {"nuendo", 4},     {"cakewalk", 5},
    {"samplitude", 8},  {"fruity", 7},     {"live", 9},       {"melodyne", 12},
    {"vstmanlib", 13},  {"aulab", 14},     {"garageband", 22}, {"forte", 15},
    {"chainer", 16},    {"audition", 17},  {"orion", 18},     {"sawstudio", 20},
    {"logic", 21},      {"digital", 23},   {"audiomulch", 25}, {"presonus", 26},
    {"vst3plugintesthost", 27}, {"protools", 2}, {"ardour", 28}, {"openmpt", 30},
    {"renoise", 29},    {"standalone", 24},
};

}  // namespace

VstAdapter::VstAdapter(const Identity& id, HostCallback host) : PluginCore(id), host_(host) {
  effect_.magic = vst::kEffectMagic;
  effect_.dispatcher = &VSTDispatcher;
  effect_.process = &VSTProcess;
  effect_.setParameter = &VSTSetParameter;
  effect_.getParameter = &VSTGetParameter;
  effect_.numPrograms = NumPresets();
  effect_.numParams = NumParams();
  effect_.numInputs = NumInputs();
  effect_.numOutputs = NumOutputs();
  effect_.flags = vst::effFlagsCanReplacing | vst::effFlagsCanDoubleReplacing;
  if (isInstrument_) effect_.flags |= vst::effFlagsIsSynth;
  effect_.initialDelay = latency_;
  effect_.ioRatio = 1.0f;
  effect_.object = this;
  effect_.uniqueID = id.uniqueId;
  effect_.version = (id.version >> 16 & 0xFF) * 10000 + (id.version >> 8 & 0xFF) * 100 +
                    (id.version & 0xFF);
  effect_.processReplacing = &VSTProcessReplacing;
  effect_.processDoubleReplacing = &VSTProcessDoubleReplacing;

  inputArrangement_.type = SpeakerArrangementType(NumInputs());
  inputArrangement_.numChannels = NumInputs();
  outputArrangement_.type = SpeakerArrangementType(NumOutputs());
  outputArrangement_.numChannels = NumOutputs();

  for (ChannelSlot& c : inputs_) c.connected = true;
  for (ChannelSlot& c : outputs_) c.connected = true;
  ResizeBlockBuffers(1024);
}

VstAdapter::~VstAdapter() { effect_.object = nullptr; }

VstAdapter* VstAdapter::FromEffect(AEffect* effect) {
  return effect ? static_cast<VstAdapter*>(effect->object) : nullptr;
}

void VstAdapter::FinishConstruction() {
  Guard g(lock_);
  effect_.numPrograms = std::max(NumPresets(), 1);
}

intptr_t VstAdapter::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                              float opt) {
  return host_ ? host_(&effect_, opcode, index, value, ptr, opt) : 0;
}

// ---- Host-side hooks -------------------------------------------------------

void VstAdapter::BeginHostEdit(int index) { CallHost(vst::audioMasterBeginEdit, index); }

void VstAdapter::NotifyHostAutomation(int index, double x) {
  CallHost(vst::audioMasterAutomate, index, 0, nullptr, static_cast<float>(x));
}

void VstAdapter::EndHostEdit(int index) { CallHost(vst::audioMasterEndEdit, index); }

void VstAdapter::RequestHostDisplayUpdate() { CallHost(vst::audioMasterUpdateDisplay); }

double VstAdapter::HostTempo() {
  const intptr_t r = CallHost(vst::audioMasterGetTime, 0, vst::kVstTempoValid);
  const auto* info = reinterpret_cast<const VstTimeInfo*>(r);
  if (info == nullptr || (info->flags & vst::kVstTempoValid) == 0) return 0.0;
  const double tempo = info->tempo;
  return std::isfinite(tempo) && tempo >= 0.0 ? tempo : 0.0;
}

int VstAdapter::HostKind() {
  if (hostKind_ >= 0) return hostKind_;
  char product[kProgramNameBufferSize + 1] = {};
  CallHost(vst::audioMasterGetProductString, 0, 0, product);
  product[kProgramNameBufferSize - 1] = 0;
  int kind = 0;
  if (product[0] != 0) {
    const intptr_t raw = CallHost(vst::audioMasterGetVendorVersion);
    const int64_t v = raw < 0 ? 0 : static_cast<int64_t>(raw);
    hostVersion_ = static_cast<int>(((v / 10000) << 16 | ((v % 10000) / 100) << 8 | (v % 100)) &
                                    0x7FFFFFFF);
    for (char& ch : product) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    for (const HostName& h : kHostNames) {
      if (std::strstr(product, h.text) != nullptr) {
        kind = h.kind;
        break;
      }
    }
  }
  hostKind_ = kind;
  return hostKind_;
}

void VstAdapter::IdentifyHostOnce() {
  if (hostIdentified_) return;
  hostIdentified_ = true;
  const int kind = HostKind();
  if (kind == 15 || kind == 17 || kind == 18 || kind == 20) {
    for (int i = 2; i < NumInputs(); ++i) inputs_[i].connected = false;
  }
  effect_.numInputs = NumInputs();
  effect_.numOutputs = NumOutputs();
  inputArrangement_.numChannels = NumInputs();
  outputArrangement_.numChannels = NumOutputs();
}

void VstAdapter::AttachEditor(std::unique_ptr<EditorLink> editor) {
  Guard g(lock_);
  PluginCore::AttachEditor(std::move(editor));
  if (editor_) {
    effect_.flags |= vst::effFlagsHasEditor;
    editRect_.top = 0;
    editRect_.left = 0;
    editRect_.bottom = static_cast<int16_t>(std::clamp(editor_->Height(), 0, 32767));
    editRect_.right = static_cast<int16_t>(std::clamp(editor_->Width(), 0, 32767));
  } else {
    effect_.flags &= ~vst::effFlagsHasEditor;
  }
}

// ---- Parameter callbacks ---------------------------------------------------

void VstAdapter::SetParameterFromHost(int index, float x) {
  Guard g(lock_);
  PlugParameter* p = ParameterAt(index);
  if (p == nullptr || std::isnan(x)) return;
  const double v = std::clamp(static_cast<double>(x), 0.0, 1.0);
  if (editor_) editor_->ParameterDisplayUpdate(index, v, true);
  p->SetFromNormalized(v);
  ParameterChanged(index);
}

float VstAdapter::GetParameterForHost(int index) {
  Guard g(lock_);
  const PlugParameter* p = ParameterAt(index);
  return p ? static_cast<float>(p->NormalizedValue()) : 0.0f;
}

void VstAdapter::VSTSetParameter(AEffect* effect, int32_t index, float value) {
  try {
    if (VstAdapter* a = FromEffect(effect)) a->SetParameterFromHost(index, value);
  } catch (...) {
  }
}

float VstAdapter::VSTGetParameter(AEffect* effect, int32_t index) {
  try {
    if (VstAdapter* a = FromEffect(effect)) return a->GetParameterForHost(index);
  } catch (...) {
  }
  return 0.0f;
}

// ---- Dispatcher ------------------------------------------------------------

intptr_t VstAdapter::VSTDispatcher(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                   void* ptr, float opt) {
  try {
    VstAdapter* a = FromEffect(effect);
    if (a == nullptr) return 0;
    if (opcode == vst::effClose) {
      { Guard g(a->lock_); }
      delete a;
      return 0;
    }
    return a->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

intptr_t VstAdapter::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                              float opt) {
  Guard g(lock_);
  const bool validParam = index >= 0 && index < NumParams();
  switch (opcode) {
    case vst::effOpen:
      IdentifyHostOnce();
      for (int i = 0; i < NumParams(); ++i) ParameterChanged(i);
      return 0;
    case vst::effSetProgram:
      ModifyCurrentPreset(nullptr);
      LoadPreset(value >= 0 && value < NumPresets() ? static_cast<int>(value) : -1);
      return 0;
    case vst::effGetProgram:
      return currentPreset_;
    case vst::effSetProgramName:
      if (ptr) {
        ModifyCurrentPreset(static_cast<const char*>(ptr));
        OnPresetRestored();
      }
      return 0;
    case vst::effGetProgramName:
      if (ptr) CopyText(ptr, kProgramNameBufferSize, PresetName(currentPreset_));
      return 0;
    case vst::effGetParamLabel:
      if (ptr && validParam) CopyText(ptr, kNameBufferSize, params_[index].UnitLabel());
      return 0;
    case vst::effGetParamDisplay:
      if (ptr && validParam) {
        const PlugParameter& p = params_[index];
        p.FormatValue(p.value, false, static_cast<char*>(ptr), kNameBufferSize, true);
      }
      return 0;
    case vst::effGetParamName:
      if (ptr && validParam) CopyText(ptr, kNameBufferSize, params_[index].name);
      return 0;
    case vst::effSetSampleRate: {
      const double rate = opt;
      if (!(rate >= kMinSampleRate) || !(rate <= kMaxSampleRate)) return 0;
      SetSampleRate(rate);
      Reset();
      return 0;
    }
    case vst::effSetBlockSize:
      if (value <= 0 || value > kMaxBlockSize) return 0;
      try {
        ResizeBlockBuffers(static_cast<int>(value));
      } catch (const std::bad_alloc&) {
        return 0;
      }
      Reset();
      return 0;
    case vst::effMainsChanged:
      if (value != 0) {
        SetActive(true);
      } else {
        SetActive(false);
        Reset();
      }
      return 0;
    case vst::effEditGetRect:
      if (ptr && editor_) {
        *static_cast<ERect**>(ptr) = &editRect_;
        return 1;
      }
      return 0;
    case vst::effEditOpen:
      if (editor_ && editor_->Open(ptr)) {
        EditorOpened();
        return 1;
      }
      return 0;
    case vst::effEditClose:
      if (editor_) {
        EditorClosed();
        editor_->Close();
        return 1;
      }
      return 0;
    case vst::effEditIdle:
    case vst::effIdle:
      return 0;
    case vst::effIdentify:
      return kIdentifyAnswer;
    case vst::effGetChunk:
      return ptr ? GetChunk(index == 0, static_cast<void**>(ptr)) : 0;
    case vst::effSetChunk:
      return ptr ? SetChunk(index == 0, ptr, value) : 0;
    case vst::effProcessEvents:
      return ProcessEvents(static_cast<const VstEvents*>(ptr));
    case vst::effCanBeAutomated:
      return 1;
    case vst::effString2Parameter:
      return StringToParameter(index, static_cast<const char*>(ptr));
    case vst::effGetProgramNameIndexed:
      if (ptr) {
        const char* name = PresetName(index);
        CopyText(ptr, kProgramNameBufferSize, name);
        return name[0] != 0 ? 1 : 0;
      }
      return 0;
    case vst::effGetInputProperties:
      return PinProperties(false, index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetOutputProperties:
      return PinProperties(true, index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetPlugCategory:
      return isInstrument_ ? vst::kPlugCategSynth : vst::kPlugCategEffect;
    case vst::effProcessVarIo:
      return 0;
    case vst::effSetSpeakerArrangement:
      SetSpeakerArrangement(false, reinterpret_cast<const VstSpeakerArrangement*>(value));
      SetSpeakerArrangement(true, static_cast<const VstSpeakerArrangement*>(ptr));
      return 1;
    case vst::effGetEffectName:
      if (!ptr) return 0;
      CopyText(ptr, kIdentityBufferSize, identity_.effectName);
      return 1;
    case vst::effGetVendorString:
      if (!ptr) return 0;
      CopyText(ptr, kIdentityBufferSize, identity_.vendorName);
      return 1;
    case vst::effGetProductString:
      if (!ptr) return 0;
      CopyText(ptr, kIdentityBufferSize, identity_.productName);
      return 1;
    case vst::effGetVendorVersion:
      return effect_.version;
    case vst::effVendorSpecific:
      if (index == 7 && ptr) {
        if (value >= 0 && value < NumParams()) {
          params_[value].FormatValue(opt, true, static_cast<char*>(ptr), kNameBufferSize, true);
        }
        return kVendorSpecificAnswer;
      }
      if (index == 8 && value >= 0 && value < NumParams() &&
          params_[value].kind != ParameterKind::Double) {
        return kVendorSpecificAnswer;
      }
      return 0;
    case vst::effCanDo:
      return CanDo(static_cast<const char*>(ptr));
    case vst::effGetTailSize:
      return tailSize_;
    case vst::effGetVstVersion:
      return kVstVersion;
    case vst::effGetMidiKeyName: {
      if (!ptr) return 0;
      auto* key = static_cast<MidiKeyName*>(ptr);
      char name[kKeyNameBufferSize] = {};
      const bool named = MidiNoteName(key->thisKeyNumber, name);
      CopyText(key->keyName, sizeof key->keyName, named ? name : "");
      return named ? 1 : 0;
    }
    case vst::effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &inputArrangement_;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &outputArrangement_;
      return 1;
    default:
      return 0;
  }
}

intptr_t VstAdapter::CanDo(const char* text) const {
  if (text == nullptr) return 0;
  if (std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
  if (std::strcmp(text, "sendVstEvents") == 0 || std::strcmp(text, "sendVstMidiEvent") == 0 ||
      std::strcmp(text, "receiveVstEvents") == 0 ||
      std::strcmp(text, "receiveVstMidiEvent") == 0) {
    return receivesMidi_ ? 1 : 0;
  }
  if (std::strcmp(text, "hasCockosExtensions") == 0 ||
      std::strcmp(text, "hasCockosViewAsConfig") == 0) {
    return kCockosAnswer;
  }
  return 0;
}

intptr_t VstAdapter::StringToParameter(int index, const char* text) {
  PlugParameter* p = ParameterAt(index);
  if (p == nullptr) return 0;
  if (text == nullptr) return 1;
  double v = 0.0;
  if (!p->ParseText(text, &v)) return 0;
  if (std::isnan(v)) return 1;
  if (editor_) editor_->ParameterDisplayUpdate(index, v, false);
  p->SetClamped(v);
  ParameterChanged(index);
  return 1;
}

bool VstAdapter::PinProperties(bool output, int index, VstPinProperties* props) {
  const std::vector<ChannelSlot>& side = output ? outputs_ : inputs_;
  const int n = static_cast<int>(side.size());
  if (props == nullptr || index < 0 || index >= n) return false;
  int32_t flags = vst::kVstPinIsActive;
  if (index % 2 == 0 && index < n - 1) flags |= vst::kVstPinIsStereo;
  props->flags = flags;
  const char* label = side[index].label;
  if (label[0] != 0) {
    CopyText(props->label, sizeof props->label, label);
  } else {
    char text[sizeof props->label] = {};
    const char* prefix = output ? "Output " : "Input ";
    const size_t len = std::strlen(prefix);
    std::memcpy(text, prefix, len);
    *std::to_chars(text + len, text + sizeof text - 1, index + 1).ptr = 0;
    CopyText(props->label, sizeof props->label, text);
  }
  return true;
}

void VstAdapter::SetSpeakerArrangement(bool output, const VstSpeakerArrangement* arr) {
  if (arr == nullptr) return;
  std::vector<ChannelSlot>& side = output ? outputs_ : inputs_;
  const int n = static_cast<int>(side.size());
  const int k = std::clamp(arr->numChannels, 0, n);
  for (int i = 0; i < n; ++i) {
    ChannelSlot& c = side[i];
    c.connected = i < k;
    if (!c.connected) *c.bufferSlot = c.conversion.data();
  }
}

intptr_t VstAdapter::GetChunk(bool bank, void** data) {
  StateChunk& chunk = bank ? bankChunk_ : programChunk_;
  WriteHeader(chunk);
  bool ok;
  if (bank) {
    ModifyCurrentPreset(nullptr);
    ok = SerializePresets(chunk);
  } else {
    ok = WriteState(chunk);
  }
  if (!ok || chunk.Size() <= 0) return 0;
  *data = chunk.Data();
  return chunk.Size();
}

intptr_t VstAdapter::SetChunk(bool bank, const void* data, intptr_t size) {
  if (size < 0 || size > INT32_MAX) return 0;
  StateChunk& chunk = bank ? bankChunk_ : programChunk_;
  chunk.Assign(data, static_cast<int>(size));
  int32_t version = 0;
  int pos = ReadHeader(chunk, 0, &version);
  if (bank && version >= kChunkVersion) {
    pos = UnserializePresets(chunk, pos);
  } else {
    pos = ReadState(chunk, pos);
    ModifyCurrentPreset(nullptr);
  }
  if (pos < 0) return 0;
  RefreshEditorControls();
  return 1;
}

intptr_t VstAdapter::ProcessEvents(const VstEvents* events) {
  if (events == nullptr) return 0;
  for (int32_t i = 0; i < events->numEvents; ++i) {
    const VstEvent* e = events->events[i];
    if (e == nullptr) continue;
    if (e->type == vst::kVstMidiType) {
      const auto* m = reinterpret_cast<const VstMidiEvent*>(e);
      MidiReceived(m->deltaFrames, static_cast<uint8_t>(m->midiData[0]),
                   static_cast<uint8_t>(m->midiData[1]), static_cast<uint8_t>(m->midiData[2]));
    } else if (e->type == vst::kVstSysExType) {
      const auto* s = reinterpret_cast<const VstMidiSysexEvent*>(e);
      const bool usable = s->sysexDump != nullptr && s->dumpBytes > 0;
      SysExReceived(s->deltaFrames, usable ? s->dumpBytes : 0,
                    usable ? reinterpret_cast<const uint8_t*>(s->sysexDump) : nullptr);
    }
  }
  return 1;
}

// ---- Audio callbacks -------------------------------------------------------

void VstAdapter::VSTProcess(AEffect* effect, float** inputs, float** outputs, int32_t frames) {
  DenormalGuard denormals;
  try {
    if (VstAdapter* a = FromEffect(effect)) a->ProcessFloat(inputs, outputs, frames, true);
  } catch (...) {
  }
}

void VstAdapter::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                     int32_t frames) {
  DenormalGuard denormals;
  try {
    if (VstAdapter* a = FromEffect(effect)) a->ProcessFloat(inputs, outputs, frames, false);
  } catch (...) {
  }
}

void VstAdapter::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                           int32_t frames) {
  DenormalGuard denormals;
  try {
    if (VstAdapter* a = FromEffect(effect)) a->ProcessDouble(inputs, outputs, frames);
  } catch (...) {
  }
}

// A host block longer than the announced block size is rendered in slices of
// the block size, so every buffer the instrument sees is as long as announced.
void VstAdapter::ProcessDouble(double** inputs, double** outputs, int32_t frames) {
  InstanceLock::AudioGuard g(lock_);
  if (receivesMidi_) CallHost(vst::audioMasterWantMidi);
  if (frames <= 0 || blockSize_ <= 0) return;
  for (int offset = 0; offset < frames; offset += blockSize_) {
    const int n = std::min(blockSize_, frames - offset);
    int next = 0;
    for (ChannelSlot& c : inputs_) {
      double* host = nullptr;
      if (c.connected) {
        host = inputs ? inputs[next] : nullptr;
        ++next;
      }
      *c.bufferSlot = host ? host + offset : c.conversion.data();
      if (!host) std::fill(c.conversion.begin(), c.conversion.end(), 0.0);
    }
    next = 0;
    for (ChannelSlot& c : outputs_) {
      double* host = nullptr;
      if (c.connected) {
        host = outputs ? outputs[next] : nullptr;
        ++next;
      }
      *c.bufferSlot = host ? host + offset : c.conversion.data();
    }
    RenderBlock(inputPtrs_.data(), outputPtrs_.data(), n);
  }
}

void VstAdapter::ProcessFloat(float** inputs, float** outputs, int32_t frames, bool accumulate) {
  InstanceLock::AudioGuard g(lock_);
  if (receivesMidi_) CallHost(vst::audioMasterWantMidi);
  if (frames <= 0 || blockSize_ <= 0) return;
  for (int offset = 0; offset < frames; offset += blockSize_)
    RenderFloatSlice(inputs, outputs, offset, std::min(blockSize_, frames - offset), accumulate);
}

void VstAdapter::RenderFloatSlice(float** inputs, float** outputs, int offset, int frames,
                                  bool accumulate) {
  int next = 0;
  for (ChannelSlot& c : inputs_) {
    const float* host = nullptr;
    if (c.connected) {
      host = inputs ? inputs[next] : nullptr;
      ++next;
    }
    double* conv = c.conversion.data();
    if (host) {
      for (int i = 0; i < frames; ++i) conv[i] = host[offset + i];
    } else {
      std::fill(c.conversion.begin(), c.conversion.begin() + frames, 0.0);
    }
    *c.bufferSlot = conv;
  }
  next = 0;
  for (ChannelSlot& c : outputs_) {
    float* host = nullptr;
    if (c.connected) {
      host = outputs ? outputs[next] : nullptr;
      ++next;
    }
    c.floatDestination = host ? host + offset : nullptr;
    *c.bufferSlot = c.conversion.data();
  }
  RenderBlock(inputPtrs_.data(), outputPtrs_.data(), frames);
  for (ChannelSlot& c : outputs_) {
    float* dst = c.floatDestination;
    if (dst == nullptr) continue;
    const double* conv = c.conversion.data();
    if (accumulate) {
      for (int i = 0; i < frames; ++i) dst[i] = dst[i] + static_cast<float>(conv[i]);
    } else {
      for (int i = 0; i < frames; ++i) dst[i] = static_cast<float>(conv[i]);
    }
    c.floatDestination = nullptr;
  }
}

}  // namespace morvanta
