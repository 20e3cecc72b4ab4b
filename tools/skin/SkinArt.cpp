#include "SkinArt.h"

#include <QPainter>
#include <array>

#include "KeyboardArt.h"
#include "Paint.h"
#include "PanelArt.h"
#include "SkinLayout.h"
#include "WindowArt.h"

namespace zumbel::skinart {

namespace {

using namespace skin;

// Lit images start as the background they are copied over, so only what lights differs.
void copyBackground(QImage& skinImage, int scale, const Blit& b) {
  const QImage patch = skinImage.copy(b.x * scale, (b.y + kBackgroundTop) * scale, b.w * scale, b.h * scale);
  QPainter p(&skinImage);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(b.sx * scale, b.sy * scale, patch);
}

// Draws in window coordinates into the skin copy of a blit, clipped to the part that changes.
template <typename Draw>
void drawOver(QImage& skinImage, int scale, const Blit& b, const Rect& changes, Draw draw) {
  QPainter p(&skinImage);
  p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  p.scale(scale, scale);
  p.translate(b.sx - b.x, b.sy - b.y);
  p.setClipRect(toRectF(changes));
  draw(p);
}

void drawFirstPass(QImage& skinImage, int scale) {
  QPainter p(&skinImage);
  p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  p.scale(scale, scale);

  p.save();
  p.translate(0, kBackgroundTop);
  drawWindow(p);
  p.restore();

  constexpr std::array<std::pair<int, PadLook>, 3> strips{{
      {kStripLitEmptyX, PadLook::kLitEmpty},
      {kStripLoadedX, PadLook::kIdleLoaded},
      {kStripLitLoadedX, PadLook::kLitLoaded},
  }};
  for (const auto& [x, look] : strips) {
    p.save();
    p.translate(x, 0);
    drawKeyboard(p, look);
    p.restore();
  }

  for (int octave = 1; octave <= 6; ++octave) {
    const auto& [x, y] = kOctaveCaptionSource[static_cast<std::size_t>(octave - 1)];
    p.save();
    p.translate(x, y);
    drawCaption(p, octave);
    p.restore();
  }
}

}  // namespace

QImage renderSkin(int scale) {
  QImage image(kSkinWidth * scale, kSkinHeight * scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::black);
  drawFirstPass(image, scale);

  for (int b = 0; b < kButtonCount; ++b) {
    const Blit& lit = kButtonLit[static_cast<std::size_t>(b)];
    copyBackground(image, scale, lit);
    drawOver(image, scale, lit, buttonFace(b), [b](QPainter& p) { drawButton(p, b, true); });
  }
  for (int pair = 0; pair < kOctavePairs; ++pair) {
    const Blit& selected = kOctaveSelected[static_cast<std::size_t>(pair)];
    copyBackground(image, scale, selected);
    drawOver(image, scale, selected, octaveFace(pair), [pair](QPainter& p) { drawOctaveButton(p, pair, true); });
  }
  copyBackground(image, scale, kMidiLampLit);
  const Blit& off = kMidiLampOff;
  drawOver(image, scale, kMidiLampLit, {off.x, off.y, off.x + off.w, off.y + off.h},
           [](QPainter& p) { drawMidiLens(p, true); });
  return image.convertToFormat(QImage::Format_RGB888);
}

std::string writeSkinFiles(const std::string& folder) {
  if (std::string error = loadSkinFonts(); !error.empty()) return error;
  for (const auto& [scale, name] : {std::pair{1, kSkinFile}, std::pair{2, kSkin2xFile}}) {
    const std::string path = folder + "/" + name;
    if (!renderSkin(scale).save(QString::fromStdString(path), "PNG")) return "cannot write " + path;
  }
  return {};
}

}  // namespace zumbel::skinart
