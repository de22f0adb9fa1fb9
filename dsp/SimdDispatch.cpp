// SimdDispatch: target lists and forcing on Highway's run-time dispatch.
#include "dsp/SimdDispatch.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "dsp/SimdDispatch.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace morvanta {
namespace HWY_NAMESPACE {

// The target this copy of the code was compiled for.
int64_t CompiledTarget() { return HWY_TARGET; }

}  // namespace HWY_NAMESPACE
}  // namespace morvanta
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <cstdlib>
#include <mutex>

namespace morvanta {

HWY_EXPORT(CompiledTarget);

namespace {

// The processor's own list, read before anything limits it (a forced
// target narrows what Highway reports as supported).
const std::vector<int64_t>& RealTargets() {
  static const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  return targets;
}

int64_t TargetByName(const std::string& name) {
  for (int64_t t : RealTargets()) {
    if (name == hwy::TargetName(t)) return t;
  }
  return 0;
}

}  // namespace

std::vector<std::string> SimdTargetsAvailable() {
  std::vector<std::string> names;
  for (int64_t t : RealTargets()) names.emplace_back(hwy::TargetName(t));
  return names;
}

std::string ActiveSimdTarget() { return hwy::TargetName(HWY_DYNAMIC_DISPATCH(CompiledTarget)()); }

bool ForceSimdTarget(const std::string& name) {
  RealTargets();
  if (name.empty()) {
    hwy::SetSupportedTargetsForTest(0);
  } else {
    const int64_t t = TargetByName(name);
    if (t == 0) return false;
    hwy::SetSupportedTargetsForTest(t);
  }
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
  return true;
}

void ApplySimdTargetFromEnvironment() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* name = std::getenv("MORVANTA_SIMD_TARGET");
    if (name != nullptr && *name != '\0') ForceSimdTarget(name);
  });
}

}  // namespace morvanta
#endif  // HWY_ONCE
