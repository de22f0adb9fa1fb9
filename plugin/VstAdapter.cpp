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
  HostId kind;
};

// Tested in this order; the first substring found names the host.
constexpr HostName kHostNames[] = {
    {"cubase", kHostCubase},         {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},         {"cakewalk", kHostCakewalk},
    {"samplitude", kHostSamplitude}, {"fruity", kHostFruity},
    {"live", kHostLive},             {"melodyne", kHostMelodyne},
    {"vstmanlib", kHostVstManLib},   {"aulab", kHostAuLab},
    {"garageband", kHostGarageBand}, {"forte", kHostForte},
    {"chainer", kHostChainer},       {"audition", kHostAudition},
    {"orion", kHostOrion},           {"sawstudio", kHostSawStudio},
    {"logic", kHostLogic},           {"digital", kHostDigital},
    {"audiomulch", kHostAudioMulch}, {"presonus", kHostPreSonus},
    {"vst3plugintesthost", kHostVst3TestHost}, {"protools", kHostProTools},
    {"ardour", kHostArdour},         {"openmpt", kHostOpenMpt},
    {"renoise", kHostRenoise},       {"standalone", kHostStandalone},
};

// Hosts that offer a plug-in at most a stereo input.
bool LimitsToStereoInput(int kind) {
  return kind == kHostForte || kind == kHostAudition || kind == kHostOrion ||
         kind == kHostSawStudio;
}

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
  if (IsInstrument()) effect_.flags |= vst::effFlagsIsSynth;
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

  for (ChannelSlot& c : InputSlots()) c.connected = true;
  for (ChannelSlot& c : OutputSlots()) c.connected = true;
  ResizeBlockBuffers(1024);
}

VstAdapter::~VstAdapter() { effect_.object = nullptr; }

VstAdapter* VstAdapter::FromEffect(AEffect* effect) {
  return effect ? static_cast<VstAdapter*>(effect->object) : nullptr;
}

void VstAdapter::FinishConstruction() {
  Guard g(Lock());
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
  int kind = kHostUnknown;
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
  if (LimitsToStereoInput(kind)) {
    for (int i = 2; i < NumInputs(); ++i) InputSlots()[i].connected = false;
  }
  effect_.numInputs = NumInputs();
  effect_.numOutputs = NumOutputs();
  inputArrangement_.numChannels = NumInputs();
  outputArrangement_.numChannels = NumOutputs();
}

void VstAdapter::AttachEditor(std::unique_ptr<EditorLink> editor) {
  Guard g(Lock());
  PluginCore::AttachEditor(std::move(editor));
  if (Editor()) {
    effect_.flags |= vst::effFlagsHasEditor;
    editRect_.top = 0;
    editRect_.left = 0;
    editRect_.bottom = static_cast<int16_t>(std::clamp(Editor()->Height(), 0, 32767));
    editRect_.right = static_cast<int16_t>(std::clamp(Editor()->Width(), 0, 32767));
  } else {
    effect_.flags &= ~vst::effFlagsHasEditor;
  }
}

// ---- Parameter callbacks ---------------------------------------------------

void VstAdapter::SetParameterFromHost(int index, float x) {
  Guard g(Lock());
  PlugParameter* p = ParameterAt(index);
  if (p == nullptr || std::isnan(x)) return;
  const double v = std::clamp(static_cast<double>(x), 0.0, 1.0);
  if (Editor()) Editor()->ParameterDisplayUpdate(index, v, true);
  p->SetFromNormalized(v);
  ParameterChanged(index);
}

float VstAdapter::GetParameterForHost(int index) {
  Guard g(Lock());
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
      { Guard g(a->Lock()); }
      delete a;
      return 0;
    }
    return a->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

// Each group answers the opcodes it knows and leaves the rest to the next.
intptr_t VstAdapter::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                              float opt) {
  Guard g(Lock());
  const Request r{opcode, index, value, ptr, opt};
  intptr_t answer = 0;
  if (DispatchSetup(r, &answer) || DispatchPrograms(r, &answer) || DispatchParameters(r, &answer) ||
      DispatchEditor(r, &answer) || DispatchIdentity(r, &answer)) {
    return answer;
  }
  return 0;
}

