#pragma once
// The main window's view: a fixed 727 x 487 picture drawn from the skin into a backing image,
// shown by paintEvent, with the engine's lamps brought in once per display frame. The mouse
// builds the drum set here: groups and sample lists, samples dragged onto pads (with Ctrl, onto a
// layer's alternates), the trash, the right-button preview. CKitbeatViewMouse.cpp reads the
// gestures, CKitbeatViewEdits.cpp carries out what they mean.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EditHistory.h"
#include "LampPainter.h"
#include "LoadProgress.h"
#include "SoundPropertiesDialog.h"
#include "ViewDialogs.h"
#include "ViewRenderer.h"
#include "ViewState.h"

namespace zumbel {

class CKitbeatDoc;
class DrumEngine;
enum class SoundMove;
class SetEditor;
class SettingsStore;
struct DeviceSettings;
struct ViewEngine;

class CKitbeatView : public QWidget {
  Q_OBJECT

 public:
  // `engine` may be null: the window then draws without lamps or preview, and edits nothing.
  CKitbeatView(CKitbeatDoc& doc, DrumEngine* engine, QWidget* parent = nullptr);
  // The program's view: it owns everything live and rebuilds it for each drum set.
  CKitbeatView(CKitbeatDoc& doc, std::unique_ptr<ViewEngine> live, QWidget* parent = nullptr);
  ~CKitbeatView() override;

  ViewState& state() { return state_; }
  ViewRenderer& renderer() { return renderer_; }
  const ViewRenderer& renderer() const { return renderer_; }

  // Loads the skin for the screen's pixel ratio (the 2x picture on HiDPI screens) once; later
  // calls do nothing. False when no skin could be loaded: the window then stays undrawn.
  bool loadSkin();
  // Brings every region up to date: what a new or opened drum set ends with.
  void FullRedraw();
  // After New and Open: the first group shown, the output, voices and MIDI input rebuilt from
  // the stored settings, everything redrawn. The first call also loads the skin.
  void UpdateView(const DeviceSettings& settings);
  ViewEngine* live() { return live_.get(); }
  // While a drum set's samples are being read; the frame takes no Close meanwhile.
  bool loading() const noexcept { return progress_.loading(); }
  // Draws the lamps that changed; the display-frame timer calls it.
  void pollLamps();
  // Frees the voices the audio thread has let go of, and notices an output whose device went
  // away (a JACK server that quit, a card unplugged): it is closed and the user told. A timer
  // calls it a few times a second.
  void checkOutput();

  // The file and name dialogs; Qt's own unless a test puts its own in (not owned; null puts
  // Qt's back).
  void setDialogs(ViewDialogs* dialogs) { dialogs_ = dialogs ? dialogs : qtDialogs_.get(); }
  // What the Load set and Save set buttons hand the chosen path to: the frame opens the set (after
  // asking to save the current one) or saves it there.
  void setDocumentCommands(std::function<void(const std::string&)> open, std::function<void(const std::string&)> saveAs) {
    openDocument_ = std::move(open);
    saveDocumentAs_ = std::move(saveAs);
  }

  // Where the Options dialog reads the stored output and writes its choices (not owned; the
  // frame's store). Without one the dialog still applies them, for this run only.
  void setSettings(SettingsStore* settings) { settings_ = settings; }

  // The commands of the skin's buttons.
  void OnOptions();
  void ImportSamples();
  void NewGroup();
  void SaveSampleList();
  void LoadSampleList();
  void OnSaveSet();
  void OnLoadSet();
  // The drop of a pool entry, clearing a layer, the Backspace key's group deletion.
  void DropEntryOnPad(int sound, int layer);
  void ClearLayer(int sound, int layer);
  // The same two with Ctrl held: the picked pool entry becomes an alternate of the layer, and
  // the trash takes a layer's alternates, leaving its own sample.
  void AddAlternate(int sound, int layer);
  void ClearAlternates(int sound, int layer);
  // A whole sound carried to another note (a pad picked up and dropped on another with Shift):
  // moved, copied or swapped, its voices rebuilt, the keyboards redrawn, and an open Sound
  // Properties dialog switched to the note it went to. Every change the gesture makes to the
  // set happens here; nothing is asked. Does nothing when the set would not change.
  void MoveSound(int from, int to, SoundMove how);
  void DeleteGroup();
  // Opens the Sound Properties of `sound`, or switches the open dialog to it; the sound becomes
  // the one the dialog's changes go to. Marks the set modified.
  void ShowSoundProperties(int sound);
  // Whether the Sound Properties dialog is on screen: a drop then switches it to the dropped-on
  // sound.
  bool soundPropertiesOpen() const { return soundPropertiesOpen_; }
  // The dialog's window while it is open, else null.
  SoundPropertiesDialog* soundPropertiesDialog() const { return soundDialog_.get(); }
  int currentSound() const { return currentSound_; }

