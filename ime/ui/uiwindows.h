// The module's own windows: the state they keep between relayouts and the routines they
// share. Everything here runs on the UI thread; nothing is locked.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

// ---------------------------------------------------------------------------------------
// Layout state of the windows, process-wide beside the engine record.
// ---------------------------------------------------------------------------------------
extern int compositionX, compositionY;        // top-left of the composition window
extern int compositionWidth, compositionHeight; // size computed by the last relayout
extern int32_t letterBoxWidth;                // width of the letter box, last computed
extern int16_t uiFontHeight;                  // cell height of the UI font
extern int32_t firstShowPending;              // windows stay hidden until the first relayout
extern int pictureWidth, pictureHeight;       // size of the picture windows

// Status bar: placed once per process; (0, 0) means not placed yet.
extern int statusX, statusY, statusWidth, statusHeight;
extern RECT statusButtons[4];
extern RECT statusButtonArea;
extern int statusPressed;                     // button held down, -1 for none
extern int16_t softLayout;                    // soft-keyboard layout chosen from the menu
void SelectSoftLayout(int layout);

// Drag record: one for the process, since a drag holds the mouse capture.
struct DragRecord {
    int lastX, lastY;         // screen point of the outline last drawn
    int grabDX, grabDY;       // cursor offset from the window's top-left
    int dragWidth, dragHeight; // size of the outline
};
extern DragRecord dragRecord;

// Timers and tool ids of the windows.
constexpr UINT_PTR COMPOSITION_CARET_TIMER = 100;
constexpr UINT_PTR LETTERBOX_CARET_TIMER = 200;
constexpr UINT COMPOSITION_TOOL = 200;
constexpr UINT LETTERBOX_TOOL = 300;
constexpr UINT STATUS_TOOL_BASE = 100;
constexpr UINT TIP_STRING = 5;             // "wrong key three times" hint

// Menu command ids of the status menu.
constexpr UINT CMD_WEBSITE = 1280;
constexpr UINT CMD_LAST_LAYOUT = 1292;
constexpr UINT CMD_ABOUT = 1293;
constexpr UINT CMD_NEWS = 1294;
constexpr UINT CMD_MANUAL = 1295;
constexpr UINT CMD_SETTINGS = 1297;
constexpr UINT CMD_USER_PHRASES = 1298;
constexpr UINT CMD_WEB_ADDRESSES = 1299;
constexpr UINT CMD_RADICALS = 1300;
constexpr UINT CMD_UPGRADE = 1301;

// Input context of the application: the UI host window's extra word 0.
HIMC uiInputContext();

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
// Double-buffered paint: paints width x height into a memory context, copies it.
void PaintBuffered(HWND window, int width, int height, void (*painter)(HDC, const RECT&));

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
extern int32_t introPending;   // the introduction has not run in this process yet
HWND CreatePictureWindow(const char* className);
LRESULT CALLBACK IntroProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK Intro2Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK WubiNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Window class names.
inline constexpr char UI_CLASS[] = "NOVPA_UICLS";
inline constexpr char STATUS_CLASS[] = "ZOZ_STATUSCLS";
inline constexpr char COMPOSITION_CLASS[] = "ZOZ_COMPCLS";
inline constexpr char LETTERBOX_CLASS[] = "ZOZ_CANDCLS";
inline constexpr char INTRO_CLASS[] = "smwindow";
inline constexpr char WUBI_NOTE_CLASS[] = "wbclass";
inline constexpr char INTRO2_CLASS[] = "sdWin";
