// The "LISTBOX" class, single selection: lines of GBK text with item data, kept in
// Windows' sort order under LBS_SORT, found by prefix or whole line without regard to
// case, selected by mouse and keyboard (LBN_SELCHANGE, LBN_DBLCLK under LBS_NOTIFY), and
// scrolled with a vertical scroll bar that shows only while lines are out of view.
#include "controls.h"
#include "internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace screen {

// Windows' word sort as list boxes use it for ASCII text: case is ignored, symbols come
// before digits and digits before letters, and hyphens and apostrophes count only when
// the lines are otherwise equal (a line without them first; then the one whose first
// such mark stands later; then the apostrophe before the hyphen). Double-byte characters
// follow every ASCII character, in GBK order. Lines that differ only in case are equal.
int windowsSortCompare(const std::string& a, const std::string& b);

namespace {

// Punctuation and symbols in the order Windows sorts them, before the digits.
constexpr const char SYMBOL_ORDER[] = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";

int primaryWeight(unsigned char c, bool trail) {
    if (trail) return 1000 + c;  // the second byte of a double-byte character: no letter
    if (c >= 'a' && c <= 'z') return 300 + (c - 'a');
    if (c >= 'A' && c <= 'Z') return 300 + (c - 'A');
    if (c >= '0' && c <= '9') return 200 + (c - '0');
    if (c < 0x80) {
        const char* at = std::strchr(SYMBOL_ORDER, c);
        return at && c ? 100 + int(at - SYMBOL_ORDER) : 50 + c;
    }
    return 1000 + c;
}

bool ignorable(unsigned char c) { return c == '-' || c == '\''; }

// The marks a line's first comparison skipped: where they stand, and which they are.
std::vector<std::pair<size_t, int>> marks(const std::string& s) {
    std::vector<std::pair<size_t, int>> out;
    for (size_t i = 0; i < s.size(); ++i)
        if (ignorable(static_cast<unsigned char>(s[i]))) out.emplace_back(i, s[i] == '\'' ? 0 : 1);
    return out;
}

}  // namespace

int windowsSortCompare(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    bool trailA = false, trailB = false;  // the byte follows a lead byte
    for (;;) {
        while (i < a.size() && ignorable(static_cast<unsigned char>(a[i]))) ++i;
        while (j < b.size() && ignorable(static_cast<unsigned char>(b[j]))) ++j;
        if (i >= a.size() || j >= b.size()) {
            if (int r = (i < a.size()) - (j < b.size())) return r;
            break;
        }
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
        const int wx = primaryWeight(x, trailA), wy = primaryWeight(y, trailB);
        if (wx != wy) return wx < wy ? -1 : 1;
        trailA = !trailA && x >= 0x81 && x <= 0xFE;
        trailB = !trailB && y >= 0x81 && y <= 0xFE;
        ++i;
        ++j;
    }
    auto ma = marks(a), mb = marks(b);
    for (size_t k = 0; k < ma.size() && k < mb.size(); ++k) {
        if (ma[k].first != mb[k].first) return ma[k].first > mb[k].first ? -1 : 1;
        if (ma[k].second != mb[k].second) return ma[k].second < mb[k].second ? -1 : 1;
    }
    return (ma.size() > mb.size()) - (ma.size() < mb.size());
}

namespace {

struct Item {
    std::string text;
    LPARAM data = 0;
};

struct ListState {
    std::vector<Item> items;
    int selected = -1;
    int caret = 0;
    int top = 0;
    int itemHeight = 12;
    bool focused = false;
    bool captured = false;
    bool scrollBar = false;  // created with WS_VSCROLL: the bar comes and goes as needed
};

std::map<HWND, ListState>& lists() {
    static std::map<HWND, ListState> all;
    return all;
}

ListState& stateOf(HWND hwnd) { return lists()[hwnd]; }
DWORD styleOf(HWND hwnd) { return DWORD(GetWindowLongA(hwnd, GWL_STYLE)); }

int visibleRows(HWND hwnd, const ListState& s) {
    RECT client;
    GetClientRect(hwnd, &client);
    return std::max(1, int(client.bottom) / std::max(1, s.itemHeight));
}

void updateScrollBar(HWND hwnd, ListState& s) {
    if (!s.scrollBar) return;
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, int(s.items.size()) - 1),
                  UINT(visibleRows(hwnd, s)), s.top, 0};
    if (styleOf(hwnd) & LBS_DISABLENOSCROLL) si.fMask |= SIF_DISABLENOSCROLL;
    SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
}

void clampTop(HWND hwnd, ListState& s) {
    int maxTop = std::max(0, int(s.items.size()) - visibleRows(hwnd, s));
    s.top = std::clamp(s.top, 0, maxTop);
}

void redraw(HWND hwnd) {
    if (styleOf(hwnd) & LBS_NOREDRAW) return;
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
}

