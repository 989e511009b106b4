// The full-size picture windows: the five-stroke note and the two pictures of the
// introduction, which ends by opening the status menu.
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include "core/engine.h"

HWND CreatePictureWindow(const char* className) {
    return CreateWindowExA(0, className, "", WS_POPUP, 230, 80, uiState.pictureWidth, uiState.pictureHeight,
                           windows.uiHostWindow, nullptr, moduleInstance, nullptr);
}

HWND EnsureWubiNote() {
    if (!WindowExists(windows.wubiNoteWindow)) windows.wubiNoteWindow = CreatePictureWindow(WUBI_NOTE_CLASS);
    return windows.wubiNoteWindow;
}

static void paintPicture(HDC dc, const RECT& client, int id) {
    FillFace(dc, client);
    DrawPicture(dc, id, 0, 0, PICTURE_WIDTH, PICTURE_HEIGHT);
}

static void paintIntro(HDC dc, const RECT& client) { paintPicture(dc, client, IDB_INTRO); }
static void paintIntro2(HDC dc, const RECT& client) { paintPicture(dc, client, IDB_UPGRADE); }
static void paintWubiNote(HDC dc, const RECT& client) { paintPicture(dc, client, IDB_WUBI_NOTE); }

// What the three pictures share; returns true when the message was handled.
static bool pictureMessage(HWND window, UINT message, void (*painter)(HDC, const RECT&), LRESULT* result) {
    switch (message) {
    case WM_PAINT:
        PaintBuffered(window, PICTURE_WIDTH, PICTURE_HEIGHT, painter);
        *result = 0;
        return true;
    case WM_MOUSEACTIVATE:
        *result = MA_NOACTIVATE;
        return true;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
        DestroyWindow(window);
        *result = 0;
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK IntroProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (pictureMessage(window, message, paintIntro, &result)) return result;
    if (message == WM_DESTROY) {
        if (window == windows.introWindow) windows.introWindow = nullptr;
        Beep(200, 200);
        if (WindowExists(windows.introWindow2)) ShowWindow(windows.introWindow2, SW_SHOWNA);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Intro2Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (pictureMessage(window, message, paintIntro2, &result)) return result;
    if (message == WM_DESTROY) {
        if (window == windows.introWindow2) windows.introWindow2 = nullptr;
        if (modes.menuAutoShow == 0 && WindowExists(engineContext.statusWindow))
            OpenStatusMenu(engineContext.statusWindow, 1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK WubiNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (pictureMessage(window, message, paintWubiNote, &result)) return result;
    if (message == WM_DESTROY && window == windows.wubiNoteWindow) windows.wubiNoteWindow = nullptr;
    return DefWindowProcA(window, message, wParam, lParam);
}
