// The main window's gestures: what a press, a move, a release or a double-click means depends on
// the first region of the skin that holds the pointer. Qt's implicit grab stands in for the
// mouse capture: after a press in the view, the release reaches the view wherever it happens.

#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>

#include "CKitbeatView.h"
#include "DragCursors.h"
#include "DrumEngine.h"
#include "FileNames.h"
#include "KitbeatDoc.h"
#include "SampleProbe.h"
#include "SetEditor.h"
#include "ViewEngine.h"

namespace zumbel {

namespace {

using skin::Rect;

// The thumb's track: 166 pixels from 41 to 207, and 16 rows visible.
constexpr int kTrackTop = 41;
constexpr int kTrackBottom = 207;
constexpr float kTrackPixels = 166.0f;
// A thumb drag follows the pointer only this far above and below the track.
constexpr int kThumbFollowTop = 40;
constexpr int kThumbFollowBottom = 210;

QPoint at(const QMouseEvent* event) { return event->position().toPoint(); }

// A MIDI note's name as the keyboards' captions count octaves: note 36, the first key, is C1
// (middle C, note 60, is C3).
QString noteName(int note) {
  static const char* const kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  return QStringLiteral("%1%2").arg(QLatin1String(kNames[note % 12])).arg(note / 12 - 2);
}

// The modifiers held once a key event is taken: a modifier key's own press or release counts,
// whatever the platform reports with it.
Qt::KeyboardModifiers heldAfter(const QKeyEvent* event, bool pressed) {
  Qt::KeyboardModifiers held = event->modifiers();
  held.setFlag(event->key() == Qt::Key_Shift ? Qt::ShiftModifier : Qt::ControlModifier, pressed);
  return held;
}

bool isModifierKey(const QKeyEvent* event) { return event->key() == Qt::Key_Control || event->key() == Qt::Key_Shift; }

// A note as the keyboards' tooltips name it: "C1 (note 36)".
QString noteLabel(int sound) {
  const int note = sound + kFirstNote;
  return QStringLiteral("%1 (note %2)").arg(noteName(note)).arg(note);
}

// Named as a file the sample reader plays: WAV, AIFF or FLAC, in either case.
bool isSampleFileName(const QString& path) {
  for (const char* suffix : {".wav", ".aif", ".aiff", ".flac"}) {
    if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) return true;
  }
  return false;
}

// A drag from a file manager is taken when it carries a sample by its name. Every local file it
// carries is then offered to the import, which names those it leaves out and why.
bool carriesSamples(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return false;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile() && isSampleFileName(url.toLocalFile())) return true;
  }
  return false;
}

std::vector<std::string> droppedFiles(const QMimeData* mime) {
  std::vector<std::string> files;
  if (!carriesSamples(mime)) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  }
  return files;
}

}  // namespace

void CKitbeatView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = at(event);
  if (event->button() == Qt::LeftButton) {
    OnLButtonDown(p.x(), p.y());
  } else if (event->button() == Qt::RightButton) {
    OnRButtonDown(p.x(), p.y());
  }
  repaintDirty();
}

void CKitbeatView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = at(event);
  showModifiersInDrag(event->modifiers());
  OnMouseMove(p.x(), p.y());
  repaintDirty();
}

void CKitbeatView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = at(event);
  if (event->button() == Qt::LeftButton) {
    OnLButtonUp(p.x(), p.y(), event->modifiers().testFlag(Qt::ControlModifier),
                event->modifiers().testFlag(Qt::ShiftModifier));
  } else if (event->button() == Qt::RightButton) {
    OnRButtonUp();
  }
  repaintDirty();
}

void CKitbeatView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = at(event);
  if (event->button() == Qt::LeftButton) {
    OnLButtonDblClk(p.x(), p.y());
  } else if (event->button() == Qt::RightButton) {
    // A quick second right click previews again, as the first did.
    OnRButtonDown(p.x(), p.y());
  }
  repaintDirty();
}

