// What the main window's commands and drops do: importing samples, making groups, saving and
// loading a group as a sample list, giving samples to pads and taking them away. The set and
// its voices change through SetEditor; this file keeps the view's state and drawing in step.

#include "CKitbeatView.h"
#include "EngineConfig.h"
#include "FileNames.h"
#include "KitbeatDoc.h"
#include "PoolPaths.h"
#include "Prompts.h"
#include "SampleListFile.h"
#include "SetEditor.h"
#include "ViewEngine.h"
#include "WaveReader.h"

namespace zumbel {

namespace {

constexpr const char* kTooManyLists = "Try to manage with 16 lists (sorry)";
constexpr const char* kTooManyGroups = "Please try to manage with 16 Groups (sorry!)";
constexpr const char* kNoGroupToSave =
    "There is no group to save yet.\nImport samples or create a group first.";
constexpr const char* kImportTitle = "Select one or more files to open";
constexpr const char* kFirstListName = "First";
const std::string kNotAddedOne = "This file was not added:";
const std::string kNotAddedMany = "These files were not added:";

// The files of `files` the sample reader plays, in their order. The others are named in one
// message, each with why, so a file that would only fail later on a pad never enters the list.
std::vector<std::string> playableOnly(const std::vector<std::string>& files, Prompts& prompts) {
  std::vector<std::string> kept;
  std::string refused;
  std::size_t left = 0;
  for (const std::string& f : files) {
    const std::string problem = SampleFileProblem(f);
    if (problem.empty()) {
      kept.push_back(f);
    } else if (++left <= kMaxFilesNamed) {
      refused += "\n" + FileNamePart(f) + " " + problem;
    }
  }
  if (left > kMaxFilesNamed) refused += "\n... and " + std::to_string(left - kMaxFilesNamed) + " more";
  if (left > 0) prompts.showMessage((left == 1 ? kNotAddedOne : kNotAddedMany) + refused, kAppCaption);
  return kept;
}

// The file's name without its extension: what a loaded or saved list names its group.
std::string listTitle(const std::string& path) {
  const std::string name = FileNamePart(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

void CKitbeatView::ensureOutput() {
  // A sample given to a pad should be heard: with no output (none opened yet, or the last one
  // lost), the default one is opened first, and the user is told if it fails.
  if (live_ && !live_->output.isOpen()) live_->output.InitAudioOutput(0);
}

void CKitbeatView::keepTopRowInList() {
  const int group = state_.currentGroup;
  const int n = group < doc_.groupCount() ? doc_.groupSize(group) : 0;
  state_.topRow = std::clamp(state_.topRow, 0, std::max(0, n - skin::kListRows));
}

bool CKitbeatView::haveGroupForImport() {
  if (doc_.groupCount() > 0) return true;
  const std::optional<std::string> name = dialogs_->askGroupName("New Group");
  if (!name) return false;
  doc_.appendGroup(*name);
  doc_.SetModifiedFlag();
  state_.currentGroup = 0;
  renderer_.DrawSampleAndGroupLists(false);
  repaintDirty();
  return true;
}

int CKitbeatView::importFiles(const std::vector<std::string>& files) {
  const int group = state_.currentGroup;
  const int first = doc_.groupSize(group);
  for (const std::string& f : files) doc_.appendSample(group, f);
  doc_.SetModifiedFlag();
  state_.topRow = 0;
  renderer_.DrawSampleAndGroupLists(false);
  repaintDirty();
  return first;
}

void CKitbeatView::ImportSamples() {
  if (!live_) return;
  const EditStep step(*this, "Import Samples");
  if (!haveGroupForImport()) return;
  // However many files are chosen, every one is imported: the list has no fixed size.
  const std::vector<std::string> chosen = dialogs_->openFiles(FileRequest{kImportTitle, "", kWaveImportFilter, ""});
  if (chosen.empty()) return;
  const std::vector<std::string> files = playableOnly(chosen, live_->prompts);
  if (!files.empty()) importFiles(files);
}

void CKitbeatView::importDroppedFiles(const std::vector<std::string>& dropped, int x, int y) {
  if (!live_ || dropped.empty()) return;
  // Checked before a first group is asked for: a drop of nothing playable makes no group.
  const std::vector<std::string> files = playableOnly(dropped, live_->prompts);
  if (files.empty()) return;
  const EditStep step(*this, "Import Samples");
  if (!haveGroupForImport()) return;
  const int first = importFiles(files);
  const auto hit = skin::padAt(x, y, state_.firstShownSound);
  if (!hit || hit->sound >= kSoundCount) return;
  state_.pickedEntry = first;
  DropEntryOnPad(hit->sound, hit->layer);
  repaintDirty();
}

void CKitbeatView::NewGroup() {
  if (!live_) return;
  if (doc_.groupCount() >= kMaxGroups) {
    live_->prompts.showMessage(kTooManyLists, kAppCaption);
    return;
  }
  if (const std::optional<std::string> name = dialogs_->askGroupName("Group..")) {
    const EditStep step(*this, "New Group");
    state_.currentGroup = doc_.appendGroup(*name);
    state_.topRow = 0;
    doc_.SetModifiedFlag();
  }
  renderer_.DrawSampleAndGroupLists(false);
  repaintDirty();
}

void CKitbeatView::LoadSampleList() {
  if (!live_) return;
  if (doc_.groupCount() >= kMaxGroups) {
    live_->prompts.showMessage(kTooManyGroups, kAppCaption);
    return;
  }
  sampleListFile(true);
}

void CKitbeatView::SaveSampleList() {
  if (!live_) return;
  // Nothing to write and no group to name after the file: refused before any file is chosen.
  if (doc_.groupCount() == 0) {
    live_->prompts.showMessage(kNoGroupToSave, kAppCaption);
    return;
  }
  sampleListFile(false);
}

void CKitbeatView::sampleListFile(bool load) {
  const int group = state_.currentGroup;
  const std::string initial = doc_.groupCount() > 0 ? doc_.groupName(group) : kFirstListName;
  const FileRequest request{load ? "Open" : "Save As", initial, kSampleListFilter, "slist"};
  const std::optional<std::string> path = load ? dialogs_->openFile(request) : dialogs_->saveFile(request);
  if (path) {
    const EditStep step(*this, load ? "Load List" : "Rename Group");
    const std::string title = listTitle(*path);
    if (load) {
      StringList entries;
      const SampleListResult result = zumbel::LoadSampleList(*path, entries);
      // A file that opens makes its group, keeping whatever was read before a damaged end.
      if (result.ok() || result.error == SampleListError::EndOfFile) {
        state_.currentGroup = doc_.appendGroup(title);
        for (std::string_view e : entries) doc_.appendSample(state_.currentGroup, std::string(e));
        state_.topRow = 0;
      }
      if (!result.ok()) live_->prompts.showAlert(MessageIcon::kCritical, result.message, kAppCaption);
    } else {
      // A list may be loaded into any set: paths that only the set's own folder makes sense of
      // are written in full.
      GroupList entries;
      for (std::string_view e : doc_.groupList(group)) entries.push_back(PathOutsideSet(std::string(e), doc_.folder()));
      const SampleListResult result = zumbel::SaveSampleList(*path, entries);
      // The group takes the file's name once the file holds it; a failed save leaves both alone.
      if (result.ok()) {
        doc_.renameGroup(group, title);
      } else {
        live_->prompts.showAlert(MessageIcon::kCritical, result.message, kAppCaption);
      }
    }
  }
  renderer_.DrawSampleAndGroupLists(false);
  repaintDirty();
}

void CKitbeatView::OnSaveSet() {
  const std::optional<std::string> path = dialogs_->saveFile(FileRequest{"Save As", "", kDrumSetFilter, "drums"});
  if (path && saveDocumentAs_) saveDocumentAs_(*path);
}

void CKitbeatView::OnLoadSet() {
  const std::optional<std::string> path = dialogs_->openFile(FileRequest{"Open", "", kDrumSetFilter, "drums"});
  if (path && openDocument_) openDocument_(*path);
}

std::string CKitbeatView::clearLabel(int sound, int layer) const {
  return layer == 0 ? "Clear " + soundLabel(sound) : "Clear " + soundLabel(sound) + " layer " + std::to_string(layer + 1);
}

void CKitbeatView::DropEntryOnPad(int sound, int layer) {
  const EditStep step(*this, "Drop on " + soundLabel(sound) + " layer " + std::to_string(layer + 1));
  if (editor_ && editor_->DropEntryOnPad(sound, layer, state_.currentGroup, state_.pickedEntry) == SetEditor::Drop::kAssigned &&
      soundPropertiesOpen_) {
    ShowSoundProperties(sound);
  }
  renderer_.DrawPads();
  renderer_.DrawSampleAndGroupLists(false);
  state_.drag = DragState{};
}

void CKitbeatView::AddAlternate(int sound, int layer) {
  const EditStep step(*this, "Add Alternate to " + soundLabel(sound) + " layer " + std::to_string(layer + 1));
  if (editor_ && editor_->AddAlternate(sound, layer, state_.currentGroup, state_.pickedEntry) == SetEditor::Drop::kAssigned &&
      soundPropertiesOpen_) {
    ShowSoundProperties(sound);
  }
  // The lists' redraw brings the memory meter up to date with the new take.
  renderer_.DrawSampleAndGroupLists(false);
  state_.drag = DragState{};
}

void CKitbeatView::ClearAlternates(int sound, int layer) {
  if (!editor_) return;
  const EditStep step(*this, "Remove Alternates of " + soundLabel(sound) + " layer " + std::to_string(layer + 1));
  if (editor_->trashAlternates(sound, layer) && soundPropertiesOpen_ && currentSound_ == sound) {
    ShowSoundProperties(sound);
  }
  state_.drag.pad = false;
  renderer_.DrawMemoryMeter();
  repaintDirty();
}

void CKitbeatView::ClearLayer(int sound, int layer) {
  if (!editor_) return;
  const EditStep step(*this, clearLabel(sound, layer));
  editor_->ClearLayer(sound, layer);
  state_.drag.pad = false;
  renderer_.DrawMemoryMeter();
  // The keyboards are put back first, so a pad that lost its sample looks empty again.
  renderer_.DrawOctaveSelection();
  repaintDirty();
}

void CKitbeatView::MoveSound(int from, int to, SoundMove how) {
  if (!editor_) return;
  const char* verb = how == SoundMove::kCopy ? "Copy " : how == SoundMove::kSwap ? "Swap " : "Move ";
  const EditStep step(*this, verb + soundLabel(from) + (how == SoundMove::kSwap ? " and " : " to ") +
                                 "note " + std::to_string(to + kFirstNote));
  if (!editor_->MoveSound(from, to, how)) return;
  // The dialog follows the sound to where it went, as it follows a sample to its pad.
  if (soundPropertiesOpen_) ShowSoundProperties(to);
  renderer_.DrawMemoryMeter();
  renderer_.DrawOctaveSelection();
  repaintDirty();
}

void CKitbeatView::DeleteGroup() {
  if (!editor_) return;
  const EditStep step(*this, "Delete Group");
  int current = 0;
  if (!editor_->DeleteGroup(state_.currentGroup, current)) return;
  state_.currentGroup = current;
  keepTopRowInList();
  endDrag();
  FullRedraw();
}

}  // namespace zumbel
