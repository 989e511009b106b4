// Window classes and windows: creation, destruction, words, positions, visibility.
#include "screen_state.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace screen {

std::map<uintptr_t, std::unique_ptr<Window>>& windows() {
    static std::map<uintptr_t, std::unique_ptr<Window>> all;
    return all;
}

std::vector<HWND>& zOrder() {
    static std::vector<HWND> order;
    return order;
}

uintptr_t newHandle() {
    // Handles are never reused, so a stale handle never reaches a newer object.
    static uintptr_t next = 0x10000;
    next += 4;
    return next;
}

Window* findWindow(HWND hwnd) {
    auto& all = windows();
    auto it = all.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == all.end() ? nullptr : it->second.get();
}

static std::vector<std::shared_ptr<WindowClass>>& classes() {
    static std::vector<std::shared_ptr<WindowClass>> all;
    return all;
}

static bool isAtom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

std::shared_ptr<WindowClass> findClass(LPCSTR name, HINSTANCE instance) {
    if (!name) return nullptr;
    registerBuiltinClasses();
    std::shared_ptr<WindowClass> global;
    for (auto& c : classes()) {
        bool match = isAtom(name) ? c->atom == ATOM(reinterpret_cast<uintptr_t>(name))
                                  : strcasecmp(c->name.c_str(), name) == 0;
        if (!match) continue;
        if (c->instance == instance) return c;
        // Classes of another module are found only when registered as global (ours).
        if ((c->style & CS_GLOBALCLASS) || !instance) global = c;
    }
    return global;
}

RECT screenRect(const Window& w) {
    RECT r = w.rect;
    if (w.parent) {
        if (Window* p = findWindow(w.parent)) {
            POINT o = clientOrigin(*p);
            OffsetRect(&r, o.x, o.y);
        }
    }
    return r;
}

POINT clientOrigin(const Window& w) {
    RECT r = screenRect(w);
    Insets in = nonClientInsets(w);
    return POINT{r.left + in.left, r.top + in.top};
}

RECT clientRectOf(const Window& w) {
    Insets in = nonClientInsets(w);
    int width = std::max<int>(0, w.rect.right - w.rect.left - in.left - in.right);
    int height = std::max<int>(0, w.rect.bottom - w.rect.top - in.top - in.bottom);
    return RECT{0, 0, width, height};
}

// No window's pixels are kept beyond this many in either direction: twice the widest
// screen, so that a window of absurd size (a damaged dialog template with a huge font)
// costs a bounded store. Drawing clips to the store, as it clips to the screen.
constexpr int MAX_SURFACE_SIDE = 2048;

static void remakeSurface(Window& w) {
    int width = std::min(w.rect.right - w.rect.left, MAX_SURFACE_SIDE);
    int height = std::min(w.rect.bottom - w.rect.top, MAX_SURFACE_SIDE);
    auto fresh = std::make_shared<Surface>(width, height,
                                           pixelFromColor(GetSysColor(COLOR_WINDOW)));
    if (w.surface) {
        int cw = std::min(width, w.surface->width), ch = std::min(height, w.surface->height);
        for (int y = 0; y < ch; ++y)
            std::memcpy(fresh->at(0, y), w.surface->at(0, y), size_t(cw) * 4);
    }
    w.surface = fresh;
    drawNonClient(w);
}

static void placeInZOrder(HWND hwnd, bool top) {
    auto& z = zOrder();
    z.erase(std::remove(z.begin(), z.end(), hwnd), z.end());
    Window* w = findWindow(hwnd);
    bool topmost = w && (w->exStyle & WS_EX_TOPMOST);
    auto firstTopmost = std::find_if(z.begin(), z.end(), [](HWND h) {
        Window* o = findWindow(h);
        return o && (o->exStyle & WS_EX_TOPMOST);
    });
    if (topmost) {
        z.insert(top ? z.end() : firstTopmost, hwnd);
    } else {
        z.insert(top ? firstTopmost : z.begin(), hwnd);
    }
}

}  // namespace screen

