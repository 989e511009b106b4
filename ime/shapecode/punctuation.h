// Punctuation and symbol keys of the shape-code engine: what keys that are not code
// letters deliver while nothing is being typed.
#pragma once

#include "core/engine.h"

#include <cstdint>

// Left Shift alone: the next of the six tips; right Shift alone: how to type capitals.
void showShiftTip(EngineContext* context);
// The key after a Shift: when Shift is still held, it was pressed for this key, not alone,
// and what showShiftTip showed is taken back.
void settleShiftTip(EngineContext* context);
// A capital letter with the left Shift held: its symbol, resultFlags 4. Returns 1 when
// delivered, 0 when the key is left to the next rule.
int shiftLetterSymbol(uint32_t character, EngineContext* context);
// Chinese punctuation for a key that is not a code letter: resultFlags 4, or 8 with no
// mapping.
void mapPunctuation(uint32_t character, EngineContext* context);
// ';' and '/' where they are not code letters (five-stroke mode, phonetic-shape edition).
void deliverSemicolonSlash(uint32_t character, EngineContext* context);

// Two GBK bytes per capital letter A-Z.
extern const char shiftLetterSymbols[];
constexpr int SHIFT_TIP_COUNT = 6;
extern const char* const shiftTips[SHIFT_TIP_COUNT];
extern const char rightShiftMessage[];
