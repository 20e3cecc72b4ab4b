#include "Preview.h"

#include <QPainter>

#include "SkinLayout.h"

namespace zumbel::skinart {

namespace {

using namespace skin;

void blit(QPainter& p, const QImage& skinImage, int scale, const Blit& b) {
  p.drawImage(b.x * scale, b.y * scale, skinImage, b.sx * scale, b.sy * scale, b.w * scale, b.h * scale);
}

Blit padBlit(int key, int layer, bool right, int stripX) {
  const Rect& shape = kPadShape[static_cast<std::size_t>(key)][static_cast<std::size_t>(layer)];
  const Rect cell = padCell(key, layer).moved(right ? kRightKeyboardOffset : 0, 0);
  return {cell.left, cell.top, shape.width(), shape.height(), stripX + shape.left, shape.top};
}

}  // namespace

QImage composePreview(const QImage& skinImage, int scale) {
  QImage window(kWindowWidth * scale, kWindowHeight * scale, QImage::Format_RGB888);
  QPainter p(&window);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  blit(p, skinImage, scale, kFullBackground);

  // A kit: a few keys hold samples, two are struck (one loaded, one empty).
  for (int key : {0, 1, 2, 4, 6, 9}) {
    for (int layer = 0; layer < kPadLayers; ++layer) blit(p, skinImage, scale, padBlit(key, layer, false, kStripLoadedX));
  }
  for (int layer = 1; layer < 4; ++layer) blit(p, skinImage, scale, padBlit(3, layer, true, kStripLoadedX));
  blit(p, skinImage, scale, padBlit(2, 3, false, kStripLitLoadedX));
  blit(p, skinImage, scale, padBlit(6, 4, false, kStripLitLoadedX));
  blit(p, skinImage, scale, padBlit(10, 1, true, kStripLitEmptyX));
  blit(p, skinImage, scale, padBlit(7, 4, true, kStripLitEmptyX));

  blit(p, skinImage, scale, kButtonLit[3]);
  blit(p, skinImage, scale, kOctaveSelected[1]);
  for (const auto& [octave, x] : {std::pair{3, kOctaveLabelLeftX}, std::pair{4, kOctaveLabelRightX}}) {
    const auto& [sx, sy] = kOctaveCaptionSource[static_cast<std::size_t>(octave - 1)];
    blit(p, skinImage, scale, {x, kOctaveLabelY, kCaptionWidth, kCaptionHeight, sx, sy});
  }
  blit(p, skinImage, scale, kMidiLampLit);
  return window;
}

}  // namespace zumbel::skinart
