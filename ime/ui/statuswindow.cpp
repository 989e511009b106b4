// The status bar: four picture buttons (Chinese/English, the menu, punctuation, width),
// drag-to-move by its border, and the popup menu of the input method.
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include "frontend/engine.h"
#include <imedev.h>

int statusX, statusY, statusWidth, statusHeight;
RECT statusButtons[4];
RECT statusButtonArea;
int statusPressed = -1;
int16_t softLayout;

static int statusDragging;
static HWND statusTip;

// Our own site, opened by the first menu item (the same address the pictures give).
static constexpr char BROWSER_COMMAND[] =
    "C:\\Program Files\\Internet Explorer\\iexplore.exe http://qx.example.org/";

// Like every menu action, a layout belongs to an application: without one nothing changes.
void SelectSoftLayout(int layout) {
    HIMC context = uiInputContext();
    if (context == nullptr || ImmLockIMC(context) == nullptr) return;
    softLayout = static_cast<int16_t>(layout);
    ImmUnlockIMC(context);
}

static bool insideRect(const RECT& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

void CreateStatusWindow() {
    if (WindowExists(engineContext.statusWindow)) return;
    if (statusX == 0 && statusY == 0) {
        statusButtons[0] = RECT{3, 3, 27, 25};
        statusButtons[1] = RECT{27, 3, 80, 25};
        statusButtons[2] = RECT{80, 3, 104, 25};
        statusButtons[3] = RECT{104, 3, 128, 25};
        statusButtonArea = RECT{3, 3, 128, 25};
        statusWidth = 131;
        statusHeight = 28;
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        statusX = work.right - 131;
        statusY = work.bottom - 28;
    }
    statusDragging = 0;
    statusPressed = -1;
    engineContext.statusWindow = CreateWindowExA(WS_EX_TOPMOST, STATUS_CLASS, "", WS_POPUP, statusX, statusY,
                                                 statusWidth, statusHeight, uiHostWindow, nullptr,
                                                 moduleInstance, nullptr);
}

void DestroyStatusWindow() {
    if (!WindowExists(engineContext.statusWindow)) return;
    DestroyWindow(engineContext.statusWindow);
    engineContext.statusWindow = nullptr;
}

void RepaintStatusWindow() {
    if (!WindowExists(engineContext.statusWindow)) return;
    InvalidateRect(engineContext.statusWindow, nullptr, FALSE);
    UpdateWindow(engineContext.statusWindow);
}

static int modePicture() {
    if (wubiMode) return 232;
    if (pinyinMode) return 245;
    if (webMode) return 242;
    if (phoneticEdition) return 204;
    return 220;
}

// Copies the top-left width x height block of a bitmap resource to (x, y).
static void drawPicture(HDC dc, int id, int x, int y, int width, int height) {
    HANDLE picture = LoadImageA(moduleInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
    if (picture == nullptr) return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, static_cast<HGDIOBJ>(picture));
    BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(static_cast<HGDIOBJ>(picture));
}

void PaintStatus(HDC dc, const RECT& client) {
    const EngineContext& c = engineContext;
    FillFace(dc, client);
    DrawRaisedFrame(dc, client.left, client.top, client.right, client.bottom);
    const RECT* b = statusButtons;
    drawPicture(dc, c.chineseMode ? 102 : 104, b[0].left + 1, b[0].top + 2, 24, 22);
    drawPicture(dc, modePicture(), b[1].left + 2, b[1].top + 1, 48, 19);
    drawPicture(dc, c.chinesePunct ? 105 : 103, b[2].left, b[2].top + 2, 24, 22);
    drawPicture(dc, c.fullWidth ? 106 : 107, b[3].left, b[3].top + 2, 24, 22);
    for (const RECT& button : statusButtons) DrawRaisedFrame(dc, button.left, button.top, button.right, button.bottom);
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
    POINT origin{0, 0};
    ClientToScreen(owner, &origin);
    const UINT chosen = TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_LEFTALIGN, origin.x, origin.y, 0, owner, nullptr);
    DestroyMenu(menu);
    return chosen;
}

