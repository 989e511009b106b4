// The non-client area of a window as Windows 98 draws it: dialog frames and borders,
// 3D client and static edges, the caption with its title and close box, and the
// vertical scroll bar; where a point falls on it, and what a press there does.
#include "screen_state.h"

#include <algorithm>
#include <cstring>

namespace screen {

namespace {

constexpr int CAPTION_BAR = 18;     // the coloured bar; a line of button face follows it
constexpr int SCROLL_WIDTH = 16;    // SM_CXVSCROLL
constexpr int CLOSE_WIDTH = 16, CLOSE_HEIGHT = 14;

uint32_t sys(int index) { return pixelFromColor(GetSysColor(index)); }

int outerBorder(const Window& w) {
    if (w.style & WS_THICKFRAME) return 4;
    if ((w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME)) return 3;
    if (w.style & WS_BORDER) return 1;
    if (w.exStyle & WS_EX_STATICEDGE) return 1;
    return 0;
}

int captionHeight(const Window& w) {
    return (w.style & WS_CAPTION) == WS_CAPTION ? CAPTION_BAR + 1 : 0;
}

int clientEdge(const Window& w) { return (w.exStyle & WS_EX_CLIENTEDGE) ? 2 : 0; }

void fill(Surface& s, RECT r, uint32_t color) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, s.width);
    r.bottom = std::min<LONG>(r.bottom, s.height);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) *s.at(x, y) = color;
}

// The scroll bar's rectangle in window coordinates.
RECT scrollBarRect(const Window& w) {
    int b = outerBorder(w), e = clientEdge(w);
    int width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
    return RECT{width - b - e - SCROLL_WIDTH, b + captionHeight(w) + e, width - b - e, height - b - e};
}

RECT closeBoxRect(const Window& w) {
    int b = outerBorder(w);
    int width = w.rect.right - w.rect.left;
    return RECT{width - b - 2 - CLOSE_WIDTH, b + 2, width - b - 2, b + 2 + CLOSE_HEIGHT};
}

bool hasCloseBox(const Window& w) { return captionHeight(w) && (w.style & WS_SYSMENU); }

// Track and thumb of the scroll bar between its two arrow buttons, in window coordinates.
struct ScrollGeometry {
    RECT up, down, track, thumb;
    bool enabled;
};

ScrollGeometry scrollGeometry(const Window& w) {
    ScrollGeometry g{};
    RECT r = scrollBarRect(w);
    int length = r.bottom - r.top;
    int arrow = std::min(SCROLL_WIDTH, length / 2);
    g.up = RECT{r.left, r.top, r.right, r.top + arrow};
    g.down = RECT{r.left, r.bottom - arrow, r.right, r.bottom};
    g.track = RECT{r.left, r.top + arrow, r.right, r.bottom - arrow};
    const ScrollBarState& sb = w.vscroll;
    int range = sb.max - sb.min + 1;
    g.enabled = range > 0 && (sb.page == 0 ? sb.max > sb.min : int(sb.page) < range);
    g.thumb = RECT{0, 0, 0, 0};
    int trackLength = g.track.bottom - g.track.top;
    if (!g.enabled || trackLength <= 0) return g;
    int thumbLength = sb.page ? std::max(8, int(int64_t(trackLength) * sb.page / range)) : SCROLL_WIDTH;
    thumbLength = std::min(thumbLength, trackLength);
    int span = range - std::max(int(sb.page), 1);
    int offset = span > 0 ? int(int64_t(trackLength - thumbLength) * (sb.pos - sb.min) / span) : 0;
    g.thumb = RECT{r.left, g.track.top + offset, r.right, g.track.top + offset + thumbLength};
    return g;
}

void drawArrowButton(Surface& s, RECT r, bool up, bool enabled) {
    fill(s, r, sys(COLOR_BTNFACE));
    edgeOnSurface(s, r, EDGE_RAISED, BF_RECT | BF_SOFT);
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    uint32_t ink = enabled ? sys(COLOR_BTNTEXT) : sys(COLOR_GRAYTEXT);
    // A triangle four rows high, seven pixels at its base.
    for (int row = 0; row < 4; ++row) {
        int y = up ? cy - 2 + row : cy + 1 - row;
        fill(s, RECT{cx - row, y, cx + row + 1, y + 1}, ink);
        if (!enabled) fill(s, RECT{cx - row + 1, y + 1, cx + row + 2, y + 2}, sys(COLOR_BTNHIGHLIGHT));
    }
}

