// Soft keyboards: the translation of a key into the current layout's symbol, the menu
// that chooses a layout, and the window that shows the layout and types by mouse.
#include "ui/softkeyboard.h"

#include "core/engine.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include <imm.h>

namespace {

constexpr unsigned char NO_SYMBOL = 0x20;
const char OFF_ITEM[] = "\xB9\xD8\xB1\xD5\xC8\xED\xBC\xFC\xC5\xCC";  // 关闭软键盘

bool hasSymbol(const unsigned char* entry) { return !(entry[0] == NO_SYMBOL && entry[1] == NO_SYMBOL); }

int currentLayout() {
    const int layout = uiState.softLayout;
    return layout >= 0 && layout < SOFT_LAYOUT_COUNT ? layout : 0;
}

// ---- the keyboard picture ----

constexpr int KEY_WIDTH = 28, KEY_HEIGHT = 36, MARGIN = 4;
constexpr int ROWS = 5;
// Key indexes row by row, as the keys lie on a keyboard; each row starts this far right.
constexpr int ROW_KEYS[ROWS][13] = {
    {43, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 40, 38},        // ` 1 ... 0 - =
    {27, 33, 15, 28, 30, 35, 31, 19, 25, 26, 44, 46, 45},  // Q W E R T Y U I O P [ ] backslash
    {11, 29, 14, 16, 17, 18, 20, 21, 22, 37, 47, -1, -1},  // A S D F G H J K L ; '
    {36, 34, 13, 32, 12, 24, 23, 39, 41, 42, -1, -1, -1},  // Z X C V B N M , . /
    {0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},   // Space
};
constexpr int ROW_INDENT[ROWS] = {0, KEY_WIDTH / 2, KEY_WIDTH * 3 / 4, KEY_WIDTH * 5 / 4, KEY_WIDTH * 3};
constexpr int SPACE_WIDTH = KEY_WIDTH * 7;
constexpr int WINDOW_WIDTH = 2 * MARGIN + 13 * KEY_WIDTH + KEY_WIDTH / 2;
constexpr int WINDOW_HEIGHT = 2 * MARGIN + ROWS * KEY_HEIGHT;

RECT keyRect(int row, int column) {
    const int left = MARGIN + ROW_INDENT[row] + column * KEY_WIDTH;
    const int top = MARGIN + row * KEY_HEIGHT;
    const int width = ROW_KEYS[row][column] == 0 ? SPACE_WIDTH : KEY_WIDTH;
    return RECT{left, top, left + width, top + KEY_HEIGHT};
}

void drawSymbol(HDC dc, const unsigned char* entry, int x, int y) {
    if (hasSymbol(entry)) TextOutA(dc, x, y, reinterpret_cast<const char*>(entry), 2);
}

// Delivers a symbol to the application as the key translation would: the messages go
// through the context's message buffer.
void typeSymbol(const unsigned char* entry) {
    HIMC context = uiInputContext();
    INPUTCONTEXT* locked = context ? ImmLockIMC(context) : nullptr;
    if (locked == nullptr) return;
    constexpr DWORD MESSAGES = 3;
    HIMCC buffer = locked->hMsgBuf;
    if (buffer != nullptr && ImmGetIMCCSize(buffer) < MESSAGES * sizeof(TRANSMSG))
        buffer = ImmReSizeIMCC(buffer, MESSAGES * sizeof(TRANSMSG));
    auto* messages = buffer ? static_cast<TRANSMSG*>(ImmLockIMCC(buffer)) : nullptr;
    if (messages == nullptr) {
        ImmUnlockIMC(context);
        return;
    }
    locked->hMsgBuf = buffer;
    messages[0] = TRANSMSG{WM_IME_CHAR, static_cast<WPARAM>(entry[0] << 8 | entry[1]), 1};
    messages[1] = TRANSMSG{WM_IME_STARTCOMPOSITION, 0, 0};
    messages[2] = TRANSMSG{WM_IME_ENDCOMPOSITION, 0, 0};
    locked->dwNumMsgBuf = MESSAGES;
    ImmUnlockIMCC(buffer);
    ImmUnlockIMC(context);
    ImmGenerateMessage(context);
}

bool pressKey(HWND window, int x, int y) {
    const int key = SoftKeyAt(x, y);
    if (key < 0) return false;  // the frame: a drag
    const bool shifted = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const unsigned char* entry = SOFT_SYMBOLS[shifted ? 1 : 0][currentLayout()][key];
    if (!hasSymbol(entry)) {
        MessageBeep(0xFFFFFFFF);
        return true;
    }
    typeSymbol(entry);
    InvalidateRect(window, nullptr, FALSE);
    return true;
}

void keyboardDropped(POINT topLeft) {
    uiState.softKeyboardX = topLeft.x;
    uiState.softKeyboardY = topLeft.y;
}

SIZE keyboardSize() { return SIZE{WINDOW_WIDTH, WINDOW_HEIGHT}; }

const WorkingWindow softKeyboard = {
    .record = &uiState.softKeyboard, .handle = &uiState.softKeyboardWindow, .paint = PaintSoftKeyboard,
    .bufferSize = keyboardSize, .caret = {}, .pressed = pressKey, .dropped = keyboardDropped,
};

void setConversionBit(HIMC context, bool on) {
    DWORD conversion = 0, sentence = 0;
    ImmGetConversionStatus(context, &conversion, &sentence);
    const DWORD wanted = on ? (conversion | IME_CMODE_SOFTKBD) : (conversion & ~DWORD{IME_CMODE_SOFTKBD});
    if (wanted != conversion) ImmSetConversionStatus(context, wanted, sentence);
}

}  // namespace

