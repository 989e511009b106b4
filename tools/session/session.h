// A session with the module, as the Input Method Manager and an application with one edit
// field hold it: the module loaded and asked for its UI class, an application window that
// owns a fresh input context, the module's UI window over that context, selected and
// activated; then a typist over the context. Only Win32 calls that Windows has are used,
// so the host runner and the Wine tier's driver open the same session.
#pragma once

#include "typist.h"

#include <windows.h>

#include <functional>

#include <memory>
#include <string>
#include <vector>

struct SessionHooks {
    void (*click)(int x, int y) = nullptr;      // a left click at a screen point
    void (*rightClick)(int x, int y) = nullptr;
    void (*doubleClick)(int x, int y) = nullptr;
    void (*tick)(unsigned milliseconds) = nullptr; // time passing
    void (*pump)() = nullptr;                   // dispatch posted messages
    // A person's answers for the next menu, message box and folder picker; the menu's
    // answer is given before the session opens the menu.
    void (*menuAnswer)(int command) = nullptr;
    void (*answer)(int id) = nullptr;
    void (*folder)(const char* path) = nullptr;
    // A modal loop of the application waits (WM_ENTERIDLE to the application window):
    // the runner acts in it and returns true, or returns false when it has nothing to do.
    bool (*idle)(HWND modal, int kind) = nullptr;
    // Names the UI window that hears the context's notifications, where the system does
    // not find it through the application window (the host's stand-in).
    void (*bindUiWindow)(HIMC context, HWND uiWindow) = nullptr;
    // Each stage of the set-up as it begins, for a runner where a hang shows only as the
    // last stage printed.
    void (*stage)(const char* name) = nullptr;
};

struct ImeSession {
    HMODULE module = nullptr;
    HIMC context = nullptr;
    HWND appWindow = nullptr;
    HWND uiWindow = nullptr;
    char uiClass[64] = {};
    SessionHooks hooks;
    std::unique_ptr<Typist> typist;
};

// Opens the session with the module at modulePath. On failure fills error, naming the
// stage that failed, and returns false; closeSession then releases what was made.
bool openSession(ImeSession& session, const char* modulePath, const SessionHooks& hooks, std::string& error);
// Clicks the introduction pictures away, one after the other, as a person does first.
void closePictures(ImeSession& session);
// Deselects the module, destroys the windows and the context and frees the module.
void closeSession(ImeSession& session);

// Class names of the module's windows that are visible now.
std::vector<std::string> visibleModuleWindows();

// Chooses a command of the status bar's menu as a person does: the answer is given to
// the desktop (hooks.menuAnswer), then the menu button is clicked.
void chooseStatusMenuCommand(ImeSession& session, int command);

// The dialog that is the active window, as both runners report it.
struct OpenDialog {
    bool open = false;
    std::string title;      // GBK
    int focus = 0;          // id of the control with the focus, 0 for none
    std::string focusText;  // its text (GBK)
};
OpenDialog describeOpenDialog();
