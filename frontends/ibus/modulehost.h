// The module hosted for the desktop: qx.ime and its data libraries loaded over the
// stand-in through the same session as qxhost, one module input context for each
// desktop input context. Focus in and out activate and deactivate the context at the
// module's UI window, as the Input Method Manager does when focus moves between windows.
#pragma once

#include "hostsession.h"
#include "keyoutcome.h"
#include "keytranslation.h"
#include "moduleview.h"

#include <string>

class ModuleHost {
public:
    // Opens the session with the module found next to the program.
    bool open(std::string& error);
    void close();
    bool isOpen() const { return session_.engine != nullptr; }

    HIMC createContext();
    void destroyContext(HIMC context);
    void focusIn(HIMC context);
    void focusOut(HIMC context);

    struct Answer {
        bool taken = false;  // ImeProcessKey took the key
        KeyOutcome outcome;
    };
    // Offers one key-down to the module through the context, as the manager does.
    Answer offer(HIMC context, const ModuleKey& key);

    ModuleView view() const;
    const EngineContext* engine() const { return session_.engine; }
    const ModeState* modes() const { return session_.modes; }
    HostSession& session() { return session_; }

private:
    std::string resultString(HIMC context);
    HostSession session_;
    HIMC focused_ = nullptr;
};
