#include "instrument/PanelDisplayText.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/ParamSnapshot.h"
#include "instrument/ParamTable.h"
#include "instrument/SnapshotFields.h"

namespace morvanta {
namespace {

// The LFO rate ceiling in hertz: the synced-off rate is v² times this.
constexpr double kLfoRateLimit = 64.0;
// "Filter frequency": 20 Hz plus this span times v².
constexpr double kFilterLowHz = 20.0;
constexpr double kFilterSpanHz = 21980.0;
// "Delay Time" span in milliseconds, mapped onto 11 tempo divisions.
constexpr double kDelayMinMs = 20.0;
constexpr double kDelaySpanMs = 980.0;

const char* const kLfoDivisions[] = {"4/1", "2/1", "1/1", "1/2",  "1/3",
                                     "1/4", "1/6", "1/8", "1/12", "1/16"};
const char* const kDelayDivisions[] = {"1/32", "1/16", "1/12", "1/8", "1/6", "1/4",
                                       "3/8",  "1/3",  "1/2",  "3/4", "1/1"};
const char* const kVoiceModes[] = {"MONO", "LIVE ARP", "POLY"};
const char* const kOscShapes[] = {"SINUS", "TRIANGLE", "SQUARE", "SAW", "MULTIPULSE"};
const char* const kLfoShapes[] = {"SINUS", "TRIANGLE", "SQUARE", "SAW", "RAND STEP", "RAND RAMP"};
const char* const kPulseWidthModes[] = {"HARMONIC", "CLASSIC"};
const char* const kRingModModes[] = {"SINUS", "SAW"};
const char* const kPitchModes[] = {"ADD", "MULT"};
const char* const kDirections[] = {"UP", "DOWN", "UP-DOWN", "DOWN-UP"};
const char* const kModModes[] = {"SINGLE", "DOUBLE"};
const char* const kPingPongTypes[] = {"STRAIGHT", "OFFSET"};
const char* const kArpPages[] = {"PITCH", "SHAPE", "MOD"};
const char* const kOffOn[] = {"OFF", "ON"};
const char* const kOffOnEffect[] = {"OFF", "On"};

// Appends to a fixed buffer, always leaving it terminated.
class TextOut {
 public:
  TextOut(char* out, std::size_t size) : out_(out), size_(size) {
    used_ = (out && size) ? std::strlen(out) : 0;
    if (used_ >= size_) used_ = size_ ? size_ - 1 : 0;
  }
  void Put(const char* s) {
    if (!out_ || !size_ || !s) return;
    const std::size_t n = std::strlen(s);
    const std::size_t room = size_ - 1 - used_;
    const std::size_t k = n < room ? n : room;
    std::memcpy(out_ + used_, s, k);
    used_ += k;
    out_[used_] = 0;
  }
  // The fixed-point text with six decimals, like "%f".
  void Fixed(double v) {
    char buf[400];
    if (std::isnan(v)) return Put(std::signbit(v) ? "-nan" : "nan");
    if (std::isinf(v)) return Put(v < 0 ? "-inf" : "inf");
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::fixed, 6);
    *r.ptr = 0;
    Put(buf);
  }
  // v truncated toward zero, as a decimal integer.
  void Int(double v) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, TruncateToInt(v));
    *r.ptr = 0;
    Put(buf);
  }
  template <std::size_t N>
  void Choice(const char* const (&names)[N], double v) {
    const int k = TruncateToInt(v);
    if (k >= 0 && static_cast<std::size_t>(k) < N) Put(names[k]);
  }

 private:
  char* out_;
  std::size_t size_;
  std::size_t used_;
};

bool InRow(int param, int first) { return param >= first && param < first + 16; }

bool IsEnvelopeTime(int p) {
  return p == kAdsr1Attack || p == kAdsr1Decay || p == kAdsr1Release || p == kAdsr2Attack ||
         p == kAdsr2Decay || p == kAdsr2Release;
}

void FilterMix(TextOut& t, double v) {
  if (v < 0.5) {
    t.Put("LP");
    t.Int((0.5 - v) * 200.0);
    t.Put(" % BP");
    t.Int(v * 200.0);
  } else {
    t.Put("BP");
    t.Int((1.0 - v) * 200.0);
    t.Put(" % HP");
    t.Int((v - 0.5) * 200.0);
  }
  t.Put(" %");
}

}  // namespace

