// Builds the manual's generated sections from the parameter table, the
// panel layout and the program names the plug-in reports.
#include "tools/manual/ManualSections.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "editor/PanelLayout.h"
#include "instrument/ParamTable.h"
#include "tools/manual/ParamHelp.h"

namespace morvanta {
namespace manual {
namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string Unit(const ParamDef& d) {
  const std::string label = d.label;
  if (label.empty() || label == "harm-classic") return "";
  return label == "%" ? "%" : " " + label;
}

std::string FirstWord(const std::string& name) {
  std::string word = name.substr(0, name.find(' '));
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

}  // namespace

std::vector<int> PanelOrder() {
  std::vector<int> order;
  std::set<int> seen;
  std::size_t count = 0;
  const PanelItem* items = PanelItems(&count);
  for (std::size_t i = 0; i < count; ++i) {
    const int p = items[i].param;
    if (p >= 0 && p < kNumParams && seen.insert(p).second) order.push_back(p);
  }
  for (int p = 0; p < kNumParams; ++p) {
    if (ParamDefAt(p).kind != ParameterKind::None && seen.insert(p).second) order.push_back(p);
  }
  return order;
}

std::string ParameterSection(std::string* missingHelp) {
  std::string out =
      "| Parameter | Range | Default | What it does |\n"
      "|---|---|---|---|\n";
  for (int p : PanelOrder()) {
    const ParamDef& d = ParamDefAt(p);
    const std::string unit = Unit(d);
    const std::string help = ParamHelp(p, d.name);
    if (help.empty()) *missingHelp += std::string(missingHelp->empty() ? "" : ", ") + std::to_string(p);
    // The editor's command buttons have no name the host shows.
    const std::string name = d.name[0] != '\0' ? d.name : "(index " + std::to_string(p) + ")";
    out += "| " + name + " | " + Number(d.min) + " to " + Number(d.max) + unit + " | " +
           Number(d.def) + unit + " | " + help + " |\n";
  }
  return out;
}

std::string ProgramSection(const std::vector<std::string>& names) {
  std::string out;
  size_t i = 0;
  while (i < names.size()) {
    const std::string category = FirstWord(names[i]);
    size_t end = i + 1;
    while (end < names.size() && FirstWord(names[end]) == category) ++end;
    // The spelling most of the group's names use ("FX" over "Fx").
    std::map<std::string, int> spellings;
    for (size_t k = i; k < end; ++k) ++spellings[names[k].substr(0, names[k].find(' '))];
    std::string heading;
    for (const auto& s : spellings) {
      if (heading.empty() || s.second > spellings[heading]) heading = s.first;
    }
    out += "- **" + heading + "** (" + (end - i == 1 ? std::to_string(i)
                                                     : std::to_string(i) + "–" + std::to_string(end - 1)) +
           "): ";
    for (size_t k = i; k < end; ++k) out += (k > i ? ", " : "") + names[k];
    out += "\n";
    i = end;
  }
  return out;
}

bool ReplaceSection(std::string* document, const std::string& name, const std::string& body) {
  const std::string begin = "<!-- generated: " + name + " -->\n";
  const std::string end = "<!-- end generated: " + name + " -->";
  const size_t a = document->find(begin);
  if (a == std::string::npos) return false;
  const size_t b = document->find(end, a);
  if (b == std::string::npos) return false;
  document->replace(a + begin.size(), b - a - begin.size(), body);
  return true;
}

}  // namespace manual
}  // namespace morvanta
