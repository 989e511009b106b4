// ImeProcessKey: which key-downs the module takes. Letters and digits are taken even in
// English mode; the driver hands them back to the application.
#include "core/engine.h"
#include "core/moduledialogs.h"

#include <imm.h>
#include "frontend/imeexports.h"
#include "ui/userphrasedialog.h"
#include "shapecode/shapecode.h"
#include "ui/softkeyboard.h"
#include "ui/ui.h"

#include <cstring>

namespace {

bool held(const BYTE* state, int vk) { return state && (state[vk] & 0x80); }

bool inModeWithoutInput() { return engineContext.modeInput[0] == '\0'; }

// Enter with text typed in pinyin or web-address mode throws the text away.
// The display line keeps its message and the results stay.
void discardModeInput() {
    clearShownInput(&engineContext, CLEAR_ROWS | CLEAR_COUNTERS);
    RelayoutComposition();
}

BOOL editingKey(UINT vKey, bool modifier) {
    const EngineContext* context = &engineContext;
    if (modes.webMode) {
        if (inModeWithoutInput() && vKey != VK_ESCAPE) return 0;
    } else if (modes.pinyinMode) {
        if (inModeWithoutInput()) return 0;
    } else if (context->codeLength == 0) {
        return 0;
    }
    return modifier ? 0 : 1;
}

BOOL enterKey(bool modifier) {
    EngineContext* context = &engineContext;
    if (context->chineseMode == 0) {
        shapeCode.inputPhase = 3;
        context->chineseMode = 1;
        MessageBeep(0xFFFFFFFF);
        RepaintStatusWindow();
        return 1;
    }
    if (!modes.pinyinMode && !modes.webMode) return modifier ? 0 : 1;
    if (inModeWithoutInput()) return 0;
    discardModeInput();
    return 1;
}

BOOL navigationKey() {
    const EngineContext* context = &engineContext;
    if (modes.pinyinMode || modes.webMode) return inModeWithoutInput() ? 0 : 1;
    if (context->compositionWindow && IsWindowVisible(context->compositionWindow) && context->codeLength == 0 &&
        context->chineseMode == 1)
        ShowCompositionWindow(0);
    return 0;
}

}  // namespace

extern "C" BOOL WINAPI ImeProcessKey(HIMC hIMC, UINT uKey, LPARAM lKeyData, CONST LPBYTE lpbKeyState) {
    const UINT vKey = uKey & 0xFF;  // a character in the high bits is not ours to judge
    if (!hIMC) return 0;
    if (windows.keywordDialog && IsWindow(windows.keywordDialog) && modes.webMode) return 0;
    // A code is typed into the user-phrase dialog's code box letter by letter.
    if (UserPhraseCodeBoxFocused()) return 0;
    frontEnd.keyData = static_cast<uint32_t>(lKeyData);

    const bool ctrl = held(lpbKeyState, VK_CONTROL);
    const bool alt = held(lpbKeyState, VK_MENU);
    const bool shift = held(lpbKeyState, VK_SHIFT);
    const bool capsOn = lpbKeyState && (lpbKeyState[VK_CAPITAL] & 0x01);
    // A bracket with nothing typed would start the address mode under the dialog the
    // key is typed into: there it is the field's own character.
    if ((vKey == VK_OEM_4 || vKey == VK_OEM_6) && engineContext.codeLength == 0 && inModeWithoutInput() &&
        ModuleDialogFocused())
        return 0;
    // A soft keyboard takes the character keys whatever the mode: each types a symbol.
    if (engineContext.softKeyboard != 0 && SoftKeyboardKey(vKey, ctrl || alt)) return 1;

    switch (vKey) {
    case VK_SHIFT:
    case VK_CONTROL:
        return 1;
    case VK_BACK:
    case VK_ESCAPE:
    case VK_SPACE:
    case VK_INSERT:
    case VK_DELETE:
        return editingKey(vKey, ctrl || alt || shift);
    case VK_RETURN:
        return enterKey(ctrl || alt || shift);
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        return navigationKey();
    default:
        break;
    }
    if ((vKey >= 0xBA && vKey <= 0xC0) || (vKey >= 0xDB && vKey <= 0xDE)) return (ctrl || alt) ? 0 : 1;
    if ((vKey >= '0' && vKey <= '9') || (vKey >= 'A' && vKey <= 'Z') || vKey == 0x2F || vKey == 0x3B) {
        if (vKey == 'S' && ctrl && alt) {
            frontEnd.swallowNextKey = 1;
            return 1;
        }
        return (ctrl || alt || capsOn) ? 0 : 1;
    }
    return 0;
}