void contentChanged(HWND hwnd) {
    ListState& s = stateOf(hwnd);
    clampTop(hwnd, s);
    updateScrollBar(hwnd, stateOf(hwnd));
    redraw(hwnd);
}

void makeVisible(HWND hwnd, ListState& s, int index) {
    if (index < 0) return;
    int rows = visibleRows(hwnd, s);
    if (index < s.top) s.top = index;
    if (index >= s.top + rows) s.top = index - rows + 1;
    clampTop(hwnd, s);
    updateScrollBar(hwnd, stateOf(hwnd));
}

// Selects a line as the user does: the caret moves with it, and the parent hears of a
// change when it asked to.
void userSelect(HWND hwnd, int index) {
    ListState& s = stateOf(hwnd);
    if (s.items.empty() || (styleOf(hwnd) & LBS_NOSEL)) return;
    index = std::clamp(index, 0, int(s.items.size()) - 1);
    bool change = index != s.selected;
    s.selected = index;
    s.caret = index;
    makeVisible(hwnd, s, index);
    redraw(hwnd);
    if (change && (styleOf(hwnd) & LBS_NOTIFY)) notifyParent(hwnd, LBN_SELCHANGE);
}

// Case-insensitive search from the line after `start`, wrapping round: by prefix, or
// whole lines when exact.
int find(const ListState& s, int start, const char* text, bool exact) {
    int n = int(s.items.size());
    if (!n || !text) return LB_ERR;
    std::string wanted = text;
    int from = (start < 0 || start >= n) ? 0 : start + 1;
    for (int k = 0; k < n; ++k) {
        int i = (from + k) % n;
        const std::string& line = s.items[size_t(i)].text;
        if (exact) {
            if (compareNoCase(line, wanted) == 0) return i;
        } else if (line.size() >= wanted.size() && compareNoCase(line.substr(0, wanted.size()), wanted) == 0) {
            return i;
        }
    }
    return LB_ERR;
}

int indexAt(HWND hwnd, const ListState& s, int y) {
    if (y < 0) return -1;
    int index = s.top + y / std::max(1, s.itemHeight);
    (void)hwnd;
    return index < int(s.items.size()) ? index : -1;
}

