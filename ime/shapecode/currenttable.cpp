// Which table the current mode searches, and the table slots start-up fills.
#include "shapecode/codetable.h"

#include "core/engine.h"
#include "shapecode/shapecode.h"

CodeTables codeTables;

namespace {

const CodeTable* loaded(const CodeTable& table) { return table.data ? &table : nullptr; }

}  // namespace

const CodeTable* currentCodeTable() {
    const CodeTables& t = codeTables;
    if (modes.pinyinPhraseRequest) return loaded(t.PYCZ);
    if (modes.wubiMode && !modes.pinyinMode) return loaded(t.WBMB);
    if (modes.pinyinMode) return modes.wubiMode ? nullptr : loaded(t.PYMB);
    const bool phraseLibrary = shapeCode.phraseLibraryMode != 0;
    if (phraseLibrary && modes.gbkLookup) return nullptr;
    if (modes.phoneticEdition == 1) {
        if (modes.gbkLookup) return loaded(t.YGBK);
        return loaded(phraseLibrary ? t.YCZMB : t.MB1);
    }
    if (modes.gbkLookup) return loaded(t.XGBK);
    return loaded(phraseLibrary ? t.XCZMB : t.MB4);
}
