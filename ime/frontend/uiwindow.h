// The UI host window (class NOVPA_UICLS) that the input method manager creates for each
// application thread, and the start-up and shut-down it runs.
#pragma once

#include <windows.h>

#include <cstdint>

LRESULT CALLBACK UiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WM_IME_SELECT: full start-up on selection, shut-down on deselection.
void selectInputMethod(int selected);
// WM_IME_SETCONTEXT: the start-up once per process, on the first activation.
void activateStartup(int active);
// WM_IME_NOTIFY.
void notify(WPARAM code);
// Show or hide the composition window (and the letter box in the row modes).
void showInputWindows(int show);

// Start-up state, process-wide.
extern int32_t startupDone;        // the activation path has run in this process
extern int32_t caretFollowArmed;   // IMN_SETCOMPOSITIONWINDOW may move the windows

// Settings, user files and code tables (startup.cpp).
void readSettings(bool fromSelection);
void ensureUserFiles();
void loadCodeTables();
// The data libraries, loaded by bare name in the system's search order.
extern const char* codeLibraryNames[4];
void releaseCodeTables();
