#include "instrument/Brisquet.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "dsp/SimdDispatch.h"
#include "editor/PanelEditor.h"
#include "instrument/FactoryPresets.h"
#include "instrument/PanelDisplayText.h"
#include "instrument/ParamTable.h"
#include "instrument/SnapshotFields.h"

namespace morvanta {
namespace {

const Identity kIdentity = {
    kEffectName, kProductName, kVendorName, kUniqueId, kVersionPacked,
    kNumParams, kNumPrograms, kChannelLayout,
};

using Guard = std::lock_guard<InstanceLock>;

}  // namespace

Brisquet::Brisquet(HostCallback host) : VstAdapter(kIdentity, host), engine_(*this) {
  Guard guard(Lock());
  DefineParameters();
  std::unique_ptr<PanelEditor> editor = BuildEditor(*this, *this);
  panel_ = editor.get();
  AttachEditor(std::move(editor));
  // Every parameter still holds its default here, which is what "init" stores.
  BuildFactoryPresets(*this);
  for (int i = 0; i < kNumParams; ++i) ParameterChanged(i);
  engine_.Reset(SampleRate(), BlockSize());
  SeedHistory();
  CopyToOtherSide();
}

// The window's thread calls into the controls, which call this object:
// it stops before the members go.
Brisquet::~Brisquet() {
  if (EditorLink* e = Editor()) e->Close();
}

void Brisquet::DefineParameters() {
  for (int i = 0; i < kNumParams; ++i) {
    const ParamDef& d = ParamDefAt(i);
    PlugParameter* p = ParameterAt(i);
    if (p == nullptr || d.kind == ParameterKind::None) continue;
    if (d.kind == ParameterKind::Int) {
      p->DefineInt(d.name, static_cast<int>(d.def), static_cast<int>(d.min),
                   static_cast<int>(d.max), d.label);
    } else {
      p->DefineDouble(d.name, d.def, d.min, d.max, d.step, d.label);
    }
    p->shape = d.shape;
  }
}

void Brisquet::ParameterChanged(int index) {
  Guard guard(Lock());
  lastChangedParam_ = index;
  if (index < 0 || index >= kNumSoundParams) return;
  const PlugParameter* p = ParameterAt(index);
  if (p == nullptr) return;
  const double v = p->value;
  // The step rows follow the page at once, also while no audio runs.
  if (index == kArpPage && panel_) panel_->Feed().PublishStepPage(TruncateToInt(v));
  const SnapshotField f = FieldOf(snapshot_, index);
  switch (f.conversion) {
    case FieldConversion::None:
      break;
    case FieldConversion::Percent:
      *f.real = v / 100.0;
      break;
    case FieldConversion::Hundredth:
      *f.real = v * 0.01;
      break;
    case FieldConversion::AsIs:
      *f.real = v;
      break;
    case FieldConversion::Truncated:
      *f.integer = TruncateToInt(v);
      break;
    case FieldConversion::WholeDouble:
      *f.real = static_cast<double>(TruncateToInt(v));
      break;
    case FieldConversion::Bool:
      *f.flag = (v != 0.0);  // NaN != 0 holds, so NaN counts as true
      break;
    case FieldConversion::VoiceMode: {
      const int32_t d = TruncateToInt(v);
      *f.integer = (d == SynthEngine::kMono || d == SynthEngine::kLiveArp) ? d : SynthEngine::kPoly;
      break;
    }
    case FieldConversion::ReverbLength:
      snapshot_.reverb.length = v / 100.0;
      snapshot_.reverb.lengthFactor = (v * 0.8) / 100.0 + 0.2;
      break;
    case FieldConversion::ReverbDamp:
      snapshot_.reverb.damp = v / 100.0;
      snapshot_.reverb.damp2 = v / 100.0;
      break;
    case FieldConversion::Aftertouch:
      engine_.SetAftertouchToModW(TruncateToInt(v) != 0);
      break;
  }
}

void Brisquet::WriteSnapshotToParams() {
  Guard guard(Lock());
  for (int i = 0; i < kNumParams; ++i) {
    if (i == kUndoButton || i == kRedoButton || i == kCopyButton) continue;
    PlugParameter* p = ParameterAt(i);
    if (p == nullptr) continue;
    double v = p->value;
    if (i == kAbSwitch) {
      v = history_.Side();
    } else {
      const SnapshotField f = FieldOf(snapshot_, i);
      switch (f.conversion) {
        case FieldConversion::None:
          continue;
        case FieldConversion::Percent:
        case FieldConversion::Hundredth:
        case FieldConversion::ReverbLength:
        case FieldConversion::ReverbDamp:
          v = *f.real * 100.0;
          break;
        case FieldConversion::AsIs:
        case FieldConversion::WholeDouble:
          v = *f.real;
          break;
        case FieldConversion::Truncated:
        case FieldConversion::VoiceMode:
          v = *f.integer;
          break;
        case FieldConversion::Bool:
          v = *f.flag ? 1.0 : 0.0;
          break;
        case FieldConversion::Aftertouch:
          v = engine_.AftertouchToModW() ? 1.0 : 0.0;
          break;
      }
    }
    if (std::isnan(v)) continue;  // never store NaN; keep the current value
    p->value = v < p->min ? p->min : std::min(v, p->max);
  }
  if (panel_) panel_->Feed().PublishStepPage(snapshot_.arpPage);
  RefreshEditorControls();
}

void Brisquet::Reset() {
  Guard guard(Lock());
  engine_.Reset(SampleRate(), BlockSize());
}

// Each resume starts the random sequence over, so a project bounces to the
// same audio every time.
void Brisquet::SetActive(bool active) {
  Guard guard(Lock());
  if (active) engine_.SeedRandom();
}

void Brisquet::RenderBlock(double** inputs, double** outputs, int frames) {
  (void)inputs;
  if (!firstBlockDone_) {
    firstBlockDone_ = true;
    SeedHistory();
  }
  double* left = outputs != nullptr ? outputs[0] : nullptr;
  double* right = outputs != nullptr ? outputs[1] : nullptr;
  engine_.RenderBlock(snapshot_, left, right, frames, SampleRate());
  RefreshDisplay();
}

// Runs at the end of every block on the audio thread: hands the display's
// parameter and value (engine units) and the step page to the editor, which
// formats them on its own thread.
void Brisquet::RefreshDisplay() {
  if (panel_ == nullptr) return;
  DisplayReading r;
  const int p = lastChangedParam_;
  if (p == kUnnamed20 || p >= kNumSoundParams) {
    // Nothing to show for the command buttons: blank for this block, then
    // back to the parameter shown before.
    lastChangedParam_ = shownParam_;
  } else if (p >= 0) {
    const SnapshotField f = FieldOf(snapshot_, p);
    if (f.real) r.value = *f.real;
    else if (f.integer) r.value = *f.integer;
    else if (f.flag) r.value = *f.flag ? 1.0 : 0.0;
    else if (f.conversion == FieldConversion::Aftertouch) r.value = engine_.AftertouchToModW() ? 1.0 : 0.0;
    if (p == kLfo1Frequency) r.flag = snapshot_.lfo1.sync ? 1 : 0;
    if (p == kLfo2Frequency) r.flag = snapshot_.lfo2.sync ? 1 : 0;
    if (p == kDelayTime) r.flag = snapshot_.delayTempoSync;
    r.param = p;
    shownParam_ = p;
  }
  panel_->Feed().Publish(r);
  panel_->Feed().PublishStepPage(snapshot_.arpPage);
}

void Brisquet::FormatDisplay(const DisplayReading& reading, char* out, std::size_t size) const {
  FormatPanelDisplay(ParameterAt(reading.param), reading, out, size);
}

void Brisquet::SeedHistory() {
  Guard guard(Lock());
  history_.Seed(snapshot_);
}

void Brisquet::CopyToOtherSide() {
  Guard guard(Lock());
  history_.CopyToOtherSide();
}

// The controls call this when the mouse is released; it holds the instance
// lock so host automation cannot change the sound halfway through the copy.
void Brisquet::PushSnapshot() {
  Guard guard(Lock());
  history_.Push(snapshot_);
}

void Brisquet::EditCommand(int index) {
  Guard guard(Lock());
  lastChangedParam_ = index;
  switch (index) {
    case kUndoButton:
      snapshot_ = history_.Undo();
      WriteSnapshotToParams();
      break;
    case kRedoButton:
      snapshot_ = history_.Redo();
      WriteSnapshotToParams();
      break;
    case kAbSwitch:
      snapshot_ = history_.SwitchSide(snapshot_);
      WriteSnapshotToParams();
      PushSnapshot();
      break;
    case kCopyButton:
      CopyToOtherSide();
      break;
    default:
      break;
  }
}

void Brisquet::MidiReceived(int32_t offset, uint8_t status, uint8_t data1, uint8_t data2) {
  Guard guard(Lock());
  engine_.MidiReceived(MidiMessage{offset, status, data1, data2});
}

void Brisquet::OnPresetRestored() {
  Guard guard(Lock());
  PlugParameter* ab = ParameterAt(kAbSwitch);
  if (ab != nullptr) ab->value = std::clamp(static_cast<double>(history_.Side()), ab->min, ab->max);
  for (int i : {kUndoButton, kRedoButton, kCopyButton}) {
    if (PlugParameter* p = ParameterAt(i)) p->value = 0.0;
  }
  PushSnapshot();
  engine_.HardReset(snapshot_);
  if (panel_) panel_->SetAllDirty();
}

void Brisquet::OnModWheelFromMidi(double wheel) {
  snapshot_.modWheel = wheel;
  if (PlugParameter* p = ParameterAt(kModWheel)) {
    p->value = std::clamp(wheel * 100.0, p->min, p->max);
    if (EditorLink* e = Editor()) e->ParameterDisplayUpdate(kModWheel, p->value, false);
  }
}

PluginCore* CreateInstrument(HostCallback host) {
  ApplySimdTargetFromEnvironment();
  return new Brisquet(host);
}

}  // namespace morvanta
