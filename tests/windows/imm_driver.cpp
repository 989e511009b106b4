// Plays the Input Method Manager and an application around the real qx.ime under Wine:
// loads the module, creates its UI window with a real input context, selects and
// activates it, then types a key script through ImeProcessKey and ImeToAsciiEx and
// applies the returned messages as an edit control would.
//
//   imm_driver [--set NAME=VALUE]... [--shots DIR --tag NAME] [--out FILE] [--trace] --keys SCRIPT
//
// Writes the application's text in UTF-8 and a newline to FILE (as the host runner prints
// it), prints it as "TEXT ..." too (and "TRACE ..." lines per key with --trace), PASS/FAIL
// lines for what the driver itself checks, and DONE.
#include "winshot.h"
#include "wintest.h"

#include "frontend/imedev.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using wintest::check;

using ImeInquireFn = BOOL(WINAPI*)(LPIMEINFO, LPSTR, DWORD);
using ImeProcessKeyFn = BOOL(WINAPI*)(HIMC, UINT, LPARAM, const BYTE*);
using ImeToAsciiExFn = UINT(WINAPI*)(UINT, UINT, const BYTE*, LPTRANSMSGLIST, UINT, HIMC);

constexpr UINT kMessageRoom = 64;

struct Module {
    HMODULE library = nullptr;
    ImeInquireFn inquire = nullptr;
    ImeProcessKeyFn processKey = nullptr;
    ImeToAsciiExFn toAsciiEx = nullptr;
};

// One key as the keyboard delivers it.
struct Key {
    std::string name; // as written in the script
    UINT vk = 0;
    BYTE ch = 0;      // character the key produces with the modifiers held
    UINT scan = 0;
    bool extended = false;
    bool shift = false, rightShift = false, ctrl = false, alt = false;
};

// ---- keys of a US keyboard ----

struct Punct {
    char plain, shifted;
    UINT vk;
    UINT scan;
};
constexpr Punct kPunct[] = {
    {';', ':', 0xBA, 0x27}, {'=', '+', 0xBB, 0x0D}, {',', '<', 0xBC, 0x33}, {'-', '_', 0xBD, 0x0C},
    {'.', '>', 0xBE, 0x34}, {'/', '?', 0xBF, 0x35}, {'`', '~', 0xC0, 0x29}, {'[', '{', 0xDB, 0x1A},
    {'\\', '|', 0xDC, 0x2B}, {']', '}', 0xDD, 0x1B}, {'\'', '"', 0xDE, 0x28},
};
constexpr char kShiftedDigits[] = ")!@#$%^&*(";
constexpr char kLetterScans[] = "\x1E\x30\x2E\x20\x12\x21\x22\x23\x17\x24\x25\x26\x32\x31\x18\x19\x10\x13\x1F\x14\x16\x2F\x11\x2D\x15\x2C";
constexpr char kDigitScans[] = "\x0B\x02\x03\x04\x05\x06\x07\x08\x09\x0A";

// A printable character: its key and whether Shift makes it.
bool keyForChar(char c, Key& key)
{
    key.name = std::string(1, c);
    key.ch = BYTE(c);
    if (c >= 'a' && c <= 'z') {
        key.vk = UINT(c - 'a' + 'A');
        key.scan = BYTE(kLetterScans[c - 'a']);
    } else if (c >= 'A' && c <= 'Z') {
        key.vk = UINT(c);
        key.scan = BYTE(kLetterScans[c - 'A']);
        key.shift = true;
    } else if (c >= '0' && c <= '9') {
        key.vk = UINT(c);
        key.scan = BYTE(kDigitScans[c - '0']);
    } else if (const char* d = std::strchr(kShiftedDigits, c); d && c) {
        key.vk = UINT('0' + (d - kShiftedDigits));
        key.scan = BYTE(kDigitScans[d - kShiftedDigits]);
        key.shift = true;
    } else if (c == ' ') {
        key.vk = VK_SPACE;
        key.scan = 0x39;
    } else {
        for (const Punct& p : kPunct)
            if (c == p.plain || c == p.shifted) {
                key.vk = p.vk;
                key.scan = p.scan;
                key.shift = c == p.shifted;
                return true;
            }
        return false;
    }
    return true;
}