using namespace screen;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || isAtom(wc->lpszClassName)) return 0;
    registerBuiltinClasses();
    for (auto& c : classes())
        if (c->instance == wc->hInstance && strcasecmp(c->name.c_str(), wc->lpszClassName) == 0) {
            SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
            return 0;
        }
    static ATOM nextAtom = 0xC000;
    auto c = std::make_shared<WindowClass>();
    c->name = wc->lpszClassName;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->clsExtra = std::max(0, wc->cbClsExtra);
    c->wndExtra = std::max(0, wc->cbWndExtra);
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    if (wc->lpszMenuName && !isAtom(wc->lpszMenuName)) c->menuName = wc->lpszMenuName;
    c->atom = nextAtom++;
    classes().push_back(c);
    return c->atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    auto& all = classes();
    for (auto it = all.begin(); it != all.end(); ++it) {
        bool match = isAtom(className)
                         ? (*it)->atom == ATOM(reinterpret_cast<uintptr_t>(className))
                         : strcasecmp((*it)->name.c_str(), className) == 0;
        if (match && (*it)->instance == instance) {
            for (auto& [h, w] : windows())
                if (w->cls == *it) return FALSE;  // still in use
            all.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE instance, LPCSTR className, LPWNDCLASSA wc) {
    auto c = findClass(className, instance);
    if (!c || !wc) return FALSE;
    wc->style = c->style;
    wc->lpfnWndProc = c->proc;
    wc->cbClsExtra = c->clsExtra;
    wc->cbWndExtra = c->wndExtra;
    wc->hInstance = c->instance;
    wc->hIcon = c->icon;
    wc->hCursor = c->cursor;
    wc->hbrBackground = c->background;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = className;
    return TRUE;
}

int WINAPI GetClassNameA(HWND hwnd, LPSTR name, int size) {
    Window* w = findWindow(hwnd);
    if (!w || !name || size <= 0) return 0;
    int n = std::min<int>(size - 1, int(w->cls->name.size()));
    std::memcpy(name, w->cls->name.data(), size_t(n));
    name[n] = 0;
    return n;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    auto cls = findClass(className, instance);
    if (!cls) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    if (child && !findWindow(parent)) return nullptr;
    if (parent && !child && !findWindow(parent)) return nullptr;
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        // As Windows does: a default size for an overlapped window only; a pop-up or child
        // window (a tooltip, sized when it shows) starts empty.
        const bool overlapped = (style & (WS_POPUP | WS_CHILD)) == 0;
        width = overlapped ? desktopWidth() / 2 : 0;
        height = overlapped ? desktopHeight() / 2 : 0;
    }
    auto owned = std::make_unique<Window>();
    Window* w = owned.get();
    HWND hwnd = reinterpret_cast<HWND>(newHandle());
    w->handle = hwnd;
    w->cls = cls;
    w->proc = cls->proc;
    w->instance = instance;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->vscroll.shown = (style & WS_VSCROLL) != 0;
    if (windowName) w->title = windowName;
    if (child) {
        w->parent = parent;
        w->id = reinterpret_cast<LONG_PTR>(menu);
    } else if (parent) {
        // A top-level window's owner is the top-level window of the one given.
        HWND o = parent;
        while (Window* ow = findWindow(o)) {
            if (!ow->parent) break;
            o = ow->parent;
        }
        w->owner = o;
    }
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->extra.assign(size_t(cls->wndExtra), 0);
    remakeSurface(*w);
    windows()[reinterpret_cast<uintptr_t>(hwnd)] = std::move(owned);
    if (!child) placeInZOrder(hwnd, true);

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = LONG(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!sendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    // A class may change its own styles while being created (a static's sunken edge):
    // the frame follows.
    if (Window* now = findWindow(hwnd)) drawNonClient(*now);
    if (sendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    // As USER does for a window that did not size itself while being created.
    if (Window* now = findWindow(hwnd)) {
        RECT c = clientRectOf(*now);
        sendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
    }
    if (Window* now = findWindow(hwnd)) {
        POINT o = now->parent ? POINT{now->rect.left, now->rect.top} : clientOrigin(*now);
        sendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
    }
    if (!findWindow(hwnd)) return nullptr;
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Window* w = findWindow(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    if (w->style & WS_VISIBLE)
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Owned windows go first, as on Windows.
    std::vector<HWND> owned;
    for (auto& [h, o] : windows())
        if (o->owner == hwnd && !o->destroying) owned.push_back(o->handle);
    for (HWND o : owned) DestroyWindow(o);
    sendMessage(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    for (auto& [h, c] : windows())
        if (c->parent == hwnd && !c->destroying) children.push_back(c->handle);
    for (HWND c : children) DestroyWindow(c);
    sendMessage(hwnd, WM_NCDESTROY, 0, 0);
    killTimersOf(hwnd);
    removeQueuedFor(hwnd);
    forgetWindow(hwnd);
    dropDcsOf(hwnd);
    auto& z = zOrder();
    z.erase(std::remove(z.begin(), z.end(), hwnd), z.end());
    windows().erase(reinterpret_cast<uintptr_t>(hwnd));
    markScreenDirty();
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return findWindow(hwnd) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    for (Window* w = findWindow(hwnd); w; w = findWindow(w->parent)) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!w->parent) return TRUE;
    }
    return FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    Window* w = findWindow(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable)
        w->style &= ~DWORD(WS_DISABLED);
    else
        w->style |= WS_DISABLED;
    if (bool(wasDisabled) == bool(!enable)) return wasDisabled;
    sendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
    return wasDisabled;
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    for (Window* w = findWindow(hwnd); w && w->parent; w = findWindow(w->parent))
        if (w->parent == parent) return TRUE;
    return FALSE;
}

HWND WINAPI GetParent(HWND hwnd) {
    Window* w = findWindow(hwnd);
    if (!w) return nullptr;
    return w->parent ? w->parent : w->owner;
}

HWND WINAPI GetWindow(HWND hwnd, UINT relation) {
    Window* w = findWindow(hwnd);
    if (!w) return nullptr;
    if (relation == GW_OWNER) return w->owner;
    if (relation == GW_CHILD) {
        for (auto& [h, c] : windows())
            if (c->parent == hwnd) return c->handle;
        return nullptr;
    }
    std::vector<HWND> siblings;
    if (w->parent) {
        for (auto& [h, c] : windows())
            if (c->parent == w->parent) siblings.push_back(c->handle);
    } else {
        siblings.assign(zOrder().rbegin(), zOrder().rend());  // top first
    }
    auto it = std::find(siblings.begin(), siblings.end(), hwnd);
    switch (relation) {
    case GW_HWNDFIRST: return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST: return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT: return (it == siblings.end() || it + 1 == siblings.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == siblings.end() || it == siblings.begin()) ? nullptr : *(it - 1);
    }
    return nullptr;
}

HWND WINAPI GetDesktopWindow(void) { return nullptr; }

// Windows compares class names and titles without regard to case; GBK trail bytes are
// skipped so that a double-byte character never folds.
static bool sameTextNoCase(const char* a, const char* b) {
    while (*a && *b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 0x81 && ca != 0xFF && a[1]) {
            if (ca != cb || a[1] != b[1]) return false;
            a += 2;
            b += 2;
            continue;
        }
        if (tolower(ca) != tolower(cb)) return false;
        ++a;
        ++b;
    }
    return *a == *b;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    auto& z = zOrder();
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
        Window* w = findWindow(*it);
        if (!w || w->destroying) continue;
        if (className) {
            if (isAtom(className)) {
                if (w->cls->atom != ATOM(reinterpret_cast<uintptr_t>(className))) continue;
            } else if (!sameTextNoCase(w->cls->name.c_str(), className)) {
                continue;
            }
        }
        if (windowName && !sameTextNoCase(w->title.c_str(), windowName)) continue;
        return w->handle;
    }
    return nullptr;
}