void CKitbeatView::leaveEvent(QEvent* event) {
  // A pointer that leaves the window straight from a button leaves the panel too.
  if (state_.hoveredButton != -1 && !captured_) {
    state_.hoveredButton = -1;
    renderer_.drawButtonPanel(-1);
    repaintDirty();
  }
  QWidget::leaveEvent(event);
}

void CKitbeatView::keyPressEvent(QKeyEvent* event) {
  if (isModifierKey(event)) {
    showModifiersInDrag(heldAfter(event, true));
    QWidget::keyPressEvent(event);
    return;
  }
  const bool backspace = event->key() == Qt::Key_Backspace ||
                         (event->key() == Qt::Key_H && event->modifiers() == Qt::ControlModifier);
  if (!backspace) {
    QWidget::keyPressEvent(event);
    return;
  }
  DeleteGroup();
}

void CKitbeatView::keyReleaseEvent(QKeyEvent* event) {
  if (isModifierKey(event)) showModifiersInDrag(heldAfter(event, false));
  QWidget::keyReleaseEvent(event);
}

void CKitbeatView::startDrag(bool pad) {
  const qreal ratio = devicePixelRatioF();
  QGuiApplication::setOverrideCursor(pad ? padDragCursor(ratio) : entryDragCursor(ratio));
  dragCursorShown_ = true;
  cursorBadge_ = 0;
}

void CKitbeatView::showModifiersInDrag(Qt::KeyboardModifiers held) {
  // Only a sample carried from the list lands as an alternate, and only a pad's sound moves; a
  // group does not change.
  if (!dragCursorShown_ || (!state_.drag.entry && !state_.drag.pad)) return;
  const bool ctrl = held.testFlag(Qt::ControlModifier);
  const bool shift = held.testFlag(Qt::ShiftModifier);
  const PadCarry carry = !shift ? PadCarry::kPlain : ctrl ? PadCarry::kCopy : PadCarry::kMove;
  const int badge = state_.drag.entry ? (ctrl ? 1 : 0) : static_cast<int>(carry);
  if (badge == cursorBadge_) return;
  cursorBadge_ = badge;
  const qreal ratio = devicePixelRatioF();
  QGuiApplication::changeOverrideCursor(state_.drag.entry ? entryDragCursor(ratio, ctrl) : padDragCursor(ratio, carry));
}

void CKitbeatView::restoreCursor() {
  if (!dragCursorShown_) return;
  dragCursorShown_ = false;
  cursorBadge_ = 0;
  QGuiApplication::restoreOverrideCursor();
}

void CKitbeatView::endDrag() {
  restoreCursor();
  state_.drag = DragState{};
  captured_ = false;
}

void CKitbeatView::OnLButtonDown(int x, int y) {
  restoreCursor();
  captured_ = true;
  state_.pickedEntry = 0;
  const int group = state_.currentGroup;
  const int entries = group < doc_.groupCount() ? doc_.groupSize(group) : 0;

  if (skin::kGroupList.contains(x, y)) {
    if (auto g = skin::groupAt(x, y, doc_.groupCount())) {
      state_.currentGroup = *g;
      state_.topRow = 0;
      state_.drag.group = true;
      startDrag(false);
      renderer_.DrawSampleAndGroupLists(false);
    }
  } else if (skin::kSampleList.contains(x, y)) {
    if (auto e = skin::sampleEntryAt(x, y, entries, state_.topRow)) {
      state_.drag.entry = true;
      state_.pickedEntry = *e;
      startDrag(false);
    }
  } else if (state_.scrollThumb.contains(x, y)) {
    state_.drag.thumb = true;
    state_.lastPointerY = y;
  } else if (skin::kLeftKeyboard.contains(x, y) || skin::kRightKeyboard.contains(x, y)) {
    const auto hit = skin::padAt(x, y, state_.firstShownSound);
    if (hit && hit->sound < kSoundCount && doc_.sound(hit->sound).hasOwnSample(hit->layer)) {
      state_.pickedSound = hit->sound;
      state_.pickedLayer = hit->layer;
      state_.drag.pad = true;
      startDrag(true);
    }
  } else if (skin::kButtonPanel.contains(x, y)) {
    const int id = skin::buttonAt(x, y);
    if (id != -1) pressButton(id);
  } else if (skin::kEditOctavePanel.contains(x, y)) {
    for (int pair = 0; pair < skin::kOctavePairs; ++pair) {
      if (!skin::kOctaveButtons[static_cast<std::size_t>(pair)].contains(x, y)) continue;
      state_.firstShownSound = pair * skin::kSoundsPerPage;
      renderer_.DrawOctaveSelection();
    }
  } else {
    state_.drag.entry = false;
    state_.drag.pad = false;
  }
}

