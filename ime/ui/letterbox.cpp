// The letter box: the one-line box left of the composition window that shows the letters
// typed in the pinyin and web-address modes, with a blinking caret.
#include "ui/uiwindows.h"

#include "core/engine.h"

#include <algorithm>
#include <cstring>

static constexpr int LETTERBOX_HEIGHT = 25;

static int modeInputWidth() {
    return 10 * static_cast<int>(strnlen(engineContext.modeInput, sizeof engineContext.modeInput));
}

void CreateLetterBox() {
    if (WindowExists(windows.letterBoxWindow)) return;
    int width = uiState.letterBoxWidth;
    if (modes.pinyinMode || modes.webMode) {
        width = modeInputWidth() + 40;
        uiState.letterBoxWidth = width;
    }
    windows.letterBoxWindow =
        CreateWindowExA(WS_EX_LEFT, LETTERBOX_CLASS, "", WS_POPUP | WS_BORDER, uiState.compositionX,
                        uiState.compositionY, width, LETTERBOX_HEIGHT, windows.uiHostWindow, nullptr, moduleInstance,
                        nullptr);
}

void DestroyLetterBox() {
    DestroyKeptWindow(windows.letterBoxWindow);
}

void ShowLetterBox(int show) {
    if (!WindowExists(windows.letterBoxWindow)) return;
    ShowWindow(windows.letterBoxWindow, show ? SW_SHOWNA : SW_HIDE);
}

void PlaceLetterBox() {
    if (!WindowExists(windows.letterBoxWindow)) return;
    if (!modes.pinyinMode && !modes.webMode) {
        ShowWindow(windows.letterBoxWindow, SW_HIDE);
        return;
    }
    const int width = modeInputWidth() + 20;
    uiState.letterBoxWidth = width;
    // Keep the box on the screen: push the composition window right instead.
    int& x = uiState.compositionX;
    const int y = uiState.compositionY;
    if (x < width) x = width;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    SetWindowPos(windows.letterBoxWindow, nullptr, x - width, y, 0, 0, flags | SWP_NOSIZE);
    if (WindowExists(engineContext.compositionWindow))
        SetWindowPos(engineContext.compositionWindow, nullptr, x, y, 0, 0, flags | SWP_NOSIZE);
    SetWindowPos(windows.letterBoxWindow, nullptr, 0, 0, width, LETTERBOX_HEIGHT, flags | SWP_NOMOVE);

    HDC dc = GetDC(windows.letterBoxWindow);
    if (dc != nullptr) {
        RECT client{};
        GetClientRect(windows.letterBoxWindow, &client);
        PaintLetterBox(dc, client);
        ReleaseDC(windows.letterBoxWindow, dc);
    }
    InvalidateRect(windows.letterBoxWindow, nullptr, FALSE);
    ShowWindow(windows.letterBoxWindow, SW_SHOWNA);
    UpdateWindow(windows.letterBoxWindow);
}

void PaintLetterBox(HDC dc, const RECT& client) {
    FillFace(dc, client);
    DrawRaisedFrame(dc, client.left, client.top, client.right, client.bottom);
    HFONT font = CreateUiFont();
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    const EngineContext& c = engineContext;
    const int inputLength = static_cast<int>(strnlen(c.modeInput, sizeof c.modeInput));
    if (modes.webMode) {
        if (inputLength > 0) TextOutA(dc, 5, 5, c.modeInput, inputLength);
    } else if (modes.pinyinMode) {
        const char* spelling = c.syllables[SYLLABLE_SHOWN];
        const int spellingLength = static_cast<int>(strnlen(spelling, sizeof c.syllables[SYLLABLE_SHOWN]));
        if (spellingLength > 0 && inputLength > 0)
            TextOutA(dc, 5, 5, spelling, spellingLength);
        else if (inputLength > 0)  // never past the letters actually typed
            TextOutA(dc, 5, 5, c.modeInput, std::clamp<int>(c.codeLength, 0, inputLength));
    }
    SelectObject(dc, old);
    DeleteObject(font);
}

// One caret step: inverts a one-pixel column after the letters before the caret.
static void letterBoxCaret(HWND window) {
    if (!modes.pinyinMode && !modes.webMode) return;
    const EngineContext& c = engineContext;
    if (c.webState[WS_CONVERTED_COUNT] == c.webState[WS_SYLLABLE_COUNT]) return;
    const char* text = c.modeInput;
    size_t size = sizeof c.modeInput;
    if (modes.pinyinMode && c.syllables[SYLLABLE_SHOWN][0] != '\0') {
        text = c.syllables[SYLLABLE_SHOWN];
        size = sizeof c.syllables[SYLLABLE_SHOWN];
    }
    const int length = std::clamp<int>(c.caret, 0, static_cast<int>(strnlen(text, size)));
    RECT client{};
    GetClientRect(window, &client);
    InvertCaret(window, text, length, 0, 5, client.bottom - 4);
}

static SIZE letterBoxSize() { return SIZE{uiState.letterBoxWidth, LETTERBOX_HEIGHT}; }

static const WorkingWindow letterBox = {
    .record = &uiState.letterBox, .handle = &windows.letterBoxWindow, .paint = PaintLetterBox,
    .bufferSize = letterBoxSize, .tool = LETTERBOX_TOOL, .caret = {LETTERBOX_CARET_TIMER, 300, letterBoxCaret},
    // The dropped position is not kept: the next relayout puts the box back.
};

LRESULT CALLBACK LetterBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WorkingWindowProc(letterBox, window, message, wParam, lParam);
}