// Without LBS_NOINTEGRALHEIGHT the list is cut to whole lines.
void fitIntegralHeight(HWND hwnd, const ListState& s) {
    if (styleOf(hwnd) & LBS_NOINTEGRALHEIGHT) return;
    RECT client, frame;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &frame);
    int extra = int(client.bottom) % std::max(1, s.itemHeight);
    if (extra == 0 || client.bottom < s.itemHeight) return;
    SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top - extra,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    ListState& s = stateOf(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ oldFont = SelectObject(dc, controlFont(hwnd));
    HBRUSH brush = parentBrush(hwnd, dc, WM_CTLCOLORLISTBOX);
    COLORREF ink = GetTextColor(dc);
    FillRect(dc, &client, brush);
    SetBkMode(dc, TRANSPARENT);
    bool enabled = IsWindowEnabled(hwnd) != FALSE;
    for (int i = s.top, y = 0; i < int(s.items.size()) && y < client.bottom; ++i, y += s.itemHeight) {
        RECT line{0, y, client.right, y + s.itemHeight};
        const std::string& text = s.items[size_t(i)].text;
        if (i == s.selected) {
            FillRect(dc, &line, GetSysColorBrush(COLOR_HIGHLIGHT));
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        } else {
            SetTextColor(dc, enabled ? ink : GetSysColor(COLOR_GRAYTEXT));
        }
        RECT textRect = line;
        textRect.left += 1;
        UINT format = DT_SINGLELINE | DT_NOPREFIX | ((styleOf(hwnd) & LBS_USETABSTOPS) ? DT_EXPANDTABS : 0);
        DrawTextA(dc, text.data(), int(text.size()), &textRect, format);
        if (s.focused && i == s.caret) DrawFocusRect(dc, &line);
    }
    if (s.focused && s.items.empty()) {
        RECT line{0, 0, client.right, s.itemHeight};
        DrawFocusRect(dc, &line);
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

LRESULT keyDown(HWND hwnd, UINT vk) {
    ListState& s = stateOf(hwnd);
    if (s.items.empty()) return 0;
    int rows = visibleRows(hwnd, s);
    int at = s.selected >= 0 ? s.selected : s.caret;
    switch (vk) {
    case VK_UP: userSelect(hwnd, at - 1); break;
    case VK_DOWN: userSelect(hwnd, s.selected < 0 ? at : at + 1); break;
    case VK_PRIOR: userSelect(hwnd, at - (rows - 1)); break;
    case VK_NEXT: userSelect(hwnd, at + (rows - 1)); break;
    case VK_HOME: userSelect(hwnd, 0); break;
    case VK_END: userSelect(hwnd, int(s.items.size()) - 1); break;
    }
    return 0;
}

LRESULT CALLBACK listProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        ListState& s = stateOf(hwnd);
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        s.scrollBar = cs && (cs->style & WS_VSCROLL);
        s.itemHeight = fontHeight(controlFont(hwnd));
        updateScrollBar(hwnd, s);
        return 0;
    }
    case WM_NCDESTROY:
        lists().erase(hwnd);
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case WM_SETFONT: {
        DefWindowProcA(hwnd, msg, wParam, lParam);
        ListState& s = stateOf(hwnd);
        s.itemHeight = std::max(1, fontHeight(controlFont(hwnd)));
        fitIntegralHeight(hwnd, s);
        contentChanged(hwnd);
        return 0;
    }
    case WM_SIZE:
        contentChanged(hwnd);
        return 0;
    case WM_ENABLE:
        redraw(hwnd);
        return 0;
    case WM_SETFOCUS:
        stateOf(hwnd).focused = true;
        redraw(hwnd);
        if (Window* w = findWindow(hwnd); w && w->parent && findDialog(w->parent)) fixDefaultButton(w->parent, hwnd);
        if (styleOf(hwnd) & LBS_NOTIFY) notifyParent(hwnd, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        stateOf(hwnd).focused = false;
        redraw(hwnd);
        if (styleOf(hwnd) & LBS_NOTIFY) notifyParent(hwnd, LBN_KILLFOCUS);
        return 0;
    case WM_KEYDOWN:
        return keyDown(hwnd, UINT(wParam));
    case WM_CHAR: {
        // A letter jumps to the next line that starts with it.
        char ch[2] = {char(wParam), 0};
        if (static_cast<unsigned char>(ch[0]) < 0x20) return 0;
        ListState& s = stateOf(hwnd);
        int found = find(s, s.selected, ch, false);
        if (found != LB_ERR) userSelect(hwnd, found);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        ListState& s = stateOf(hwnd);
        int index = indexAt(hwnd, s, short(HIWORD(lParam)));
        if (index >= 0) userSelect(hwnd, index);
        stateOf(hwnd).captured = true;
        SetCapture(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE: {
        ListState& s = stateOf(hwnd);
        if (!s.captured) return 0;
        RECT client;
        GetClientRect(hwnd, &client);
        int y = std::clamp<int>(short(HIWORD(lParam)), 0, std::max<int>(0, client.bottom - 1));
        int index = indexAt(hwnd, s, y);
        if (index >= 0 && index != s.selected) userSelect(hwnd, index);
        return 0;
    }
    case WM_LBUTTONUP: {
        ListState& s = stateOf(hwnd);
        if (s.captured) {
            s.captured = false;
            ReleaseCapture();
        }
        return 0;
    }
    case WM_LBUTTONDBLCLK: {
        ListState& s = stateOf(hwnd);
        int index = indexAt(hwnd, s, short(HIWORD(lParam)));
        if (index >= 0) userSelect(hwnd, index);
        if (index >= 0 && (styleOf(hwnd) & LBS_NOTIFY)) notifyParent(hwnd, LBN_DBLCLK);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) stateOf(hwnd).captured = false;
        return 0;
    case WM_VSCROLL: {
        ListState& s = stateOf(hwnd);
        int rows = visibleRows(hwnd, s);
        switch (LOWORD(wParam)) {
        case SB_LINEUP: s.top -= 1; break;
        case SB_LINEDOWN: s.top += 1; break;
        case SB_PAGEUP: s.top -= std::max(1, rows - 1); break;
        case SB_PAGEDOWN: s.top += std::max(1, rows - 1); break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: s.top = short(HIWORD(wParam)); break;
        case SB_TOP: s.top = 0; break;
        case SB_BOTTOM: s.top = int(s.items.size()); break;
        default: return 0;
        }
        contentChanged(hwnd);
        return 0;
    }
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        ListState& s = stateOf(hwnd);
        Item item{lParam ? reinterpret_cast<const char*>(lParam) : "", 0};
        int at;
        if (msg == LB_ADDSTRING && (styleOf(hwnd) & LBS_SORT)) {
            // A line equal to others goes before them, as Windows places it.
            at = int(std::lower_bound(s.items.begin(), s.items.end(), item,
                                      [](const Item& x, const Item& y) { return windowsSortCompare(x.text, y.text) < 0; }) -
                     s.items.begin());
        } else if (msg == LB_ADDSTRING || INT_PTR(wParam) == -1) {
            at = int(s.items.size());
        } else {
            at = int(INT_PTR(wParam));
            if (at < 0 || at > int(s.items.size())) return LB_ERR;
        }
        s.items.insert(s.items.begin() + at, item);
        if (s.selected >= at) ++s.selected;
        if (s.caret >= at && s.items.size() > 1) ++s.caret;
        contentChanged(hwnd);
        return at;
    }
    case LB_DELETESTRING: {
        ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) return LB_ERR;
        s.items.erase(s.items.begin() + at);
        if (s.selected == at) s.selected = -1;
        else if (s.selected > at) --s.selected;
        if (s.caret > at || s.caret >= int(s.items.size())) s.caret = std::max(0, s.caret - 1);
        contentChanged(hwnd);
        return LRESULT(stateOf(hwnd).items.size());
    }
    case LB_RESETCONTENT: {
        ListState& s = stateOf(hwnd);
        s.items.clear();
        s.selected = -1;
        s.caret = 0;
        s.top = 0;
        contentChanged(hwnd);
        return LB_OKAY;
    }
    case LB_GETCOUNT:
        return LRESULT(stateOf(hwnd).items.size());
    case LB_SETCURSEL: {
        ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) {
            s.selected = -1;
            redraw(hwnd);
            return LB_ERR;
        }
        s.selected = at;
        s.caret = at;
        makeVisible(hwnd, s, at);
        redraw(hwnd);
        return at;
    }
    case LB_GETCURSEL: {
        const ListState& s = stateOf(hwnd);
        return s.selected >= 0 ? s.selected : LB_ERR;
    }
    case LB_GETSEL: {
        const ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) return LB_ERR;
        return at == s.selected;
    }
    case LB_SETSEL:
    case LB_GETSELCOUNT:
        return LB_ERR;  // for lists that select several lines
    case LB_GETTEXT: {
        const ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size()) || !lParam) return LB_ERR;
        const std::string& text = s.items[size_t(at)].text;
        std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
        return LRESULT(text.size());
    }
    case LB_GETTEXTLEN: {
        const ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) return LB_ERR;
        return LRESULT(s.items[size_t(at)].text.size());
    }
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
        return find(stateOf(hwnd), int(INT_PTR(wParam)), reinterpret_cast<const char*>(lParam), msg == LB_FINDSTRINGEXACT);
    case LB_SELECTSTRING: {
        int found = find(stateOf(hwnd), int(INT_PTR(wParam)), reinterpret_cast<const char*>(lParam), false);
        if (found == LB_ERR) return LB_ERR;
        return listProc(hwnd, LB_SETCURSEL, WPARAM(found), 0);
    }
    case LB_GETITEMDATA: {
        const ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) return LB_ERR;
        return s.items[size_t(at)].data;
    }
    case LB_SETITEMDATA: {
        ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) return LB_ERR;
        s.items[size_t(at)].data = lParam;
        return LB_OKAY;
    }
    case LB_GETTOPINDEX:
        return stateOf(hwnd).top;
    case LB_SETTOPINDEX: {
        ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || (at >= int(s.items.size()) && !s.items.empty())) return LB_ERR;
        s.top = at;
        contentChanged(hwnd);
        return LB_OKAY;
    }
    case LB_GETCARETINDEX:
        return stateOf(hwnd).caret;
    case LB_SETCARETINDEX: {
        ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size())) return LB_ERR;
        s.caret = at;
        makeVisible(hwnd, s, at);
        redraw(hwnd);
        return LB_OKAY;
    }
    case LB_GETITEMHEIGHT:
        return stateOf(hwnd).itemHeight;
    case LB_SETITEMHEIGHT:
        if (LOWORD(lParam) == 0 || LOWORD(lParam) > 255) return LB_ERR;
        stateOf(hwnd).itemHeight = LOWORD(lParam);
        contentChanged(hwnd);
        return LB_OKAY;
    case LB_GETITEMRECT: {
        const ListState& s = stateOf(hwnd);
        int at = int(INT_PTR(wParam));
        if (at < 0 || at >= int(s.items.size()) || !lParam) return LB_ERR;
        RECT client;
        GetClientRect(hwnd, &client);
        int y = (at - s.top) * s.itemHeight;
        *reinterpret_cast<RECT*>(lParam) = RECT{0, y, client.right, y + s.itemHeight};
        return LB_OKAY;
    }
    case LB_ITEMFROMPOINT: {
        const ListState& s = stateOf(hwnd);
        RECT client;
        GetClientRect(hwnd, &client);
        POINT p{short(LOWORD(lParam)), short(HIWORD(lParam))};
        int index = s.top + std::max(0, int(p.y)) / std::max(1, s.itemHeight);
        bool outside = !PtInRect(&client, p) || index >= int(s.items.size());
        index = std::clamp(index, 0, std::max(0, int(s.items.size()) - 1));
        return MAKELRESULT(index, outside ? 1 : 0);
    }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

void registerListBoxClass() {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = listProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "ListBox";
    RegisterClassA(&wc);
}

}  // namespace screen