void CKitbeatView::pressButton(int id) {
  // A command opens a dialog of its own: the press ends here, not at a release the dialog eats.
  endDrag();
  switch (skin::kButtonsById[static_cast<std::size_t>(id - 1)]) {
    case skin::Button::kSaveSet: OnSaveSet(); break;
    case skin::Button::kLoadSet: OnLoadSet(); break;
    case skin::Button::kOptions: OnOptions(); break;
    case skin::Button::kSaveGroup: SaveSampleList(); break;
    case skin::Button::kLoadGroup: LoadSampleList(); break;
    case skin::Button::kLoadSample: ImportSamples(); break;
    case skin::Button::kCreateGroup: NewGroup(); break;
  }
}

void CKitbeatView::OnMouseMove(int x, int y) {
  if (state_.drag.thumb && y > kThumbFollowTop && y < kThumbFollowBottom) {
    thumbDragStep(y);
    return;
  }
  if (skin::kButtonPanel.contains(x, y)) {
    const int id = skin::buttonAt(x, y);
    if (id != -1 && id != state_.hoveredButton) {
      state_.hoveredButton = id;
      renderer_.drawButtonPanel(id);
    }
  } else if (state_.hoveredButton != -1) {
    state_.hoveredButton = -1;
    renderer_.drawButtonPanel(-1);
  }
}

void CKitbeatView::thumbDragStep(int y) {
  const int group = state_.currentGroup;
  const int n = group < doc_.groupCount() ? doc_.groupSize(group) : 0;
  if (n <= skin::kListRows) {
    state_.topRow = 0;
    renderer_.DrawSampleAndGroupLists(false);
    return;
  }
  if (y < kTrackTop || y > kTrackBottom) return;
  // Single precision, as the thumb's placement from the top row computes the same step.
  const float h = kTrackPixels * skin::kListRows / static_cast<float>(n);
  float g = (kTrackPixels - h) / static_cast<float>(n - skin::kListRows);
  if (g == 0.0f) g = 1.0f;
  int newTop = state_.scrollThumb.top + (y - state_.lastPointerY);
  const int height = static_cast<int>(h);
  int newBottom = newTop + height;
  int topRow = static_cast<int>(static_cast<float>(newTop - kTrackTop) / g);
  if (newTop < kTrackTop) {
    newTop = kTrackTop;
    topRow = 0;
    newBottom = kTrackTop + height;
  }
  if (newBottom > kTrackBottom) {
    newBottom = kTrackBottom;
    newTop = kTrackBottom - height;
    topRow = n - skin::kListRows;
  }
  state_.scrollThumb = Rect{state_.scrollThumb.left, newTop, state_.scrollThumb.right, newBottom};
  state_.lastPointerY = y;
  renderer_.drawScrollThumb(state_.scrollThumb);
  if (topRow != state_.topRow) {
    state_.topRow = topRow;
    renderer_.DrawSampleAndGroupLists(true);
  }
}

void CKitbeatView::OnLButtonUp(int x, int y, bool ctrl, bool shift) {
  if (!captured_) return;
  // The questions a drop asks come up with the ordinary pointer.
  restoreCursor();
  if (skin::kLeftKeyboard.contains(x, y) || skin::kRightKeyboard.contains(x, y)) {
    doc_.SetModifiedFlag();
    const auto hit = skin::padAt(x, y, state_.firstShownSound);
    if (hit && hit->sound < kSoundCount) {
      if (state_.drag.entry && ctrl) {
        AddAlternate(hit->sound, hit->layer);
      } else if (state_.drag.entry) {
        DropEntryOnPad(hit->sound, hit->layer);
      } else if (state_.drag.pad && shift) {
        // Without Shift a pad dropped on a pad does nothing, so a slip of the hand moves nothing.
        dropSoundOnPad(state_.pickedSound, hit->sound, ctrl);
      }
    }
  } else if (skin::kTrashArea.contains(x, y)) {
    dropOnTrash(ctrl);
  }
  endDrag();
}

