// Member-by-member equality of two snapshots.
#include "instrument/ParamSnapshot.h"

#include "instrument/ParamTable.h"
#include "instrument/SnapshotFields.h"

namespace morvanta {

bool ParamSnapshot::operator==(const ParamSnapshot& o) const {
  ParamSnapshot& a = const_cast<ParamSnapshot&>(*this);
  ParamSnapshot& b = const_cast<ParamSnapshot&>(o);
  for (int i = 0; i < kNumSoundParams; ++i) {
    const SnapshotField fa = FieldOf(a, i);
    const SnapshotField fb = FieldOf(b, i);
    if (fa.real && !(*fa.real == *fb.real)) return false;
    if (fa.integer && *fa.integer != *fb.integer) return false;
    if (fa.flag && *fa.flag != *fb.flag) return false;
  }
  // Fields that no parameter index names directly.
  const ReverbSettings& ra = reverb;
  const ReverbSettings& rb = o.reverb;
  return ra.preDelayBase == rb.preDelayBase && ra.damp2 == rb.damp2 &&
         ra.filterSpreadBase == rb.filterSpreadBase && ra.lengthFactor == rb.lengthFactor &&
         ra.width == rb.width && ra.outputScaleBase == rb.outputScaleBase &&
         ra.variant == rb.variant && ra.modRateBase == rb.modRateBase &&
         ra.networkMode == rb.networkMode && ra.spare == rb.spare &&
         adsr1.unused == o.adsr1.unused && adsr2.unused == o.adsr2.unused &&
         delayUnused == o.delayUnused;
}

}  // namespace morvanta
