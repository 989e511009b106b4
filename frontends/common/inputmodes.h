// The editions and modes as the desktop's menu offers them, and the module's own keys
// that switch between them: i9 (edition, or out of pinyin), i5 (five-stroke), i6
// (pinyin), [ (the public address list). Pure functions of the module's mode record.
#pragma once

#include "core/engine.h"

#include <string>

enum class InputMode { Phonetic, Shape, Wubi, Pinyin, Web };

InputMode inputModeOf(const ModeState& modes);

// The next keys to type, from the mode record and whether a code is being typed, to come
// one step closer to target: "" once there (or when nothing can be typed: English mode).
// A typed code or an address list is left with Esc first.
std::string modeSwitchKeys(const ModeState& modes, bool chinese, bool composing, InputMode target);
