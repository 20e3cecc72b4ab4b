#include "HelpCommand.h"

#include <QDir>
#include <QFile>

namespace zumbel {

QUrl helpFileUrl(const QString& cacheFolder) {
  const QString folder = cacheFolder + QStringLiteral("/help");
  if (!QDir().mkpath(folder)) return {};
  const QString path = folder + QStringLiteral("/index.html");
  QFile::remove(path);
  if (!QFile::copy(QStringLiteral(":/help/index.html"), path)) return {};
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  return QUrl::fromLocalFile(path);
}

}  // namespace zumbel
