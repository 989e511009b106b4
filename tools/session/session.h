// A session with the module, as the Input Method Manager and an application with one edit
// field hold it: the module loaded and asked for its UI class, an application window that
// owns a fresh input context, the module's UI window over that context, selected and
// activated; then a typist over the context. Only Win32 calls that Windows has are used,
// so the host runner and the Wine tier's driver open the same session.
#pragma once

#include "typist.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

struct SessionHooks {
    void (*click)(int x, int y) = nullptr;      // a left click at a screen point
    void (*tick)(unsigned milliseconds) = nullptr; // time passing
    void (*pump)() = nullptr;                   // dispatch posted messages
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
