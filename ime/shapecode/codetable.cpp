// Code-table lookups. Tables are used in place from the data libraries' resources and
// every read goes through a bounds-checked cursor, so a damaged table can shorten a
// lookup but never make it read outside the table or write past a list.
#include "shapecode/codetable.h"

#include "phrases/userphrases.h"
#include "shapecode/lookuplist.h"
#include "shapecode/packedrecord.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// A single "牛" never takes the third place of the exact list (label "."); the entry
// after it moves up instead.
constexpr char kNiu[] = "\xC5\xA3";

// Labels of exact entries 2 to 12 in the fixed-record lookup.
constexpr const char* kGbkLabels[] = {",", ".", "'", "5", "6", "~", ",", ".", "'", "5", "6"};
constexpr int kGbkExactMax = 12;

uint32_t readU32(TableCursor& cursor) {
    unsigned char b[4];
    cursor = readBytes(cursor, b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// The typed code, bounded, and the two lists it is looked up into.
struct Lookup {
    char typed[8];
    size_t length;
    ListWriter completions;
    ListWriter exact;

    Lookup(const char* code, char* completionList, char* exactList)
        : length(code ? strnlen(code, sizeof typed - 1) : 0),
          completions(completionList, COMPLETION_LIST_SIZE),
          exact(exactList, EXACT_LIST_SIZE) {
        std::memcpy(typed, code ? code : "", length);
        typed[length] = '\0';
    }
    std::string_view code() const { return {typed, length}; }
    int completionUnits() const { return static_cast<int>(completions.length / 2); }
};

void scanPackedBucket(const CodeTable* table, Lookup& lookup, int& state) {
    const size_t length = lookup.length;
    const char* code = lookup.typed;
    int bucket = codeBucket(code[0]);
    if (bucket < 0 || length > 4) return;
    TableCursor cursor = tableAt(table, 0);
    uint32_t offsets[TABLE_BUCKETS + 1];
    for (uint32_t& offset : offsets) offset = readU32(cursor);
    if (cursor.failed) return;
    uint64_t start = TABLE_HEADER_SIZE + uint64_t{offsets[bucket]};
    uint64_t end = TABLE_HEADER_SIZE + uint64_t{offsets[bucket + 1]};
    if (end > table->size) end = table->size;
    if (start >= end) return;

    // The typed letters after the first, as the bits they take in P and Q: a record
    // matches when its code bytes agree under the masks, decided before its text is touched.
    unsigned v2 = length > 1 ? packed::letterValue(code[1]) : 0;
    unsigned v3 = length > 2 ? packed::letterValue(code[2]) : 0;
    unsigned v4 = length > 3 ? packed::letterValue(code[3]) : 0;
    for (size_t i = 1; i < length; ++i)
        if (packed::bucketOf(code[i]) < 0) return;  // a letter no record can hold
    static constexpr unsigned kMaskP[] = {0, 0, 0x1F, 0x1F, 0xFF};
    static constexpr unsigned kMaskQ[] = {0, 0, 0, 0x1F, 0xFF & ~packed::PHRASE_BIT};
    const unsigned maskP = kMaskP[length], maskQ = kMaskQ[length];
    const unsigned wantP = packed::codeByteP(v2, v4);
    const unsigned wantQ = packed::codeByteQ(v3, v4, false);

    // Every record is bounds-checked against the bucket's end (itself within the table)
    // once, before any of its bytes is read.
    const unsigned char* data = table->data;
    uint32_t position = static_cast<uint32_t>(start);
    const uint32_t bucketEnd = static_cast<uint32_t>(end);
    while (bucketEnd - position >= packed::CHARACTER_RECORD_SIZE) {
        const unsigned char* record = data + position;
        const uint8_t p = record[0], q = record[1];
        const bool phrase = packed::isPhrase(q);
        unsigned characters = 1;
        if (phrase) {
            if (bucketEnd - position < packed::PHRASE_HEADER_SIZE) break;
            // Gathers the four length bits (bit 7 of bytes 2-5, worth 8, 4, 2, 1) in one
            // multiply: packed::phraseLength, on the hot path.
            uint32_t word = record[2] | (record[3] << 8) | (record[4] << 16) | (uint32_t{record[5]} << 24);
            characters = ((((word >> 7) & 0x01010101u) * 0x08040201u) >> 24) & 0xF;
            // The format needs two characters at least: a shorter phrase is passed over as
            // its first six bytes, never read with a negative length.
            if (characters < packed::PHRASE_MIN) {
                position += packed::PHRASE_HEADER_SIZE;
                continue;
            }
            if (packed::recordSize(characters) > bucketEnd - position) break;
        }
        uint32_t recordStart = position;
        position += packed::recordSize(characters);
        if ((p & maskP) != wantP || (q & maskQ) != wantQ) continue;

        char hint;
        switch (length) {
        case 1: hint = packed::letterOf(packed::secondLetter(p, q)); break;
        case 2: hint = packed::letterOf(packed::thirdLetter(p, q)); break;
        case 3: hint = packed::letterOf(packed::fourthLetter(p, q)); break;
        default: hint = '\0'; break;
        }
        unsigned char text[2 * packed::PHRASE_MAX];
        cursor = readBytes(tableAt(table, recordStart + 2), text, 2 * characters);
        if (cursor.failed) break;
        for (size_t i = 0; i < 2 * characters; ++i) text[i] |= 0x80;
        std::string_view entry(reinterpret_cast<const char*>(text), 2 * characters);

        if (hint != '\0') {
            char letter[2] = {hint, '\0'};
            lookup.completions.append(" ", letter, entry);
        } else if (!(state == 2 && !phrase && entry == kNiu)) {
            appendExact(lookup.exact, entry, state);
        }
    }
}

// Runs the user-phrase lookup into scratch lists and carries them over.
void appendUserPhrases(const char* path, Lookup& lookup, int& state) {
    char userCompletions[USER_COMPLETION_LIST_SIZE] = "";
    char userExact[USER_EXACT_LIST_SIZE] = "";
    lookupUserPhrases(path, lookup.typed, userCompletions, userExact, &state);
    lookup.completions.append(userCompletions);
    lookup.exact.append(userExact);
}

void scanFixedBucket(const CodeTable* table, Lookup& lookup) {
    const std::string_view typed = lookup.code();
    int bucket = codeBucket(lookup.typed[0]);
    if (bucket < 0) return;
    TableCursor cursor = tableAt(table, 0);
    uint32_t counts[TABLE_BUCKETS + 1];
    for (uint32_t& count : counts) count = readU32(cursor);
    uint64_t start = TABLE_HEADER_SIZE;
    for (int k = 0; k < bucket; ++k) start += FIXED_RECORD_SIZE * uint64_t{counts[k]};
    if (cursor.failed || start > table->size) return;

    // The bucket is cut to the records that lie wholly inside the table, once; its records
    // are then read in place.
    uint64_t count = std::min<uint64_t>(counts[bucket], (table->size - start) / FIXED_RECORD_SIZE);
    const unsigned char* records = table->data + start;
    int exactCount = 0;
    for (uint64_t r = 0; r < count; ++r) {
        const unsigned char* record = records + FIXED_RECORD_SIZE * r;
        size_t recordLength = 0;
        while (recordLength < 4 && record[recordLength] != ' ') ++recordLength;
        std::string_view recordCode(reinterpret_cast<const char*>(record), recordLength);
        std::string_view character(reinterpret_cast<const char*>(record + 4), 2);
        // The character is stored as it is: a pair that is no GBK character (a NUL above
        // all) would cut or garble the list it went into.
        if (record[4] < 0x81 || record[4] == 0xFF || record[5] < 0x40 || record[5] == 0x7F || record[5] == 0xFF)
            continue;
        if (recordCode == typed) {
            ++exactCount;
            if (exactCount == 1) lookup.exact.append(character);
            else if (exactCount <= kGbkExactMax) lookup.exact.append(" ", kGbkLabels[exactCount - 2], character);
        } else if (typed.size() < recordLength && recordCode.substr(0, typed.size()) == typed &&
                   codeBucket(static_cast<char>(record[typed.size()])) >= 0) {
            char letter[2] = {static_cast<char>(record[typed.size()]), '\0'};
            lookup.completions.append(" ", letter, character);
        }
    }
}

}  // namespace

TableCursor readBytes(TableCursor cursor, void* destination, uint32_t count) {
    if (cursor.failed || !cursor.table || !cursor.table->data || cursor.offset > cursor.table->size ||
        count > cursor.table->size - cursor.offset) {
        std::memset(destination, 0, count);
        cursor.failed = true;
        return cursor;
    }
    std::memcpy(destination, cursor.table->data + cursor.offset, count);
    cursor.offset += count;
    return cursor;
}

TableCursor tableAt(const CodeTable* base, uint32_t offset) {
    return {base, offset, !base || !base->data || offset > base->size};
}

int codeBucket(char letter) { return packed::bucketOf(letter); }

int lookupPacked(const CodeTable* table, const char* userPhrases, const char* code, char* completionList,
                 char* exactList) {
    Lookup lookup(code, completionList, exactList);
    int state = 0;
    if (table && table->data && lookup.length > 0) scanPackedBucket(table, lookup, state);
    if (userPhrases && userPhrases[0]) appendUserPhrases(userPhrases, lookup, state);
    return lookup.completionUnits();
}

int lookupGbk(const CodeTable* table, const char* code, char* completionList, char* exactList) {
    Lookup lookup(code, completionList, exactList);
    if (table && table->data) scanFixedBucket(table, lookup);
    return lookup.completionUnits();
}
