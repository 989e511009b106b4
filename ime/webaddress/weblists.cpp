#include "webaddress/weblists.h"

#include "core/userfile.h"

#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <utility>

WebListFiles webListFiles;

namespace {

const char* const fileNames[2] = {"zwwz.dat", "grwz.dat"};
const int32_t loadedBits[2] = {WEB_PUBLIC_LOADED, WEB_PERSONAL_LOADED};
// "备份": the folder picker's title.
const char backupTitle[] = "\xB1\xB8\xB7\xDD";

// A line as read: a record is at most 89 bytes, so a longer line is only measured.
struct ListLine {
    char text[WEB_RECORD_SIZE + 1];
    size_t length;  // bytes kept in text
    bool tooLong;
};

// Reads the next line without its newline; a carriage return before the newline (files
// written by Windows programs) is no part of it. False at the end of the file.
bool readListLine(FILE* file, ListLine& line) {
    line.length = 0;
    line.tooLong = false;
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.length < sizeof line.text - 1)
            line.text[line.length++] = static_cast<char>(c);
        else
            line.tooLong = true;
    }
    if (!any) return false;
    if (!line.tooLong && line.length > 0 && line.text[line.length - 1] == '\r') --line.length;
    line.text[line.length] = '\0';
    return true;
}

bool blankLine(const ListLine& line) { return !line.tooLong && line.length == 0; }

bool fileMissing(const char* path) {
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool listPath(int list, char* path, size_t size) { return userFilePath(fileNames[list], path, size); }

// An add its block has no room for: a valid record not there already, its block full.
bool addFindsNoRoom(const WebList& list, const WebEdit& edit) {
    const int letter = webBlockOf(edit.record[0]);
    WebFields fields;
    if (letter < 0 || !splitWebRecord(edit.record, fields)) return false;
    return findWebRecord(list[letter], fields) < 0 && webBlockCount(list[letter]) >= WEB_BLOCK_RECORDS;
}

// The edits not yet saved, made again on a list just read. Adds that find no room are put
// into refused when given; the remove of a record moved to a block that was full is not
// made.
void applyEdits(int list, WebList& records, std::vector<WebEdit>* refused = nullptr) {
    bool lastAddStored = true;
    for (const WebEdit& edit : webListFiles.edits[list]) {
        if (edit.onlyAfterStoredAdd && !lastAddStored) continue;
        const bool changed = applyWebEdit(records, edit);
        if (edit.kind != WebEditKind::add) continue;
        lastAddStored = changed || !addFindsNoRoom(records, edit);
        if (!lastAddStored && refused) refused->push_back(edit);
    }
}

// Reads the list's file into the copy, then makes the edits not yet saved on it.
void loadList(int list) {
    WebList& target = webList(list);
    std::memset(target, 0, sizeof target);
    engineContext.webListsLoaded &= ~loadedBits[list];
    webListFiles.dropped[list] = 0;
    char path[QX_PATH_SIZE];
    if (!listPath(list, path, sizeof path)) return;
    // Taken before the read: a write after it shows as a change at the next look.
    webListFiles.read[list] = userFileStamp(path);
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        if (!fileMissing(path)) return;  // there, but not for us: never to be overwritten
        // A user file that is missing is created empty; an empty list is all it holds.
        if (FILE* created = std::fopen(path, "ab")) std::fclose(created);
        engineContext.webListsLoaded |= loadedBits[list];
        applyEdits(list, target);
        return;
    }
    int dropped = 0;
    const bool read = readWebListFile(file, target, &dropped);
    std::fclose(file);
    if (!read) return;
    webListFiles.dropped[list] = dropped;
    engineContext.webListsLoaded |= loadedBits[list];
    applyEdits(list, target);
}

int findText(const WebBlock& block, const char* text) {
    const int count = webBlockCount(block);
    for (int i = 0; i < count; ++i)
        if (std::strncmp(block[i], text, WEB_RECORD_SIZE) == 0) return i;
    return -1;
}

