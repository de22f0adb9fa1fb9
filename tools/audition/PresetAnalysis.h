// Measurements of a rendered program: levels, spectral centroid, attack and
// decay times, DC offset, a spectrogram for pictures, and a coarse
// band-by-time fingerprint for telling near-duplicate programs apart.
#pragma once

#include <cstddef>
#include <vector>

namespace morvanta {
namespace audition {

struct StereoView {
  const float* left = nullptr;
  const float* right = nullptr;
  std::size_t frames = 0;
  int sampleRate = 44100;
};

struct Metrics {
  double peakDb = -400.0;      // sample peak of both channels, dBFS
  double rmsDb = -400.0;       // from the first note to the last note-off, dBFS
  double centroidHz = 0.0;     // magnitude-weighted, over the whole render
  double attackSeconds = 0.0;  // first note to the envelope's -3 dB point
  // Last note-off until the output stays below -60 dBFS; infinite when it
  // is still above at the end of the render.
  double decaySeconds = 0.0;
  double dcDb = -400.0;  // larger of the two channels' means, dBFS
};

constexpr double kDecayFloorDb = -60.0;

// tailSeconds: how long the render was allowed to run after the release.
Metrics Measure(const StereoView& audio, double firstNoteSeconds, double releaseSeconds,
                double tailSeconds);

// Magnitudes in dBFS (a full-scale sine reads 0 dB), one column per hop.
struct Spectrogram {
  int bins = 0;       // per column, DC to Nyquist
  int columns = 0;
  double hopSeconds = 0.0;
  double binHz = 0.0;
  std::vector<float> db;  // column-major: db[column * bins + bin]
  float At(int column, int bin) const { return db[static_cast<std::size_t>(column) * bins + bin]; }
};

Spectrogram ComputeSpectrogram(const StereoView& audio);

// Level in coarse log-spaced bands over fixed time slices from the start,
// relative to the loudest cell and floored, so that level alone does not
// separate two programs.
struct Fingerprint {
  std::vector<float> cells;
};

Fingerprint MakeFingerprint(const Spectrogram& spectrogram, double seconds);
// Mean absolute difference in dB over the cells where either is above the floor.
double FingerprintDistance(const Fingerprint& a, const Fingerprint& b);

double Median(std::vector<double> values);

}  // namespace audition
}  // namespace morvanta
