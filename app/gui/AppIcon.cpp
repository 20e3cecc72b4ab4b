#include "AppIcon.h"

#include <QDirIterator>
#include <QGuiApplication>

namespace zumbel {

QIcon appIcon() {
  QIcon icon;
  QDirIterator it(QStringLiteral(":/icons"), {QStringLiteral("zumbel-*.png")});
  while (it.hasNext()) icon.addFile(it.next());
  return icon;
}

void applyAppIdentity() {
  QGuiApplication::setWindowIcon(appIcon());
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

}  // namespace zumbel
