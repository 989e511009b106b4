// The shape-code engine: typed code, exact list, candidate page and commits for the
// shape-code and phonetic-shape editions and five-stroke mode.
#pragma once

#include "core/engine.h"
#include "shapecode/codetable.h"

#include <cstddef>
#include <cstdint>

// One key from the dispatcher: the key word (vk in bits 0-7) and its character.
void processShapeCodeKey(uint32_t virtualKey, uint32_t character, EngineContext* context);

void clearComposition(EngineContext* context);
// Inserts key at the caret while the code has room (6 characters); asks for a beep otherwise.
void appendCodeKey(EngineContext* context, char key);
// codeCopy = code with key inserted at the caret (when there is room).
void prepareLookupCode(EngineContext* context, char key);
// Builds the candidate page from nextPageStart; never ends a page inside an entry.
void fillCandidatePage(EngineContext* context);

constexpr int PAGE_UNITS = 16;
constexpr size_t MESSAGE_LINE_SIZE = 60;

// The shape-code engine's state: phase, wrong-key history, lookup lists, candidate page
// and the messages it shows. The driver, the key filter and the windows read parts of it.
struct ShapeCodeState {
    int16_t inputPhase = 1;          // 1 idle, 2 web-address title shown, 3 composing
    int32_t repeatArmed = 0;         // the second identical wrong key showed its message
    char repeatKeys[3] = {'^', '^', '^'};  // the last three wrong keys, oldest first
    int32_t phraseLibraryMode = 0;   // the phrase library table is searched
    int32_t displayHalf = 0;         // which half of displayLine the label keys search
    char messageLine[MESSAGE_LINE_SIZE] = {};  // one-line message of the composition window
    int32_t quoteAlternation = 1;    // shared double/single quote alternation, 0 or 1
    int shiftTipIndex = 0;           // the tip the next left Shift shows
    // What the last Shift changed on screen, until the next key tells whether it was
    // pressed alone or held for that key.
    struct ShiftTipUndo {
        bool pending = false;
        int tipIndex = 0;
        int16_t lastCell = 0;
        char messageLine[MESSAGE_LINE_SIZE] = {};
    } shiftTipUndo;
    uint8_t previousKey = 0;         // virtual keys of the key before this one and of this one
    uint8_t currentKey = 0;
    int16_t completionUnits = 0;     // half the completion list's byte length
    int16_t nextPageStart = 0;       // first completion unit not yet paged
    char heldCommit[48] = {};        // text of an auto-commit while the next key is looked up
};
QX_EXPORTED extern ShapeCodeState shapeCode;

// The lists of the last lookup step: a work area that starts zeroed, kept apart from the
// record above so the module does not carry its 36,000 bytes as initialised data.
struct LookupLists {
    char exactList[EXACT_LIST_SIZE];
    char completionList[COMPLETION_LIST_SIZE];
};
extern LookupLists lookupLists;
