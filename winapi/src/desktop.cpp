// The desktop: its size and work area, system metrics and colours, the cursor and the
// mouse capture, the composed screen, scripted answers and the event record.
#include "screen_state.h"

#include <algorithm>
#include <cstring>

namespace screen {

static int deskWidth = 1024, deskHeight = 768, taskbar = 28;
static std::shared_ptr<Surface> screenBuffer;
static bool screenDirty = true;

int desktopWidth() { return deskWidth; }
int desktopHeight() { return deskHeight; }
RECT workArea() { return RECT{0, 0, deskWidth, std::max(0, deskHeight - taskbar)}; }

void markScreenDirty() { screenDirty = true; }

static void blitWindow(Surface& dst, const Window& w) {
    if (!(w.style & WS_VISIBLE) || !w.surface) return;
    RECT r = screenRect(w);
    const Surface& s = *w.surface;
    for (int y = 0; y < s.height; ++y) {
        int dy = r.top + y;
        if (dy < 0 || dy >= dst.height) continue;
        for (int x = 0; x < s.width; ++x) {
            int dx = r.left + x;
            if (dx < 0 || dx >= dst.width) continue;
            *dst.at(dx, dy) = s.pixels[size_t(y) * size_t(s.width) + size_t(x)];
        }
    }
    for (auto& [h, c] : windows())
        if (c->parent == w.handle) blitWindow(dst, *c);
}

// The screen as Windows would show it: the desktop, the taskbar, then every visible
// top-level window bottom to top.
void composeScreen() {
    if (!screenBuffer || screenBuffer->width != deskWidth || screenBuffer->height != deskHeight)
        screenBuffer = std::make_shared<Surface>(deskWidth, deskHeight, 0);
    Surface& s = *screenBuffer;
    uint32_t desk = pixelFromColor(GetSysColor(COLOR_DESKTOP));
    uint32_t face = pixelFromColor(GetSysColor(COLOR_BTNFACE));
    uint32_t light = pixelFromColor(GetSysColor(COLOR_BTNHIGHLIGHT));
    int barTop = deskHeight - taskbar;
    for (int y = 0; y < s.height && s.width > 0; ++y)
        std::fill_n(s.at(0, y), s.width, y < barTop ? desk : (y == barTop + 1 ? light : face));
    for (HWND h : zOrder())
        if (Window* w = findWindow(h)) blitWindow(s, *w);
    screenDirty = false;
}

std::shared_ptr<Surface> screenSurface() {
    if (screenDirty || !screenBuffer) composeScreen();
    return screenBuffer;
}

// ---- cursor and capture ----

static HCURSOR currentCursor = nullptr;
static HWND captureWindow = nullptr;
static POINT cursorPos{0, 0};
static int cursorShowCount = 0;

void forgetCapture(HWND hwnd) {
    if (captureWindow == hwnd) captureWindow = nullptr;
}

// ---- scripted answers and events ----

static std::deque<UINT>& menuAnswers() {
    static std::deque<UINT> a;
    return a;
}
static std::deque<int>& boxAnswers() {
    static std::deque<int> a;
    return a;
}
static std::vector<WinapiDesktopEvent>& events() {
    static std::vector<WinapiDesktopEvent> e;
    return e;
}

void recordEvent(const char* kind, const std::string& text, const std::string& detail, long value) {
    std::vector<WinapiDesktopEvent>& kept = events();
    if (kept.size() >= WINAPI_RECORDS_KEPT) kept.erase(kept.begin(), kept.begin() + WINAPI_RECORDS_KEPT / 2);
    kept.push_back(WinapiDesktopEvent{kind, text, detail, value});
}

bool takeMenuAnswer(UINT& id) {
    if (menuAnswers().empty()) return false;
    id = menuAnswers().front();
    menuAnswers().pop_front();
    return true;
}

bool takeBoxAnswer(int& answer) {
    if (boxAnswers().empty()) return false;
    answer = boxAnswers().front();
    boxAnswers().pop_front();
    return true;
}

void resetTimers();
void resetTooltips();
void resetDialogAnswers();

}  // namespace screen

using namespace screen;

// ---- system parameters, metrics and colours ----

BOOL WINAPI SystemParametersInfoA(UINT action, UINT, PVOID value, UINT) {
    if (action == SPI_GETWORKAREA && value) {
        *static_cast<RECT*>(value) = workArea();
        return TRUE;
    }
    if (action == SPI_SETWORKAREA && value) {
        const RECT* r = static_cast<const RECT*>(value);
        taskbar = std::clamp<int>(deskHeight - r->bottom, 0, deskHeight);
        markScreenDirty();
        return TRUE;
    }
    return FALSE;
}

int WINAPI GetSystemMetrics(int index) {
    RECT wa = workArea();
    switch (index) {
    case SM_CXSCREEN: return deskWidth;
    case SM_CYSCREEN: return deskHeight;
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CYMENU: return 19;
    case SM_CXFULLSCREEN: return wa.right - wa.left;
    case SM_CYFULLSCREEN: return wa.bottom - wa.top - 19;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    }
    return 0;
}