struct Named {
    const char* name;
    UINT vk;
    BYTE ch;
    UINT scan;
    bool extended;
};
constexpr Named kNamed[] = {
    {"Space", VK_SPACE, ' ', 0x39, false}, {"Enter", VK_RETURN, '\r', 0x1C, false},
    {"Esc", VK_ESCAPE, 0x1B, 0x01, false}, {"Tab", VK_TAB, '\t', 0x0F, false},
    {"Back", VK_BACK, 0x08, 0x0E, false}, {"Del", VK_DELETE, 0, 0x53, true},
    {"Left", VK_LEFT, 0, 0x4B, true}, {"Right", VK_RIGHT, 0, 0x4D, true},
    {"Up", VK_UP, 0, 0x48, true}, {"Down", VK_DOWN, 0, 0x50, true},
    {"Home", VK_HOME, 0, 0x47, true}, {"End", VK_END, 0, 0x4F, true},
    {"PgUp", VK_PRIOR, 0, 0x49, true}, {"PgDn", VK_NEXT, 0, 0x51, true},
    {"Ctrl", VK_CONTROL, 0, 0x1D, false}, {"LShift", VK_SHIFT, 0, 0x2A, false},
    {"RShift", VK_SHIFT, 0, 0x36, false},
};

// Parses SCRIPT into key events. A shifted character is the Shift key alone, then the
// key with Shift held; {Caps} toggles Caps Lock (kept in caps); {Tick:MS} waits.
struct Event {
    enum Kind { Press, Caps, Tick, Click } kind = Press;
    Key key;
    int ms = 0;
    POINT at{};
};

bool parseScript(const std::string& script, std::vector<Event>& events, std::string& error)
{
    for (size_t i = 0; i < script.size();) {
        Event e;
        if (script[i] != '{') {
            if (!keyForChar(script[i], e.key)) {
                error = "no key types '" + std::string(1, script[i]) + "'";
                return false;
            }
            ++i;
        } else {
            const size_t close = script.find('}', i + 1);
            if (close == std::string::npos) {
                error = "unclosed {";
                return false;
            }
            std::string name = script.substr(i + 1, close - i - 1);
            i = close + 1;
            if (name == "Caps") {
                e.kind = Event::Caps;
                events.push_back(e);
                continue;
            }
            if (name.rfind("Click:", 0) == 0) {
                e.kind = Event::Click;
                if (std::sscanf(name.c_str() + 6, "%ld,%ld", &e.at.x, &e.at.y) != 2) {
                    error = "bad {" + name + "}";
                    return false;
                }
                events.push_back(e);
                continue;
            }
            if (name.rfind("Tick:", 0) == 0) {
                e.kind = Event::Tick;
                e.ms = std::atoi(name.c_str() + 5);
                events.push_back(e);
                continue;
            }
            bool ctrl = false, alt = false, rshift = false;
            for (;;) {
                if (name.rfind("Ctrl+", 0) == 0) { ctrl = true; name.erase(0, 5); }
                else if (name.rfind("Alt+", 0) == 0) { alt = true; name.erase(0, 4); }
                else if (name.rfind("RShift+", 0) == 0) { rshift = true; name.erase(0, 7); }
                else break;
            }
            bool found = false;
            if (name.size() == 1)
                found = keyForChar(rshift ? char(std::toupper(name[0])) : name[0], e.key);
            for (const Named& n : kNamed)
                if (!found && name == n.name) {
                    e.key.vk = n.vk;
                    e.key.ch = n.ch;
                    e.key.scan = n.scan;
                    e.key.extended = n.extended;
                    found = true;
                }
            if (!found) {
                error = "unknown key {" + name + "}";
                return false;
            }
            e.key.name = std::string("{") + (ctrl ? "Ctrl+" : "") + (alt ? "Alt+" : "")
                + (rshift ? "RShift+" : "") + name + "}";
            e.key.ctrl = ctrl;
            e.key.alt = alt;
            if (rshift) {
                e.key.shift = true;
                e.key.rightShift = true;
            }
            if (ctrl && e.key.vk >= 'A' && e.key.vk <= 'Z')
                e.key.ch = BYTE(e.key.vk - 'A' + 1);
            else if (ctrl || alt)
                e.key.ch = 0;
        }
        if (e.key.shift && e.key.vk != VK_SHIFT) {
            Event shift;
            shift.key.name = e.key.rightShift ? "{RShift}" : "{LShift}";
            shift.key.vk = VK_SHIFT;
            shift.key.scan = e.key.rightShift ? 0x36 : 0x2A;
            shift.key.shift = true;
            shift.key.rightShift = e.key.rightShift;
            events.push_back(shift);
        }
        events.push_back(e);
    }
    return true;
}