void drawScrollBar(Window& w) {
    Surface& s = *w.surface;
    ScrollGeometry g = scrollGeometry(w);
    drawArrowButton(s, g.up, true, g.enabled);
    drawArrowButton(s, g.down, false, g.enabled);
    // The track is the checkered mix of highlight and face that Windows 98 shows.
    for (int y = g.track.top; y < g.track.bottom; ++y)
        for (int x = g.track.left; x < g.track.right; ++x)
            if (x >= 0 && y >= 0 && x < s.width && y < s.height)
                *s.at(x, y) = ((x + y) & 1) ? sys(COLOR_BTNFACE) : sys(COLOR_BTNHIGHLIGHT);
    if (g.enabled && !IsRectEmpty(&g.thumb)) {
        fill(s, g.thumb, sys(COLOR_BTNFACE));
        edgeOnSurface(s, g.thumb, EDGE_RAISED, BF_RECT | BF_SOFT);
    }
}

void drawCaption(Window& w) {
    Surface& s = *w.surface;
    int b = outerBorder(w);
    int width = s.width;
    RECT bar{b, b, width - b, b + CAPTION_BAR};
    // Windows 98 shades the active caption from its colour to the gradient colour.
    COLORREF from = GetSysColor(COLOR_ACTIVECAPTION), to = GetSysColor(COLOR_GRADIENTACTIVECAPTION);
    int span = std::max<int>(1, bar.right - bar.left - 1);
    for (int x = bar.left; x < bar.right; ++x) {
        int t = x - bar.left;
        auto mix = [&](int a, int c) { return a + (c - a) * t / span; };
        COLORREF c = RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
                         mix(GetBValue(from), GetBValue(to)));
        fill(s, RECT{x, bar.top, x + 1, bar.bottom}, pixelFromColor(c));
    }
    fill(s, RECT{b, bar.bottom, width - b, bar.bottom + 1}, sys(COLOR_BTNFACE));
    if (!w.title.empty()) {
        HDC dc = newWindowDc(w.handle, true);
        HFONT font = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, FIXED_PITCH,
                                 "\xCB\xCE\xCC\xE5");  // 宋体
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
        RECT clip{bar.left + 2, bar.top, hasCloseBox(w) ? closeBoxRect(w).left - 2 : bar.right, bar.bottom};
        ExtTextOutA(dc, bar.left + 3, bar.top + 3, ETO_CLIPPED, &clip, w.title.data(), UINT(w.title.size()),
                    nullptr);
        SelectObject(dc, old);
        DeleteObject(font);
        ReleaseDC(w.handle, dc);
    }
    if (hasCloseBox(w)) {
        RECT r = closeBoxRect(w);
        fill(s, r, sys(COLOR_BTNFACE));
        edgeOnSurface(s, r, EDGE_RAISED, BF_RECT | BF_SOFT);
        // The cross: two diagonals two pixels thick, eight by seven.
        int x0 = r.left + 4, y0 = r.top + 3;
        for (int i = 0; i < 7; ++i) {
            fill(s, RECT{x0 + i, y0 + i, x0 + i + 2, y0 + i + 1}, sys(COLOR_BTNTEXT));
            fill(s, RECT{x0 + 6 - i, y0 + i, x0 + 8 - i, y0 + i + 1}, sys(COLOR_BTNTEXT));
        }
    }
}

}  // namespace

