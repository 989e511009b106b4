// The engine record: its storage, the one way to clear the typed code, and what the engines
// ask of the driver.
#include "core/engine.h"

#include <cstring>

EngineContext engineContext;
ModeState modes;
FrontEndState frontEnd;
ModuleWindows windows;
EngineAsks engineAsks;
HINSTANCE moduleInstance;

void askDriver(uint32_t what) {
    if (engineAsks.duringKey) {
        engineAsks.asked |= what;
        return;
    }
    if (what & ASK_BEEP) MessageBeep(0xFFFFFFFF);
    if (what & ASK_TONE) Beep(200, 200);
}

void clearCode(EngineContext* context) {
    context->code[0] = '\0';
    context->codeCopy[0] = '\0';
    context->codeLength = 0;
    context->caret = 0;
    context->hintOffset = 0;
    context->hintLength = 0;
    context->lastCell = 0;
}

void clearShownInput(EngineContext* context, unsigned parts) {
    clearCode(context);
    if (parts & CLEAR_DISPLAY_LINE) context->displayLine[0] = '\0';
    std::memset(context->modeInput, 0, sizeof context->modeInput);
    std::memset(context->modeScratch, 0, sizeof context->modeScratch);
    std::memset(context->syllables, 0, sizeof context->syllables);
    std::memset(context->webStaging, 0, sizeof context->webStaging);
    context->rowFirst = context->rowMore = 0;
    if (parts & CLEAR_RESULTS) context->result[0] = context->lastResult[0] = '\0';
    if (parts & CLEAR_ROWS) {
        std::memset(context->rowText, 0, sizeof context->rowText);
        std::memset(context->rowNote, 0, sizeof context->rowNote);
    }
    if (parts & CLEAR_MODE_RESULT) std::memset(context->modeResult, 0, sizeof context->modeResult);
    if (parts & CLEAR_COUNTERS) std::memset(context->webState, 0, sizeof context->webState);
    if (parts & CLEAR_SYLLABLE_COUNTS)
        context->webState[WS_CONVERTED_COUNT] = context->webState[WS_SYLLABLE_COUNT] = 0;
}
