// The plug-in's two exported entry points: VSTPluginMain creates an instance
// under a process-wide lock and returns its effect record; main forwards to it.
#include <algorithm>
#include <mutex>

#include "plugin/VstAdapter.h"

namespace morvanta {
PluginCore* CreateInstrument(HostCallback host);
}

namespace {

std::mutex& CreationLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host);
__attribute__((visibility("default"))) AEffect* MorvantaLegacyMain(HostCallback host) __asm__(
    "main");

extern "C" AEffect* VSTPluginMain(HostCallback host) {
  try {
    std::lock_guard<std::mutex> guard(CreationLock());
    morvanta::PluginCore* core = morvanta::CreateInstrument(host);
    auto* adapter = dynamic_cast<morvanta::VstAdapter*>(core);
    if (adapter == nullptr) {
      delete core;
      return nullptr;
    }
    adapter->FillEmptyPresets("Empty", adapter->NumPresets());
    adapter->FinishConstruction();
    return adapter->Effect();
  } catch (...) {
    return nullptr;
  }
}

AEffect* MorvantaLegacyMain(HostCallback host) { return VSTPluginMain(host); }
