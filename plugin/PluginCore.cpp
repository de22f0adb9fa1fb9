// The plug-in core: parameter records, preset slots and their chunk format,
// channel slots and the instance lock shared by the adapter and the instrument.
#include "plugin/PluginCore.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace morvanta {

namespace {

using Guard = std::lock_guard<InstanceLock>;

constexpr char kUserPresetName[] = "user preset";
constexpr int kMaxPresetNameLength = 255;

void CopyPresetName(PlugPreset& preset, const char* name) {
  const size_t n = name ? strnlen(name, kMaxPresetNameLength) : 0;
  if (n) std::memcpy(preset.name, name, n);
  preset.name[n] = 0;
}

// "a-b c-d ..." -> pairs; malformed pairs are skipped.
std::vector<std::pair<int, int>> ParseLayouts(const char* text) {
  std::vector<std::pair<int, int>> out;
  if (text == nullptr) return out;
  const char* p = text;
  const char* end = text + std::strlen(text);
  while (p < end) {
    while (p < end && *p == ' ') ++p;
    if (p >= end) break;
    int ins = 0, outs = 0;
    auto r1 = std::from_chars(p, end, ins);
    if (r1.ec == std::errc() && r1.ptr < end && *r1.ptr == '-') {
      auto r2 = std::from_chars(r1.ptr + 1, end, outs);
      if (r2.ec == std::errc() && ins >= 0 && outs >= 0 && ins <= 64 && outs <= 64) {
        out.emplace_back(ins, outs);
        p = r2.ptr;
        continue;
      }
    }
    while (p < end && *p != ' ') ++p;
  }
  return out;
}

}  // namespace

PluginCore::PluginCore(const Identity& id) : identity_(id) {
  int maxIn = 0, maxOut = 0;
  for (const auto& l : ParseLayouts(id.channelLayout)) {
    if (l.first > maxIn) maxIn = l.first;
    if (l.second > maxOut) maxOut = l.second;
  }
  params_.resize(id.numParams > 0 ? static_cast<size_t>(id.numParams) : 0);
  presets_.resize(id.numPresets > 0 ? static_cast<size_t>(id.numPresets) : 0);
  inputPtrs_.assign(static_cast<size_t>(maxIn), nullptr);
  outputPtrs_.assign(static_cast<size_t>(maxOut), nullptr);
  inputs_.resize(static_cast<size_t>(maxIn));
  outputs_.resize(static_cast<size_t>(maxOut));
  for (int i = 0; i < maxIn; ++i) inputs_[i].bufferSlot = &inputPtrs_[i];
  for (int i = 0; i < maxOut; ++i) outputs_[i].bufferSlot = &outputPtrs_[i];
}

PluginCore::~PluginCore() { editor_.reset(); }

void PluginCore::Reset() { Guard g(lock_); }

void PluginCore::ParameterChanged(int) { Guard g(lock_); }

void PluginCore::SetActive(bool) { Guard g(lock_); }

void PluginCore::MidiReceived(int32_t, uint8_t, uint8_t, uint8_t) {}

void PluginCore::RenderBlock(double** inputs, double** outputs, int frames) {
  if (outputs == nullptr || frames <= 0) return;
  for (int i = 0; i < NumOutputs(); ++i) {
    double* out = outputs[i];
    if (out == nullptr) continue;
    const double* in = (i < NumInputs() && inputs) ? inputs[i] : nullptr;
    if (in)
      std::memmove(out, in, sizeof(double) * static_cast<size_t>(frames));
    else
      std::memset(out, 0, sizeof(double) * static_cast<size_t>(frames));
  }
}

void PluginCore::SetParameterFromEditor(int index, double x) {
  Guard g(lock_);
  PlugParameter* p = ParameterAt(index);
  if (p == nullptr) return;
  p->SetFromNormalized(x);
  NotifyHostAutomation(index, x);
  ParameterChanged(index);
}

