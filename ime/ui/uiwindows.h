// The module's own windows: the state they keep between relayouts and the routines they
// share. Everything here runs on the UI thread; nothing is locked.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "ui/ui.h"

#include <cstdint>

// ---------------------------------------------------------------------------------------
// State of the windows, process-wide beside the engine record.
// ---------------------------------------------------------------------------------------

// Drag record: one for the process, since a drag holds the mouse capture.
struct DragRecord {
    int lastX = 0, lastY = 0;            // screen point of the outline last drawn
    int grabDX = 0, grabDY = 0;          // cursor offset from the window's top-left
    int dragWidth = 0, dragHeight = 0;   // size of the outline
};

// What each working window (letter box, composition window, status bar) keeps for the
// behaviour they share.
struct WindowRecord {
    HWND tip = nullptr;  // its tooltip control
    int dragging = 0;    // a drag of this window is in progress
};

// Every field starts as a process starts once its classes are registered, so a reset is
// `uiState = {}`.
struct UiState {
    int compositionX = 0, compositionY = 0;          // top-left of the composition window
    int compositionWidth = 0, compositionHeight = 0; // size computed by the last relayout
    int32_t letterBoxWidth = 40;                     // width of the letter box, last computed
    int16_t uiFontHeight = 16;                       // cell height of the UI font
    int32_t firstShowPending = 1;                    // windows stay hidden until the first relayout
    int pictureWidth = PICTURE_WIDTH, pictureHeight = PICTURE_HEIGHT;  // the picture windows
    int32_t introPending = 1;                        // the introduction has not run yet
    int32_t keyDepth = 0;                            // keys being handled (nested calls)
    int32_t compositionPaintPending = 0;             // a relayout of this key still to paint

    // Status bar: placed once per process; (0, 0) means not placed yet.
    int statusX = 0, statusY = 0, statusWidth = 0, statusHeight = 0;
    RECT statusButtons[4] = {};
    RECT statusButtonArea = {};
    int statusPressed = -1;                          // button held down, -1 for none
    int16_t softLayout = 0;                          // soft-keyboard layout chosen from the menu
    HWND softKeyboardWindow = nullptr;               // shown while a soft keyboard is on
    int softKeyboardX = 0, softKeyboardY = 0;        // placed once per process; (0, 0) not yet

    DragRecord dragRecord;
    WindowRecord letterBox, composition, status, softKeyboard;
};
extern UiState uiState;

void SelectSoftLayout(int layout);

// Timers and tool ids of the windows.
constexpr UINT_PTR COMPOSITION_CARET_TIMER = 100;
constexpr UINT_PTR LETTERBOX_CARET_TIMER = 200;
constexpr UINT COMPOSITION_TOOL = 200;
constexpr UINT LETTERBOX_TOOL = 300;
constexpr UINT STATUS_TOOL_BASE = 100;

// Input context of the application: the UI host window's extra word 0.
HIMC uiInputContext();

