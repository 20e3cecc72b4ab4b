#pragma once
// The program's icon, built into it, for its windows and the task bar: the pictures the icon theme
// gets too, so the window and the application menu show the same thing.

#include <QIcon>

namespace zumbel {

// The desktop entry's name, which Wayland task bars match the window to.
inline constexpr const char* kDesktopFileName = "org.nordwick.Zumbel";

QIcon appIcon();
// Gives every window of the application the icon, and names the desktop entry.
void applyAppIdentity();

}  // namespace zumbel
