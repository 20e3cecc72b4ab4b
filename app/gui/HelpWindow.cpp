#include "HelpWindow.h"

#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace zumbel {

namespace {

// A comfortable reading width for the manual's text; a small screen gets most of itself instead.
constexpr QSize kPreferred(760, 640);

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Zumbel Help"));
  auto* browser = new QTextBrowser(this);
  browser->setOpenExternalLinks(true);
  browser->setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser);
  QSize size = kPreferred;
  if (const QScreen* s = screen()) {
    const QSize room = s->availableGeometry().size() * 9 / 10;
    size = QSize(std::min(size.width(), room.width()), std::min(size.height(), room.height()));
  }
  resize(size);
}

}  // namespace zumbel
