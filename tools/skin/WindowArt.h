#pragma once
// The window at rest: the panel, the list display, the controls unlit and both keyboards idle.

#include <QPainter>

namespace zumbel::skinart {

// Draws the whole window with its top-left corner at the painter's origin.
void drawWindow(QPainter& p);

}  // namespace zumbel::skinart
