#pragma once
// What the main window's gestures do to the drum set and its voices: giving a pool sample to a
// pad or to a layer's alternates, clearing a layer or its alternates, the three deletions of the
// trash and the right-button preview. The view decides which gesture was made and redraws
// afterwards; this class changes the set, asks the questions and keeps the voice table in step.
// Plain C++ on the user-interface thread: every voice it replaces or removes leaves the table
// through publish/release, so the audio thread never reaches a freed voice, however fast notes
// come in meanwhile.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "Limits.h"

namespace zumbel {

class CKitbeatDoc;
class DrumEngine;
struct SetState;
class LayerVoiceLoader;
class Prompts;
class WaveReader;

// A confirmation after a drop and a preview play this loud: -20 dB, in hundredths of a decibel.
inline constexpr int32_t kPreviewVolume = -2000;

// A whole sound carried to another note: moved (the old note is left empty), copied, or swapped
// with the sound there.
enum class SoundMove { kMove, kCopy, kSwap };

class SetEditor {
 public:
  SetEditor(CKitbeatDoc& doc, DrumEngine& engine, LayerVoiceLoader& loader, WaveReader& reader, Prompts& prompts);

  // Called before a sample is read for a drop or a preview, so a pad that is given a sample can
  // be heard: the window opens the default output there when none is open.
  void setBeforeLoading(std::function<void()> ensureOutput) { beforeLoading_ = std::move(ensureOutput); }

  // Removes layer L's sample from sound s (L = 0: the whole sound) and stops and releases the
  // voices that lose it. A layer that only borrows is left as it is.
  void ClearLayer(int s, int L);

  // Gives entry e of group g to pad (s, L): an empty sound takes it in layer 0 for every band; a
  // borrowing layer takes it for itself and the bands that borrowed from it; a layer with a
  // sample of its own is replaced after a question. The new voice plays once, quietly. A sample
  // that cannot be found or played fails, naming the file and why.
  enum class Drop { kAssigned, kDeclined, kFailed };
  Drop DropEntryOnPad(int s, int L, int g, int e);
  // The same drop with Ctrl: entry e of group g becomes one more take of layer L, after its own
  // sample and its other alternates, and the layer's voice is rebuilt so the next hits play it.
  // Declined, with the reason shown, for a layer without a sample of its own (a plain drop gives
  // it one) or one that already has kMaxAlternates; failed, and the layer left as it was, when
  // the sample cannot be loaded.
  Drop AddAlternate(int s, int L, int g, int e);

  // The trash: each asks first and returns true when it deleted. Deleting a group returns the
  // group that becomes current through `current`.
  bool trashEntry(int g, int e);
  bool trashGroup(int c, int& current);
  bool trashPad(int s, int L);
  // The trash with Ctrl: layer L of sound s keeps its own sample and loses its alternates, after
  // a question. A layer without alternates is told so and nothing is asked.
  bool trashAlternates(int s, int L);
  // Backspace: the current group goes after its own question.
  bool DeleteGroup(int c, int& current);

  // A whole sound carried to another note (SoundMove). The set changes first; then every voice
  // of a note whose sound changed is stopped and released, and rebuilt from the set, so the
  // sound plays at its new note at once with its own settings and extras, and a note left empty
  // is silent. False, and nothing touched, when the set did not change.
  bool MoveSound(int from, int to, SoundMove how);

  // Makes the voices of sound n match the set again after the set changed under them (a sound
  // moved, copied or swapped, an edit undone): layers with a sample of their own are rebuilt
  // from their references and alternates, every other layer's voice is stopped and released. A
  // layer whose sample cannot be had stays silent. Never asks where a file went. A file no probe
  // finds is looked for where the voice in the slot found it, so a caller that put another
  // sound at n releases n's voices first; `played` then names, per layer, where the sound's
  // voices at its old note found their files.
  void rebuildSoundVoices(int n, const std::array<std::string, kLayerCount>& played = {});

  // Undo and redo: the set becomes `state`, and every sound whose layers, settings or extras
  // differ from before has its voices follow. A sound whose samples and takes stay the same is
  // retuned in place, so its ringing hits glide to the old pan, pitch or level rather than stop.
  void restoreState(SetState state);

  // Plays the file at `path` once at the preview level in the preview voice; false when it
  // could not be read (nothing plays). stopPreview ends it.
  bool startPreview(const std::string& path);
  void stopPreview();

 private:
  void dropVoice(int s, int L);
  // The files sound n's voices play now, per layer; empty for a layer without a voice.
  std::array<std::string, kLayerCount> playedFiles(int n) const;
  void deleteGroup(int c, int& current);
  void playConfirmation(int s, int L);
  void tellDropFailed(const std::string& stored);

  CKitbeatDoc& doc_;
  DrumEngine& engine_;
  LayerVoiceLoader& loader_;
  WaveReader& reader_;
  Prompts& prompts_;
  std::function<void()> beforeLoading_;
};

}  // namespace zumbel
