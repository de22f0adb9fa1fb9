// morvanta-audition: plays every factory program of Morvanta.so with a
// phrase that suits its category and reports what it sounds like in numbers
// (a table), in pictures (a contact sheet of spectrograms), or one program's
// spectrogram.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "tools/audition/PresetAnalysis.h"
#include "tools/audition/PresetRender.h"
#include "tools/audition/SpectrogramPicture.h"

using namespace morvanta::audition;

namespace {

const char kUsage[] =
    "Usage: morvanta-audition [options]\n"
    "Renders the factory programs of Morvanta.so, each with a phrase fitting its\n"
    "category, and measures them.\n"
    "  --table FILE        write the per-program table and the per-category\n"
    "                      summary (\"-\" for standard output; the default when\n"
    "                      no picture is asked for)\n"
    "  --sheet FILE.png    write a contact sheet of all programs' spectrograms\n"
    "  --spectrogram P     render only program P (number or exact name) ...\n"
    "  -o FILE.png         ... and write its spectrogram here\n"
    "  --programs A-B      only programs A to B (default: all)\n"
    "  --sr HZ             sample rate (default 44100)\n"
    "  --plugin PATH       the plug-in (default: the one in this build)\n";

struct Options {
  std::string plugin = MORVANTA_PLUGIN_PATH;
  std::string table;
  std::string sheet;
  std::string single;
  std::string output;
  int first = 0;
  int last = -1;
  int rate = 44100;
};

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--table") {
      if (!next(&o->table)) return false;
    } else if (a == "--sheet") {
      if (!next(&o->sheet)) return false;
    } else if (a == "--spectrogram") {
      if (!next(&o->single)) return false;
    } else if (a == "-o") {
      if (!next(&o->output)) return false;
    } else if (a == "--plugin") {
      if (!next(&o->plugin)) return false;
    } else if (a == "--sr") {
      if (!next(&v)) return false;
      o->rate = std::atoi(v.c_str());
      if (o->rate < 8000 || o->rate > 384000) return false;
    } else if (a == "--programs") {
      if (!next(&v) || std::sscanf(v.c_str(), "%d-%d", &o->first, &o->last) != 2) return false;
    } else {
      return false;
    }
  }
  if (!o->single.empty() && o->output.empty()) return false;
  if (o->single.empty() && o->table.empty() && o->sheet.empty()) o->table = "-";
  return true;
}

std::string Db(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", v);
  return b;
}

