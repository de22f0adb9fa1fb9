#include "graphics/PromptText.h"

#include "graphics/PanelWindow.h"

namespace morvanta {

void PromptText::Reset(const std::string& text, PromptFilter filter) {
  text_ = text.substr(0, kMaxLength);
  filter_ = filter;
  anchor_ = 0;
  caret_ = text_.size();
}

bool PromptText::Accepts(int ch) const {
  if (ch < 32 || ch > 126) return false;
  const bool digit = ch >= '0' && ch <= '9';
  const bool sign = ch == '+' || ch == '-';
  switch (filter_) {
    case PromptFilter::Integer:
      return digit || sign;
    case PromptFilter::Decimal:
      return digit || sign || ch == '.';
    case PromptFilter::Anything:
      break;
  }
  return true;
}

void PromptText::DeleteSelection() {
  const std::size_t start = SelectionStart();
  text_.erase(start, SelectionEnd() - start);
  caret_ = anchor_ = start;
}

void PromptText::MoveCaret(std::size_t to, bool extend) {
  caret_ = to > text_.size() ? text_.size() : to;
  if (!extend) anchor_ = caret_;
}

bool PromptText::Key(int key, bool shift) {
  switch (key) {
    case kKeyBackspace:
      if (HasSelection()) {
        DeleteSelection();
      } else if (caret_ > 0) {
        text_.erase(--caret_, 1);
        anchor_ = caret_;
      } else {
        return false;
      }
      return true;
    case kKeyDelete:
      if (HasSelection()) {
        DeleteSelection();
      } else if (caret_ < text_.size()) {
        text_.erase(caret_, 1);
      } else {
        return false;
      }
      return true;
    case kKeyLeft:
      if (!shift && HasSelection()) MoveCaret(SelectionStart(), false);
      else MoveCaret(caret_ > 0 ? caret_ - 1 : 0, shift);
      return true;
    case kKeyRight:
      if (!shift && HasSelection()) MoveCaret(SelectionEnd(), false);
      else MoveCaret(caret_ + 1, shift);
      return true;
    case kKeyHome:
      MoveCaret(0, shift);
      return true;
    case kKeyEnd:
      MoveCaret(text_.size(), shift);
      return true;
    default:
      break;
  }
  if (!Accepts(key)) return false;
  if (HasSelection()) DeleteSelection();
  if (text_.size() >= kMaxLength) return false;
  text_.insert(caret_, 1, static_cast<char>(key));
  anchor_ = ++caret_;
  return true;
}

}  // namespace morvanta
