// MessageBoxA as a real dialog: the icon, the text, the buttons of its type (Chinese
// Windows' texts), run modally by the dialog manager. A person answers it with the
// keyboard or the mouse; a script answers it ahead of time (winapiPushMessageBoxAnswer),
// and with nobody there it takes its first button. Every box is recorded with its answer.
#include "controls.h"

#include <winapi_desktop.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace screen {

bool takeBoxAnswer(int& answer);
std::u16string gbkToUtf16(const char* gbk);

namespace {

struct BoxButton {
    int id;
    const char* text;  // GBK
};

// 确定, 取消, 是(&Y), 否(&N), 终止(&A), 重试(&R), 忽略(&I)
constexpr BoxButton OK_BUTTON{IDOK, "\xC8\xB7\xB6\xA8"};
constexpr BoxButton CANCEL_BUTTON{IDCANCEL, "\xC8\xA1\xCF\xFB"};
constexpr BoxButton YES_BUTTON{IDYES, "\xCA\xC7(&Y)"};
constexpr BoxButton NO_BUTTON{IDNO, "\xB7\xF1(&N)"};
constexpr BoxButton ABORT_BUTTON{IDABORT, "\xD6\xD5\xD6\xB9(&A)"};
constexpr BoxButton RETRY_BUTTON{IDRETRY, "\xD6\xD8\xCA\xD4(&R)"};
constexpr BoxButton IGNORE_BUTTON{IDIGNORE, "\xBA\xF6\xC2\xD4(&I)"};

std::vector<BoxButton> buttonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {OK_BUTTON, CANCEL_BUTTON};
    case MB_ABORTRETRYIGNORE: return {ABORT_BUTTON, RETRY_BUTTON, IGNORE_BUTTON};
    case MB_YESNOCANCEL: return {YES_BUTTON, NO_BUTTON, CANCEL_BUTTON};
    case MB_YESNO: return {YES_BUTTON, NO_BUTTON};
    case MB_RETRYCANCEL: return {RETRY_BUTTON, CANCEL_BUTTON};
    }
    return {OK_BUTTON};
}

LPCSTR iconOf(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return IDI_HAND;
    case MB_ICONQUESTION: return IDI_QUESTION;
    case MB_ICONEXCLAMATION: return IDI_EXCLAMATION;
    case MB_ICONASTERISK: return IDI_ASTERISK;
    }
    return nullptr;
}

struct BoxRequest {
    const char* text;
    UINT type;
};

// Layout in the font's dialog units, as Windows lays a message box out: margins of 7,
// buttons of 50 x 14 with 4 between them, centred under the icon and the text.
void layout(HWND box, const BoxRequest& request) {
    HFONT font = controlFont(box);
    RECT units{7, 7, 50, 14};
    MapDialogRect(box, &units);
    int margin = units.left, buttonWidth = units.right, buttonHeight = units.bottom;
    RECT gapRect{4, 0, 0, 0};
    MapDialogRect(box, &gapRect);
    int gap = gapRect.left;
    std::vector<BoxButton> buttons = buttonsOf(request.type);
    LPCSTR iconName = iconOf(request.type);

    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, font);
    // The text wraps at three quarters of the screen's width.
    RECT text{0, 0, GetSystemMetrics(SM_CXSCREEN) * 3 / 4, 0};
    const char* body = request.text ? request.text : "";
    DrawTextA(dc, body, -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    for (const BoxButton& b : buttons) {
        SIZE size{};
        GetTextExtentPoint32A(dc, b.text, int(std::strlen(b.text)), &size);
        buttonWidth = std::max<int>(buttonWidth, size.cx + 2 * margin);
    }
    SelectObject(dc, old);
    ReleaseDC(box, dc);

    int iconSize = iconName ? 32 : 0;
    int textLeft = margin + (iconName ? iconSize + margin : 0);
    int textWidth = text.right - text.left, textHeight = text.bottom - text.top;
    int contentHeight = std::max(iconSize, textHeight);
    int textTop = margin + (contentHeight - textHeight) / 2;
    int rowWidth = int(buttons.size()) * buttonWidth + int(buttons.size() - 1) * gap;
    int clientWidth = std::max(textLeft + textWidth + margin, rowWidth + 2 * margin);
    int buttonTop = margin + contentHeight + margin;
    int clientHeight = buttonTop + buttonHeight + margin;

    HINSTANCE instance = nullptr;
    if (iconName) {
        HWND icon = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_ICON, margin, margin, iconSize,
                                    iconSize, box, reinterpret_cast<HMENU>(uintptr_t(0xFFFF)), instance, nullptr);
        SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, iconName)), 0);
    }
    HWND label = CreateWindowExA(0, "Static", body, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textLeft, textTop,
                                 textWidth, textHeight, box, reinterpret_cast<HMENU>(uintptr_t(0xFFFF)), instance, nullptr);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int defaultIndex = std::min<int>(int((request.type & MB_DEFMASK) >> 8), int(buttons.size()) - 1);
    int x = (clientWidth - rowWidth) / 2;
    HWND focus = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (int(i) == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0) style |= WS_GROUP;
        HWND button = CreateWindowExA(0, "Button", buttons[i].text, style, x, buttonTop, buttonWidth, buttonHeight, box,
                                      reinterpret_cast<HMENU>(uintptr_t(buttons[i].id)), instance, nullptr);
        SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (int(i) == defaultIndex) focus = button;
        x += buttonWidth + gap;
    }
    if (DialogState* s = findDialog(box)) s->defId = buttons[size_t(std::max(defaultIndex, 0))].id;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongA(box, GWL_STYLE)), FALSE, DWORD(GetWindowLongA(box, GWL_EXSTYLE)));
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(box, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (focus) SendMessageA(box, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
}

INT_PTR CALLBACK boxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const auto* request = reinterpret_cast<const BoxRequest*>(lParam);
        SetWindowLongPtrA(box, DWLP_USER, LONG_PTR(request->type));
        layout(box, *request);
        return FALSE;  // the focus is on the default button already
    }
    case WM_COMMAND: {
        UINT type = UINT(GetWindowLongPtrA(box, DWLP_USER));
        int id = LOWORD(wParam);
        bool scripted = HIWORD(wParam) == 0xFFFF;
        if (scripted) {
            EndDialog(box, id);
            return TRUE;
        }
        if (id == IDCANCEL && !GetDlgItem(box, IDCANCEL)) {
            // Esc and the close box answer Cancel only when there is one, OK when alone.
            if ((type & MB_TYPEMASK) == MB_OK) EndDialog(box, IDOK);
            return TRUE;
        }
        if (GetDlgItem(box, id)) EndDialog(box, id);
        return TRUE;
    }
    }
    return FALSE;
}

