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

void pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
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

void tick(unsigned milliseconds)
{
    Sleep(milliseconds);
    pump();
}

// The host runner's desktop answers every menu and message box at once when no answer is
// scripted: menus are dismissed, message boxes get OK. Under Wine those are modal loops
// that would wait for a person, so a watcher answers them the same way.
volatile LONG watching = 1;

DWORD WINAPI answerModalLoops(LPVOID)
{
    const DWORD self = GetCurrentProcessId();
    while (InterlockedCompareExchange(&watching, 1, 1)) {
        for (const bool menu : {true, false}) {
            HWND window = FindWindowA(menu ? "#32768" : "#32770", nullptr);
            DWORD owner = 0;
            if (!window || !IsWindowVisible(window))
                continue;
            GetWindowThreadProcessId(window, &owner);
            if (owner != self)
                continue;
            std::printf(menu ? "ANSWER menu dismissed\n" : "ANSWER message box OK\n");
            if (menu)
                PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
            else
                PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        Sleep(20);
    }
    return 0;
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
    return line + "],\"text\":" + jsonString(text) + "}";
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
    HANDLE watcher = CreateThread(nullptr, 0, answerModalLoops, nullptr, 0, nullptr);
    // The desktop the host runner models: the screen less a 28-pixel taskbar, so that
    // windows placed against the work area land on the same points.
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 28};
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &work, 0);

    SessionHooks hooks;
    hooks.click = click;
    hooks.tick = tick;
    hooks.pump = pump;
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
    for (const ScriptKey& key : keys) {
        const std::vector<KeyEvent> events = s.typist->type(key);
        if (trace)
            std::printf("TRACE %s\n", traceLine(key, events, s.typist->text()).c_str());
    }

    const std::string text = gbkToUtf8(s.typist->text());
    std::printf("TEXT %s\n", text.c_str());
    if (!out.empty()) {
        FILE* f = std::fopen(out.c_str(), "wb");
        const bool written = f && std::fprintf(f, "%s\n", text.c_str()) >= 0;
        check(f && std::fclose(f) == 0 && written, "text written", "%s", out.c_str());
    }
    if (!shots.empty())
        saveShots(s, shots, tag);

    closeSession(s);
    InterlockedExchange(&watching, 0);
    if (watcher) {
        WaitForSingleObject(watcher, 2000);
        CloseHandle(watcher);
    }
    return wintest::finish();
}