void CKitbeatView::OnLButtonDblClk(int x, int y) {
  if (!skin::kLeftKeyboard.contains(x, y) && !skin::kRightKeyboard.contains(x, y)) return;
  const auto hit = skin::padAt(x, y, state_.firstShownSound);
  if (hit && hit->sound < kSoundCount) ShowSoundProperties(hit->sound);
}

void CKitbeatView::OnRButtonDown(int x, int y) {
  if (const auto hit = skin::padAt(x, y, state_.firstShownSound); hit && hit->sound < kSoundCount) {
    const Sound& s = doc_.sound(hit->sound);
    const SampleRef ref = s.refs[static_cast<std::size_t>(hit->layer)];
    // A reference a damaged file left outside the pool has nothing to show.
    if (s.hasOwnSample(hit->layer) && doc_.samplePath(ref)) {
      state_.currentGroup = ref.group;
      state_.locatedRow = ref.entry;
      state_.topRow = ref.entry > skin::kListRows - 1 ? ref.entry - (skin::kListRows - 1) : 0;
      renderer_.DrawSampleAndGroupLists(false);
    }
    return;
  }
  const int group = state_.currentGroup;
  const int entries = group < doc_.groupCount() ? doc_.groupSize(group) : 0;
  const auto entry = skin::sampleEntryAt(x, y, entries, state_.topRow);
  if (!entry || !skin::kSampleList.contains(x, y)) return;
  const std::string stored(doc_.groupList(group)[static_cast<std::size_t>(*entry)]);
  // The file that plays, found as the set's voices find theirs (a path kept as the set stored it
  // may be relative to the set's folder), shown from the root whatever folder found it.
  const std::optional<std::string> found = live_ ? live_->loader.find(stored) : std::nullopt;
  const std::string path = found ? AbsolutePath(*found) : stored;
  // A second press before the release puts the first row back before covering another.
  renderer_.restoreSaveUnder();
  renderer_.drawFullPath(*entry - state_.topRow, path);
  if (editor_) editor_->startPreview(path);
}

void CKitbeatView::OnRButtonUp() {
  // Ends a right-button preview: the sound stops, the full path drawn over the row goes.
  if (editor_) {
    editor_->stopPreview();
  } else if (engine_) {
    engine_->voices().releasePreview();
  }
  renderer_.restoreSaveUnder();
  state_.locatedRow = -1;
  renderer_.DrawSampleAndGroupLists(false);
}

void CKitbeatView::dropOnTrash(bool ctrl) {
  if (!editor_) return;
  if (ctrl && state_.drag.pad) {
    ClearAlternates(state_.pickedSound, state_.pickedLayer);
    return;
  }
  const EditStep step(*this, state_.drag.entry  ? "Remove Sample"
                             : state_.drag.group ? "Delete Group"
                                                 : clearLabel(state_.pickedSound, state_.pickedLayer));
  if (state_.drag.entry) {
    if (!editor_->trashEntry(state_.currentGroup, state_.pickedEntry)) return;
    keepTopRowInList();
    FullRedraw();
  } else if (state_.drag.group) {
    int current = 0;
    if (!editor_->trashGroup(state_.currentGroup, current)) return;
    state_.currentGroup = current;
    keepTopRowInList();
    FullRedraw();
  } else if (state_.drag.pad) {
    editor_->trashPad(state_.pickedSound, state_.pickedLayer);
    renderer_.DrawMemoryMeter();
    FullRedraw();
  }
}

