// The controllers a keyboard and a host send beyond notes: the sustain pedal,
// All Sound Off, All Notes Off with the mode messages, Reset All Controllers.
// Played through the shipped plug-in and our host, in every voice mode, with
// blocks that split the event lists at odd places.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "instrument/ParamTable.h"
#include "support/EngineTestKit.h"
#include "tools/host/VstHost.h"

namespace morvanta {
namespace {

constexpr int kRate = 44100;
const char* const kModeNames[] = {"MONO", "LIVE ARP", "POLY"};

struct TimedEvent {
  int frame;
  host::MidiEvent event;
};

// Plays timed events through the plug-in in blocks of a fixed size; each
// block's events go to the plug-in with their offsets inside that block.
class Performance {
 public:
  Performance(int voiceMode, int block) : block_(block) {
    std::string error;
    plugin_ = host::PluginInstance::Load(MORVANTA_PLUGIN_PATH, &error);
    EXPECT_TRUE(plugin_) << error;
    if (!plugin_) return;
    plugin_->SetSampleRate(kRate);
    plugin_->SetBlockSize(block);
    plugin_->Resume();
    Set(kVoiceMode, std::to_string(voiceMode));
    Set(kAdsr1Release, "0.02");  // short enough that a release is over in 0.1 s
    Set(kAdsr2Release, "0.02");
  }

  void Set(int index, const std::string& value) {
    if (plugin_) {
      EXPECT_TRUE(plugin_->SetParameterText(index, value)) << index;
    }
  }
  void At(double seconds, int status, int d1, int d2) {
    host::MidiEvent e;
    e.bytes[0] = static_cast<uint8_t>(status);
    e.bytes[1] = static_cast<uint8_t>(d1);
    e.bytes[2] = static_cast<uint8_t>(d2);
    events_.push_back({static_cast<int>(std::lround(seconds * kRate)), e});
  }
  void NoteOn(double t, int note) { At(t, 0x90, note, 100); }
  void NoteOff(double t, int note) { At(t, 0x80, note, 0); }
  // The pedal on channel 5: the instrument listens on every channel.
  void Pedal(double t, bool down) { At(t, 0xB4, 64, down ? 127 : 0); }