// The four sides of DrawEdge, outer then inner; top and left first, then bottom and right,
// which own the far corners.
template <typename Fill>
static void edgeLines(RECT r, UINT edge, UINT flags, Fill fillRect) {
    struct Ring {
        UINT raised, sunken;
        int lightRaised, darkRaised, lightSunken, darkSunken;
    };
    bool soft = (flags & BF_SOFT) != 0;
    const Ring rings[2] = {
        {BDR_RAISEDOUTER, BDR_SUNKENOUTER, soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW,
         soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
        {BDR_RAISEDINNER, BDR_SUNKENINNER, soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW,
         soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT},
    };
    for (const Ring& ring : rings) {
        int light, dark;
        if (edge & ring.raised) {
            light = ring.lightRaised;
            dark = ring.darkRaised;
        } else if (edge & ring.sunken) {
            light = ring.lightSunken;
            dark = ring.darkSunken;
        } else {
            continue;
        }
        if (r.right - r.left <= 0 || r.bottom - r.top <= 0) return;
        uint32_t lc = sys(light), dc = sys(dark);
        if (flags & BF_TOP) fillRect(RECT{r.left, r.top, r.right - 1, r.top + 1}, lc);
        if (flags & BF_LEFT) fillRect(RECT{r.left, r.top, r.left + 1, r.bottom - 1}, lc);
        if (flags & BF_BOTTOM) fillRect(RECT{r.left, r.bottom - 1, r.right, r.bottom}, dc);
        if (flags & BF_RIGHT) fillRect(RECT{r.right - 1, r.top, r.right, r.bottom}, dc);
        InflateRect(&r, -1, -1);
    }
}

void edgeOnSurface(Surface& s, RECT r, UINT edge, UINT flags) {
    edgeLines(r, edge, flags, [&](RECT x, uint32_t c) { fill(s, x, c); });
}

Insets nonClientInsets(const Window& w) {
    int b = outerBorder(w), e = clientEdge(w);
    int scroll = w.vscroll.shown ? SCROLL_WIDTH : 0;
    return Insets{b + e, b + captionHeight(w) + e, b + e + scroll, b + e};
}

void drawNonClient(Window& w) {
    if (!w.surface) return;
    Surface& s = *w.surface;
    int b = outerBorder(w);
    RECT all{0, 0, s.width, s.height};
    if ((w.style & WS_THICKFRAME) || (w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME)) {
        edgeOnSurface(s, all, EDGE_RAISED, BF_RECT);
        RECT inner = all;
        InflateRect(&inner, -2, -2);
        for (int i = 2; i < b; ++i) {
            edgeLines(inner, BDR_RAISEDOUTER, BF_RECT, [&](RECT x, uint32_t) { fill(s, x, sys(COLOR_BTNFACE)); });
            InflateRect(&inner, -1, -1);
        }
    } else if (w.style & WS_BORDER) {
        uint32_t frame = sys(COLOR_WINDOWFRAME);
        fill(s, RECT{0, 0, s.width, 1}, frame);
        fill(s, RECT{0, s.height - 1, s.width, s.height}, frame);
        fill(s, RECT{0, 0, 1, s.height}, frame);
        fill(s, RECT{s.width - 1, 0, s.width, s.height}, frame);
    } else if (w.exStyle & WS_EX_STATICEDGE) {
        edgeOnSurface(s, all, BDR_SUNKENOUTER, BF_RECT);
    }
    if (captionHeight(w)) drawCaption(w);
    if (clientEdge(w)) {
        RECT edge{b, b + captionHeight(w), s.width - b, s.height - b};
        edgeOnSurface(s, edge, EDGE_SUNKEN, BF_RECT);
    }
    if (w.vscroll.shown) drawScrollBar(w);
}

LRESULT nonClientHitTest(const Window& w, POINT screen) {
    RECT r = screenRect(w);
    if (!PtInRect(&r, screen)) return HTNOWHERE;
    POINT p{screen.x - r.left, screen.y - r.top};
    Insets in = nonClientInsets(w);
    int width = r.right - r.left, height = r.bottom - r.top;
    RECT client{in.left, in.top, width - in.right, height - in.bottom};
    if (PtInRect(&client, p)) return HTCLIENT;
    if (w.vscroll.shown) {
        RECT bar = scrollBarRect(w);
        if (PtInRect(&bar, p)) return HTVSCROLL;
    }
    if (int cap = captionHeight(w)) {
        int b = outerBorder(w);
        RECT bar{b, b, width - b, b + cap};
        if (PtInRect(&bar, p)) {
            RECT close = closeBoxRect(w);
            if (hasCloseBox(w) && PtInRect(&close, p)) return HTCLOSE;
            return HTCAPTION;
        }
    }
    return HTBORDER;
}

void nonClientPress(HWND hwnd, LRESULT hit, POINT screen) {
    Window* w = findWindow(hwnd);
    if (!w) return;
    if (hit == HTCLOSE) {
        sendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(screen.x, screen.y));
        return;
    }
    if (hit == HTCAPTION) {
        if (!(w->style & WS_CHILD)) SetActiveWindow(hwnd);
        return;
    }
    if (hit != HTVSCROLL) return;
    ScrollGeometry g = scrollGeometry(*w);
    if (!g.enabled) return;
    RECT r = screenRect(*w);
    POINT p{screen.x - r.left, screen.y - r.top};
    int code = -1;
    if (PtInRect(&g.up, p)) code = SB_LINEUP;
    else if (PtInRect(&g.down, p)) code = SB_LINEDOWN;
    else if (p.y < g.thumb.top) code = SB_PAGEUP;
    else if (p.y >= g.thumb.bottom) code = SB_PAGEDOWN;
    if (code < 0) return;
    sendMessage(hwnd, WM_VSCROLL, MAKEWPARAM(code, 0), 0);
    if (findWindow(hwnd)) sendMessage(hwnd, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

void refreshNonClient(HWND hwnd) {
    Window* w = findWindow(hwnd);
    if (!w || !w->surface) return;
    drawNonClient(*w);
    markScreenDirty();
}

}  // namespace screen

using namespace screen;

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL, DWORD exStyle) {
    if (!rect) return FALSE;
    Window probe;
    probe.style = style;
    probe.exStyle = exStyle;
    Insets in = nonClientInsets(probe);
    rect->left -= in.left;
    rect->top -= in.top;
    rect->right += in.right;
    rect->bottom += in.bottom;
    return TRUE;
}

