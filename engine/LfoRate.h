// LfoRate: an LFO frequency parameter (0..1) to hertz, free (64 v^2) or as a
// fraction of the host's eighth-note rate.
#pragma once

namespace morvanta {

// tempoBpm 0 (no host tempo) gives rate 0 when synchronised.
double LfoRate(double value, bool sync, double tempoBpm);

}  // namespace morvanta