// Opening, rate and block size, activation, events and the channel layout.
bool VstAdapter::DispatchSetup(const Request& r, intptr_t* answer) {
  switch (r.opcode) {
    case vst::effOpen:
      IdentifyHostOnce();
      for (int i = 0; i < NumParams(); ++i) ParameterChanged(i);
      return true;
    case vst::effSetSampleRate: {
      const double rate = r.opt;
      if (!(rate >= kMinSampleRate) || !(rate <= kMaxSampleRate)) return true;
      SetSampleRate(rate);
      Reset();
      return true;
    }
    case vst::effSetBlockSize:
      if (r.value <= 0 || r.value > kMaxBlockSize) return true;
      try {
        ResizeBlockBuffers(static_cast<int>(r.value));
      } catch (const std::bad_alloc&) {
        return true;
      }
      Reset();
      return true;
    case vst::effMainsChanged:
      SetActive(r.value != 0);
      if (r.value == 0) Reset();
      return true;
    case vst::effProcessEvents:
      *answer = ProcessEvents(static_cast<const VstEvents*>(r.ptr));
      return true;
    case vst::effGetInputProperties:
      *answer = PinProperties(false, r.index, static_cast<VstPinProperties*>(r.ptr)) ? 1 : 0;
      return true;
    case vst::effGetOutputProperties:
      *answer = PinProperties(true, r.index, static_cast<VstPinProperties*>(r.ptr)) ? 1 : 0;
      return true;
    case vst::effSetSpeakerArrangement:
      SetSpeakerArrangement(false, reinterpret_cast<const VstSpeakerArrangement*>(r.value));
      SetSpeakerArrangement(true, static_cast<const VstSpeakerArrangement*>(r.ptr));
      *answer = 1;
      return true;
    case vst::effGetSpeakerArrangement:
      if (r.value) *reinterpret_cast<VstSpeakerArrangement**>(r.value) = &inputArrangement_;
      if (r.ptr) *static_cast<VstSpeakerArrangement**>(r.ptr) = &outputArrangement_;
      *answer = 1;
      return true;
    case vst::effProcessVarIo:
    case vst::effGetTailSize:
    case vst::effIdle:
      return true;
    default:
      return false;
  }
}

// Program slots, their names and the state chunks.
bool VstAdapter::DispatchPrograms(const Request& r, intptr_t* answer) {
  switch (r.opcode) {
    case vst::effSetProgram:
      ModifyCurrentPreset(nullptr);
      LoadPreset(r.value >= 0 && r.value < NumPresets() ? static_cast<int>(r.value) : -1);
      return true;
    case vst::effGetProgram:
      *answer = CurrentPresetIndex();
      return true;
    case vst::effSetProgramName:
      if (r.ptr) {
        ModifyCurrentPreset(static_cast<const char*>(r.ptr));
        OnPresetRestored();
      }
      return true;
    case vst::effGetProgramName:
      if (r.ptr) CopyText(r.ptr, kProgramNameBufferSize, PresetName(CurrentPresetIndex()));
      return true;
    case vst::effGetProgramNameIndexed:
      if (r.ptr) {
        const char* name = PresetName(r.index);
        CopyText(r.ptr, kProgramNameBufferSize, name);
        *answer = name[0] != 0 ? 1 : 0;
      }
      return true;
    case vst::effGetChunk:
      *answer = r.ptr ? GetChunk(r.index == 0, static_cast<void**>(r.ptr)) : 0;
      return true;
    case vst::effSetChunk:
      *answer = r.ptr ? SetChunk(r.index == 0, r.ptr, r.value) : 0;
      return true;
    default:
      return false;
  }
}

// Parameter names, labels and display texts, text entry, and the
// vendor-specific display and range queries.
bool VstAdapter::DispatchParameters(const Request& r, intptr_t* answer) {
  const PlugParameter* p = ParameterAt(r.index);
  switch (r.opcode) {
    case vst::effGetParamLabel:
      if (r.ptr && p) CopyText(r.ptr, kNameBufferSize, p->UnitLabel());
      return true;
    case vst::effGetParamDisplay:
      if (r.ptr && p) p->FormatValue(p->value, false, static_cast<char*>(r.ptr), kNameBufferSize, true);
      return true;
    case vst::effGetParamName:
      if (r.ptr && p) CopyText(r.ptr, kNameBufferSize, p->name);
      return true;
    case vst::effCanBeAutomated:
      *answer = 1;
      return true;
    case vst::effString2Parameter:
      *answer = StringToParameter(r.index, static_cast<const char*>(r.ptr));
      return true;
    case vst::effVendorSpecific:
      *answer = VendorSpecific(r);
      return true;
    default:
      return false;
  }
}

// Index 7 formats a normalised value of parameter `value` into ptr; index 8
// asks whether that parameter steps (anything but a double).
intptr_t VstAdapter::VendorSpecific(const Request& r) {
  const bool inRange = r.value >= 0 && r.value < NumParams();
  const PlugParameter* p = inRange ? ParameterAt(static_cast<int>(r.value)) : nullptr;
  if (r.index == 7 && r.ptr) {
    if (p) p->FormatValue(r.opt, true, static_cast<char*>(r.ptr), kNameBufferSize, true);
    return kVendorSpecificAnswer;
  }
  if (r.index == 8 && p && p->kind != ParameterKind::Double) return kVendorSpecificAnswer;
  return 0;
}

bool VstAdapter::DispatchEditor(const Request& r, intptr_t* answer) {
  switch (r.opcode) {
    case vst::effEditGetRect:
      if (r.ptr && Editor()) {
        *static_cast<ERect**>(r.ptr) = &editRect_;
        *answer = 1;
      }
      return true;
    case vst::effEditOpen:
      if (Editor() && Editor()->Open(r.ptr)) {
        EditorOpened();
        *answer = 1;
      }
      return true;
    case vst::effEditClose:
      if (Editor()) {
        EditorClosed();
        Editor()->Close();
        *answer = 1;
      }
      return true;
    case vst::effEditIdle:
      return true;
    default:
      return false;
  }
}

