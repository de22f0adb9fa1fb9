// The edit history: a ring of 1000 recorded sounds with undo and redo, and
// the two stores of the A/B compare. `Snapshot` is the instrument's sound
// record (copyable, compared with ==); all storage lives inside the object.
#pragma once

#include <array>

namespace morvanta {

template <class Snapshot>
class EditHistory {
 public:
  static constexpr int kDepth = 1000;
  // One entry is always the current sound, so at most kDepth - 1 steps back
  // lead to entries the ring has not overwritten.
  static constexpr int kMaxUndo = kDepth - 1;

  // Entry 0 holds `live`; nothing to undo or redo.
  void Seed(const Snapshot& live) {
    position_ = 0;
    undoCount_ = 0;
    redoCount_ = 0;
    entries_[0] = live;
  }

  // Records `live` as a new entry unless it equals the current one.
  bool Push(const Snapshot& live) {
    if (live == entries_[position_]) return false;
    if (undoCount_ < kMaxUndo) ++undoCount_;
    redoCount_ = 0;
    position_ = Next(position_);
    entries_[position_] = live;
    return true;
  }

  // Steps back when possible; answers the entry to load either way.
  const Snapshot& Undo() {
    if (undoCount_ > 0) {
      --undoCount_;
      ++redoCount_;
      position_ = Previous(position_);
    }
    return entries_[position_];
  }

  const Snapshot& Redo() {
    if (redoCount_ > 0) {
      --redoCount_;
      ++undoCount_;
      position_ = Next(position_);
    }
    return entries_[position_];
  }

  // Switches the live side: the side left keeps `live`; answers the sound
  // of the new side.
  const Snapshot& SwitchSide(const Snapshot& live) {
    side_ = (side_ + 1) % 2;
    if (side_ == 1) {
      storeA_ = live;
      return storeB_;
    }
    storeB_ = live;
    return storeA_;
  }

  // The side that is not live receives the current entry.
  void CopyToOtherSide() {
    if (side_ == 1)
      storeA_ = entries_[position_];
    else
      storeB_ = entries_[position_];
  }

  const Snapshot& Current() const { return entries_[position_]; }
  int Position() const { return position_; }
  int UndoCount() const { return undoCount_; }
  int RedoCount() const { return redoCount_; }
  int Side() const { return side_; }
  const Snapshot& StoreA() const { return storeA_; }
  const Snapshot& StoreB() const { return storeB_; }

 private:
  static int Next(int p) { return p + 1 == kDepth ? 0 : p + 1; }
  static int Previous(int p) { return p == 0 ? kDepth - 1 : p - 1; }

  std::array<Snapshot, kDepth> entries_{};
  int position_ = 0;
  int undoCount_ = 0;
  int redoCount_ = 0;
  Snapshot storeA_{};
  Snapshot storeB_{};
  int side_ = 0;
};

}  // namespace morvanta
