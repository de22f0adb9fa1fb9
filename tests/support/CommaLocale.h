// Switches the process to a comma-decimal locale for the length of a scope
// (de_DE.UTF-8), the way some hosts run; reports whether it is available.
#pragma once

#include <clocale>
#include <string>

namespace morvanta {
namespace testing {

class CommaLocale {
 public:
  CommaLocale() {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr ||
              std::setlocale(LC_ALL, "de_DE.utf8") != nullptr;
  }
  ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;
  bool Active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

}  // namespace testing
}  // namespace morvanta
