// morvanta-render end to end: the real binary, run as a musician would, on
// MIDI files written here, reading back the audio files it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(MORVANTA_BUILD_DIR) + "/tools/morvanta-render";

// A Standard MIDI File built event by event (delta times in ticks).
class SmfWriter {
 public:
  explicit SmfWriter(int division) : division_(division) {}
  void NewTrack() { tracks_.emplace_back(); lastTick_ = 0; }
  void Event(int tick, std::vector<uint8_t> bytes) {
    Vlq(tick - lastTick_);
    lastTick_ = tick;
    tracks_.back().insert(tracks_.back().end(), bytes.begin(), bytes.end());
  }
  void Tempo(int tick, int microsPerBeat) {
    Event(tick, {0xFF, 0x51, 3, static_cast<uint8_t>(microsPerBeat >> 16),
                 static_cast<uint8_t>(microsPerBeat >> 8), static_cast<uint8_t>(microsPerBeat)});
  }
  void Note(int channel, int key, int onTick, int offTick) {
    Event(onTick, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), 100});
    Event(offTick, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0});
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    Be16(&out, static_cast<int>(tracks_.size()));
    Be16(&out, division_);
    for (std::vector<uint8_t> t : tracks_) {
      t.insert(t.end(), {0x00, 0xFF, 0x2F, 0x00});
      out.insert(out.end(), {'M', 'T', 'r', 'k'});
      Be16(&out, static_cast<int>(t.size() >> 16));
      Be16(&out, static_cast<int>(t.size() & 0xFFFF));
      out.insert(out.end(), t.begin(), t.end());
    }
    return out;
  }

 private:
  static void Be16(std::vector<uint8_t>* out, int v) {
    out->push_back(static_cast<uint8_t>(v >> 8));
    out->push_back(static_cast<uint8_t>(v));
  }
  void Vlq(int v) {
    uint8_t groups[5];
    int n = 0;
    do {
      groups[n++] = static_cast<uint8_t>(v & 0x7F);
      v >>= 7;
    } while (v);
    while (n > 1) tracks_.back().push_back(groups[--n] | 0x80);
    tracks_.back().push_back(groups[0]);
  }
  int division_;
  int lastTick_ = 0;
  std::vector<std::vector<uint8_t>> tracks_;
};

