#pragma once
// The one font of the main window's text. A sans face from a file shipped with the system, at a
// pixel size that fits the 12-pixel list rows, so the window looks the same everywhere and the
// pixel tests are repeatable.

#include <QFont>

namespace zumbel {

QFont listFont();

}  // namespace zumbel
