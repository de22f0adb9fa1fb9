// HeldNoteList: the keys held in LIVE ARP (at most 15), in ascending pitch
// ratio against the first key pressed while the list was empty.
#pragma once

namespace morvanta {

class HeldNoteList {
 public:
  static constexpr int kCapacity = 15;

  void Add(int note);
  void Remove(int note);
  void Clear() { count_ = 0; }

  int Count() const { return count_; }
  bool Contains(int note) const;
  int Note(int i) const { return notes_[i]; }
  double Ratio(int i) const { return ratios_[i]; }
  int BaseNote() const { return baseNote_; }

 private:
  int notes_[kCapacity] = {};
  double ratios_[kCapacity] = {};
  int count_ = 0;
  int baseNote_ = 0;
};

}  // namespace morvanta