// The standard scheme of Windows 98: a 16-colour bitmap's light grey is the button face.
DWORD WINAPI GetSysColor(int index) {
    static const COLORREF colors[] = {
        RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128),
        RGB(192, 192, 192), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
        RGB(0, 0, 0),       RGB(255, 255, 255), RGB(192, 192, 192), RGB(192, 192, 192),
        RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255), RGB(192, 192, 192),
        RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
        RGB(255, 255, 255), RGB(0, 0, 0),       RGB(223, 223, 223), RGB(0, 0, 0),
        RGB(255, 255, 225), RGB(180, 180, 180), RGB(0, 0, 255),     RGB(16, 132, 208),
        RGB(181, 181, 181)};
    if (index < 0 || index >= int(sizeof colors / sizeof colors[0])) return 0;
    return colors[index];
}

BOOL WINAPI SetRect(LPRECT r, int left, int top, int right, int bottom) {
    if (!r) return FALSE;
    *r = RECT{left, top, right, bottom};
    return TRUE;
}
BOOL WINAPI SetRectEmpty(LPRECT r) { return SetRect(r, 0, 0, 0, 0); }
BOOL WINAPI CopyRect(LPRECT dst, const RECT* src) {
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}
BOOL WINAPI InflateRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}
BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) { return r ? InflateRect(r, 0, 0), r->left += dx, r->right += dx, r->top += dy, r->bottom += dy, TRUE : FALSE; }
BOOL WINAPI IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }
BOOL WINAPI PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL WINAPI IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        SetRectEmpty(dst);
        return FALSE;
    }
    *dst = r;
    return TRUE;
}
BOOL WINAPI UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    if (IsRectEmpty(a)) return CopyRect(dst, b), !IsRectEmpty(b);
    if (IsRectEmpty(b)) return CopyRect(dst, a), TRUE;
    *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
    return TRUE;
}
BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}

// ---- cursor ----

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    // System cursors are stable handles derived from their ids; the module has no cursor
    // resources of its own.
    if (instance || reinterpret_cast<uintptr_t>(name) >= 0x10000) return nullptr;
    return reinterpret_cast<HCURSOR>(0x7000000 + reinterpret_cast<uintptr_t>(name));
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance || reinterpret_cast<uintptr_t>(name) >= 0x10000) return nullptr;
    return reinterpret_cast<HICON>(0x7100000 + reinterpret_cast<uintptr_t>(name));
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR old = currentCursor;
    currentCursor = cursor;
    return old;
}
HCURSOR WINAPI GetCursor(void) { return currentCursor; }

BOOL WINAPI GetCursorPos(LPPOINT pt) {
    if (!pt) return FALSE;
    *pt = cursorPos;
    return TRUE;
}
BOOL WINAPI SetCursorPos(int x, int y) {
    cursorPos = POINT{std::clamp(x, 0, deskWidth - 1), std::clamp(y, 0, deskHeight - 1)};
    return TRUE;
}
int WINAPI ShowCursor(BOOL show) { return show ? ++cursorShowCount : --cursorShowCount; }

HWND WINAPI SetCapture(HWND hwnd) {
    HWND old = captureWindow;
    if (hwnd && !findWindow(hwnd)) return old;
    if (old && old != hwnd) sendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    captureWindow = hwnd;
    return old;
}

BOOL WINAPI ReleaseCapture(void) {
    HWND old = captureWindow;
    captureWindow = nullptr;
    if (old) sendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture(void) { return captureWindow; }

// ---- host hooks ----

void winapiSetDesktopSize(int width, int height, int taskbarHeight) {
    deskWidth = std::max(width, 1);
    deskHeight = std::max(height, 1);
    taskbar = std::clamp(taskbarHeight, 0, deskHeight);
    markScreenDirty();
}

static WPARAM buttonsDown = 0;

// A mouse message for the window under the cursor (or the one holding the capture). On a
// window's frame, caption or scroll bar it becomes the non-client message with the part
// hit, as Windows sends it.
static void postMouse(UINT msg, int x, int y, WPARAM keys) {
    cursorPos = POINT{x, y};
    LRESULT hit = HTCLIENT;
    HWND target = captureWindow ? captureWindow : windowFromPoint(cursorPos, hit);
    if (!target) return;
    POINT c = cursorPos;
    ScreenToClient(target, &c);
    if (!captureWindow) {
        if (hit == HTNOWHERE || hit == HTTRANSPARENT || hit == HTERROR) hit = HTCLIENT;
        bool press = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_LBUTTONDBLCLK;
        HWND top = target;
        while (Window* w = findWindow(top)) {
            if (!w->parent) break;
            top = w->parent;
        }
        if (press) {
            LRESULT ma = sendMessage(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                                     MAKELPARAM(hit, msg));
            if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) SetActiveWindow(top);
            if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) return;
        }
        if (!findWindow(target)) return;
        sendMessage(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(hit, msg));
    }
    if (!findWindow(target)) return;
    if (hit != HTCLIENT)
        PostMessageA(target, msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE, WPARAM(hit), MAKELPARAM(WORD(x), WORD(y)));
    else
        PostMessageA(target, msg, keys, MAKELPARAM(WORD(c.x), WORD(c.y)));
    winapiPumpMessages();
}

