// Host-only hooks of the stand-in's desktop: what a person and the clock would do on
// Windows (moving the mouse, answering a menu or a message box, time passing), and what
// a person would see (pixels, the visible windows, a PNG of the screen). Tests and the
// host runner drive the windows through these; the module itself never calls them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Desktop size; the work area is the desktop less a taskbar of the given height at the
// bottom. The default is 1024 x 768 with a 28-pixel taskbar.
void winapiSetDesktopSize(int width, int height, int taskbarHeight = 28);

// The clock behind SetTimer, GetMessageTime and MSG.time, in milliseconds.
DWORD winapiClock();
// Lets time pass: each timer that falls due posts its WM_TIMER at its time and the
// queue is pumped there, so a 300 ms timer ticks three times in 900 ms.
void winapiAdvanceClock(DWORD milliseconds);
// Dispatches every queued message and pending paint; returns how many were handled.
int winapiPumpMessages();

// The mouse, in screen coordinates. Button 0 is the left, 1 the right. Each call posts
// what Windows would (WM_MOUSEACTIVATE and WM_SETCURSOR are sent first on a press) to the
// capturing window or the window under the point, then pumps.
void winapiMouseMove(int x, int y);
void winapiMouseDown(int button, int x, int y);
void winapiMouseUp(int button, int x, int y);
void winapiClick(int x, int y);

// Scripted answers. A tracked popup menu takes the next menu answer (a command id; with
// none queued, or 0, it is dismissed); a message box takes the next answer, or its first
// button (IDOK for MB_OK) when none is queued.
void winapiPushMenuAnswer(UINT commandId);
void winapiPushMessageBoxAnswer(int answer);
void winapiClearAnswers();

// What the desktop recorded: "menu" (text: the items, one per line, "-" for a
// separator; value: the choice), "messagebox" (text, detail: caption, value: the
// answer), "winexec" (text: the command line, value: the show command).
struct WinapiDesktopEvent {
    std::string kind;
    std::string text;    // GBK, as the module passed it
    std::string detail;
    long value = 0;
};
const std::vector<WinapiDesktopEvent>& winapiDesktopEvents();
void winapiClearDesktopEvents();

// What is on the screen. Pixels are COLORREF values; CLR_INVALID outside.
COLORREF winapiScreenPixel(int x, int y);
// A window's own pixels in window coordinates (its border included), even when hidden.
COLORREF winapiWindowPixel(HWND hwnd, int x, int y);
// Visible top-level windows, bottom to top.
std::vector<HWND> winapiVisibleWindows();
bool winapiSaveScreenPng(const char* path);
bool winapiSaveWindowPng(HWND hwnd, const char* path);

// Tools registered with tooltip controls (all controls when tip is null).
struct WinapiTool {
    HWND tip = nullptr;
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT flags = 0;
    RECT rect{};
    std::string text;  // GBK
};
std::vector<WinapiTool> winapiTooltipTools(HWND tip = nullptr);
// Text of the tooltip on show, empty when none is shown.
std::string winapiShownTooltip();

// The IME whose NotifyIME the manager calls when a context's status changes (null for
// none); the host binds the loaded module's export, tests may bind their own.
typedef BOOL(WINAPI* WinapiNotifyIme)(HIMC context, DWORD action, DWORD index, DWORD value);
void winapiImmBindIme(WinapiNotifyIme notifyIme);

// Destroys every window and clears the queue, timers, capture, answers and events:
// a fresh desktop for the next test.
void winapiResetDesktop();