int SoftKeyIndex(UINT vk) {
    if (vk == VK_SPACE) return 0;
    if (vk >= '0' && vk <= '9') return 1 + static_cast<int>(vk - '0');
    if (vk >= 'A' && vk <= 'Z') return 11 + static_cast<int>(vk - 'A');
    if (vk >= 0xBA && vk <= 0xBF) return 37 + static_cast<int>(vk - 0xBA);
    if (vk == 0xC0) return 43;
    if (vk >= 0xDB && vk <= 0xDE) return 44 + static_cast<int>(vk - 0xDB);
    return 0;
}

int TranslateSoftKey(UINT character, UINT vk, const BYTE* keyState, LPTRANSMSGLIST list, UINT* count) {
    const UINT ch = character & 0xFFFF;
    if (ch < 32 || ch > 126) return 0;
    const bool shifted = keyState != nullptr && (keyState[VK_SHIFT] & 0x80) != 0;
    const unsigned char* entry = SOFT_SYMBOLS[shifted ? 1 : 0][currentLayout()][SoftKeyIndex(vk & 0xFF)];
    const UINT used = *count;
    const UINT room = list != nullptr ? list->uMsgCount : 0;
    if (!hasSymbol(entry) || used > room || room - used < 3) {
        MessageBeep(0xFFFFFFFF);
        return 1;
    }
    list->TransMsg[used] = TRANSMSG{WM_IME_CHAR, static_cast<WPARAM>(entry[0] << 8 | entry[1]), 1};
    list->TransMsg[used + 1] = TRANSMSG{WM_IME_STARTCOMPOSITION, 0, 0};
    list->TransMsg[used + 2] = TRANSMSG{WM_IME_ENDCOMPOSITION, 0, 0};
    *count = used + 3;
    return 1;
}

