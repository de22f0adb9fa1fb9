// The instrument: defines the 240 parameters, keeps the engine's parameter
// snapshot, and connects the host adapter's hooks to the synth engine.
#pragma once

#include <cstdint>

#include "engine/SynthEngine.h"
#include "engine/ParamSnapshot.h"
#include "plugin/VstAdapter.h"

namespace morvanta {

class Brisquet : public VstAdapter, private EngineHost {
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
  // The current A/B comparison side (0 until the edit history lands).
  int AbSide() const { return abSide_; }

 private:
  void DefineParameters();
  void SeedHistory();
  void RefreshDisplay();
  void OnModWheelFromMidi(double wheel) override;

  SynthEngine engine_;
  ParamSnapshot snapshot_;
  int lastChangedParam_ = -1;
  int abSide_ = 0;
  bool firstBlockDone_ = false;
};

// Creates the instrument for the entry point.
PluginCore* CreateInstrument(HostCallback host);

}  // namespace morvanta
