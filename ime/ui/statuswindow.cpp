// The status bar: four picture buttons (Chinese/English, the menu, punctuation, width),
// drag-to-move by its border, and the popup menu of the input method.
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include "core/engine.h"
#include "webaddress/keyworddialog.h"
#include "webaddress/webaddress.h"
#include "webaddress/webaddressdialog.h"
#include <imedev.h>
#include "ui/userphrasedialog.h"
#include "ui/softkeyboard.h"

// Our own site, opened by the first menu item (the same address the pictures give).
static constexpr char BROWSER_COMMAND[] =
    "C:\\Program Files\\Internet Explorer\\iexplore.exe http://qx.example.org/";

// Like every menu action, a layout belongs to an application: without one nothing changes.
void SelectSoftLayout(int layout) {
    HIMC context = uiInputContext();
    if (context == nullptr || ImmLockIMC(context) == nullptr) return;
    uiState.softLayout = static_cast<int16_t>(layout);
    ImmUnlockIMC(context);
}

static bool insideRect(const RECT& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

void CreateStatusWindow() {
    if (WindowExists(engineContext.statusWindow)) return;
    UiState& ui = uiState;
    if (ui.statusX == 0 && ui.statusY == 0) {
        ui.statusButtons[0] = RECT{3, 3, 27, 25};
        ui.statusButtons[1] = RECT{27, 3, 80, 25};
        ui.statusButtons[2] = RECT{80, 3, 104, 25};
        ui.statusButtons[3] = RECT{104, 3, 128, 25};
        ui.statusButtonArea = RECT{3, 3, 128, 25};
        ui.statusWidth = STATUS_WIDTH;
        ui.statusHeight = STATUS_HEIGHT;
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        ui.statusX = work.right - STATUS_WIDTH;
        ui.statusY = work.bottom - STATUS_HEIGHT;
    }
    ui.statusPressed = -1;
    engineContext.statusWindow =
        CreateWindowExA(WS_EX_TOPMOST, STATUS_CLASS, "", WS_POPUP, ui.statusX, ui.statusY, ui.statusWidth,
                        ui.statusHeight, windows.uiHostWindow, nullptr, moduleInstance, nullptr);
}

void DestroyStatusWindow() {
    DestroyKeptWindow(engineContext.statusWindow);
}

void RepaintStatusWindow() {
    if (!WindowExists(engineContext.statusWindow)) return;
    InvalidateRect(engineContext.statusWindow, nullptr, FALSE);
    UpdateWindow(engineContext.statusWindow);
}

static int modePicture() {
    if (modes.wubiMode) return IDB_MODE_WUBI;
    if (modes.pinyinMode) return IDB_MODE_PINYIN;
    if (modes.webMode) return IDB_MODE_WEB;
    if (modes.phoneticEdition) return IDB_MODE_PHONETIC;
    return IDB_MODE_SHAPE;
}

void PaintStatus(HDC dc, const RECT& client) {
    const EngineContext& c = engineContext;
    FillFace(dc, client);
    DrawRaisedFrame(dc, client.left, client.top, client.right, client.bottom);
    const RECT* b = uiState.statusButtons;
    DrawPicture(dc, c.chineseMode ? IDB_CHINESE : IDB_ENGLISH, b[0].left + 1, b[0].top + 2, 24, 22);
    DrawPicture(dc, modePicture(), b[1].left + 2, b[1].top + 1, 48, 19);
    DrawPicture(dc, c.chinesePunct ? IDB_CHINESE_PUNCT : IDB_ASCII_PUNCT, b[2].left, b[2].top + 2, 24, 22);
    DrawPicture(dc, c.fullWidth ? IDB_FULL_WIDTH : IDB_HALF_WIDTH, b[3].left, b[3].top + 2, 24, 22);
    for (const RECT& button : uiState.statusButtons)
        DrawRaisedFrame(dc, button.left, button.top, button.right, button.bottom);
}

UINT OpenStatusMenu(HWND owner, int order) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return 0;
    AppendMenuA(menu, MF_STRING, CMD_WEBSITE, "\xB7\xC3\xCE\xCA" "Tessel");    // 访问Tessel
    AppendMenuA(menu, MF_STRING, CMD_ABOUT, "\xCE\xD2\xCA\xC7\xCB\xAD?");        // 我是谁?
    AppendMenuA(menu, MF_STRING, CMD_NEWS, "\xD7\xEE\xD0\xC2\xB8\xC4\xBD\xF8");  // 最新改进
    if (order == 0) {
        AppendMenuA(menu, MF_STRING, CMD_RADICALS, "\xD7\xD6\xB8\xF9\xC1\xB7\xCF\xB0");  // 字根练习
        AppendMenuA(menu, MF_STRING, CMD_UPGRADE, "\xC9\xC1\xB5\xE7\xC9\xFD\xBC\xB6");   // 闪电升级
    } else {
        AppendMenuA(menu, MF_STRING, CMD_UPGRADE, "\xC9\xC1\xB5\xE7\xC9\xFD\xBC\xB6");
        AppendMenuA(menu, MF_STRING, CMD_RADICALS, "\xD7\xD6\xB8\xF9\xC1\xB7\xCF\xB0");
    }
    AppendMenuA(menu, MF_STRING, CMD_MANUAL, "\xBC\xF2\xD2\xAA\xCA\xD6\xB2\xE1");         // 简要手册
    AppendMenuA(menu, MF_STRING, CMD_SETTINGS, "\xCE\xD2\xB5\xC4\xB8\xF6\xD0\xD4");       // 我的个性
    AppendMenuA(menu, MF_STRING, CMD_USER_PHRASES, "\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9");   // 自造词组
    AppendMenuA(menu, MF_STRING, CMD_WEB_ADDRESSES, "\xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7");  // 中文网址
    AppendMenuA(menu, MF_STRING, CMD_KEYWORD_QUERY, "\xB9\xD8\xBC\xFC\xD7\xD6\xB2\xE9\xD1\xAF");  // 关键字查询
    POINT origin{0, 0};
    ClientToScreen(owner, &origin);
    const UINT chosen = TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_LEFTALIGN, origin.x, origin.y, 0, owner, nullptr);
    DestroyMenu(menu);
    return chosen;
}

