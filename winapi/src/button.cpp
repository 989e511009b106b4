// The "BUTTON" class: push buttons (default or not), check boxes, radio buttons and group
// boxes, with their check state, the pressed look while the mouse or Space holds them,
// BN_CLICKED on release, and the look of Windows 98.
#include "controls.h"

#include <algorithm>

namespace screen {

namespace {

struct ButtonState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool focused = false;
    bool captured = false;
    bool spaceDown = false;
};

std::map<HWND, ButtonState>& buttons() {
    static std::map<HWND, ButtonState> all;
    return all;
}

ButtonState& stateOf(HWND hwnd) { return buttons()[hwnd]; }

DWORD styleOf(HWND hwnd) { return DWORD(GetWindowLongA(hwnd, GWL_STYLE)); }
DWORD typeOf(HWND hwnd) { return styleOf(hwnd) & BS_TYPEMASK; }

bool isPush(DWORD type) { return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_USERBUTTON || type == BS_OWNERDRAW; }
bool isCheck(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}
bool isRadio(DWORD type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

void redraw(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

std::string textOf(HWND hwnd) {
    Window* w = findWindow(hwnd);
    return w ? w->title : std::string();
}

void setCheck(HWND hwnd, UINT check) {
    ButtonState& s = stateOf(hwnd);
    DWORD type = typeOf(hwnd);
    if (!isCheck(type) && !isRadio(type)) return;
    if (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) check = BST_CHECKED;
    // A radio button that holds the choice is the one Tab stops at.
    if (isRadio(type)) {
        DWORD style = styleOf(hwnd);
        SetWindowLongA(hwnd, GWL_STYLE, LONG(check ? style | WS_TABSTOP : style & ~DWORD(WS_TABSTOP)));
    }
    if (s.check != check) {
        s.check = check;
        redraw(hwnd);
    }
}

// What a click does before the parent hears of it: automatic buttons change their mark,
// and an automatic radio button takes the choice from the others of its group.
void clicked(HWND hwnd) {
    ButtonState& s = stateOf(hwnd);
    DWORD type = typeOf(hwnd);
    if (type == BS_AUTOCHECKBOX) setCheck(hwnd, s.check ? BST_UNCHECKED : BST_CHECKED);
    if (type == BS_AUTO3STATE) setCheck(hwnd, (s.check + 1) % 3);
    if (type == BS_AUTORADIOBUTTON) {
        Window* w = findWindow(hwnd);
        HWND parent = w ? w->parent : nullptr;
        if (parent) {
            for (HWND other = GetNextDlgGroupItem(parent, hwnd, FALSE); other && other != hwnd;
                 other = GetNextDlgGroupItem(parent, other, FALSE)) {
                char cls[16] = {};
                GetClassNameA(other, cls, sizeof cls);
                if (lstrcmpiA(cls, "Button") == 0 && typeOf(other) == BS_AUTORADIOBUTTON) setCheck(other, BST_UNCHECKED);
            }
        }
        setCheck(hwnd, BST_CHECKED);
    }
    notifyParent(hwnd, BN_CLICKED);
}

// ---- drawing ----

void fillRect(HDC dc, RECT r, int color) { FillRect(dc, &r, GetSysColorBrush(color)); }

void frame(HDC dc, RECT r, int color) { FrameRect(dc, &r, GetSysColorBrush(color)); }

void paintPush(HWND hwnd, HDC dc, const RECT& client, const ButtonState& s, bool enabled) {
    RECT r = client;
    HBRUSH brush = parentBrush(hwnd, dc, WM_CTLCOLORBTN);
    FillRect(dc, &r, brush);
    bool isDefault = typeOf(hwnd) == BS_DEFPUSHBUTTON;
    if (isDefault || s.pushed) {
        frame(dc, r, COLOR_WINDOWFRAME);
        InflateRect(&r, -1, -1);
    }
    if (s.pushed) {
        frame(dc, r, COLOR_BTNSHADOW);
        InflateRect(&r, -1, -1);
        fillRect(dc, r, COLOR_BTNFACE);
    } else {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    }
    std::string text = textOf(hwnd);
    RECT textRect = client;
    if (s.pushed) OffsetRect(&textRect, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    UINT format = DT_CENTER | ((styleOf(hwnd) & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER);
    drawControlText(dc, text.data(), int(text.size()), textRect, format, enabled);
    if (s.focused) {
        RECT focus = client;
        InflateRect(&focus, isDefault || s.pushed ? -4 : -3, isDefault || s.pushed ? -4 : -3);
        DrawFocusRect(dc, &focus);
    }
}

constexpr int CHECK_SIZE = 13;
constexpr int RADIO_SIZE = 12;
constexpr int TEXT_GAP = 4;

// The tick of a checked box, seven by seven.
constexpr const char* TICK[7] = {"......X", ".....XX", "X...XXX", "XX.XXX.", "XXXXX..", ".XXX...", "..X...."};

void paintCheckMark(HDC dc, RECT box, UINT check, bool enabled, bool pushed) {
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT);
    RECT inner = box;
    InflateRect(&inner, -2, -2);
    fillRect(dc, inner, (!enabled || pushed || check == BST_INDETERMINATE) ? COLOR_BTNFACE : COLOR_WINDOW);
    if (check == BST_UNCHECKED) return;
    COLORREF ink = (!enabled || check == BST_INDETERMINATE) ? GetSysColor(COLOR_BTNSHADOW) : GetSysColor(COLOR_WINDOWTEXT);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            if (TICK[y][x] == 'X') SetPixel(dc, inner.left + 1 + x, inner.top + 1 + y, ink);
}

// The round box of a radio button: two rings darker towards the top-left, the white
// inside, and the dot of the chosen one.
void paintRadioMark(HDC dc, RECT box, bool checked, bool enabled, bool pushed) {
    for (int y = 0; y < RADIO_SIZE; ++y)
        for (int x = 0; x < RADIO_SIZE; ++x) {
            double dx = x - 5.5, dy = y - 5.5, d2 = dx * dx + dy * dy;
            bool topLeft = x + y < RADIO_SIZE - 1;
            int color;
            if (d2 >= 36) continue;
            if (d2 >= 25) color = topLeft ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT;
            else if (d2 >= 16) color = topLeft ? COLOR_3DDKSHADOW : COLOR_3DLIGHT;
            else if (checked && d2 < 4) color = enabled ? COLOR_WINDOWTEXT : COLOR_BTNSHADOW;
            else color = (!enabled || pushed) ? COLOR_BTNFACE : COLOR_WINDOW;
            SetPixel(dc, box.left + x, box.top + y, GetSysColor(color));
        }
}

void paintCheckOrRadio(HWND hwnd, HDC dc, const RECT& client, const ButtonState& s, bool enabled) {
    HBRUSH brush = parentBrush(hwnd, dc, WM_CTLCOLORSTATIC);
    FillRect(dc, &client, brush);
    DWORD type = typeOf(hwnd);
    bool radio = isRadio(type);
    int size = radio ? RADIO_SIZE : CHECK_SIZE;
    bool leftText = (styleOf(hwnd) & BS_LEFTTEXT) != 0;
    int top = client.top + (client.bottom - client.top - size) / 2;
    RECT box{leftText ? client.right - size : client.left, top, 0, 0};
    box.right = box.left + size;
    box.bottom = box.top + size;
    if (radio)
        paintRadioMark(dc, box, s.check == BST_CHECKED, enabled, s.pushed);
    else
        paintCheckMark(dc, box, s.check, enabled, s.pushed);
    std::string text = textOf(hwnd);
    RECT textRect = client;
    if (leftText)
        textRect.right = box.left - TEXT_GAP;
    else
        textRect.left = box.right + TEXT_GAP;
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    UINT format = (styleOf(hwnd) & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
    drawControlText(dc, text.data(), int(text.size()), textRect, format, enabled);
    if (s.focused && !text.empty()) {
        // The focus outline hugs the text.
        RECT measure = textRect;
        DrawTextA(dc, text.data(), int(text.size()), &measure, format | DT_CALCRECT);
        int height = measure.bottom - measure.top;
        RECT focus{textRect.left - 1, textRect.top + (textRect.bottom - textRect.top - height) / 2 - 1,
                   textRect.left + (measure.right - measure.left) + 1, 0};
        focus.bottom = focus.top + height + 2;
        IntersectRect(&focus, &focus, &client);
        DrawFocusRect(dc, &focus);
    }
}

void paintGroup(HWND hwnd, HDC dc, const RECT& client, bool enabled) {
    HBRUSH brush = parentBrush(hwnd, dc, WM_CTLCOLORSTATIC);
    FillRect(dc, &client, brush);
    int height = fontHeight(controlFont(hwnd));
    RECT edge = client;
    edge.top += height / 2;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    std::string text = textOf(hwnd);
    if (text.empty()) return;
    RECT measure{0, 0, 10000, 0};
    DrawTextA(dc, text.data(), int(text.size()), &measure, DT_SINGLELINE | DT_CALCRECT);
    RECT label{client.left + 8, client.top, client.left + 8 + (measure.right - measure.left) + 2, client.top + height};
    FillRect(dc, &label, brush);
    label.left += 1;
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    drawControlText(dc, text.data(), int(text.size()), label, DT_SINGLELINE, enabled);
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ oldFont = SelectObject(dc, controlFont(hwnd));
    const ButtonState& s = stateOf(hwnd);
    bool enabled = IsWindowEnabled(hwnd) != FALSE;
    DWORD type = typeOf(hwnd);
    if (type == BS_GROUPBOX)
        paintGroup(hwnd, dc, client, enabled);
    else if (isCheck(type) || isRadio(type))
        paintCheckOrRadio(hwnd, dc, client, s, enabled);
    else
        paintPush(hwnd, dc, client, s, enabled);
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

bool inside(HWND hwnd, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    POINT p{short(LOWORD(lParam)), short(HIWORD(lParam))};
    return PtInRect(&client, p) != FALSE;
}

LRESULT CALLBACK buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD type = typeOf(hwnd);
    switch (msg) {
    case WM_NCDESTROY:
        buttons().erase(hwnd);
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_NCHITTEST:
        // A group box lets the mouse through to the controls inside it.
        if (type == BS_GROUPBOX) return HTTRANSPARENT;
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        if (type == BS_GROUPBOX) return DLGC_STATIC;
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (isPush(type)) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        if (isRadio(type)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        return DLGC_BUTTON;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case WM_ENABLE:
        redraw(hwnd);
        return 0;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
        redraw(hwnd);
        return r;
    }
    case WM_SETFONT:
        DefWindowProcA(hwnd, msg, wParam, lParam);
        if (lParam) redraw(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (type == BS_GROUPBOX) return 0;
        if (msg == WM_LBUTTONDBLCLK && (styleOf(hwnd) & BS_NOTIFY) && (isRadio(type) || isPush(type))) {
            notifyParent(hwnd, BN_DOUBLECLICKED);
            return 0;
        }
        SetFocus(hwnd);
        SetCapture(hwnd);
        ButtonState& s = stateOf(hwnd);
        s.captured = true;
        s.pushed = true;
        redraw(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE: {
        ButtonState& s = stateOf(hwnd);
        if (!s.captured) return 0;
        bool in = inside(hwnd, lParam);
        if (in != s.pushed) {
            s.pushed = in;
            redraw(hwnd);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        ButtonState& s = stateOf(hwnd);
        if (!s.captured) return 0;
        bool wasPushed = s.pushed && inside(hwnd, lParam);
        s.captured = false;
        s.pushed = false;
        ReleaseCapture();
        redraw(hwnd);
        if (wasPushed && findWindow(hwnd)) clicked(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED: {
        ButtonState& s = stateOf(hwnd);
        if (s.captured && reinterpret_cast<HWND>(lParam) != hwnd) {
            s.captured = false;
            s.pushed = false;
            redraw(hwnd);
        }
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && type != BS_GROUPBOX) {
            ButtonState& s = stateOf(hwnd);
            s.spaceDown = true;
            s.pushed = true;
            redraw(hwnd);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE) {
            ButtonState& s = stateOf(hwnd);
            if (!s.spaceDown) return 0;
            s.spaceDown = false;
            s.pushed = false;
            redraw(hwnd);
            clicked(hwnd);
        }
        return 0;
    case WM_SETFOCUS: {
        ButtonState& s = stateOf(hwnd);
        s.focused = true;
        redraw(hwnd);
        if (Window* w = findWindow(hwnd); w && w->parent && findDialog(w->parent)) fixDefaultButton(w->parent, hwnd);
        if (styleOf(hwnd) & BS_NOTIFY) notifyParent(hwnd, BN_SETFOCUS);
        return 0;
    }
    case WM_KILLFOCUS: {
        ButtonState& s = stateOf(hwnd);
        s.focused = false;
        if (!s.captured) s.pushed = false;
        s.spaceDown = false;
        redraw(hwnd);
        if (styleOf(hwnd) & BS_NOTIFY) notifyParent(hwnd, BN_KILLFOCUS);
        return 0;
    }
    case BM_GETCHECK:
        return stateOf(hwnd).check;
    case BM_SETCHECK:
        setCheck(hwnd, UINT(wParam));
        return 0;
    case BM_GETSTATE: {
        const ButtonState& s = stateOf(hwnd);
        return s.check | (s.pushed ? BST_PUSHED : 0) | (s.focused ? BST_FOCUS : 0);
    }
    case BM_SETSTATE: {
        ButtonState& s = stateOf(hwnd);
        if (s.pushed != (wParam != 0)) {
            s.pushed = wParam != 0;
            redraw(hwnd);
        }
        return 0;
    }
    case BM_SETSTYLE: {
        DWORD style = (styleOf(hwnd) & ~DWORD(BS_TYPEMASK)) | (DWORD(wParam) & BS_TYPEMASK);
        SetWindowLongA(hwnd, GWL_STYLE, LONG(style));
        if (lParam) redraw(hwnd);
        return 0;
    }
    case BM_CLICK:
        // As a person's click: press and release in the middle of the button.
        if (IsWindowEnabled(hwnd) && type != BS_GROUPBOX) {
            RECT client;
            GetClientRect(hwnd, &client);
            LPARAM middle = MAKELPARAM(client.right / 2, client.bottom / 2);
            sendMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, middle);
            if (findWindow(hwnd)) sendMessage(hwnd, WM_LBUTTONUP, 0, middle);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

void registerButtonClass() {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = buttonProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "Button";
    RegisterClassA(&wc);
}

}  // namespace screen
