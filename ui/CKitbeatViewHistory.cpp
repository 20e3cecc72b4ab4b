// Undo and redo in the main window: every gesture that changes the set is one step, and going
// back puts the whole set back, its voices following so the pads play what they show.

#include <QApplication>

#include <algorithm>

#include "CKitbeatView.h"
#include "KitbeatDoc.h"
#include "SetEditor.h"

namespace zumbel {

CKitbeatView::EditStep::EditStep(CKitbeatView& view, std::string label, std::string mergeKey) : view_(view) {
  view_.history_.begin(view_.doc_, std::move(label), std::move(mergeKey));
}

CKitbeatView::EditStep::~EditStep() {
  view_.history_.end(view_.doc_);
  if (!view_.history_.inEdit() && view_.historyChanged_) view_.historyChanged_();
}

std::string CKitbeatView::soundLabel(int sound) const {
  if (sound < 0 || sound >= kSoundCount) return {};
  const std::string& name = doc_.soundExtras(sound).name;
  return name.empty() ? "note " + std::to_string(sound + kFirstNote) : name;
}

bool CKitbeatView::mayRestore() const {
  // Not while a set is being read, in the middle of a drag, or under a question or file dialog
  // that is about to act on the set as it is.
  return editor_ && !progress_.loading() && !captured_ && !QApplication::activeModalWidget();
}

void CKitbeatView::Undo() { restoreFromHistory(true); }
void CKitbeatView::Redo() { restoreFromHistory(false); }

void CKitbeatView::restoreFromHistory(bool back) {
  if (!mayRestore()) return;
  std::optional<SetState> state = back ? history_.undo(doc_) : history_.redo(doc_);
  if (!state) return;
  editor_->restoreState(std::move(*state));
  afterRestore();
}

void CKitbeatView::afterRestore() {
  doc_.SetModifiedFlag(!history_.atSaved());
  state_.currentGroup = std::clamp(state_.currentGroup, 0, std::max(0, doc_.groupCount() - 1));
  state_.locatedRow = -1;
  keepTopRowInList();
  FullRedraw();
  if (soundPropertiesOpen_ && soundDialog_) soundDialog_->showValues(soundPropertiesOf(currentSound_));
  if (historyChanged_) historyChanged_();
}

void CKitbeatView::clearHistory(bool saved) {
  history_.clear(saved);
  if (historyChanged_) historyChanged_();
}

void CKitbeatView::historySaved() {
  history_.markSaved();
  if (historyChanged_) historyChanged_();
}

void CKitbeatView::OnSoundGesture(bool) {
  // A drag starts and ends a step; the moves in between join the step the first one made.
  history_.closeMerge();
}

}  // namespace zumbel
