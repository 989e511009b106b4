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
#include <utility>
#include <vector>

class ModuleHost {
public:
    // Opens the session with the module and its data libraries found in moduleDirectory,
    // by default next to the program.
    bool open(std::string& error, const std::string& moduleDirectory = "");
    void close();
    bool isOpen() const { return session_.engine != nullptr; }

    HIMC createContext();
    void destroyContext(HIMC context);
    void focusIn(HIMC context);
    void focusOut(HIMC context);

    struct Answer {
        bool taken = false;  // ImeProcessKey took the key
        KeyOutcome outcome;
        // Commands the module posted to its status window (the third wrong key's 自造词组):
        // taken out of the queue, for the engine to run once the key's call has returned,
        // since one may open a dialog whose modal loop must not run inside that call.
        std::vector<WPARAM> commands;
    };
    // Offers one key-down to the module through the context, as the manager does.
    Answer offer(HIMC context, const ModuleKey& key);

    ModuleView view() const;

    // The status bar as a person uses it, on the focused context: a click on a button
    // (0 Chinese/English, 2 punctuation, 3 width), a command of its menu, a soft-keyboard
    // layout from the width button's right-click menu (CMD_LAYOUT_* or
    // CMD_SOFT_KEYBOARD_OFF). A command that opens a dialog returns when it closes.
    void clickStatusButton(HIMC context, int button);
    void chooseMenuCommand(HIMC context, int command);
    void chooseSoftLayout(HIMC context, unsigned command);
    // Runs a command the module posted, as its status window would have; it may open a
    // dialog and return when that closes.
    void runCommand(HIMC context, WPARAM command);
    // The soft-keyboard layouts of the module's own menu: command and UTF-8 name.
    std::vector<std::pair<unsigned, std::string>> softLayouts() const;
    int softLayout() const;  // the layout last chosen while a soft keyboard is on, -1 for none
    const EngineContext* engine() const { return session_.engine; }
    const ModeState* modes() const { return session_.modes; }
    HostSession& session() { return session_; }

private:
    std::string resultString(HIMC context);
    HostSession session_;
    bool statusButtonCentre(int button, int& x, int& y) const;
    HIMC focused_ = nullptr;
    int softLayout_ = -1;
};
