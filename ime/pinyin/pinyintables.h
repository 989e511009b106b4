// The two tables of the pinyin engine: the syllable table "PYMB" (syllable headers, each
// followed by its characters) and the phrase table "PYCZ" (26 letter counts, then records
// of 30 bytes of pinyin and 30 bytes of phrase).
//
// Every lookup exists twice: the written scan, which walks the table in place through the
// bounded cursor exactly as the table layout is read, and the indexed path, which answers
// from an index built once per table over the same walk. The engine uses the index; the
// scans are the reference the index is checked against (tests, fuzzing). Both append to
// the caller's list as "entry " and never write past its size.
#pragma once

#include "shapecode/codetable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

constexpr size_t PINYIN_LIST_SIZE = 36000;
constexpr int PINYIN_SYLLABLES_MAX = 15;
constexpr size_t PYCZ_HEADER_SIZE = 104;
constexpr size_t PYCZ_RECORD_SIZE = 60;
constexpr size_t PYCZ_FIELD_SIZE = 30;
constexpr size_t PYMB_SYLLABLE_SIZE = 8;

// The typed syllables a phrase lookup fits: entries first .. count-1 of list (each at
// most 30 bytes, zero-terminated). A syllable typed whole (bit i of whole for entry i)
// fits only a record syllable equal to it; any other fits every record syllable it
// begins, as abbreviations are typed.
struct TypedSyllables {
    const char (*list)[31];
    int first;  // convertedCount
    int count;  // syllableCount
    uint32_t whole = 0;
};

// First character of the first syllable of table that equals syllable or begins with it,
// appended to out; nothing when there is none (an empty syllable finds nothing).
void checkSyllableScan(const CodeTable* table, const char* syllable, char* out, size_t outSize);
// Whether the table has a header for exactly this syllable.
bool wholeSyllableScan(const CodeTable* table, const char* syllable);
// Characters of syllable, then those of longer syllables that begin with it; gathering
// stops after the header at which more than limit characters are counted.
void lookupSyllableCharsScan(const CodeTable* table, const char* syllable, int limit, char* out, size_t outSize);
// Phrases of the letter of the first unconverted syllable whose syllables the typed ones
// fit (see TypedSyllables), at most limit of them gathered in table order, appended
// longest first (4 bytes and longer); nothing with fewer than two unconverted syllables.
void lookupPhrasesScan(const CodeTable* table, const TypedSyllables& typed, int limit, char* out, size_t outSize);

// The same three answers from the index of the table (built on first use, rebuilt when a
// different table is given).
void checkSyllableIndexed(const CodeTable* table, const char* syllable, char* out, size_t outSize);
bool wholeSyllableIndexed(const CodeTable* table, const char* syllable);
void lookupSyllableCharsIndexed(const CodeTable* table, const char* syllable, int limit, char* out,
                                size_t outSize);
void lookupPhrasesIndexed(const CodeTable* table, const TypedSyllables& typed, int limit, char* out,
                          size_t outSize);

// Drops the indexes (their tables are going away) and the lookups' scratch room: the reset
// of the lookups' record, which resetProcessState runs.
void releasePinyinIndexes();

// Every syllable of "PYMB" with its characters (2-byte units in the table), in table order;
// the sentence search builds its dictionary from these once per table.
void forEachSyllableIndexed(
    const CodeTable* table,
    const std::function<void(std::string_view name, const char* const* chars, uint32_t count)>& visit);
// Every record of "PYCZ" whose phrase is whole GBK characters, in table order: its syllables
// and its phrase (into the table).
void forEachPhraseRecord(
    const CodeTable* table,
    const std::function<void(const std::string_view* syllables, int count, std::string_view phrase)>& visit);
