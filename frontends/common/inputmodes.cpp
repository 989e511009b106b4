// Editions and modes, and the keys that switch between them.
#include "inputmodes.h"

InputMode inputModeOf(const ModeState& modes) {
    if (modes.webMode) return InputMode::Web;
    if (modes.pinyinMode) return InputMode::Pinyin;
    if (modes.wubiMode) return InputMode::Wubi;
    return modes.phoneticEdition ? InputMode::Phonetic : InputMode::Shape;
}

std::string modeSwitchKeys(const ModeState& modes, bool chinese, bool composing, InputMode target) {
    const InputMode current = inputModeOf(modes);
    if (current == target || !chinese) return "";
    if (current == InputMode::Web || composing) return "\x1b";
    switch (target) {
    case InputMode::Pinyin: return "i6";
    case InputMode::Wubi: return "i5";
    case InputMode::Web: return "[";
    case InputMode::Phonetic:
    case InputMode::Shape:
        // Out of pinyin into the edition last used; from five-stroke into the phonetic-shape
        // edition; between the editions, the other one.
        return "i9";
    }
    return "";
}
