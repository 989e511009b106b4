// Start-up work of the UI host window: the settings under "Software\QX", the user files,
// and the code tables used in place from the four data libraries.
#include "frontend/engine.h"
#include "frontend/uiwindow.h"
#include "ui/ui.h"

#include <cstdio>
#include <initializer_list>

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

// System directory + name; the buffer holds any system directory.
void systemPath(char* path, size_t size, const char* name) {
    char directory[QX_PATH_SIZE] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) directory[0] = '\0';
    copyText(path, size, directory);
    appendText(path, size, name);
}

char wubiPhrasePath[QX_PATH_SIZE];
char pinyinPhrasePath[QX_PATH_SIZE];

struct TableResource {
    int library;          // index into libraries
    const char* name;
    CodeTable* table;
    HGLOBAL handle;
};

HMODULE libraries[4];

TableResource tableResources[] = {
    {2, "YGBK", &tableYGBK, nullptr},   {2, "XGBK", &tableXGBK, nullptr},
    {0, "MB1", &tableMB1, nullptr},     {0, "MB4", &tableMB4, nullptr},
    {0, "XCZMB", &tableXCZMB, nullptr}, {0, "YCZMB", &tableYCZMB, nullptr},
    {1, "WBMB", &tableWBMB, nullptr},   {3, "PYMB", &tablePYMB, nullptr},
    {3, "PYCZ", &tablePYCZ, nullptr},
};

bool hasVersionMark(HMODULE library) {
    return library != nullptr && FindResourceA(library, "QX_40", "Ver") != nullptr;
}

void freeLibraries() {
    for (HMODULE& library : libraries) {
        if (library != nullptr) FreeLibrary(library);
        library = nullptr;
    }
}

}  // namespace

const char* codeLibraryNames[4] = {"Qxmb.dll", "Dede.dll", "gbk.dll", "pymb.dll"};

void readSettings(bool fromSelection) {
    (void)fromSelection;  // the shape-code engine offers no first-key prefix to switch off
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        key = nullptr;

    engineContext.caretFollow = settingOn(key, "\xB9\xE2\xB1\xEA\xB8\xFA\xCB\xE6");  // 光标跟随
    pinyinHint = settingOn(key, "\xC6\xB4\xD2\xF4\xCC\xE1\xCA\xBE");                // 拼音提示

    const char* editionName = "\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8";  // 音形版优先
    bool missing = false;
    DWORD edition = readSetting(key, editionName, &missing);
    if (missing) {  // first start: the phonetic-shape edition, and remember it
        edition = 1;
        if (key != nullptr)
            RegSetValueExA(key, editionName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&edition), sizeof edition);
    }
    phoneticEdition = edition == 1;
    systemPath(wubiPhrasePath, sizeof wubiPhrasePath, "\\WBCZ.rt");
    systemPath(userPhraseFile, sizeof userPhraseFile, phoneticEdition ? "\\fread.rt" : "\\freadx.rt");

    simpleWindow = settingOn(key, "\xBC\xF2\xB5\xA5\xB4\xB0\xBF\xDA");               // 简单窗口
    menuAutoShow = settingOn(key, "\xB2\xCB\xB5\xA5\xD7\xD4\xB6\xAF\xCF\xD4\xCA\xBE");  // 菜单自动显示
    wubiMode = settingOn(key, "\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8");                   // 五笔优先
    pinyinMode = settingOn(key, "\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8");                 // 拼音优先
    gbkSetting = settingOn(key, "GBK\xD7\xD6\xBF\xE2");                              // GBK字库
    if (gbkSetting && !wubiMode) gbkLookup = 1;

    if (key != nullptr) RegCloseKey(key);
}

void ensureUserFiles() {
    systemPath(pinyinPhrasePath, sizeof pinyinPhrasePath, "\\PYCZ.rt");
    for (const char* path : {static_cast<const char*>(userPhraseFile), static_cast<const char*>(wubiPhrasePath),
                             static_cast<const char*>(pinyinPhrasePath)}) {
        std::FILE* file = std::fopen(path, "r");
        if (file == nullptr) file = std::fopen(path, "w");  // created empty
        if (file != nullptr) std::fclose(file);
    }
    if (wubiMode) copyText(userPhraseFile, sizeof userPhraseFile, wubiPhrasePath);
}

void loadCodeTables() {
    // A second selection without a deselection first must not leak the libraries.
    releaseCodeTables();
    for (int i = 0; i < 4; ++i) libraries[i] = LoadLibraryA(codeLibraryNames[i]);
    if (hasVersionMark(libraries[0]) && hasVersionMark(libraries[1])) {
        for (TableResource& entry : tableResources) {
            HMODULE library = libraries[entry.library];
            HRSRC found = library ? FindResourceA(library, entry.name, "mb") : nullptr;
            entry.handle = found ? LoadResource(library, found) : nullptr;
            const void* data = entry.handle ? LockResource(entry.handle) : nullptr;
            entry.table->data = static_cast<const unsigned char*>(data);
            entry.table->size = data ? SizeofResource(library, found) : 0;
        }
        tablesMissing = 0;
    } else {
        EndOpenDialogs();
        for (TableResource& entry : tableResources) *entry.table = CodeTable{nullptr, 0};
        tablesMissing = 1;
    }
}

void releaseCodeTables() {
    for (TableResource& entry : tableResources) {
        if (entry.handle != nullptr) FreeResource(entry.handle);
        entry.handle = nullptr;
        // The memory goes with the library: never leave a pointer into it behind.
        *entry.table = CodeTable{nullptr, 0};
    }
    freeLibraries();
}