// The programs the menu starts; their results are not looked at.
struct MenuProgram {
    UINT id;
    const char* commandLine;
};
static constexpr MenuProgram MENU_PROGRAMS[] = {
    {CMD_WEBSITE, BROWSER_COMMAND},
    {CMD_NEWS, "notepad.exe c:\\windows\\system\\new.txt"},
    {CMD_RADICALS, "qxzg.exe"},
    {CMD_UPGRADE, "winhlp32.exe stsj.hlp"},
    {CMD_MANUAL, "winhlp32.exe manaul.hlp"},
};

static void runCommand(UINT id) {
    if (id >= CMD_LAYOUT_FIRST && id <= CMD_LAYOUT_LAST) {
        SelectSoftLayout(static_cast<int>(id - CMD_LAYOUT_FIRST));
        if (id != CMD_WEBSITE) return;
    }
    HIMC context = uiInputContext();
    if (context == nullptr) return;
    INPUTCONTEXT* locked = ImmLockIMC(context);
    if (locked == nullptr) return;
    for (const MenuProgram& program : MENU_PROGRAMS)
        if (program.id == id) WinExec(program.commandLine, SW_SHOW);
    HWND application = locked->hWnd;
    ImmUnlockIMC(context);
    // The dialogs belong to the application's window; the command returns when they close.
    // The context is not held meanwhile: typing into a dialog goes through the module.
    if (id == CMD_ABOUT) OpenAboutBox(application);
    if (id == CMD_SETTINGS) OpenSettingsDialog(application);
    if (id == CMD_SENTENCE_INPUT) FlipSentenceInput();
    if (id == CMD_USER_PHRASES) OpenUserPhraseDialog(application);
    if (id == CMD_WEB_ADDRESSES) {
        // The dialog leaves the address mode first (its rows point into the lists it edits);
        // the windows show that before it opens.
        if (modes.webMode) {
            leaveWebMode(&engineContext);
            RepaintStatusWindow();
            RelayoutComposition();
        }
        OpenWebAddressDialog(application);
    }
    if (id == CMD_KEYWORD_QUERY && OpenKeywordDialog(application)) {
        RelayoutComposition();
        RepaintStatusWindow();
    }
}

