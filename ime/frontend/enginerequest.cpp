// The engine call: how the driver and start-up reach whichever engine owns the key.
#include "core/engine.h"

#include "pinyin/pinyin.h"
#include "webaddress/webaddress.h"
#include "shapecode/shapecode.h"
#include "ui/ui.h"

#include <cstring>

void engineReset(EngineContext* context) {
    // clearComposition also leaves a GBK lookup that the setting does not keep on, and says
    // so on the message line: the windows are placed for it.
    const bool leavesGbk = modes.gbkLookup && !modes.gbkSetting;
    clearComposition(context);
    if (leavesGbk) RelayoutComposition();
    for (auto& cell : context->cells) cell[0] = '\0';
    shapeCode.completionUnits = 0;
    shapeCode.nextPageStart = 0;
    context->result[0] = '\0';
    context->resultFlags = 0;
    shapeCode.inputPhase = 1;
    shapeCode.quoteAlternation = 1;
}

bool pinyinEngineAvailable() { return true; }

// Each engine may switch the mode flags and hand the same key on to the next one, so
// the flags are read again before every step. A mode whose engine is not built counts as
// off, so its flag can never leave a key with nobody to take it.
static void dispatchKey(uint32_t key, EngineContext* context) {
    const uint32_t ch = (key >> 8) & 0xFF;
    auto pinyinOn = [] { return modes.pinyinMode && pinyinEngineAvailable(); };
    // The pinyin engine takes the key first while webMode is off; a bracket there opens the
    // address lists and hands the same key on. While webMode is on the web-address engine
    // owns the key, even one that ends the mode.
    if (pinyinOn() && !modes.webMode) processPinyinKey(key, ch, context);
    if (modes.webMode) {
        processWebAddressKey(key, ch, context);
        return;
    }
    if (!pinyinOn()) processShapeCodeKey(key, ch, context);
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
