// The parameter table as the host sees it, and how stored values reach the
// engine snapshot (and come back from it).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "instrument/Brisquet.h"
#include "instrument/ParamTable.h"
#include "instrument/SnapshotFields.h"

namespace morvanta {
namespace {

std::unique_ptr<Brisquet> MakeInstrument() {
  return std::unique_ptr<Brisquet>(static_cast<Brisquet*>(CreateInstrument(nullptr)));
}

void Set(Brisquet& b, int index, double v) {
  b.ParameterAt(index)->value = v;
  b.ParameterChanged(index);
}

// Every name and label as the host reads it is in the golden outputs; here
// only the lookup by name.
TEST(ParamTableTest, FindsAParameterByItsExactName) {
  EXPECT_EQ(FindParamByName("Delay Time"), kDelayTime);
  EXPECT_EQ(FindParamByName("Harmonics 16"), kHarmonics1 + 15);
  EXPECT_EQ(FindParamByName("delay time"), -1);
  EXPECT_EQ(FindParamByName(""), -1);
}

TEST(ParamTableTest, EveryIndexIsDefinedExceptTheFourCommandSlots) {
  int undefined = 0;
  for (int i = 0; i < kNumParams; ++i) {
    if (ParamDefAt(i).kind == ParameterKind::None) ++undefined;
  }
  EXPECT_EQ(undefined, 4);  // 20, 236, 237, 239
  EXPECT_EQ(ParamDefAt(kUndoButton).kind, ParameterKind::None);
  EXPECT_EQ(ParamDefAt(kCopyButton).kind, ParameterKind::None);
}

TEST(ParamTableTest, DefinedRecordsFollowTheTable) {
  auto b = MakeInstrument();
  const PlugParameter* pitch = b->ParameterAt(kPitch);
  EXPECT_EQ(pitch->kind, ParameterKind::Int);
  EXPECT_DOUBLE_EQ(pitch->NormalizedValue(), 0.5);  // (0 - -24) / 48
  // (0.25 / 5)^(1/3)
  EXPECT_NEAR(b->ParameterAt(kAdsr1Decay)->NormalizedValue(), 0.368403, 1e-6);
  // ((400 - 20) / 980)^(1/2)
  EXPECT_NEAR(b->ParameterAt(kDelayTime)->NormalizedValue(), 0.622700, 1e-6);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kVoiceMode)->NormalizedValue(), 1.0);
  EXPECT_EQ(b->ParameterAt(kDelayTime)->displayPrecision, 0);
  EXPECT_EQ(b->ParameterAt(kHarmonics1 + 3)->displayPrecision, 2);  // step 0.05
  EXPECT_DOUBLE_EQ(b->ParameterAt(kHarmonics1)->value, 100.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kHarmonics1 + 1)->value, 0.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kTubeDrive)->shape, 2.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kAdsr2Release)->shape, 3.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kDelayWidth)->value, 65.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kAftertouchToModW)->value, 1.0);
}

TEST(ParameterChangedTest, DefaultsFillTheSnapshotInEngineUnits) {
  auto b = MakeInstrument();
  const ParamSnapshot& s = b->Snapshot();
  EXPECT_EQ(s.voiceMode, 2);
  EXPECT_DOUBLE_EQ(s.ampGain, 0.5);
  EXPECT_DOUBLE_EQ(s.harmonics[0], 1.0);
  EXPECT_DOUBLE_EQ(s.adsr1.attack, 0.01);
  EXPECT_DOUBLE_EQ(s.adsr1.sustain, 1.0);
  EXPECT_DOUBLE_EQ(s.delayTime, 400.0);
  EXPECT_DOUBLE_EQ(s.delayWidth, 0.65);
  EXPECT_DOUBLE_EQ(s.pitchRange, 12.0);
  EXPECT_DOUBLE_EQ(s.arpModTo.fc, 0.5);
  EXPECT_DOUBLE_EQ(s.reverb.lengthFactor, 0.76);  // 0.2 + 0.8 * 0.7
  EXPECT_TRUE(b->Engine().AftertouchToModW());
  // A fresh record holds the same defaults as the parameter table.
  EXPECT_EQ(s, ParamSnapshot());
}

TEST(ParameterChangedTest, ConvertsEachKindOfValue) {
  auto b = MakeInstrument();
  Set(*b, kVoiceMode, 1);
  EXPECT_EQ(b->Snapshot().voiceMode, 1);
  Set(*b, kVoiceMode, 0);
  EXPECT_EQ(b->Snapshot().voiceMode, 0);
  Set(*b, kVoiceMode, 2);
  EXPECT_EQ(b->Snapshot().voiceMode, 2);
  Set(*b, kPitch, -7);
  EXPECT_DOUBLE_EQ(b->Snapshot().pitch, -7.0);
  Set(*b, kPitch, 2.7);  // text entry can store a fraction; the snapshot holds whole semitones
  EXPECT_DOUBLE_EQ(b->Snapshot().pitch, 2.0);
  Set(*b, kFine, -100);
  EXPECT_DOUBLE_EQ(b->Snapshot().fine, -1.0);
  Set(*b, kHarmonics1 + 4, 35);
  EXPECT_DOUBLE_EQ(b->Snapshot().harmonics[4], 35 * 0.01);
  Set(*b, kLfo2Sync, 1);
  EXPECT_TRUE(b->Snapshot().lfo2.sync);
  Set(*b, kLfo1Shape, 5);
  EXPECT_EQ(b->Snapshot().lfo1.shape, 5);
  Set(*b, kAdsr2X10, 1);
  EXPECT_EQ(b->Snapshot().adsr2.x10, 1);
  Set(*b, kModwToPitchNoise, -40);
  EXPECT_DOUBLE_EQ(b->Snapshot().modwTo.pitchNoise, -0.4);
  Set(*b, kArpPitch1 + 2, 12);
  EXPECT_DOUBLE_EQ(b->Snapshot().arpPitch[2], 12.0);
  Set(*b, kAftertouchToModW, 0);
  EXPECT_FALSE(b->Engine().AftertouchToModW());
}

