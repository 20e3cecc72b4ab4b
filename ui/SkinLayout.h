#pragma once
// Where everything of the main window lies: the window's regions, the pads of the two keyboards,
// and where each region's looks are found in the skin picture. The window is drawn only by
// copying blocks of the skin, so these numbers are the whole contract between the skin art
// (tools/make_skin) and the view. Plain C++: the hit tests run in tests without a window.

#include <array>
#include <cstdint>
#include <optional>

namespace zumbel::skin {

// A rectangle holds the points left <= x < right, top <= y < bottom.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  constexpr bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  constexpr Rect moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  constexpr Rect inset(int d) const { return {left + d, top + d, right - d, bottom - d}; }
  constexpr bool isEmpty() const { return right <= left || bottom <= top; }
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// A copy of a w x h block from the skin at (sx, sy) to the window at (x, y).
struct Blit {
  int x = 0, y = 0, w = 0, h = 0, sx = 0, sy = 0;
  friend constexpr bool operator==(const Blit&, const Blit&) = default;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// --- the skin picture ---
inline constexpr int kSkinWidth = 752;
inline constexpr int kSkinHeight = 850;
// Window pixel (x, y) at rest is skin pixel (x, y + kBackgroundTop).
inline constexpr int kBackgroundTop = 332;
inline constexpr int kWindowWidth = 727;
inline constexpr int kWindowHeight = 487;
inline constexpr Blit kFullBackground{0, 0, kWindowWidth, kWindowHeight, 0, kBackgroundTop};

// The three pad strips: a whole keyboard in one look each.
inline constexpr int kPadStripWidth = 248;
inline constexpr int kPadStripHeight = 195;
inline constexpr int kStripLitEmptyX = 0;
inline constexpr int kStripLoadedX = 250;
inline constexpr int kStripLitLoadedX = 500;

// Scratch areas of the skin surface: the sample list is composed in the first, the pixels under a
// full path drawn over a row are kept in the second.
inline constexpr Rect kListScratch{7, 360, 508, 553};
inline constexpr Blit kSaveUnderStrip{0, 0, 500, 20, 0, 820};

// --- the window's regions ---
inline constexpr int kListRows = 16;
inline constexpr int kRowHeight = 12;
inline constexpr int kListTop = 28;
inline constexpr Rect kGroupList{8, 28, 119, 222};
inline constexpr Rect kSampleList{120, 28, 507, 222};
inline constexpr Rect kScrollTrack{510, 41, 524, 207};
inline constexpr Rect kInitialScrollThumb{510, 41, 524, 69};
constexpr Rect groupRow(int i) { return {8, kListTop + kRowHeight * i, 118, kListTop + kRowHeight * (i + 1)}; }
constexpr Rect sampleRow(int i) { return {120, kListTop + kRowHeight * i, 507, kListTop + kRowHeight * (i + 1)}; }

enum class Button { kOptions, kLoadSet, kSaveSet, kCreateGroup, kLoadSample, kSaveGroup, kLoadGroup };
inline constexpr int kButtonCount = 7;
inline constexpr Rect kButtonPanel{552, 124, 668, 220};
inline constexpr Blit kButtonPanelRestore{551, 124, 120, 101, 551, 456};
// By Button: where the button answers the mouse, and its lit look.
inline constexpr std::array<Rect, kButtonCount> kButtonRects{{
    {552, 124, 609, 143},
    {552, 145, 609, 163},
    {614, 145, 668, 163},
    {552, 168, 609, 190},
    {614, 168, 668, 190},
    {552, 197, 609, 220},
    {614, 197, 668, 220},
}};
inline constexpr std::array<Blit, kButtonCount> kButtonLit{{
    {551, 124, 60, 19, 0, 196},
    {551, 146, 60, 19, 0, 218},
    {612, 146, 60, 20, 61, 218},
    {551, 168, 60, 22, 0, 240},
    {612, 168, 60, 22, 61, 240},
    {551, 197, 60, 22, 0, 269},
    {612, 197, 60, 22, 61, 269},
}};

// The buttons by the numbers hover lighting and hit tests go through, 1..7: they are tested in
// this order.
inline constexpr std::array<Button, kButtonCount> kButtonsById{{
    Button::kSaveSet, Button::kLoadSet, Button::kOptions, Button::kSaveGroup, Button::kLoadGroup,
    Button::kLoadSample, Button::kCreateGroup,
}};
// The index into kButtonRects and kButtonLit of button `id`, or -1 for an id of no button.
constexpr int buttonIndex(int id) {
  return id >= 1 && id <= kButtonCount ? static_cast<int>(kButtonsById[static_cast<std::size_t>(id - 1)]) : -1;
}
// The number of the first button whose rectangle holds the point, or -1 between buttons.
constexpr int buttonAt(int x, int y) {
  for (int id = 1; id <= kButtonCount; ++id) {
    if (kButtonRects[static_cast<std::size_t>(buttonIndex(id))].contains(x, y)) return id;
  }
  return -1;
}

// The octave-pair buttons: sounds 0..23, 24..47, 48..71.
inline constexpr int kOctavePairs = 3;
inline constexpr int kSoundsPerPage = 24;
inline constexpr Rect kEditOctavePanel{558, 296, 663, 405};
inline constexpr Blit kEditOctavePanelRestore{558, 296, 105, 110, 558, 628};
inline constexpr std::array<Rect, kOctavePairs> kOctaveButtons{{
    {558, 296, 663, 330},
    {558, 332, 663, 366},
    {558, 370, 663, 402},
}};
inline constexpr std::array<Blit, kOctavePairs> kOctaveSelected{{
    {558, 296, 105, 34, 130, 196},
    {558, 332, 105, 34, 130, 232},
    {558, 369, 105, 34, 130, 270},
}};
// The captions of octaves 1..6 in the skin, and where the two shown ones go.
inline constexpr int kCaptionWidth = 103;
inline constexpr int kCaptionHeight = 42;
inline constexpr std::array<std::array<int, 2>, 6> kOctaveCaptionSource{{
    {250, 196}, {250, 238}, {250, 280}, {353, 196}, {353, 238}, {353, 280},
}};
inline constexpr int kOctaveLabelLeftX = 11;
inline constexpr int kOctaveLabelRightX = 278;
inline constexpr int kOctaveLabelY = 242;

// The keyboards: 12 keys of 5 pads each, layer 0 on top.
inline constexpr int kKeys = 12;
inline constexpr int kPadLayers = 5;
inline constexpr Rect kLeftKeyboard{7, 286, 255, 481};
inline constexpr Rect kRightKeyboard{274, 286, 522, 481};
inline constexpr int kKeyboardX = 7;
inline constexpr int kKeyboardY = 286;
inline constexpr int kRightKeyboardOffset = 267;
inline constexpr Blit kKeyboardsRestore{0, 286, 522, 195, 0, 618};
// Each pad's rectangle relative to its keyboard's top-left corner, and inside each pad strip.
inline constexpr std::array<std::array<Rect, kPadLayers>, kKeys> kPadShape{{
    {{{4, 0, 30, 37}, {4, 40, 30, 77}, {4, 79, 30, 116}, {4, 118, 30, 155}, {4, 158, 36, 195}}},
    {{{30, 0, 47, 30}, {30, 32, 47, 61}, {30, 63, 47, 93}, {30, 95, 47, 125}, {30, 127, 47, 157}}},
    {{{47, 0, 65, 37}, {47, 40, 65, 77}, {47, 79, 65, 116}, {47, 118, 65, 155}, {39, 158, 72, 195}}},
    {{{65, 0, 82, 30}, {65, 32, 83, 61}, {65, 63, 83, 93}, {65, 95, 83, 125}, {65, 127, 83, 157}}},
    {{{83, 0, 107, 37}, {83, 40, 107, 77}, {83, 79, 107, 116}, {83, 118, 107, 155}, {75, 158, 107, 195}}},
    {{{110, 0, 135, 37}, {110, 40, 135, 77}, {110, 79, 135, 116}, {110, 118, 135, 155}, {110, 158, 142, 195}}},
    {{{135, 0, 153, 30}, {135, 32, 153, 61}, {135, 63, 153, 93}, {135, 95, 153, 125}, {135, 127, 153, 157}}},
    {{{153, 0, 171, 37}, {153, 40, 171, 77}, {153, 79, 171, 116}, {153, 118, 171, 155}, {145, 158, 177, 195}}},
    {{{171, 0, 188, 30}, {171, 32, 188, 61}, {171, 63, 188, 93}, {171, 95, 188, 125}, {171, 127, 188, 157}}},
    {{{188, 0, 206, 37}, {188, 40, 206, 77}, {188, 79, 206, 116}, {188, 118, 206, 155}, {180, 158, 213, 195}}},
    {{{206, 0, 223, 30}, {206, 32, 223, 61}, {206, 63, 223, 93}, {206, 95, 223, 125}, {206, 127, 223, 157}}},
    {{{223, 0, 248, 37}, {223, 40, 248, 77}, {223, 79, 248, 116}, {223, 119, 248, 155}, {216, 158, 248, 195}}},
}};
constexpr bool isBlackKey(int key) { return key == 1 || key == 3 || key == 6 || key == 8 || key == 10; }
// The pad's window rectangle on the left keyboard; the right keyboard's is kRightKeyboardOffset
// further right.
constexpr Rect padCell(int key, int layer) { return kPadShape[key][layer].moved(kKeyboardX, kKeyboardY); }

// The MIDI activity lamp: its lit image (with its label) is larger than what going off restores.
inline constexpr Rect kMidiInLamp{594, 445, 630, 484};
inline constexpr Blit kMidiLampLit{581, 440, 54, 45, 500, 280};
inline constexpr Blit kMidiLampOff{591, 442, 34, 39, 591, 774};

inline constexpr Rect kTrashArea{659, 421, 725, 486};

inline constexpr int kMemoryMeterX = 350;
inline constexpr int kMemoryMeterY = 13;
inline constexpr Blit kMemoryMeterRestore{350, 13, 125, 20, 350, 345};

// --- text ---
inline constexpr Rgb kSampleText{204, 170, 102};
inline constexpr Rgb kGroupText{206, 175, 154};
inline constexpr Rgb kHighlightText{255, 216, 1};
inline constexpr Rgb kFullPathText{250, 225, 100};
inline constexpr Rgb kMemoryText{200, 180, 0};
inline constexpr Rgb kTextBackground{0, 0, 0};
inline constexpr int kGroupNameChars = 20;
// The scroll bar, drawn in flat colours.
inline constexpr Rgb kScrollTrackColour{10, 10, 10};
inline constexpr Rgb kThumbColour{80, 80, 80};
inline constexpr Rgb kThumbInnerColour{56, 56, 64};
inline constexpr Rgb kThumbCoreColour{0, 30, 30};

// --- hit tests and derived geometry ---
struct PadHit {
  int sound = 0;  // first shown sound + key (+ 12 on the right keyboard)
  int key = 0;
  int layer = 0;
  bool right = false;
  friend constexpr bool operator==(const PadHit&, const PadHit&) = default;
};
// The pad under a window point, if any: the gaps between pads hit nothing.
std::optional<PadHit> padAt(int x, int y, int firstShownSound);

// The entry shown in the sample row under a point, if that row shows one.
std::optional<int> sampleEntryAt(int x, int y, int entries, int topRow);
// The group shown in the group row under a point, if there is one.
std::optional<int> groupAt(int x, int y, int groupCount);

// The scroll thumb for a list of n > 16 entries scrolled to topRow, and the two rectangles
// inside it. The step is the pixels the thumb moves per entry.
struct ScrollThumb {
  Rect thumb, inner, core;
  double step = 0.0;
};
ScrollThumb scrollThumb(int entries, int topRow);

// The octave pair a first shown sound selects (0, 1, 2), and the octaves captioned (1..6).
constexpr int octavePair(int firstShownSound) { return firstShownSound == 0 ? 0 : firstShownSound == 24 ? 1 : 2; }
constexpr int leftOctave(int firstShownSound) { return 2 * (firstShownSound / kSoundsPerPage + 1) - 1; }
constexpr int rightOctave(int firstShownSound) { return 2 * (firstShownSound / kSoundsPerPage + 1); }

}  // namespace zumbel::skin
