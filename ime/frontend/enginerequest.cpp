// The engine call: how the driver and start-up reach whichever engine owns the key.
#include "frontend/engine.h"

#include "modes/pinyin.h"
#include "shapecode/shapecode.h"
#include "ui/ui.h"

#include <cstring>

void engineReset(EngineContext* context) {
    // clearComposition also leaves a GBK lookup that the setting does not keep on.
    clearComposition(context);
    for (auto& cell : context->cells) cell[0] = '\0';
    shapeCode.completionUnits = 0;
    shapeCode.nextPageStart = 0;
    context->result[0] = '\0';
    context->resultFlags = 0;
    shapeCode.inputPhase = 1;
    shapeCode.quoteAlternation = 1;
}

bool pinyinEngineAvailable() { return true; }

bool webEngineAvailable() { return false; }

// Each engine may switch the mode flags and hand the same key on to the next one, so
// the flags are read again before every step. A mode whose engine is not built counts as
// off, so its flag can never leave a key with nobody to take it.
static void dispatchKey(uint32_t key, EngineContext* context) {
    const uint32_t ch = (key >> 8) & 0xFF;
    auto pinyinOn = [] { return modes.pinyinMode && pinyinEngineAvailable(); };
    auto webOn = [] { return modes.webMode && webEngineAvailable(); };
    if (pinyinOn() && !webOn()) processPinyinKey(key, ch, context);
    // The web-address engine takes it here while webMode is on.
    if (!pinyinOn() && !webOn()) processShapeCodeKey(key, ch, context);
}

int engineCall(uint32_t command, EngineRequest* request) {
    frontEnd.currentRequest = request;
    if (!request || !request->context) return 0;
    switch (command) {
    case ZOZ_RESET:
        engineReset(request->context);
        return 1;
    case ZOZ_KEY:
        dispatchKey(request->key, request->context);
        return 1;
    default:
        return 0;
    }
}

int engineRequest(uint32_t command, uint32_t key) {
    EngineRequest request{key, static_cast<uint32_t>(sizeof(EngineContext)), &engineContext};
    return engineCall(command, &request);
}
