// The two web-address lists of the engine record and their files in the system
// directory: "zwwz.dat" (the public list, webListA) and "grwz.dat" (the personal list,
// webListB).
//
// Each list is loaded on its own. A missing file is an empty list (and is created empty);
// only a file that exists and cannot be read leaves its list unloaded, and a list that is
// not loaded is never written.
//
// Every program with the module loaded keeps its own copy of the lists and may change the
// files, so this process never writes its copy: what the dialog and the mode do is kept as
// edits (add, remove, star, move up), applied to the copy at once and, when saving, to the
// file as it is on the disk then, under the user files' lock; the result replaces the file
// in one step and becomes the copy. An edit whose record is gone does nothing. A failed
// save leaves the old file as it was and keeps the edits.
#pragma once

#include <windows.h>

#include "core/engine.h"
#include "webaddress/webrecord.h"

#include "core/userfile.h"

#include <cstdint>
#include <cstdio>
#include <vector>

constexpr int WEB_PUBLIC_LIST = 0;    // '[', "zwwz.dat"
constexpr int WEB_PERSONAL_LIST = 1;  // ']', "grwz.dat"

// Bits of webListsLoaded: which lists reflect their files.
constexpr int32_t WEB_PUBLIC_LOADED = 1;
constexpr int32_t WEB_PERSONAL_LOADED = 2;

// One change to a list, to be made again on the file as it is when saving.
enum class WebEditKind : int8_t {
    add,     // record goes in unless a record of its fields is there (or its block is full)
    remove,  // the record of exactly this text goes
    star,    // the record of exactly this text has its star switched
    moveUp,  // the record of exactly this text moves up to the end of the starred head
};
struct WebEdit {
    WebEditKind kind;
    WebRecord record;
    // A remove made only when the add just before it was stored: 修改 moving a record to
    // another letter, so that an add refused for room never costs the old record.
    bool onlyAfterStoredAdd = false;
};

// What the module knows about the list files beyond the lists themselves.
struct WebListFiles {
    int32_t changed[2] = {};  // edits wait to be saved
    int32_t dropped[2] = {};  // lines of the file the last load could not keep
    UserFileStamp read[2];    // the file as it was when last read or written
    std::vector<WebEdit> edits[2];
    std::vector<WebEdit> refused[2];  // adds the last save found no room for on the file
};
extern WebListFiles webListFiles;

WebList& webList(int list);
bool webListLoaded(int list);
const char* webListFileName(int list);

// Loads every list that is not loaded yet. Always 1; what loaded is in webListsLoaded.
int loadWebLists();
// Loads the lists as loadWebLists does, and reads again each list whose file changed
// since it was read; edits not yet saved are made again on what was read.
void refreshWebLists();

// Keeps an edit of a list already made on the copy, for the next save.
void recordWebEdit(int list, WebEditKind kind, const char* record, bool onlyAfterStoredAdd = false);
// Makes an edit on a list; true when it changed something.
bool applyWebEdit(WebList& list, const WebEdit& edit);
// Forgets the edits of a list not yet saved and reads it again from its file.
void discardWebEdits(int list);

// Reads a list file into list (emptied first). Lines that are not records, or that find
// their block full, are counted in *dropped; empty lines are not. False, with the list
// empty, when reading fails part way.
bool readWebListFile(FILE* file, WebList& list, int* dropped);

// Saves the edits of one list: under the lock, the file read again, the edits made on it,
// the result written over it and kept as the list. 1 when the file holds them (or there
// was nothing to write), 0 when reading or writing failed. An add whose block on the file
// is full (another program filled it) is not stored: it is in webListFiles.refused, which
// each save empties first, and a move's remove that went with it is not made.
int saveWebList(int list);
// Both lists; 1 when both are in their files.
int saveWebLists();

// What a merge did.
enum WebMergeStatus {
    WEB_MERGE_DONE,
    WEB_MERGE_CANCELLED,   // no folder was chosen
    WEB_MERGE_UNREADABLE,  // the file could not be opened or read
};
struct WebMergeOutcome {
    WebMergeStatus status = WEB_MERGE_CANCELLED;
    int added = 0;       // new records
    int duplicates = 0;  // records the list already held
    int invalid = 0;     // lines that are not records
    int noRoom = 0;      // records whose block was full
};

// Asks for a folder ("备份") and merges the file of the list's name found there into the
// list. 1 when the file was merged, 0 otherwise; nothing changes unless the whole file
// was read.
int mergeWebList(int list, HWND owner, WebMergeOutcome* outcome = nullptr);
// The merge itself, from a file already open: every '*' is dropped; records the block
// holds already (starred or not) are not added, nor those with no room left. Each record
// added is put into added when given.
bool mergeWebListFile(FILE* file, WebList& list, WebMergeOutcome& outcome,
                      std::vector<WebEdit>* added = nullptr);
