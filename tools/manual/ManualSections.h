// The generated parts of docs/manual.md: the parameter reference in panel
// order and the program list by category. Each sits between the lines
// "<!-- generated: NAME -->" and "<!-- end generated: NAME -->".
#pragma once

#include <string>
#include <vector>

namespace morvanta {
namespace manual {

// Parameter indices in the order the panel shows them, then those not on
// the panel in index order.
std::vector<int> PanelOrder();

// One markdown table row per parameter: name, range with unit, default, help.
std::string ParameterSection(std::string* missingHelp);

// Programs grouped by the category word that opens their names.
std::string ProgramSection(const std::vector<std::string>& names);

// Replaces section `name` of `document`; false when its markers are missing.
bool ReplaceSection(std::string* document, const std::string& name, const std::string& body);

}  // namespace manual
}  // namespace morvanta
