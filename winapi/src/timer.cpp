// Timers over a clock that only the host advances, so tests see every tick exactly.
#include "screen_state.h"

#include <algorithm>

namespace screen {

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    DWORD due;
    TIMERPROC proc;
};

static std::vector<Timer>& timers() {
    static std::vector<Timer> all;
    return all;
}

static DWORD clockNow = 0;

DWORD now() { return clockNow; }

void killTimersOf(HWND hwnd) {
    auto& t = timers();
    t.erase(std::remove_if(t.begin(), t.end(), [hwnd](const Timer& x) { return x.hwnd == hwnd; }),
            t.end());
}

bool nextTimerDue(DWORD& due) {
    bool any = false;
    for (auto& t : timers())
        if (!any || DWORD(t.due - clockNow) < DWORD(due - clockNow)) {
            due = t.due;
            any = true;
        }
    return any;
}

// Windows keeps at most one WM_TIMER of a timer in the queue.
static bool alreadyQueued(const Timer& t) {
    for (auto& m : queue())
        if (m.message == WM_TIMER && m.hwnd == t.hwnd && m.wParam == t.id) return true;
    return false;
}

void postDueTimers() {
    for (auto& t : timers()) {
        if (DWORD(clockNow - t.due) >= 0x80000000u) continue;  // not yet due
        t.due = clockNow + t.period;
        if (alreadyQueued(t)) continue;
        POINT pt;
        GetCursorPos(&pt);
        queue().push_back(MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), clockNow, pt});
    }
}

void resetTimers() {
    timers().clear();
}

}  // namespace screen

using namespace screen;

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (hwnd && !findWindow(hwnd)) return 0;
    elapse = std::max<UINT>(elapse, 10);  // USER_TIMER_MINIMUM
    if (!hwnd) {
        // Thread timers get an id of their own.
        static UINT_PTR nextId = 0x7F00;
        id = ++nextId;
    }
    for (auto& t : timers())
        if (t.hwnd == hwnd && t.id == id) {
            t.period = elapse;
            t.due = clockNow + elapse;
            t.proc = proc;
            return hwnd ? 1 : id;
        }
    timers().push_back(Timer{hwnd, id, elapse, clockNow + elapse, proc});
    return hwnd ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    auto& t = timers();
    auto it = std::find_if(t.begin(), t.end(),
                           [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
    if (it == t.end()) return FALSE;
    t.erase(it);
    auto& q = queue();
    q.erase(std::remove_if(q.begin(), q.end(),
                           [&](const MSG& m) {
                               return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id;
                           }),
            q.end());
    return TRUE;
}

DWORD winapiClock() { return clockNow; }

void winapiAdvanceClock(DWORD milliseconds) {
    DWORD end = clockNow + milliseconds;
    for (;;) {
        DWORD due;
        if (!nextTimerDue(due) || DWORD(end - due) >= 0x80000000u) break;  // next beyond end
        if (DWORD(due - clockNow) < 0x80000000u) clockNow = due;
        postDueTimers();
        winapiPumpMessages();
    }
    clockNow = end;
    winapiPumpMessages();
}