void winapiMouseMove(int x, int y) { postMouse(WM_MOUSEMOVE, x, y, buttonsDown); }
void winapiMouseDown(int button, int x, int y) {
    buttonsDown |= button ? MK_RBUTTON : MK_LBUTTON;
    postMouse(button ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, x, y, buttonsDown);
}
void winapiMouseUp(int button, int x, int y) {
    buttonsDown &= ~WPARAM(button ? MK_RBUTTON : MK_LBUTTON);
    postMouse(button ? WM_RBUTTONUP : WM_LBUTTONUP, x, y, buttonsDown);
}
void winapiClick(int x, int y) {
    winapiMouseDown(0, x, y);
    winapiMouseUp(0, x, y);
}

// The second press of a double click is WM_LBUTTONDBLCLK only for windows whose class
// asks for it; others see a second plain press.
void winapiDoubleClick(int x, int y) {
    winapiClick(x, y);
    HWND target = captureWindow ? captureWindow : WindowFromPoint(POINT{x, y});
    Window* w = findWindow(target);
    bool wantsDouble = w && (w->cls->style & CS_DBLCLKS);
    buttonsDown |= MK_LBUTTON;
    postMouse(wantsDouble ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, x, y, buttonsDown);
    winapiMouseUp(0, x, y);
}

// ---- keys a person types ----

static HWND keyTarget() {
    HWND focus = GetFocus();
    return focus ? focus : GetActiveWindow();
}

static void postKey(UINT msg, UINT vk) {
    HWND target = keyTarget();
    bool down = msg == WM_KEYDOWN;
    winapiSetKeyState(int(vk), down ? 0x80 : 0x00);
    if (vk == VK_SHIFT) winapiSetKeyState(VK_LSHIFT, down ? 0x80 : 0x00);
    if (vk == VK_CONTROL) winapiSetKeyState(VK_LCONTROL, down ? 0x80 : 0x00);
    if (vk == VK_MENU) winapiSetKeyState(VK_LMENU, down ? 0x80 : 0x00);
    if (!target) return;
    LPARAM data = 1 | (down ? 0 : (LPARAM(3) << 30));
    PostMessageA(target, msg, vk, data);
}

void winapiKeyDown(UINT vk) { postKey(WM_KEYDOWN, vk); }
void winapiKeyUp(UINT vk) { postKey(WM_KEYUP, vk); }
void winapiPressKey(UINT vk) {
    winapiKeyDown(vk);
    winapiKeyUp(vk);
}

void winapiPushMenuAnswer(UINT commandId) { menuAnswers().push_back(commandId); }
void winapiPushMessageBoxAnswer(int answer) { boxAnswers().push_back(answer); }
void winapiClearAnswers() {
    menuAnswers().clear();
    boxAnswers().clear();
}
const std::vector<WinapiDesktopEvent>& winapiDesktopEvents() { return events(); }
void winapiClearDesktopEvents() { events().clear(); }

COLORREF winapiScreenPixel(int x, int y) {
    auto s = screenSurface();
    if (x < 0 || y < 0 || x >= s->width || y >= s->height) return CLR_INVALID;
    return colorFromPixel(*s->at(x, y));
}

COLORREF winapiWindowPixel(HWND hwnd, int x, int y) {
    Window* w = findWindow(hwnd);
    if (!w || !w->surface || x < 0 || y < 0 || x >= w->surface->width || y >= w->surface->height)
        return CLR_INVALID;
    return colorFromPixel(*w->surface->at(x, y));
}

std::vector<HWND> winapiVisibleWindows() {
    std::vector<HWND> out;
    for (HWND h : zOrder())
        if (IsWindowVisible(h)) out.push_back(h);
    return out;
}

void winapiResetDesktop() {
    while (!zOrder().empty()) {
        HWND h = zOrder().back();
        if (!DestroyWindow(h)) {
            zOrder().pop_back();  // a window already on its way out
        }
    }
    std::vector<HWND> rest;
    for (auto& [h, w] : windows()) rest.push_back(w->handle);
    for (HWND h : rest) DestroyWindow(h);
    queue().clear();
    resetTimers();
    captureWindow = nullptr;
    currentCursor = nullptr;
    cursorPos = POINT{0, 0};
    buttonsDown = 0;
    winapiClearAnswers();
    winapiClearDesktopEvents();
    resetTooltips();
    resetDialogAnswers();
    deskWidth = 1024;
    deskHeight = 768;
    taskbar = 28;
    markScreenDirty();
}

// ---- programs: recorded, never run ----

UINT WINAPI WinExec(LPCSTR commandLine, UINT show) {
    recordEvent("winexec", commandLine ? commandLine : "", "", long(show));
    winapiRecordEvent("winexec", commandLine ? commandLine : "");
    return 33;  // what Windows answers for a started program
}
