// Code tables: the packed and fixed-record formats, the choice of the current table and
// the lookups that produce the exact list and the completion list for a typed code.
//
// The lookups are functions of their arguments: the caller names the table and the user
// phrase file, so a tool or a fuzzer can run them on any table without the engine.
#pragma once

#include <cstddef>
#include <cstdint>

// Buffer sizes the callers give.
constexpr size_t COMPLETION_LIST_SIZE = 36000;
constexpr size_t EXACT_LIST_SIZE = 48;
constexpr size_t TABLE_HEADER_SIZE = 116;   // 29 little-endian 32-bit words
constexpr int TABLE_BUCKETS = 28;           // a-z, ';', '/'
constexpr size_t FIXED_RECORD_SIZE = 6;

struct PackedIndex;

// A table used in place from the locked resource of its data library. The size travels
// with the pointer so that every read can be bounds-checked. A packed table may carry an
// index of where its second letters lie (tableindex.h); without one, a lookup walks the
// whole bucket of the first letter, with the same results.
struct CodeTable {
    const unsigned char* data = nullptr;
    uint32_t size = 0;
    const PackedIndex* index = nullptr;
};

// The table slots, filled by start-up from the data libraries.
struct CodeTables {
    CodeTable MB1, MB4, XCZMB, YCZMB, XGBK, YGBK, WBMB, PYMB, PYCZ;
    int32_t tablesMissing = 0;  // the data libraries failed the version test
};
extern CodeTables codeTables;

// The table of the current mode, or null (no table loaded, or no table for the mode).
const CodeTable* currentCodeTable();

// Table cursor: reads are bounds-checked against the table; a read past the end copies
// nothing, zero-fills the destination and marks the cursor as failed.
struct TableCursor {
    const CodeTable* table;
    uint32_t offset;
    bool failed;
};
TableCursor readBytes(TableCursor cursor, void* destination, uint32_t count);
TableCursor tableAt(const CodeTable* base, uint32_t offset);

// Bucket of a code letter: 0-25 for a-z, 26 for ';', 27 for '/', -1 for none.
int codeBucket(char letter);

// Lookups of code in table (null: no table). Both lists are appended to; the caller
// empties them first and gives buffers of COMPLETION_LIST_SIZE and EXACT_LIST_SIZE bytes.
// An entry that would not fit is not appended, and nothing more is appended to that list
// after it. Return half the completion list's byte length.
//
// lookupPacked then appends the phrases of the user-phrase file userPhrases for the same
// code (null or empty: none).
int lookupPacked(const CodeTable* table, const char* userPhrases, const char* code, char* completionList,
                 char* exactList);
int lookupGbk(const CodeTable* table, const char* code, char* completionList, char* exactList);
