// HeldNoteList: insertion keeps equal ratios in arrival order; removal takes
// the first entry with the note.
#include "dsp/HeldNoteList.h"

#include <cmath>

namespace morvanta {

void HeldNoteList::Add(int note) {
  if (count_ >= kCapacity) return;
  if (count_ == 0) baseNote_ = note;
  const double ratio = std::pow(2.0, (note - baseNote_) / 12.0);
  int at = 0;
  while (at < count_ && ratios_[at] <= ratio) ++at;
  for (int i = count_; i > at; --i) {
    notes_[i] = notes_[i - 1];
    ratios_[i] = ratios_[i - 1];
  }
  notes_[at] = note;
  ratios_[at] = ratio;
  ++count_;
}

void HeldNoteList::Remove(int note) {
  for (int i = 0; i < count_; ++i) {
    if (notes_[i] != note) continue;
    for (int j = i + 1; j < count_; ++j) {
      notes_[j - 1] = notes_[j];
      ratios_[j - 1] = ratios_[j];
    }
    --count_;
    return;
  }
}

bool HeldNoteList::Contains(int note) const {
  for (int i = 0; i < count_; ++i) {
    if (notes_[i] == note) return true;
  }
  return false;
}

}  // namespace morvanta
