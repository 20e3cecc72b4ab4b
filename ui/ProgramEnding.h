#pragma once
// The program was asked to end (SIGTERM from a session ending, Ctrl+C) while it may be busy: in
// the middle of reading a set's samples, or waiting on a question. Nobody is there to answer, so
// from then on loads stop at their next sample, open dialogs close, and every question gets the
// answer nobody gives (no message, No, no file), so the program ends within moments instead of
// after the whole set has been read and every question answered.

namespace zumbel {

// User-interface thread only.
void requestProgramEnd();
bool programEnding() noexcept;

}  // namespace zumbel
