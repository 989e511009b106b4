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

// The table of the current mode, or null (no table, or no table defined for the mode).
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

// Lookups. Both lists are appended to; the caller empties them first.
// Return half the completion list's byte length.
int lookupPacked(const char* code, char* completionList, char* exactList);
int lookupGbk(const char* code, char* completionList, char* exactList);
int lookupUserPhrases(const char* code, char* completionList, char* exactList, int* exactState);
int findUserPhrasesExact(const char* code, char* output, size_t outputSize);
