#pragma once
// The pointers a drag shows: an arrow carrying a list entry (a pool sample or a group picked up),
// badged with a plus while Ctrl makes the drop add an alternate, and a waveform (a pad's sample picked up), drawn from vectors at the screen's pixel ratio so
// they stay sharp at 2x like the skin.

#include <QCursor>

namespace zumbel {

// With `alternate`, a plus badge: the entry will land as one more take of the layer (Ctrl held).
QCursor entryDragCursor(qreal devicePixelRatio, bool alternate = false);
QCursor padDragCursor(qreal devicePixelRatio);

}  // namespace zumbel
