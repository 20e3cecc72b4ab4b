// Draws the main window's skin and writes skin.png and skin@2x.png into a folder, or, with
// --icons, the program's icons (an SVG and PNGs of every theme size). The pictures are committed,
// not built; after changing the art, run it over the committed folders and commit the result:
//   QT_QPA_PLATFORM=offscreen build/tools/make_skin resources
//   QT_QPA_PLATFORM=offscreen build/tools/make_skin --icons packaging/icons
// With --preview FILE it also writes a window composed from the new skin, for looking at.

#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstring>
#include <string>

#include "skin/IconArt.h"
#include "skin/Preview.h"
#include "skin/SkinArt.h"

namespace {

int fail(const std::string& error) {
  std::fprintf(stderr, "%s\n", error.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const bool icons = argc == 3 && std::strcmp(argv[1], "--icons") == 0;
  const bool preview = argc == 4 && std::strcmp(argv[2], "--preview") == 0;
  if (argc != 2 && !preview && !icons) {
    std::fprintf(stderr, "usage: make_skin OUT_DIR [--preview FILE.png]\n       make_skin --icons OUT_DIR\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  if (icons) {
    const std::string error = zumbel::skinart::writeIconFiles(argv[2]);
    return error.empty() ? 0 : fail(error);
  }
  const std::string folder = argv[1];
  const std::string error = zumbel::skinart::writeSkinFiles(folder);
  if (!error.empty()) return fail(error);
  if (preview) {
    const QImage skinImage(QString::fromStdString(folder + "/" + zumbel::skinart::kSkinFile));
    if (!zumbel::skinart::composePreview(skinImage, 1).save(QString::fromUtf8(argv[3]))) {
      return fail(std::string("cannot write ") + argv[3]);
    }
  }
  return 0;
}