// ---------------------------------------------------------------------------------------
// The working windows' shared procedure: tooltip, drag-to-move, no activation,
// double-buffered painting and the caret timer. Each window describes what differs.
// ---------------------------------------------------------------------------------------
struct WorkingWindow {
    WindowRecord* record;                          // its tooltip and drag flag
    HWND* handle;                                  // where its handle is kept; cleared when it goes
    void (*paint)(HDC dc, const RECT& client);
    SIZE (*bufferSize)();                          // size of the paint buffer
    UINT tool = 0;                                 // one tool over the client area; 0 for none
    struct Caret {
        UINT_PTR timer = 0;                        // 0: no caret
        UINT period = 0;                           // milliseconds between two steps
        void (*step)(HWND window) = nullptr;
    } caret;
    void (*created)(HWND window, HWND tip) = nullptr;     // further set-up once the tip exists
    bool (*pressed)(HWND window, int x, int y) = nullptr; // left button down; true: no drag
    void (*hovered)(HWND window, int x, int y) = nullptr; // mouse move while not dragging
    void (*released)(HWND window) = nullptr;              // left button up while not dragging
    void (*dropped)(POINT topLeft) = nullptr;             // a drag ended there; null: not kept
};
LRESULT WorkingWindowProc(const WorkingWindow& kind, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------
// Shared routines: font, tooltip, drag-to-move, frames and lines.
// ---------------------------------------------------------------------------------------
HFONT CreateUiFont();
HWND CreateTipControl(HWND owner);
void RelayTipMouse(HWND tip, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetSingleTool(HWND tip, HWND window, UINT toolId);
void BeginDragMove(HWND window, int x, int y);
void TrackDragMove(HWND window, int x, int y);
void EndDragMove(HWND window, int x, int y, POINT* position);
void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour);
void DrawRaisedFrame(HDC dc, int left, int top, int right, int bottom);
void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom);
void AddButtonTool(HWND tip, HWND window, UINT toolId, const RECT& rect, UINT text);
void FillFace(HDC dc, const RECT& client);
int TextWidth(HDC dc, const char* text, int length);
bool WindowExists(HWND window);
// Destroys the window a handle field keeps, if it exists, and empties the field.
void DestroyKeptWindow(HWND& handle);
// Double-buffered paint: paints width x height into a memory context, copies it.
void PaintBuffered(HWND window, int width, int height, void (*painter)(HDC, const RECT&));
// The blinking caret of the letter box and the composition window: inverts the column at
// offset + the width of text (with the UI font and that character spacing), from y = 5 down
// to bottom, directly on the window. Two calls restore the pixels.
void InvertCaret(HWND window, const char* text, int length, int characterExtra, int offset, int bottom);
// Copies the top-left width x height block of a bitmap resource to (x, y).
void DrawPicture(HDC dc, int id, int x, int y, int width, int height);

// ---------------------------------------------------------------------------------------
// Letter box (class ZOZ_CANDCLS).
// ---------------------------------------------------------------------------------------
void CreateLetterBox();
void DestroyLetterBox();
void ShowLetterBox(int show);
void PlaceLetterBox();
void PaintLetterBox(HDC dc, const RECT& client);
LRESULT CALLBACK LetterBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------
// Composition window (class ZOZ_COMPCLS).
// ---------------------------------------------------------------------------------------
void CompositionSize(int* width, int* height);
void CreateCompositionWindow();
void DestroyCompositionWindow();
void FollowCaret(int x, int y);
void PaintComposition(HDC dc, const RECT& client);
int CompositionRowAt(int y);
LRESULT CALLBACK CompositionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------
// Status bar (class ZOZ_STATUSCLS) and its menu.
// ---------------------------------------------------------------------------------------
void CreateStatusWindow();
void DestroyStatusWindow();
void PaintStatus(HDC dc, const RECT& client);
// order 0: the bar's own menu; 1: the introduction's, with the upgrade item first.
UINT OpenStatusMenu(HWND owner, int order);
LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------
// Picture windows: the five-stroke note and the two introduction pictures.
// ---------------------------------------------------------------------------------------
HWND CreatePictureWindow(const char* className);
LRESULT CALLBACK IntroProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK Intro2Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK WubiNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Window class names.
inline constexpr char STATUS_CLASS[] = "ZOZ_STATUSCLS";
inline constexpr char COMPOSITION_CLASS[] = "ZOZ_COMPCLS";
inline constexpr char LETTERBOX_CLASS[] = "ZOZ_CANDCLS";
inline constexpr char INTRO_CLASS[] = "smwindow";
inline constexpr char WUBI_NOTE_CLASS[] = "wbclass";
inline constexpr char INTRO2_CLASS[] = "sdWin";

// ---------------------------------------------------------------------------------------
// Dialogs of the status menu: the settings "WDGX" and the about box "ABOUTBOX". Each runs
// modally, owned by the application's window, and returns 1.
// ---------------------------------------------------------------------------------------
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR OpenSettingsDialog(HWND owner);
// "整句输入" switched as its box in the dialog switches it, without the dialog (the desktop
// engines' menus offer it): false, with a beep, when the setting cannot be stored.
bool FlipSentenceInput();
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR OpenAboutBox(HWND owner);
