// Sending, posting and pumping messages; the default window procedure; painting.
#include "screen_state.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace screen {

std::deque<MSG>& queue() {
    static std::deque<MSG> q;
    return q;
}

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = findWindow(hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(hwnd, msg, wParam, lParam);
}

void removeQueuedFor(HWND hwnd) {
    auto& q = queue();
    q.erase(std::remove_if(q.begin(), q.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
            q.end());
}

void invalidateAll(Window& w, bool erase) {
    RECT c;
    GetClientRect(w.handle, &c);
    if (IsRectEmpty(&c)) return;
    w.update = c;
    w.updatePending = true;
    w.eraseNeeded = w.eraseNeeded || erase;
}

void forgetWindowFocus(HWND hwnd);
void forgetCapture(HWND hwnd);

void forgetWindow(HWND hwnd) {
    forgetWindowFocus(hwnd);
    forgetCapture(hwnd);
}

static bool inFilter(const MSG& m, HWND hwnd, UINT first, UINT last) {
    if (hwnd && m.hwnd != hwnd && !IsChild(hwnd, m.hwnd)) return false;
    if (first == 0 && last == 0) return true;
    return m.message >= first && m.message <= last;
}

// A window that still needs painting, parents before children.
static Window* pendingPaint(HWND filter) {
    for (auto& [h, w] : windows())
        if (w->updatePending && (w->style & WS_VISIBLE) &&
            (!filter || w->handle == filter || IsChild(filter, w->handle)))
            return w.get();
    return nullptr;
}

}  // namespace screen

using namespace screen;

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return sendMessage(hwnd, msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !findWindow(hwnd)) return FALSE;
    POINT pt;
    GetCursorPos(&pt);
    queue().push_back(MSG{hwnd, msg, wParam, lParam, now(), pt});
    return TRUE;
}

VOID WINAPI PostQuitMessage(int exitCode) {
    POINT pt;
    GetCursorPos(&pt);
    queue().push_back(MSG{nullptr, WM_QUIT, WPARAM(exitCode), 0, now(), pt});
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove) {
    auto& q = queue();
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!inFilter(*it, hwnd, first, last)) continue;
        if (msg) *msg = *it;
        if (remove & PM_REMOVE) q.erase(it);
        return TRUE;
    }
    if (first == 0 && last == 0 ? true : (WM_PAINT >= first && WM_PAINT <= last)) {
        if (Window* w = pendingPaint(hwnd)) {
            if (msg) {
                POINT pt;
                GetCursorPos(&pt);
                *msg = MSG{w->handle, WM_PAINT, 0, 0, now(), pt};
            }
            return TRUE;
        }
    }
    return FALSE;
}

// Nothing can arrive from another thread, so an empty queue would wait forever: time is
// let pass to the next timer instead, and with no timer the loop is told to quit.
BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last) {
    for (;;) {
        if (PeekMessageA(msg, hwnd, first, last, PM_REMOVE)) return msg->message != WM_QUIT;
        DWORD due;
        if (!nextTimerDue(due)) {
            if (msg) *msg = MSG{nullptr, WM_QUIT, 0, 0, now(), {}};
            return FALSE;
        }
        winapiAdvanceClock(due - now());
    }
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    Window* w = findWindow(msg->hwnd);
    if (!w) return 0;
    if (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST)
        relayToSubclassingTips(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    LRESULT r = sendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT) {
        // A procedure that does not validate would be sent WM_PAINT forever.
        if (Window* after = findWindow(msg->hwnd)) after->updatePending = false;
    }
    return r;
}

DWORD WINAPI GetMessageTime(void) { return now(); }

// US layout, as the host keyboard is: the characters of the main keys.
BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    UINT vk = UINT(msg->wParam);
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    int ch = -1;
    if (vk >= 'A' && vk <= 'Z') {
        ch = (shift != caps) ? int(vk) : int(vk) + 32;
        if (ctrl) ch = int(vk) - 'A' + 1;
    } else if (vk >= '0' && vk <= '9') {
        ch = shift ? ")!@#$%^&*("[vk - '0'] : int(vk);
    } else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB ||
               vk == VK_ESCAPE) {
        ch = int(vk == VK_RETURN ? '\r' : vk == VK_BACK ? '\b' : vk == VK_TAB ? '\t'
                                                     : vk == VK_ESCAPE ? 0x1B : ' ');
    } else {
        static const struct { UINT vk; char plain, shifted; } oem[] = {
            {0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'}, {0xBD, '-', '_'},
            {0xBE, '.', '>'}, {0xBF, '/', '?'}, {0xC0, '`', '~'}, {0xDB, '[', '{'},
            {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}};
        for (auto& k : oem)
            if (k.vk == vk) ch = shift ? k.shifted : k.plain;
    }
    if (ch < 0) return FALSE;
    PostMessageA(msg->hwnd, msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, WPARAM(ch),
                 msg->lParam);
    return TRUE;
}

int winapiPumpMessages() {
    int handled = 0;
    MSG m;
    // Bounded: a window that keeps posting to itself must not hang the host.
    while (handled < 100000 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) break;
        ++handled;
        // As an application's loop does for its modeless dialogs: their keys go through
        // the dialog manager.
        HWND top = m.hwnd;
        while (Window* w = findWindow(top)) {
            if (!w->parent) break;
            top = w->parent;
        }
        if (top && findDialog(top) && IsDialogMessageA(top, &m)) continue;
        DispatchMessageA(&m);
    }
    return handled;
}

