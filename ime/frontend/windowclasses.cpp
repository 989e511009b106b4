// Registration of the module's window classes at attach: the UI host window's and those
// of the windows in ui/.
#include "frontend/uiwindow.h"

#include "core/engine.h"
#include "ui/softkeyboard.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include <imm.h>

namespace {
struct UiClass {
    const char* name;
    UINT style;
    LPCSTR cursor;
    WNDPROC procedure;
};
}  // namespace

int RegisterUiClasses() {
    const UiClass classes[] = {
        {UI_CLASS, CS_IME, IDC_SIZEALL, UiWindowProc},
        {STATUS_CLASS, CS_IME | CS_VREDRAW | CS_HREDRAW, IDC_SIZEALL, StatusProc},
        {COMPOSITION_CLASS, CS_IME | CS_VREDRAW | CS_HREDRAW, IDC_SIZEALL, CompositionProc},
        {LETTERBOX_CLASS, CS_IME | CS_VREDRAW | CS_HREDRAW, IDC_SIZEALL, LetterBoxProc},
        {INTRO_CLASS, CS_IME | CS_VREDRAW | CS_HREDRAW, IDC_ARROW, IntroProc},
        {WUBI_NOTE_CLASS, CS_VREDRAW | CS_HREDRAW, IDC_ARROW, WubiNoteProc},
        {INTRO2_CLASS, CS_VREDRAW | CS_HREDRAW, IDC_ARROW, Intro2Proc},
        {SOFT_KEYBOARD_CLASS, CS_IME | CS_VREDRAW | CS_HREDRAW, IDC_ARROW, SoftKeyboardProc},
    };
    for (const UiClass& entry : classes) {
        WNDCLASSA existing{};
        if (GetClassInfoA(moduleInstance, entry.name, &existing)) continue;
        WNDCLASSA windowClass{};
        windowClass.style = entry.style;
        windowClass.lpfnWndProc = entry.procedure;
        windowClass.cbClsExtra = 0;
        windowClass.cbWndExtra = 8;
        windowClass.hInstance = moduleInstance;
        windowClass.hIcon = nullptr;
        windowClass.hCursor = LoadCursorA(nullptr, entry.cursor);
        windowClass.hbrBackground = nullptr;
        windowClass.lpszMenuName = nullptr;
        windowClass.lpszClassName = entry.name;
        RegisterClassA(&windowClass);
    }
    uiState.letterBoxWidth = 40;
    return 1;
}
