// Hosting the module: the manager's and the application's side of a session.
#include "session.h"

#include <cstdio>

namespace {

constexpr const char* MODULE_CLASSES[] = {"ZOZ_COMPCLS", "ZOZ_CANDCLS", "ZOZ_STATUSCLS",
                                          "smwindow",    "sdWin",       "wbclass"};
constexpr const char* PICTURE_CLASSES[] = {"smwindow", "sdWin", "wbclass"};
constexpr const char* APPLICATION_CLASS = "QxSessionApplication";

// The application's window. The manager tells the context's window about conversion
// changes; its default IME handling passes them on to the input method's UI window.
// The hooks of the one session a process opens, for the application window's procedure.
const SessionHooks* openHooks = nullptr;
ImeSession* openSessionRecord = nullptr;

void statusMenu(int command) {
    if (openSessionRecord != nullptr) chooseStatusMenuCommand(*openSessionRecord, command);
}

LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The application's modal loops wait: the runner may act in them.
    if (message == WM_ENTERIDLE && openHooks != nullptr && openHooks->idle != nullptr) {
        openHooks->idle(reinterpret_cast<HWND>(lParam), static_cast<int>(wParam));
        return 0;
    }
    if (message == WM_IME_NOTIFY) {
        HWND ui = reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (ui != nullptr) return SendMessageA(ui, message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Exports are looked up as plain addresses, then given their real type.
template <typename T>
T exportedProc(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void stage(const ImeSession& session, const char* name) {
    if (session.hooks.stage != nullptr) session.hooks.stage(name);
}

bool fail(std::string& error, const std::string& what) {
    char code[32];
    std::snprintf(code, sizeof code, " (error %lu)", static_cast<unsigned long>(GetLastError()));
    error = what + code;
    return false;
}

}  // namespace

bool openSession(ImeSession& session, const char* modulePath, const SessionHooks& hooks, std::string& error) {
    session.hooks = hooks;
    openHooks = &session.hooks;
    openSessionRecord = &session;
    stage(session, "load");
    session.module = LoadLibraryA(modulePath);
    if (session.module == nullptr) return fail(error, std::string("cannot load ") + modulePath);
    using InquireProc = BOOL(WINAPI*)(IMEINFO*, LPSTR, DWORD);
    const auto inquire = exportedProc<InquireProc>(session.module, "ImeInquire");
    TypistHooks typing;
    typing.processKey = exportedProc<ImeProcessKeyProc>(session.module, "ImeProcessKey");
    typing.toAsciiEx = exportedProc<ImeToAsciiExProc>(session.module, "ImeToAsciiEx");
    typing.click = hooks.click;
    typing.rightClick = hooks.rightClick;
    typing.doubleClick = hooks.doubleClick;
    typing.tick = hooks.tick;
    typing.pump = hooks.pump;
    typing.menu = statusMenu;
    typing.popup = hooks.menuAnswer;  // the answer waits for whatever menu opens next
    typing.answer = hooks.answer;
    typing.folder = hooks.folder;
    if (inquire == nullptr || typing.processKey == nullptr || typing.toAsciiEx == nullptr) {
        error = "the module lacks ImeInquire, ImeProcessKey or ImeToAsciiEx";
        return false;
    }

    stage(session, "inquire");
    IMEINFO info{};
    if (!inquire(&info, session.uiClass, 0)) {
        error = "ImeInquire refused";
        return false;
    }
    WNDCLASSA registered{};
    if (!GetClassInfoA(session.module, session.uiClass, &registered))
        return fail(error, std::string("loading the module registered no class ") + session.uiClass);

    stage(session, "application");
    WNDCLASSA application{};
    application.lpfnWndProc = applicationProc;
    application.hInstance = GetModuleHandleA(nullptr);
    application.lpszClassName = APPLICATION_CLASS;
    RegisterClassA(&application);
    session.appWindow = CreateWindowExA(0, APPLICATION_CLASS, "qx", WS_POPUP, 40, 40, 600, 300, nullptr, nullptr,
                                        application.hInstance, nullptr);
    session.context = ImmCreateContext();
    if (session.appWindow == nullptr || session.context == nullptr)
        return fail(error, "no application window or input context");
    // A manager with an input method of its own may have set the new context's mode
    // already (Wine's does: full shape among others); the module's selection keeps such
    // bits, so the context starts from a clean mode.
    if (INPUTCONTEXT* locked = ImmLockIMC(session.context)) {
        locked->hWnd = session.appWindow;
        locked->fdwConversion = 0;
        ImmUnlockIMC(session.context);
    }

    stage(session, "ui window");
    session.uiWindow = CreateWindowExA(0, session.uiClass, "", WS_POPUP | WS_DISABLED, 0, 0, 0, 0, nullptr, nullptr,
                                       reinterpret_cast<HINSTANCE>(session.module), nullptr);
    if (session.uiWindow == nullptr)
        return fail(error, std::string("cannot create the UI window of class ") + session.uiClass);
    SetWindowLongPtrA(session.uiWindow, IMMGWLP_IMC, reinterpret_cast<LONG_PTR>(session.context));
    SetWindowLongPtrA(session.appWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(session.uiWindow));
    if (hooks.bindUiWindow != nullptr) hooks.bindUiWindow(session.context, session.uiWindow);

    stage(session, "select");
    SendMessageA(session.uiWindow, WM_IME_SELECT, TRUE, 0);
    stage(session, "activate");
    SendMessageA(session.uiWindow, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL));
    if (hooks.pump != nullptr) hooks.pump();
    session.typist = std::make_unique<Typist>(session.context, typing);
    return true;
}

void closePictures(ImeSession& session) {
    if (session.hooks.click == nullptr) return;
    for (int round = 0; round < 6; ++round) {
        bool clicked = false;
        for (const char* name : PICTURE_CLASSES) {
            HWND picture = FindWindowA(name, nullptr);
            if (picture == nullptr || !IsWindowVisible(picture)) continue;
            RECT frame{};
            GetWindowRect(picture, &frame);
            session.hooks.click((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
            if (session.hooks.pump != nullptr) session.hooks.pump();
            clicked = true;
            break;
        }
        if (!clicked) return;
    }
}

void closeSession(ImeSession& session) {
    session.typist.reset();
    if (session.uiWindow != nullptr) {
        SendMessageA(session.uiWindow, WM_IME_SELECT, FALSE, 0);
        DestroyWindow(session.uiWindow);
    }
    if (session.appWindow != nullptr) DestroyWindow(session.appWindow);
    if (session.context != nullptr) ImmDestroyContext(session.context);
    if (session.module != nullptr) FreeLibrary(session.module);
    session = ImeSession{};
    openHooks = nullptr;
    openSessionRecord = nullptr;
}

void chooseStatusMenuCommand(ImeSession& session, int command) {
    HWND bar = FindWindowA("ZOZ_STATUSCLS", nullptr);
    RECT frame{};
    if (bar == nullptr || !IsWindowVisible(bar) || !GetWindowRect(bar, &frame) || session.hooks.click == nullptr) return;
    if (session.hooks.menuAnswer != nullptr) session.hooks.menuAnswer(command);
    // The menu button: the second of the bar's four, from x 27 to 80 and y 3 to 25.
    session.hooks.click(frame.left + (27 + 80) / 2, frame.top + (3 + 25) / 2);
}

OpenDialog describeOpenDialog() {
    OpenDialog d;
    HWND dialog = activeDialog();
    if (dialog == nullptr) return d;
    d.open = true;
    char text[256] = {};
    GetWindowTextA(dialog, text, sizeof text);
    d.title = text;
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(dialog, focus)) {
        d.focus = GetDlgCtrlID(focus);
        text[0] = 0;
        GetWindowTextA(focus, text, sizeof text);
        d.focusText = text;
    }
    return d;
}

std::vector<std::string> visibleModuleWindows() {
    std::vector<std::string> visible;
    for (const char* name : MODULE_CLASSES) {
        HWND window = FindWindowA(name, nullptr);
        if (window != nullptr && IsWindowVisible(window)) visible.emplace_back(name);
    }
    return visible;
}
