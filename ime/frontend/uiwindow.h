// The UI host window (class NOVPA_UICLS) that the input method manager creates for each
// application thread, and the start-up and shut-down it runs.
#pragma once

#include <windows.h>

#include "core/engine.h"

#include <cstdint>

LRESULT CALLBACK UiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Register the module's window classes, the host window's and the windows' of ui/
// (process attach). Returns 1.
int RegisterUiClasses();

// WM_IME_SELECT: full start-up on selection, shut-down on deselection.
void selectInputMethod(int selected);
// WM_IME_SETCONTEXT: the start-up once per process, on the first activation.
void activateStartup(int active);
// WM_IME_NOTIFY.
void notify(WPARAM code);
// Show or hide the composition window (and the letter box in the row modes).
void showInputWindows(int show);

// Start-up state, process-wide: what start-up has done in this process, the paths it
// builds and the data libraries it holds. (The introduction and first-show flags live
// with the windows, in uiState.)
struct StartupState {
    int32_t startupDone = 0;        // the activation path has run in this process
    int32_t caretFollowArmed = 0;   // IMN_SETCOMPOSITIONWINDOW may move the windows
    char wubiPhrasePath[QX_PATH_SIZE] = {};
    char pinyinPhrasePath[QX_PATH_SIZE] = {};
    // The data libraries, loaded in the system's search order, and the resources locked
    // from them (in the order of the table list of startup.cpp).
    const char* codeLibraryNames[4] = {"Qxmb.dll", "Dede.dll", "gbk.dll", "pymb.dll"};
    HMODULE libraries[4] = {};
    HGLOBAL tableHandles[9] = {};
};
extern StartupState startup;

// Settings, user files and code tables (startup.cpp).
void readSettings(bool fromSelection);
void ensureUserFiles();
void loadCodeTables();
void releaseCodeTables();