bool SoftKeyboardKey(UINT vk, bool ctrlOrAlt) {
    if (ctrlOrAlt) return false;
    return vk == VK_SPACE || (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || (vk >= 0xBA && vk <= 0xC0) ||
           (vk >= 0xDB && vk <= 0xDE) || (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE);
}

void TurnSoftKeyboardOn(int layout) {
    HIMC context = uiInputContext();
    if (context == nullptr || ImmLockIMC(context) == nullptr) return;
    uiState.softLayout = static_cast<int16_t>(layout >= 0 && layout < SOFT_LAYOUT_COUNT ? layout : 0);
    // A code half typed would wait behind the symbols; it goes.
    clearCode(&engineContext);
    engineContext.displayLine[0] = '\0';
    engineContext.softKeyboard = IME_CMODE_SOFTKBD;
    setConversionBit(context, true);
    ImmUnlockIMC(context);
    RelayoutComposition();
    ShowSoftKeyboardWindow(true);
}

void TurnSoftKeyboardOff() {
    HIMC context = uiInputContext();
    if (context == nullptr || ImmLockIMC(context) == nullptr) return;
    engineContext.softKeyboard = 0;
    setConversionBit(context, false);
    ImmUnlockIMC(context);
    ShowSoftKeyboardWindow(false);
}

void OpenSoftKeyboardMenu(HWND owner, int x, int y) {
    HMENU bar = LoadMenuA(moduleInstance, MAKEINTRESOURCEA(IDM_SOFT_LAYOUTS));
    HMENU layouts = bar ? GetSubMenu(bar, 0) : nullptr;
    if (layouts == nullptr) {
        if (bar) DestroyMenu(bar);
        return;
    }
    const bool on = engineContext.softKeyboard != 0;
    if (on) {
        AppendMenuA(layouts, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(layouts, MF_STRING, CMD_SOFT_KEYBOARD_OFF, OFF_ITEM);
        CheckMenuItem(layouts, CMD_LAYOUT_FIRST + currentLayout(), MF_BYCOMMAND | MF_CHECKED);
    }
    SetMenuDefaultItem(layouts, CMD_LAYOUT_FIRST + currentLayout(), FALSE);
    POINT origin{x, y};
    ClientToScreen(owner, &origin);
    // The choice comes back here: as a command it would also mean the status menu's
    // first item, which opens the web site.
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(layouts, TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN | TPM_LEFTALIGN,
                                                         origin.x, origin.y, 0, owner, nullptr));
    DestroyMenu(bar);
    if (chosen == CMD_SOFT_KEYBOARD_OFF) {
        TurnSoftKeyboardOff();
    } else if (chosen >= CMD_LAYOUT_FIRST && chosen <= CMD_LAYOUT_LAST) {
        const int layout = static_cast<int>(chosen - CMD_LAYOUT_FIRST);
        if (on && layout == currentLayout())
            TurnSoftKeyboardOff();
        else
            TurnSoftKeyboardOn(layout);
    }
}

void ShowSoftKeyboardWindow(bool show) {
    HWND& window = uiState.softKeyboardWindow;
    if (!show) {
        if (WindowExists(window)) ShowWindow(window, SW_HIDE);
        return;
    }
    if (!WindowExists(window)) {
        if (uiState.softKeyboardX == 0 && uiState.softKeyboardY == 0) {
            // First shown above the status bar's corner of the work area.
            RECT work{};
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
            uiState.softKeyboardX = work.right - WINDOW_WIDTH;
            uiState.softKeyboardY = work.bottom - STATUS_HEIGHT - WINDOW_HEIGHT;
        }
        window = CreateWindowExA(WS_EX_TOPMOST, SOFT_KEYBOARD_CLASS, "", WS_POPUP, uiState.softKeyboardX,
                                 uiState.softKeyboardY, WINDOW_WIDTH, WINDOW_HEIGHT, windows.uiHostWindow, nullptr,
                                 moduleInstance, nullptr);
        if (window == nullptr) return;
    }
    InvalidateRect(window, nullptr, FALSE);
    ShowWindow(window, SW_SHOWNA);
    UpdateWindow(window);
}

void DestroySoftKeyboardWindow() { DestroyKeptWindow(uiState.softKeyboardWindow); }

int SoftKeyAt(int x, int y) {
    for (int row = 0; row < ROWS; ++row)
        for (int column = 0; column < 13 && ROW_KEYS[row][column] >= 0; ++column) {
            const RECT r = keyRect(row, column);
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return ROW_KEYS[row][column];
        }
    return -1;
}

// Each key shows its shifted symbol at the top left and its own symbol below, as the
// caps of a keyboard show their two signs.
void PaintSoftKeyboard(HDC dc, const RECT& client) {
    FillFace(dc, client);
    DrawRaisedFrame(dc, client.left, client.top, client.right, client.bottom);
    HFONT font = CreateUiFont();
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    const int layout = currentLayout();
    for (int row = 0; row < ROWS; ++row)
        for (int column = 0; column < 13 && ROW_KEYS[row][column] >= 0; ++column) {
            const RECT r = keyRect(row, column);
            const int key = ROW_KEYS[row][column];
            DrawRaisedFrame(dc, r.left, r.top, r.right, r.bottom);
            SetTextColor(dc, RGB(0, 0, 160));
            drawSymbol(dc, SOFT_SYMBOLS[1][layout][key], r.left + 2, r.top + 2);
            SetTextColor(dc, RGB(0, 0, 0));
            drawSymbol(dc, SOFT_SYMBOLS[0][layout][key], r.right - 18, r.bottom - 18);
        }
    SelectObject(dc, old);
    DeleteObject(font);
}

LRESULT CALLBACK SoftKeyboardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WorkingWindowProc(softKeyboard, window, message, wParam, lParam);
}
