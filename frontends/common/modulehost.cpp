// The session with the module and the key path of the desktop engine.
#include "modulehost.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include <imedev.h>

#include "gbktext.h"
#include "resources/resource.h"

#include <vector>

namespace {

using ImeProcessKeyProc = BOOL(WINAPI*)(HIMC, UINT, LPARAM, BYTE*);
using ImeToAsciiExProc = UINT(WINAPI*)(UINT, UINT, BYTE*, LPTRANSMSGLIST, UINT, HIMC);
constexpr size_t MESSAGE_CAPACITY = 64;

template <typename T>
T exportedProc(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool ModuleHost::open(std::string& error, const std::string& moduleDirectory) {
    // A plug-in lives in its host's process: the module's data libraries are not next to
    // that program, and are looked for where the module is.
    if (!moduleDirectory.empty()) SetDllDirectoryA(moduleDirectory.c_str());
    placePublicList(moduleDirectory);
    placeSentenceData(moduleDirectory);
    const std::string module = moduleDirectory.empty() ? std::string("qx.ime") : moduleDirectory + "/qx.ime";
    if (!openHostSession(session_, module.c_str(), error)) return false;
    closePictures(session_.ime);
    focused_ = session_.ime.context;
    return true;
}

void ModuleHost::close() {
    if (isOpen()) closeHostSession(session_);
    focused_ = nullptr;
}

HIMC ModuleHost::createContext() {
    HIMC context = ImmCreateContext();
    if (context == nullptr) return nullptr;
    // A new context starts in the mode of the one the module was selected with.
    DWORD conversion = 0, sentence = 0;
    ImmGetConversionStatus(session_.ime.context, &conversion, &sentence);
    if (INPUTCONTEXT* locked = ImmLockIMC(context)) {
        locked->hWnd = session_.ime.appWindow;
        locked->fdwConversion = conversion;
        locked->fdwSentence = sentence;
        locked->fOpen = TRUE;
        ImmUnlockIMC(context);
    }
    winapiImmSetUiWindow(context, session_.ime.uiWindow);
    return context;
}

void ModuleHost::destroyContext(HIMC context) {
    if (context == nullptr) return;
    if (focused_ == context) focusOut(context);
    ImmDestroyContext(context);
}

void ModuleHost::focusIn(HIMC context) {
    if (!isOpen() || context == nullptr) return;
    HWND ui = session_.ime.uiWindow;
    if (focused_ != nullptr && focused_ != context) SendMessageA(ui, WM_IME_SETCONTEXT, FALSE, ISC_SHOWUIALL);
    SetWindowLongPtrA(ui, IMMGWLP_IMC, reinterpret_cast<LONG_PTR>(context));
    winapiImmSetUiWindow(context, ui);
    focused_ = context;
    SendMessageA(ui, WM_IME_SETCONTEXT, TRUE, ISC_SHOWUIALL);
    winapiPumpMessages();
}

void ModuleHost::focusOut(HIMC context) {
    if (!isOpen() || context == nullptr || focused_ != context) return;
    SendMessageA(session_.ime.uiWindow, WM_IME_SETCONTEXT, FALSE, ISC_SHOWUIALL);
    winapiPumpMessages();
}

std::string ModuleHost::resultString(HIMC context) { return resultStringOf(context); }

ModuleHost::Answer ModuleHost::offer(HIMC context, const ModuleKey& key) {
    Answer answer;
    if (!isOpen() || context == nullptr) return answer;
    if (focused_ != context) focusIn(context);
    const HMODULE module = session_.ime.module;
    static const auto processKey = exportedProc<ImeProcessKeyProc>(module, "ImeProcessKey");
    static const auto toAsciiEx = exportedProc<ImeToAsciiExProc>(module, "ImeToAsciiEx");
    BYTE state[256];
    fillKeyState(key, state);
    SetKeyboardState(state);
    LPARAM keyData = 1 | static_cast<LPARAM>((key.scan & 0xFF) << 16);
    if (key.scan & 0x100) keyData |= LPARAM{1} << 24;
    if (key.alt) keyData |= LPARAM{1} << 29;
    answer.taken = processKey(context, key.vk, keyData, state) != 0;
    if (answer.taken) {
        std::vector<unsigned char> buffer(sizeof(TRANSMSGLIST) + MESSAGE_CAPACITY * sizeof(TRANSMSG));
        auto* list = reinterpret_cast<TRANSMSGLIST*>(buffer.data());
        list->uMsgCount = MESSAGE_CAPACITY;
        const UINT count = toAsciiEx(keyWord(key), key.scan & 0xFF, state, list, 0, context);
        std::vector<TypedMessage> messages;
        bool announced = false;
        for (UINT i = 0; i < count && i < MESSAGE_CAPACITY; ++i) {
            messages.push_back(
                {list->TransMsg[i].message, list->TransMsg[i].wParam, list->TransMsg[i].lParam});
            if (list->TransMsg[i].message == WM_IME_COMPOSITION && (list->TransMsg[i].lParam & GCS_RESULTSTR))
                announced = true;
        }
        answer.outcome = keyOutcome(messages, announced ? resultString(context) : std::string());
    }
    HWND bar = session_.engine != nullptr ? session_.engine->statusWindow : nullptr;
    MSG posted{};
    while (bar != nullptr && answer.commands.size() < 8 &&
           PeekMessageA(&posted, bar, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        answer.commands.push_back(posted.wParam);
    // Every key is released again; Caps Lock's toggle stays.
    BYTE released[256] = {};
    released[VK_CAPITAL] = key.capsLock ? 0x01 : 0x00;
    SetKeyboardState(released);
    winapiPumpMessages();
    return answer;
}

ModuleView ModuleHost::view() const {
    if (session_.engine == nullptr || session_.modes == nullptr || session_.shapeCode == nullptr) return {};
    return moduleView(*session_.engine, *session_.modes, *session_.shapeCode);
}

bool ModuleHost::statusButtonCentre(int button, int& x, int& y) const {
    // The bar's four buttons, as the status window lays them out: x from 3 to 27, 27 to
    // 80, 80 to 104 and 104 to 128, y from 3 to 25.
    static constexpr int EDGES[] = {3, 27, 80, 104, 128};
    HWND bar = session_.engine != nullptr ? session_.engine->statusWindow : nullptr;
    RECT frame{};
    if (button < 0 || button > 3 || bar == nullptr || !IsWindowVisible(bar) || !GetWindowRect(bar, &frame))
        return false;
    x = frame.left + (EDGES[button] + EDGES[button + 1]) / 2;
    y = frame.top + (3 + 25) / 2;
    return true;
}

void ModuleHost::clickStatusButton(HIMC context, int button) {
    if (!isOpen()) return;
    focusIn(context);
    int x = 0, y = 0;
    if (!statusButtonCentre(button, x, y)) return;
    winapiClick(x, y);
    winapiPumpMessages();
}

void ModuleHost::chooseMenuCommand(HIMC context, int command) {
    if (!isOpen()) return;
    focusIn(context);
    chooseStatusMenuCommand(session_.ime, command);
    winapiPumpMessages();
}

void ModuleHost::chooseSoftLayout(HIMC context, unsigned command) {
    if (!isOpen()) return;
    focusIn(context);
    int x = 0, y = 0;
    if (!statusButtonCentre(3, x, y)) return;
    const bool wasOn = session_.engine->softKeyboard != 0;
    winapiPushMenuAnswer(command);
    winapiMouseDown(1, x, y);
    winapiMouseUp(1, x, y);
    winapiPumpMessages();
    // The module keeps the layout to itself; the one chosen is known from the choice.
    if (session_.engine->softKeyboard == 0)
        softLayout_ = -1;
    else if (command >= CMD_LAYOUT_FIRST && command <= CMD_LAYOUT_LAST)
        softLayout_ = static_cast<int>(command - CMD_LAYOUT_FIRST);
    else if (!wasOn)
        softLayout_ = -1;
}

void ModuleHost::runCommand(HIMC context, WPARAM command) {
    if (!isOpen() || session_.engine->statusWindow == nullptr) return;
    focusIn(context);
    SendMessageA(session_.engine->statusWindow, WM_COMMAND, command, 0);
    winapiPumpMessages();
}

std::vector<std::pair<unsigned, std::string>> ModuleHost::softLayouts() const {
    std::vector<std::pair<unsigned, std::string>> layouts;
    if (!isOpen()) return layouts;
    HMENU bar =
        LoadMenuA(reinterpret_cast<HINSTANCE>(session_.ime.module), MAKEINTRESOURCEA(IDM_SOFT_LAYOUTS));
    HMENU menu = bar != nullptr ? GetSubMenu(bar, 0) : nullptr;
    for (int i = 0; menu != nullptr && i < GetMenuItemCount(menu); ++i) {
        const UINT id = GetMenuItemID(menu, i);
        char name[128] = {};
        if (id < CMD_LAYOUT_FIRST || id > CMD_LAYOUT_LAST ||
            GetMenuStringA(menu, i, name, sizeof name, MF_BYPOSITION) <= 0)
            continue;
        layouts.emplace_back(id, gbkToUtf8(name));
    }
    if (bar != nullptr) DestroyMenu(bar);
    return layouts;
}

int ModuleHost::softLayout() const {
    return isOpen() && session_.engine->softKeyboard != 0 ? softLayout_ : -1;
}
