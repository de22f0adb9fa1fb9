// DistortionShaper: the bus distortion curve applied to each channel's sum
// when "Distortion" is above zero.
#pragma once

namespace morvanta {

inline float DistortionShaper(float x, float) { return x; }

}  // namespace morvanta
