// ReverbNetwork: the two sides share one structure over two different tables
// of line times, which decorrelates them; settings are applied per block.
#include "dsp/ReverbNetwork.h"

#include <cmath>

namespace morvanta {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Damping frequencies at or above Nyquist would fold the section over into
// an unstable one; they are held just below it.
constexpr double kMaxFrequencyRatio = 0.49;

constexpr float kTimesLeft[ReverbNetwork::kLines] = {
    0.025f, 0.03987f, 0.012987f, 0.065f, 0.029687f, 0.06523f, 0.08549879f, 0.0213879f,
    0.03876451f, 0.09851357f, 0.0234987f, 0.051387f, 0.01358796f, 0.0367895f, 0.06461f, 0.0731526f,
    0.025f, 0.03987f, 0.012987f, 0.065f, 0.029687f, 0.06523f, 0.06549879f, 0.0213879f,
    0.03876451f, 0.09851357f, 0.0234987f, 0.051387f, 0.01358796f, 0.0367895f, 0.06461f};
constexpr float kTimesRight[ReverbNetwork::kLines] = {
    0.01358796f, 0.0367895f, 0.06461f, 0.0731526f, 0.03876451f, 0.09851357f, 0.0234987f, 0.051387f,
    0.029687f, 0.06523f, 0.08549879f, 0.0213879f, 0.025f, 0.03987f, 0.012987f, 0.065f,
    0.01358796f, 0.0367895f, 0.06461f, 0.0731526f, 0.03876451f, 0.09851357f, 0.0234987f, 0.051387f,
    0.029687f, 0.06523f, 0.06549879f, 0.0213879f, 0.025f, 0.03987f, 0.012987f};
}  // namespace

void RbjSection::Set(double f, double fs) {
  if (f > kMaxFrequencyRatio * fs) f = kMaxFrequencyRatio * fs;
  frequency = static_cast<float>(f);
  sampleRate = static_cast<float>(fs);
  const float w = static_cast<float>(2.0 * kPi * f / fs);
  const float cs = std::cos(w);
  const float sn = std::sin(w);
  const float alpha = sn / (2.0f * Q);
  const float a0 = 1.0f + alpha;
  lpB0 = lpB2 = (1.0f - cs) / (2.0f * a0);
  lpB1 = (1.0f - cs) / a0;
  hpB0 = hpB2 = (1.0f + cs) / (2.0f * a0);
  hpB1 = -(1.0f + cs) / a0;
  a1 = -2.0f * cs / a0;
  a2 = (1.0f - alpha) / a0;
}

ReverbNetwork::ReverbNetwork() {
  preDelayL_.SetFeedback(0.0);
  preDelayL_.SetOutputGain(2.0);
  preDelayR_.SetFeedback(0.0);
  preDelayR_.SetOutputGain(2.0);
  UpdateSettings(settings_);
}

void ReverbNetwork::Reserve(double fs) {
  const float rate = static_cast<float>(fs);
  for (int i = 0; i < kLines; ++i) {
    linesL_[i].Reserve(rate);
    linesR_[i].Reserve(rate);
  }
  preDelayL_.Reserve(rate);
  preDelayR_.Reserve(rate);
}

void ReverbNetwork::SetSampleRate(double fs) {
  const float rate = static_cast<float>(fs);
  fs_ = rate;
  invFs_ = 1.0 / fs_;
  for (int i = 0; i < kLines; ++i) {
    linesL_[i].SetSampleRate(rate, false);
    linesR_[i].SetSampleRate(rate, false);
  }
  preDelayL_.SetSampleRate(rate, false);
  preDelayR_.SetSampleRate(rate, false);
  Recompute();
}

void ReverbNetwork::UpdateSettings(const ReverbSettings& s) {
  settings_ = s;
  auto unit = [](double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; };
  const double lg = unit(s.length);
  lengthFactor_ = unit(s.lengthFactor);
  const double feedback = 0.75 * (0.9 * lengthFactor_ + 0.1);
  for (int i = 0; i < kLines; ++i) {
    linesL_[i].SetFeedback(feedback);
    linesR_[i].SetFeedback(feedback);
  }
  timeScale_ = lg * static_cast<double>(0.095f) * 0.75 + static_cast<double>(0.005f);
  filterSpread_ = s.filterSpreadBase;
  width_ = s.width;
  outputScale_ = s.outputScaleBase;
  dampSlope_ = (1.0 - unit(s.damp)) * 0.75;
  dampBase_ = (0.7 * unit(s.damp2) + 0.3) * 11025.0;
  preDelayTime_ = s.preDelayBase * 0.5;
  modDepth_ = (1.0 - 0.42 * lg) * 0.5 * unit(s.mod);
  modRate_ = s.modRateBase + 0.01;
  hpControl_ = 0.5 * unit(s.hp);
  Recompute();
}

