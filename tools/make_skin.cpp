// Draws the main window's skin and writes skin.png and skin@2x.png into a folder. The pictures
// are committed, not built; after changing the art, run it over the committed folder and commit
// the result:
//   QT_QPA_PLATFORM=offscreen build/tools/make_skin resources
// With --preview FILE it also writes a window composed from the new skin, for looking at.

#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstring>
#include <string>

#include "skin/Preview.h"
#include "skin/SkinArt.h"

int main(int argc, char** argv) {
  const bool preview = argc == 4 && std::strcmp(argv[2], "--preview") == 0;
  if (argc != 2 && !preview) {
    std::fprintf(stderr, "usage: make_skin OUT_DIR [--preview FILE.png]\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  const std::string folder = argv[1];
  const std::string error = zumbel::skinart::writeSkinFiles(folder);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (preview) {
    const QImage skinImage(QString::fromStdString(folder + "/" + zumbel::skinart::kSkinFile));
    if (!zumbel::skinart::composePreview(skinImage, 1).save(QString::fromUtf8(argv[3]))) {
      std::fprintf(stderr, "cannot write %s\n", argv[3]);
      return 2;
    }
  }
  return 0;
}