BOOL WINAPI DrawEdge(HDC hdc, LPRECT rect, UINT edge, UINT flags) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || !rect) return FALSE;
    edgeLines(*rect, edge, flags, [&](RECT x, uint32_t c) { fillSolid(*dc, x, c); });
    int rings = ((edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER)) ? 1 : 0) +
                ((edge & (BDR_RAISEDINNER | BDR_SUNKENINNER)) ? 1 : 0);
    RECT inner = *rect;
    if (flags & BF_LEFT) inner.left += rings;
    if (flags & BF_TOP) inner.top += rings;
    if (flags & BF_RIGHT) inner.right -= rings;
    if (flags & BF_BOTTOM) inner.bottom -= rings;
    if (flags & BF_MIDDLE) fillSolid(*dc, inner, sys(COLOR_BTNFACE));
    if (flags & BF_ADJUST) *rect = inner;
    return TRUE;
}

// ---- scroll bars: only the vertical bar of a window (SB_VERT) ----

static Window* verticalBarOwner(HWND hwnd, int bar) {
    if (bar != SB_VERT) return nullptr;
    return findWindow(hwnd);
}

// Shows or hides the bar; the client area shrinks or grows by its width, so the window
// hears of its new client size.
// WS_VSCROLL in the style says whether the bar shows, as on Windows.
static void showBar(Window& w, bool show) {
    if (w.vscroll.shown == show) return;
    w.vscroll.shown = show;
    if (show)
        w.style |= WS_VSCROLL;
    else
        w.style &= ~DWORD(WS_VSCROLL);
    HWND hwnd = w.handle;
    drawNonClient(w);
    invalidateAll(w, true);
    markScreenDirty();
    RECT c = clientRectOf(w);
    sendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
}

int WINAPI SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw) {
    Window* w = verticalBarOwner(hwnd, bar);
    if (!w || !info) return 0;
    ScrollBarState& sb = w->vscroll;
    if (info->fMask & SIF_RANGE) {
        sb.min = info->nMin;
        sb.max = std::max(info->nMin, info->nMax);
    }
    if (info->fMask & SIF_PAGE) sb.page = std::min<UINT>(info->nPage, UINT(sb.max - sb.min + 1));
    if (info->fMask & SIF_POS) sb.pos = info->nPos;
    int top = sb.max - std::max(int(sb.page) - 1, 0);
    sb.pos = std::clamp(sb.pos, sb.min, std::max(sb.min, top));
    if (info->fMask & (SIF_RANGE | SIF_PAGE)) {
        // A bar with nothing to scroll goes away unless the caller asks to keep it.
        bool needed = sb.page ? int(sb.page) < sb.max - sb.min + 1 : sb.max > sb.min;
        showBar(*w, needed || (info->fMask & SIF_DISABLENOSCROLL));
    }
    if (redraw) refreshNonClient(hwnd);
    return sb.pos;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info) {
    Window* w = verticalBarOwner(hwnd, bar);
    if (!w || !info) return FALSE;
    const ScrollBarState& sb = w->vscroll;
    if (info->fMask & SIF_RANGE) {
        info->nMin = sb.min;
        info->nMax = sb.max;
    }
    if (info->fMask & SIF_PAGE) info->nPage = sb.page;
    if (info->fMask & SIF_POS) info->nPos = sb.pos;
    if (info->fMask & SIF_TRACKPOS) info->nTrackPos = sb.pos;
    return TRUE;
}

int WINAPI SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    Window* w = verticalBarOwner(hwnd, bar);
    if (!w) return 0;
    int old = w->vscroll.pos;
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(hwnd, bar, &si, redraw);
    return old;
}

int WINAPI GetScrollPos(HWND hwnd, int bar) {
    Window* w = verticalBarOwner(hwnd, bar);
    return w ? w->vscroll.pos : 0;
}

BOOL WINAPI SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    SCROLLINFO si{sizeof si, SIF_RANGE, minPos, maxPos, 0, 0, 0};
    return verticalBarOwner(hwnd, bar) && (SetScrollInfo(hwnd, bar, &si, redraw), TRUE);
}

BOOL WINAPI ShowScrollBar(HWND hwnd, int bar, BOOL show) {
    Window* w = findWindow(hwnd);
    if (!w || (bar != SB_VERT && bar != SB_BOTH)) return FALSE;
    showBar(*w, show != FALSE);
    return TRUE;
}