// Who the plug-in is and what it can do.
bool VstAdapter::DispatchIdentity(const Request& r, intptr_t* answer) {
  const char* text = nullptr;
  switch (r.opcode) {
    case vst::effIdentify:
      *answer = kIdentifyAnswer;
      return true;
    case vst::effGetPlugCategory:
      *answer = IsInstrument() ? vst::kPlugCategSynth : vst::kPlugCategEffect;
      return true;
    case vst::effGetEffectName:
      text = Ident().effectName;
      break;
    case vst::effGetVendorString:
      text = Ident().vendorName;
      break;
    case vst::effGetProductString:
      text = Ident().productName;
      break;
    case vst::effGetVendorVersion:
      *answer = effect_.version;
      return true;
    case vst::effCanDo:
      *answer = CanDo(static_cast<const char*>(r.ptr));
      return true;
    case vst::effGetVstVersion:
      *answer = kVstVersion;
      return true;
    case vst::effGetMidiKeyName:
      *answer = r.ptr ? MidiKeyNameAnswer(static_cast<MidiKeyName*>(r.ptr)) : 0;
      return true;
    default:
      return false;
  }
  if (r.ptr == nullptr) return true;
  CopyText(r.ptr, kIdentityBufferSize, text);
  *answer = 1;
  return true;
}

intptr_t VstAdapter::MidiKeyNameAnswer(MidiKeyName* key) {
  char name[kKeyNameBufferSize] = {};
  const bool named = MidiNoteName(key->thisKeyNumber, name);
  CopyText(key->keyName, sizeof key->keyName, named ? name : "");
  return named ? 1 : 0;
}

intptr_t VstAdapter::CanDo(const char* text) const {
  if (text == nullptr) return 0;
  if (std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
  if (std::strcmp(text, "sendVstEvents") == 0 || std::strcmp(text, "sendVstMidiEvent") == 0 ||
      std::strcmp(text, "receiveVstEvents") == 0 ||
      std::strcmp(text, "receiveVstMidiEvent") == 0) {
    return ReceivesMidi() ? 1 : 0;
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
  if (Editor()) Editor()->ParameterDisplayUpdate(index, v, false);
  p->SetClamped(v);
  ParameterChanged(index);
  return 1;
}

bool VstAdapter::PinProperties(bool output, int index, VstPinProperties* props) {
  const std::vector<ChannelSlot>& side = output ? OutputSlots() : InputSlots();
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
  std::vector<ChannelSlot>& side = output ? OutputSlots() : InputSlots();
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
  InstanceLock::AudioGuard g(Lock());
  if (ReceivesMidi()) CallHost(vst::audioMasterWantMidi);
  if (frames <= 0 || BlockSize() <= 0) return;
  for (int offset = 0; offset < frames; offset += BlockSize()) {
    const int n = std::min(BlockSize(), frames - offset);
    int next = 0;
    for (ChannelSlot& c : InputSlots()) {
      double* host = nullptr;
      if (c.connected) {
        host = inputs ? inputs[next] : nullptr;
        ++next;
      }
      *c.bufferSlot = host ? host + offset : c.conversion.data();
      if (!host) std::fill(c.conversion.begin(), c.conversion.end(), 0.0);
    }
    next = 0;
    for (ChannelSlot& c : OutputSlots()) {
      double* host = nullptr;
      if (c.connected) {
        host = outputs ? outputs[next] : nullptr;
        ++next;
      }
      *c.bufferSlot = host ? host + offset : c.conversion.data();
    }
    RenderBlock(InputBuffers(), OutputBuffers(), n);
  }
}

void VstAdapter::ProcessFloat(float** inputs, float** outputs, int32_t frames, bool accumulate) {
  InstanceLock::AudioGuard g(Lock());
  if (ReceivesMidi()) CallHost(vst::audioMasterWantMidi);
  if (frames <= 0 || BlockSize() <= 0) return;
  for (int offset = 0; offset < frames; offset += BlockSize())
    RenderFloatSlice(inputs, outputs, offset, std::min(BlockSize(), frames - offset), accumulate);
}

void VstAdapter::RenderFloatSlice(float** inputs, float** outputs, int offset, int frames,
                                  bool accumulate) {
  int next = 0;
  for (ChannelSlot& c : InputSlots()) {
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
  for (ChannelSlot& c : OutputSlots()) {
    float* host = nullptr;
    if (c.connected) {
      host = outputs ? outputs[next] : nullptr;
      ++next;
    }
    c.floatDestination = host ? host + offset : nullptr;
    *c.bufferSlot = c.conversion.data();
  }
  RenderBlock(InputBuffers(), OutputBuffers(), frames);
  for (ChannelSlot& c : OutputSlots()) {
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
