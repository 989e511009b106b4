// The module hosted as the Input Method Manager and an application with one edit field
// would host it: loaded, its UI window created over a real input context, selected and
// activated, then typed into.
#pragma once

#include "typist.h"

#include "frontend/engine.h"

#include <memory>
#include <string>
#include <vector>

struct HostSession {
    HMODULE module = nullptr;
    HIMC context = nullptr;
    HWND uiWindow = nullptr;
    HWND appWindow = nullptr;
    TypistHooks hooks;
    std::unique_ptr<Typist> typist;

    // The module's own record, read where it lives (exported data symbols).
    const EngineContext* engine = nullptr;
    const char* messageLine = nullptr;
    const int32_t* pinyinMode = nullptr;
    const int32_t* webMode = nullptr;
    const int32_t* wubiMode = nullptr;
    const int32_t* phoneticEdition = nullptr;
    const int32_t* displayHalf = nullptr;
};

// Writes REG_DWORD value under HKEY_LOCAL_MACHINE\Software\QX; the name in GBK.
bool setSetting(const std::string& gbkName, DWORD value);

// Loads the module (by name, found next to the program), creates the context and the UI
// window, selects and activates it. Fills error and returns false when the module or one
// of its exports is missing.
bool openSession(HostSession& session, const char* modulePath, std::string& error);
// Clicks the picture windows away, as a person does before typing.
void closePictures(HostSession& session);
void closeSession(HostSession& session);

// Class names of the module's windows that are visible now.
std::vector<std::string> visibleModuleWindows();
