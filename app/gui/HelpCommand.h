#pragma once
// F1: the bundled HTML manual, opened in the user's browser. The manual is built into the
// program and written out to the user's cache folder, because a browser cannot read the
// program's resources.

#include <QString>
#include <QUrl>

#include <functional>

namespace zumbel {

// Writes the manual out (again, so it always matches the program) and returns its address;
// empty when it could not be written.
QUrl helpFileUrl(const QString& cacheFolder);

// Opens a URL; the desktop's browser by default, something else in tests.
using UrlOpener = std::function<bool(const QUrl&)>;

}  // namespace zumbel
