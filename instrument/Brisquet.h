// The instrument: defines the 240 parameters, keeps the engine's parameter
// snapshot, and connects the host adapter's hooks to the synth engine.
#pragma once

#include <cstdint>

#include "editor/EditHistory.h"
#include "editor/PanelInstrument.h"
#include "engine/SynthEngine.h"
#include "engine/ParamSnapshot.h"
#include "plugin/VstAdapter.h"

namespace morvanta {

class PanelEditor;

class Brisquet : public VstAdapter, public PanelInstrument, private EngineHost {
 public:
  explicit Brisquet(HostCallback host);
  ~Brisquet() override;

  void Reset() override;
  void ParameterChanged(int index) override;
  void RenderBlock(double** inputs, double** outputs, int frames) override;
  void SetActive(bool active) override;
  void MidiReceived(int32_t offset, uint8_t status, uint8_t data1, uint8_t data2) override;
  void OnPresetRestored() override;
  double HostTempo() override { return VstAdapter::HostTempo(); }

  // Sets every parameter from the snapshot (no host notification, no
  // ParameterChanged) and refreshes the editor controls.
  void WriteSnapshotToParams();

  const ParamSnapshot& Snapshot() const { return snapshot_; }
  ParamSnapshot& MutableSnapshot() { return snapshot_; }
  int LastChangedParam() const { return lastChangedParam_; }
  SynthEngine& Engine() { return engine_; }
  // The current A/B comparison side: 0 A, 1 B.
  int AbSide() const { return history_.Side(); }

  // The edit history (undo, redo, A/B, copy) driven by the panel's controls.
  void EditCommand(int index) override;
  void PushSnapshot() override;
  void FormatDisplay(const DisplayReading& reading, char* out, std::size_t size) const override;
  void SeedHistory();
  void CopyToOtherSide();
  const EditHistory<ParamSnapshot>& History() const { return history_; }
  // The editor (owned by the core, alive as long as the instance).
  PanelEditor* Panel() { return panel_; }

 private:
  void DefineParameters();
  void RefreshDisplay();
  void OnModWheelFromMidi(double wheel) override;

  SynthEngine engine_;
  ParamSnapshot snapshot_;
  int lastChangedParam_ = -1;
  int shownParam_ = -1;  // the parameter the display showed last
  bool firstBlockDone_ = false;
  PanelEditor* panel_ = nullptr;
  EditHistory<ParamSnapshot> history_;
};

// Creates the instrument for the entry point.
PluginCore* CreateInstrument(HostCallback host);

}  // namespace morvanta
