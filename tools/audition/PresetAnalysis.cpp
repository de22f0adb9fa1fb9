// Analysis for the preset audition. Spectra come from FFTW; everything else
// is plain arithmetic over the samples.
#include "tools/audition/PresetAnalysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace morvanta {
namespace audition {
namespace {

constexpr double kFloorDb = -400.0;
constexpr double kEnvelopeWindowSeconds = 0.01;
constexpr double kAttackDropDb = -3.0;

double ToDb(double amplitude) {
  return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : kFloorDb;
}

// Window length near 46 ms (2048 samples at 44.1 kHz) at any rate, a power
// of two for the transform.
int FftSizeFor(int rate) {
  int n = 256;
  while (n < rate * 0.046) n *= 2;
  return n;
}

// Mid signal's Hann-windowed spectra, one per hop of a quarter window.
template <typename Visit>
void ForEachSpectrum(const StereoView& audio, int n, Visit visit) {
  const int bins = n / 2 + 1;
  double* in = fftw_alloc_real(n);
  fftw_complex* out = fftw_alloc_complex(bins);
  const fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
  std::vector<double> window(n);
  double windowSum = 0.0;
  for (int i = 0; i < n; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / n);
    windowSum += window[i];
  }
  const int hop = n / 4;
  std::vector<double> magnitude(bins);
  for (size_t start = 0; start < audio.frames; start += hop) {
    for (int i = 0; i < n; ++i) {
      const size_t k = start + i;
      const double mid = k < audio.frames ? 0.5 * (audio.left[k] + audio.right[k]) : 0.0;
      in[i] = mid * window[i];
    }
    fftw_execute(plan);
    // Scaled so that a full-scale sine peaks at 1.
    for (int b = 0; b < bins; ++b) magnitude[b] = 2.0 * std::hypot(out[b][0], out[b][1]) / windowSum;
    visit(magnitude);
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
}

}  // namespace

Metrics Measure(const StereoView& audio, double firstNoteSeconds, double releaseSeconds,
                double tailSeconds) {
  Metrics m;
  const double rate = audio.sampleRate;
  const size_t frames = audio.frames;
  double peak = 0.0;
  double sumL = 0.0;
  double sumR = 0.0;
  for (size_t i = 0; i < frames; ++i) {
    peak = std::max({peak, std::fabs(double(audio.left[i])), std::fabs(double(audio.right[i]))});
    sumL += audio.left[i];
    sumR += audio.right[i];
  }
  m.peakDb = ToDb(peak);
  if (frames > 0) m.dcDb = ToDb(std::max(std::fabs(sumL), std::fabs(sumR)) / frames);

  const size_t first = std::min(frames, static_cast<size_t>(std::llround(firstNoteSeconds * rate)));
  const size_t release = std::min(frames, static_cast<size_t>(std::llround(releaseSeconds * rate)));
  double energy = 0.0;
  for (size_t i = first; i < release; ++i) {
    energy += double(audio.left[i]) * audio.left[i] + double(audio.right[i]) * audio.right[i];
  }
  if (release > first) m.rmsDb = 10.0 * std::log10(std::max(energy / (2.0 * (release - first)), 1e-40));

  // RMS envelope in short windows: the attack is the first window within
  // 3 dB of the loudest one before the release.
  const size_t win = std::max<size_t>(1, static_cast<size_t>(kEnvelopeWindowSeconds * rate));
  std::vector<double> envelope;
  for (size_t s = first; s < std::max(release, first + 1) && s < frames; s += win) {
    double e = 0.0;
    const size_t end = std::min(frames, s + win);
    for (size_t i = s; i < end; ++i) {
      e += double(audio.left[i]) * audio.left[i] + double(audio.right[i]) * audio.right[i];
    }
    envelope.push_back(std::sqrt(e / (2.0 * (end - s))));
  }
  if (!envelope.empty()) {
    const double top = *std::max_element(envelope.begin(), envelope.end());
    const double threshold = top * std::pow(10.0, kAttackDropDb / 20.0);
    for (size_t w = 0; w < envelope.size(); ++w) {
      if (envelope[w] >= threshold) {
        m.attackSeconds = (w + 0.5) * win / rate;
        break;
      }
    }
  }

  // Decay: the last sample at or above the floor after the release.
  const double floor = std::pow(10.0, kDecayFloorDb / 20.0);
  size_t last = release;
  bool any = false;
  for (size_t i = frames; i-- > release;) {
    if (std::fabs(audio.left[i]) >= floor || std::fabs(audio.right[i]) >= floor) {
      last = i + 1;
      any = true;
      break;
    }
  }
  // A render that used its whole tail and still ends above the floor has
  // not decayed within it.
  const double ringTolerance = 0.05 * rate;
  const bool ranOut = any && frames - last < ringTolerance &&
                      frames - release + ringTolerance >= tailSeconds * rate;
  m.decaySeconds = ranOut ? std::numeric_limits<double>::infinity()
                          : static_cast<double>(last - release) / rate;

  double weighted = 0.0;
  double total = 0.0;
  const int n = FftSizeFor(audio.sampleRate);
  const double binHz = rate / n;
  ForEachSpectrum(audio, n, [&](const std::vector<double>& mag) {
    for (size_t b = 1; b < mag.size(); ++b) {
      weighted += b * binHz * mag[b];
      total += mag[b];
    }
  });
  m.centroidHz = total > 0.0 ? weighted / total : 0.0;
  return m;
}

Spectrogram ComputeSpectrogram(const StereoView& audio) {
  Spectrogram s;
  const int n = FftSizeFor(audio.sampleRate);
  s.bins = n / 2 + 1;
  s.binHz = static_cast<double>(audio.sampleRate) / n;
  s.hopSeconds = static_cast<double>(n / 4) / audio.sampleRate;
  ForEachSpectrum(audio, n, [&](const std::vector<double>& mag) {
    for (double v : mag) s.db.push_back(static_cast<float>(std::max(ToDb(v), -200.0)));
    ++s.columns;
  });
  return s;
}

namespace {
constexpr int kFingerprintBands = 24;
constexpr double kFingerprintLowHz = 40.0;
constexpr double kFingerprintHighHz = 16000.0;
constexpr double kFingerprintSliceSeconds = 0.1;
constexpr float kFingerprintFloorDb = -60.0f;
}  // namespace

Fingerprint MakeFingerprint(const Spectrogram& s, double seconds) {
  const int slices = std::max(1, static_cast<int>(std::ceil(seconds / kFingerprintSliceSeconds)));
  std::vector<double> power(static_cast<size_t>(slices) * kFingerprintBands, 0.0);
  const double ratio = std::log(kFingerprintHighHz / kFingerprintLowHz);
  for (int c = 0; c < s.columns; ++c) {
    const int slice = static_cast<int>(c * s.hopSeconds / kFingerprintSliceSeconds);
    if (slice >= slices) break;
    for (int b = 1; b < s.bins; ++b) {
      const double hz = b * s.binHz;
      if (hz < kFingerprintLowHz || hz >= kFingerprintHighHz) continue;
      const int band = static_cast<int>(kFingerprintBands * std::log(hz / kFingerprintLowHz) / ratio);
      const double a = std::pow(10.0, s.At(c, b) / 20.0);
      power[static_cast<size_t>(slice) * kFingerprintBands + band] += a * a;
    }
  }
  Fingerprint f;
  f.cells.resize(power.size());
  float top = -400.0f;
  for (size_t i = 0; i < power.size(); ++i) {
    f.cells[i] = static_cast<float>(power[i] > 0.0 ? 10.0 * std::log10(power[i]) : -400.0);
    top = std::max(top, f.cells[i]);
  }
  for (float& v : f.cells) v = std::max(v - top, kFingerprintFloorDb);
  return f;
}

double FingerprintDistance(const Fingerprint& a, const Fingerprint& b) {
  const size_t n = std::min(a.cells.size(), b.cells.size());
  double sum = 0.0;
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) {
    if (a.cells[i] <= kFingerprintFloorDb && b.cells[i] <= kFingerprintFloorDb) continue;
    sum += std::fabs(a.cells[i] - b.cells[i]);
    ++count;
  }
  return count ? sum / count : 0.0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t h = values.size() / 2;
  return values.size() % 2 ? values[h] : 0.5 * (values[h - 1] + values[h]);
}

}  // namespace audition
}  // namespace morvanta
