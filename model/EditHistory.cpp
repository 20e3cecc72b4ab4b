#include "EditHistory.h"

#include <utility>

namespace zumbel {

void EditHistory::begin(const CKitbeatDoc& doc, std::string label, std::string mergeKey) {
  if (depth_++ > 0) return;
  before_ = SetState::of(doc);
  label_ = std::move(label);
  pendingKey_ = std::move(mergeKey);
}

void EditHistory::end(const CKitbeatDoc& doc) {
  if (depth_ == 0 || --depth_ > 0) return;
  std::optional<SetState> before = std::exchange(before_, std::nullopt);
  if (!before) return;
  SetState now = SetState::of(doc);
  if (*before == now) return;
  redo_.clear();
  if (savedAt_ > position()) savedAt_ = -1;  // the saved state was on the redo list
  if (!pendingKey_.empty() && pendingKey_ == mergeKey_ && !undo_.empty()) {
    // The last step grows: its state before stays, so one Undo takes back the whole gesture. A
    // gesture that came back to where it began is no step at all.
    if (savedAt_ == position()) savedAt_ = -1;
    if (undo_.back().state == now) undo_.pop_back();
    return;
  }
  undo_.push_back(Step{std::move(label_), std::move(*before)});
  mergeKey_ = std::move(pendingKey_);
  if (position() > kMaxUndoSteps) {
    undo_.pop_front();
    savedAt_ = savedAt_ > 0 ? savedAt_ - 1 : -1;
  }
}

std::optional<SetState> EditHistory::travel(std::deque<Step>& from, std::deque<Step>& to, const CKitbeatDoc& doc) {
  if (from.empty() || depth_ > 0) return std::nullopt;
  Step step = std::move(from.back());
  from.pop_back();
  // The present state goes the other way under the same name, so the step can be retraced.
  to.push_back(Step{step.label, SetState::of(doc)});
  closeMerge();
  return std::move(step.state);
}

std::optional<SetState> EditHistory::undo(const CKitbeatDoc& doc) { return travel(undo_, redo_, doc); }
std::optional<SetState> EditHistory::redo(const CKitbeatDoc& doc) { return travel(redo_, undo_, doc); }

void EditHistory::markSaved() {
  savedAt_ = position();
  // A change after the save is a step of its own, so Undo can come back to what was saved.
  closeMerge();
}

void EditHistory::clear(bool saved) {
  undo_.clear();
  redo_.clear();
  depth_ = 0;
  before_.reset();
  closeMerge();
  savedAt_ = saved ? 0 : -1;
}

}  // namespace zumbel
