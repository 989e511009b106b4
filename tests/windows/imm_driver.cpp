// Plays the Input Method Manager and an application around the real qx.ime under Wine,
// with the host runner's own session, key scripts and typist: loads the module, creates
// its UI window with a real input context in its extra word, selects and activates it,
// then types through ImeProcessKey and ImeToAsciiEx.
//
//   imm_driver [--set NAME=VALUE]... [--keep-pictures] [--shots DIR --tag NAME]
//              [--out FILE] [--trace] --keys SCRIPT
//
// FILE receives the application's text in UTF-8 and a newline, as the host runner prints
// it. With --trace, one "TRACE {json}" line per script key holds what both runners can
// report: the key, whether it was taken, the messages, the visible module windows and the
// text. PASS/FAIL lines for the driver's own checks, then DONE.
#include "keyscript.h"
#include "scriptrun.h"
#include "session.h"
#include "winshot.h"
#include "wintest.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using wintest::check;

// Dispatches what is posted, as an application's loop does: the keys of a dialog go
// through the dialog manager.
void pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        char cls[16] = {};
        if (root && GetClassNameA(root, cls, sizeof cls) && std::strcmp(cls, "#32770") == 0
            && IsDialogMessageA(root, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// A left click at a screen point, delivered to the window under it as the window
// manager would: button down, then the release to whoever holds the mouse.
void click(int x, int y)
{
    const POINT at{x, y};
    HWND window = WindowFromPoint(at);
    if (!window)
        return;
    SetCursorPos(x, y);
    POINT client = at;
    ScreenToClient(window, &client);
    SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
    HWND release = GetCapture() ? GetCapture() : window;
    client = at;
    ScreenToClient(release, &client);
    SendMessageA(release, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    pump();
}

void rightClick(int x, int y)
{
    const POINT at{x, y};
    HWND window = WindowFromPoint(at);
    if (!window)
        return;
    SetCursorPos(x, y);
    POINT client = at;
    ScreenToClient(window, &client);
    SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(client.x, client.y));
    SendMessageA(GetCapture() ? GetCapture() : window, WM_RBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    pump();
}

void doubleClick(int x, int y)
{
    click(x, y);
    const POINT at{x, y};
    HWND window = WindowFromPoint(at);
    if (!window)
        return;
    POINT client = at;
    ScreenToClient(window, &client);
    const bool wants = (GetClassLongA(window, GCL_STYLE) & CS_DBLCLKS) != 0;
    SendMessageA(window, wants ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
    SendMessageA(GetCapture() ? GetCapture() : window, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    pump();
}

void tick(unsigned milliseconds)
{
    Sleep(milliseconds);
    pump();
}

// What the script asked a person to answer next, shared with the watcher thread.
CRITICAL_SECTION answersLock;
int pendingMenu = 0;
std::vector<int> pendingAnswers;
std::vector<HWND> drivenDialogs; // modal windows whose idle time the script drives

void menuAnswer(int command)
{
    EnterCriticalSection(&answersLock);
    pendingMenu = command;
    LeaveCriticalSection(&answersLock);
}

void answer(int id)
{
    EnterCriticalSection(&answersLock);
    pendingAnswers.push_back(id);
    LeaveCriticalSection(&answersLock);
}

// Under Wine the real folder picker would need a person; it is cancelled, and said so.
void folder(const char* path)
{
    if (path && *path)
        std::printf("NOTE the folder picker is cancelled under Wine, not answered with %s\n", path);
}

bool takeAnswer(int& id)
{
    EnterCriticalSection(&answersLock);
    const bool have = !pendingAnswers.empty();
    if (have) {
        id = pendingAnswers.front();
        pendingAnswers.erase(pendingAnswers.begin());
    }
    LeaveCriticalSection(&answersLock);
    return have;
}

// A message box: a dialog whose controls are only its buttons, its text and its icon.
bool isMessageBox(HWND dialog)
{
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(c);
        if (!(id >= IDOK && id <= 11) && id != 0xFFFF && id != -1 && id != 100 && id != 1088)
            return false;
    }
    return true;
}


// The host runner's desktop answers a menu from the script and every message box at
// once when no answer is scripted. Under Wine those are modal loops that would wait for a
// person, so a watcher answers them the same way: a menu by its keys (down to the item
// asked for, then Enter; Esc when none is asked for), a message box that the script does
// not drive with the next scripted answer or its first button. The module's own dialogs
// are driven by the script from their idle time, never by the watcher.
volatile LONG watching = 1;

void chooseFromMenu(HWND menuWindow)
{
    EnterCriticalSection(&answersLock);
    const int command = pendingMenu;
    pendingMenu = 0;
    LeaveCriticalSection(&answersLock);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    int position = -1;
    for (int i = 0; menu && command && i < GetMenuItemCount(menu); ++i)
        if (int(GetMenuItemID(menu, i)) == command)
            position = i;
    if (position < 0) {
        std::printf("ANSWER menu dismissed\n");
        PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    std::printf("ANSWER menu item %d\n", command);
    for (int i = 0; i <= position; ++i)
        PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

bool driven(HWND dialog)
{
    EnterCriticalSection(&answersLock);
    bool found = false;
    for (HWND d : drivenDialogs)
        found = found || d == dialog;
    LeaveCriticalSection(&answersLock);
    return found;
}

DWORD WINAPI answerModalLoops(LPVOID)
{
    const DWORD self = GetCurrentProcessId();
    HWND seen = nullptr, answeredMenu = nullptr;
    DWORD seenSince = 0;
    while (InterlockedCompareExchange(&watching, 1, 1)) {
        DWORD owner = 0;
        HWND menu = FindWindowA("#32768", nullptr);
        const bool menuShown = menu && IsWindowVisible(menu) && GetWindowThreadProcessId(menu, &owner) && owner == self;
        if (menuShown && menu != answeredMenu) {
            answeredMenu = menu;
            chooseFromMenu(menu);
        }
        if (!menuShown)
            answeredMenu = nullptr;
        HWND box = FindWindowA("#32770", nullptr);
        owner = 0;
        if (box && IsWindowVisible(box) && GetWindowThreadProcessId(box, &owner) && owner == self && !driven(box)
            && isMessageBox(box)) {
            // The script has the first chance: a box it drives says so at once.
            if (box != seen) {
                seen = box;
                seenSince = GetTickCount();
            } else if (GetTickCount() - seenSince > 500) {
                int id = 0;
                if (!takeAnswer(id) || !GetDlgItem(box, id)) {
                    HWND first = GetNextDlgTabItem(box, nullptr, FALSE);
                    id = first ? GetDlgCtrlID(first) : IDOK;
                }
                std::printf("ANSWER message box %d\n", id);
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                seen = nullptr;
            }
        }
        Sleep(20);
    }
    return 0;
}

// The script goes on in the idle time of the application's modal loops. Windows waits
// for a message after WM_ENTERIDLE, so something is always left posted for the loop.
bool driveModalLoop(HWND modal, int kind)
{
    EnterCriticalSection(&answersLock);
    bool known = false;
    for (HWND d : drivenDialogs)
        known = known || d == modal;
    if (!known)
        drivenDialogs.push_back(modal);
    LeaveCriticalSection(&answersLock);
    int id = 0;
    bool acted = false;
    if (isMessageBox(modal) && takeAnswer(id)) {
        PostMessageA(modal, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        acted = true;
    } else if (ScriptRun* run = ScriptRun::current()) {
        acted = run->idle(modal, kind);
    }
    if (!acted && IsWindow(modal)) {
        HWND first = GetNextDlgTabItem(modal, nullptr, FALSE);
        PostMessageA(modal, WM_COMMAND, MAKEWPARAM(first ? GetDlgCtrlID(first) : IDOK, BN_CLICKED), 0);
    }
    if (IsWindow(modal))
        PostMessageA(modal, WM_NULL, 0, 0);
    return true;
}

// Progress lines: under Wine a hang shows only as the last stage printed.
void printStage(const char* name)
{
    std::printf("STEP %s\n", name);
}

std::string gbkToUtf8(const std::string& gbk)
{
    if (gbk.empty())
        return gbk;
    std::wstring wide(gbk.size(), L'\0');
    const int n = MultiByteToWideChar(936, 0, gbk.data(), int(gbk.size()), wide.data(), int(wide.size()));
    std::string out(size_t(n) * 4, '\0');
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, out.data(), int(out.size()), nullptr, nullptr);
    out.resize(size_t(m));
    return out;
}

// Quoted as the host runner's trace quotes: UTF-8, only quotes, backslashes and control
// characters escaped.
std::string jsonString(const std::string& gbk)
{
    std::string out = "\"";
    for (unsigned char c : gbkToUtf8(gbk)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// The active dialog, as the host runner reports it.
std::string dialogJson()
{
    const OpenDialog d = describeOpenDialog();
    if (!d.open)
        return "null";
    return "{\"title\":" + jsonString(d.title) + ",\"focus\":" + std::to_string(d.focus)
        + ",\"focusText\":" + jsonString(d.focusText) + "}";
}

std::string traceLine(const ScriptKey& key, const std::vector<KeyEvent>& events, const std::string& text)
{
    std::string line = "{\"key\":" + jsonString(key.text);
    line += std::string(",\"taken\":") + (!events.empty() && events.back().taken ? "true" : "false");
    line += ",\"messages\":" + messagesJson(events);
    line += ",\"visible\":[";
    bool first = true;
    for (const std::string& name : visibleModuleWindows()) {
        if (!first)
            line += ',';
        line += jsonString(name);
        first = false;
    }
    return line + "],\"dialog\":" + dialogJson() + ",\"text\":" + jsonString(text) + "}";
}

BOOL CALLBACK collectVisible(HWND window, LPARAM param)
{
    if (IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// Pictures of the module's windows as Wine drew them, with their places.
void saveShots(const ImeSession& s, const std::string& dir, const std::string& tag)
{
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), collectVisible, reinterpret_cast<LPARAM>(&windows));
    for (HWND w : windows) {
        if (w == s.appWindow || w == s.uiWindow)
            continue;
        char cls[64] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (std::strcmp(cls, "#32770") == 0)
            std::strcpy(cls, "dialog");
        RECT r{};
        GetWindowRect(w, &r);
        std::printf("WINDOW %s %ld,%ld %ldx%ld\n", cls, r.left, r.top, r.right - r.left, r.bottom - r.top);
        winshot::Picture picture;
        const std::string path = dir + "\\" + tag + "-" + cls + ".bmp";
        check(winshot::capture(w, picture) && winshot::saveBmp(picture, path.c_str()),
            ("picture of " + std::string(cls)).c_str(), "%s", path.c_str());
    }
}

// Each run starts as a fresh home does: only the given settings, no user files.
void freshSettings(const std::vector<std::pair<std::string, DWORD>>& settings)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\QX");
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        == ERROR_SUCCESS) {
        for (const auto& [name, value] : settings)
            RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }
    char dir[MAX_PATH];
    const UINT n = GetSystemDirectoryA(dir, sizeof dir);
    if (n && n < sizeof dir)
        for (const char* file : {"fread.rt", "freadx.rt", "WBCZ.rt", "PYCZ.rt", "tmpfread.rt"})
            DeleteFileA((std::string(dir) + "\\" + file).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    wintest::begin();
    std::vector<std::pair<std::string, DWORD>> settings;
    std::string script, shots, out, tag = "shot";
    bool haveKeys = false, trace = false, keepPictures = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--set" && hasValue) {
            // Wine hands the arguments over in the ANSI code page: the name is GBK already.
            const std::string nv = argv[++i];
            const size_t eq = nv.find('=');
            if (eq != std::string::npos)
                settings.emplace_back(nv.substr(0, eq), DWORD(std::strtoul(nv.c_str() + eq + 1, nullptr, 10)));
        } else if (a == "--keys" && hasValue) {
            script = argv[++i];
            haveKeys = true;
        } else if (a == "--shots" && hasValue) {
            shots = argv[++i];
        } else if (a == "--tag" && hasValue) {
            tag = argv[++i];
        } else if (a == "--out" && hasValue) {
            out = argv[++i];
        } else if (a == "--trace") {
            trace = true;
        } else if (a == "--keep-pictures") {
            keepPictures = true;
        } else {
            check(false, "arguments", "unknown argument %s", a.c_str());
            return wintest::finish();
        }
    }
    std::vector<ScriptKey> keys;
    std::string error;
    if (!check(haveKeys && parseKeyScript(script, keys, error), "key script parses", "%s", error.c_str()))
        return wintest::finish();

    freshSettings(settings);
    InitializeCriticalSection(&answersLock);
    HANDLE watcher = CreateThread(nullptr, 0, answerModalLoops, nullptr, 0, nullptr);
    // The desktop the host runner models: the screen less a 28-pixel taskbar, so that
    // windows placed against the work area land on the same points.
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 28};
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &work, 0);

    SessionHooks hooks;
    hooks.click = click;
    hooks.rightClick = rightClick;
    hooks.doubleClick = doubleClick;
    hooks.tick = tick;
    hooks.pump = pump;
    hooks.menuAnswer = menuAnswer;
    hooks.answer = answer;
    hooks.folder = folder;
    hooks.idle = driveModalLoop;
    hooks.stage = printStage;
    ImeSession s;
    if (!check(openSession(s, "qx.ime", hooks, error), "session with qx.ime opens", "%s", error.c_str())) {
        closeSession(s);
        return wintest::finish();
    }
    check(std::strcmp(s.uiClass, "NOVPA_UICLS") == 0, "ImeInquire names the UI class", "\"%s\"", s.uiClass);
    std::printf("STEP typing\n");
    if (!keepPictures) {
        std::printf("STEP pictures\n");
        closePictures(s);
    }
    // Keys go on inside the dialogs they open; a dialog left open at the end is pictured
    // first, then closed as a person would.
    bool pictured = false;
    ScriptRun::Report report;
    report.typed = [&](const ScriptKey& key, const std::vector<KeyEvent>& events) {
        if (trace)
            std::printf("TRACE %s\n", traceLine(key, events, s.typist->text()).c_str());
    };
    report.ended = [&](HWND) {
        if (!shots.empty())
            saveShots(s, shots, tag);
        pictured = true;
    };
    report.closing = [&](HWND modal, const char* how) {
        char title[256] = {};
        GetWindowTextA(modal, title, sizeof title);
        if (trace)
            std::printf("TRACE {\"closing\":%s,\"by\":%s}\n", jsonString(title).c_str(), jsonString(how).c_str());
    };
    ScriptRun run(s, keys, report);
    run.run();


    const std::string text = gbkToUtf8(s.typist->text());
    std::printf("TEXT %s\n", text.c_str());
    if (!out.empty()) {
        FILE* f = std::fopen(out.c_str(), "wb");
        const bool written = f && std::fprintf(f, "%s\n", text.c_str()) >= 0;
        check(f && std::fclose(f) == 0 && written, "text written", "%s", out.c_str());
    }
    if (!shots.empty() && !pictured)
        saveShots(s, shots, tag);

    closeSession(s);
    InterlockedExchange(&watching, 0);
    if (watcher) {
        WaitForSingleObject(watcher, 2000);
        CloseHandle(watcher);
    }
    return wintest::finish();
}
