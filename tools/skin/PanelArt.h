#pragma once
// The window's controls, each drawn in window coordinates: the buttons, the octave-pair buttons,
// the octave captions, the MIDI lamp, the trash can, the scroll arrows and the logo.

#include <QPainter>
#include <QString>

#include "SkinLayout.h"

namespace zumbel::skinart {

// The part of a control that changes when it lights: where its rectangle and its lit image meet,
// so the lit image equals the background everywhere else.
skin::Rect buttonFace(int button);
skin::Rect octaveFace(int pair);
QString buttonLabel(int button);
QString octaveLabel(int pair);

void drawButton(QPainter& p, int button, bool lit);
void drawOctaveButton(QPainter& p, int pair, bool selected);
// The plate a caption is shown on, and a caption (octave 1..6) on it, at the painter's origin.
void drawCaptionPlate(QPainter& p);
void drawCaption(QPainter& p, int octave);
// The lamp's lens only, inside the rectangle that switching it off restores.
void drawMidiLens(QPainter& p, bool lit);
void drawMidiLamp(QPainter& p);
void drawTrash(QPainter& p);
void drawScrollArrows(QPainter& p);
// The logo's mark, a two-by-two grid of pads with the top right one glowing, kPadGridSize square
// at the painter's scale; the program's icon is this grid too.
inline constexpr double kPadGridSize = 27;
void drawPadGrid(QPainter& p, const QPointF& topLeft);
// The pad grid beside the word mark and the tagline below.
void drawLogo(QPainter& p, const QRectF& box);

}  // namespace zumbel::skinart
