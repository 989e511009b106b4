// Code tables: the packed and fixed-record formats, the choice of the current table and
// the lookups that produce the exact list and the completion list for a typed code.
#pragma once

#include "frontend/engine.h"

#include <cstddef>
#include <cstdint>

// Buffer sizes the callers give.
constexpr size_t COMPLETION_LIST_SIZE = 36000;
constexpr size_t EXACT_LIST_SIZE = 48;
constexpr size_t TABLE_HEADER_SIZE = 116;   // 29 little-endian 32-bit words
constexpr int TABLE_BUCKETS = 28;           // a-z, ';', '/'
constexpr size_t FIXED_RECORD_SIZE = 6;
// The lists lookupUserPhrases fills: the packed lookup gives it scratch lists this large.
constexpr size_t USER_COMPLETION_LIST_SIZE = 7000;
constexpr size_t USER_EXACT_LIST_SIZE = 48;

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
int releaseCodeTable();

// Bucket of a code letter: 0-25 for a-z, 26 for ';', 27 for '/', -1 for none.
int codeBucket(char letter);

// Lookups. Both lists are appended to; the caller empties them first and gives buffers of
// COMPLETION_LIST_SIZE and EXACT_LIST_SIZE bytes. An entry that would not fit is not
// appended, and nothing more is appended to that list after it.
// Return half the completion list's byte length.
int lookupPacked(const char* code, char* completionList, char* exactList);
int lookupGbk(const char* code, char* completionList, char* exactList);
// Lists of USER_COMPLETION_LIST_SIZE and USER_EXACT_LIST_SIZE bytes; exactState (0-3)
// continues the label numbering of a table lookup. Returns 0.
int lookupUserPhrases(const char* code, char* completionList, char* exactList, int* exactState);
// Appends "phrase " for every line whose code equals code. Returns 0.
int findUserPhrasesExact(const char* code, char* output, size_t outputSize);
