// Key values, states and the modifiers' "alone" for the module.
#include "keytranslation.h"

#include "keyscript.h"

#include <windows.h>

namespace {

// X key values of the keys the module knows by name.
constexpr uint32_t XK_BackSpace = 0xff08, XK_Tab = 0xff09, XK_Return = 0xff0d, XK_Escape = 0xff1b,
                   XK_Home = 0xff50, XK_Left = 0xff51, XK_Up = 0xff52, XK_Right = 0xff53, XK_Down = 0xff54,
                   XK_Prior = 0xff55, XK_Next = 0xff56, XK_End = 0xff57, XK_Insert = 0xff63,
                   XK_KP_Enter = 0xff8d, XK_Delete = 0xffff, XK_Shift_L = 0xffe1, XK_Shift_R = 0xffe2,
                   XK_Control_L = 0xffe3, XK_Control_R = 0xffe4, XK_Caps_Lock = 0xffe5, XK_Alt_L = 0xffe9,
                   XK_Alt_R = 0xffea, XK_ISO_Left_Tab = 0xfe20;

bool isShift(uint32_t keyval) { return keyval == XK_Shift_L || keyval == XK_Shift_R; }
bool isControl(uint32_t keyval) { return keyval == XK_Control_L || keyval == XK_Control_R; }

}  // namespace

uint8_t virtualKeyForKeyval(uint32_t keyval) {
    if (keyval >= 0x20 && keyval <= 0x7E) {
        uint8_t vk = 0;
        bool shift = false;
        return keyForCharacter(static_cast<char>(keyval), &vk, &shift) ? vk : 0;
    }
    switch (keyval) {
    case XK_BackSpace: return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab: return VK_TAB;
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_Home: return VK_HOME;
    case XK_Left: return VK_LEFT;
    case XK_Up: return VK_UP;
    case XK_Right: return VK_RIGHT;
    case XK_Down: return VK_DOWN;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_End: return VK_END;
    case XK_Insert: return VK_INSERT;
    case XK_Delete: return VK_DELETE;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R: return VK_MENU;
    case XK_Caps_Lock: return VK_CAPITAL;
    default: return 0;
    }
}

bool moduleKeyFor(uint32_t keyval, uint32_t state, ModuleKey& key) {
    key = ModuleKey{};
    key.vk = virtualKeyForKeyval(keyval);
    if (key.vk == 0) return false;
    key.shift = (state & desktopkeys::SHIFT) != 0;
    key.ctrl = (state & desktopkeys::CONTROL) != 0;
    key.alt = (state & desktopkeys::ALT) != 0;
    key.capsLock = (state & desktopkeys::LOCK) != 0;
    key.rightShift = keyval == XK_Shift_R;
    key.scan = scanCodeForKey(key.vk, key.rightShift);
    if (key.vk == VK_SHIFT || key.vk == VK_CONTROL || key.vk == VK_MENU || key.vk == VK_CAPITAL) return true;
    // The key value already holds Shift and Caps Lock: its character is the one typed.
    if (keyval >= 0x20 && keyval <= 0x7E)
        key.ch = static_cast<char>(keyval);
    else
        key.ch = characterForKey(key.vk, key.shift);
    if (key.ctrl) {
        const bool letter = key.vk >= 'A' && key.vk <= 'Z';
        key.ch = letter ? static_cast<char>(key.vk - 'A' + 1)
                        : (key.vk == VK_RETURN || key.vk == VK_BACK ? key.ch : 0);
    }
    return true;
}

void fillKeyState(const ModuleKey& key, uint8_t state[256]) {
    for (int i = 0; i < 256; ++i) state[i] = 0;
    if (key.shift || key.vk == VK_SHIFT) {
        state[VK_SHIFT] = 0x80;
        state[key.rightShift ? VK_RSHIFT : VK_LSHIFT] = 0x80;
    }
    if (key.ctrl || key.vk == VK_CONTROL) state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
    if (key.alt || key.vk == VK_MENU) state[VK_MENU] = state[VK_LMENU] = 0x80;
    if (key.capsLock) state[VK_CAPITAL] = 0x01;
    state[key.vk] |= 0x80;
}

uint32_t keyWord(const ModuleKey& key) {
    return key.vk | (static_cast<uint32_t>(static_cast<unsigned char>(key.ch)) << 8);
}

TrackedEvent ModifierTracker::event(uint32_t keyval, uint32_t state) {
    TrackedEvent out;
    const bool release = (state & desktopkeys::RELEASE) != 0;
    const uint32_t held = state & ~desktopkeys::RELEASE;
    if (isShift(keyval)) {
        out.modifierEvent = true;
        if (!release) {
            shiftDown_ = keyval;
            shiftAlone_ = !ctrlDown_;
            ctrlAlone_ = false;  // Ctrl and Shift together are a chord
            shiftOffered_ = false;
            return out;
        }
        ModuleKey key;
        if (shiftDown_ == keyval && shiftAlone_ && !shiftOffered_ && moduleKeyFor(keyval, held, key)) {
            key.shift = true;
            out.keys.push_back(key);
        }
        shiftDown_ = 0;
        shiftAlone_ = false;
        return out;
    }
    if (isControl(keyval)) {
        out.modifierEvent = true;
        if (!release) {
            ctrlDown_ = true;
            ctrlAlone_ = shiftDown_ == 0;
            return out;
        }
        ModuleKey key;
        if (ctrlDown_ && ctrlAlone_ && moduleKeyFor(keyval, held & ~desktopkeys::CONTROL, key)) {
            key.ctrl = true;
            out.keys.push_back(key);
        }
        ctrlDown_ = ctrlAlone_ = false;
        return out;
    }
    if (release) return out;
    // Any other key ends "alone" for the modifiers held.
    shiftAlone_ = ctrlAlone_ = false;
    ModuleKey key;
    if (!moduleKeyFor(keyval, held, key)) return out;
    if (key.shift && !key.ctrl && !key.alt && !shiftOffered_) {
        // The Shift of the chord goes first, with its side, as a person's Shift key-down.
        ModuleKey shift;
        const uint32_t side = shiftDown_ != 0 ? shiftDown_ : 0xffe1;
        moduleKeyFor(side, held, shift);
        shift.shift = true;
        out.keys.push_back(shift);
        shiftOffered_ = shiftDown_ != 0;
    }
    out.keys.push_back(key);
    return out;
}