void PluginCore::AttachEditor(std::unique_ptr<EditorLink> editor) {
  Guard g(lock_);
  if (editor) {
    for (int i = 0; i < NumParams(); ++i)
      editor->ParameterDisplayUpdate(i, params_[i].NormalizedValue(), true);
  }
  editor_ = std::move(editor);
}

void PluginCore::RefreshEditorControls() {
  Guard g(lock_);
  if (!editor_) return;
  for (int i = 0; i < NumParams(); ++i) editor_->ParameterDisplayUpdate(i, params_[i].value, false);
}

void PluginCore::ResizeBlockBuffers(int frames) {
  if (frames == blockSize_ || frames < 0) return;
  for (auto* side : {&inputs_, &outputs_}) {
    for (ChannelSlot& slot : *side) slot.conversion.assign(static_cast<size_t>(frames), 0.0);
  }
  blockSize_ = frames;
}

PlugParameter* PluginCore::ParameterAt(int index) {
  return index >= 0 && index < NumParams() ? &params_[index] : nullptr;
}

const PlugParameter* PluginCore::ParameterAt(int index) const {
  return index >= 0 && index < NumParams() ? &params_[index] : nullptr;
}

bool PluginCore::SerializeParams(StateChunk& chunk) {
  Guard g(lock_);
  uint8_t* at = chunk.Grow(8 * NumParams());
  for (const PlugParameter& p : params_) at = StateChunk::EncodeDouble(at, p.value);
  return true;
}

int PluginCore::UnserializeParams(const StateChunk& chunk, int pos) {
  Guard g(lock_);
  pos = ReadParamValues(chunk, pos);
  for (int i = 0; i < NumParams(); ++i) ParameterChanged(i);
  return pos;
}

int PluginCore::ReadParamValues(const StateChunk& chunk, int pos, uint8_t* clampedOut) {
  for (int i = 0; i < NumParams() && pos >= 0; ++i) {
    PlugParameter& p = params_[i];
    double v = 0.0;
    const int next = chunk.GetDouble(pos, &v);
    if (next < 0) {
      // Cut short: what was read stays, the parameters not reached keep their values.
      pos = -1;
      break;
    }
    // A stored NaN means nothing: the parameter falls back to its default.
    p.SetClamped(std::isnan(v) ? p.def : v);
    if (clampedOut != nullptr) clampedOut = StateChunk::EncodeDouble(clampedOut, p.value);
    pos = next;
  }
  return pos;
}

bool PluginCore::SerializePresets(StateChunk& chunk) {
  Guard g(lock_);
  for (const PlugPreset& preset : presets_) {
    chunk.PutString(preset.name);
    const uint8_t flag = preset.initialised ? 1 : 0;
    chunk.PutBytes(&flag, 1);
    if (preset.initialised) chunk.PutBytes(preset.values.Data(), preset.values.Size());
  }
  return true;
}

int PluginCore::UnserializePresets(const StateChunk& chunk, int pos) {
  Guard g(lock_);
  const int fullValues = NumParams() * 8;
  // Each slot passes through the live values as it is read; the instrument
  // hears of them once, after the last, as nothing can run in between (the
  // lock is held) and only the last values remain.
  bool applied = false;
  for (PlugPreset& preset : presets_) {
    if (pos < 0) break;
    std::string name;
    pos = chunk.GetString(pos, &name);
    if (pos < 0) break;
    if (pos <= chunk.Size()) CopyPresetName(preset, name.c_str());
    uint8_t flag = 0;
    if (pos < chunk.Size()) {
      chunk.GetByte(pos, &flag);
      preset.initialised = flag != 0;
      ++pos;
    } else {
      pos = -1;
    }
    if (preset.initialised && pos >= 0) {
      applied = true;
      if (pos <= chunk.Size() - fullValues) {
        // The slot stores the clamped values as they are read.
        preset.values.Clear();
        pos = ReadParamValues(chunk, pos, preset.values.Grow(fullValues));
      } else {
        pos = ReadParamValues(chunk, pos);
        // A slot cut short still holds a full set of values: what was read plus the rest.
        if (preset.values.Size() != fullValues) {
          preset.values.Clear();
          SerializeParams(preset.values);
        }
      }
    }
  }
  if (applied) {
    for (int i = 0; i < NumParams(); ++i) ParameterChanged(i);
  }
  LoadPreset(currentPreset_);
  return pos;
}