static void runCommand(UINT id) {
    if (id >= CMD_WEBSITE && id <= CMD_LAST_LAYOUT) {
        SelectSoftLayout(static_cast<int>(id - CMD_WEBSITE));
        if (id != CMD_WEBSITE) return;
    }
    HIMC context = uiInputContext();
    if (context == nullptr) return;
    INPUTCONTEXT* locked = ImmLockIMC(context);
    if (locked == nullptr) return;
    switch (id) {
    case CMD_WEBSITE:
        WinExec(BROWSER_COMMAND, SW_SHOW);
        break;
    case CMD_NEWS:
        WinExec("notepad.exe c:\\windows\\system\\new.txt", SW_SHOW);
        break;
    case CMD_RADICALS:
        WinExec("qxzg.exe", SW_SHOW);
        break;
    case CMD_UPGRADE:
        WinExec("winhlp32.exe stsj.hlp", SW_SHOW);
        break;
    case CMD_MANUAL:
        WinExec("winhlp32.exe manaul.hlp", SW_SHOW);
        break;
    // The about box, the settings, the user-phrase and the web-address dialogs open
    // here once they are built; until then these commands do nothing.
    case CMD_ABOUT:
    case CMD_SETTINGS:
    case CMD_USER_PHRASES:
    case CMD_WEB_ADDRESSES:
    default:
        break;
    }
    ImmUnlockIMC(context);
}

static void buttonReleased(HWND window) {
    HIMC context = uiInputContext();
    INPUTCONTEXT* locked = context ? ImmLockIMC(context) : nullptr;
    if (locked != nullptr) {
        switch (statusPressed) {
        case 0:
            engineContext.chineseMode = engineContext.chineseMode ? 0 : 1;
            RepaintStatusWindow();
            break;
        case 2:
        case 3: {
            DWORD conversion = 0, sentence = 0;
            ImmGetConversionStatus(context, &conversion, &sentence);
            const DWORD bit = statusPressed == 2 ? IME_CMODE_SYMBOL : IME_CMODE_FULLSHAPE;
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
    statusPressed = -1;
    ReleaseCapture();
}

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    RelayTipMouse(statusTip, window, message, wParam, lParam);
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_CREATE:
        statusTip = CreateTipControl(window);
        for (UINT i = 0; i < 4; ++i) AddButtonTool(statusTip, window, STATUS_TOOL_BASE + i, statusButtons[i], i + 1);
        return 0;
    case WM_DESTROY:
        if (statusTip != nullptr) DestroyWindow(statusTip);
        statusTip = nullptr;
        if (window == engineContext.statusWindow) engineContext.statusWindow = nullptr;
        return 0;
    case WM_PAINT:
        PaintBuffered(window, 131, 28, PaintStatus);
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_COMMAND:
        runCommand(LOWORD(wParam));
        return 0;
    case WM_MOUSEMOVE:
        if (statusDragging)
            TrackDragMove(window, x, y);
        else
            SetCursor(LoadCursorA(nullptr, insideRect(statusButtonArea, x, y) ? IDC_ARROW : IDC_SIZEALL));
        return 0;
    case WM_LBUTTONDOWN:
        if (WindowExists(introWindow)) DestroyWindow(introWindow);
        for (int i = 0; i < 4; ++i) {
            if (!insideRect(statusButtons[i], x, y)) continue;
            HDC dc = GetDC(window);
            if (dc != nullptr) {
                const RECT& b = statusButtons[i];
                DrawSunkenFrame(dc, b.left, b.top, b.right, b.bottom);
                ReleaseDC(window, dc);
            }
            statusPressed = i;
            SetCapture(window);
            return 0;
        }
        statusDragging = 1;
        BeginDragMove(window, x, y);
        return 0;
    case WM_LBUTTONUP:
        if (statusDragging) {
            POINT dropped{};
            EndDragMove(window, x, y, &dropped);
            statusX = dropped.x;
            statusY = dropped.y;
            statusDragging = 0;
            return 0;
        }
        if (statusPressed >= 0) buttonReleased(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
