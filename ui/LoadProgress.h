#pragma once
// Progress while a drum set's samples are read: a set with hundreds of layers reads hundreds of
// files, which takes seconds, and a window that stops repainting meanwhile looks hung. The
// dialog appears only when loading lasts, with a Cancel button that stops reading further
// samples (their layers stay silent; the set itself is unchanged). Until loading ends the main
// window repaints but takes no clicks or keys, so nothing can start another load half-way
// through this one.

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include <memory>

namespace zumbel {

class LoadProgress {
 public:
  explicit LoadProgress(QWidget* owner) : owner_(owner) {}
  ~LoadProgress();
  LoadProgress(const LoadProgress&) = delete;
  LoadProgress& operator=(const LoadProgress&) = delete;

  // Layers done out of layers to load; (0, total) starts, (total, total) ends. False once the
  // user cancelled or the program is ending (programEnding()): no further sample should be read.
  bool report(int done, int total);
  bool loading() const noexcept { return dialog_ != nullptr; }

  // The progress dialog while it is on screen, else nothing. A question or a file dialog during
  // a load belongs to it, so it comes up above it and takes the focus.
  static QWidget* shownDialog() noexcept;
  // How long a load runs before its dialog comes up (tests make it come at once); returns the
  // value it replaces.
  static int setShowAfterMs(int ms) noexcept;

 private:
  QPointer<QWidget> owner_;
  std::unique_ptr<QProgressDialog> dialog_;
  QElapsedTimer started_;
};

// Where a dialog raised during a load belongs: the progress dialog when it is shown, else `owner`.
inline QWidget* dialogOwner(QWidget* owner) {
  QWidget* shown = LoadProgress::shownDialog();
  return shown ? shown : owner;
}

}  // namespace zumbel
