#include "LoadProgress.h"

#include <QCoreApplication>

namespace zumbel {

namespace {

// Shorter loads finish before a dialog would be worth reading.
constexpr int kShowAfterMs = 400;

}  // namespace

LoadProgress::~LoadProgress() = default;

void LoadProgress::report(int done, int total) {
  if (total <= 0) return;
  if (done == 0 || !dialog_) {
    dialog_ = std::make_unique<QProgressDialog>(QObject::tr("Loading the drum set's samples..."), QString(), 0, total,
                                                owner_.data());
    dialog_->setWindowTitle(QStringLiteral("Zumbel"));
    // No Cancel: a half-loaded set would play with silent pads nobody asked for.
    dialog_->setCancelButton(nullptr);
    dialog_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(kShowAfterMs);
    // Not modal: a modal dialog processes every input event in setValue, and a Close or a key
    // reaching the frame mid-load would re-enter it. Input waits until loading is done.
    dialog_->setWindowModality(Qt::NonModal);
  }
  dialog_->setValue(done);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (done >= total) dialog_.reset();
}

}  // namespace zumbel
