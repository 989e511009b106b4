// Desktop key events as the module takes them. IBus reports a key value (the X keysym,
// Shift and Caps Lock already applied), a key code and a modifier state for each press and
// release; the module takes key-downs only, as the Input Method Manager hands them on:
// virtual key, set-1 scan code (the Shift side in it), character and key state. A Ctrl or
// Shift pressed and released with nothing between is the module's "Ctrl alone" / "Shift
// alone", offered when it is released; a Shift held for another key goes first, as the
// Shift key-down of that chord. Pure functions, no daemon needed.
#pragma once

#include <cstdint>
#include <vector>

// The modifier bits of an IBus key state (the X ones) and its release flag.
namespace desktopkeys {
constexpr uint32_t SHIFT = 1u << 0;
constexpr uint32_t LOCK = 1u << 1;  // Caps Lock
constexpr uint32_t CONTROL = 1u << 2;
constexpr uint32_t ALT = 1u << 3;
constexpr uint32_t SUPER = 1u << 26;
constexpr uint32_t RELEASE = 1u << 30;
}  // namespace desktopkeys

// One key-down for the module.
struct ModuleKey {
    uint8_t vk = 0;
    unsigned scan = 0;  // set-1 code, 0x100 for an extended key
    char ch = 0;        // the character of the key word (bits 8-15), 0 for none
    bool rightShift = false;
    bool shift = false, ctrl = false, alt = false, capsLock = false;
};

// The virtual key of a key value; 0 for a key the module has no use for.
uint8_t virtualKeyForKeyval(uint32_t keyval);

// The full key-down for a key value and the state that came with it (not a release).
// False for a key the module has no use for.
bool moduleKeyFor(uint32_t keyval, uint32_t state, ModuleKey& key);

// The module's key state array (256 bytes) for a key-down: the modifiers of the key,
// Caps Lock's toggle and the key itself down.
void fillKeyState(const ModuleKey& key, uint8_t state[256]);

// The key word ImeToAsciiEx receives: virtual key in bits 0-7, character in bits 8-15.
// Modifiers carry no character, and Ctrl turns a letter into its control character.
uint32_t keyWord(const ModuleKey& key);

// What one desktop event becomes for the module.
struct TrackedEvent {
    std::vector<ModuleKey> keys;  // key-downs to offer, in order
    bool modifierEvent = false;   // the event was a Shift or Ctrl press or release
};

// Follows the Shift and Ctrl keys between events to tell "alone" from "held for a chord".
class ModifierTracker {
public:
    TrackedEvent event(uint32_t keyval, uint32_t state);
    void reset() { *this = ModifierTracker{}; }

private:
    uint32_t shiftDown_ = 0;  // key value of the Shift held, 0 for none
    bool shiftAlone_ = false;
    bool shiftOffered_ = false;  // its key-down went before a chord already
    bool ctrlDown_ = false;
    bool ctrlAlone_ = false;
};
