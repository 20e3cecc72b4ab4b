#pragma once
// The program's icon: the logo's pad grid on a rounded piece of the window's panel, drawn from the
// same vectors at any size, as PNGs for the icon theme and the window, and as an SVG.

#include <QImage>
#include <QString>
#include <array>
#include <string>

namespace zumbel::skinart {

// The PNG sizes the icon theme gets; the window uses them too.
inline constexpr std::array<int, 7> kIconSizes{16, 24, 32, 48, 64, 128, 256};
inline constexpr const char* kIconSvgFile = "zumbel.svg";
// "zumbel-48.png" and so on.
QString iconPngFile(int size);

QImage renderIcon(int size);
// Writes the SVG and every PNG into the folder; returns an error message, empty on success.
std::string writeIconFiles(const std::string& folder);

}  // namespace zumbel::skinart
