// SimdDispatch: which instruction set the vector kernels run on. The kernels
// are compiled once per x86-64 target (SSSE3, SSE4, AVX2, AVX-512) and the
// best one the processor supports is picked at run time, so one plug-in
// binary runs everywhere. Tests and benchmarks may limit the choice to one
// target; every target computes the same samples.
#pragma once

#include <string>
#include <vector>

namespace morvanta {

// Names of the targets compiled in and supported here, best first
// (for example "AVX3", "AVX2", "SSE4", "SSSE3", "EMU128").
std::vector<std::string> SimdTargetsAvailable();

// Name of the target the kernels dispatch to now.
std::string ActiveSimdTarget();

// Limits dispatch to the named target (one of SimdTargetsAvailable());
// an empty name restores the processor's best. False, and no change, for a
// name that is not available. Not for the audio thread.
bool ForceSimdTarget(const std::string& name);

// Applies MORVANTA_SIMD_TARGET from the environment once per process (a
// developer's switch for benchmarks through the plug-in); unknown names are
// ignored.
void ApplySimdTargetFromEnvironment();

}  // namespace morvanta
