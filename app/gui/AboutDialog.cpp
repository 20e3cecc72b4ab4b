#include "AboutDialog.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>

#include "ZumbelVersion.h"

namespace zumbel {

namespace {

constexpr int kWidth = 236;
constexpr int kHeight = 280;
// The logo in the window's background: the top right corner.
constexpr QRect kLogoInSkin(540, 332 + 10, 187, 70);
const QColor kPanel(30, 33, 38);
const QColor kLine(80, 86, 96);
const QColor kText(200, 180, 0);

}  // namespace

QImage aboutPicture() {
  QImage picture(kWidth, kHeight, QImage::Format_RGB32);
  picture.fill(kPanel);
  QPainter p(&picture);
  const QImage skin(QStringLiteral(":/skin.png"));
  if (!skin.isNull()) {
    const QImage logo = skin.copy(kLogoInSkin);
    p.drawImage(QPoint((kWidth - logo.width()) / 2, 40), logo);
  }
  p.setPen(kLine);
  p.drawRect(picture.rect().adjusted(4, 4, -5, -5));
  p.setPen(kText);
  QFont font = p.font();
  font.setPixelSize(12);
  p.setFont(font);
  p.drawText(QRect(0, 140, kWidth, 40), Qt::AlignCenter, QStringLiteral("Drums from MIDI, live and exact"));
  return picture;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Zumbel"));
  setFixedSize(kWidth, kHeight);
  auto* picture = new QLabel(this);
  picture->setPixmap(QPixmap::fromImage(aboutPicture()));
  picture->setGeometry(0, 0, kWidth, kHeight);
  auto* version = new QLabel(QString::fromLatin1(kAboutVersion), this);
  version->setAlignment(Qt::AlignCenter);
  version->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  version->setStyleSheet(QStringLiteral("color: rgb(220, 220, 220);"));
  // The label's right edge stays where the layout puts it; it grows to the left when this
  // font's text is wider than the space the layout gives it.
  const int right = kWidth * (121 + 30) / 156;
  const int width = std::max(kWidth * 30 / 156, version->sizeHint().width() + 8);
  version->setGeometry(right - width, kHeight * 147 / 172, width, std::max(18, version->sizeHint().height()));
}

}  // namespace zumbel