std::string Seconds(double v) {
  if (std::isinf(v)) return ">tail";
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

const char* ModeName(int mode) {
  return mode == 0 ? "MONO" : mode == 1 ? "LIVE ARP" : mode == 2 ? "POLY" : "?";
}

struct Row {
  RenderedProgram program;
  Metrics metrics;
  Fingerprint fingerprint;
};

// The two programs of a category whose spectrograms are closest.
std::string ClosestPair(const std::vector<const Row*>& members) {
  double best = -1.0;
  std::string pair = "-";
  for (size_t a = 0; a < members.size(); ++a) {
    for (size_t b = a + 1; b < members.size(); ++b) {
      const double d = FingerprintDistance(members[a]->fingerprint, members[b]->fingerprint);
      if (best < 0.0 || d < best) {
        best = d;
        pair = std::to_string(members[a]->program.program) + "/" +
               std::to_string(members[b]->program.program) + " " + Db(d) + " dB";
      }
    }
  }
  return pair;
}

void WriteTable(FILE* f, const std::vector<Row>& rows) {
  std::fprintf(f, "%-4s %-27s %-9s %-8s %7s %7s %8s %7s %7s %7s %s\n", "#", "name", "category",
               "mode", "peak", "rms", "centroid", "attack", "decay", "dc", "nonfinite");
  for (const Row& r : rows) {
    const Metrics& m = r.metrics;
    std::fprintf(f, "%-4d %-27s %-9s %-8s %7s %7s %8.0f %7s %7s %7s %lld%s\n", r.program.program,
                 r.program.name.c_str(), CategoryLabel(r.program.category),
                 ModeName(r.program.values.VoiceMode()), Db(m.peakDb).c_str(), Db(m.rmsDb).c_str(),
                 m.centroidHz, Seconds(m.attackSeconds).c_str(), Seconds(m.decaySeconds).c_str(),
                 Db(m.dcDb).c_str(), r.program.nonFiniteSamples,
                 r.program.phrase.wheelSweep ? "  (wheel sweep)" : "");
  }
  // Per category: the level spread the quality test holds the programs to.
  std::fprintf(f, "\n%-9s %5s %10s %10s %10s %10s %11s %11s %-18s %s\n", "category", "count",
               "median rms", "min rms", "max rms", "median ctr", "median att", "median dec",
               "closest pair", "outliers (rms off the median by more than 4 dB, 8 for FX)");
  std::map<int, std::vector<const Row*>> byCategory;
  for (const Row& r : rows) byCategory[static_cast<int>(r.program.category)].push_back(&r);
  for (const auto& [category, members] : byCategory) {
    std::vector<double> rms, centroid, attack, decay;
    for (const Row* r : members) {
      rms.push_back(r->metrics.rmsDb);
      centroid.push_back(r->metrics.centroidHz);
      attack.push_back(r->metrics.attackSeconds);
      decay.push_back(r->metrics.decaySeconds);
    }
    const double median = Median(rms);
    const double allowed = static_cast<Category>(category) == Category::kFx ? 8.0 : 4.0;
    std::string outliers;
    for (const Row* r : members) {
      if (std::fabs(r->metrics.rmsDb - median) > allowed) {
        outliers += std::to_string(r->program.program) + " (" + Db(r->metrics.rmsDb - median) + ") ";
      }
    }
    std::fprintf(f, "%-9s %5zu %10s %10s %10s %10.0f %11.3f %11s %-18s %s\n",
                 CategoryLabel(static_cast<Category>(category)), members.size(), Db(median).c_str(),
                 Db(*std::min_element(rms.begin(), rms.end())).c_str(),
                 Db(*std::max_element(rms.begin(), rms.end())).c_str(), Median(centroid),
                 Median(attack), Seconds(Median(decay)).c_str(), ClosestPair(members).c_str(),
                 outliers.empty() ? "-" : outliers.c_str());
  }
}

PictureEntry Picture(const RenderedProgram& p) {
  PictureEntry e;
  static_cast<ProgramId&>(e) = p;
  e.spectrogram = ComputeSpectrogram(ViewOf(p));
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (argc > 1 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArgs(argc, argv, &o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string error;
  const std::vector<std::string> names = ProgramNames(o.plugin, &error);
  if (names.empty()) {
    std::fprintf(stderr, "morvanta-audition: %s\n", error.empty() ? "no programs" : error.c_str());
    return 1;
  }

  if (!o.single.empty()) {
    int program = -1;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == o.single) program = static_cast<int>(i);
    }
    char* end = nullptr;
    const long n = std::strtol(o.single.c_str(), &end, 10);
    if (program < 0 && end && *end == '\0' && n >= 0 && n < static_cast<long>(names.size())) {
      program = static_cast<int>(n);
    }
    if (program < 0) {
      std::fprintf(stderr, "morvanta-audition: no program \"%s\"\n", o.single.c_str());
      return 1;
    }
    RenderedProgram p;
    if (!RenderProgram(o.plugin, program, o.rate, &p, &error) ||
        !WriteSpectrogramPicture(Picture(p), o.output, &error)) {
      std::fprintf(stderr, "morvanta-audition: %s\n", error.c_str());
      return 1;
    }
    std::printf("Wrote %s (%03d %s)\n", o.output.c_str(), program, p.name.c_str());
    return 0;
  }

  const int last = o.last < 0 ? static_cast<int>(names.size()) - 1
                              : std::min(o.last, static_cast<int>(names.size()) - 1);
  std::vector<Row> rows;
  std::vector<PictureEntry> pictures;
  for (int program = std::max(0, o.first); program <= last; ++program) {
    Row row;
    if (!RenderProgram(o.plugin, program, o.rate, &row.program, &error)) {
      std::fprintf(stderr, "morvanta-audition: program %d: %s\n", program, error.c_str());
      return 1;
    }
    const RenderedProgram& p = row.program;
    row.metrics = MeasureProgram(p);
    PictureEntry picture = Picture(p);
    row.fingerprint = FingerprintOf(p, picture.spectrogram);
    if (!o.sheet.empty()) pictures.push_back(std::move(picture));
    if (isatty(2)) std::fprintf(stderr, "\r%d/%d", program, last);
    rows.push_back(std::move(row));
  }
  if (isatty(2)) std::fprintf(stderr, "\n");
  if (!o.table.empty()) {
    FILE* f = o.table == "-" ? stdout : std::fopen(o.table.c_str(), "w");
    if (!f) {
      std::fprintf(stderr, "morvanta-audition: cannot write %s\n", o.table.c_str());
      return 1;
    }
    WriteTable(f, rows);
    if (f != stdout) std::fclose(f);
  }
  if (!o.sheet.empty() && !WriteContactSheet(pictures, o.sheet, &error)) {
    std::fprintf(stderr, "morvanta-audition: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
