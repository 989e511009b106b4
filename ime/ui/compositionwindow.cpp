// The composition window: the code, the display line and the candidate line in the
// shape-code modes; ten numbered rows in the pinyin and web-address modes.
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include "core/engine.h"
#include "shapecode/shapecode.h"

#include <algorithm>
#include <cstring>

static constexpr char ROW_DIGITS[] = "1234567890";
static constexpr COLORREF KEY_CELL_RED = RGB(255, 0, 0);

static RECT workArea() {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

static int fieldLength(const char* text, size_t size) {
    return static_cast<int>(strnlen(text, size));
}

void CompositionSize(int* width, int* height) {
    const int h = uiState.uiFontHeight;
    if (modes.webMode) {
        *width = 4 * (4 * h + 40) + 83;
        *height = 178;
    } else if (modes.pinyinMode) {
        *width = 4 * h + 83;
        *height = 178;
    } else {
        *width = 16 * h + 83;
        *height = modes.simpleWindow ? 28 : 48;
    }
}

void CreateCompositionWindow() {
    if (WindowExists(engineContext.compositionWindow)) return;
    int width = 0, height = 0;
    CompositionSize(&width, &height);
    const RECT work = workArea();
    if (uiState.compositionX == 0 && uiState.compositionY == 0) {
        uiState.compositionX = work.right / 8;
        uiState.compositionY = work.bottom - height;
    }
    if (uiState.compositionY + height > work.bottom) uiState.compositionY = work.bottom - height;
    uiState.compositionWidth = width;
    uiState.compositionHeight = height;
    engineContext.compositionWindow =
        CreateWindowExA(WS_EX_LEFT, COMPOSITION_CLASS, "", WS_POPUP | WS_BORDER, uiState.compositionX,
                        uiState.compositionY, width, height, windows.uiHostWindow, nullptr, moduleInstance, nullptr);
}

void DestroyCompositionWindow() {
    DestroyKeptWindow(engineContext.compositionWindow);
}

void ShowCompositionWindow(int show) {
    if (!WindowExists(engineContext.compositionWindow)) return;
    if (show) {
        ShowWindow(engineContext.compositionWindow, SW_SHOWNA);
        if (uiState.firstShowPending == 1) uiState.firstShowPending = 0;
    } else {
        ShowWindow(engineContext.compositionWindow, SW_HIDE);
    }
}

void RelayoutComposition() {
    int width = 0, height = 0;
    CompositionSize(&width, &height);
    uiState.compositionWidth = width;
    uiState.compositionHeight = height;
    const RECT work = workArea();
    if (uiState.compositionY + height > work.bottom) uiState.compositionY = work.bottom - height;
    // The box is placed at the window's final top: a window that has just grown tall
    // (entering a row mode) moves up first.
    PlaceLetterBox();
    HWND window = engineContext.compositionWindow;
    if (!WindowExists(window)) return;

    const bool rows = modes.pinyinMode || modes.webMode;
    const int displayLength = fieldLength(engineContext.displayLine, sizeof engineContext.displayLine);
    int simpleLimit = 108;
    if (!rows && modes.simpleWindow && displayLength >= 5) simpleLimit = 7 * displayLength + 108;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(window, nullptr, uiState.compositionX, uiState.compositionY, 0, 0, flags | SWP_NOSIZE);
    int shownWidth = width;
    if (!rows && modes.simpleWindow) shownWidth = std::min(width, simpleLimit);
    SetWindowPos(window, nullptr, 0, 0, shownWidth, height, flags | SWP_NOMOVE);
    ShowCompositionWindow(1);
    InvalidateRect(window, nullptr, FALSE);
    if (uiState.keyDepth > 0)
        uiState.compositionPaintPending = 1;
    else
        UpdateWindow(window);
}

void BeginKeyPaint() { ++uiState.keyDepth; }

static void paintPendingKey() {
    if (!uiState.compositionPaintPending) return;
    uiState.compositionPaintPending = 0;
    if (WindowExists(engineContext.compositionWindow)) UpdateWindow(engineContext.compositionWindow);
}

void EndKeyPaint() {
    if (uiState.keyDepth > 0) --uiState.keyDepth;
    if (uiState.keyDepth == 0) paintPendingKey();
}

void FollowCaret(int x, int y) {
    if (!engineContext.caretFollow) return;
    const RECT work = workArea();
    int width = 0, height = 0;
    CompositionSize(&width, &height);
    if (y < 7 * work.bottom / 8)
        y += work.bottom / 8;
    else
        y -= work.bottom / 8;
    x = std::max<int>(x, work.left);
    y = std::max<int>(y, work.top);
    if (y + height > work.bottom) y = work.bottom - height;
    if (x + width > work.right) x = work.right - width;
    x = std::max<int>(x, uiState.letterBoxWidth);  // the letter box must fit on its left
    uiState.compositionX = x;
    uiState.compositionY = y;
    if (!modes.pinyinMode && !modes.webMode) {
        if (WindowExists(engineContext.compositionWindow))
            SetWindowPos(engineContext.compositionWindow, nullptr, x, y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    if (WindowExists(windows.letterBoxWindow)) InvalidateRect(windows.letterBoxWindow, nullptr, FALSE);
    RelayoutComposition();
}

// Draws text at (x, y) and returns the x after it.
static int drawText(HDC dc, int x, int y, const char* text, int length) {
    if (length <= 0) return x;
    TextOutA(dc, x, y, text, length);
    return x + TextWidth(dc, text, length);
}

enum class CellKind { Character, Key, Filler };

// The display line is a row of two-byte cells: a character, " k" a key cell (a label),
// "k~" a filler cell. A cell is told by its first byte: the second byte of a character
// may be "~" too, and the label "~" stands after a space.
static CellKind displayCellKind(const char pair[2]) {
    if (pair[0] == ' ') return CellKind::Key;
    if (static_cast<unsigned char>(pair[0]) < 0x81 && pair[1] == '~') return CellKind::Filler;
    return CellKind::Character;
}

// The cells of the current display half. Key cells are red; fillers show as a blank while
// nothing is typed and vanish while a code is typed.
static void drawDisplayCells(HDC dc, bool composing) {
    const char* line = engineContext.displayLine;
    const int length = fieldLength(line, sizeof engineContext.displayLine);
    const int half = std::clamp<int>(shapeCode.displayHalf, 0, 1);
    const COLORREF text = GetSysColor(COLOR_BTNTEXT);
    int x = drawText(dc, 50, 5, " ", 1);
    for (int cell = 11 * half; cell < 10 * half + 12 && 2 * cell < length; ++cell) {
        char pair[2] = {line[2 * cell], 2 * cell + 1 < length ? line[2 * cell + 1] : ' '};
        const CellKind kind = displayCellKind(pair);
        if (kind == CellKind::Filler) {
            if (composing) continue;
            pair[1] = ' ';
        }
        SetTextColor(dc, kind == CellKind::Key ? KEY_CELL_RED : text);
        x = drawText(dc, x, 5, pair, 2);
    }
    SetTextColor(dc, text);
    drawText(dc, x, 5, " ", 1);
}

// With no display line yet, the candidates of the page become it, up to the first cell
// that is not a plain candidate (empty, a key cell, a hint or the page marker).
static void buildDisplayLine() {
    EngineContext& c = engineContext;
    const int last = std::min<int>(c.lastCell, 14);
    for (int i = 1; i <= last; ++i) {
        const char* cell = c.cells[i];
        if (cell[0] == '\0' || cell[0] == ' ' || cell[1] == ' ') break;
        if (std::memcmp(cell, "\xA1\xF0", 2) == 0) break;  // ○
        appendText(c.displayLine, sizeof c.displayLine, cell);
    }
}

// Face, raised frame and the grooves of the mode: two halves with the code box in the
// shape-code window, the code box alone in the simple one, an inset frame for pinyin rows.
static void paintFrame(HDC dc, const RECT& client, bool rows) {
    const int L = client.left, T = client.top, R = client.right, B = client.bottom;
    const int mid = (T + B) / 2;
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    FillFace(dc, client);
    DrawRaisedFrame(dc, L, T, R, B);
    if (!rows && !modes.simpleWindow) {
        DrawLine(dc, L + 1, mid - 1, R - 1, mid - 1, dark);
        DrawLine(dc, L + 1, mid, R - 1, mid, light);
        DrawLine(dc, 49, T + 1, 49, mid, dark);
        DrawLine(dc, 50, T + 1, 50, mid, light);
    } else if (!rows) {
        DrawLine(dc, 49, T + 1, 49, B - 1, dark);
        DrawLine(dc, 50, T + 1, 50, B - 1, light);
    } else if (!modes.webMode) {
        DrawLine(dc, L + 3, T + 3, R - 3, T + 3, light);
        DrawLine(dc, L + 3, B - 3, R - 3, B - 3, light);
        DrawLine(dc, L + 3, T + 3, L + 3, B - 3, light);
        DrawLine(dc, R - 3, T + 3, R - 3, B - 3, light);
    }
}

// The engines' one-line message, in the lower half: with nothing typed in the shape-code
// window, and in any mode while the wrong-key repeat is armed.
static void paintMessageLine(HDC dc, bool rows) {
    const int length = fieldLength(shapeCode.messageLine, sizeof shapeCode.messageLine);
    if (modes.simpleWindow || length == 0) return;
    if (!rows && engineContext.codeLength == 0) drawText(dc, 5, 25, shapeCode.messageLine, length);
    if (shapeCode.repeatArmed == 1) drawText(dc, 5, 25, shapeCode.messageLine, length);
}

// Ten numbered rows of pinyin candidates with their grey labels on the right.
static void paintPinyinRows(HDC dc) {
    const EngineContext& c = engineContext;
    for (int k = 0; k < 10; ++k) {
        const int y = 5 + 17 * k;
        const int length = fieldLength(c.rowText[k], sizeof c.rowText[k]);
        if (length == 0) continue;
        SetTextColor(dc, RGB(0, 0, 0));
        drawText(dc, 5, y, &ROW_DIGITS[k], 1);
        drawText(dc, 15, y, c.rowText[k], length);
        SetTextColor(dc, RGB(80, 80, 80));
        drawText(dc, 115, y, &c.rowLabels[3 * k], fieldLength(&c.rowLabels[3 * k], 2));
    }
}

// Ten numbered rows of addresses: name and hint, then the address. Rows beyond the
// frequent block stand on white.
static void paintWebRows(HDC dc) {
    const EngineContext& c = engineContext;
    if (c.modeInput[0] == '\0')
        drawText(dc, 5, 5, "ESC\xCD\xCB\xB3\xF6\xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7,E-mail\xB5\xD8\xD6\xB7!", 27);
    SetTextColor(dc, RGB(0, 0, 0));
    for (int k = 0; k < 10; ++k) {
        const int y = 5 + 17 * k;
        const int noteLength = fieldLength(c.rowNote[k], sizeof c.rowNote[k]);
        if (noteLength == 0) continue;
        const int mark = c.rowFirst + k;
        const auto fixedCount = static_cast<uint32_t>(c.webState[WS_FIXED_COUNT]);
        const bool frequent = mark < 0 || mark >= 200 || static_cast<uint32_t>(c.webMarks[mark]) >= fixedCount;
        if (frequent) {
            SetBkMode(dc, TRANSPARENT);
        } else {
            SetBkMode(dc, OPAQUE);
            SetBkColor(dc, RGB(255, 255, 255));
        }
        drawText(dc, 5, y, &ROW_DIGITS[k], 1);
        drawText(dc, 15, y, c.rowNote[k], noteLength);
        drawText(dc, 165, y, c.rowText[k], fieldLength(c.rowText[k], sizeof c.rowText[k]));
    }
    SetBkMode(dc, TRANSPARENT);
}

// The shape-code lines: the code, the display line beside it and, while a code is typed,
// the candidate page below.
static void paintShapeLines(HDC dc, int right) {
    EngineContext& c = engineContext;
    const COLORREF text = GetSysColor(COLOR_BTNTEXT);
    const int codeLength = std::clamp<int>(c.codeLength, 0, fieldLength(c.code, sizeof c.code));
    drawText(dc, 5, 5, c.code, codeLength);

    const bool displayEmpty = c.displayLine[0] == '\0';
    if (c.codeLength == 0) {
        if (!displayEmpty) drawDisplayCells(dc, false);
        return;
    }
    // Typing ends a message, except the wrong-key one while its repeat is armed: the
    // driver's refresh after the key would otherwise erase it before anyone saw it.
    if (shapeCode.repeatArmed != 1) shapeCode.messageLine[0] = '\0';
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetTextColor(dc, text);
    if (!displayEmpty) {
        drawDisplayCells(dc, true);
    } else if (c.lastCell > 0) {
        buildDisplayLine();
        int x = drawText(dc, 50, 5, " ", 1);
        x = drawText(dc, x, 5, c.displayLine, fieldLength(c.displayLine, sizeof c.displayLine));
        drawText(dc, x, 5, " ", 1);
    }
    SetBkMode(dc, TRANSPARENT);
    if (modes.simpleWindow) return;
    const int offset = std::clamp<int>(c.hintOffset, 0, codeLength);
    const int length = std::clamp<int>(c.hintLength, 0, codeLength - offset);
    drawText(dc, 5 + TextWidth(dc, c.code, offset), 5, c.code + offset, length);

    if (c.lastCell <= 0) return;
    const int last = std::min<int>(c.lastCell, 16);
    int x = 5;
    for (int i = 0; i <= last; ++i) {
        const int cellLength = fieldLength(c.cells[i], sizeof c.cells[i]);
        const int width = TextWidth(dc, c.cells[i], cellLength);
        if (i == last) x += 10;  // the page marker stands apart
        if (x + width > right) break;
        drawText(dc, x, 25, c.cells[i], cellLength);
        x += width;
    }
}

void PaintComposition(HDC dc, const RECT& client) {
    const bool rows = modes.pinyinMode || modes.webMode;
    paintFrame(dc, client, rows);
    HFONT font = CreateUiFont();
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextCharacterExtra(dc, 1);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    paintMessageLine(dc, rows);
    if (modes.pinyinMode && !modes.webMode)
        paintPinyinRows(dc);
    else if (modes.webMode)
        paintWebRows(dc);
    else
        paintShapeLines(dc, client.right);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

// Caret step: an inverted column after the code's first caret bytes, in the upper half
// (or the whole height of the simple window).
static void compositionCaret(HWND window) {
    if (modes.pinyinMode || modes.webMode) return;
    const EngineContext& c = engineContext;
    const int length = std::clamp<int>(c.caret, 0, fieldLength(c.code, sizeof c.code));
    RECT client{};
    GetClientRect(window, &client);
    const int bottom = modes.simpleWindow ? client.bottom - 2 : (client.bottom - 3) / 2 - 1;
    InvertCaret(window, c.code, length, 1, 4, bottom);  // measured as the code is drawn
}

// Row under a client y: rows are 17 pixels apart and 18 tall, the upper one wins.
int CompositionRowAt(int y) {
    for (int i = 0; i < 10; ++i)
        if (5 + 17 * i <= y && y <= 22 + 17 * i) return i;
    return -1;
}

// A click on a pinyin row chooses it as if its digit had been typed (no virtual key, the
// digit as character); in every mode the click may also begin a drag.
static bool compositionPressed(HWND, int, int y) {
    const int row = CompositionRowAt(y);
    if (modes.pinyinMode && !modes.webMode && row >= 0)
        engineRequest(ZOZ_KEY, static_cast<uint32_t>(static_cast<unsigned char>(ROW_DIGITS[row])) << 8);
    return false;
}

// The dropped window keeps its place, right of room for the letter box, and takes the box.
static void compositionDropped(POINT topLeft) {
    uiState.compositionX = std::max<int>(topLeft.x, uiState.letterBoxWidth);
    uiState.compositionY = topLeft.y;
    if (WindowExists(windows.letterBoxWindow))
        SetWindowPos(windows.letterBoxWindow, nullptr, uiState.compositionX - uiState.letterBoxWidth,
                     uiState.compositionY, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static SIZE compositionBufferSize() { return SIZE{uiState.compositionWidth, uiState.compositionHeight}; }

static const WorkingWindow composition = {
    .record = &uiState.composition, .handle = &engineContext.compositionWindow, .paint = PaintComposition,
    .bufferSize = compositionBufferSize, .tool = COMPOSITION_TOOL,
    .caret = {COMPOSITION_CARET_TIMER, 400, compositionCaret},
    .pressed = compositionPressed, .dropped = compositionDropped,
};

LRESULT CALLBACK CompositionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WorkingWindowProc(composition, window, message, wParam, lParam);
}
