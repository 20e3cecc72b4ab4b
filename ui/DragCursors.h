#pragma once
// The pointers a drag shows: an arrow carrying a list entry (a pool sample or a group picked up),
// badged with a plus while Ctrl makes the drop add an alternate, and a waveform (a pad's sample
// picked up), badged while Shift makes the drop move or copy the whole sound. Drawn from vectors
// at the screen's pixel ratio so they stay sharp at 2x like the skin.

#include <QCursor>

namespace zumbel {

// With `alternate`, a plus badge: the entry will land as one more take of the layer (Ctrl held).
QCursor entryDragCursor(qreal devicePixelRatio, bool alternate = false);
// What a pad's sound carried with Shift does where it lands: moves there (an arrow badge) or,
// with Ctrl too, is copied there (a plus badge). Without Shift it only goes to the trash.
enum class PadCarry { kPlain, kMove, kCopy };
QCursor padDragCursor(qreal devicePixelRatio, PadCarry carry = PadCarry::kPlain);

}  // namespace zumbel