static void releaseButton(HWND window) {
    int& pressed = uiState.statusPressed;
    if (pressed < 0) return;
    HIMC context = uiInputContext();
    INPUTCONTEXT* locked = context ? ImmLockIMC(context) : nullptr;
    if (locked != nullptr) {
        switch (pressed) {
        case 0:
            engineContext.chineseMode = engineContext.chineseMode ? 0 : 1;
            RepaintStatusWindow();
            break;
        case 2:
        case 3: {
            DWORD conversion = 0, sentence = 0;
            ImmGetConversionStatus(context, &conversion, &sentence);
            const DWORD bit = pressed == 2 ? IME_CMODE_SYMBOL : IME_CMODE_FULLSHAPE;
            ImmSetConversionStatus(context, conversion ^ bit, sentence);
            RepaintStatusWindow();
            break;
        }
        case 1:
            RepaintStatusWindow();
            SetCapture(window);
            OpenStatusMenu(window, 0);
            break;
        default:
            break;
        }
        ImmUnlockIMC(context);
    }
    // Even without a context the press is over: never leave the mouse captured.
    pressed = -1;
    ReleaseCapture();
}

static void addButtonTools(HWND window, HWND tip) {
    for (UINT i = 0; i < 4; ++i)
        AddButtonTool(tip, window, STATUS_TOOL_BASE + i, uiState.statusButtons[i], IDS_TIP_CHINESE + i);
}

// A press on a button sinks it until the release; elsewhere it begins a drag. Either way
// it closes the first introduction picture.
static bool pressButton(HWND window, int x, int y) {
    if (WindowExists(windows.introWindow)) DestroyWindow(windows.introWindow);
    for (int i = 0; i < 4; ++i) {
        const RECT& b = uiState.statusButtons[i];
        if (!insideRect(b, x, y)) continue;
        HDC dc = GetDC(window);
        if (dc != nullptr) {
            DrawSunkenFrame(dc, b.left, b.top, b.right, b.bottom);
            ReleaseDC(window, dc);
        }
        uiState.statusPressed = i;
        SetCapture(window);
        return true;
    }
    return false;
}

static void pointAtButtons(HWND, int x, int y) {
    SetCursor(LoadCursorA(nullptr, insideRect(uiState.statusButtonArea, x, y) ? IDC_ARROW : IDC_SIZEALL));
}

static void statusDropped(POINT topLeft) {
    uiState.statusX = topLeft.x;
    uiState.statusY = topLeft.y;
}

static SIZE statusSize() { return SIZE{STATUS_WIDTH, STATUS_HEIGHT}; }

static const WorkingWindow status = {
    .record = &uiState.status, .handle = &engineContext.statusWindow, .paint = PaintStatus, .bufferSize = statusSize,
    .caret = {},  // none: the bar has no text to put a caret in
    .created = addButtonTools, .pressed = pressButton, .hovered = pointAtButtons, .released = releaseButton,
    .dropped = statusDropped,
};

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        runCommand(LOWORD(wParam));
        return 0;
    }
    // A right click on the width button offers the soft keyboards.
    if (message == WM_RBUTTONUP) {
        const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
        if (insideRect(uiState.statusButtons[3], x, y)) OpenSoftKeyboardMenu(window, x, y);
        return 0;
    }
    return WorkingWindowProc(status, window, message, wParam, lParam);
}
