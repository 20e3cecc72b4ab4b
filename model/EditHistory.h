#pragma once
// Undo and redo for the drum set. Every step keeps the whole set as it was (the ".drums" content
// and its extras): a set is tens of kilobytes, so copies are cheap and exact, and going back
// puts back precisely what a save wrote then, whatever kind of edit it was. Edits that change
// nothing leave no step. Plain data on the user-interface thread; the window makes the voices
// follow.

#include <optional>
#include <string>
#include <deque>

#include "KitbeatDoc.h"

namespace zumbel {

// Everything a save writes.
struct SetState {
  DrumSetContent content;
  SetExtras extras;

  static SetState of(const CKitbeatDoc& doc) { return SetState{doc.content(), doc.extras()}; }
  friend bool operator==(const SetState& a, const SetState& b) {
    return a.content == b.content && a.extras == b.extras;
  }
};

class EditHistory {
 public:
  // Around every edit: begin remembers the set as it is, end keeps a step named `label` when the
  // set changed. Nested pairs (an import that also drops on a pad) make one step, the outer one.
  // A step with the same non-empty `mergeKey` as the step just before it, with no closeMerge in
  // between, joins that step instead: a slider dragged, a name typed.
  void begin(const CKitbeatDoc& doc, std::string label, std::string mergeKey = {});
  void end(const CKitbeatDoc& doc);
  bool inEdit() const { return depth_ > 0; }
  // The next step stands on its own, whatever its merge key.
  void closeMerge() { mergeKey_.clear(); }

  bool canUndo() const { return !undo_.empty(); }
  bool canRedo() const { return !redo_.empty(); }
  // The name of the step Undo (Redo) would take back (do again); empty when there is none.
  std::string undoLabel() const { return canUndo() ? undo_.back().label : std::string(); }
  std::string redoLabel() const { return canRedo() ? redo_.back().label : std::string(); }

  // The state to put in place of the set's present one, which is kept for the way back; nothing
  // when there is no step.
  std::optional<SetState> undo(const CKitbeatDoc& doc);
  std::optional<SetState> redo(const CKitbeatDoc& doc);

  // The set as it is now is what its file holds (after a save, an open).
  void markSaved();
  // Whether the set is now as it was when last saved; false once that state can no longer be
  // reached (it was undone and then edited over, or fell off the end).
  bool atSaved() const { return savedAt_ == position(); }
  // A new or opened set: no steps; `saved` tells whether the set is as its file holds it.
  void clear(bool saved);

  int steps() const { return static_cast<int>(undo_.size()); }

 private:
  struct Step {
    std::string label;
    SetState state;  // on the undo list: before the step; on the redo list: after it
  };
  int position() const { return static_cast<int>(undo_.size()); }
  std::optional<SetState> travel(std::deque<Step>& from, std::deque<Step>& to, const CKitbeatDoc& doc);

  std::deque<Step> undo_;  // the oldest step leaves from the front, without moving the rest
  std::deque<Step> redo_;
  int depth_ = 0;
  std::optional<SetState> before_;
  std::string label_;
  std::string pendingKey_;
  std::string mergeKey_;  // the key the last step may still be joined under
  int savedAt_ = 0;       // the position whose state the file holds; -1 for none
};

}  // namespace zumbel
