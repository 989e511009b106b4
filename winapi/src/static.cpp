// The "STATIC" class: text (left, centred or right, wrapped at words unless
// SS_LEFTNOWORDWRAP), bitmaps and icons from resources (SS_BITMAP, SS_ICON; centred in
// the control with SS_CENTERIMAGE, else the control takes the picture's size), filled
// rectangles, frames and etched lines. SS_SUNKEN gives the half-sunken edge.
#include "controls.h"

#include <algorithm>

namespace screen {

namespace {

struct StaticState {
    HBITMAP bitmap = nullptr;
    bool ownsBitmap = false;
    HICON icon = nullptr;
};

std::map<HWND, StaticState>& statics() {
    static std::map<HWND, StaticState> all;
    return all;
}

DWORD styleOf(HWND hwnd) { return DWORD(GetWindowLongA(hwnd, GWL_STYLE)); }
DWORD typeOf(HWND hwnd) { return styleOf(hwnd) & SS_TYPEMASK; }

void redraw(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
}

// A resource name as CreateWindowExA receives it: 0xFF and an id's two bytes, or a name.
LPCSTR resourceName(const char* title) {
    if (!title || reinterpret_cast<uintptr_t>(title) < 0x10000) return title;
    auto* bytes = reinterpret_cast<const unsigned char*>(title);
    if (bytes[0] == 0xFF) return MAKEINTRESOURCEA(bytes[1] | (bytes[2] << 8));
    return title;
}

SIZE bitmapSize(HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) return SIZE{0, 0};
    return SIZE{bm.bmWidth, bm.bmHeight};
}

// A picture without SS_CENTERIMAGE sizes the control to itself (its frame added).
void fitToPicture(HWND hwnd, SIZE picture) {
    if ((styleOf(hwnd) & SS_CENTERIMAGE) || picture.cx <= 0 || picture.cy <= 0) return;
    Window* w = findWindow(hwnd);
    if (!w) return;
    RECT r{0, 0, picture.cx, picture.cy};
    AdjustWindowRectEx(&r, w->style, FALSE, w->exStyle);
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void paintPicture(HWND hwnd, HDC dc, const RECT& client, const StaticState& s) {
    if (typeOf(hwnd) == SS_ICON) {
        FillRect(dc, &client, parentBrush(hwnd, dc, WM_CTLCOLORSTATIC));
        if (!s.icon) return;
        int x = 0, y = 0;
        if (styleOf(hwnd) & SS_CENTERIMAGE) {
            x = (client.right - 32) / 2;
            y = (client.bottom - 32) / 2;
        }
        DrawIcon(dc, x, y, s.icon);
        return;
    }
    if (!s.bitmap) {
        FillRect(dc, &client, parentBrush(hwnd, dc, WM_CTLCOLORSTATIC));
        return;
    }
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, s.bitmap);
    SIZE size = bitmapSize(s.bitmap);
    int x = 0, y = 0;
    if (styleOf(hwnd) & SS_CENTERIMAGE) {
        // The space around a centred picture takes the colour of its top-left pixel.
        HBRUSH around = CreateSolidBrush(GetPixel(memory, 0, 0));
        FillRect(dc, &client, around);
        DeleteObject(around);
        x = (client.right - size.cx) / 2;
        y = (client.bottom - size.cy) / 2;
    } else {
        FillRect(dc, &client, parentBrush(hwnd, dc, WM_CTLCOLORSTATIC));
    }
    BitBlt(dc, x, y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

void paintText(HWND hwnd, HDC dc, const RECT& client) {
    HBRUSH brush = parentBrush(hwnd, dc, WM_CTLCOLORSTATIC);
    FillRect(dc, &client, brush);
    DWORD style = styleOf(hwnd);
    UINT format = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_LEFT: format |= DT_LEFT | DT_WORDBREAK; break;
    case SS_CENTER: format |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_SIMPLE: format = DT_LEFT | DT_SINGLELINE; break;
    case SS_LEFTNOWORDWRAP: format |= DT_LEFT; break;
    }
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if (style & SS_CENTERIMAGE) format = (format & ~UINT(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
    Window* w = findWindow(hwnd);
    std::string text = w ? w->title : std::string();
    drawControlText(dc, text.data(), int(text.size()), client, format, IsWindowEnabled(hwnd) != FALSE);
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ oldFont = SelectObject(dc, controlFont(hwnd));
    StaticState& s = statics()[hwnd];
    switch (typeOf(hwnd)) {
    case SS_ICON:
    case SS_BITMAP:
        paintPicture(hwnd, dc, client, s);
        break;
    case SS_BLACKRECT: FillRect(dc, &client, GetSysColorBrush(COLOR_3DDKSHADOW)); break;
    case SS_GRAYRECT: FillRect(dc, &client, GetSysColorBrush(COLOR_3DSHADOW)); break;
    case SS_WHITERECT: FillRect(dc, &client, GetSysColorBrush(COLOR_3DHILIGHT)); break;
    case SS_BLACKFRAME:
    case SS_GRAYFRAME:
    case SS_WHITEFRAME: {
        FillRect(dc, &client, parentBrush(hwnd, dc, WM_CTLCOLORSTATIC));
        int color = typeOf(hwnd) == SS_BLACKFRAME ? COLOR_3DDKSHADOW
                    : typeOf(hwnd) == SS_GRAYFRAME ? COLOR_3DSHADOW
                                                   : COLOR_3DHILIGHT;
        FrameRect(dc, &client, GetSysColorBrush(color));
        break;
    }
    case SS_ETCHEDHORZ:
    case SS_ETCHEDVERT:
    case SS_ETCHEDFRAME: {
        FillRect(dc, &client, parentBrush(hwnd, dc, WM_CTLCOLORSTATIC));
        RECT r = client;
        UINT sides = typeOf(hwnd) == SS_ETCHEDHORZ ? BF_TOP : typeOf(hwnd) == SS_ETCHEDVERT ? BF_LEFT : BF_RECT;
        DrawEdge(dc, &r, EDGE_ETCHED, sides);
        break;
    }
    default:
        paintText(hwnd, dc, client);
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK staticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        DWORD type = cs ? DWORD(cs->style) & SS_TYPEMASK : 0;
        if (type == SS_ICON || type == SS_BITMAP) {
            // The title names the picture; the window keeps no text.
            StaticState& s = statics()[hwnd];
            LPCSTR name = resourceName(cs->lpszName);
            if (name && (reinterpret_cast<uintptr_t>(name) >= 0x10000 ? *name != 0 : true)) {
                if (type == SS_BITMAP) {
                    s.bitmap = static_cast<HBITMAP>(LoadImageA(cs->hInstance, name, IMAGE_BITMAP, 0, 0, 0));
                    s.ownsBitmap = s.bitmap != nullptr;
                } else {
                    s.icon = LoadIconA(cs->hInstance, name);
                    if (!s.icon) s.icon = LoadIconA(nullptr, name);
                }
            }
            CREATESTRUCTA plain = *cs;
            plain.lpszName = "";
            DefWindowProcA(hwnd, msg, wParam, reinterpret_cast<LPARAM>(&plain));
        } else {
            DefWindowProcA(hwnd, msg, wParam, lParam);
        }
        if (cs && (cs->style & SS_SUNKEN))
            SetWindowLongA(hwnd, GWL_EXSTYLE, GetWindowLongA(hwnd, GWL_EXSTYLE) | WS_EX_STATICEDGE);
        return TRUE;
    }
    case WM_CREATE: {
        StaticState& s = statics()[hwnd];
        if (typeOf(hwnd) == SS_BITMAP) fitToPicture(hwnd, bitmapSize(s.bitmap));
        if (typeOf(hwnd) == SS_ICON && s.icon && !(styleOf(hwnd) & SS_REALSIZEIMAGE)) fitToPicture(hwnd, SIZE{32, 32});
        return 0;
    }
    case WM_NCDESTROY: {
        auto it = statics().find(hwnd);
        if (it != statics().end()) {
            if (it->second.ownsBitmap) DeleteObject(it->second.bitmap);
            statics().erase(it);
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    case WM_NCHITTEST:
        // Only a static that notifies takes the mouse; others let it through.
        if (!(styleOf(hwnd) & SS_NOTIFY)) return HTTRANSPARENT;
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case WM_ENABLE:
        redraw(hwnd);
        return 0;
    case WM_SETTEXT: {
        DWORD type = typeOf(hwnd);
        if (type == SS_ICON || type == SS_BITMAP) return TRUE;
        LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
        redraw(hwnd);
        return r;
    }
    case WM_SETFONT:
        DefWindowProcA(hwnd, msg, wParam, lParam);
        if (lParam) redraw(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
        if (styleOf(hwnd) & SS_NOTIFY) notifyParent(hwnd, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (styleOf(hwnd) & SS_NOTIFY) notifyParent(hwnd, STN_DBLCLK);
        return 0;
    case STM_SETIMAGE:
    case STM_SETICON: {
        StaticState& s = statics()[hwnd];
        HANDLE old;
        if (msg == STM_SETICON || wParam == IMAGE_ICON) {
            old = s.icon;
            s.icon = reinterpret_cast<HICON>(msg == STM_SETICON ? wParam : WPARAM(lParam));
        } else {
            old = s.bitmap;
            // A picture given by the program stays the program's to free.
            if (s.ownsBitmap) {
                DeleteObject(s.bitmap);
                old = nullptr;
            }
            s.bitmap = reinterpret_cast<HBITMAP>(lParam);
            s.ownsBitmap = false;
            fitToPicture(hwnd, bitmapSize(s.bitmap));
        }
        redraw(hwnd);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
    case STM_GETICON: {
        const StaticState& s = statics()[hwnd];
        if (msg == STM_GETICON || wParam == IMAGE_ICON) return reinterpret_cast<LRESULT>(s.icon);
        return reinterpret_cast<LRESULT>(s.bitmap);
    }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

void registerStaticClass() {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = staticProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "Static";
    RegisterClassA(&wc);
}

}  // namespace screen
