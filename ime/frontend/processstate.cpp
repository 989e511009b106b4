// The whole process-wide state in one place: what a reset puts back.
#include "core/engine.h"

#include "frontend/uiwindow.h"
#include "pinyin/languagemodel.h"
#include "pinyin/pinyinwords.h"
#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"
#include "ui/userphrasedialog.h"
#include "shapecode/codetable.h"
#include "shapecode/shapecode.h"
#include "ui/uiwindows.h"
#include "webaddress/weblists.h"

#include <cstring>

void resetProcessState() {
    // The context has no initialisers (its layout is the record's contract): zero, as at load.
    std::memset(&engineContext, 0, sizeof engineContext);
    modes = {};
    frontEnd = {};
    windows = {};
    engineAsks = {};
    codeTables = {};
    shapeCode = {};
    lookupLists = {};
    startup = {};
    resetPinyinState();
    releasePinyinIndexes();
    releasePinyinLanguageModel();
    releasePinyinWords();
    userPhraseDialog = {};
    webListFiles = {};
    resetUiState();
}
