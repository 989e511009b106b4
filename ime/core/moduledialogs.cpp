// One instance of each of the module's dialogs, and whether the focus is inside one.
#include "core/moduledialogs.h"

#include "core/engine.h"

#include <initializer_list>

bool DialogAlreadyOpen(HWND dialog) {
    if (dialog == nullptr || !IsWindow(dialog)) return false;
    SetForegroundWindow(dialog);
    return true;
}

bool ModuleDialogFocused() {
    HWND focus = GetFocus();
    if (focus == nullptr) return false;
    for (HWND dialog : {windows.userPhraseDialog, windows.keywordDialog, windows.aboutDialog,
                        windows.settingsDialog, windows.webAddressDialog})
        if (dialog != nullptr && IsWindow(dialog) && (focus == dialog || IsChild(dialog, focus))) return true;
    return false;
}
