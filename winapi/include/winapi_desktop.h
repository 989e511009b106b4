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
// answer), "winexec" (text: the command line, value: the show command), "dialog-open"
// and "dialog-close" (text: the title, detail: "modal" or "modeless"; value: the result
// on closing), "dialog-person" (text: what the desktop did for nobody: "Esc", "close"),
// "folder" (text: the picker's title, detail: the path answered, value: 1, or 0 for a
// cancel).
struct WinapiDesktopEvent {
    std::string kind;
    std::string text;    // GBK, as the module passed it
    std::string detail;
    long value = 0;
};
// Bounded as the records of winapi_host.h are (WINAPI_RECORDS_KEPT).
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

// ---- dialogs ----

// A dialog template as the dialog manager reads it, classic (DLGTEMPLATE) or extended
// (DLGTEMPLATEEX). Texts are GBK; a class or title given as an ordinal keeps the number.
struct WinapiDialogItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    DWORD id = 0;
    std::string className;  // "BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX" for 0x80-0x85
    WORD classOrdinal = 0;  // 0 for a class given by name
    std::string title;
    bool titleIsOrdinal = false;
    WORD titleOrdinal = 0;  // a resource id (bitmap or icon of a static)
    std::vector<BYTE> creationData;
};
struct WinapiDialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    WORD menuOrdinal = 0;
    std::string className;  // empty for the dialog class "#32770"
    WORD classOrdinal = 0;
    std::string title;
    bool hasFont = false;  // DS_SETFONT
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string faceName;
    std::vector<WinapiDialogItem> items;
};
// Parses the template in the first `size` bytes; false (and *out unspecified) when the
// bytes are not a whole template.
bool winapiParseDialogTemplate(const void* data, size_t size, WinapiDialogTemplate* out);

// The person at the desktop while a modal loop waits (a dialog, a message box): called
// with the modal window and MSGF_DIALOGBOX or MSGF_MESSAGEBOX after the owner has had its
// WM_ENTERIDLE. It acts as a person would (keys, clicks, time) and returns true, or
// returns false when it has nothing more to do. Null for nobody.
typedef bool (*WinapiPerson)(HWND modal, int kind);
void winapiSetPerson(WinapiPerson person);

// With nobody acting, a waiting dialog is closed as a person would close it: Esc, then
// its close box; a message box takes the next queued answer or its first button.

// Scripted answers of the shell's folder picker: the next SHBrowseForFolderA returns this
// path (host path; null or empty for a cancel). With none queued the picker is cancelled.
void winapiPushFolderAnswer(const char* path);

// Keys a person types, posted to the window with the focus (the active window when no
// window has it) with the key state kept; the caller's message loop delivers them.
void winapiKeyDown(UINT vk);
void winapiKeyUp(UINT vk);
void winapiPressKey(UINT vk);  // down and up
// A double click: down, up, then WM_LBUTTONDBLCLK (for classes with CS_DBLCLKS) and up.
void winapiDoubleClick(int x, int y);

// Destroys every window and clears the queue, timers, capture, answers and events:
// a fresh desktop for the next test.
void winapiResetDesktop();
