// Start-up work of the UI host window: the settings under "Software\QX", the user files,
// and the code tables used in place from the four data libraries.
#include "core/engine.h"
#include "frontend/uiwindow.h"
#include "core/userfile.h"
#include "pinyin/languagemodel.h"
#include "pinyin/pinyinwords.h"
#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"
#include "phrases/userphrasefile.h"
#include "shapecode/codetable.h"
#include "shapecode/tableindex.h"
#include "ui/ui.h"

#include <initializer_list>
#include <iterator>

namespace {

constexpr DWORD SETTING_MISSING = 100;  // what a value that cannot be read counts as

// Reads one REG_DWORD setting; anything other than a 4-byte DWORD counts as missing.
DWORD readSetting(HKEY key, const char* name, bool* missing) {
    DWORD value = SETTING_MISSING;
    DWORD type = 0;
    DWORD size = sizeof value;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    *missing = status != ERROR_SUCCESS;
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) value = SETTING_MISSING;
    return value;
}

bool settingOn(HKEY key, const char* name) {
    bool missing = false;
    return readSetting(key, name, &missing) == 1;
}


// Where each table comes from: a library (index into the library list), a resource name
// and the slot it fills; in the order they are loaded.
struct TableResource {
    int library;
    const char* name;
    CodeTable CodeTables::*table;
};

constexpr TableResource tableResources[] = {
    {2, "YGBK", &CodeTables::YGBK},   {2, "XGBK", &CodeTables::XGBK},   {0, "MB1", &CodeTables::MB1},
    {0, "MB4", &CodeTables::MB4},     {0, "XCZMB", &CodeTables::XCZMB}, {0, "YCZMB", &CodeTables::YCZMB},
    {1, "WBMB", &CodeTables::WBMB},   {3, "PYMB", &CodeTables::PYMB},   {3, "PYCZ", &CodeTables::PYCZ},
};
static_assert(std::size(tableResources) == std::size(StartupState{}.tableHandles));

bool hasVersionMark(HMODULE library) {
    return library != nullptr && FindResourceA(library, "QX_40", "Ver") != nullptr;
}

void freeLibraries() {
    for (HMODULE& library : startup.libraries) {
        if (library != nullptr) FreeLibrary(library);
        library = nullptr;
    }
}

}  // namespace

void readSettings(bool fromSelection) {
    (void)fromSelection;  // the shape-code engine offers no first-key prefix to switch off
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        key = nullptr;

    engineContext.caretFollow = settingOn(key, "\xB9\xE2\xB1\xEA\xB8\xFA\xCB\xE6");  // 光标跟随
    modes.pinyinHint = settingOn(key, "\xC6\xB4\xD2\xF4\xCC\xE1\xCA\xBE");                // 拼音提示
    {
        bool absent = false;  // 整句输入: on unless it holds 0
        modes.sentenceInput = readSetting(key, SENTENCE_INPUT_SETTING, &absent) != 0;
    }

    const char* editionName = "\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8";  // 音形版优先
    bool missing = false;
    DWORD edition = readSetting(key, editionName, &missing);
    if (missing) {  // first start: the phonetic-shape edition, and remember it
        edition = 1;
        if (key != nullptr)
            RegSetValueExA(key, editionName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&edition), sizeof edition);
    }
    modes.phoneticEdition = edition == 1;
    userFilePath("WBCZ.rt", startup.wubiPhrasePath, sizeof startup.wubiPhrasePath);
    userFilePath(modes.phoneticEdition ? "fread.rt" : "freadx.rt", modes.userPhraseFile, sizeof modes.userPhraseFile);

    modes.simpleWindow = settingOn(key, "\xBC\xF2\xB5\xA5\xB4\xB0\xBF\xDA");               // 简单窗口
    modes.menuAutoShow = settingOn(key, "\xB2\xCB\xB5\xA5\xD7\xD4\xB6\xAF\xCF\xD4\xCA\xBE");  // 菜单自动显示
    modes.wubiMode = settingOn(key, "\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8");                   // 五笔优先
    // 拼音优先: pinyin mode from the start, once there is a pinyin engine to take the keys.
    modes.pinyinMode = settingOn(key, "\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8") && pinyinEngineAvailable();
    modes.gbkSetting = settingOn(key, "GBK\xD7\xD6\xBF\xE2");                              // GBK字库
    if (modes.gbkSetting && !modes.wubiMode) modes.gbkLookup = 1;

    if (key != nullptr) RegCloseKey(key);
}

void ensureUserFiles() {
    userFilePath("PYCZ.rt", startup.pinyinPhrasePath, sizeof startup.pinyinPhrasePath);
    for (const char* path : {modes.userPhraseFile, startup.wubiPhrasePath, startup.pinyinPhrasePath})
        createUserFile(path);
    if (modes.wubiMode) copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, startup.wubiPhrasePath);
    // Pinyin mode from the settings reads and learns into its own file, as after i then 6.
    if (modes.pinyinMode && !modes.wubiMode)
        copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, startup.pinyinPhrasePath);
}

void loadCodeTables() {
    // Selection and the first activation both ask: tables already found in libraries that
    // are still loaded are used as they are, not located again.
    bool loaded = !codeTables.tablesMissing;
    for (HMODULE library : startup.libraries) loaded = loaded && library != nullptr;
    if (loaded && codeTables.MB4.data) return;
    // A second selection without a deselection first must not leak the libraries.
    releaseCodeTables();
    // As data files: found in the usual search order, but never run. The libraries are
    // only resources, and a planted library of the same name must not run its entry
    // point in every application that types with the module.
    for (int i = 0; i < 4; ++i)
        startup.libraries[i] = LoadLibraryExA(startup.codeLibraryNames[i], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (hasVersionMark(startup.libraries[0]) && hasVersionMark(startup.libraries[1])) {
        for (size_t i = 0; i < std::size(tableResources); ++i) {
            const TableResource& entry = tableResources[i];
            HMODULE library = startup.libraries[entry.library];
            HRSRC found = library ? FindResourceA(library, entry.name, "mb") : nullptr;
            HGLOBAL handle = found ? LoadResource(library, found) : nullptr;
            const void* data = handle ? LockResource(handle) : nullptr;
            startup.tableHandles[i] = handle;
            codeTables.*entry.table = CodeTable{static_cast<const unsigned char*>(data),
                                                data ? static_cast<uint32_t>(SizeofResource(library, found)) : 0};
        }
        codeTables.tablesMissing = 0;
        indexCodeTablesWhenUsed(codeTables);
    } else {
        EndOpenDialogs();
        for (const TableResource& entry : tableResources) codeTables.*entry.table = CodeTable{};
        codeTables.tablesMissing = 1;
    }
}

void releaseCodeTables() {
    for (size_t i = 0; i < std::size(tableResources); ++i) {
        if (startup.tableHandles[i] != nullptr) FreeResource(startup.tableHandles[i]);
        startup.tableHandles[i] = nullptr;
        // The memory goes with the library: never leave a pointer into it behind.
        codeTables.*tableResources[i].table = CodeTable{};
    }
    releasePinyinIndexes();
    releasePinyinLanguageModel();
    releasePinyinWords();
    freeLibraries();
}
