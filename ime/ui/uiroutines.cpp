// Routines shared by the letter box, the composition window and the status bar: the UI
// font, the tooltip control, drag-to-move with an XOR outline, and the 3D frames.
#include "ui/uiwindows.h"

#include "core/engine.h"

#include <cstddef>
#include <initializer_list>

bool WindowExists(HWND window) { return window != nullptr && IsWindow(window); }

void DestroyKeptWindow(HWND& handle) {
    if (WindowExists(handle)) DestroyWindow(handle);
    handle = nullptr;
}

HIMC uiInputContext() {
    if (windows.uiHostWindow == nullptr) return nullptr;
    return reinterpret_cast<HIMC>(GetWindowLongPtrA(windows.uiHostWindow, 0));
}

HFONT CreateUiFont() {
    LOGFONTA font{};
    font.lfHeight = uiState.uiFontHeight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = FIXED_PITCH;
    copyText(font.lfFaceName, sizeof font.lfFaceName, "\xCB\xCE\xCC\xE5");  // 宋体
    return CreateFontIndirectA(&font);
}

HWND CreateTipControl(HWND owner) {
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | WS_DISABLED | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                               nullptr, moduleInstance, nullptr);
    if (tip == nullptr) return nullptr;
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 10000);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 1);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_RESHOW, 1);
    return tip;
}

void RelayTipMouse(HWND tip, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (tip == nullptr) return;
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: {
        MSG relayed{};
        relayed.hwnd = window;
        relayed.message = message;
        relayed.wParam = wParam;
        relayed.lParam = lParam;
        SendMessageA(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
        break;
    }
    default:
        break;
    }
}

// The first-version TOOLINFO: 44 bytes on 32-bit Windows, and the size every comctl32
// accepts on 64-bit as well.
static constexpr UINT TOOLINFO_SIZE = offsetof(TOOLINFOA, lpszText) + sizeof(LPSTR);

