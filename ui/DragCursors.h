#pragma once
// The pointers a drag shows: an arrow carrying a list entry (a pool sample or a group picked up)
// and a waveform (a pad's sample picked up), drawn from vectors at the screen's pixel ratio so
// they stay sharp at 2x like the skin.

#include <QCursor>

namespace zumbel {

QCursor entryDragCursor(qreal devicePixelRatio);
QCursor padDragCursor(qreal devicePixelRatio);

}  // namespace zumbel
