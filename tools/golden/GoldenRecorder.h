// Golden outputs: renders fixed patches and MIDI through the built plug-in's
// VST2 interface and records the answers (texts, chunks, audio), so a later
// build can be compared against them.
#pragma once

#include <string>
#include <vector>

namespace morvanta {
namespace golden {

// One rendered take: the reference (double path) and the float path.
struct AudioTake {
  std::string file;  // e.g. "init-44100.flac"
  int sampleRate = 0;
  std::vector<std::vector<double>> doublePath;  // per channel
  std::vector<std::vector<double>> floatPath;
};

// A file compared byte for byte (texts and chunks).
struct ExactFile {
  std::string file;
  std::string bytes;
};

struct Recording {
  std::vector<ExactFile> exact;
  std::vector<AudioTake> audio;
};

// Every case name, in recording order ("dispatcher", "params", "init",
// "random-01".."random-30", "shape-0".."shape-4", "mode-mono", ..., then the
// designed cases: factory programs, filter, step sequence, full chain and the
// edges of discrete decisions).
std::vector<std::string> CaseNames();

// The names matching a shell-style pattern (fnmatch); "*" matches all.
std::vector<std::string> CasesMatching(const std::string& pattern);

// Records one case from the plug-in at `pluginPath`. Each render seeds the
// C library's rand() identically first, so a case is deterministic within
// one process whatever ran before it. False and *error on failure.
bool RecordCase(const std::string& pluginPath, const std::string& name, Recording* out,
                std::string* error);

// Writes a recording's files into `dir`.
bool WriteRecording(const std::string& dir, const Recording& rec, std::string* error);

// Compares a recording with the files in `dir`: exact files byte for byte,
// each audio channel of both paths by 20*log10(RMS(diff)/RMS(ref)) against
// `limitDb`. Appends one line per mismatch to *report; true when all match.
// *largestDb, when given, receives the largest relative difference of any
// channel of any take and path (-inf when all are identical; +inf when a take
// is missing or mis-shaped).
bool CheckRecording(const std::string& dir, const Recording& rec, double limitDb,
                    std::string* report, double* largestDb = nullptr);

// The relative error of a take's channel in dB (-inf when identical).
double RelativeErrorDb(const std::vector<double>& ref, const std::vector<double>& test);

constexpr double kGoldenLimitDb = -100.0;

}  // namespace golden
}  // namespace morvanta
