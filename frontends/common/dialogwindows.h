// The module's dialogs as real desktop windows. While a dialog of the module runs its
// modal loop on the stand-in, every visible dialog (message boxes included) is shown as a
// GTK window with the stand-in's pixels, and the module's composition window and letter
// box as popups beside it; the mouse and keys of those windows go back to the stand-in
// as a person's, keys through the typist and so through the input method. One dialog
// procedure serves Windows and the Linux desktop.
#pragma once

#include <windows.h>

struct ImeSession;

namespace dialogwindows {

// Opens the display; false when there is none, and the dialogs then stay on the
// stand-in's desktop, closed as nobody is there to use them. typing tells whether a code
// is being typed: the module's composition window and letter box are shown only then.
bool start(ImeSession& session, bool (*typing)());
// The stand-in's modal loop waits: mirrors what is open, waits for the person's next
// event (or a short while) and hands it on. True: keep waiting.
bool personAt(HWND modal, int kind);
// Takes down the windows of dialogs that have closed.
void sync();
// A dialog of the module is open: the keys of applications do not reach the module then.
bool dialogOpen();

}  // namespace dialogwindows