// ---- the application: an edit field with the default IME handling ----

struct Application {
    std::vector<std::string> characters; // one GBK character (1 or 2 bytes) each
    BYTE pendingLead = 0;

    void typeByte(BYTE b)
    {
        if (pendingLead) {
            characters.push_back(std::string{char(pendingLead), char(b)});
            pendingLead = 0;
        } else if (b == 0x08) {
            if (!characters.empty())
                characters.pop_back();
        } else if (b == '\r') {
            characters.push_back("\n");
        } else if (b >= 0x81 && b <= 0xFE) {
            pendingLead = b;
        } else if (b >= 0x20 || b == '\t') {
            characters.push_back(std::string(1, char(b)));
        }
    }
    void typeText(const char* text, size_t length)
    {
        for (size_t i = 0; i < length; ++i)
            typeByte(BYTE(text[i]));
    }
    std::string gbk() const
    {
        std::string s;
        for (const auto& c : characters)
            s += c;
        return s;
    }
};

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

// What TranslateMessage makes of a key-down the IME let through.
BYTE translated(const Key& key, bool capsLock)
{
    if (key.ctrl || key.alt)
        return 0;
    if (key.vk >= 'A' && key.vk <= 'Z')
        return BYTE(key.shift != capsLock ? key.vk : key.vk - 'A' + 'a');
    return key.ch;
}

// The result string the driver stored in the context's composition-string block.
std::string resultString(HIMC context)
{
    std::string text;
    LPINPUTCONTEXT ic = ImmLockIMC(context);
    if (!ic)
        return text;
    if (auto* block = static_cast<LPCOMPOSITIONSTRING>(ImmLockIMCC(ic->hCompStr))) {
        const DWORD size = ImmGetIMCCSize(ic->hCompStr);
        if (block->dwResultStrOffset < size && block->dwResultStrLen <= size - block->dwResultStrOffset)
            text.assign(reinterpret_cast<const char*>(block) + block->dwResultStrOffset, block->dwResultStrLen);
        ImmUnlockIMCC(ic->hCompStr);
    }
    ImmUnlockIMC(context);
    return text;
}

void pumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// ---- the session ----

struct Session {
    Module module;
    HWND appWindow = nullptr;
    HWND uiWindow = nullptr;
    HIMC context = nullptr;
    Application app;
    bool capsLock = false;
    bool trace = false;
    int keyFailures = 0;
};

std::string hexBytes(const std::string& s)
{
    std::string out;
    char hex[4];
    for (unsigned char c : s) {
        std::snprintf(hex, sizeof hex, "%02X", c);
        out += hex;
    }
    return out;
}

void press(Session& s, const Key& key)
{
    BYTE state[256] = {};
    if (key.shift) {
        state[VK_SHIFT] = 0x80;
        state[key.rightShift ? VK_RSHIFT : VK_LSHIFT] = 0x80;
    }
    if (key.ctrl || key.vk == VK_CONTROL)
        state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
    if (key.alt)
        state[VK_MENU] = state[VK_LMENU] = 0x80;
    if (s.capsLock)
        state[VK_CAPITAL] = 0x01;
    state[key.vk & 0xFF] |= 0x80;
    // The module asks GetKeyState too; make the thread's state agree with ours.
    SetKeyboardState(state);

    const LPARAM keyData = 1 | (LPARAM(key.scan & 0xFF) << 16) | (key.extended ? (LPARAM(1) << 24) : 0);
    const BOOL taken = s.module.processKey(s.context, key.vk, keyData, state);

    std::vector<BYTE> buffer(sizeof(TRANSMSGLIST) + kMessageRoom * sizeof(TRANSMSG));
    auto* list = reinterpret_cast<LPTRANSMSGLIST>(buffer.data());
    list->uMsgCount = kMessageRoom;
    UINT count = 0;
    std::string messages;
    if (taken) {
        count = s.module.toAsciiEx(key.vk | (UINT(key.ch) << 8), key.scan, state, list, 0, s.context);
        if (count > kMessageRoom) {
            ++s.keyFailures;
            check(false, "message list fits", "%u messages for %s", count, key.name.c_str());
            count = 0;
        }
    } else {
        // Not taken: the application sees the key itself.
        list->TransMsg[0] = TRANSMSG{WM_KEYDOWN, key.vk, keyData};
        count = 1;
    }
    for (UINT i = 0; i < count; ++i) {
        const TRANSMSG& m = list->TransMsg[i];
        char item[64];
        std::snprintf(item, sizeof item, "%s%X:%llX:%llX", i ? "," : "", m.message,
            static_cast<unsigned long long>(m.wParam), static_cast<unsigned long long>(m.lParam));
        messages += item;
        switch (m.message) {
        case WM_IME_COMPOSITION:
            if (m.lParam & GCS_RESULTSTR) {
                const std::string r = resultString(s.context);
                s.app.typeText(r.data(), r.size());
            }
            break;
        case WM_IME_CHAR:
            if (m.wParam > 0xFF)
                s.app.typeByte(BYTE(m.wParam >> 8));
            s.app.typeByte(BYTE(m.wParam));
            break;
        case WM_CHAR:
            s.app.typeByte(BYTE(m.wParam));
            break;
        case WM_KEYDOWN:
            if (BYTE c = translated(key.vk == m.wParam ? key : Key{}, s.capsLock))
                s.app.typeByte(c);
            break;
        default:
            break;
        }
    }
    pumpMessages();
    if (s.trace)
        std::printf("TRACE %s taken=%d messages=[%s] text=%s\n", key.name.c_str(), taken ? 1 : 0,
            messages.c_str(), hexBytes(s.app.gbk()).c_str());
}