// A 32-bit float WAV file as the tool writes it with --format float.
struct Audio {
  int rate = 0;
  int channels = 0;
  std::vector<float> samples;
  int64_t Frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
  float Peak(double from, double to) const {
    float peak = 0.0f;
    const int64_t a = std::max<int64_t>(0, std::llround(from * rate));
    const int64_t b = std::min<int64_t>(Frames(), std::llround(to * rate));
    for (int64_t i = a * channels; i < b * channels; ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
  }
  bool Silent() const { return Peak(0.0, 1e9) == 0.0f; }
  // Frequency of the left channel from its upward zero crossings.
  double Frequency(double from, double to) const {
    int crossings = 0;
    const int64_t a = std::llround(from * rate), b = std::min<int64_t>(Frames(), std::llround(to * rate));
    for (int64_t i = a + 1; i < b; ++i) {
      if (samples[(i - 1) * channels] < 0.0f && samples[i * channels] >= 0.0f) ++crossings;
    }
    return crossings / (to - from);
  }
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Audio ReadFloatWav(const fs::path& path) {
  const std::vector<uint8_t> b = ReadBytes(path);
  Audio audio;
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(&b[8], "WAVE", 4) != 0) {
    ADD_FAILURE() << path << " is not a WAV file";
    return audio;
  }
  bool isFloat = false;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = Le32(b, at + 4);
    if (std::memcmp(&b[at], "fmt ", 4) == 0) {
      // A non-PCM format chunk carries its extension size (0 here).
      EXPECT_EQ(size, 18u) << path;
      isFloat = (b[at + 8] | (b[at + 9] << 8)) == 3 && b[at + 22] == 32 && size >= 18 &&
                b[at + 24] == 0 && b[at + 25] == 0;
      audio.channels = b[at + 10] | (b[at + 11] << 8);
      audio.rate = static_cast<int>(Le32(b, at + 12));
    } else if (std::memcmp(&b[at], "data", 4) == 0 && isFloat) {
      audio.samples.resize(std::min<size_t>(size, b.size() - at - 8) / 4);
      std::memcpy(audio.samples.data(), &b[at + 8], audio.samples.size() * 4);
    }
    at += 8 + size + (size & 1);
  }
  EXPECT_TRUE(isFloat) << path << " is not a 32-bit float WAV file";
  return audio;
}

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class RenderToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "render-tool-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ASSERT_TRUE(fs::exists(kTool)) << kTool;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs the tool in the test's folder, so relative names land there.
  ToolRun Tool(const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(dir_.string()) + " && " + Quote(kTool);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " >" + Quote((dir_ / ".out").string()) + " 2>" + Quote((dir_ / ".err").string());
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(dir_ / ".out");
    run.err = ReadText(dir_ / ".err");
    fs::remove(dir_ / ".out");
    fs::remove(dir_ / ".err");
    return run;
  }

  // Renders to a float WAV and reads it back; fails the test on a non-zero exit.
  Audio Render(std::vector<std::string> args, const std::string& name = "out.wav") {
    args.insert(args.end(), {"--format", "float", "-q", "-o", name});
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return ReadFloatWav(dir_ / name);
  }

  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return (dir_ / name).string();
  }

  // One note on the first beat at 120 BPM: on at 0 s, off at 0.5 s.
  std::string ShortMidi() {
    SmfWriter smf(480);
    smf.NewTrack();
    smf.Note(0, 64, 0, 480);
    return WriteFile("short.mid", smf.Bytes());
  }

  std::vector<std::string> FilesInDir() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(RenderToolTest, MidiFileTracksMergeAndTempoMapSetsTheTiming) {
  // Track 0: 120 BPM, 240 BPM from beat 4 (2.0 s). Track 1 plays beat 0..1
  // (0..0.5 s) on channel 1; track 2 plays beats 12..14 on channel 2:
  // 2.0 s + 8 beats x 0.25 s = 4.0 s to 4.5 s, where the file ends.
  SmfWriter smf(480);
  smf.NewTrack();
  smf.Tempo(0, 500000);
  smf.Tempo(4 * 480, 250000);
  smf.NewTrack();
  smf.Note(0, 60, 0, 480);
  smf.NewTrack();
  smf.Note(1, 67, 12 * 480, 14 * 480);
  const std::string midi = WriteFile("two-tracks.mid", smf.Bytes());

  const Audio audio = Render({midi, "--sr", "48000", "--block", "256", "--tail", "0"});
  EXPECT_EQ(audio.rate, 48000);
  EXPECT_EQ(audio.channels, 2);
  EXPECT_EQ(audio.Frames(), 216000);  // 4.5 s x 48000: ends at the last note-off, no tail

  // --seconds cuts the performance: 1 s at 48 kHz.
  const Audio cut = Render({midi, "--sr", "48000", "--tail", "0", "--seconds", "1"}, "cut.wav");
  EXPECT_EQ(cut.Frames(), 48000);  // 1 s x 48000
  // Without a tempo event a MIDI file plays at 120 BPM: one beat = 0.5 s.
  const Audio untimed = Render({ShortMidi(), "--sr", "48000", "--tail", "0"}, "untimed.wav");
  EXPECT_EQ(untimed.Frames(), 24000);

  if (audio.Silent()) GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
  EXPECT_GT(audio.Peak(0.05, 0.45), 1e-3f) << "first note (track 1)";
  // "init" releases in 1 s and has no effects: quiet again well before 2.5 s.
  EXPECT_LT(audio.Peak(2.5, 3.95), 1e-4f) << "between the notes";
  EXPECT_GT(audio.Peak(4.05, 4.45), 1e-3f) << "second note (track 2, after the tempo change)";
}

