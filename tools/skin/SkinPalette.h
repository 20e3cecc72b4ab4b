#pragma once
// The skin's colours and the sizes of its drawn details, in one place. Everything is in skin
// pixels at 1x; the 2x picture is the same drawing under a doubled painter.

#include "SkinLayout.h"

namespace zumbel::skinart {

using skin::Rgb;

// The font files are read directly so every machine renders the same glyphs.
inline constexpr const char* kSansFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr const char* kSansBoldFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// --- the panel ---
inline constexpr Rgb kPanelTop{46, 50, 59};
inline constexpr Rgb kPanelBottom{31, 34, 41};
inline constexpr Rgb kPanelHighlight{78, 84, 97};
inline constexpr Rgb kPanelShadow{13, 14, 17};
inline constexpr Rgb kPlateTop{40, 44, 52};
inline constexpr Rgb kPlateBottom{33, 36, 43};
inline constexpr Rgb kWellFill{20, 22, 26};
inline constexpr Rgb kCaptionInk{138, 146, 160};
inline constexpr Rgb kLabelInk{216, 221, 230};
inline constexpr Rgb kEngraveShadow{8, 9, 11};
inline constexpr Rgb kLogoInk{228, 232, 240};
inline constexpr Rgb kAccent{255, 176, 56};
inline constexpr Rgb kAccentDeep{196, 112, 24};

// --- buttons ---
inline constexpr Rgb kButtonRim{9, 10, 12};
inline constexpr Rgb kButtonTop{74, 80, 92};
inline constexpr Rgb kButtonBottom{50, 54, 63};
inline constexpr Rgb kButtonLitTop{255, 206, 112};
inline constexpr Rgb kButtonLitBottom{226, 138, 36};
inline constexpr Rgb kButtonLitInk{44, 24, 4};
inline constexpr Rgb kSelectedTop{92, 214, 214};
inline constexpr Rgb kSelectedBottom{24, 128, 136};
inline constexpr Rgb kSelectedInk{4, 30, 34};
inline constexpr double kButtonRadius = 3.0;
inline constexpr int kButtonLabelPx = 10;
inline constexpr int kLabelMargin = 2;
inline constexpr int kOctaveLabelPx = 12;

// --- the keyboards ---
inline constexpr Rgb kBodyTop{17, 18, 22};
inline constexpr Rgb kBodyBottom{10, 11, 13};
inline constexpr Rgb kPadRim{6, 7, 9};
inline constexpr double kPadRadius = 3.0;
// Pads of neighbouring keys touch in the layout; this keeps a sliver of body between them.
inline constexpr int kPadInsetX = 1;
inline constexpr int kLedHeight = 4;
inline constexpr int kLedMaxWidth = 12;
inline constexpr int kLedSideRoom = 3;

// A pad look: the face (a vertical gradient when idle, a glow from the centre when lit) and the
// sample mark in its middle. Black keys get the darker of each pair.
struct PadColours {
  Rgb faceA, faceB;  // top and bottom, or centre and edge
  Rgb led;
  int ledGlowAlpha = 0;
};
inline constexpr PadColours kIdleEmptyWhite{{80, 85, 96}, {57, 61, 70}, {24, 25, 29}, 0};
inline constexpr PadColours kIdleEmptyBlack{{42, 45, 52}, {28, 30, 36}, {14, 15, 18}, 0};
inline constexpr PadColours kIdleLoadedWhite{{80, 85, 96}, {57, 61, 70}, {255, 172, 40}, 150};
inline constexpr PadColours kIdleLoadedBlack{{42, 45, 52}, {28, 30, 36}, {240, 150, 30}, 130};
inline constexpr PadColours kLitEmptyWhite{{236, 76, 62}, {150, 32, 30}, {112, 14, 12}, 0};
inline constexpr PadColours kLitEmptyBlack{{180, 52, 44}, {104, 22, 20}, {96, 10, 9}, 0};
inline constexpr PadColours kLitLoadedWhite{{255, 234, 168}, {236, 152, 50}, {255, 252, 232}, 200};
inline constexpr PadColours kLitLoadedBlack{{234, 186, 104}, {168, 100, 30}, {255, 240, 200}, 160};

// --- the MIDI lamp ---
inline constexpr Rgb kLampOffCentre{44, 62, 48};
inline constexpr Rgb kLampOffEdge{18, 26, 20};
inline constexpr Rgb kLampLitCentre{200, 255, 190};
inline constexpr Rgb kLampLitEdge{40, 190, 70};
inline constexpr double kLampCentreX = 608.0;
inline constexpr double kLampCentreY = 456.0;
inline constexpr double kLampLensRadius = 7.5;
inline constexpr double kLampBezelRadius = 11.0;

}  // namespace zumbel::skinart
