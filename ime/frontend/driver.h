// The key translation driver behind ImeToAsciiEx and the switches it shares.
#pragma once

#include "core/engine.h"

#include <imm.h>
#include "frontend/imeexports.h"

#include <cstddef>

// The longest result the engines produce (a web address of 89 bytes) plus its zero: the
// composition-string block is made to hold this much after its header before a result is
// written.
constexpr DWORD RESULT_CAPACITY = sizeof(EngineContext::modeResult);

// The Chinese/English switch, announced by message (a text of 12 characters).
void toggleChinese(HIMC hIMC, const char* message);
// The same switch for a key the engines take as a switch (pinyin mode's `v`), on the
// input context whose key is being translated.
void switchChineseForKey();
// Clears code, lists and the pinyin and web-address input (mode switches).
void clearInput();
// Shows a GBK text one character per cell; lastCell becomes characters - 1.
void showCellMessage(const char* text);
// userPhraseFile = system directory + "\" + name.
void setUserPhraseFile(const char* name);
