// DistortionShaper: the bus distortion, a saturator followed by a small sum of
// Chebyshev harmonics subtracted from the signal; stateless.
#pragma once

namespace morvanta {

// Saturator sign(v) * (1 - 1 / (1 + |v| + v^2 + c3 |v|^3 + c4 v^4)); |S| < 1.
double DistortionSaturate(double v);
float DistortionShaper(float x, float drive);

}  // namespace morvanta
