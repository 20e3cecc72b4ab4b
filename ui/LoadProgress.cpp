#include "LoadProgress.h"

#include <QCoreApplication>

#include <climits>
#include <utility>

#include "ProgramEnding.h"

namespace zumbel {

namespace {

// Shorter loads finish before a dialog would be worth reading.
constexpr int kShowAfterMs = 400;

// User-interface thread only.
int showAfterMs = kShowAfterMs;
QProgressDialog* shown = nullptr;

}  // namespace

LoadProgress::~LoadProgress() {
  if (shown == dialog_.get()) shown = nullptr;
}

QWidget* LoadProgress::shownDialog() noexcept { return shown && shown->isVisible() ? shown : nullptr; }

int LoadProgress::setShowAfterMs(int ms) noexcept { return std::exchange(showAfterMs, ms); }

bool LoadProgress::report(int done, int total) {
  if (total <= 0) return !programEnding();
  if (done == 0 || !dialog_) {
    if (shown == dialog_.get()) shown = nullptr;
    dialog_ = std::make_unique<QProgressDialog>(QObject::tr("Loading the drum set's samples..."), QObject::tr("Cancel"), 0,
                                                total, owner_.data());
    dialog_->setWindowTitle(QStringLiteral("Zumbel"));
    dialog_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    // Shown here and nowhere else: the dialog's own timer would pop it up over a question asked
    // meanwhile, hiding the question behind it.
    dialog_->setMinimumDuration(INT_MAX);
    // Modal once shown, so the Cancel button takes clicks while the main window takes none (a
    // Close or a key reaching it mid-load would re-enter the load).
    dialog_->setWindowModality(Qt::ApplicationModal);
    started_.start();
  }
  dialog_->setValue(done);
  if (!dialog_->isVisible() && done < total && started_.elapsed() >= showAfterMs) {
    dialog_->show();
    shown = dialog_.get();
  }
  // Until the dialog is up nothing blocks the main window's input, so input waits.
  QCoreApplication::processEvents(dialog_->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  const bool goOn = !dialog_->wasCanceled() && !programEnding();
  if (done >= total) {
    if (shown == dialog_.get()) shown = nullptr;
    dialog_.reset();
  }
  return goOn;
}

}  // namespace zumbel
