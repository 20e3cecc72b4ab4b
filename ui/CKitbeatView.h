#pragma once
// The main window's view: a fixed 727 x 487 picture drawn from the skin into a backing image,
// shown by paintEvent, with the engine's lamps brought in once per display frame.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "LampPainter.h"
#include "LoadProgress.h"
#include "ViewRenderer.h"
#include "ViewState.h"

namespace zumbel {

class CKitbeatDoc;
class DrumEngine;
struct DeviceSettings;
struct ViewEngine;

class CKitbeatView : public QWidget {
  Q_OBJECT

 public:
  // `engine` may be null: the window then draws without lamps or preview.
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

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  void repaintDirty();

  CKitbeatDoc& doc_;
  std::unique_ptr<ViewEngine> live_;
  LoadProgress progress_{this};
  DrumEngine* engine_;
  ViewState state_;
  ViewRenderer renderer_;
  std::unique_ptr<LampPainter> lamps_;
  QTimer lampTimer_;
  QTimer outputTimer_;
};

}  // namespace zumbel
