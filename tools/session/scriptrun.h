// Plays a key script in a session, key after key, also from inside the modal loops that
// the keys open: a key that opens a dialog or a message box does not return until it
// closes, so the script goes on from the loop's idle time (the runner's idle hook) and
// types into the dialog as a person would. A dialog still open when the script ends is
// closed as a person closes one: Esc, then its close box; a dialog that takes neither is
// ended, and reported as refusing. A dialog's tries are counted across the message boxes
// its refusals show, so one that answers every close with a question is not asked for
// ever. Both runners (qxhost and the Wine tier's driver) play scripts this way.
#pragma once

#include "session.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class ScriptRun {
public:
    struct Report {
        std::function<void(const ScriptKey&)> before;  // a key is about to be typed
        std::function<void(const ScriptKey&, const std::vector<KeyEvent>&)> typed;
        // The script has ended with this modal window open (picture it now).
        std::function<void(HWND modal)> ended;
        // The runner closes the modal window left open: "Esc", "close box" or "ended".
        std::function<void(HWND modal, const char* how)> closing;
        // The modal window took neither Esc nor its close box; it is ended now.
        std::function<void(HWND modal)> refused;
        // The keys have run out: keys to go on with, chosen from what the screen shows now
        // (modal: the modal window that waits, null outside one; kind as for idle). None
        // ends the script. A person who looks before the next key is scripted this way.
        std::function<std::vector<ScriptKey>(HWND modal, int kind)> more;
    };

    ScriptRun(ImeSession& session, std::vector<ScriptKey> keys, Report report);
    ~ScriptRun();
    // Types every key; returns when the script has ended and every dialog is closed.
    void run();
    // A modal loop waits: types the next key, or closes the loop's window once the script
    // has ended. `kind` is MSGF_DIALOGBOX or MSGF_MESSAGEBOX. False when nothing was done.
    bool idle(HWND modal, int kind);
    // The run in progress, for the runners' idle hooks.
    static ScriptRun* current();

private:
    bool typeNext(HWND modal = nullptr, int kind = 0);

    ImeSession& session_;
    std::vector<ScriptKey> keys_;
    size_t next_ = 0;
    Report report_;
    std::map<HWND, int> closingRounds_;  // closes tried, by the window still open
    bool endReported_ = false;
};
