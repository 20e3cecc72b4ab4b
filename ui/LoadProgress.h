#pragma once
// Progress while a drum set's samples are read: a set with hundreds of layers reads hundreds of
// files, which takes seconds, and a window that stops repainting meanwhile looks hung. The
// dialog appears only when loading lasts; until loading ends the window repaints but takes no
// clicks or keys, so nothing can start another load half-way through this one.

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

  // Layers done out of layers to load; (0, total) starts, (total, total) ends.
  void report(int done, int total);
  bool loading() const noexcept { return dialog_ != nullptr; }

 private:
  QPointer<QWidget> owner_;
  std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace zumbel
