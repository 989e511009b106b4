// The dialog manager: dialogs made from templates (the module's resources or memory), the
// "#32770" class and its default procedure, modal loops that disable the owner until
// EndDialog, and the keyboard interface of IsDialogMessageA (Tab, arrows in a group,
// Enter for the default button, Esc for Cancel).
#include "screen_state.h"

#include <winapi_desktop.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace screen {

namespace {

std::map<HWND, DialogState>& states() {
    static std::map<HWND, DialogState> all;
    return all;
}

WinapiPerson person = nullptr;

// Windows' average character width of a font: the extent of the 52 Latin letters, halved
// and rounded over 26; the height is the font's cell.
void baseUnitsOf(HFONT font, int& x, int& y) {
    HDC dc = CreateCompatibleDC(nullptr);  // measures without composing the screen
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    GetTextExtentPoint32A(dc, letters, 52, &extent);
    SelectObject(dc, old);
    DeleteDC(dc);
    x = (extent.cx / 26 + 1) / 2;
    y = tm.tmHeight;
    if (x <= 0) x = 1;
    if (y <= 0) y = 1;
}

HWND topLevelOf(HWND hwnd) {
    Window* w = findWindow(hwnd);
    while (w && w->parent) w = findWindow(w->parent);
    return w ? w->handle : nullptr;
}

std::vector<HWND> childrenOf(HWND dialog) {
    std::vector<HWND> out;
    for (auto& [h, w] : windows())
        if (w->parent == dialog && !w->destroying) out.push_back(w->handle);
    return out;  // creation order: handles only grow
}

bool takesFocus(HWND control) {
    Window* w = findWindow(control);
    return w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

UINT dialogCode(HWND control) {
    return UINT(sendMessage(control, WM_GETDLGCODE, 0, 0));
}

void record(const char* kind, HWND dialog, const DialogState& s, long value) {
    Window* w = findWindow(dialog);
    std::string title = w ? w->title : std::string();
    recordEvent(kind, title, s.modal ? "modal" : "modeless", value);
    winapiRecordEvent(kind, std::string(kind) == "dialog-close" ? title + " " + std::to_string(value) : title);
}

// A control's text with its '&' prefix: the character after a single '&', lower case.
int mnemonicOf(HWND control) {
    char text[256];
    int n = GetWindowTextA(control, text, sizeof text);
    for (int i = 0; i + 1 < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE) {
            ++i;
            continue;
        }
        if (c != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return std::tolower(static_cast<unsigned char>(text[i + 1]));
    }
    return 0;
}

}  // namespace

DialogState* findDialog(HWND dialog) {
    auto it = states().find(dialog);
    return it == states().end() ? nullptr : &it->second;
}

void setPerson(WinapiPerson p) { person = p; }

// While a push button has the focus it is the default button; when anything else has it,
// the dialog's own default is again.
void fixDefaultButton(HWND dialog, HWND focus) {
    DialogState* s = findDialog(dialog);
    if (!s || !IsChild(dialog, focus)) return;
    UINT code = dialogCode(focus);
    HWND wanted = (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) ? focus
                  : s->defId                                          ? GetDlgItem(dialog, s->defId)
                                                                      : nullptr;
    for (HWND child : childrenOf(dialog)) {
        if (child == wanted) continue;
        if (dialogCode(child) & DLGC_DEFPUSHBUTTON) sendMessage(child, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    if (wanted && (dialogCode(wanted) & DLGC_UNDEFPUSHBUTTON))
        sendMessage(wanted, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// Focus moved by the dialog manager: an edit field takes it with all its text selected.
static void focusControl(HWND dialog, HWND control) {
    if (!control || !findWindow(control)) return;
    if (dialogCode(control) & DLGC_HASSETSEL) sendMessage(control, EM_SETSEL, 0, -1);
    SetFocus(control);
    fixDefaultButton(dialog, control);
}

HWND createDialog(HINSTANCE instance, const void* data, size_t size, HWND owner, DLGPROC proc,
                  LPARAM param, bool modal, bool messageBox) {
    WinapiDialogTemplate t;
    if (!winapiParseDialogTemplate(data, size, &t)) return nullptr;
    DialogState state;
    state.modal = modal;
    state.messageBox = messageBox;
    if (t.hasFont) {
        LOGFONTA lf{};
        lf.lfHeight = -MulDiv(t.pointSize, 96, 72);
        lf.lfWeight = t.weight ? t.weight : FW_NORMAL;
        lf.lfItalic = t.italic;
        lf.lfCharSet = t.charset ? t.charset : DEFAULT_CHARSET;
        std::strncpy(lf.lfFaceName, t.faceName.c_str(), LF_FACESIZE - 1);
        state.font = CreateFontIndirectA(&lf);
        state.ownsFont = state.font != nullptr;
    }
    if (!state.font) state.font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    baseUnitsOf(state.font, state.baseX, state.baseY);

    DWORD style = t.style;
    DWORD exStyle = t.exStyle;
    if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
    if (style & DS_SYSMODAL) exStyle |= WS_EX_TOPMOST;
    bool child = (style & WS_CHILD) != 0;
    HWND parentOrOwner = child ? owner : topLevelOf(owner);
    // The template places the client area, relative to the owner's client area unless it
    // asks for screen coordinates; the frame lies around it.
    RECT frame{0, 0, MulDiv(t.cx, state.baseX, 4), MulDiv(t.cy, state.baseY, 8)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    POINT pos{frame.left + MulDiv(t.x, state.baseX, 4), frame.top + MulDiv(t.y, state.baseY, 8)};
    if (!child) {
        RECT work = workArea();
        if (style & DS_CENTER) {
            pos = POINT{work.left + (work.right - work.left - width) / 2, work.top + (work.bottom - work.top - height) / 2};
        } else if (!(style & DS_ABSALIGN) && parentOrOwner) {
            POINT o{0, 0};
            ClientToScreen(parentOrOwner, &o);
            pos.x += o.x;
            pos.y += o.y;
        }
        // Kept on the work area, as Windows keeps a dialog on its monitor.
        if (pos.x + width > work.right) pos.x = work.right - width;
        if (pos.y + height > work.bottom) pos.y = work.bottom - height;
        pos.x = std::max<LONG>(pos.x, work.left);
        pos.y = std::max<LONG>(pos.y, work.top);
    }
    const char* className = t.className.empty() ? "#32770" : t.className.c_str();
    HWND dialog = CreateWindowExA(exStyle, className, t.title.c_str(), style & ~DWORD(WS_VISIBLE), pos.x, pos.y,
                                  width, height, parentOrOwner, nullptr, instance, nullptr);
    if (!dialog) {
        if (state.ownsFont) DeleteObject(state.font);
        return nullptr;
    }
    states()[dialog] = state;
    SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    sendMessage(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);

    for (const WinapiDialogItem& item : t.items) {
        if (!findWindow(dialog)) return nullptr;
        DialogState& s = states()[dialog];
        // A resource id as a title travels as 0xFF and the id's two bytes, as the ANSI
        // functions pass it.
        char ordinalTitle[4] = {'\xFF', char(item.titleOrdinal & 0xFF), char(item.titleOrdinal >> 8), 0};
        const char* title = item.titleIsOrdinal ? ordinalTitle : item.title.c_str();
        // Windows 95 and later draw a control's border as a sunken 3D edge.
        DWORD itemStyle = item.style | WS_CHILD, itemEx = item.exStyle | WS_EX_NOPARENTNOTIFY;
        if (itemStyle & WS_BORDER) {
            itemStyle &= ~DWORD(WS_BORDER);
            itemEx |= WS_EX_CLIENTEDGE;
        }
        HWND control = CreateWindowExA(
            itemEx, item.className.c_str(), title, itemStyle,
            MulDiv(item.x, s.baseX, 4), MulDiv(item.y, s.baseY, 8), MulDiv(item.cx, s.baseX, 4),
            MulDiv(item.cy, s.baseY, 8), dialog, reinterpret_cast<HMENU>(uintptr_t(item.id)), instance,
            item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data()));
        if (!control) {
            if (style & DS_NOFAILCREATE) continue;
            DestroyWindow(dialog);
            return nullptr;
        }
        sendMessage(control, WM_SETFONT, reinterpret_cast<WPARAM>(s.font), FALSE);
        if (!s.defId && (dialogCode(control) & DLGC_DEFPUSHBUTTON)) s.defId = int(item.id);
    }
    if (!findWindow(dialog)) return nullptr;

    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    LRESULT init = sendMessage(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!findWindow(dialog)) return nullptr;
    if (init) {
        first = GetNextDlgTabItem(dialog, nullptr, FALSE);
        focusControl(dialog, first);
    }
    if (DialogState* s = findDialog(dialog)) {
        if (!GetFocus() || !IsChild(dialog, GetFocus())) s->savedFocus = first;
        else s->savedFocus = GetFocus();
        if (!messageBox) record("dialog-open", dialog, *s, 0);
    }
    if (t.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}

// The modal loop: messages go through IsDialogMessageA until EndDialog. When nothing is
// waiting, the owner hears WM_ENTERIDLE and the desktop's person may act; with nobody
// acting, the dialog is closed as a person would (kind-specific, by `idle`).
INT_PTR runModal(HWND dialog, HWND owner, int kind, bool (*nobody)(HWND, int round)) {
    int round = 0;
    for (;;) {
        DialogState* s = findDialog(dialog);
        if (!s || s->ended) break;
        MSG m;
        if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(int(m.wParam));
                break;
            }
            if (!IsDialogMessageA(dialog, &m)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            continue;
        }
        Window* w = findWindow(dialog);
        if (owner && findWindow(owner) && w && !(w->style & DS_NOIDLEMSG))
            sendMessage(owner, WM_ENTERIDLE, WPARAM(kind), reinterpret_cast<LPARAM>(dialog));
        if (!(s = findDialog(dialog)) || s->ended || PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) continue;
        if (person && person(dialog, kind)) continue;
        if (!(s = findDialog(dialog)) || s->ended || PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) continue;
        if (!nobody(dialog, round++)) {
            // Nothing closed it: end it here rather than wait forever.
            EndDialog(dialog, IDCANCEL);
            recordEvent("dialog-person", "end", "", IDCANCEL);
        }
    }
    DialogState* s = findDialog(dialog);
    return s ? s->result : -1;
}

}  // namespace screen

using namespace screen;

// ---- the "#32770" class ----

static LRESULT CALLBACK dialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(hwnd, msg, wParam, lParam);
}

namespace screen {
void registerDialogClass() {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_SAVEBITS | CS_DBLCLKS;
    wc.lpfnWndProc = dialogClassProc;
    wc.cbWndExtra = std::max<int>(DLGWINDOWEXTRA, int(DWLP_USER + sizeof(LONG_PTR)));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "#32770";
    RegisterClassA(&wc);
}

// With nobody at the desktop a dialog is closed as a person closes one: Esc first, then
// its close box.
static bool closeAsPerson(HWND dialog, int round) {
    if (round == 0) {
        recordEvent("dialog-person", "Esc", "", 0);
        HWND focus = GetFocus();
        HWND target = focus && IsChild(dialog, focus) ? focus : dialog;
        PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(target, WM_KEYUP, VK_ESCAPE, LPARAM(0xC0000001));
        return true;
    }
    if (round == 1) {
        recordEvent("dialog-person", "close", "", 0);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    return false;
}
}  // namespace screen

static INT_PTR runDialogBox(HINSTANCE instance, const void* data, size_t size, HWND owner, DLGPROC proc,
                            LPARAM param) {
    HWND top = topLevelOf(owner);
    HWND dialog = createDialog(instance, data, size, owner, proc, param, true, false);
    if (!dialog) return -1;
    DialogState* s = findDialog(dialog);
    if (top && IsWindowEnabled(top) && !(GetWindowLongA(dialog, GWL_STYLE) & WS_CHILD)) {
        EnableWindow(top, FALSE);
        s = findDialog(dialog);
        if (s) {
            s->owner = top;
            s->ownerDisabled = true;
        }
    }
    if (findWindow(dialog) && !IsWindowVisible(dialog)) ShowWindow(dialog, SW_SHOWNORMAL);
    if (findWindow(dialog)) UpdateWindow(dialog);
    INT_PTR result = runModal(dialog, top, MSGF_DIALOGBOX, closeAsPerson);
    if ((s = findDialog(dialog))) {
        if (s->ownerDisabled && findWindow(s->owner)) EnableWindow(s->owner, TRUE);
        s->ownerDisabled = false;
        record("dialog-close", dialog, *s, long(result));
        s->closeRecorded = true;
    }
    DestroyWindow(dialog);
    if (top && findWindow(top)) SetActiveWindow(top);
    return result;
}

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialog, HWND owner, DLGPROC proc,
                                       LPARAM param) {
    // A template in memory carries no size: it is read as far as it goes.
    return runDialogBox(instance, dialog, size_t(1) << 20, owner, proc, param);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    DWORD size;
    const unsigned char* data = resourceBytes(instance, name, RT_DIALOG, size);
    if (!data) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    return runDialogBox(instance, data, size, owner, proc, param);
}

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialog, HWND owner, DLGPROC proc,
                                       LPARAM param) {
    return createDialog(instance, dialog, size_t(1) << 20, owner, proc, param, false, false);
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    DWORD size;
    const unsigned char* data = resourceBytes(instance, name, RT_DIALOG, size);
    if (!data) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return createDialog(instance, data, size, owner, proc, param, false, false);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Window* w = findWindow(dialog);
    if (!w) return FALSE;
    if (DialogState* s = findDialog(dialog)) {
        s->ended = true;
        s->result = result;
        // The owner comes back before the dialog goes, so activation returns to it.
        if (s->ownerDisabled && findWindow(s->owner)) {
            EnableWindow(s->owner, TRUE);
            s->ownerDisabled = false;
        }
    }
    HWND focus = GetFocus();
    bool hadFocus = focus && (focus == dialog || IsChild(dialog, focus));
    if (IsWindowVisible(dialog))
        SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (hadFocus) {
        HWND owner = GetWindow(dialog, GW_OWNER);
        SetFocus(owner && findWindow(owner) ? owner : nullptr);
    }
    PostMessageA(dialog, WM_NULL, 0, 0);
    return TRUE;
}

LRESULT WINAPI DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!findWindow(hwnd)) return 0;
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hwnd, DWLP_DLGPROC));
    if (proc) {
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        INT_PTR handled = proc(hwnd, msg, wParam, lParam);
        if (!findWindow(hwnd)) return handled;
        if (handled) {
            switch (msg) {
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
            case WM_COMPAREITEM:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
            case WM_QUERYDRAGICON:
            case WM_INITDIALOG:
                return handled;
            }
            return GetWindowLongPtrA(hwnd, DWLP_MSGRESULT);
        }
    }
    DialogState* s = findDialog(hwnd);
    switch (msg) {
    case WM_INITDIALOG:
        return 0;
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(sendMessage(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_3DFACE));
        return 1;
    }
    case WM_SHOWWINDOW:
        if (!wParam && s) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus)) s->savedFocus = focus;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_ACTIVATE:
        if (!s) return DefWindowProcA(hwnd, msg, wParam, lParam);
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus)) s->savedFocus = focus;
        } else {
            HWND target = s->savedFocus && IsChild(hwnd, s->savedFocus) ? s->savedFocus
                                                                        : GetNextDlgTabItem(hwnd, nullptr, FALSE);
            if (target) focusControl(hwnd, target);
        }
        return 0;
    case WM_SETFOCUS:
        if (s && s->savedFocus && IsChild(hwnd, s->savedFocus)) SetFocus(s->savedFocus);
        return 0;
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(hwnd, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel))
            MessageBeep(0);
        else
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_NEXTDLGCTL: {
        HWND target;
        if (LOWORD(lParam))
            target = reinterpret_cast<HWND>(wParam);
        else
            target = GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
        if (target && IsChild(hwnd, target)) focusControl(hwnd, target);
        return 0;
    }
    case DM_GETDEFID:
        return s && s->defId ? MAKELRESULT(s->defId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        if (s) {
            HWND old = s->defId ? GetDlgItem(hwnd, s->defId) : nullptr;
            if (old && (dialogCode(old) & DLGC_DEFPUSHBUTTON)) sendMessage(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            s->defId = int(wParam & 0xFFFF);
            HWND now = s->defId ? GetDlgItem(hwnd, s->defId) : nullptr;
            if (now && (dialogCode(now) & DLGC_UNDEFPUSHBUTTON)) sendMessage(now, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        }
        return TRUE;
    case WM_GETFONT:
        return s ? reinterpret_cast<LRESULT>(s->font) : DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_SETFONT:
        if (s) s->font = reinterpret_cast<HFONT>(wParam);
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_NCDESTROY:
        if (s) {
            if (!s->closeRecorded && !s->messageBox) record("dialog-close", hwnd, *s, long(s->result));
            if (s->ownerDisabled && findWindow(s->owner)) EnableWindow(s->owner, TRUE);
            if (s->ownsFont) DeleteObject(s->font);
            states().erase(hwnd);
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG msg) {
    if (!msg || !findWindow(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    HWND focus = msg->hwnd;
    switch (msg->message) {
    case WM_KEYDOWN: {
        UINT code = dialogCode(focus);
        if (code & DLGC_WANTMESSAGE) break;
        switch (msg->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB) break;
            sendMessage(dialog, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
            return TRUE;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: {
            if (code & DLGC_WANTARROWS) break;
            bool previous = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
            HWND next = GetNextDlgGroupItem(dialog, focus, previous);
            if (!next || next == focus) return TRUE;
            sendMessage(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
            // Arrows through a group of radio buttons move the choice with the focus.
            if ((dialogCode(next) & DLGC_RADIOBUTTON) && sendMessage(next, BM_GETCHECK, 0, 0) != BST_CHECKED)
                sendMessage(next, BM_CLICK, 0, 0);
            return TRUE;
        }
        case VK_RETURN: {
            int id = IDOK;
            HWND button = nullptr;
            if ((code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) && IsWindowEnabled(focus)) {
                id = GetDlgCtrlID(focus);
                button = focus;
            } else {
                LRESULT def = sendMessage(dialog, DM_GETDEFID, 0, 0);
                if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
                button = GetDlgItem(dialog, id);
            }
            if (button && !IsWindowEnabled(button)) {
                MessageBeep(0);
                return TRUE;
            }
            sendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            return TRUE;
        }
        case VK_ESCAPE: {
            HWND cancel = GetDlgItem(dialog, IDCANCEL);
            if (cancel && !IsWindowEnabled(cancel)) return TRUE;
            sendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
            return TRUE;
        }
        }
        break;
    }
    case WM_CHAR:
    case WM_SYSCHAR: {
        UINT code = dialogCode(focus);
        if (msg->message == WM_CHAR && (code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE))) break;
        if (msg->wParam == '\t' || msg->wParam == '\r' || msg->wParam == 0x1B) return TRUE;
        // A mnemonic: the control whose text marks this letter with '&' (a label hands
        // the focus on to the control after it).
        int letter = std::tolower(int(msg->wParam & 0xFF));
        for (HWND child : childrenOf(dialog)) {
            if (!takesFocus(child) || mnemonicOf(child) != letter) continue;
            UINT childCode = dialogCode(child);
            if (childCode & DLGC_STATIC) {
                std::vector<HWND> all = childrenOf(dialog);
                auto it = std::find(all.begin(), all.end(), child);
                for (++it; it != all.end(); ++it)
                    if (takesFocus(*it) && !(dialogCode(*it) & DLGC_STATIC)) {
                        sendMessage(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(*it), TRUE);
                        break;
                    }
            } else {
                sendMessage(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(child), TRUE);
                if (childCode & DLGC_BUTTON) sendMessage(child, BM_CLICK, 0, 0);
            }
            return TRUE;
        }
        if (msg->message == WM_SYSCHAR) break;
        return TRUE;  // a character nobody wants is swallowed
    }
    }
    TranslateMessage(msg);
    DispatchMessageA(msg);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    for (HWND child : childrenOf(dialog))
        if (Window* w = findWindow(child); w && UINT(w->id) == UINT(id)) return child;
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND control) {
    Window* w = findWindow(control);
    return w && w->parent ? int(w->id) : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextA(control, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        if (text && size > 0) text[0] = 0;
        return 0;
    }
    return UINT(GetWindowTextA(control, text, size));
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    wsprintfA(text, isSigned ? "%d" : "%u", value);
    return SetDlgItemTextA(dialog, id, text);
}

// Leading spaces and a sign (for signed values) are allowed; anything after the digits
// but spaces, or a value out of range, is not a number.
UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated) *translated = FALSE;
    char text[64];
    if (!GetDlgItemTextA(dialog, id, text, sizeof text)) return 0;
    const char* p = text;
    while (*p == ' ') ++p;
    bool negative = false;
    if (isSigned && (*p == '-' || *p == '+')) negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
    unsigned long long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        value = value * 10 + unsigned(*p++ - '0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    while (*p == ' ') ++p;
    if (*p) return 0;
    if (isSigned && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
    if (translated) *translated = TRUE;
    return negative ? UINT(-static_cast<long long>(value)) : UINT(value);
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? sendMessage(control, msg, wParam, lParam) : 0;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return FALSE;
    sendMessage(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? UINT(sendMessage(control, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check) {
    bool found = false;
    for (HWND child : childrenOf(dialog)) {
        int id = GetDlgCtrlID(child);
        if (id < first || id > last) continue;
        sendMessage(child, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
        found = found || id == check;
    }
    return found;
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    DialogState* s = findDialog(dialog);
    if (!s || !rect) return FALSE;
    rect->left = MulDiv(rect->left, s->baseX, 4);
    rect->right = MulDiv(rect->right, s->baseX, 4);
    rect->top = MulDiv(rect->top, s->baseY, 8);
    rect->bottom = MulDiv(rect->bottom, s->baseY, 8);
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits(void) {
    int x, y;
    baseUnitsOf(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)), x, y);
    return MAKELONG(x, y);
}

HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> all = childrenOf(dialog);
    std::vector<HWND> stops;
    for (HWND c : all)
        if (takesFocus(c) && (GetWindowLongA(c, GWL_STYLE) & WS_TABSTOP)) stops.push_back(c);
    if (stops.empty()) return nullptr;
    if (!control || !IsChild(dialog, control)) return previous ? stops.back() : stops.front();
    // Search from the control's place among all children, so a control that is not a tab
    // stop itself still has a next one.
    auto at = std::find(all.begin(), all.end(), control);
    size_t n = all.size(), start = size_t(at - all.begin());
    for (size_t step = 1; step <= n; ++step) {
        size_t i = previous ? (start + n - step) % n : (start + step) % n;
        HWND c = all[i];
        if (takesFocus(c) && (GetWindowLongA(c, GWL_STYLE) & WS_TABSTOP)) return c;
    }
    return control;
}

HWND WINAPI GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> all = childrenOf(dialog);
    if (all.empty()) return nullptr;
    auto at = std::find(all.begin(), all.end(), control);
    if (at == all.end()) return all.front();
    // The group: from the nearest control with WS_GROUP at or before this one, up to the
    // next control with WS_GROUP.
    size_t index = size_t(at - all.begin());
    size_t first = index;
    while (first > 0 && !(GetWindowLongA(all[first], GWL_STYLE) & WS_GROUP)) --first;
    size_t last = index + 1;
    while (last < all.size() && !(GetWindowLongA(all[last], GWL_STYLE) & WS_GROUP)) ++last;
    size_t n = last - first;
    for (size_t step = 1; step < n; ++step) {
        size_t offset = previous ? (index - first + n - step) % n : (index - first + step) % n;
        HWND c = all[first + offset];
        if (takesFocus(c)) return c;
    }
    return control;
}

void winapiSetPerson(WinapiPerson p) { screen::setPerson(p); }
