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
