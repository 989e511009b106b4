// The system's window classes and what the standard controls share.
#include "controls.h"

#include <cstring>

namespace screen {

void registerBuiltinClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    registerTooltipClass();
    registerDialogClass();
    registerButtonClass();
    registerEditClass();
    registerListBoxClass();
    registerStaticClass();
}

void notifyParent(HWND control, WORD code) {
    Window* w = findWindow(control);
    if (!w || !w->parent) return;
    sendMessage(w->parent, WM_COMMAND, MAKEWPARAM(WORD(w->id), code), reinterpret_cast<LPARAM>(control));
}

HBRUSH parentBrush(HWND control, HDC hdc, UINT ctlColorMessage) {
    Window* w = findWindow(control);
    HWND parent = w ? w->parent : nullptr;
    LRESULT brush = parent ? sendMessage(parent, ctlColorMessage, reinterpret_cast<WPARAM>(hdc),
                                         reinterpret_cast<LPARAM>(control))
                           : 0;
    if (!brush) brush = DefWindowProcA(control, ctlColorMessage, reinterpret_cast<WPARAM>(hdc),
                                       reinterpret_cast<LPARAM>(control));
    return reinterpret_cast<HBRUSH>(brush);
}

HFONT controlFont(HWND control) {
    Window* w = findWindow(control);
    if (w && w->font) return w->font;
    return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

int fontHeight(HFONT font) {
    // A memory context measures as the screen's does, without composing the screen.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return tm.tmHeight;
}

int textExtent(HDC hdc, const std::string& text) {
    SIZE size{};
    GetTextExtentPoint32A(hdc, text.data(), int(text.size()), &size);
    return size.cx;
}

void drawControlText(HDC hdc, const char* text, int length, RECT rect, UINT format, bool enabled) {
    int mode = SetBkMode(hdc, TRANSPARENT);
    if (enabled) {
        DrawTextA(hdc, text, length, &rect, format);
    } else {
        COLORREF old = SetTextColor(hdc, GetSysColor(COLOR_BTNHIGHLIGHT));
        RECT shifted = rect;
        OffsetRect(&shifted, 1, 1);
        DrawTextA(hdc, text, length, &shifted, format);
        SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
        DrawTextA(hdc, text, length, &rect, format);
        SetTextColor(hdc, old);
    }
    SetBkMode(hdc, mode);
}

static bool leadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

size_t gbkBoundaryBefore(const std::string& text, size_t offset) {
    if (offset >= text.size()) return text.size();
    size_t i = 0;
    while (i < offset) {
        size_t step = (leadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
        if (i + step > offset) break;
        i += step;
    }
    return i;
}

size_t gbkNext(const std::string& text, size_t offset) {
    if (offset >= text.size()) return text.size();
    return offset + ((leadByte(static_cast<unsigned char>(text[offset])) && offset + 1 < text.size()) ? 2 : 1);
}

size_t gbkPrevious(const std::string& text, size_t offset) {
    if (offset == 0) return 0;
    size_t i = 0, last = 0;
    while (i < offset && i < text.size()) {
        last = i;
        i = gbkNext(text, i);
    }
    return last;
}

}  // namespace screen
