#pragma once
// The keyboards: the dark body and its 60 pads, in any one of the four pad looks. The same drawing
// makes the window's idle keyboards and the three pad strips, so a pad copied from a strip lands
// on the window's keyboard with the same rim and only its face and mark changed.

#include <QPainter>

#include "SkinLayout.h"

namespace zumbel::skinart {

enum class PadLook { kIdleEmpty, kIdleLoaded, kLitEmpty, kLitLoaded };

// One pad at its kPadShape rectangle, relative to the keyboard's top-left corner at the origin.
void drawPad(QPainter& p, const skin::Rect& shape, bool blackKey, PadLook look);
// The body and every pad, with the keyboard's top-left corner at the painter's origin.
void drawKeyboard(QPainter& p, PadLook look);

}  // namespace zumbel::skinart
