// One host-visible parameter: definition, the normalised mapping
// ((v - min) / (max - min))^(1 / shape), locale-independent display and parsing.
#include "plugin/PlugParameter.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace morvanta {

namespace {

void CopyText(char* dst, size_t dstSize, const char* src) {
  if (dstSize == 0) return;
  size_t n = src ? strnlen(src, dstSize - 1) : 0;
  if (n) std::memcpy(dst, src, n);
  dst[n] = 0;
}

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void PlugParameter::DefineDouble(const char* paramName, double defValue, double minValue,
                                 double maxValue, double stepValue, const char* unitLabel,
                                 double shapeValue) {
  if (kind == ParameterKind::None) kind = ParameterKind::Double;
  CopyText(name, sizeof name, paramName);
  CopyText(label, sizeof label, unitLabel);
  min = minValue;
  value = defValue;
  step = stepValue;
  def = defValue;
  displayPrecision = 0;
  max = std::fmax(maxValue, minValue + stepValue);
  double s = stepValue;
  while (std::isfinite(s) && s != std::floor(s) && displayPrecision < 6) {
    ++displayPrecision;
    s *= 10.0;
  }
  if (shapeValue != 0.0) shape = shapeValue;
}

void PlugParameter::DefineInt(const char* paramName, int defValue, int minValue, int maxValue,
                              const char* unitLabel, double shapeValue) {
  if (kind == ParameterKind::None) kind = ParameterKind::Int;
  DefineDouble(paramName, defValue, minValue, maxValue, 1.0, unitLabel, shapeValue);
}

double PlugParameter::NormalizedValue() const { return Normalise(value); }

double PlugParameter::Normalise(double plain) const {
  const double range = max - min;
  if (!(range > 0.0) || std::isnan(plain)) return 0.0;
  const double v = Clamp(plain, min, max);
  const double e = shape > 0.0 ? 1.0 / shape : 1.0;
  const double x = std::pow((v - min) / range, e);
  return std::isfinite(x) ? Clamp(x, 0.0, 1.0) : 0.0;
}

void PlugParameter::SetFromNormalized(double x) {
  if (std::isnan(x)) return;
  x = Clamp(x, 0.0, 1.0);
  double v = min + std::pow(x, shape) * (max - min);
  if (kind != ParameterKind::Double && step > 0.0) v = std::floor(v / step + 0.5) * step;
  if (std::isnan(v)) return;
  value = Clamp(v, min, max);
}

void PlugParameter::FormatValue(double v, bool isNormalised, char* out, int outSize,
                                bool useDisplayTexts) const {
  if (out == nullptr || outSize <= 0) return;
  if (isNormalised) {
    const double x = std::isnan(v) ? 0.0 : Clamp(v, 0.0, 1.0);
    v = min + std::pow(x, shape) * (max - min);
  }
  if (useDisplayTexts && !displayTexts.empty() && std::isfinite(v) && std::fabs(v) < 2e9) {
    const int32_t k = static_cast<int32_t>(std::trunc(v));
    for (const DisplayText& t : displayTexts) {
      if (t.value != k) continue;
      if (t.text[0] != 0) {
        CopyText(out, static_cast<size_t>(outSize), t.text);
        return;
      }
      break;
    }
  }
  if (negateDisplay) v = -v;
  char buf[400];
  std::to_chars_result r;
  if (std::isnan(v)) {
    r = std::to_chars(buf, buf + sizeof buf, 0);
  } else if (displayPrecision > 0) {
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed,
                      static_cast<int>(Clamp(displayPrecision, 0, 6)));
  } else {
    const double t = Clamp(std::trunc(v), -2147483648.0, 2147483647.0);
    r = std::to_chars(buf, buf + sizeof buf, static_cast<int32_t>(t));
  }
  const size_t n = r.ec == std::errc() ? static_cast<size_t>(r.ptr - buf) : 0;
  const size_t keep = n < static_cast<size_t>(outSize - 1) ? n : static_cast<size_t>(outSize - 1);
  std::memcpy(out, buf, keep);
  out[keep] = 0;
}

const char* PlugParameter::UnitLabel() const {
  if (!displayTexts.empty() && std::isfinite(value) && std::fabs(value) < 2e9) {
    const int32_t k = static_cast<int32_t>(std::trunc(value));
    for (const DisplayText& t : displayTexts) {
      if (t.value == k) return t.text[0] != 0 ? "" : label;
    }
  }
  return label;
}

bool PlugParameter::ParseText(const char* text, double* v) const {
  if (text == nullptr || v == nullptr) return false;
  if (!displayTexts.empty()) {
    for (const DisplayText& t : displayTexts) {
      if (std::strcmp(t.text, text) == 0) {
        *v = t.value;
        return true;
      }
    }
    return false;
  }
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  if (*p == '+') ++p;
  const char* end = p + std::strlen(p);
  double parsed = 0.0;
  const std::from_chars_result r = std::from_chars(p, end, parsed, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond what a double holds: a negative exponent means a tiny number, else a huge one.
    const char* e = p;
    while (e < r.ptr && *e != 'e' && *e != 'E') ++e;
    const bool tiny = e + 1 < r.ptr && e[1] == '-';
    parsed = tiny ? 0.0 : (*p == '-' ? -HUGE_VAL : HUGE_VAL);
  } else if (r.ec != std::errc()) {
    parsed = 0.0;
  }
  if (negateDisplay) parsed = -parsed;
  *v = parsed;
  return true;
}

}  // namespace morvanta
