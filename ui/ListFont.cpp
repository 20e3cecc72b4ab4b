#include "ListFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace zumbel {

namespace {

constexpr int kListFontPixels = 10;
constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

}  // namespace

QFont listFont() {
  static const QString family = [] {
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFile));
    const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList{};
    return families.isEmpty() ? QStringLiteral("Sans Serif") : families.first();
  }();
  QFont font(family);
  font.setPixelSize(kListFontPixels);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

}  // namespace zumbel