void ReverbNetwork::Recompute() {
  const double fs = fs_;
  const double fiveHundredths = 0.05f;
  for (int i = 0; i < kLines; ++i) {
    const double t1 = kTimesLeft[i];
    const double t2 = kTimesRight[i];
    const double dL = (t2 + 1.0) * fiveHundredths * modDepth_;
    const double dR = (t1 + 1.0) * fiveHundredths * modDepth_;
    linesL_[i].SetModDepth(dL);
    linesL_[i].SetModRate(dL * 24.0 * modRate_ * (t1 + 1.0) / fs);
    linesR_[i].SetModDepth(dR);
    linesR_[i].SetModRate(dR * 24.0 * modRate_ * (t2 + 1.0) / fs);
  }

  double preDelay = std::floor((preDelayTime_ + 0.01) * fs);
  if (!(preDelay >= 0.0)) preDelay = 0.0;
  preDelayL_.GlideTo(preDelay, fs * 0.5, fs * 0.25);
  preDelayR_.GlideTo(preDelay, fs * 0.5, fs * 0.25);

  const double m = timeScale_;
  const double t = filterSpread_;
  const double g1 = 0.2 - 1.2 * t;
  const double g2 = 0.5 * t + 1.0;
  for (int i = 0; i < kLines; ++i) {
    const double k = i * (1.0 / kLines);
    const double a = (1.0 - k * dampSlope_) * dampBase_ * 1.33 + 100.0;
    const double b = (a - 100.0) * t * 0.75 + 100.0;
    RbjSection first, second;
    first.Set(b, fs);
    second.Set(a, fs);
    DampingFilterPairs& pairs = pairs_[i];
    pairs.SetLane(0, first);
    pairs.SetLane(1, second);
    pairs.SetLane(2, first);
    pairs.SetLane(3, second);
    pairs.g1 = g1;
    pairs.g2 = g2;
    const double left = std::floor(((0.9 * m + 0.1) * kTimesLeft[i] + m * k + 0.1 * i * m) * fs);
    const double right = std::floor(((0.9 * m + 0.1) * kTimesRight[i] + m * k + 0.1 * i * m) * fs);
    linesL_[i].SetDelayTarget(left);
    linesR_[i].SetDelayTarget(right);
    linesL_[i].SetOutputGain(0.25 + 0.125 * k);
    linesR_[i].SetOutputGain(0.25 + 0.125 * k);
  }

  const double hp = 980.0 * hpControl_ + 20.0;
  outHpL_.Set(hp, fs);
  outHpR_.Set(hp, fs);
}

void ReverbNetwork::Process(double inL, double inR, double* wetL, double* wetR) {
  double sL = 0.2 * preDelayL_.ProcessPlain(inL);
  double sR = 0.2 * preDelayR_.ProcessPlain(inR);
  // All line outputs are read first: they do not depend on this sample's
  // input, and fetching them together overlaps the memory accesses.
  double yL[kLines], yR[kLines];
  for (int i = 0; i < kLines; ++i) {
    yL[i] = linesL_[i].ReadTriangle();
    yR[i] = linesR_[i].ReadTriangle();
  }
  double accL = 0.0;
  double accR = 0.0;
  for (int i = 0; i < kLines; ++i) {
    float dL, dR;
    pairs_[i].Process(static_cast<float>(sL), static_cast<float>(sR), &dL, &dR);
    const float hL = static_cast<float>(linesL_[i].FinishTriangle(dL, yL[i]));
    const float hR = static_cast<float>(linesR_[i].FinishTriangle(dR, yR[i]));
    accL += 0.7 * hL;
    accR += 0.7 * hR;
    sR += hR;
    sL += hL;
  }
  const double l = outHpL_.HighPass(static_cast<float>(accL));
  const double r = outHpR_.HighPass(static_cast<float>(accR));
  const double s = 2.5 * outputScale_;
  const double mid = (l + r) * s / 2.0;
  const double side = (l - r) * s / 2.0 * width_;
  *wetL = mid + side;
  *wetR = mid - side;
}

void ReverbNetwork::Clear() {
  for (int i = 0; i < kLines; ++i) {
    linesL_[i].Clear();
    linesR_[i].Clear();
    pairs_[i].Clear();
  }
  preDelayL_.Clear();
  preDelayR_.Clear();
  outHpL_.Clear();
  outHpR_.Clear();
}

}  // namespace morvanta
