// Shared state of the window manager and GDI in the stand-in: windows, classes, the
// message queue, GDI objects and the pixel surfaces they draw into. Single-threaded, as
// the module's UI thread is.
#pragma once

#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace screen {

// Pixels are 0x00RRGGBB, as a 32-bit DIB holds them in memory.
// The pixels of a window or bitmap. Their stores are recycled (surface.cpp): a session
// makes and drops stores of the same few sizes, and fresh memory costs the process a
// page fault a page, which made up most of opening one.
struct Surface {
    int width = 0;
    int height = 0;
    bool mono = false;  // a monochrome bitmap keeps black and white only
    // The decoded picture that loaded bitmaps share until one is drawn into (drawable()):
    // never written itself. A copy is not shared.
    bool sharedPicture = false;
    std::vector<uint32_t> pixels;
    Surface(int w, int h, uint32_t fill);
    Surface(const Surface& other);
    Surface& operator=(const Surface&) = delete;
    ~Surface();
    uint32_t* at(int x, int y) { return &pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// What a surface stores for a colour: monochrome ones take the nearer of black and white.
inline uint32_t storable(const Surface& s, uint32_t p) {
    if (!s.mono) return p;
    unsigned lum = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
    return lum >= 128 ? 0xFFFFFF : 0;
}

inline uint32_t pixelFromColor(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF colorFromPixel(uint32_t p) {
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menuName;
    ATOM atom = 0;
};

// The vertical scroll bar of a window with WS_VSCROLL, drawn in its non-client area.
struct ScrollBarState {
    bool shown = false;
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string title;
    HWND parent = nullptr;  // child windows only
    HWND owner = nullptr;   // top-level windows only
    LONG_PTR id = 0;        // child id (hMenu of CreateWindowEx)
    LONG_PTR userData = 0;
    RECT rect{};            // in the parent's client coordinates (screen for top level)
    std::vector<unsigned char> extra;
    std::shared_ptr<Surface> surface;
    bool updatePending = false;
    bool eraseNeeded = false;
    RECT update{};          // client coordinates
    bool destroying = false;
    HFONT font = nullptr;   // WM_SETFONT, for the dialog controls
    ScrollBarState vscroll;
};

// All live windows by handle; top-level z-order bottom to top (topmost band last).
std::map<uintptr_t, std::unique_ptr<Window>>& windows();
std::vector<HWND>& zOrder();
Window* findWindow(HWND hwnd);
std::shared_ptr<WindowClass> findClass(LPCSTR name, HINSTANCE instance);
uintptr_t newHandle();

// The non-client area: frame, caption, client edge and scroll bar around the client.
struct Insets {
    int left, top, right, bottom;
};
Insets nonClientInsets(const Window& w);
RECT clientRectOf(const Window& w);   // client coordinates
POINT clientOrigin(const Window& w);  // screen coordinates
RECT screenRect(const Window& w);
// Draws the frame, caption and scroll bar into the window's surface.
void drawNonClient(Window& w);
// What part of the window a screen point is on (HT* codes), and the default action of a
// left press on a non-client part.
LRESULT nonClientHitTest(const Window& w, POINT screen);
void nonClientPress(HWND hwnd, LRESULT hit, POINT screen);
// Redraws the non-client area after its content changed (title, scroll bar).
void refreshNonClient(HWND hwnd);
// DrawEdge on a surface, in its own coordinates.
void edgeOnSurface(Surface& s, RECT r, UINT edge, UINT flags);

// Message queue and dispatch.
struct QueuedMessage {
    MSG msg;
};
std::deque<MSG>& queue();
LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void invalidateAll(Window& w, bool erase);
void removeQueuedFor(HWND hwnd);

// Timers and the clock.
DWORD now();
void killTimersOf(HWND hwnd);
bool nextTimerDue(DWORD& due);
void postDueTimers();

// The window under a screen point and its answer to WM_NCHITTEST.
HWND windowFromPoint(POINT pt, LRESULT& hit);

// Mouse capture and focus bookkeeping touched by DestroyWindow.
void forgetWindow(HWND hwnd);

// Desktop and screen.
int desktopWidth();
int desktopHeight();
RECT workArea();
std::shared_ptr<Surface> screenSurface();  // composed on demand
void markScreenDirty();
void composeScreen();

// GDI objects.
enum class Kind { Pen, Brush, Font, Bitmap, Dc };

struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    Kind kind;
    bool stock = false;
    COLORREF color = 0;
    int penStyle = PS_SOLID;
    int penWidth = 1;
    bool nullBrush = false;
    LOGFONTA font{};
    std::shared_ptr<Surface> bitmap;
    int bitsPixel = 32;
    HDC selectedInto = nullptr;
};

enum class DcKind { Window, Memory, Screen };

struct DeviceContext {
    DcKind kind = DcKind::Memory;
    HWND hwnd = nullptr;
    std::shared_ptr<Surface> target;
    POINT origin{};  // client origin inside the target
    RECT clip{};     // in target coordinates
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ font = nullptr;
    HGDIOBJ bitmap = nullptr;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int charExtra = 0;
    UINT textAlign = 0;
    POINT current{};
};

GdiObject* findObject(HGDIOBJ h);
DeviceContext* findDc(HDC hdc);
HGDIOBJ addObject(GdiObject obj);
HDC newWindowDc(HWND hwnd, bool wholeWindow);
void dropDcsOf(HWND hwnd);

// The context's pixels, to draw into: a bitmap still sharing its decoded picture gets a
// copy of its own first. Every write to a context's target goes through it.
Surface& drawable(DeviceContext& dc);
// Pixel primitives in a context's client coordinates, clipped.
void putPixel(DeviceContext& dc, int x, int y, uint32_t color, int rop2);
void fillSolid(DeviceContext& dc, RECT r, uint32_t color);

// Text: width of one byte of a font of cell height h; GBK text drawing.
int fontCellHeight(const LOGFONTA& lf);
int textWidth(const LOGFONTA& lf, const char* text, int length, int extra);
void drawText(DeviceContext& dc, int x, int y, const char* text, int length, const INT* dx);

// The system's window classes (tooltips, dialogs, controls), registered on first use;
// and the subclass relay of TTF_SUBCLASS tools.
void registerBuiltinClasses();
void registerTooltipClass();
void registerDialogClass();
void registerButtonClass();
void registerEditClass();
void registerListBoxClass();
void registerStaticClass();
void relayToSubclassingTips(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Dialogs: what the dialog manager keeps for each dialog window.
struct DialogState {
    HFONT font = nullptr;
    bool ownsFont = false;
    int baseX = 0, baseY = 0;  // dialog base units of the font
    bool modal = false;
    bool messageBox = false;
    bool ended = false;
    INT_PTR result = 0;
    HWND owner = nullptr;      // the top-level owner a modal dialog disabled
    bool ownerDisabled = false;
    HWND savedFocus = nullptr;
    int defId = 0;             // default button's id, 0 for none
    bool closeRecorded = false;
};
DialogState* findDialog(HWND dialog);
HWND createDialog(HINSTANCE instance, const void* data, size_t size, HWND owner, DLGPROC proc,
                  LPARAM param, bool modal, bool messageBox);
// Runs a modal loop until EndDialog; `nobody` closes the dialog when neither the owner nor
// the desktop's person acts (round 0, 1, ...) and returns false when it has given up.
INT_PTR runModal(HWND dialog, HWND owner, int kind, bool (*nobody)(HWND dialog, int round));
// The desktop's person (winapiSetPerson); reset with the desktop.
void setPerson(WinapiPerson person);
// The default push button follows the focus inside a dialog.
void fixDefaultButton(HWND dialog, HWND focus);
// Draws a system icon (IDI_*) or an icon resource; false for an unknown handle.
bool drawIconAt(HDC hdc, int x, int y, HICON icon);

// Resources read through FindResourceA; nullptr when missing.
const unsigned char* resourceBytes(HINSTANCE instance, LPCSTR name, LPCSTR type, DWORD& size);

// Event record (message boxes, programs started, menus tracked).
void recordEvent(const char* kind, const std::string& text, const std::string& detail,
                 long value);

}  // namespace screen
