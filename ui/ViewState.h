#pragma once
// What the main window shows besides the drum set itself: which group, how far the sample list is
// scrolled, the row a right-click located, which octaves the keyboards show, and where a full
// path was drawn over a row.

#include "SkinLayout.h"

namespace zumbel {

struct ViewState {
  int currentGroup = 0;
  int topRow = 0;
  int locatedRow = -1;       // none
  int firstShownSound = 0;   // 0, 24 or 48
  skin::Rect saveUnder{};    // all zero: nothing saved
  skin::Rect scrollThumb = skin::kInitialScrollThumb;
};

}  // namespace zumbel