TEST_F(RenderToolTest, ControllersAndPitchBendInTheFileReachThePlugin) {
  auto noteWith = [&](const std::string& name, std::vector<std::vector<uint8_t>> before) {
    SmfWriter smf(480);
    smf.NewTrack();
    for (auto& bytes : before) smf.Event(0, bytes);
    smf.Note(0, 57, 0, 480);
    return WriteFile(name, smf.Bytes());
  };
  const std::string plain = noteWith("plain.mid", {});
  const std::string bent = noteWith("bent.mid", {{0xE0, 0x7F, 0x7F}});
  const std::string wheel = noteWith("wheel.mid", {{0xB0, 1, 127}});
  const std::vector<std::string> common = {"--sr", "22050", "--tail", "0"};

  std::vector<std::string> args = common;
  args.push_back(plain);
  const Audio a3 = Render(args, "plain.wav");
  args.back() = bent;
  const Audio a4 = Render(args, "bent.wav");
  if (a3.Silent()) GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
  // A3 is 220 Hz; the wheel fully up bends by "Pitch Range" 12 semitones:
  // 220 x 2^(8191/8192) = 439.96 Hz.
  EXPECT_NEAR(a3.Frequency(0.1, 0.45), 220.0, 220.0 * 0.02);
  EXPECT_NEAR(a4.Frequency(0.1, 0.45), 440.0, 440.0 * 0.02);

  // Controller 1 is the mod wheel: routed to the cutoff of a closed filter.
  args = common;
  args.insert(args.end(), {"--param", "Filter frequency=5", "--param", "Modw -> FC=100", plain});
  const Audio closed = Render(args, "closed.wav");
  args.back() = wheel;
  const Audio opened = Render(args, "opened.wav");
  EXPECT_NE(closed.samples, opened.samples);
}

TEST_F(RenderToolTest, TailRendersTheReleaseAndStopsAtItsCap) {
  const std::string midi = ShortMidi();
  const Audio capped = Render({midi, "--sr", "22050", "--tail", "0.2"}, "capped.wav");
  const Audio free = Render({midi, "--sr", "22050", "--tail", "30"}, "free.wav");
  if (capped.Silent()) {
    // Nothing sounds after 0.5 s, so the tail is empty.
    EXPECT_EQ(capped.Frames(), 11025);  // 0.5 s x 22050
    GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
  }
  // The 1 s release still sounds 0.2 s after the note-off: the cap decides.
  EXPECT_EQ(capped.Frames(), 15435);  // (0.5 + 0.2) s x 22050
  // Without a binding cap the render stops once the release has died away.
  EXPECT_GT(free.Frames(), 0.7 * 22050);
  EXPECT_LT(free.Frames(), 5.0 * 22050);
  EXPECT_GT(free.Peak(free.Frames() / 22050.0 - 0.01, 1e9), 0.0f);
}

