// The engine record: its storage and the one way to clear the typed code.
#include "core/engine.h"

#include <cstring>

EngineContext engineContext;
ModeState modes;
FrontEndState frontEnd;
ModuleWindows windows;
HINSTANCE moduleInstance;

void clearCode(EngineContext* context) {
    context->code[0] = '\0';
    context->codeCopy[0] = '\0';
    context->codeLength = 0;
    context->caret = 0;
    context->hintOffset = 0;
    context->hintLength = 0;
    context->lastCell = 0;
}