// A classic template of an empty box: popup, caption, system menu, modal frame, the
// message font (宋体 9 points); the contents are laid out when it opens.
std::vector<unsigned char> emptyBoxTemplate(const char* caption) {
    std::vector<unsigned char> t;
    auto put16 = [&](unsigned v) {
        t.push_back(static_cast<unsigned char>(v & 0xFF));
        t.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    };
    auto put32 = [&](DWORD v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    auto putText = [&](const std::u16string& s) {
        for (char16_t c : s) put16(c);
        put16(0);
    };
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    put32(style);
    put32(0);
    put16(0);  // no items
    for (int i = 0; i < 4; ++i) put16(0);
    put16(0);  // no menu
    put16(0);  // the dialog class
    putText(gbkToUtf16(caption));
    put16(9);
    putText(u"\u5B8B\u4F53");  // 宋体
    return t;
}

// With nobody answering, a box takes its first button.
bool answerForNobody(HWND box, int round) {
    if (round > 0) return false;
    HWND first = GetNextDlgTabItem(box, nullptr, FALSE);
    int id = first ? GetDlgCtrlID(first) : IDOK;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, 0xFFFF), 0);
    return true;
}

}  // namespace

}  // namespace screen

using namespace screen;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    // Windows' own caption for a box without one.
    const char* title = caption ? caption : "\xB4\xED\xCE\xF3";  // 错误
    BoxRequest request{text, type};
    std::vector<unsigned char> t = emptyBoxTemplate(title);
    HWND top = owner;
    while (Window* w = findWindow(top)) {
        if (!w->parent) break;
        top = w->parent;
    }
    HWND box = createDialog(nullptr, t.data(), t.size(), owner, boxProc, reinterpret_cast<LPARAM>(&request), true, true);
    int answer = IDOK;
    if (box) {
        // Scripted answers are what the person will do: the first waiting one is given.
        int scripted;
        if (takeBoxAnswer(scripted)) PostMessageA(box, WM_COMMAND, MAKEWPARAM(scripted, 0xFFFF), 0);
        if (top && IsWindowEnabled(top)) {
            EnableWindow(top, FALSE);
            if (DialogState* s = findDialog(box)) {
                s->owner = top;
                s->ownerDisabled = true;
            }
        }
        ShowWindow(box, SW_SHOWNORMAL);
        UpdateWindow(box);
        answer = int(runModal(box, top, MSGF_MESSAGEBOX, answerForNobody));
        if (DialogState* s = findDialog(box)) {
            if (s->ownerDisabled && findWindow(s->owner)) EnableWindow(s->owner, TRUE);
            s->ownerDisabled = false;
        }
        DestroyWindow(box);
        if (top && findWindow(top)) SetActiveWindow(top);
    }
    recordEvent("messagebox", text ? text : "", caption ? caption : "", answer);
    winapiRecordEvent("messagebox", text ? text : "");
    return answer;
}
