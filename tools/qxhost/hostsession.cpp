// Hosting the module: the manager's side of selection and activation.
#include "hostsession.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

namespace {

constexpr const char* MODULE_CLASSES[] = {"ZOZ_COMPCLS", "ZOZ_CANDCLS", "ZOZ_STATUSCLS",
                                          "smwindow",    "sdWin",       "wbclass"};

LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

void hostClick(int x, int y) { winapiClick(x, y); }
void hostTick(unsigned milliseconds) { winapiAdvanceClock(milliseconds); }
void hostPump() { winapiPumpMessages(); }

// Exports are looked up as plain addresses, then given their real type.
template <typename T>
T exportedProc(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename T>
const T* exported(HMODULE module, const char* name) {
    return reinterpret_cast<const T*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool setSetting(const std::string& gbkName, DWORD value) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExA(key, gbkName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool openSession(HostSession& session, const char* modulePath, std::string& error) {
    session.module = LoadLibraryA(modulePath);
    if (session.module == nullptr) {
        error = std::string("cannot load ") + modulePath;
        return false;
    }
    using InquireProc = BOOL(WINAPI*)(IMEINFO*, LPSTR, DWORD);
    auto inquire = exportedProc<InquireProc>(session.module, "ImeInquire");
    session.hooks.processKey = exportedProc<ImeProcessKeyProc>(session.module, "ImeProcessKey");
    session.hooks.toAsciiEx = exportedProc<ImeToAsciiExProc>(session.module, "ImeToAsciiEx");
    if (inquire == nullptr || session.hooks.processKey == nullptr || session.hooks.toAsciiEx == nullptr) {
        error = "the module lacks ImeInquire, ImeProcessKey or ImeToAsciiEx";
        return false;
    }
    session.hooks.click = hostClick;
    session.hooks.tick = hostTick;
    session.hooks.pump = hostPump;
    session.engine = exported<EngineContext>(session.module, "engineContext");
    session.messageLine = exported<char>(session.module, "messageLine");
    session.pinyinMode = exported<int32_t>(session.module, "pinyinMode");
    session.webMode = exported<int32_t>(session.module, "webMode");
    session.wubiMode = exported<int32_t>(session.module, "wubiMode");
    session.phoneticEdition = exported<int32_t>(session.module, "phoneticEdition");
    session.displayHalf = exported<int32_t>(session.module, "displayHalf");

    IMEINFO info{};
    char uiClass[64] = {};
    if (!inquire(&info, uiClass, 0)) {
        error = "ImeInquire refused";
        return false;
    }

    // The application: one window with the edit field, which owns the input context.
    WNDCLASSA application{};
    application.lpfnWndProc = applicationProc;
    application.lpszClassName = "QxHostApplication";
    RegisterClassA(&application);
    session.appWindow = CreateWindowExA(0, "QxHostApplication", "qxhost", WS_POPUP, 40, 40, 600, 300, nullptr,
                                        nullptr, nullptr, nullptr);

    session.context = ImmCreateContext();
    if (INPUTCONTEXT* locked = ImmLockIMC(session.context)) {
        locked->hWnd = session.appWindow;
        ImmUnlockIMC(session.context);
    }
    session.uiWindow = CreateWindowExA(0, uiClass, "", WS_POPUP | WS_DISABLED, 0, 0, 0, 0, nullptr, nullptr,
                                       reinterpret_cast<HINSTANCE>(session.module), nullptr);
    if (session.uiWindow == nullptr) {
        error = std::string("cannot create the UI window of class ") + uiClass;
        return false;
    }
    SetWindowLongPtrA(session.uiWindow, IMMGWLP_IMC, reinterpret_cast<LONG_PTR>(session.context));
    winapiImmSetUiWindow(session.context, session.uiWindow);
    SendMessageA(session.uiWindow, WM_IME_SELECT, TRUE, 0);
    SendMessageA(session.uiWindow, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL));
    winapiPumpMessages();
    session.typist = std::make_unique<Typist>(session.context, session.hooks);
    return true;
}

void closePictures(HostSession& session) {
    (void)session;
    // The introduction shows one picture after the other; each click closes one.
    for (int round = 0; round < 6; ++round) {
        bool clicked = false;
        for (const char* name : {"smwindow", "sdWin", "wbclass"}) {
            HWND picture = FindWindowA(name, nullptr);
            if (picture == nullptr || !IsWindowVisible(picture)) continue;
            RECT frame{};
            GetWindowRect(picture, &frame);
            winapiClick((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
            winapiPumpMessages();
            clicked = true;
            break;
        }
        if (!clicked) return;
    }
}

void closeSession(HostSession& session) {
    session.typist.reset();
    if (session.uiWindow != nullptr) {
        SendMessageA(session.uiWindow, WM_IME_SELECT, FALSE, 0);
        DestroyWindow(session.uiWindow);
    }
    if (session.appWindow != nullptr) DestroyWindow(session.appWindow);
    if (session.context != nullptr) ImmDestroyContext(session.context);
    if (session.module != nullptr) FreeLibrary(session.module);
    session = HostSession{};
}

std::vector<std::string> visibleModuleWindows() {
    std::vector<std::string> visible;
    for (const char* name : MODULE_CLASSES) {
        HWND window = FindWindowA(name, nullptr);
        if (window != nullptr && IsWindowVisible(window)) visible.emplace_back(name);
    }
    return visible;
}
