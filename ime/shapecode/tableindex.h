// Which records of a packed table carry each first and second letter, found once for each
// loaded table (at load, or at its first lookup), so that a lookup of two letters or more
// visits only the records that can match instead of walking the whole bucket. The table
// stays as it is, used in place.
#pragma once

#include "shapecode/codetable.h"

#include <cstdint>
#include <string>
#include <vector>

// What the table part of a lookup of one letter gives, kept from its first walk: a
// one-letter code lists its whole bucket (up to the completion list's size), which no index
// can shorten, and every first letter typed would otherwise walk it again. Copied out only
// into empty lists, as the walk itself would have started.
struct FirstLetterLists {
    bool kept = false;
    std::string completions;
    bool completionsClosed = false;
    std::string exact;
    bool exactClosed = false;
    int state = 0;  // the exact list's label state after the table part
};

// Second-letter values of the packed format: 0 for none, 1-28 for the code letters.
constexpr int INDEX_SECOND_LETTERS = 29;

// For each bucket b and second-letter value v, the records with that second letter in
// table order, as the distances between their starts: from the bucket's start to the
// first, then from each to the next, in units of two bytes (records are a whole number
// of two-byte units), each a little-endian base-128 number of 7 bits a byte, the high bit
// set on all bytes but the last. The group's numbers are deltas[first[b * 29 + v]] up to
// deltas[first[b * 29 + v + 1]]. exactEnd[b] is the end of the last record of bucket b
// without a second letter (the exact entries of its one-letter code).
struct PackedIndex {
    uint32_t first[TABLE_BUCKETS * INDEX_SECOND_LETTERS + 1];
    uint32_t exactEnd[TABLE_BUCKETS];
    std::vector<uint8_t> deltas;
    // Filled by the lookups as each first letter is first typed (at most the completion
    // list's size for each bucket); emptied whenever the index is built again.
    mutable FirstLetterLists firstLetter[TABLE_BUCKETS];
};

// Fills index for table, walking its records exactly as the lookup does. False (and the
// index is not to be used) when the table has no readable header, or when the index
// would exceed a quarter of the table's size.
bool buildPackedIndex(const CodeTable& table, PackedIndex& index);

// Builds the indexes of the loaded packed tables of tables (the shape-code, phrase-library
// and five-stroke tables) into storage of this file and points each table at its own;
// a table without an index is walked whole.
void indexCodeTables(CodeTables& tables);

// The same, each table's index built on the table's first lookup (packedIndexOf) rather
// than now: start-up does not pay for the tables a session never types in.
void indexCodeTablesWhenUsed(CodeTables& tables);

// The index of table: its own, or the one built now when table is a slot given to
// indexCodeTablesWhenUsed that still holds the same table and has none yet; null when it
// has none (the lookup walks the bucket).
const PackedIndex* packedIndexOf(const CodeTable* table);

// Size in bytes of an index, and of the first-letter lists it keeps so far.
inline size_t packedIndexSize(const PackedIndex& index) {
    return sizeof index.first + sizeof index.exactEnd + index.deltas.size();
}
inline size_t firstLetterListsSize(const PackedIndex& index) {
    size_t size = 0;
    for (const FirstLetterLists& lists : index.firstLetter) size += lists.completions.size() + lists.exact.size();
    return size;
}
