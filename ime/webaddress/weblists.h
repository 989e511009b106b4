// The two web-address lists of the engine record and their files in the system
// directory: "zwwz.dat" (the public list, webListA) and "grwz.dat" (the personal list,
// webListB).
//
// Each list is loaded on its own. A missing file is an empty list (and is created empty);
// only a file that exists and cannot be read leaves its list unloaded, and a list that is
// not loaded is never written. A list is written only when something changed it, through
// a temporary file that replaces the old one in one step, so a failed save leaves the old
// file as it was.
#pragma once

#include <windows.h>

#include "core/engine.h"
#include "webaddress/webrecord.h"

#include <cstdint>
#include <cstdio>

constexpr int WEB_PUBLIC_LIST = 0;    // '[', "zwwz.dat"
constexpr int WEB_PERSONAL_LIST = 1;  // ']', "grwz.dat"

// Bits of webListsLoaded: which lists reflect their files.
constexpr int32_t WEB_PUBLIC_LOADED = 1;
constexpr int32_t WEB_PERSONAL_LOADED = 2;

// What the module knows about the list files beyond the lists themselves.
struct WebListFiles {
    int32_t changed[2] = {};  // the list differs from its file
    int32_t dropped[2] = {};  // lines of the file the last load could not keep
};
extern WebListFiles webListFiles;

WebList& webList(int list);
bool webListLoaded(int list);
const char* webListFileName(int list);

// Loads every list that is not loaded yet. Always 1; what loaded is in webListsLoaded.
int loadWebLists();

// Reads a list file into list (emptied first). Lines that are not records, or that find
// their block full, are counted in *dropped; empty lines are not. False, with the list
// empty, when reading fails part way.
bool readWebListFile(FILE* file, WebList& list, int* dropped);

// Writes one list to its file if it is loaded and changed. 1 when the file holds the list
// (or there was nothing to write), 0 when writing failed.
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
// holds already (starred or not) are not added, nor those with no room left.
bool mergeWebListFile(FILE* file, WebList& list, WebMergeOutcome& outcome);
