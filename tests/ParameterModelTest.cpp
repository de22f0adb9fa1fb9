// The parameter record: definition, normalised mapping, display and text entry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "plugin/PlugParameter.h"
#include "support/CommaLocale.h"

namespace morvanta {
namespace {

PlugParameter Pitch() {
  PlugParameter p;
  p.DefineInt("Pitch", 0, -24, 24, "");
  return p;
}

PlugParameter Glide() {
  PlugParameter p;
  p.DefineDouble("Glide time", 0.0, 0.0, 1.0, 0.01, "%");
  return p;
}

PlugParameter Attack() {
  PlugParameter p;
  p.DefineDouble("ADSR1 attack", 0.01, 0.0, 5.0, 0.01, "s");
  p.shape = 3.0;
  return p;
}

std::string Display(const PlugParameter& p, double v, bool normalised = false) {
  char out[32];
  p.FormatValue(v, normalised, out, sizeof out, true);
  return out;
}

TEST(ParameterModelTest, DefinitionSetsKindPrecisionAndRange) {
  PlugParameter glide = Glide();
  EXPECT_EQ(glide.kind, ParameterKind::Double);
  EXPECT_EQ(glide.displayPrecision, 2);  // 0.01 -> 0.1 -> 1: two steps
  PlugParameter half;
  half.DefineDouble("x", 0, 0, 1, 0.05, "");
  EXPECT_EQ(half.displayPrecision, 2);  // 0.05 -> 0.5 -> 5
  EXPECT_EQ(Pitch().kind, ParameterKind::Int);
  EXPECT_EQ(Pitch().displayPrecision, 0);
  PlugParameter empty;
  empty.DefineDouble("e", 0, 0, 0, 1, "");
  EXPECT_EQ(empty.max, 1.0);  // max := max(0, 0 + step 1)
  PlugParameter longName;
  longName.DefineDouble(std::string(40, 'n').c_str(), 0, 0, 1, 1, std::string(40, 'l').c_str());
  EXPECT_EQ(std::string(longName.name), std::string(31, 'n'));
  EXPECT_EQ(std::string(longName.label), std::string(31, 'l'));
}

TEST(ParameterModelTest, NormalisedMappingRoundsIntegersOnly) {
  PlugParameter pitch = Pitch();
  EXPECT_DOUBLE_EQ(pitch.NormalizedValue(), 0.5);  // (0 + 24) / 48
  pitch.SetFromNormalized(0.51);
  EXPECT_EQ(pitch.value, 0.0);  // -24 + 24.48 = 0.48 -> 0
  pitch.SetFromNormalized(1.0);
  EXPECT_EQ(pitch.value, 24.0);

  PlugParameter mode;
  mode.DefineInt("Voice mode", 0, 0, 2, "");
  mode.SetFromNormalized(0.74);
  EXPECT_EQ(mode.value, 1.0);  // 1.48 -> 1
  mode.SetFromNormalized(0.76);
  EXPECT_EQ(mode.value, 2.0);  // 1.52 -> 2

  PlugParameter glide = Glide();
  glide.SetFromNormalized(0.123);
  EXPECT_DOUBLE_EQ(glide.value, 0.123);
  EXPECT_EQ(Display(glide, glide.value), "0.12");

  PlugParameter attack = Attack();
  attack.SetFromNormalized(0.5);
  EXPECT_DOUBLE_EQ(attack.value, 0.625);  // 0.5^3 * 5
  EXPECT_NEAR(attack.NormalizedValue(), 0.5, 1e-12);
}

TEST(ParameterModelTest, HostValuesOutsideTheRangeNeverStored) {
  PlugParameter pitch = Pitch();
  pitch.SetFromNormalized(1.7);
  EXPECT_EQ(pitch.value, 24.0);
  pitch.SetFromNormalized(-3.0);
  EXPECT_EQ(pitch.value, -24.0);
  pitch.SetFromNormalized(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(pitch.value, -24.0);
  pitch.SetFromNormalized(std::numeric_limits<double>::infinity());
  EXPECT_EQ(pitch.value, 24.0);

  PlugParameter glide = Glide();
  glide.SetClamped(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(glide.value, 0.0);
  glide.SetClamped(-std::numeric_limits<double>::infinity());
  EXPECT_EQ(glide.value, 0.0);
  glide.SetClamped(7.0);
  EXPECT_EQ(glide.value, 1.0);
  glide.value = 5.0;  // a stray value is still reported inside 0..1
  EXPECT_EQ(glide.NormalizedValue(), 1.0);
}

TEST(ParameterModelTest, DisplayTruncatesOrPrintsThePrecision) {
  PlugParameter delay;
  delay.DefineDouble("Delay Time", 400, 20, 1000, 1, "ms");
  EXPECT_EQ(Display(delay, 400.0), "400");
  EXPECT_EQ(Display(delay, 400.7), "400");
  EXPECT_EQ(Display(delay, -3.9), "-3");  // truncated toward zero
  PlugParameter undefined;
  EXPECT_EQ(undefined.kind, ParameterKind::None);
  EXPECT_EQ(Display(undefined, 1.0), "1");
  EXPECT_STREQ(undefined.UnitLabel(), "");
  EXPECT_EQ(Display(Attack(), 0.5, true), "0.62");  // 0.5^3 * 5 = 0.625
  EXPECT_EQ(Display(Glide(), 2.0, true), "1.00");   // normalised input clamped to 1
  EXPECT_EQ(Display(delay, 1e300), "2147483647");

  char tiny[4];
  Glide().FormatValue(0.5, false, tiny, sizeof tiny, true);
  EXPECT_STREQ(tiny, "0.5");  // "0.50" cut to fit three characters
}

TEST(ParameterModelTest, TextEntryReadsTheLeadingNumber) {
  PlugParameter pitch = Pitch();
  double v = 0;
  ASSERT_TRUE(pitch.ParseText("2.7", &v));
  EXPECT_DOUBLE_EQ(v, 2.7);
  ASSERT_TRUE(pitch.ParseText("  -3.5 semitones", &v));
  EXPECT_DOUBLE_EQ(v, -3.5);
  ASSERT_TRUE(pitch.ParseText("+4", &v));
  EXPECT_DOUBLE_EQ(v, 4.0);
  ASSERT_TRUE(pitch.ParseText("abc", &v));
  EXPECT_EQ(v, 0.0);
  ASSERT_TRUE(pitch.ParseText("1e999", &v));
  EXPECT_TRUE(std::isinf(v) && v > 0);
  ASSERT_TRUE(pitch.ParseText("1e-999", &v));
  EXPECT_EQ(v, 0.0);
  pitch.negateDisplay = true;
  ASSERT_TRUE(pitch.ParseText("5", &v));
  EXPECT_EQ(v, -5.0);
  EXPECT_EQ(Display(pitch, 5.0), "-5");
}

TEST(ParameterModelTest, ConversionsIgnoreACommaDecimalLocale) {
  testing::CommaLocale locale;
  if (!locale.Active()) {
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") FAIL() << "de_DE.UTF-8 must be installed on CI";
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  }
  PlugParameter gain;
  gain.DefineDouble("Amp gain", 50, 0, 100, 0.01, "%");
  EXPECT_EQ(Display(gain, gain.value), "50.00");
  double v = 0;
  ASSERT_TRUE(gain.ParseText("2.7", &v));
  EXPECT_DOUBLE_EQ(v, 2.7);
  ASSERT_TRUE(gain.ParseText("2,7", &v));
  EXPECT_DOUBLE_EQ(v, 2.0);  // the comma ends the number
}

}  // namespace
}  // namespace morvanta
