// The value prompt's text: a one-line edit buffer with caret and selection
// and a character filter chosen by the kind of value being typed.
#pragma once

#include <string>

namespace morvanta {

enum class PromptFilter {
  Anything,  // every printable character
  Integer,   // digits, '+' and '-'
  Decimal,   // digits, '+', '-' and '.'
};

class PromptText {
 public:
  static constexpr std::size_t kMaxLength = 32;

  // Replaces the text, selects all of it and puts the caret at the end.
  void Reset(const std::string& text, PromptFilter filter);

  // One key (the panel's key codes); answers whether it changed anything.
  // Enter and Escape are not handled here.
  bool Key(int key, bool shift);

  const std::string& Text() const { return text_; }
  std::size_t Caret() const { return caret_; }
  bool HasSelection() const { return anchor_ != caret_; }
  std::size_t SelectionStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
  std::size_t SelectionEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }

  bool Accepts(int ch) const;

 private:
  void DeleteSelection();
  void MoveCaret(std::size_t to, bool extend);

  std::string text_;
  std::size_t caret_ = 0;
  std::size_t anchor_ = 0;
  PromptFilter filter_ = PromptFilter::Anything;
};

}  // namespace morvanta