HWND uiWindowOfApp = nullptr;

// The application's window: the manager's notifications about its context go on to the
// IME's UI window, as the default IME window does on Windows.
LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_IME_NOTIFY && uiWindowOfApp)
        return SendMessageA(uiWindowOfApp, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A left click at a screen point, delivered to the window under it.
void click(POINT at)
{
    HWND window = WindowFromPoint(at);
    if (!window)
        return;
    POINT client = at;
    ScreenToClient(window, &client);
    const LPARAM where = MAKELPARAM(client.x, client.y);
    SetCursorPos(at.x, at.y);
    SendMessageA(window, WM_MOUSEMOVE, 0, where);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    // A window that captured the mouse gets the release in its own coordinates.
    HWND release = GetCapture() ? GetCapture() : window;
    client = at;
    ScreenToClient(release, &client);
    SendMessageA(release, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    pumpMessages();
}

bool openModule(Module& m)
{
    m.library = LoadLibraryA("qx.ime");
    if (!check(m.library != nullptr, "qx.ime loads", "error %lu", GetLastError()))
        return false;
    m.inquire = wintest::proc<ImeInquireFn>(m.library, "ImeInquire");
    m.processKey = wintest::proc<ImeProcessKeyFn>(m.library, "ImeProcessKey");
    m.toAsciiEx = wintest::proc<ImeToAsciiExFn>(m.library, "ImeToAsciiEx");
    return check(m.inquire && m.processKey && m.toAsciiEx, "qx.ime exports the IME entry points");
}

bool startSession(Session& s)
{
    if (!openModule(s.module))
        return false;
    IMEINFO info{};
    char uiClass[64] = {};
    const BOOL inquired = s.module.inquire(&info, uiClass, 0);
    check(inquired && std::strcmp(uiClass, "NOVPA_UICLS") == 0, "ImeInquire names the UI class",
        "returned %d, class \"%s\"", inquired, uiClass);
    WNDCLASSA registered{};
    if (!check(GetClassInfoA(s.module.library, "NOVPA_UICLS", &registered) != 0,
            "loading the module registered its UI class"))
        return false;

    // The application: a window with an input context of its own.
    WNDCLASSA app{};
    app.lpfnWndProc = applicationProc;
    app.hInstance = GetModuleHandleA(nullptr);
    app.lpszClassName = "QxTierApplication";
    RegisterClassA(&app);
    s.appWindow = CreateWindowExA(0, "QxTierApplication", "qx", WS_OVERLAPPEDWINDOW, 40, 40, 400, 200, nullptr,
        nullptr, app.hInstance, nullptr);
    s.context = ImmCreateContext();
    if (!check(s.appWindow && s.context, "application window and input context"))
        return false;
    ImmAssociateContext(s.appWindow, s.context);
    ShowWindow(s.appWindow, SW_SHOWNOACTIVATE);

    // The manager's UI window, with the context in its extra word.
    s.uiWindow = CreateWindowExA(0, "NOVPA_UICLS", "", WS_POPUP | WS_DISABLED, 0, 0, 0, 0, nullptr, nullptr,
        s.module.library, nullptr);
    if (!check(s.uiWindow != nullptr, "UI window created", "error %lu", GetLastError()))
        return false;
    SetWindowLongPtrA(s.uiWindow, IMMGWLP_IMC, LONG_PTR(s.context));
    uiWindowOfApp = s.uiWindow;
    SendMessageA(s.uiWindow, WM_IME_SELECT, TRUE, LPARAM(GetKeyboardLayout(0)));
    SendMessageA(s.uiWindow, WM_IME_SETCONTEXT, TRUE, ISC_SHOWUIALL);
    pumpMessages();
    return true;
}

// Module windows of this thread that are on screen, by class.
BOOL CALLBACK collectWindow(HWND window, LPARAM param)
{
    auto* found = reinterpret_cast<std::vector<HWND>*>(param);
    if (IsWindowVisible(window))
        found->push_back(window);
    return TRUE;
}

void saveShots(const Session& s, const std::string& dir, const std::string& tag)
{
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), collectWindow, LPARAM(&windows));
    for (HWND w : windows) {
        if (w == s.appWindow || w == s.uiWindow)
            continue;
        char cls[64] = {};
        GetClassNameA(w, cls, sizeof cls);
        RECT r;
        GetWindowRect(w, &r);
        std::printf("WINDOW %s %ld,%ld %ldx%ld\n", cls, r.left, r.top, r.right - r.left, r.bottom - r.top);
        winshot::Picture picture;
        const std::string path = dir + "\\" + tag + "-" + cls + ".bmp";
        check(winshot::capture(w, picture) && winshot::saveBmp(picture, path.c_str()),
            ("picture of " + std::string(cls)).c_str(), "%s", path.c_str());
    }
}

