#pragma once
// A window composed from a skin picture the way the program draws it, by copying blocks only:
// the idle window with a few pads, a button, an octave pair, captions and the lamp lit. For
// looking at the art, and a check that the pieces fit where the layout puts them.

#include <QImage>

namespace zumbel::skinart {

QImage composePreview(const QImage& skinImage, int scale);

}  // namespace zumbel::skinart