namespace screen {

// Children are searched from the top of their z-order (the first created), skipping
// hidden and disabled ones and those that let the point through (group boxes). The
// window found has answered WM_NCHITTEST once; its answer comes back in `hit`.
static HWND childFromPoint(HWND parent, POINT pt, LRESULT& hit) {
    std::vector<HWND> children;
    for (auto& [h, c] : windows())
        if (c->parent == parent && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED)) children.push_back(c->handle);
    for (HWND child : children) {
        Window* c = findWindow(child);
        if (!c) continue;
        RECT r = screenRect(*c);
        if (!PtInRect(&r, pt)) continue;
        LRESULT childHit = sendMessage(child, WM_NCHITTEST, 0, MAKELPARAM(WORD(pt.x), WORD(pt.y)));
        if (childHit == HTTRANSPARENT) continue;
        if (findWindow(child)) {
            hit = childHit;
            return childFromPoint(child, pt, hit);
        }
    }
    return parent;
}

// Windows that answer HTTRANSPARENT (tooltips) let the point through to those below.
HWND windowFromPoint(POINT pt, LRESULT& hit) {
    std::vector<HWND> order(zOrder().rbegin(), zOrder().rend());
    for (HWND h : order) {
        Window* w = findWindow(h);
        if (!w || !(w->style & WS_VISIBLE)) continue;
        RECT r = screenRect(*w);
        if (!PtInRect(&r, pt)) continue;
        hit = sendMessage(h, WM_NCHITTEST, 0, MAKELPARAM(WORD(pt.x), WORD(pt.y)));
        if (hit == HTTRANSPARENT) continue;
        if (findWindow(h)) return childFromPoint(h, pt, hit);
    }
    hit = HTNOWHERE;
    return nullptr;
}

}  // namespace screen