void CKitbeatView::dropSoundOnPad(int from, int to, bool copy) {
  if (!editor_ || from == to) return;
  SoundMove how = copy ? SoundMove::kCopy : SoundMove::kMove;
  if (!doc_.sound(to).isEmpty()) {
    // A copy that swapped would be a swap: a copy only replaces.
    const QString question = copy ? tr("%1 already has a sound.\nReplace it with a copy of the sound of %2?")
                                  : tr("%1 already has a sound.\nReplace it with the sound of %2, or swap the two?");
    const QString text = question.arg(noteLabel(to), noteLabel(from));
    switch (dialogs_->askReplaceOrSwap(text.toStdString(), !copy)) {
      case OccupiedPadAnswer::kReplace: break;
      case OccupiedPadAnswer::kSwap: how = SoundMove::kSwap; break;
      case OccupiedPadAnswer::kCancel: return;
    }
  }
  MoveSound(from, to, how);
}

bool CKitbeatView::acceptsFiles(int x, int y) const {
  return editor_ && (skin::kSampleList.contains(x, y) || skin::padAt(x, y, state_.firstShownSound).has_value());
}

void CKitbeatView::dragEnterEvent(QDragEnterEvent* event) {
  if (editor_ && carriesSamples(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CKitbeatView::dragMoveEvent(QDragMoveEvent* event) {
  const QPoint p = event->position().toPoint();
  if (acceptsFiles(p.x(), p.y())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CKitbeatView::dropEvent(QDropEvent* event) {
  const QPoint p = event->position().toPoint();
  const std::vector<std::string> files = droppedFiles(event->mimeData());
  if (files.empty() || !acceptsFiles(p.x(), p.y())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // The file manager waits for the drop to end; a question about a group must not hold it.
  QMetaObject::invokeMethod(this, [this, files, p] { importDroppedFiles(files, p.x(), p.y()); }, Qt::QueuedConnection);
}

QString CKitbeatView::toolTipAt(int x, int y) const {
  if (const auto hit = skin::padAt(x, y, state_.firstShownSound); hit && hit->sound < kSoundCount) {
    const int note = hit->sound + kFirstNote;
    QString pad = tr("%1 (note %2), layer %3").arg(noteName(note)).arg(note).arg(hit->layer + 1);
    // The sample it plays, named as the list names it; a layer that borrows says whose it plays.
    const Sound& sound = doc_.sound(hit->sound);
    int plays = hit->layer;
    if (!sound.isEmpty()) {
      const int32_t source = sound.sources[static_cast<std::size_t>(hit->layer)];
      if (source >= 0 && source < kLayerCount && source != hit->layer) {
        plays = source;
        pad += tr(" plays layer %1").arg(source + 1);
      }
      if (const auto path = doc_.samplePath(sound.refs[static_cast<std::size_t>(plays)])) {
        pad += QStringLiteral(", ") + QString::fromStdString(FileNamePart(*path));
      }
    }
    const SoundExtras& extras = doc_.soundExtras(hit->sound);
    // Alternates are added and removed with Ctrl; the count tells they are there at all.
    const auto takes = static_cast<int>(extras.alternates[static_cast<std::size_t>(plays)].size());
    if (takes > 0) pad += takes == 1 ? tr(", 1 alternate") : tr(", %1 alternates").arg(takes);
    const std::string& name = extras.name;
    return name.empty() ? pad : QString::fromStdString(name) + QStringLiteral(": ") + pad;
  }
  const int group = state_.currentGroup;
  const int entries = group < doc_.groupCount() ? doc_.groupSize(group) : 0;
  if (const auto e = skin::sampleEntryAt(x, y, entries, state_.topRow); e && skin::kSampleList.contains(x, y)) {
    return QString::fromStdString(std::string(doc_.groupList(group)[static_cast<std::size_t>(*e)]));
  }
  return {};
}

bool CKitbeatView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = toolTipAt(help->pos().x(), help->pos().y());
    if (tip.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      // Names and paths are plain text: one that looks like markup ("<b>Kick") is shown as typed.
      QToolTip::showText(help->globalPos(), Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip) : tip, this);
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace zumbel
