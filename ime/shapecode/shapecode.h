// The shape-code engine: typed code, exact list, candidate page and commits for the
// shape-code and phonetic-shape editions and five-stroke mode.
#pragma once

#include "frontend/engine.h"
#include "shapecode/codetable.h"

#include <cstdint>

// One key from the dispatcher: the key word (vk in bits 0-7) and its character.
void processShapeCodeKey(uint32_t virtualKey, uint32_t character, EngineContext* context);

void clearComposition(EngineContext* context);
// Inserts key at the caret while the code has room (6 characters); beeps otherwise.
void appendCodeKey(EngineContext* context, char key);
// codeCopy = code with key inserted at the caret (when there is room).
void prepareLookupCode(EngineContext* context, char key);
// Builds the candidate page from nextPageStart; never ends a page inside an entry.
void fillCandidatePage(EngineContext* context);

// Engine-owned state that the windows and the reset read.
constexpr int PAGE_UNITS = 16;
extern char completionList[COMPLETION_LIST_SIZE];
extern char exactList[EXACT_LIST_SIZE];
extern int16_t completionUnits;   // half the completion list's byte length
extern int16_t nextPageStart;     // first completion unit not yet paged
extern uint8_t previousKey;       // virtual keys of the key before this one and of this one
extern uint8_t currentKey;
extern char heldCommit[48];       // text of an auto-commit while the next key is looked up

// Shown after the same wrong key twice; the third opens the user-phrase dialog.
constexpr UINT COMMAND_USER_PHRASES = 1298;
