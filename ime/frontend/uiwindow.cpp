// The UI host window: owner of all windows of the module. Everything that happens when
// the input method is selected, activated, notified or switched off happens here.
#include "frontend/uiwindow.h"

#include "core/engine.h"
#include <imedev.h>
#include "ui/softkeyboard.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"
#include "webaddress/weblists.h"

StartupState startup;

// Steps shared by selection and the first activation: settings, files, reset, windows,
// tables and the caret position. Returns the locked context, or null when start-up stops.
static INPUTCONTEXT* startWindowsAndTables(HIMC context, bool fromSelection) {
    if (context == nullptr) {
        MessageBeep(0xFFFFFFFF);
        return nullptr;
    }
    INPUTCONTEXT* locked = ImmLockIMC(context);
    if (locked == nullptr) return nullptr;
    startup.caretFollowArmed = 1;
    uiState.uiFontHeight = 16;

    EngineContext& c = engineContext;
    c.chinesePunct = 1;
    c.fullWidth = 0;
    c.softKeyboard = 0;
    DestroySoftKeyboardWindow();
    DWORD conversion = 0, sentence = 0;
    ImmGetConversionStatus(context, &conversion, &sentence);
    ImmSetConversionStatus(context, (conversion & ~DWORD{0x401}) | 0x400, 0);

    clearCode(&c);
    c.result[0] = '\0';
    c.resultFlags = 0;
    c.chineseMode = 1;

    readSettings(fromSelection);
    ensureUserFiles();
    engineRequest(ZOZ_RESET, 1);

    CreateStatusWindow();
    CreateLetterBox();
    CreateCompositionWindow();
    uiState.pictureWidth = PICTURE_WIDTH;
    uiState.pictureHeight = PICTURE_HEIGHT;
    loadCodeTables();

    if ((locked->fdwInit & INIT_COMPFORM) &&
        (locked->cfCompForm.ptCurrentPos.x != 0 || locked->cfCompForm.ptCurrentPos.y != 0)) {
        POINT caret = locked->cfCompForm.ptCurrentPos;
        ClientToScreen(locked->hWnd, &caret);
        FollowCaret(caret.x, caret.y);
    }
    return locked;
}

static void createMissingIntroWindows() {
    if (!WindowExists(windows.introWindow)) windows.introWindow = CreatePictureWindow(INTRO_CLASS);
    if (!WindowExists(windows.introWindow2)) windows.introWindow2 = CreatePictureWindow(INTRO2_CLASS);
}

static void shutDownWindowsAndTables() {
    // Addresses the mode moved up since the dialog last saved.
    saveWebLists();
    DestroySoftKeyboardWindow();
    DestroyLetterBox();
    DestroyCompositionWindow();
    DestroyStatusWindow();
    releaseCodeTables();
}

void selectInputMethod(int selected) {
    HIMC context = uiInputContext();
    if (!selected) {
        shutDownWindowsAndTables();
        engineRequest(ZOZ_RESET, 0);
        return;
    }
    INPUTCONTEXT* locked = startWindowsAndTables(context, true);
    if (locked == nullptr) return;
    if (modes.wubiMode) {
        EnsureWubiNote();
        Beep(200, 200);
        if (WindowExists(windows.wubiNoteWindow)) ShowWindow(windows.wubiNoteWindow, SW_SHOWNA);
    }
    if (uiState.introPending && !modes.menuAutoShow) {
        createMissingIntroWindows();
        Beep(200, 200);
        if (WindowExists(windows.introWindow)) ShowWindow(windows.introWindow, SW_SHOWNA);
        uiState.introPending = 0;
    }
    uiState.firstShowPending = 1;
    ImmUnlockIMC(context);
}

void activateStartup(int active) {
    if (!active || startup.startupDone) return;
    HIMC context = uiInputContext();
    INPUTCONTEXT* locked = startWindowsAndTables(context, false);
    if (locked == nullptr) return;
    if (modes.wubiMode) EnsureWubiNote();
    if (uiState.introPending && !modes.menuAutoShow) createMissingIntroWindows();
    uiState.firstShowPending = 1;
    startup.startupDone = 1;
    ImmUnlockIMC(context);
}

void showInputWindows(int show) {
    if (uiState.firstShowPending != 0) return;
    if (WindowExists(engineContext.compositionWindow))
        ShowWindow(engineContext.compositionWindow, show ? SW_SHOWNA : SW_HIDE);
    if (modes.pinyinMode || modes.webMode) ShowLetterBox(show);
}

void notify(WPARAM code) {
    HIMC context = uiInputContext();
    if (context == nullptr) return;
    INPUTCONTEXT* locked = ImmLockIMC(context);
    if (locked == nullptr) return;
    EngineContext& c = engineContext;
    switch (code) {
    case IMN_CLOSESTATUSWINDOW:
        if (WindowExists(c.statusWindow)) ShowWindow(c.statusWindow, SW_HIDE);
        break;
    case IMN_OPENSTATUSWINDOW:
        if (WindowExists(c.statusWindow)) ShowWindow(c.statusWindow, SW_SHOWNA);
        break;
    case IMN_SETCONVERSIONMODE: {
        ImmGetConversionStatus(context, &frontEnd.conversionMode, &frontEnd.sentenceMode);
        const auto punct = static_cast<int16_t>(frontEnd.conversionMode & IME_CMODE_SYMBOL);
        const auto full = static_cast<int16_t>(frontEnd.conversionMode & IME_CMODE_FULLSHAPE);
        const bool changed = punct != c.chinesePunct || full != c.fullWidth;
        c.chinesePunct = punct;
        c.fullWidth = full;
        if (changed && static_cast<int16_t>(frontEnd.conversionMode & IME_CMODE_SOFTKBD) == c.softKeyboard)
            RepaintStatusWindow();
        break;
    }
    case IMN_SETOPENSTATUS:
        RepaintStatusWindow();
        break;
    case IMN_SETCOMPOSITIONWINDOW:
        if (startup.caretFollowArmed && locked->hWnd != nullptr) {
            POINT caret = locked->cfCompForm.ptCurrentPos;
            ClientToScreen(locked->hWnd, &caret);
            FollowCaret(caret.x, caret.y);
        }
        break;
    default:
        break;
    }
    ImmUnlockIMC(context);
}

LRESULT CALLBACK UiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) return 0;
    windows.uiHostWindow = window;
    switch (message) {
    case WM_CREATE:
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOZORDER);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        return 0;
    case WM_IME_SELECT:
        selectInputMethod(static_cast<int>(wParam));
        if (wParam) showInputWindows(1);
        return 0;
    case WM_IME_SETCONTEXT:
        activateStartup(static_cast<int>(wParam));
        if (WindowExists(engineContext.statusWindow))
            ShowWindow(engineContext.statusWindow, wParam ? SW_SHOWNA : SW_HIDE);
        if (engineContext.softKeyboard != 0) ShowSoftKeyboardWindow(wParam != 0);
        showInputWindows(static_cast<int>(wParam));
        return 0;
    case WM_IME_NOTIFY:
        notify(wParam);
        return 0;
    case WM_DESTROY:
        EndOpenDialogs();
        shutDownWindowsAndTables();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
