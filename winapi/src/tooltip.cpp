// The common-controls tooltip: tools are rectangles of a window with a text; mouse
// messages relayed to the control show the text after the initial delay, next to the
// cursor, and hide it after the auto-pop delay or on a click.
#include "screen_state.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

namespace screen {

struct Tool {
    HWND hwnd;
    UINT_PTR id;
    UINT flags;
    RECT rect;
    std::string text;
};

struct TipState {
    std::vector<Tool> tools;
    UINT initial = 500, autopop = 5000, reshow = 100;
    int hover = -1;  // tool under the cursor
    bool shown = false;
    std::string shownText;
};

static std::map<HWND, TipState>& tips() {
    static std::map<HWND, TipState> all;
    return all;
}

constexpr UINT_PTR kShowTimer = 1, kPopTimer = 2;

static std::string toolText(const TOOLINFOA& ti) {
    if (!ti.lpszText || ti.lpszText == LPSTR_TEXTCALLBACKA) return {};
    if (reinterpret_cast<uintptr_t>(ti.lpszText) < 0x10000) {
        char buffer[512];
        int n = LoadStringA(ti.hinst, UINT(reinterpret_cast<uintptr_t>(ti.lpszText)), buffer, sizeof buffer);
        return std::string(buffer, size_t(std::max(n, 0)));
    }
    return ti.lpszText;
}

// Callers pass the 44 bytes of the first version's record as 32-bit Windows counts them;
// the fields up to the text are read whatever the pointer width, smaller sizes refused.
static bool readToolInfo(LPARAM lParam, TOOLINFOA& out) {
    auto* ti = reinterpret_cast<const TOOLINFOA*>(lParam);
    if (!ti || ti->cbSize < 44) return false;
    std::memset(&out, 0, sizeof out);
    std::memcpy(&out, ti, offsetof(TOOLINFOA, lParam));
    return true;
}

static void hideTip(HWND tip, TipState& s) {
    KillTimer(tip, kPopTimer);
    KillTimer(tip, kShowTimer);
    if (s.shown) ShowWindow(tip, SW_HIDE);
    s.shown = false;
    s.shownText.clear();
}

static void showTip(HWND tip, TipState& s) {
    if (s.hover < 0 || s.hover >= int(s.tools.size())) return;
    const Tool& t = s.tools[size_t(s.hover)];
    if (t.text.empty()) return;
    HDC hdc = GetDC(tip);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HGDIOBJ old = SelectObject(hdc, font);
    SIZE size;
    GetTextExtentPoint32A(hdc, t.text.data(), int(t.text.size()), &size);
    SelectObject(hdc, old);
    ReleaseDC(tip, hdc);
    POINT pt;
    GetCursorPos(&pt);
    RECT wa = workArea();
    int w = size.cx + 8, h = size.cy + 6;
    int x = std::min<int>(pt.x, wa.right - w), y = pt.y + 20;
    if (y + h > wa.bottom) y = pt.y - h - 4;
    s.shown = true;
    s.shownText = t.text;
    SetWindowPos(tip, HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(tip);
    SetTimer(tip, kPopTimer, s.autopop, nullptr);
}

static void relay(HWND tip, const MSG& m) {
    auto it = tips().find(tip);
    if (it == tips().end()) return;
    TipState& s = it->second;
    if (m.message != WM_MOUSEMOVE) {
        hideTip(tip, s);
        return;
    }
    POINT p{short(LOWORD(m.lParam)), short(HIWORD(m.lParam))};
    int found = -1;
    for (size_t i = 0; i < s.tools.size(); ++i)
        if (s.tools[i].hwnd == m.hwnd && PtInRect(&s.tools[i].rect, p)) {
            found = int(i);
            break;
        }
    if (found == s.hover) return;
    bool wasShown = s.shown;
    hideTip(tip, s);
    s.hover = found;
    if (found >= 0) SetTimer(tip, kShowTimer, wasShown ? s.reshow : s.initial, nullptr);
}

static LRESULT CALLBACK tipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TipState& s = tips()[hwnd];
    switch (msg) {
    case WM_NCDESTROY:
        tips().erase(hwnd);
        return 0;
    case TTM_ADDTOOLA: {
        TOOLINFOA ti;
        if (!readToolInfo(lParam, ti)) return FALSE;
        s.tools.push_back(Tool{ti.hwnd, ti.uId, ti.uFlags, ti.rect, toolText(ti)});
        return TRUE;
    }
    case TTM_DELTOOLA: {
        TOOLINFOA ti;
        if (!readToolInfo(lParam, ti)) return 0;
        auto& v = s.tools;
        for (size_t i = 0; i < v.size(); ++i)
            if (v[i].hwnd == ti.hwnd && v[i].id == ti.uId) {
                if (int(i) == s.hover) hideTip(hwnd, s);
                v.erase(v.begin() + long(i));
                s.hover = -1;
                break;
            }
        return 0;
    }
    case TTM_NEWTOOLRECTA: {
        TOOLINFOA ti;
        if (!readToolInfo(lParam, ti)) return 0;
        for (auto& t : s.tools)
            if (t.hwnd == ti.hwnd && t.id == ti.uId) t.rect = ti.rect;
        return 0;
    }
    case TTM_GETTOOLCOUNT:
        return LRESULT(s.tools.size());
    case TTM_SETDELAYTIME: {
        int v = short(LOWORD(lParam));
        UINT value = v < 0 ? 0 : UINT(v);
        switch (wParam) {
        case TTDT_AUTOPOP: s.autopop = v < 0 ? 5000 : value; break;
        case TTDT_INITIAL: s.initial = v < 0 ? 500 : value; break;
        case TTDT_RESHOW: s.reshow = v < 0 ? 100 : value; break;
        case TTDT_AUTOMATIC:
            s.initial = v < 0 ? 500 : value;
            s.autopop = s.initial * 10;
            s.reshow = s.initial / 5;
            break;
        }
        return 0;
    }
    case TTM_GETDELAYTIME:
        return wParam == TTDT_AUTOPOP ? s.autopop : wParam == TTDT_RESHOW ? s.reshow : s.initial;
    case TTM_RELAYEVENT:
        if (lParam) relay(hwnd, *reinterpret_cast<const MSG*>(lParam));
        return 0;
    case TTM_POP:
        hideTip(hwnd, s);
        return 0;
    case WM_TIMER:
        if (wParam == kShowTimer) {
            KillTimer(hwnd, kShowTimer);
            showTip(hwnd, s);
        } else if (wParam == kPopTimer) {
            hideTip(hwnd, s);
        }
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT c;
        GetClientRect(hwnd, &c);
        HBRUSH bk = CreateSolidBrush(GetSysColor(COLOR_INFOBK));
        FillRect(hdc, &c, bk);
        DeleteObject(bk);
        HGDIOBJ old = SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, GetSysColor(COLOR_INFOTEXT));
        TextOutA(hdc, 3, 2, s.shownText.data(), int(s.shownText.size()));
        SelectObject(hdc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void registerTooltipClass() {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_SAVEBITS;
    wc.lpfnWndProc = tipProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = TOOLTIPS_CLASSA;
    RegisterClassA(&wc);
}

void relayToSubclassingTips(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::vector<HWND> targets;
    for (auto& [tip, s] : tips())
        for (auto& t : s.tools)
            if (t.hwnd == hwnd && (t.flags & TTF_SUBCLASS)) {
                targets.push_back(tip);
                break;
            }
    MSG m{hwnd, msg, wParam, lParam, now(), {}};
    for (HWND tip : targets) relay(tip, m);
}

void resetTooltips() { tips().clear(); }

}  // namespace screen

using namespace screen;

void WINAPI InitCommonControls(void) { registerBuiltinClasses(); }

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    registerBuiltinClasses();
    return TRUE;
}

std::vector<WinapiTool> winapiTooltipTools(HWND tip) {
    std::vector<WinapiTool> out;
    for (auto& [h, s] : tips()) {
        if (tip && h != tip) continue;
        for (auto& t : s.tools) out.push_back(WinapiTool{h, t.hwnd, t.id, t.flags, t.rect, t.text});
    }
    return out;
}

std::string winapiShownTooltip() {
    for (auto& [h, s] : tips())
        if (s.shown) return s.shownText;
    return {};
}