// ---- the default window procedure ----

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = findWindow(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        if (cs && cs->lpszName) w->title = cs->lpszName;
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = w->cls->background;
        if (!brush) return 0;
        RECT c;
        GetClientRect(hwnd, &c);
        FillRect(reinterpret_cast<HDC>(wParam), &c, brush);
        return 1;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && w->cls->cursor) {
            SetCursor(w->cls->cursor);
            return TRUE;
        }
        return FALSE;
    case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
    case WM_NCHITTEST: {
        LRESULT hit = nonClientHitTest(*w, POINT{short(LOWORD(lParam)), short(HIWORD(lParam))});
        return hit == HTNOWHERE ? HTCLIENT : hit;
    }
    case WM_NCLBUTTONDOWN:
        nonClientPress(hwnd, LRESULT(wParam), POINT{short(LOWORD(lParam)), short(HIWORD(lParam))});
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) sendMessage(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_ACTIVATE:
        // A window that becomes active takes the focus, as Windows' default does.
        if (LOWORD(wParam) != WA_INACTIVE && !(w->style & WS_MINIMIZE)) SetFocus(hwnd);
        return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        // Fields and lists are white, everything else of a dialog has the button face.
        int back = msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX ? COLOR_WINDOW
                   : msg == WM_CTLCOLORSCROLLBAR                     ? COLOR_SCROLLBAR
                                                                     : COLOR_3DFACE;
        HDC hdc = reinterpret_cast<HDC>(wParam);
        SetBkColor(hdc, GetSysColor(back));
        SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(back));
    }
    // An application that leaves the input method's messages to this procedure gets the
    // result as characters: the result string as WM_IME_CHAR, each of those as WM_CHAR
    // bytes (lead byte first), as in an application that knows nothing of input methods.
    case WM_IME_COMPOSITION:
        if (lParam & GCS_RESULTSTR) {
            HIMC context = ImmGetContext(hwnd);
            LONG n = ImmGetCompositionStringA(context, GCS_RESULTSTR, nullptr, 0);
            if (n > 0) {
                std::string result(size_t(n), '\0');
                n = ImmGetCompositionStringA(context, GCS_RESULTSTR, result.data(), DWORD(n));
                for (LONG i = 0; i < n;) {
                    unsigned char lead = static_cast<unsigned char>(result[size_t(i)]);
                    bool pair = lead >= 0x81 && lead <= 0xFE && i + 1 < n;
                    WPARAM ch = pair ? WPARAM(lead) << 8 | static_cast<unsigned char>(result[size_t(i) + 1]) : lead;
                    i += pair ? 2 : 1;
                    if (!findWindow(hwnd)) break;
                    sendMessage(hwnd, WM_IME_CHAR, ch, 1);
                }
            }
            ImmReleaseContext(hwnd, context);
        }
        return 0;
    case WM_IME_CHAR:
        if (wParam > 0xFF) PostMessageA(hwnd, WM_CHAR, (wParam >> 8) & 0xFF, lParam);
        PostMessageA(hwnd, WM_CHAR, wParam & 0xFF, lParam);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        auto* wp = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!wp) return 0;
        if (!(wp->flags & SWP_NOMOVE)) {
            POINT o = w->parent ? POINT{w->rect.left, w->rect.top} : clientOrigin(*w);
            sendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
        }
        if (!(wp->flags & SWP_NOSIZE)) {
            RECT c;
            GetClientRect(hwnd, &c);
            sendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
        }
        return 0;
    }
    case WM_SETTEXT:
        w->title = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if ((w->style & WS_CAPTION) == WS_CAPTION) refreshNonClient(hwnd);
        markScreenDirty();
        return TRUE;
    case WM_GETTEXT: {
        if (!wParam || !lParam) return 0;
        size_t n = std::min(size_t(wParam) - 1, w->title.size());
        std::memcpy(reinterpret_cast<char*>(lParam), w->title.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return LRESULT(n);
    }
    case WM_GETTEXTLENGTH:
        return LRESULT(w->title.size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    }
    return 0;
}

// ---- painting ----

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    Window* w = findWindow(hwnd);
    if (!w) {
        if (!hwnd) markScreenDirty();
        return hwnd == nullptr;
    }
    RECT c;
    GetClientRect(hwnd, &c);
    RECT r = c;
    if (rect && !IntersectRect(&r, rect, &c)) return TRUE;
    if (IsRectEmpty(&r)) return TRUE;
    if (w->updatePending)
        UnionRect(&w->update, &w->update, &r);
    else
        w->update = r;
    w->updatePending = true;
    w->eraseNeeded = w->eraseNeeded || erase;
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    if (!rect) {
        w->updatePending = false;
        w->eraseNeeded = false;
        return TRUE;
    }
    RECT r = *rect;
    RECT inter;
    // Only a validation that covers the whole update area clears it.
    if (IntersectRect(&inter, &w->update, &r) && EqualRect(&inter, &w->update)) {
        w->updatePending = false;
        w->eraseNeeded = false;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    if (rect) *rect = w->updatePending ? w->update : RECT{0, 0, 0, 0};
    return w->updatePending;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    if (w->updatePending && IsWindowVisible(hwnd)) {
        sendMessage(hwnd, WM_PAINT, 0, 0);
        if (Window* after = findWindow(hwnd)) after->updatePending = false;
    }
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    Window* w = findWindow(hwnd);
    if (!w || !ps) return nullptr;
    std::memset(ps, 0, sizeof *ps);
    HDC hdc = newWindowDc(hwnd, false);
    ps->hdc = hdc;
    if (w->updatePending) {
        ps->rcPaint = w->update;
    } else {
        GetClientRect(hwnd, &ps->rcPaint);
        SetRectEmpty(&ps->rcPaint);
    }
    bool erase = w->eraseNeeded;
    w->updatePending = false;
    w->eraseNeeded = false;
    ps->fErase = erase ? !sendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0)
                       : FALSE;
    return hdc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}