void PluginCore::ModifyCurrentPreset(const char* name) {
  Guard g(lock_);
  if (currentPreset_ < 0 || currentPreset_ >= NumPresets()) return;
  PlugPreset& preset = presets_[currentPreset_];
  preset.values.Clear();
  SerializeParams(preset.values);
  if (name != nullptr && name[0] != 0) CopyPresetName(preset, name);
}

bool PluginCore::LoadPreset(int index) {
  Guard g(lock_);
  if (index < 0 || index >= NumPresets()) return false;
  PlugPreset& preset = presets_[index];
  bool ok;
  if (preset.initialised) {
    ok = UnserializeParams(preset.values, 0) > 0;
  } else {
    preset.initialised = true;
    int count = 0;
    for (const PlugPreset& p : presets_)
      if (std::strstr(p.name, kUserPresetName) != nullptr) ++count;
    char text[64] = {};
    std::memcpy(text, kUserPresetName, sizeof kUserPresetName - 1);
    char* end = text + sizeof kUserPresetName - 1;
    *end++ = ' ';
    *std::to_chars(end, text + sizeof text - 1, count + 1).ptr = 0;
    CopyPresetName(preset, text);
    preset.values.Clear();
    SerializeParams(preset.values);
    ok = true;
  }
  if (ok) {
    currentPreset_ = index;
    OnPresetRestored();
    RefreshEditorControls();
  }
  return ok;
}

const char* PluginCore::PresetName(int index) const {
  return index >= 0 && index < NumPresets() ? presets_[index].name : "";
}

const PlugPreset* PluginCore::PresetAt(int index) const {
  return index >= 0 && index < NumPresets() ? &presets_[index] : nullptr;
}

void PluginCore::AddPreset(const char* name, const double* values) {
  Guard g(lock_);
  for (PlugPreset& preset : presets_) {
    if (preset.initialised) continue;
    preset.initialised = true;
    CopyPresetName(preset, name);
    preset.values.Clear();
    for (int i = 0; i < NumParams(); ++i) preset.values.PutDouble(values ? values[i] : params_[i].value);
    return;
  }
}

void PluginCore::AddPresetFromCurrent(const char* name) {
  Guard g(lock_);
  for (PlugPreset& preset : presets_) {
    if (preset.initialised) continue;
    preset.initialised = true;
    CopyPresetName(preset, name);
    preset.values.Clear();
    SerializeParams(preset.values);
    return;
  }
}

void PluginCore::FillEmptyPresets(const char* name, int count) {
  Guard g(lock_);
  for (int n = 0; n < count; ++n) {
    PlugPreset* slot = nullptr;
    for (PlugPreset& preset : presets_) {
      if (!preset.initialised) {
        slot = &preset;
        break;
      }
    }
    if (slot == nullptr) return;
    slot->initialised = true;
    CopyPresetName(*slot, name ? name : "Empty");
    slot->values.Clear();
    SerializeParams(slot->values);
  }
}

void PluginCore::WriteHeader(StateChunk& chunk) {
  chunk.Clear();
  chunk.PutInt(kChunkMagic);
  chunk.PutInt(kChunkVersion);
}

int PluginCore::ReadHeader(const StateChunk& chunk, int pos, int32_t* version) {
  int32_t magic = 0;
  int32_t v = 0;
  const int afterMagic = chunk.GetInt(pos, &magic);
  if (afterMagic < 0 || magic != kChunkMagic) {
    if (version) *version = 0;
    return pos;
  }
  const int afterVersion = chunk.GetInt(afterMagic, &v);
  if (version) *version = afterVersion < 0 ? 0 : v;
  return afterVersion;
}

}  // namespace morvanta
