#include "SkinLayout.h"

namespace zumbel::skin {

std::optional<PadHit> padAt(int x, int y, int firstShownSound) {
  bool right = false;
  if (kRightKeyboard.contains(x, y)) {
    right = true;
    x -= kRightKeyboardOffset;
  } else if (!kLeftKeyboard.contains(x, y)) {
    return std::nullopt;
  }
  // Key by key, layer by layer: the first cell holding the point wins.
  for (int key = 0; key < kKeys; ++key) {
    for (int layer = 0; layer < kPadLayers; ++layer) {
      if (padCell(key, layer).contains(x, y)) {
        return PadHit{firstShownSound + key + (right ? kKeys : 0), key, layer, right};
      }
    }
  }
  return std::nullopt;
}

std::optional<int> sampleEntryAt(int x, int y, int entries, int topRow) {
  for (int i = 0; i < kListRows && i < entries - topRow; ++i) {
    if (sampleRow(i).contains(x, y)) return topRow + i;
  }
  return std::nullopt;
}

std::optional<int> groupAt(int x, int y, int groupCount) {
  for (int i = 0; i < kListRows && i < groupCount; ++i) {
    if (groupRow(i).contains(x, y)) return i;
  }
  return std::nullopt;
}

ScrollThumb scrollThumb(int entries, int topRow) {
  // The visible share of the track: 16 rows of the 166-pixel track.
  const int visibleShare = kListRows * kScrollTrack.height();
  ScrollThumb t;
  if (entries <= kListRows) {
    t.thumb = kInitialScrollThumb;
  } else {
    const int height = visibleShare / entries;
    // The step divides exactly, the height truncates: together they keep the thumb in the track.
    t.step = (kScrollTrack.height() - static_cast<double>(visibleShare) / entries) / (entries - kListRows);
    const int top = kScrollTrack.top + static_cast<int>(topRow * t.step);
    t.thumb = Rect{kScrollTrack.left, top, kScrollTrack.right, top + height};
  }
  t.inner = t.thumb.inset(2);
  t.core = t.thumb.inset(4);
  return t;
}

}  // namespace zumbel::skin
