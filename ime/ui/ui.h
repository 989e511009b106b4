// Window routines that the engines, the driver and start-up call. The windows themselves
// are created by the UI host window; every routine first checks that its window exists,
// computes and clamps what it must, and stops when there is no window.
#pragma once

#include <windows.h>

// Class of the UI host window: ImeInquire names it, attach registers it.
inline constexpr char UI_CLASS[] = "NOVPA_UICLS";

// Place and repaint the letter box and the composition window after a key.
void RelayoutComposition();
// A key from its start to its end: the relayouts it asks for (often several) invalidate the
// composition window, and it is painted once, when the key ends, with what the key left.
// Outside a key a relayout paints at once.
void BeginKeyPaint();
void EndKeyPaint();
// Repaint the status bar (InvalidateRect + UpdateWindow) if it exists.
void RepaintStatusWindow();
// Show or hide the composition window; showing clears the first-show flag.
void ShowCompositionWindow(int show);
// The five-stroke note ("wbclass"): created hidden when missing; returns its handle.
HWND EnsureWubiNote();
// End the user-phrase dialog if it is open (at detach and on mode switches).
int EndOpenDialogs();
// Put the windows' layout state back as at process start: no stored positions, the
// introduction still to come. Part of the process reset.
void resetUiState();
