// One host-visible parameter: kind, plain value, range, step, mapping shape,
// default, display precision, name and unit label; maps between plain values
// and the normalised 0..1 numbers that hosts and editor controls use.
#pragma once

#include <cstdint>
#include <vector>

namespace morvanta {

// Parameter kinds as the core stores them.
enum class ParameterKind : int32_t { None = 0, Bool = 1, Int = 2, Enum = 3, Double = 4 };

struct DisplayText {
  int32_t value = 0;
  char text[32] = {};
};

class PlugParameter {
 public:
  void DefineDouble(const char* name, double def, double min, double max, double step,
                    const char* label, double shape = 1.0);
  void DefineInt(const char* name, int def, int min, int max, const char* label,
                 double shape = 1.0);

  double NormalizedValue() const;
  // The normalised 0..1 form of a plain value (clamped into the range first).
  double Normalise(double plain) const;
  // Sets the value from x in 0..1 (x outside is clamped; NaN is ignored).
  void SetFromNormalized(double x);
  // Stores v clamped into [min, max]; a NaN keeps the current value.
  void SetClamped(double v) {
    if (v != v) return;
    value = v < min ? min : (v > max ? max : v);
  }
  // Writes the display text of v into out (at most outSize bytes with the
  // terminator). Locale-independent.
  void FormatValue(double v, bool isNormalised, char* out, int outSize,
                   bool useDisplayTexts) const;
  const char* UnitLabel() const;
  // Text -> plain value: the leading decimal number of the text (0 if none),
  // read with '.' as the decimal point whatever the process locale is.
  // Returns false when the parameter has display texts and none matches.
  bool ParseText(const char* text, double* v) const;

  ParameterKind kind = ParameterKind::None;
  double value = 0.0;
  double min = 0.0;
  double max = 1.0;
  double step = 1.0;
  double shape = 1.0;
  double def = 0.0;
  int32_t displayPrecision = 0;
  char name[32] = {};
  char label[32] = {};
  bool negateDisplay = false;
  std::vector<DisplayText> displayTexts;
};

}  // namespace morvanta