  // Renders up to `seconds` and keeps the left channel.
  void PlayUntil(double seconds) {
    if (!plugin_) return;
    std::stable_sort(events_.begin(), events_.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    const int end = static_cast<int>(std::lround(seconds * kRate));
    std::vector<float> l(block_), r(block_);
    while (static_cast<int>(left_.size()) < end) {
      const int pos = static_cast<int>(left_.size());
      std::vector<host::MidiEvent> due;
      while (next_ < events_.size() && events_[next_].frame < pos + block_) {
        host::MidiEvent e = events_[next_++].event;
        e.deltaFrames = std::max(0, events_[next_ - 1].frame - pos);
        due.push_back(e);
      }
      if (!due.empty()) plugin_->SendMidi(due);
      float* outs[2] = {l.data(), r.data()};
      plugin_->ProcessFloat(outs, block_);
      left_.insert(left_.end(), l.begin(), l.end());
    }
  }

  // Peak of the left channel over 20 ms from `seconds`.
  double LevelAt(double seconds) {
    PlayUntil(seconds + 0.02);
    const size_t a = static_cast<size_t>(std::lround(seconds * kRate));
    return testkit::Peak(std::vector<double>(left_.begin(), left_.end()), a, a + kRate / 50);
  }
  double FrequencyAt(double seconds, double length) {
    PlayUntil(seconds + length);
    const size_t a = static_cast<size_t>(std::lround(seconds * kRate));
    const std::vector<double> x(left_.begin(), left_.end());
    return testkit::ZeroCrossingFrequency(x, a, a + static_cast<size_t>(length * kRate), kRate);
  }
  host::PluginInstance& Plugin() { return *plugin_; }

 private:
  std::unique_ptr<host::PluginInstance> plugin_;
  int block_;
  std::vector<TimedEvent> events_;
  size_t next_ = 0;
  std::vector<float> left_;
};

constexpr double kSounding = 0.01;  // the init sound peaks near 0.09
constexpr double kSilent = 1e-4;

TEST(SustainPedal, HoldsReleasedNotesUntilItLiftsInEveryMode) {
  for (int mode = 0; mode < 3; ++mode) {
    for (int block : {64, 1000}) {
      SCOPED_TRACE(std::string(kModeNames[mode]) + ", blocks of " + std::to_string(block));
      Performance p(mode, block);
      p.NoteOn(0.0, 60);
      p.Pedal(0.05, true);
      p.NoteOff(0.1, 60);
      p.Pedal(0.5, false);
      EXPECT_GT(p.LevelAt(0.3), kSounding);  // sustained past its note-off
      EXPECT_LT(p.LevelAt(0.65), kSilent);   // released when the pedal lifted

      Performance q(mode, block);  // a pedal pressed after the note-off holds nothing
      q.NoteOn(0.0, 60);
      q.NoteOff(0.1, 60);
      q.Pedal(0.12, true);
      EXPECT_LT(q.LevelAt(0.3), kSilent);
    }
  }
}

TEST(SustainPedal, ValuesFromSixtyFourAreDown) {
  for (int value : {63, 64}) {
    Performance p(2, 256);
    p.NoteOn(0.0, 60);
    p.At(0.05, 0xB0, 64, value);
    p.NoteOff(0.1, 60);
    const double level = p.LevelAt(0.3);
    if (value >= 64) {
      EXPECT_GT(level, kSounding);
    } else {
      EXPECT_LT(level, kSilent);
    }
  }
}

TEST(SustainPedal, PolyKeyStruckAgainSoundsAnewAndOthersStaySustained) {
  Performance p(2, 300);
  p.Set(kAdsr1Decay, "0.05");
  p.Set(kAdsr1Sustain, "20");  // a struck key is loud for a moment, then settles at 20 %
  p.Pedal(0.0, true);
  p.NoteOn(0.0, 60);
  p.NoteOff(0.1, 60);
  p.NoteOn(0.0, 64);
  p.NoteOff(0.1, 64);
  const double settled = p.LevelAt(0.4);
  EXPECT_GT(settled, 2e-3);  // both keys up, both sustained
  p.NoteOn(0.5, 60);  // re-struck while sustained
  EXPECT_GT(p.LevelAt(0.51), 2.0 * settled);
  EXPECT_GT(p.LevelAt(0.9), 0.7 * settled);  // 64 still sustained, 60 held
  p.NoteOff(1.0, 60);
  EXPECT_GT(p.LevelAt(1.2), 0.7 * settled);  // both held by the pedal now
  p.Pedal(1.5, false);
  EXPECT_LT(p.LevelAt(1.7), kSilent);
}

TEST(SustainPedal, MonoVoiceTakenByALaterKeyIsNotReleasedWithThePedal) {
  Performance p(0, 128);
  p.NoteOn(0.0, 60);
  p.Pedal(0.05, true);
  p.NoteOff(0.1, 60);   // sustained
  p.NoteOn(0.2, 67);    // takes voice 0, its key stays down
  p.Pedal(0.4, false);
  EXPECT_NEAR(p.FrequencyAt(0.6, 0.2), 440.0 * std::pow(2.0, -2.0 / 12.0), 0.5);  // 67 plays on
  p.NoteOff(0.9, 67);
  EXPECT_LT(p.LevelAt(1.0), kSilent);

  Performance q(0, 128);  // the later key released under the pedal is sustained in turn
  q.NoteOn(0.0, 60);
  q.Pedal(0.05, true);
  q.NoteOff(0.1, 60);
  q.NoteOn(0.2, 67);
  q.NoteOff(0.3, 67);
  EXPECT_GT(q.LevelAt(0.5), kSounding);
  q.Pedal(0.6, false);
  EXPECT_LT(q.LevelAt(0.75), kSilent);
}

TEST(SustainPedal, LiveArpKeepsSustainedKeysInTheArpeggio) {
  Performance p(1, 700);
  p.Set(kArpTempoDivider, "4");  // 0.5 s steps
  p.Pedal(0.0, true);
  p.NoteOn(0.0, 57);  // 220 Hz
  p.NoteOn(0.0, 69);  // 440 Hz
  p.NoteOff(0.2, 57);
  p.NoteOff(0.2, 69);
  // Steps alternate 57, 69, 57, ... with both keys up but sustained.
  EXPECT_NEAR(p.FrequencyAt(1.1, 0.3), 220.0, 0.5);
  EXPECT_NEAR(p.FrequencyAt(1.6, 0.3), 440.0, 0.5);
  p.NoteOn(1.95, 69);  // struck again: held by its key now
  p.Pedal(2.0, false);
  // Only 69 is left: its single step plays on.
  EXPECT_NEAR(p.FrequencyAt(2.6, 0.3), 440.0, 0.5);
  EXPECT_NEAR(p.FrequencyAt(3.1, 0.3), 440.0, 0.5);
  p.NoteOff(3.5, 69);
  EXPECT_LT(p.LevelAt(3.65), kSilent);
}

TEST(ChannelMode, AllSoundOffSilencesAtOnceWithoutRelease) {
  for (int mode = 0; mode < 3; ++mode) {
    SCOPED_TRACE(kModeNames[mode]);
    Performance p(mode, 333);
    p.Set(kAdsr1Release, "3");
    p.Set(kAdsr2Release, "3");
    p.Set(kAdsr2ToFR, "100");  // a ringing filter tail behind the second envelope
    p.Pedal(0.0, true);
    p.NoteOn(0.0, 48);
    p.NoteOn(0.0, 55);
    p.NoteOff(0.1, 55);
    p.At(0.3, 0xB2, 120, 0);
    EXPECT_GT(p.LevelAt(0.25), kSounding);
    EXPECT_LT(p.LevelAt(0.35), kSilent);
    p.NoteOn(0.5, 60);  // plays normally afterwards
    EXPECT_GT(p.LevelAt(0.6), kSounding);
  }
}

TEST(ChannelMode, AllNotesOffAndModeMessagesReleaseHeldAndSustainedNotes) {
  for (int controller : {123, 124, 125, 126, 127}) {
    // All Notes Off in every mode; the mode messages, which act the same, in POLY.
    for (int mode = controller == 123 ? 0 : 2; mode < 3; ++mode) {
      SCOPED_TRACE(std::string(kModeNames[mode]) + ", controller " + std::to_string(controller));
      Performance p(mode, 500);
      p.Set(kAdsr1Release, "0.2");
      p.Pedal(0.0, true);
      p.NoteOn(0.0, 60);
      p.NoteOn(0.0, 64);
      p.NoteOff(0.1, 64);  // sustained; 60 is still held
      p.At(0.3, 0xB0, controller, controller == 126 ? 1 : 0);
      const double before = p.LevelAt(0.28);
      EXPECT_GT(p.LevelAt(0.31), 0.3 * before);  // a release, not a cut
      EXPECT_LT(p.LevelAt(0.55), kSilent);
      // The pedal is still down: a note played now is sustained again.
      p.NoteOn(0.6, 62);
      p.NoteOff(0.7, 62);
      EXPECT_GT(p.LevelAt(0.9), kSounding);
    }
  }
}

TEST(ChannelMode, ResetAllControllersCentresTheWheelsAndLiftsThePedal) {
  for (int mode = 0; mode < 3; ++mode) {
    SCOPED_TRACE(kModeNames[mode]);
    Performance p(mode, 200);
    p.At(0.0, 0xB0, 1, 127);   // mod wheel up
    p.At(0.0, 0xE0, 0, 0);     // bend to the bottom: an octave down
    p.Pedal(0.0, true);
    p.NoteOn(0.0, 69);
    EXPECT_NEAR(p.FrequencyAt(0.1, 0.2), 220.0, 0.5);
    EXPECT_FLOAT_EQ(p.Plugin().GetParameter(kModWheel), 1.0f);
    p.At(0.4, 0xB0, 121, 0);
    EXPECT_NEAR(p.FrequencyAt(0.5, 0.2), 440.0, 0.5);
    EXPECT_FLOAT_EQ(p.Plugin().GetParameter(kModWheel), 0.0f);
    p.NoteOff(0.8, 69);  // the pedal is up: this releases at once
    EXPECT_LT(p.LevelAt(0.95), kSilent);
  }
}

TEST(ChannelMode, OtherControllersChangeNothing) {
  Performance plain(2, 512), busy(2, 512);
  for (Performance* p : {&plain, &busy}) {
    p->NoteOn(0.0, 60);
    p->NoteOff(0.2, 60);
  }
  for (int cc : {0, 7, 10, 11, 65, 66, 67, 122}) busy.At(0.1, 0xB0, cc, 127);
  for (double t : {0.05, 0.15, 0.25, 0.3}) EXPECT_EQ(plain.LevelAt(t), busy.LevelAt(t)) << t;
}

}  // namespace
}  // namespace morvanta