bool writeList(FILE* file, const WebList& list) {
    bool first = true;
    for (const WebBlock& block : list) {
        const int count = webBlockCount(block);
        for (int i = 0; i < count; ++i) {
            // Lines end as a Windows text file's do; the last line of the file has no end.
            if (!first && std::fwrite("\r\n", 1, 2, file) != 2) return false;
            first = false;
            const size_t length = strnlen(block[i], WEB_RECORD_SIZE);
            if (std::fwrite(block[i], 1, length, file) != length) return false;
        }
    }
    return true;
}

WebList mergeScratch;
WebList saveScratch;

}  // namespace

bool applyWebEdit(WebList& list, const WebEdit& edit) {
    const int letter = webBlockOf(edit.record[0]);
    if (letter < 0) return false;
    WebBlock& block = list[letter];
    if (edit.kind == WebEditKind::add) {
        WebFields fields;
        if (!splitWebRecord(edit.record, fields) || findWebRecord(block, fields) >= 0) return false;
        return insertWebRecord(block, edit.record) >= 0;
    }
    const int at = findText(block, edit.record);
    if (at < 0) return false;
    switch (edit.kind) {
    case WebEditKind::remove: removeWebRecord(block, at); return true;
    case WebEditKind::star: return toggleWebRecordStar(block, at) >= 0;
    case WebEditKind::moveUp: {
        const int fixed = webFixedCount(block);
        if (at <= fixed) return false;
        moveWebRecord(block, at, fixed);
        return true;
    }
    default: return false;
    }
}

void recordWebEdit(int list, WebEditKind kind, const char* record, bool onlyAfterStoredAdd) {
    list = list ? 1 : 0;
    WebEdit edit{kind, {}, onlyAfterStoredAdd};
    std::strncpy(edit.record, record, WEB_RECORD_MAX);
    webListFiles.edits[list].push_back(edit);
    webListFiles.changed[list] = 1;
}

void discardWebEdits(int list) {
    list = list ? 1 : 0;
    webListFiles.edits[list].clear();
    webListFiles.changed[list] = 0;
    loadList(list);
}

void refreshWebLists() {
    for (int list = 0; list < 2; ++list) {
        if (webListLoaded(list)) {
            char path[QX_PATH_SIZE];
            if (!listPath(list, path, sizeof path) || !userFileChangedSince(path, webListFiles.read[list]))
                continue;
        }
        loadList(list);
    }
}

WebList& webList(int list) {
    return list == WEB_PERSONAL_LIST ? engineContext.webListB : engineContext.webListA;
}

bool webListLoaded(int list) { return (engineContext.webListsLoaded & loadedBits[list ? 1 : 0]) != 0; }

const char* webListFileName(int list) { return fileNames[list ? 1 : 0]; }

bool readWebListFile(FILE* file, WebList& list, int* dropped) {
    std::memset(list, 0, sizeof list);
    int lost = 0;
    ListLine line;
    while (readListLine(file, line)) {
        if (blankLine(line)) continue;
        WebFields fields;
        if (line.tooLong || !splitWebRecord(line.text, line.length, fields)) {
            ++lost;
            continue;
        }
        // A later run of a letter adds to its block, as an earlier one did.
        WebBlock& block = list[webBlockOf(line.text[0])];
        const int count = webBlockCount(block);
        if (count >= WEB_BLOCK_RECORDS) {
            ++lost;
            continue;
        }
        std::memcpy(block[count], line.text, line.length + 1);
    }
    if (std::ferror(file)) {
        std::memset(list, 0, sizeof list);
        return false;
    }
    if (dropped) *dropped = lost;
    return true;
}

int loadWebLists() {
    for (int list = 0; list < 2; ++list)
        if (!webListLoaded(list)) loadList(list);
    return 1;
}

