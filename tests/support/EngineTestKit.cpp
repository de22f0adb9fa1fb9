// Helpers for the engine tests.
#include "support/EngineTestKit.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "instrument/Brisquet.h"

namespace morvanta {
namespace testkit {

ParamSnapshot InitSnapshot() {
  std::unique_ptr<Brisquet> b(static_cast<Brisquet*>(CreateInstrument(nullptr)));
  return b->Snapshot();
}

ParamSnapshot RandomSnapshot(std::mt19937& gen) {
  static std::unique_ptr<Brisquet> b(static_cast<Brisquet*>(CreateInstrument(nullptr)));
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < kNumSoundParams; ++i) {
    PlugParameter* p = b->ParameterAt(i);
    if (p == nullptr) continue;
    double x = unit(gen);
    const double pick = unit(gen);
    if (pick < 0.125) x = 0.0;
    if (pick > 0.875) x = 1.0;
    p->SetFromNormalized(x);
    b->ParameterChanged(i);
  }
  return b->Snapshot();
}

Stereo Render(SynthEngine& engine, const ParamSnapshot& snap, int frames, double rate, int block) {
  Stereo out;
  out.left.assign(static_cast<size_t>(frames), 0.0);
  out.right.assign(static_cast<size_t>(frames), 0.0);
  for (int done = 0; done < frames;) {
    const int n = std::min(block, frames - done);
    engine.RenderBlock(snap, out.left.data() + done, out.right.data() + done, n, rate);
    done += n;
  }
  return out;
}

double ZeroCrossingFrequency(const std::vector<double>& x, size_t begin, size_t end, double rate) {
  double first = -1.0, last = -1.0;
  int crossings = 0;
  for (size_t i = begin + 1; i < end; ++i) {
    if (x[i - 1] < 0.0 && x[i] >= 0.0) {
      const double t = (i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
      if (first < 0.0) first = t;
      last = t;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return (crossings - 1) * rate / (last - first);
}

double Peak(const std::vector<double>& x, size_t begin, size_t end) {
  double peak = 0.0;
  for (size_t i = begin; i < end; ++i) peak = std::max(peak, std::fabs(x[i]));
  return peak;
}

bool AllFinite(const std::vector<double>& x) {
  return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace testkit
}  // namespace morvanta