TEST_F(RenderToolTest, ProgramIsChosenByIndexOrByNameInAnyCase) {
  const ToolRun list = Tool({"--list-programs"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_NE(list.out.find("  0 * init\n"), std::string::npos) << list.out;  // * marks the current

  const std::string midi = ShortMidi();
  const Audio byIndex = Render({midi, "--sr", "22050", "--program", "0"}, "index.wav");
  const Audio byName = Render({midi, "--sr", "22050", "--program", "INIT"}, "name.wav");
  EXPECT_EQ(byIndex.samples, byName.samples);

  ToolRun run = Tool({midi, "--program", "no such sound"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("unknown program 'no such sound'"), std::string::npos) << run.err;
  run = Tool({midi, "--program", "999"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("there is no program 999"), std::string::npos) << run.err;
}

TEST_F(RenderToolTest, ParameterIsSetByNameInItsOwnUnits) {
  ToolRun run = Tool({"--param", "filter FREQUENCY=40 %", "--param", "Pitch=-7", "--list-params"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(" 18  Filter frequency           40.00 %\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  5  Pitch                      -7 semitones\n"), std::string::npos);

  run = Tool({"--param", "18=12.5", "--list-params"});
  EXPECT_NE(run.out.find("Filter frequency           12.50 %"), std::string::npos) << run.out;

  run = Tool({"--param", "Amp gain=250", "--list-params"});  // clamped to the 0..100 range
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("'Amp gain' takes 250 as 100.00 % (out of its range)"), std::string::npos)
      << run.err;
  run = Tool({"--param", "Osc shape=2.7", "--list-params"});  // shown rounded, not clamped
  EXPECT_EQ(run.err, "");

  run = Tool({"--param", "Filter freq=40", "--list-params"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("unknown parameter 'Filter freq'; did you mean 'Filter frequency'"),
            std::string::npos) << run.err;
  run = Tool({"--param", "Amp gain=loud", "--list-params"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("'loud' is not a value for 'Amp gain'"), std::string::npos) << run.err;

  const std::string midi = ShortMidi();
  const Audio plain = Render({midi, "--sr", "22050"}, "plain.wav");
  const Audio muted = Render({midi, "--sr", "22050", "--param", "Amp gain=0"}, "muted.wav");
  EXPECT_TRUE(muted.Silent());
  if (plain.Silent()) GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
  const Audio darker =
      Render({midi, "--sr", "22050", "--param", "Filter frequency=20"}, "darker.wav");
  EXPECT_NE(plain.samples, darker.samples);
}

TEST_F(RenderToolTest, ErrorsAreReportedAndLeaveNoFileBehind) {
  const std::string midi = ShortMidi();
  const std::string garbage = WriteFile("garbage.mid", {'h', 'e', 'l', 'l', 'o'});
  std::vector<uint8_t> truncated = ReadBytes(midi);
  truncated.resize(truncated.size() - 6);
  const std::string cut = WriteFile("truncated.mid", truncated);
  SmfWriter silent(480);
  silent.NewTrack();
  const std::string empty = WriteFile("empty.mid", silent.Bytes());
  const std::string notPlugin = WriteFile("fake.so", {'n', 'o'});
  fs::create_directory(dir_ / "folder.wav");
  const std::vector<std::string> before = FilesInDir();

  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"missing.mid"}, 1, "cannot open MIDI file 'missing.mid': No such file or directory"},
      {{garbage}, 1, "is not a Standard MIDI File"},
      {{cut, "--strict"}, 1, "cannot read MIDI file"},
      {{empty}, 1, "nothing to render"},
      {{midi, "--plugin", notPlugin}, 1, "cannot load plug-in '" + notPlugin + "'"},
      {{midi, "--plugin", (dir_ / "nowhere.so").string()}, 1, "cannot load plug-in"},
      {{midi, "-o", "no/such/folder/out.wav"}, 1, "cannot write 'no/such/folder/out.wav'"},
      {{midi, "-o", "folder.wav"}, 1, "cannot write 'folder.wav': it is a folder"},
      {{midi, "-o", "out.mp3"}, 2, "use a .wav or .flac name"},
      {{midi, "-o", "out.flac", "--format", "float"}, 2, "FLAC has no floating-point samples"},
      {{midi, "--state", "nothing.bin"}, 1, "cannot open state file 'nothing.bin'"},
      {{midi, "--state", garbage}, 1, "is not a Morvanta program or bank"},
      {{midi, "--sr", "44.1"}, 2, "--sr takes a whole number"},
      {{midi, "--bogus"}, 2, "unknown option '--bogus'"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Tool(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0] << " " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << "wanted: " << c.message
                                                          << "\ngot: " << run.err;
    EXPECT_EQ(FilesInDir(), before) << "after " << c.message;
  }
}

TEST_F(RenderToolTest, FloatDoubleAndAccumulatingProcessCallsAgree) {
  const std::string midi = ShortMidi();
  const std::vector<std::string> common = {midi, "--sr", "22050", "--block", "100", "--tail", "1"};
  std::vector<std::string> args = common;
  const Audio single = Render(args, "float.wav");
  args.push_back("--double");
  const Audio wide = Render(args, "double.wav");
  args = common;
  args.push_back("--accumulate");
  const Audio accumulated = Render(args, "accumulate.wav");
  // The float calls narrow the double result, so every sample is equal.
  EXPECT_EQ(single.samples, wide.samples);
  EXPECT_EQ(single.samples, accumulated.samples);
  if (single.Silent()) GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
}

TEST_F(RenderToolTest, SavedStateRestoresTheSameSound) {
  const std::string midi = ShortMidi();
  const Audio original = Render({midi, "--sr", "22050", "--param", "Filter frequency=35",
                                 "--param", "Osc shape=2", "--save-state", "sound.bin",
                                 "--save-bank", "bank.bin"},
                                "original.wav");
  const std::vector<uint8_t> chunk = ReadBytes(dir_ / "sound.bin");
  ASSERT_EQ(chunk.size(), 1928u);  // header + 240 doubles
  EXPECT_EQ(std::vector<uint8_t>(chunk.begin(), chunk.begin() + 4),
            (std::vector<uint8_t>{0x74, 0x66, 0x66, 0x70}));

  const Audio restored = Render({midi, "--sr", "22050", "--state", "sound.bin"}, "restored.wav");
  EXPECT_EQ(original.samples, restored.samples);

  // A program chunk applies after --program; a bank before it.
  ToolRun run = Tool({"--program", "0", "--state", "sound.bin", "--list-params"});
  EXPECT_NE(run.out.find("Filter frequency           35.00 %"), std::string::npos) << run.out;
  run = Tool({"--state", "bank.bin", "--program", "0", "--list-params"});
  EXPECT_NE(run.out.find("Filter frequency           35.00 %"), std::string::npos) << run.out;
}

TEST_F(RenderToolTest, DemoPhrasePlaysWithoutAMidiFile) {
  const ToolRun run = Tool({"--tail", "0", "--format", "float", "--sr", "22050"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no progress bar when not on a terminal";
  const Audio demo = ReadFloatWav(dir_ / "demo.wav");
  // Nine bars of 4 beats at 104 BPM: 36 x 60 / 104 = 20.77 s.
  EXPECT_EQ(demo.Frames(), std::llround(36 * 60.0 / 104.0 * 22050));

  const ToolRun flac = Tool({"--seconds", "1", "--format", "pcm16", "-o", "demo.flac"});
  ASSERT_EQ(flac.exitCode, 0) << flac.err;
  const std::vector<uint8_t> encoded = ReadBytes(dir_ / "demo.flac");
  ASSERT_GT(encoded.size(), 4u);
  EXPECT_EQ(std::string(encoded.begin(), encoded.begin() + 4), "fLaC");

  if (demo.Silent()) GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
  const Audio loud = Render({"--seconds", "3", "--normalize", "--sr", "22050"}, "loud.wav");
  EXPECT_NEAR(loud.Peak(0.0, 1e9), 0.891251, 1e-5);  // -1 dBFS = 10^(-1/20)
  for (double second = 0.0; second < 20.0; second += 2.0) {
    EXPECT_GT(demo.Peak(second, second + 2.0), 1e-3f) << "around " << second << " s";
  }
}

TEST_F(RenderToolTest, TempoOptionIsWhatTheTempoSyncedDelayFollows) {
  const std::string midi = ShortMidi();
  const std::vector<std::string> delay = {midi, "--sr", "22050", "--tail", "2", "--param",
                                          "Delay On=1", "--param", "Delay Tempo Sync=1"};
  std::vector<std::string> args = delay;
  args.insert(args.end(), {"--tempo", "60"});
  const Audio slow = Render(args, "slow.wav");
  args = delay;
  args.insert(args.end(), {"--tempo", "150"});
  const Audio fast = Render(args, "fast.wav");
  if (slow.Silent()) GTEST_SKIP() << "the plug-in renders silence (no voices yet)";
  EXPECT_NE(slow.samples, fast.samples);
}

TEST_F(RenderToolTest, FloatWavIsReadBySoxWithoutWarning) {
  Render({ShortMidi(), "--tail", "0"}, "float.wav");
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
  const std::string command = "sox " + Quote((dir_ / "float.wav").string()) + " -n stat 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
  }
  EXPECT_NE(output.find("Samples read"), std::string::npos) << output;
  EXPECT_EQ(output.find("WARN"), std::string::npos) << output;
}

// A note held by the sustain pedal when the file ends: on at 0, off at
// 0.25 s, pedal down from 0.1 s to the end at 0.5 s.
std::vector<uint8_t> PedalHeldToTheEnd() {
  SmfWriter smf(480);
  smf.NewTrack();
  smf.Event(0, {0x90, 64, 100});
  smf.Event(96, {0xB0, 64, 127});
  smf.Event(240, {0x80, 64, 0});
  smf.Event(480, {0xB0, 7, 100});  // marks the end of the performance
  return smf.Bytes();
}

TEST_F(RenderToolTest, EndOfTheFileReleasesHeldNotesAndThePedalThenTheTailEndsWhenQuiet) {
  const std::string midi = WriteFile("pedal.mid", PedalHeldToTheEnd());
  const Audio audio = Render({midi, "--sr", "22050", "--tail", "8"});
  ASSERT_FALSE(audio.Silent());
  EXPECT_GT(audio.Peak(0.4, 0.5), 0.01f);  // the pedal holds the note past its note-off
  // Released at 0.5 s with the 1 s release: it dies away and the render stops
  // 0.5 s after the output fell below -90 dBFS, far inside the 8 s cap.
  EXPECT_GT(audio.Frames(), 22050 * 1.2);
  EXPECT_LT(audio.Frames(), 22050 * 2.2);
}

TEST_F(RenderToolTest, TheLastTenMillisecondsFadeOut) {
  // --seconds 0.3 cuts the held note; with no tail the file ends on the cut.
  const Audio audio = Render({ShortMidi(), "--sr", "22050", "--tail", "0", "--seconds", "0.3"});
  ASSERT_EQ(audio.Frames(), 6615);
  const float before = audio.Peak(0.27, 0.28);
  ASSERT_GT(before, 0.01f);
  EXPECT_LT(audio.Peak(0.2995, 1.0), 0.02f * before);  // the last half millisecond
  EXPECT_GT(audio.Peak(0.291, 0.293), 0.3f * before);  // the fade has only begun
}

TEST_F(RenderToolTest, ChannelOptionPlaysOnlyTheChosenChannels) {
  SmfWriter smf(480);
  smf.NewTrack();
  smf.Note(0, 57, 0, 480);     // channel 1: 220 Hz in the first half second
  smf.Note(9, 69, 480, 960);   // channel 10: 440 Hz in the second
  const std::string midi = WriteFile("two.mid", smf.Bytes());
  const Audio drums = Render({midi, "--channel", "10", "--tail", "0"}, "ten.wav");
  EXPECT_EQ(drums.Peak(0.0, 0.5), 0.0f);
  EXPECT_NEAR(drums.Frequency(0.6, 0.95), 440.0, 10.0);
  const Audio both = Render({midi, "--channel", "1", "--channel=10", "--tail", "0"}, "both.wav");
  EXPECT_NEAR(both.Frequency(0.1, 0.45), 220.0, 10.0);
  EXPECT_EQ(both.samples, Render({midi, "--tail", "0"}, "all.wav").samples);

  const ToolRun none = Tool({midi, "--channel", "2"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("nothing to render"), std::string::npos) << none.err;
  for (const char* bad : {"0", "17", "x"}) {
    const ToolRun run = Tool({midi, "--channel", bad});
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_NE(run.err.find("--channel takes a whole number from 1 to 16"), std::string::npos) << run.err;
  }
  EXPECT_NE(Tool({"--help"}).out.find("drums\n                         on channel 10"),
            std::string::npos);
}

TEST_F(RenderToolTest, DamagedMidiFilePlaysWhatWasReadUnlessStrict) {
  SmfWriter smf(480);
  smf.NewTrack();
  smf.Note(0, 57, 0, 480);
  smf.Note(0, 69, 480, 960);
  std::vector<uint8_t> bytes = smf.Bytes();
  bytes.resize(bytes.size() - 7);  // ends inside the second note's note-off
  const std::string midi = WriteFile("cut.mid", bytes);
  const ToolRun run = Tool({midi, "--format", "float", "-o", "cut.wav", "--tail", "0"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("warning: '" + midi + "' is damaged (reading stopped at byte " +
                         std::to_string(bytes.size()) + ")"),
            std::string::npos)
      << run.err;
  const Audio audio = ReadFloatWav(dir_ / "cut.wav");
  EXPECT_NEAR(audio.Frequency(0.1, 0.45), 220.0, 10.0);

  const ToolRun strict = Tool({midi, "--strict", "-o", "strict.wav"});
  EXPECT_EQ(strict.exitCode, 1);
  EXPECT_NE(strict.err.find("(--strict)"), std::string::npos) << strict.err;
  EXPECT_FALSE(fs::exists(dir_ / "strict.wav"));
}

TEST_F(RenderToolTest, OptionsThatCannotTakeEffectTogetherAreRefused) {
  const std::string midi = ShortMidi();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{midi, "--double", "--accumulate"}, "--double and --accumulate"},
      {{midi, "--list-params", "-o", "x.wav"}, "--list-params renders nothing, so -o"},
      {{"--list-programs", "--tail", "3"}, "--list-programs renders nothing, so --tail"},
      {{midi, "--state", "a.bin", "--load-preset", "b.fxp"}, "--state and --load-preset"},
      {{midi, "--save-preset", "all.fxb"}, "use --save-bank for an .fxb file"},
      {{"--channel", "10"}, "--channel chooses channels of a MIDI file"},
      {{"--strict"}, "--strict is about reading a MIDI file"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Tool(c.first);
    EXPECT_EQ(run.exitCode, 2) << c.second;
    EXPECT_NE(run.err.find(c.second), std::string::npos) << run.err;
  }
}

TEST_F(RenderToolTest, ListingsShowWhatTheSameRenderUses) {
  const std::string midi = ShortMidi();
  ASSERT_EQ(Tool({midi, "--program", "0", "--param", "Filter frequency=41", "--save-preset",
                  "mine.fxp", "-o", "x.wav"}).exitCode, 0);
  ToolRun run = Tool({midi, "--program", "2", "--load-preset", "mine.fxp", "--list-params",
                      "--list-programs"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Filter frequency           41.00 %"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  2 * "), std::string::npos) << run.out;
  // Without a MIDI file the demo's own sound is listed, and said to be.
  run = Tool({"--list-params"});
  EXPECT_NE(run.err.find("built-in demo's sound"), std::string::npos) << run.err;
  EXPECT_EQ(Tool({midi, "--list-params"}).err, "");
}

TEST_F(RenderToolTest, PresetAndBankFilesRestoreTheSameSound) {
  const std::string midi = ShortMidi();
  const Audio original = Render({midi, "--sr", "22050", "--param", "Filter frequency=35", "--param",
                                 "Osc shape=2", "--save-preset", "sound.fxp", "--save-bank",
                                 "all.fxb"},
                                "original.wav");
  const std::vector<uint8_t> fxp = ReadBytes(dir_ / "sound.fxp");
  const std::vector<uint8_t> fxb = ReadBytes(dir_ / "all.fxb");
  ASSERT_EQ(fxp.size(), 60u + 1928u);
  EXPECT_EQ(std::string(fxp.begin(), fxp.begin() + 4) + std::string(fxp.begin() + 8, fxp.begin() + 12),
            "CcnKFPCh");
  EXPECT_EQ(std::string(fxp.begin() + 16, fxp.begin() + 20), "mvta");
  EXPECT_EQ(std::string(fxb.begin() + 8, fxb.begin() + 12), "FBCh");
  EXPECT_EQ(Render({midi, "--sr", "22050", "--load-preset", "sound.fxp"}, "p.wav").samples,
            original.samples);
  EXPECT_EQ(Render({midi, "--sr", "22050", "--load-preset", "all.fxb"}, "b.wav").samples,
            original.samples);

  std::vector<uint8_t> foreign = fxp;
  std::memcpy(&foreign[16], "abcd", 4);
  WriteFile("foreign.fxp", foreign);
  const ToolRun run = Tool({midi, "--load-preset", "foreign.fxp", "-o", "f.wav"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot load 'foreign.fxp': it was saved by another plug-in (id 'abcd'"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "f.wav"));
}

}  // namespace