int saveWebList(int list) {
    list = list ? 1 : 0;
    webListFiles.refused[list].clear();
    if (!webListLoaded(list) || webListFiles.edits[list].empty()) return 1;
    char path[QX_PATH_SIZE];
    if (!listPath(list, path, sizeof path)) return 0;
    UserFileLock lock(path);
    // The file as it is now, whoever wrote it last.
    int dropped = 0;
    FILE* file = std::fopen(path, "rb");
    if (file != nullptr) {
        const bool read = readWebListFile(file, saveScratch, &dropped);
        std::fclose(file);
        if (!read) return 0;
    } else if (fileMissing(path)) {
        std::memset(saveScratch, 0, sizeof saveScratch);
    } else {
        return 0;
    }
    std::vector<WebEdit> refused;
    applyEdits(list, saveScratch, &refused);
    if (!replaceFileWith(path, [&](FILE* out) { return writeList(out, saveScratch); })) return 0;
    std::memcpy(webList(list), saveScratch, sizeof saveScratch);
    webListFiles.edits[list].clear();
    webListFiles.refused[list] = std::move(refused);
    webListFiles.changed[list] = 0;
    webListFiles.dropped[list] = 0;
    webListFiles.read[list] = userFileStamp(path);
    return 1;
}

int saveWebLists() {
    const int publicSaved = saveWebList(WEB_PUBLIC_LIST);
    const int personalSaved = saveWebList(WEB_PERSONAL_LIST);
    return publicSaved && personalSaved;
}

bool mergeWebListFile(FILE* file, WebList& list, WebMergeOutcome& outcome, std::vector<WebEdit>* added) {
    // Into a copy, so that a file that fails part way changes nothing.
    std::memcpy(mergeScratch, list, sizeof mergeScratch);
    WebMergeOutcome counts;
    ListLine line;
    while (readListLine(file, line)) {
        if (blankLine(line)) continue;
        // Stars are the user's own: a merged record comes in unstarred.
        size_t kept = 0;
        for (size_t i = 0; i < line.length; ++i)
            if (line.text[i] != '*') line.text[kept++] = line.text[i];
        line.length = kept;
        line.text[kept] = '\0';
        WebFields fields;
        if (line.tooLong || !splitWebRecord(line.text, line.length, fields)) {
            ++counts.invalid;
            continue;
        }
        WebBlock& block = mergeScratch[webBlockOf(line.text[0])];
        if (findWebRecord(block, fields) >= 0) {
            ++counts.duplicates;
            continue;
        }
        const int count = webBlockCount(block);
        if (count >= WEB_BLOCK_RECORDS) {
            ++counts.noRoom;
            continue;
        }
        std::memcpy(block[count], line.text, line.length + 1);
        ++counts.added;
        if (added) {
            WebEdit edit{WebEditKind::add, {}};
            std::memcpy(edit.record, line.text, line.length + 1);
            added->push_back(edit);
        }
    }
    if (std::ferror(file)) {
        outcome.status = WEB_MERGE_UNREADABLE;
        if (added) added->clear();
        return false;
    }
    counts.status = WEB_MERGE_DONE;
    outcome = counts;
    std::memcpy(list, mergeScratch, sizeof mergeScratch);
    return true;
}

int mergeWebList(int list, HWND owner, WebMergeOutcome* outcome) {
    WebMergeOutcome local;
    WebMergeOutcome& result = outcome ? *outcome : local;
    result = WebMergeOutcome{};
    char folder[MAX_PATH] = {};
    char displayName[MAX_PATH] = {};
    BROWSEINFOA browse{};
    browse.hwndOwner = owner;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = backupTitle;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (chosen == nullptr) return 0;
    const BOOL havePath = SHGetPathFromIDListA(chosen, folder);
    CoTaskMemFree(chosen);
    if (!havePath) return 0;

    result.status = WEB_MERGE_UNREADABLE;
    char path[QX_PATH_SIZE];
    const size_t wanted = strnlen(folder, sizeof folder) + 1 + std::strlen(fileNames[list ? 1 : 0]);
    copyText(path, sizeof path, folder);
    appendText(path, sizeof path, "\\");
    if (appendText(path, sizeof path, fileNames[list ? 1 : 0]) != wanted) return 0;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return 0;
    WebList& target = webList(list);
    std::vector<WebEdit> added;
    const bool merged = mergeWebListFile(file, target, result, &added);
    std::fclose(file);
    if (!merged) return 0;
    for (const WebEdit& edit : added) recordWebEdit(list, edit.kind, edit.record);
    return 1;
}
