#pragma once
// The skin picture: the window at rest, the pad strips, the lit buttons, the selected octave
// buttons, the octave captions and the lit MIDI lamp, laid out as SkinLayout.h says. Drawn from
// vectors at any whole scale, so the 2x picture is the same design, not an enlargement.

#include <QImage>
#include <string>

namespace zumbel::skinart {

inline constexpr const char* kSkinFile = "skin.png";
inline constexpr const char* kSkin2xFile = "skin@2x.png";

// Needs a QGuiApplication and loadSkinFonts() done.
QImage renderSkin(int scale);
// Loads the fonts and writes both pictures into the folder; returns an error message, empty on
// success.
std::string writeSkinFiles(const std::string& folder);

}  // namespace zumbel::skinart
