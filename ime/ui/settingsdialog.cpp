// The settings dialog "WDGX" ("我的个性"): one check box per setting under
// HKEY_LOCAL_MACHINE "Software\QX", each click stored at once. Five settings also take
// effect in this process at once; the three priorities choose the mode a new selection
// starts in and never more than one of them is on.
//
// The box shows what the registry holds: a click stores the value and, only when it is
// stored, takes effect and keeps its tick; a value that cannot be stored (HKLM is
// read-only for an ordinary user of Windows NT) leaves the tick as it was, with a beep.
#include "core/engine.h"
#include "core/moduledialogs.h"
#include "pinyin/pinyin.h"
#include "resources/resource.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

namespace {

constexpr char SETTINGS_KEY[] = "Software\\QX";

// A setting with an effect in the running process. Most are off until stored as 1; one that
// is on by default is on until stored as 0, as start-up reads it.
struct PlainOption {
    int control;
    const char* value;
    int32_t* effect;
    bool onByDefault;
};

const PlainOption* plainOptions(size_t* count) {
    static const PlainOption options[] = {
        {IDC_SIMPLE_WINDOW, "\xBC\xF2\xB5\xA5\xB4\xB0\xBF\xDA", &modes.simpleWindow, false},  // 简单窗口
        {IDC_CARET_FOLLOW, "\xB9\xE2\xB1\xEA\xB8\xFA\xCB\xE6", &engineContext.caretFollow,
         false},                                                                          // 光标跟随
        {IDC_SENTENCE_INPUT, SENTENCE_INPUT_SETTING, &modes.sentenceInput, true},         // 整句输入
        {IDC_PINYIN_HINT, "\xC6\xB4\xD2\xF4\xCC\xE1\xCA\xBE", &modes.pinyinHint, false},  // 拼音提示
        {IDC_MENU_AUTO_SHOW, "\xB2\xCB\xB5\xA5\xD7\xD4\xB6\xAF\xCF\xD4\xCA\xBE", &modes.menuAutoShow,
         false},  // 菜单自动显示
    };
    *count = sizeof options / sizeof options[0];
    return options;
}

// The priorities, in the order they are read: when several are on, the last one shows.
struct Priority {
    int control;
    const char* value;
};
constexpr Priority PRIORITIES[] = {
    {IDC_PHONETIC_FIRST, "\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8"},  // 音形版优先
    {IDC_WUBI_FIRST, "\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8"},              // 五笔优先
    {IDC_PINYIN_FIRST, "\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8"},            // 拼音优先
};

// The stored DWORD; false when the value is missing or of another type.
bool storedValue(const char* value, DWORD* data) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof *data;
    const LONG status = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof *data;
}

// A setting is on when it holds the DWORD 1.
bool storedOn(const char* value) {
    DWORD data = 0;
    return storedValue(value, &data) && data == 1;
}

bool optionOn(const PlainOption& option) {
    DWORD data = 0;
    if (option.onByDefault) return !storedValue(option.value, &data) || data != 0;
    return storedOn(option.value);
}

// Stores 0 or 1, creating the key when it is missing; true only when it is stored.
bool store(const char* value, DWORD data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void refused() { MessageBeep(0xFFFFFFFF); }

void tick(HWND dialog, int control, bool on) {
    CheckDlgButton(dialog, control, on ? BST_CHECKED : BST_UNCHECKED);
}

// The three priority boxes as the registry holds them.
void showPriorities(HWND dialog) {
    for (const Priority& p : PRIORITIES) tick(dialog, p.control, storedOn(p.value));
}

void opened(HWND dialog) {
    size_t count = 0;
    const PlainOption* options = plainOptions(&count);
    for (size_t i = 0; i < count; ++i) tick(dialog, options[i].control, optionOn(options[i]));
    // Several priorities on (a hand edit, an older version) would leave two boxes ticked
    // while start-up takes one: the one shown stays on, the others are stored off.
    int shown = -1;
    bool on[3] = {};
    for (int i = 0; i < 3; ++i)
        if ((on[i] = storedOn(PRIORITIES[i].value))) shown = i;
    bool stored = true;
    for (int i = 0; i < 3; ++i)
        if (on[i] && i != shown) stored = store(PRIORITIES[i].value, 0) && stored;
    if (!stored) refused();
    for (int i = 0; i < 3; ++i) tick(dialog, PRIORITIES[i].control, i == shown);
}

// Stores the other value and, once it is stored, makes it take effect; false (with a beep)
// when it cannot be stored.
bool flipOption(const PlainOption& option) {
    const bool was = optionOn(option);
    if (!store(option.value, was ? 0 : 1)) {
        refused();
        return false;
    }
    *option.effect = was ? 0 : 1;
    if (option.control == IDC_SIMPLE_WINDOW) RelayoutComposition();
    return true;
}

void plainClicked(HWND dialog, const PlainOption& option) {
    flipOption(option);
    tick(dialog, option.control, optionOn(option));
}

// On: the others are stored off first, so that two are never on together, then this one
// on. Off: only this one.
void priorityClicked(HWND dialog, const Priority& chosen) {
    bool stored;
    if (storedOn(chosen.value)) {
        stored = store(chosen.value, 0);
    } else {
        stored = true;
        for (const Priority& other : PRIORITIES)
            if (other.control != chosen.control) stored = stored && store(other.value, 0);
        stored = stored && store(chosen.value, 1);
    }
    showPriorities(dialog);
    if (!stored) refused();
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        windows.settingsDialog = dialog;
        opened(dialog);
        return TRUE;
    case WM_DESTROY:
        if (windows.settingsDialog == dialog) windows.settingsDialog = nullptr;
        return FALSE;
    case WM_COMMAND: {
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        const int control = LOWORD(wParam);
        if (control == IDCANCEL) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        size_t count = 0;
        const PlainOption* options = plainOptions(&count);
        for (size_t i = 0; i < count; ++i)
            if (options[i].control == control) {
                plainClicked(dialog, options[i]);
                return TRUE;
            }
        for (const Priority& p : PRIORITIES)
            if (p.control == control) {
                priorityClicked(dialog, p);
                return TRUE;
            }
        return FALSE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

bool FlipSentenceInput() {
    size_t count = 0;
    const PlainOption* options = plainOptions(&count);
    for (size_t i = 0; i < count; ++i)
        if (options[i].control == IDC_SENTENCE_INPUT) return flipOption(options[i]);
    return false;
}

INT_PTR OpenSettingsDialog(HWND owner) {
    if (DialogAlreadyOpen(windows.settingsDialog)) return 0;
    return DialogBoxParamA(moduleInstance, "WDGX", owner, SettingsDialogProc, 0);
}