void SetSingleTool(HWND tip, HWND window, UINT toolId) {
    if (tip == nullptr) return;
    TOOLINFOA tool{};
    tool.cbSize = TOOLINFO_SIZE;
    tool.uFlags = 0;
    tool.hwnd = window;
    tool.uId = toolId;
    GetClientRect(window, &tool.rect);
    tool.hinst = moduleInstance;
    tool.lpszText = MAKEINTRESOURCEA(IDS_TIP_USER_PHRASES);
    SendMessageA(tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void AddButtonTool(HWND tip, HWND window, UINT toolId, const RECT& rect, UINT text) {
    if (tip == nullptr) return;
    TOOLINFOA tool{};
    tool.cbSize = TOOLINFO_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = toolId;
    tool.rect = rect;
    tool.hinst = moduleInstance;
    tool.lpszText = MAKEINTRESOURCEA(text);
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

// The drag outline, XORed onto the screen so that drawing it twice removes it.
static void drawOutline(int x, int y) {
    const DragRecord& drag = uiState.dragRecord;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return;
    SetROP2(screen, R2_XORPEN);
    RECT outline{x - drag.grabDX, y - drag.grabDY, x - drag.grabDX + drag.dragWidth,
                 y - drag.grabDY + drag.dragHeight};
    DrawFocusRect(screen, &outline);
    ReleaseDC(nullptr, screen);
}

void BeginDragMove(HWND window, int x, int y) {
    DragRecord& drag = uiState.dragRecord;
    SetCapture(window);
    SetCursor(nullptr);
    POINT cursor{x, y};
    ClientToScreen(window, &cursor);
    RECT frame{};
    GetWindowRect(window, &frame);
    drag.dragWidth = frame.right - frame.left;
    drag.dragHeight = frame.bottom - frame.top;
    drag.grabDX = cursor.x - frame.left;
    drag.grabDY = cursor.y - frame.top;
    drawOutline(cursor.x, cursor.y);
    drag.lastX = cursor.x;
    drag.lastY = cursor.y;
}

void TrackDragMove(HWND window, int x, int y) {
    DragRecord& drag = uiState.dragRecord;
    drawOutline(drag.lastX, drag.lastY);
    POINT cursor{x, y};
    ClientToScreen(window, &cursor);
    drawOutline(cursor.x, cursor.y);
    drag.lastX = cursor.x;
    drag.lastY = cursor.y;
}

void EndDragMove(HWND window, int x, int y, POINT* position) {
    const DragRecord& drag = uiState.dragRecord;
    POINT cursor{x, y};
    ClientToScreen(window, &cursor);
    // Erase the outline where it was last drawn: a release away from the last move
    // point would otherwise leave an outline behind on the screen.
    drawOutline(drag.lastX, drag.lastY);
    int left = cursor.x - drag.grabDX;
    int top = cursor.y - drag.grabDY;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
    if (left + drag.dragWidth > work.right) left = work.right - drag.dragWidth;
    if (top + drag.dragHeight > work.bottom) top = work.bottom - drag.dragHeight;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ReleaseCapture();
    if (position != nullptr) {
        position->x = left;
        position->y = top;
    }
}

void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// Both frames draw the same eight lines; only the colours and two top ends differ.
static void drawFrame(HDC dc, int l, int t, int r, int b, bool sunken) {
    const COLORREF outerDark = GetSysColor(sunken ? COLOR_BTNHIGHLIGHT : COLOR_3DDKSHADOW);
    const COLORREF innerDark = GetSysColor(sunken ? COLOR_3DLIGHT : COLOR_BTNSHADOW);
    const COLORREF outerLight = GetSysColor(sunken ? COLOR_BTNSHADOW : COLOR_3DLIGHT);
    const COLORREF innerLight = GetSysColor(sunken ? COLOR_3DDKSHADOW : COLOR_BTNHIGHLIGHT);
    const int reach = sunken ? 1 : 0;
    DrawLine(dc, l, b - 1, r, b - 1, outerDark);
    DrawLine(dc, r - 1, b - 1, r - 1, t, outerDark);
    DrawLine(dc, l + 1, b - 2, r - 1, b - 2, innerDark);
    DrawLine(dc, r - 2, b - 2, r - 2, t - 1, innerDark);
    DrawLine(dc, l, t, r - 1 + reach, t, outerLight);
    DrawLine(dc, l, t, l, b - 1, outerLight);
    DrawLine(dc, l + 1, t + 1, r - 2 + reach, t + 1, innerLight);
    DrawLine(dc, l + 1, t + 1, l + 1, b - 2, innerLight);
}

void DrawRaisedFrame(HDC dc, int left, int top, int right, int bottom) {
    drawFrame(dc, left, top, right, bottom, false);
}

void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom) {
    drawFrame(dc, left, top, right, bottom, true);
}

void PaintBuffered(HWND window, int width, int height, void (*painter)(HDC, const RECT&)) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) return;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT client{};
    GetClientRect(window, &client);
    painter(memory, client);
    BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

void FillFace(HDC dc, const RECT& client) {
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(dc, &client, face);
    DeleteObject(face);
}

int TextWidth(HDC dc, const char* text, int length) {
    if (length <= 0) return 0;
    SIZE size{};
    GetTextExtentPoint32A(dc, text, length, &size);
    return size.cx;
}

void DrawPicture(HDC dc, int id, int x, int y, int width, int height) {
    HANDLE picture = LoadImageA(moduleInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
    if (picture == nullptr) return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, static_cast<HGDIOBJ>(picture));
    BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(static_cast<HGDIOBJ>(picture));
}

void InvertCaret(HWND window, const char* text, int length, int characterExtra, int offset, int bottom) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return;
    HFONT font = CreateUiFont();
    HGDIOBJ old = SelectObject(dc, font);
    SetTextCharacterExtra(dc, characterExtra);
    const int x = offset + TextWidth(dc, text, length);
    RECT caret{x, 5, x + 1, bottom};
    InvertRect(dc, &caret);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(window, dc);
}