  // Undo and redo of every change to the set made here (CKitbeatViewHistory.cpp). The voices
  // follow at once; the set is marked modified unless it is back as it was saved.
  EditHistory& history() { return history_; }
  void Undo();
  void Redo();
  // A new or opened set: nothing to undo. `saved`: the set is as its file holds it.
  void clearHistory(bool saved);
  // The set is as its file now holds it.
  void historySaved();
  // Told after every step, Undo and Redo, so the Edit menu can name them.
  void setHistoryListener(std::function<void()> listener) { historyChanged_ = std::move(listener); }

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The gestures (CKitbeatViewMouse.cpp).
  void OnLButtonDown(int x, int y);
  void OnMouseMove(int x, int y);
  // `ctrl`, `shift`: the keys held at the release.
  void OnLButtonUp(int x, int y, bool ctrl, bool shift);
  void OnLButtonDblClk(int x, int y);
  void OnRButtonDown(int x, int y);
  void OnRButtonUp();
  void pressButton(int id);
  void thumbDragStep(int y);
  void startDrag(bool pad);
  // An entry carried with Ctrl held shows it will land as an alternate; a pad carried with
  // Shift, that its sound will move (with Ctrl too, be copied).
  void showModifiersInDrag(Qt::KeyboardModifiers held);
  void restoreCursor();
  void endDrag();
  void dropOnTrash(bool ctrl);
  // A pad's sound dropped with Shift on another pad's: asks first when that one has a sound.
  void dropSoundOnPad(int from, int to, bool copy);
  bool acceptsFiles(int x, int y) const;
  QString toolTipAt(int x, int y) const;

  // The edits (CKitbeatViewEdits.cpp).
  bool haveGroupForImport();
  int importFiles(const std::vector<std::string>& files);
  void importDroppedFiles(const std::vector<std::string>& files, int x, int y);
  void sampleListFile(bool load);
  void keepTopRowInList();
  void ensureOutput();

  // The Options dialog's choices (CKitbeatViewOptions.cpp).
  void applyOptions(const OptionsValues& chosen, int oldOutput, const std::vector<std::string>& midiNames,
                    const std::vector<std::string>& outputs);
  void writeSetting(const QString& entry, int value);
  void writeSetting(const QString& entry, const std::string& value);

  // The Sound Properties dialog (CKitbeatViewSound.cpp). Its messages arrive queued, in the
  // order it sent them.
  SoundPropertiesValues soundPropertiesOf(int sound) const;
  QString layerName(int sound, int layer) const;
  void OnSoundParameter(int type, int value);
  void OnSoundName(const QString& name);
  void OnChokeGroup(int group);
  void OnRoundRobin(int mode);
  void OnGrabThreshold(int threshold);
  void OnSoundPropertiesClosed(int code);
  void closeSoundProperties();

  void repaintDirty();

  // Makes the edits of its lifetime one undo step named `label` (CKitbeatViewHistory.cpp).
  class EditStep {
   public:
    EditStep(CKitbeatView& view, std::string label, std::string mergeKey = {});
    ~EditStep();
    EditStep(const EditStep&) = delete;
    EditStep& operator=(const EditStep&) = delete;

   private:
    CKitbeatView& view_;
  };
  // "note 38", or the sound's name when it has one: how a step names its sound.
  std::string soundLabel(int sound) const;
  std::string clearLabel(int sound, int layer) const;
  bool mayRestore() const;
  void restoreFromHistory(bool back);
  // The set came back from the history: the lists, pads and dialog show it.
  void afterRestore();
  // A slider in Sound Properties was pressed or released: its moves between make one step.
  void OnSoundGesture(bool started);

  CKitbeatDoc& doc_;
  std::unique_ptr<ViewEngine> live_;
  std::unique_ptr<SetEditor> editor_;
  std::unique_ptr<ViewDialogs> qtDialogs_;
  ViewDialogs* dialogs_ = nullptr;
  LoadProgress progress_{this};
  DrumEngine* engine_;
  ViewState state_;
  ViewRenderer renderer_;
  std::unique_ptr<LampPainter> lamps_;
  QTimer lampTimer_;
  QTimer outputTimer_;
  bool captured_ = false;  // the left button went down in this view and is not yet released
  // Created when the dialog is first shown and destroyed when it is closed; the sound its
  // messages apply to stays current in between.
  std::unique_ptr<SoundPropertiesDialog> soundDialog_;
  bool soundPropertiesOpen_ = false;
  int currentSound_ = 0;
  bool dragCursorShown_ = false;
  int cursorBadge_ = 0;  // which badge the drag's pointer shows; 0: none
  std::function<void(const std::string&)> openDocument_;
  std::function<void(const std::string&)> saveDocumentAs_;
  SettingsStore* settings_ = nullptr;
  EditHistory history_;
  std::function<void()> historyChanged_;
};

}  // namespace zumbel
