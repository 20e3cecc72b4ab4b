#pragma once
// Gives the keyboard back to the program when one of its dialogs that had it goes away. A window
// manager does this itself; on a bare X server (a kiosk, a test display) the keyboard falls to
// the desktop instead, and the window's keys (Ctrl+O, Backspace, F1) do nothing until it is
// clicked.

class QWidget;

namespace zumbel {

// From now on, whenever a dialog or message box that had the keyboard is hidden and no window of
// the program has it a moment later, the one that should take it does: the modal dialog still
// open underneath, else `main`. Lives as long as `main`.
void returnKeyboardAfterDialogs(QWidget* main);

}  // namespace zumbel
