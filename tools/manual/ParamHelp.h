// What a parameter does musically, for the manual's parameter reference.
#pragma once

#include <string>

namespace morvanta {
namespace manual {

// The description of parameter `index` whose name is `name`; empty when none
// is written (the manual's check refuses that).
std::string ParamHelp(int index, const std::string& name);

}  // namespace manual
}  // namespace morvanta