HWND WINAPI WindowFromPoint(POINT pt) {
    LRESULT hit;
    return windowFromPoint(pt, hit);
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

// ---- window words ----

static bool extraRange(Window* w, int index, size_t size) {
    return w && index >= 0 && size_t(index) + size <= w->extra.size();
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index) {
    Window* w = findWindow(hwnd);
    if (!w) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWL_STYLE: return LONG_PTR(LONG(w->style));
    case GWL_EXSTYLE: return LONG_PTR(LONG(w->exStyle));
    case GWLP_USERDATA: return w->userData;
    case GWLP_ID: return w->id;
    }
    if (!extraRange(w, index, sizeof(LONG_PTR))) {
        SetLastError(1413);  // ERROR_INVALID_INDEX
        return 0;
    }
    LONG_PTR v;
    std::memcpy(&v, &w->extra[size_t(index)], sizeof v);
    return v;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* w = findWindow(hwnd);
    if (!w) {
        SetLastError(1400);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
    case GWLP_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); return old;
    case GWLP_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); return old;
    case GWLP_HWNDPARENT: w->owner = reinterpret_cast<HWND>(value); return old;
    case GWL_STYLE: w->style = (DWORD(value) & ~DWORD(WS_VISIBLE)) | (w->style & WS_VISIBLE); return old;
    case GWL_EXSTYLE: w->exStyle = DWORD(value); return old;
    case GWLP_USERDATA: w->userData = value; return old;
    case GWLP_ID: w->id = value; return old;
    }
    if (!extraRange(w, index, sizeof(LONG_PTR))) {
        SetLastError(1413);
        return 0;
    }
    std::memcpy(&w->extra[size_t(index)], &value, sizeof value);
    return old;
}

LONG WINAPI GetWindowLongA(HWND hwnd, int index) {
    Window* w = findWindow(hwnd);
    if (index < 0) return LONG(GetWindowLongPtrA(hwnd, index));
    if (!extraRange(w, index, sizeof(LONG))) {
        SetLastError(1413);
        return 0;
    }
    LONG v;
    std::memcpy(&v, &w->extra[size_t(index)], sizeof v);
    return v;
}

LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
    Window* w = findWindow(hwnd);
    if (index < 0) return LONG(SetWindowLongPtrA(hwnd, index, value));
    if (!extraRange(w, index, sizeof(LONG))) {
        SetLastError(1413);
        return 0;
    }
    LONG old;
    std::memcpy(&old, &w->extra[size_t(index)], sizeof old);
    std::memcpy(&w->extra[size_t(index)], &value, sizeof value);
    return old;
}

WORD WINAPI GetWindowWord(HWND hwnd, int index) {
    Window* w = findWindow(hwnd);
    if (!extraRange(w, index, sizeof(WORD))) return 0;
    WORD v;
    std::memcpy(&v, &w->extra[size_t(index)], sizeof v);
    return v;
}

