// The phrases the preset audition plays: the category read from a program's
// name, and a phrase that really exercises the program.
#include <gtest/gtest.h>

#include <vector>

#include "instrument/ParamTable.h"
#include "tools/audition/AuditionPhrase.h"

namespace morvanta {
namespace audition {
namespace {

ProgramValues Values(int voiceMode) {
  ProgramValues v;
  v.values.assign(kNumParams, 0.0);
  v.values[kVoiceMode] = voiceMode;
  v.values[kArpStepsCount] = 16;
  return v;
}

std::vector<int> NoteOnKeys(const Phrase& p) {
  std::vector<int> keys;
  for (const render::TimedMidi& m : p.sequence.Messages()) {
    if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) keys.push_back(m.bytes[1]);
  }
  return keys;
}

TEST(AuditionPhrase, CategoryComesFromTheLeadingWordInAnyCase) {
  EXPECT_EQ(CategoryOfName("Fx laser 1"), Category::kFx);
  EXPECT_EQ(CategoryOfName("FX mouth pop 1"), Category::kFx);
  EXPECT_EQ(CategoryOfName("Live arp chip pulse 1"), Category::kLiveArp);
  EXPECT_EQ(CategoryOfName("Arp glider 1"), Category::kArp);
  EXPECT_EQ(CategoryOfName("init"), Category::kInit);
  EXPECT_EQ(CategoryOfName("Lively"), Category::kOther);
  EXPECT_EQ(CategoryOfName("Keyser"), Category::kOther);
  EXPECT_EQ(CategoryOfName(""), Category::kOther);
}

TEST(AuditionPhrase, ArpeggiosHoldAChordOnlyWhenTheProgramArpeggiatesKeys) {
  EXPECT_EQ(NoteOnKeys(MakePhrase(Category::kArp, Values(1))).size(), 4u);
  EXPECT_EQ(NoteOnKeys(MakePhrase(Category::kArp, Values(2))).size(), 1u);
}

TEST(AuditionPhrase, MonoLinesNeverRepeatAKeyBackToBack) {
  // Overlapping notes on one key would let the old note-off cut the new note.
  for (Category c : {Category::kLead, Category::kBass}) {
    const std::vector<int> keys = NoteOnKeys(MakePhrase(c, Values(0)));
    ASSERT_GE(keys.size(), 3u);
    for (size_t i = 1; i < keys.size(); ++i) EXPECT_NE(keys[i], keys[i - 1]);
  }
}

TEST(AuditionPhrase, TheWheelSweepsOnlyForProgramsThatUseIt) {
  auto controllers = [](const Phrase& p) {
    int n = 0;
    for (const render::TimedMidi& m : p.sequence.Messages()) n += (m.bytes[0] & 0xF0) == 0xB0;
    return n;
  };
  ProgramValues wheel = Values(2);
  wheel.values[kModwToFC] = -20.0;
  const Phrase swept = MakePhrase(Category::kPad, wheel);
  EXPECT_TRUE(swept.wheelSweep);
  EXPECT_GT(controllers(swept), 2);
  // The sweep stays inside the held part, before the release.
  for (const render::TimedMidi& m : swept.sequence.Messages()) {
    if ((m.bytes[0] & 0xF0) == 0xB0) {
      EXPECT_LT(m.seconds, swept.releaseSeconds);
    }
  }
  EXPECT_EQ(controllers(MakePhrase(Category::kPad, Values(2))), 0);
}

TEST(AuditionPhrase, ReleaseIsTheLastNoteOffAfterTheLeadIn) {
  const Phrase drums = MakePhrase(Category::kDrum, Values(2));
  EXPECT_DOUBLE_EQ(drums.firstNoteSeconds, kLeadInSeconds);
  EXPECT_NEAR(drums.releaseSeconds, kLeadInSeconds + 1.1, 1e-9);  // hits 0.5 s apart, 0.1 s long
}

}  // namespace
}  // namespace audition
}  // namespace morvanta