// The settings the module reads at selection, from a clean key, as a fresh home has them.
void applySettings(const std::vector<std::pair<std::string, DWORD>>& settings)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\QX");
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return;
    for (const auto& [name, value] : settings)
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);

    // User files start empty in every run.
    char dir[MAX_PATH];
    const UINT n = GetSystemDirectoryA(dir, sizeof dir);
    for (const char* file : {"fread.rt", "freadx.rt", "WBCZ.rt", "PYCZ.rt", "tmpfread.rt"})
        if (n && n < sizeof dir)
            DeleteFileA((std::string(dir) + "\\" + file).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    wintest::begin();
    std::vector<std::pair<std::string, DWORD>> settings;
    std::string script, shots, out, tag = "shot";
    bool haveKeys = false, trace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--set" && i + 1 < argc) {
            // Wine hands us the arguments in the ANSI code page: the name is GBK already.
            const std::string nv = argv[++i];
            const size_t eq = nv.find('=');
            if (eq != std::string::npos)
                settings.emplace_back(nv.substr(0, eq), DWORD(std::strtoul(nv.c_str() + eq + 1, nullptr, 10)));
        } else if (a == "--keys" && i + 1 < argc) {
            script = argv[++i];
            haveKeys = true;
        } else if (a == "--shots" && i + 1 < argc) {
            shots = argv[++i];
        } else if (a == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (a == "--tag" && i + 1 < argc) {
            tag = argv[++i];
        } else if (a == "--trace") {
            trace = true;
        }
    }
    std::vector<Event> events;
    std::string error;
    if (!check(haveKeys && parseScript(script, events, error), "key script parses", "%s", error.c_str()))
        return wintest::finish();

    applySettings(settings);
    // The desktop the host runner models: 1024 x 768 with a 28-pixel taskbar, so that
    // windows placed against the work area land at the same points.
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 28};
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &work, 0);
    Session s;
    s.trace = trace;
    if (!startSession(s))
        return wintest::finish();

    for (const Event& e : events) {
        if (e.kind == Event::Caps)
            s.capsLock = !s.capsLock;
        else if (e.kind == Event::Tick) {
            Sleep(DWORD(e.ms));
            pumpMessages();
        } else if (e.kind == Event::Click)
            click(e.at);
        else
            press(s, e.key);
    }
    const std::string text = gbkToUtf8(s.app.gbk());
    std::printf("TEXT %s\n", text.c_str());
    if (!out.empty()) {
        FILE* f = std::fopen(out.c_str(), "wb");
        const bool written = f && std::fprintf(f, "%s\n", text.c_str()) >= 0;
        check(f && std::fclose(f) == 0 && written, "text written", "%s", out.c_str());
    }
    check(s.keyFailures == 0, "every key handled");
    if (!shots.empty())
        saveShots(s, shots, tag);

    DestroyWindow(s.uiWindow);
    ImmDestroyContext(s.context);
    DestroyWindow(s.appWindow);
    return wintest::finish();
}
