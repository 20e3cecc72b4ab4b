#pragma once
// What the main window shows besides the drum set itself: which group, how far the sample list is
// scrolled, the row a right-click located, which octaves the keyboards show, where a full path
// was drawn over a row, which button is lit, and what the left button has picked up.

#include "RelaxedInt.h"
#include "SkinLayout.h"

namespace zumbel {

// What a left-button press picked up. The flags are always reset together.
struct DragState {
  bool entry = false;  // a sample of the list
  bool pad = false;    // a pad's own sample
  bool thumb = false;  // the scroll thumb
  bool group = false;  // a group name
  bool any() const { return entry || pad || thumb || group; }
};

struct ViewState {
  int currentGroup = 0;
  int topRow = 0;
  int locatedRow = -1;       // none
  // 0, 24 or 48. The audio thread lights the pads from it, so it is written whole.
  RelaxedInt firstShownSound{0};
  skin::Rect saveUnder{};    // all zero: nothing saved
  skin::Rect scrollThumb = skin::kInitialScrollThumb;
  int hoveredButton = -1;    // the lit button's number 1..7, or none

  DragState drag;
  int pickedEntry = 0;       // in the current group
  int pickedSound = 0;
  int pickedLayer = 0;
  int lastPointerY = 0;      // where the previous step of a thumb drag left the pointer
};

}  // namespace zumbel