void AppendDisplayValue(const PlugParameter* param, const DisplayReading& r, char* out,
                        std::size_t size) {
  TextOut t(out, size);
  const int p = r.param;
  const double v = r.value;
  if (p == kPitch || p == kPitchRange || InRow(p, kArpPitch1)) {
    t.Int(v);
    t.Put(" semitones");
  } else if (p == kFine) {
    t.Int(v * 100.0);
    t.Put(" cents");
  } else if (IsEnvelopeTime(p)) {
    t.Fixed(v);
    t.Put(" s");
  } else if (p == kFilterFrequency) {
    t.Fixed(kFilterLowHz + kFilterSpanHz * v * v);
    t.Put(" HZ");
  } else if (p == kFilterMix) {
    FilterMix(t, v);
  } else if (p == kLfo1Frequency || p == kLfo2Frequency) {
    if (r.flag != 0) {
      t.Choice(kLfoDivisions, v * 9.0);
    } else {
      t.Fixed(v * v * kLfoRateLimit);
      t.Put(" Hz");
    }
  } else if (p == kDelayTime) {
    if (r.flag != 0) {
      t.Choice(kDelayDivisions, (v - kDelayMinMs) / kDelaySpanMs * 10.0);
    } else {
      t.Fixed(v);
      t.Put(" ms");
    }
  } else if (p == kArpStepsCount) {
    t.Int(v);
    t.Put(" steps");
  } else if (p == kArpLoopStart) {
    t.Int(v);
  } else if (p == kArpTempoDivider) {
    t.Int(v * 0.5);
  } else if (InRow(p, kArpShape1)) {
    t.Int(v);
    t.Put(" shape offset");
  } else if (p == kVoiceMode) {
    t.Choice(kVoiceModes, v);
  } else if (p == kOscShape) {
    t.Choice(kOscShapes, v);
  } else if (p == kLfo1Shape || p == kLfo2Shape) {
    t.Choice(kLfoShapes, v);
  } else if (p == kPulseWidthMode) {
    t.Choice(kPulseWidthModes, v);
  } else if (p == kRingModMode) {
    t.Choice(kRingModModes, v);
  } else if (p == kAdsr2ToPitchMode) {
    t.Choice(kPitchModes, v);
  } else if (p == kArpLiveDirection) {
    t.Choice(kDirections, v);
  } else if (p == kModMode) {
    t.Choice(kModModes, v);
  } else if (p == kDelayPingPongType) {
    t.Choice(kPingPongTypes, v);
  } else if (p == kArpPage) {
    t.Choice(kArpPages, v);
  } else if (p == kChorusOn || p == kReverbOn || p == kDelayOn || p == kDelayTempoSync) {
    t.Choice(kOffOnEffect, v);
  } else if (p == kRingModLock || p == kArpOn || p == kArpModSmooth || p == kAdsr1Legato ||
             p == kAdsr1X10 || p == kAdsr2Legato || p == kAdsr2X10 || p == kLfo1Retrigger ||
             p == kLfo1Sync || p == kLfo2Retrigger || p == kLfo2Sync || p == kAftertouchToModW) {
    t.Choice(kOffOn, v);
  } else {
    ParamSnapshot probe;
    const FieldConversion c = FieldOf(probe, p).conversion;
    if (c == FieldConversion::Percent || c == FieldConversion::Hundredth ||
        c == FieldConversion::ReverbLength || c == FieldConversion::ReverbDamp) {
      t.Fixed(v * 100.0);
      t.Put(" %");
    } else if (param != nullptr) {
      // A value the table gives no words for reads as the host shows it.
      char buf[64];
      param->FormatValue(v, false, buf, sizeof buf, true);
      t.Put(buf);
      if (param->label[0] != 0) {
        t.Put(" ");
        t.Put(param->label);
      }
    }
  }
}

void FormatPanelDisplay(const PlugParameter* param, const DisplayReading& r, char* out,
                        std::size_t size) {
  if (out == nullptr || size == 0) return;
  out[0] = 0;
  if (r.param < 0 || param == nullptr) return;
  TextOut t(out, size);
  t.Put(param->name);
  t.Put(" \n");
  AppendDisplayValue(param, r, out, size);
}

}  // namespace morvanta
