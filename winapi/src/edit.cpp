// The "EDIT" class, single line: GBK text with a limit in bytes, a caret and a selection
// that move by whole characters, horizontal scrolling (ES_AUTOHSCROLL), case folding
// (ES_LOWERCASE, ES_UPPERCASE), digits only (ES_NUMBER), and EN_* notifications. Text
// arrives as WM_CHAR bytes: a lead byte waits for its trail byte, so Chinese typed
// through an input method (WM_IME_CHAR turned into two WM_CHAR by the default procedure)
// lands as one character.
#include "controls.h"

#include <algorithm>
#include <cstring>

namespace screen {

namespace {

constexpr size_t DEFAULT_LIMIT = 32767;
constexpr size_t MAX_LIMIT = 0x7FFFFFFE;

struct EditState {
    std::string text;
    size_t limit = DEFAULT_LIMIT;
    size_t anchor = 0;  // where the selection started
    size_t caret = 0;   // where it ends: the caret
    int scroll = 0;     // pixels of text scrolled out on the left
    bool focused = false;
    bool captured = false;
    bool modified = false;
    unsigned char lead = 0;  // a lead byte waiting for its trail byte
    char password = '*';
    int leftMargin = 1;
    int rightMargin = 1;
};

std::map<HWND, EditState>& edits() {
    static std::map<HWND, EditState> all;
    return all;
}

EditState& stateOf(HWND hwnd) { return edits()[hwnd]; }
DWORD styleOf(HWND hwnd) { return DWORD(GetWindowLongA(hwnd, GWL_STYLE)); }

size_t selStart(const EditState& s) { return std::min(s.anchor, s.caret); }
size_t selEnd(const EditState& s) { return std::max(s.anchor, s.caret); }

// What is drawn: the text, or as many password characters as it has characters.
std::string shown(HWND hwnd, const EditState& s) {
    if (!(styleOf(hwnd) & ES_PASSWORD)) return s.text;
    std::string masked;
    for (size_t i = 0; i < s.text.size(); i = gbkNext(s.text, i)) masked += s.password;
    return masked;
}

// Byte offset in the shown text of a byte offset in the text.
size_t shownOffset(HWND hwnd, const EditState& s, size_t offset) {
    if (!(styleOf(hwnd) & ES_PASSWORD)) return offset;
    size_t n = 0;
    for (size_t i = 0; i < offset && i < s.text.size(); i = gbkNext(s.text, i)) ++n;
    return n;
}

int widthOf(HWND hwnd, const std::string& text) {
    HDC dc = CreateCompatibleDC(nullptr);  // measures without composing the screen
    HGDIOBJ old = SelectObject(dc, controlFont(hwnd));
    int w = textExtent(dc, text);
    SelectObject(dc, old);
    DeleteDC(dc);
    return w;
}

int caretX(HWND hwnd, const EditState& s, size_t offset) {
    std::string text = shown(hwnd, s);
    return widthOf(hwnd, text.substr(0, shownOffset(hwnd, s, offset)));
}

int formatWidth(HWND hwnd, const EditState& s) {
    RECT client;
    GetClientRect(hwnd, &client);
    return std::max(0, int(client.right) - s.leftMargin - s.rightMargin);
}

// Keeps the caret inside the visible part of the line.
void scrollToCaret(HWND hwnd, EditState& s) {
    int x = caretX(hwnd, s, s.caret), width = formatWidth(hwnd, s);
    if (!(styleOf(hwnd) & ES_AUTOHSCROLL)) {
        s.scroll = 0;
        return;
    }
    if (x < s.scroll) s.scroll = x;
    if (x > s.scroll + width - 1) s.scroll = std::max(0, x - width + 1);
    int total = caretX(hwnd, s, s.text.size());
    if (total - s.scroll < width) s.scroll = std::max(0, std::min(s.scroll, total - width + 1));
}

void redraw(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
}

void changed(HWND hwnd) {
    if (!findWindow(hwnd)) return;
    EditState& s = stateOf(hwnd);
    s.modified = true;
    scrollToCaret(hwnd, s);
    notifyParent(hwnd, EN_UPDATE);
    if (!findWindow(hwnd)) return;
    redraw(hwnd);
    notifyParent(hwnd, EN_CHANGE);
}

void setSelection(HWND hwnd, EditState& s, size_t anchor, size_t caret) {
    s.anchor = gbkBoundaryBefore(s.text, std::min(anchor, s.text.size()));
    s.caret = gbkBoundaryBefore(s.text, std::min(caret, s.text.size()));
    scrollToCaret(hwnd, s);
    redraw(hwnd);
}

// The part of `bytes` that fits the limit in place of the selection, cut at a character
// boundary.
std::string fitting(const EditState& s, const std::string& bytes) {
    const size_t room = s.text.size() - (selEnd(s) - selStart(s));
    const size_t free = s.limit > room ? s.limit - room : 0;
    size_t cut = 0;
    while (cut < bytes.size() && gbkNext(bytes, cut) <= free) cut = gbkNext(bytes, cut);
    return bytes.substr(0, cut);
}

// Replaces the selection with `bytes`. With the limit honoured, text that does not fit
// is cut at a character boundary; nothing at all fitting is EN_MAXTEXT and no change.
// The parent may change the text while it hears EN_MAXTEXT: the insertion then goes into
// the text and selection it left, cut to the room there is now.
bool replaceSelection(HWND hwnd, const std::string& bytes, bool honourLimit) {
    EditState& s = stateOf(hwnd);
    size_t a = selStart(s), b = selEnd(s);
    if (a == b && bytes.empty()) return false;
    std::string insert = bytes;
    if (honourLimit) {
        insert = fitting(s, bytes);
        if (insert.size() < bytes.size()) {
            notifyParent(hwnd, EN_MAXTEXT);
            if (!findWindow(hwnd)) return false;
            EditState& now = stateOf(hwnd);
            a = selStart(now);
            b = selEnd(now);
            insert = fitting(now, bytes);
            if (insert.empty() && a == b) return false;
        }
        // Without automatic scrolling the line holds only what its width shows.
        if (!(styleOf(hwnd) & ES_AUTOHSCROLL)) {
            std::string next = s.text.substr(0, a) + insert + s.text.substr(b);
            EditState probe = s;
            probe.text = next;
            if (caretX(hwnd, probe, next.size()) > formatWidth(hwnd, s)) {
                notifyParent(hwnd, EN_MAXTEXT);
                return false;
            }
        }
    }
    std::string next;
    next.reserve(s.text.size() - (b - a) + insert.size());
    next.append(s.text, 0, a).append(insert).append(s.text, b, std::string::npos);
    EditState& now = stateOf(hwnd);
    now.text.swap(next);
    now.anchor = now.caret = a + insert.size();
    changed(hwnd);
    return true;
}

void typeCharacter(HWND hwnd, unsigned char ch) {
    EditState& s = stateOf(hwnd);
    DWORD style = styleOf(hwnd);
    if (ch == '\b') {
        s.lead = 0;
        if (style & ES_READONLY) return;
        if (selStart(s) == selEnd(s)) {
            if (s.caret == 0) return;
            s.anchor = gbkPrevious(s.text, s.caret);
        }
        replaceSelection(hwnd, std::string(), false);
        return;
    }
    if (ch < 0x20 || ch == 0x7F) {  // control characters type nothing, nor end a character
        s.lead = 0;
        return;
    }
    if (style & ES_READONLY) {
        MessageBeep(0);
        return;
    }
    // Only a byte that can end a double-byte character pairs with a waiting lead byte; any
    // other drops the lead byte and counts on its own.
    if (s.lead && (ch < 0x40 || ch == 0xFF)) s.lead = 0;
    std::string bytes;
    if (s.lead) {
        bytes = {char(s.lead), char(ch)};
        s.lead = 0;
    } else if (ch >= 0x81 && ch <= 0xFE) {
        s.lead = ch;
        return;
    } else {
        if ((style & ES_NUMBER) && (ch < '0' || ch > '9')) {
            MessageBeep(0);
            return;
        }
        if ((style & ES_LOWERCASE) && ch >= 'A' && ch <= 'Z') ch = ch - 'A' + 'a';
        if ((style & ES_UPPERCASE) && ch >= 'a' && ch <= 'z') ch = ch - 'a' + 'A';
        bytes = std::string(1, char(ch));
    }
    replaceSelection(hwnd, bytes, true);
}

size_t offsetAtX(HWND hwnd, const EditState& s, int x) {
    int target = x - s.leftMargin + s.scroll;
    size_t i = 0;
    while (i < s.text.size()) {
        size_t next = gbkNext(s.text, i);
        if (target < (caretX(hwnd, s, i) + caretX(hwnd, s, next)) / 2) return i;
        i = next;
    }
    return s.text.size();
}

void keyDown(HWND hwnd, UINT vk) {
    EditState& s = stateOf(hwnd);
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    size_t caret = s.caret;
    switch (vk) {
    case VK_LEFT: caret = gbkPrevious(s.text, s.caret); break;
    case VK_RIGHT: caret = gbkNext(s.text, s.caret); break;
    case VK_HOME: caret = 0; break;
    case VK_END: caret = s.text.size(); break;
    case VK_DELETE:
        if (styleOf(hwnd) & ES_READONLY) return;
        if (selStart(s) == selEnd(s)) {
            if (s.caret >= s.text.size()) return;
            s.anchor = gbkNext(s.text, s.caret);
        }
        replaceSelection(hwnd, std::string(), false);
        return;
    default:
        return;
    }
    setSelection(hwnd, s, shift ? s.anchor : caret, caret);
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    EditState& s = stateOf(hwnd);
    DWORD style = styleOf(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ oldFont = SelectObject(dc, controlFont(hwnd));
    bool enabled = IsWindowEnabled(hwnd) != FALSE;
    bool grey = !enabled || (style & ES_READONLY);
    HBRUSH brush = parentBrush(hwnd, dc, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
    FillRect(dc, &client, brush);
    std::string text = shown(hwnd, s);
    int height = fontHeight(controlFont(hwnd));
    int top = 1;
    int x = s.leftMargin - s.scroll;
    RECT clip{s.leftMargin, 0, client.right - s.rightMargin, client.bottom};
    if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutA(dc, x, top, ETO_CLIPPED, &clip, text.data(), UINT(text.size()), nullptr);
    size_t a = shownOffset(hwnd, s, selStart(s)), b = shownOffset(hwnd, s, selEnd(s));
    if ((s.focused || (style & ES_NOHIDESEL)) && a != b) {
        int sx = x + textExtent(dc, text.substr(0, a));
        int ex = x + textExtent(dc, text.substr(0, b));
        RECT sel{sx, top, ex, top + height};
        IntersectRect(&sel, &sel, &clip);
        FillRect(dc, &sel, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        ExtTextOutA(dc, sx, top, ETO_CLIPPED, &sel, text.data() + a, UINT(b - a), nullptr);
    }
    if (s.focused) {
        // The caret: a line as high as the text, at the caret's place.
        int cx = x + textExtent(dc, text.substr(0, shownOffset(hwnd, s, s.caret)));
        if (cx >= clip.left - 1 && cx < clip.right + 1) {
            RECT caretRect{cx, top, cx + 1, top + height};
            InvertRect(dc, &caretRect);
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE: {
        LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        EditState& s = stateOf(hwnd);
        if (cs && cs->lpszName && reinterpret_cast<uintptr_t>(cs->lpszName) >= 0x10000) s.text = cs->lpszName;
        return r;
    }
    case WM_NCDESTROY:
        edits().erase(hwnd);
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case WM_ENABLE:
    case WM_SIZE:
        scrollToCaret(hwnd, stateOf(hwnd));
        redraw(hwnd);
        return 0;
    case WM_SETFONT:
        DefWindowProcA(hwnd, msg, wParam, lParam);
        if (lParam) redraw(hwnd);
        return 0;
    case WM_SETTEXT: {
        // Text set by the program ignores the limit and leaves the caret at the start.
        EditState& s = stateOf(hwnd);
        s.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        s.anchor = s.caret = 0;
        s.scroll = 0;
        s.lead = 0;
        DefWindowProcA(hwnd, msg, wParam, lParam);
        changed(hwnd);
        if (findWindow(hwnd)) stateOf(hwnd).modified = false;
        return TRUE;
    }
    case WM_GETTEXT: {
        const EditState& s = stateOf(hwnd);
        if (!wParam || !lParam) return 0;
        size_t n = std::min(size_t(wParam) - 1, s.text.size());
        std::memcpy(reinterpret_cast<char*>(lParam), s.text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return LRESULT(n);
    }
    case WM_GETTEXTLENGTH:
        return LRESULT(stateOf(hwnd).text.size());
    case WM_CHAR:
        typeCharacter(hwnd, static_cast<unsigned char>(wParam));
        return 0;
    case WM_KEYDOWN:
        keyDown(hwnd, UINT(wParam));
        return 0;
    case WM_SETFOCUS: {
        EditState& s = stateOf(hwnd);
        s.focused = true;
        redraw(hwnd);
        if (Window* w = findWindow(hwnd); w && w->parent && findDialog(w->parent)) fixDefaultButton(w->parent, hwnd);
        notifyParent(hwnd, EN_SETFOCUS);
        return 0;
    }
    case WM_KILLFOCUS: {
        EditState& s = stateOf(hwnd);
        s.focused = false;
        s.lead = 0;
        redraw(hwnd);
        notifyParent(hwnd, EN_KILLFOCUS);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        EditState& s = stateOf(hwnd);
        size_t at = offsetAtX(hwnd, s, short(LOWORD(lParam)));
        setSelection(hwnd, s, (wParam & MK_SHIFT) ? s.anchor : at, at);
        s.captured = true;
        SetCapture(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE: {
        EditState& s = stateOf(hwnd);
        if (!s.captured) return 0;
        setSelection(hwnd, s, s.anchor, offsetAtX(hwnd, s, short(LOWORD(lParam))));
        return 0;
    }
    case WM_LBUTTONUP: {
        EditState& s = stateOf(hwnd);
        if (s.captured) {
            s.captured = false;
            ReleaseCapture();
        }
        return 0;
    }
    case WM_LBUTTONDBLCLK: {
        // A double click takes the word: the run of characters between spaces.
        EditState& s = stateOf(hwnd);
        size_t at = offsetAtX(hwnd, s, short(LOWORD(lParam)));
        size_t a = at, b = at;
        while (a > 0 && s.text[gbkPrevious(s.text, a)] != ' ') a = gbkPrevious(s.text, a);
        while (b < s.text.size() && s.text[b] != ' ') b = gbkNext(s.text, b);
        setSelection(hwnd, s, a, b);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) stateOf(hwnd).captured = false;
        return 0;
    case WM_CLEAR:
        if (!(styleOf(hwnd) & ES_READONLY)) replaceSelection(hwnd, std::string(), false);
        return 0;
    case EM_GETSEL: {
        const EditState& s = stateOf(hwnd);
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = DWORD(selStart(s));
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = DWORD(selEnd(s));
        size_t a = selStart(s), b = selEnd(s);
        return (a > 0xFFFF || b > 0xFFFF) ? -1 : MAKELRESULT(a, b);
    }
    case EM_SETSEL: {
        EditState& s = stateOf(hwnd);
        long start = long(INT_PTR(wParam)), end = long(lParam);
        if (start == -1) {
            setSelection(hwnd, s, s.caret, s.caret);
            return 0;
        }
        size_t a = start < 0 ? s.text.size() : size_t(start);
        size_t b = end < 0 ? s.text.size() : size_t(end);
        setSelection(hwnd, s, a, b);
        return 0;
    }
    case EM_REPLACESEL:
        replaceSelection(hwnd, lParam ? reinterpret_cast<const char*>(lParam) : "", true);
        return 0;
    case EM_LIMITTEXT:
        stateOf(hwnd).limit = wParam ? std::min<size_t>(wParam, MAX_LIMIT) : MAX_LIMIT;
        return 0;
    case EM_GETLIMITTEXT:
        return LRESULT(stateOf(hwnd).limit);
    case EM_GETMODIFY:
        return stateOf(hwnd).modified;
    case EM_SETMODIFY:
        stateOf(hwnd).modified = wParam != 0;
        return 0;
    case EM_SETREADONLY: {
        DWORD style = styleOf(hwnd);
        SetWindowLongA(hwnd, GWL_STYLE, LONG(wParam ? style | ES_READONLY : style & ~DWORD(ES_READONLY)));
        redraw(hwnd);
        return TRUE;
    }
    case EM_SETPASSWORDCHAR: {
        EditState& s = stateOf(hwnd);
        DWORD style = styleOf(hwnd);
        if (wParam) s.password = char(wParam);
        SetWindowLongA(hwnd, GWL_STYLE, LONG(wParam ? style | ES_PASSWORD : style & ~DWORD(ES_PASSWORD)));
        redraw(hwnd);
        return 0;
    }
    case EM_GETPASSWORDCHAR:
        return (styleOf(hwnd) & ES_PASSWORD) ? static_cast<unsigned char>(stateOf(hwnd).password) : 0;
    case EM_LINELENGTH:
        return LRESULT(stateOf(hwnd).text.size());
    case EM_GETLINECOUNT:
        return 1;
    case EM_LINEINDEX:
        return (INT_PTR(wParam) <= 0) ? 0 : -1;
    case EM_GETLINE: {
        // The buffer's first word holds its size; the line is copied without terminator.
        if (!lParam) return 0;
        const EditState& s = stateOf(hwnd);
        WORD size;
        std::memcpy(&size, reinterpret_cast<void*>(lParam), sizeof size);
        size_t n = std::min<size_t>(size, s.text.size());
        std::memcpy(reinterpret_cast<char*>(lParam), s.text.data(), n);
        return LRESULT(n);
    }
    case EM_SETMARGINS: {
        EditState& s = stateOf(hwnd);
        if (wParam & EC_LEFTMARGIN) s.leftMargin = LOWORD(lParam);
        if (wParam & EC_RIGHTMARGIN) s.rightMargin = HIWORD(lParam);
        redraw(hwnd);
        return 0;
    }
    case EM_GETMARGINS: {
        const EditState& s = stateOf(hwnd);
        return MAKELRESULT(s.leftMargin, s.rightMargin);
    }
    case EM_POSFROMCHAR: {
        const EditState& s = stateOf(hwnd);
        size_t at = std::min<size_t>(wParam, s.text.size());
        return MAKELRESULT(s.leftMargin - s.scroll + caretX(hwnd, s, at), 1);
    }
    case EM_CHARFROMPOS:
        return LRESULT(offsetAtX(hwnd, stateOf(hwnd), short(LOWORD(lParam))));
    case EM_SCROLLCARET:
        scrollToCaret(hwnd, stateOf(hwnd));
        redraw(hwnd);
        return TRUE;
    case EM_CANUNDO:
        return FALSE;
    case EM_EMPTYUNDOBUFFER:
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

void registerEditClass() {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = editProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_IBEAM);
    wc.lpszClassName = "Edit";
    RegisterClassA(&wc);
}

}  // namespace screen
