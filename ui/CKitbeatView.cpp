#include "CKitbeatView.h"

#include <QMouseEvent>
#include <QPainter>

#include "DrumEngine.h"
#include "KitbeatDoc.h"
#include "Prompts.h"
#include "QtViewDialogs.h"
#include "SetEditor.h"
#include "ViewEngine.h"

namespace zumbel {

namespace {

// Lamps reach the screen within one frame of a 60 Hz display.
constexpr int kLampFrameMs = 16;
// How soon a lost output is noticed and released voices are freed.
constexpr int kOutputCheckMs = 250;

constexpr const char* kOutputLost =
    "The audio output has gone away (its sound server stopped or its device was removed).\n"
    "Open or create a drum set to start it again.";

}  // namespace

CKitbeatView::CKitbeatView(CKitbeatDoc& doc, DrumEngine* engine, QWidget* parent)
    : QWidget(parent),
      doc_(doc),
      qtDialogs_(std::make_unique<QtViewDialogs>(this)),
      dialogs_(qtDialogs_.get()),
      engine_(engine),
      renderer_(doc, state_) {
  setFixedSize(skin::kWindowWidth, skin::kWindowHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  // The button under the pointer lights up without any button held.
  setMouseTracking(true);
  setAcceptDrops(true);
  if (engine_) {
    lamps_ = std::make_unique<LampPainter>(engine_->indicators(), doc_, state_, renderer_);
    // The octave buttons and the engine's lamps go by the same first shown sound.
    engine_->trigger().followFirstShownSound(&state_.firstShownSound);
  }
  lampTimer_.setInterval(kLampFrameMs);
  connect(&lampTimer_, &QTimer::timeout, this, &CKitbeatView::pollLamps);
}

CKitbeatView::CKitbeatView(CKitbeatDoc& doc, std::unique_ptr<ViewEngine> live, QWidget* parent)
    : CKitbeatView(doc, live ? &live->engine : nullptr, parent) {
  live_ = std::move(live);
  if (!live_) return;
  editor_ = std::make_unique<SetEditor>(doc_, live_->engine, live_->loader, live_->reader, live_->prompts);
  editor_->setBeforeLoading([this] { ensureOutput(); });
  // Both searches for a lost sample end in the same Open dialog, owned by this window.
  const auto ask = [this](const std::string& suggested) {
    return dialogs_->openFile(FileRequest{"Open", suggested, kWavFilter, "wav"});
  };
  live_->loader.setLocate(ask);
  live_->session.setPickExistingFile(ask);
  live_->loader.setProgress([this](int done, int total) { return progress_.report(done, total); });
  outputTimer_.setInterval(kOutputCheckMs);
  connect(&outputTimer_, &QTimer::timeout, this, &CKitbeatView::checkOutput);
  outputTimer_.start();
}

CKitbeatView::~CKitbeatView() {
  // The dialog goes first, before the MIDI input and the audio output it retunes.
  soundDialog_.reset();
  lampTimer_.stop();
  outputTimer_.stop();
  if (engine_) engine_->trigger().followFirstShownSound(nullptr);
  editor_.reset();
  // The live objects go first (MIDI, then audio); the drawing objects after them.
  live_.reset();
}

void CKitbeatView::UpdateView(const DeviceSettings& settings) {
  state_.currentGroup = 0;
  state_.topRow = 0;
  // The window is drawn before any question about the output or a lost sample comes up, so the
  // user sees what is being asked about instead of a blank window behind the box.
  if (loadSkin()) FullRedraw();
  if (live_) live_->session.UpdateView(settings);
  FullRedraw();
  // An open Sound Properties dialog shows the new set's sound, not the old one's; only showing
  // a sound on the user's request marks the set modified.
  if (soundPropertiesOpen_ && soundDialog_) soundDialog_->showValues(soundPropertiesOf(currentSound_));
}

QSize CKitbeatView::sizeHint() const { return {skin::kWindowWidth, skin::kWindowHeight}; }

bool CKitbeatView::loadSkin() {
  if (renderer_.hasSkin()) return true;
  const int scale = devicePixelRatioF() > 1.0 ? 2 : 1;
  QImage skin(scale == 2 ? QStringLiteral(":/skin@2x.png") : QStringLiteral(":/skin.png"));
  if (skin.isNull() || skin.width() != skin::kSkinWidth * scale || skin.height() != skin::kSkinHeight * scale) {
    return false;
  }
  renderer_.setSkin(skin, scale);
  if (lamps_) lampTimer_.start();
  return true;
}

void CKitbeatView::FullRedraw() {
  renderer_.FullRedraw();
  repaintDirty();
}

void CKitbeatView::pollLamps() {
  if (lamps_ && lamps_->poll()) repaintDirty();
}

void CKitbeatView::checkOutput() {
  if (!live_) return;
  if (live_->output.closeIfLost()) live_->prompts.showMessage(kOutputLost, kAppCaption);
  live_->engine.voices().collect();
}

void CKitbeatView::repaintDirty() {
  const QRegion dirty = renderer_.takeDirty();
  if (!dirty.isEmpty()) update(dirty);
}

void CKitbeatView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!renderer_.hasSkin()) {
    p.fillRect(rect(), Qt::black);
    return;
  }
  QImage shown = renderer_.backing();
  shown.setDevicePixelRatio(renderer_.scale());
  p.drawImage(QPoint(0, 0), shown);
}

void CKitbeatView::focusInEvent(QFocusEvent* event) {
  renderer_.DrawMemoryMeter();
  repaintDirty();
  QWidget::focusInEvent(event);
}

}  // namespace zumbel