// ---- position and visibility ----

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    WINDOWPOS wp{hwnd, insertAfter, x, y, cx, cy, flags};
    if (flags & SWP_NOMOVE) {
        wp.x = w->rect.left;
        wp.y = w->rect.top;
    }
    if (flags & SWP_NOSIZE) {
        wp.cx = w->rect.right - w->rect.left;
        wp.cy = w->rect.bottom - w->rect.top;
    }
    if (!(flags & SWP_NOSENDCHANGING))
        sendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (!(w = findWindow(hwnd))) return FALSE;
    wp.cx = std::max(wp.cx, 0);
    wp.cy = std::max(wp.cy, 0);
    RECT old = w->rect;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    w->rect = RECT{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    bool resized = (old.right - old.left) != wp.cx || (old.bottom - old.top) != wp.cy;
    bool moved = old.left != wp.x || old.top != wp.y;
    if (!moved) wp.flags |= SWP_NOMOVE;
    if (!resized) wp.flags |= SWP_NOSIZE;
    if (resized) {
        remakeSurface(*w);
        if (w->cls->style & (CS_HREDRAW | CS_VREDRAW))
            invalidateAll(*w, true);
        else if (!(flags & SWP_NOREDRAW))
            invalidateAll(*w, true);  // the new part needs painting; simplest is all of it
    }
    if ((flags & SWP_FRAMECHANGED) && !resized) {
        drawNonClient(*w);
        invalidateAll(*w, true);
    }
    if (!(flags & SWP_NOZORDER) && !w->parent) {
        if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
        if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~DWORD(WS_EX_TOPMOST);
        placeInZOrder(hwnd, insertAfter != HWND_BOTTOM);
    }
    if (flags & SWP_SHOWWINDOW) {
        w->style |= WS_VISIBLE;
        if (!wasVisible) invalidateAll(*w, true);
    }
    if (flags & SWP_HIDEWINDOW) {
        w->style &= ~DWORD(WS_VISIBLE);
        if (GetCapture() == hwnd) ReleaseCapture();
    }
    markScreenDirty();
    sendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE && command != SW_MINIMIZE;
    if (bool(wasVisible) == show) return wasVisible;
    sendMessage(hwnd, WM_SHOWWINDOW, show ? 1 : 0, 0);
    UINT flags = SWP_NOSIZE | SWP_NOMOVE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    bool activate = show && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE &&
                    command != SW_SHOWMINNOACTIVE;
    if (!activate) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, flags);
    if (activate && findWindow(hwnd) && !(findWindow(hwnd)->style & WS_CHILD))
        SetActiveWindow(hwnd);
    return wasVisible;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* w = findWindow(hwnd);
    if (!w || !rect) return FALSE;
    *rect = screenRect(*w);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = findWindow(hwnd);
    if (!w || !rect) return FALSE;
    *rect = clientRectOf(*w);
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT pt) {
    Window* w = findWindow(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = clientOrigin(*w);
    pt->x += o.x;
    pt->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT pt) {
    Window* w = findWindow(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = clientOrigin(*w);
    pt->x -= o.x;
    pt->y -= o.y;
    return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (!findWindow(hwnd)) return FALSE;
    return sendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) != 0;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int size) {
    if (!findWindow(hwnd) || !text || size <= 0) return 0;
    return int(sendMessage(hwnd, WM_GETTEXT, WPARAM(size), reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextLengthA(HWND hwnd) {
    if (!findWindow(hwnd)) return 0;
    return int(sendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// ---- focus and activation: recorded, so tests can see that clicks never take it ----

static HWND focusWindow = nullptr;
static HWND activeWindow = nullptr;

HWND WINAPI SetFocus(HWND hwnd) {
    HWND old = focusWindow;
    if (hwnd && !findWindow(hwnd)) return nullptr;
    focusWindow = hwnd;
    if (old && old != hwnd) sendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && old != hwnd) sendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND WINAPI GetFocus(void) { return focusWindow; }
HWND WINAPI GetActiveWindow(void) { return activeWindow; }

HWND WINAPI SetActiveWindow(HWND hwnd) {
    HWND old = activeWindow;
    if (hwnd && !findWindow(hwnd)) return nullptr;
    if (old == hwnd) return old;
    activeWindow = hwnd;
    if (old) sendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    if (hwnd) sendMessage(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    return old;
}

HWND WINAPI GetForegroundWindow(void) { return activeWindow; }
BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    SetActiveWindow(hwnd);
    return hwnd != nullptr;
}

namespace screen {
void forgetWindowFocus(HWND hwnd) {
    if (focusWindow == hwnd) focusWindow = nullptr;
    if (activeWindow == hwnd) activeWindow = nullptr;
}
}  // namespace screen
