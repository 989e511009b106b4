// Playing a key script, also inside the modal loops it opens.
#include "scriptrun.h"

#include <iterator>

namespace {
ScriptRun* running = nullptr;
}

ScriptRun::ScriptRun(ImeSession& session, std::vector<ScriptKey> keys, Report report)
    : session_(session), keys_(std::move(keys)), report_(std::move(report)) {
    running = this;
}

ScriptRun::~ScriptRun() {
    if (running == this) running = nullptr;
}

ScriptRun* ScriptRun::current() { return running; }

bool ScriptRun::typeNext(HWND modal, int kind) {
    if (!session_.typist) return false;
    if (next_ >= keys_.size() && report_.more) {
        std::vector<ScriptKey> more = report_.more(modal, kind);
        keys_.insert(keys_.end(), more.begin(), more.end());
    }
    if (next_ >= keys_.size()) return false;
    const ScriptKey key = keys_[next_++];
    if (report_.before) report_.before(key);
    const std::vector<KeyEvent> events = session_.typist->type(key);
    if (report_.typed) report_.typed(key, events);
    return true;
}

void ScriptRun::run() {
    while (typeNext()) {
    }
}

bool ScriptRun::idle(HWND modal, int kind) {
    if (modal == nullptr || !IsWindow(modal)) return false;
    if (typeNext(modal, kind)) return true;
    if (!endReported_) {
        endReported_ = true;
        if (report_.ended) report_.ended(modal);
    }
    // Windows gone are forgotten: the count of each one still open goes on.
    for (auto it = closingRounds_.begin(); it != closingRounds_.end();)
        it = IsWindow(it->first) ? std::next(it) : closingRounds_.erase(it);
    switch (closingRounds_[modal]++) {
    case 0: {
        if (report_.closing) report_.closing(modal, "Esc");
        ScriptKey esc;
        esc.vk = VK_ESCAPE;
        esc.ch = 0x1B;
        esc.text = "{Esc}";
        if (report_.before) report_.before(esc);
        const std::vector<KeyEvent> events = session_.typist->type(esc);
        if (report_.typed) report_.typed(esc, events);
        return true;
    }
    case 1:
        if (report_.closing) report_.closing(modal, "close box");
        PostMessageA(modal, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    case 2:
        // A message box keeps its own last resort (its first button); a dialog that took
        // neither Esc nor its close box is ended here.
        if (kind == MSGF_MESSAGEBOX) return false;
        if (report_.closing) report_.closing(modal, "ended");
        if (report_.refused) report_.refused(modal);
        EndDialog(modal, IDCANCEL);
        return true;
    }
    return false;
}