TEST(ParameterChangedTest, ReverbLengthAndDampFillTwoSlotsEach) {
  auto b = MakeInstrument();
  Set(*b, kReverbLength, 50);
  EXPECT_DOUBLE_EQ(b->Snapshot().reverb.length, 0.5);
  EXPECT_DOUBLE_EQ(b->Snapshot().reverb.lengthFactor, 0.6);  // 50 * 0.8 / 100 + 0.2
  Set(*b, kReverbDamp, 30);
  EXPECT_DOUBLE_EQ(b->Snapshot().reverb.damp, 0.3);
  EXPECT_DOUBLE_EQ(b->Snapshot().reverb.damp2, 0.3);
}

TEST(ParameterChangedTest, CommandButtonsOnlyRecordTheLastChange) {
  auto b = MakeInstrument();
  const ParamSnapshot before = b->Snapshot();
  for (int i = kUndoButton; i <= kCopyButton; ++i) {
    Set(*b, i, 1);
    EXPECT_EQ(b->LastChangedParam(), i);
    EXPECT_EQ(b->Snapshot(), before);
  }
}

TEST(SnapshotTest, EqualityComparesEveryField) {
  ParamSnapshot a, c;
  EXPECT_EQ(a, c);
  c.lfo2.sync = true;
  EXPECT_NE(a, c);
  c = a;
  c.reverb.damp2 = 0.1;
  EXPECT_NE(a, c);
  c = a;
  c.arpMod[15] = NAN;
  a.arpMod[15] = NAN;
  EXPECT_NE(a, c);  // a NaN field never compares equal
}

TEST(SnapshotTest, EqualityNoticesEveryParameterField) {
  for (int i = 0; i < kNumSoundParams; ++i) {
    const ParamSnapshot a;
    ParamSnapshot c;
    const SnapshotField f = FieldOf(c, i);
    if (f.real) {
      *f.real += 1.0;
    } else if (f.integer) {
      *f.integer += 1;
    } else if (f.flag) {
      *f.flag = !*f.flag;
    } else {
      continue;  // no snapshot field
    }
    EXPECT_NE(a, c) << "parameter " << i;
  }
}

TEST(WriteSnapshotToParamsTest, WritesValuesBackInParameterUnits) {
  auto b = MakeInstrument();
  ParamSnapshot& s = b->MutableSnapshot();
  s.pan = 0.25;
  s.voiceMode = 0;
  s.harmonics[3] = 0.4;
  s.reverb.length = 0.3;
  s.reverb.damp = 0.9;
  s.lfo1.sync = true;
  s.delayTime = 5000;   // beyond the range: clamped to 1000
  s.pitchRange = -3;    // below the range: clamped to 1
  s.fine = NAN;         // never stored
  const double fineBefore = b->ParameterAt(kFine)->value;
  b->WriteSnapshotToParams();
  EXPECT_DOUBLE_EQ(b->ParameterAt(kPan)->value, 25.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kVoiceMode)->value, 0.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kHarmonics1 + 3)->value, 40.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kReverbLength)->value, 30.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kReverbDamp)->value, 90.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kLfo1Sync)->value, 1.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kDelayTime)->value, 1000.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kPitchRange)->value, 1.0);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kFine)->value, fineBefore);
  EXPECT_DOUBLE_EQ(b->ParameterAt(kAftertouchToModW)->value, 1.0);
}

TEST(WriteSnapshotToParamsTest, RoundTripsEveryParameter) {
  auto b = MakeInstrument();
  // Give every sound parameter a distinct in-range value, push it through
  // ParameterChanged, write the snapshot back and compare.
  for (int i = 0; i < kNumSoundParams; ++i) {
    PlugParameter* p = b->ParameterAt(i);
    if (p->kind == ParameterKind::None) continue;
    double v = p->min + (p->max - p->min) * ((i * 37) % 100) / 100.0;
    if (p->kind == ParameterKind::Int) v = std::floor(v);
    Set(*b, i, v);
  }
  b->ParameterAt(kVoiceMode)->value = 1;
  b->ParameterChanged(kVoiceMode);
  std::vector<double> expected;
  for (int i = 0; i < kNumParams; ++i) expected.push_back(b->ParameterAt(i)->value);
  for (int i = 0; i < kNumSoundParams; ++i) b->ParameterAt(i)->value = b->ParameterAt(i)->min;
  b->WriteSnapshotToParams();
  for (int i = 0; i < kNumSoundParams; ++i) {
    if (b->ParameterAt(i)->kind == ParameterKind::None && i != kUnnamed20) continue;
    EXPECT_NEAR(b->ParameterAt(i)->value, expected[i], 1e-9) << ParamDefAt(i).name << " #" << i;
  }
}

}  // namespace
}  // namespace morvanta
