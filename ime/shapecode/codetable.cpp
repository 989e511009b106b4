// Code-table lookups. Tables are used in place from the data libraries' resources and
// every read goes through a bounds-checked cursor, so a damaged table can shorten a
// lookup but never make it read outside the table or write past a list.
#include "shapecode/codetable.h"

#include "shapecode/userphrasefile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// A single "牛" never takes the third place of the exact list (label "."); the entry
// after it moves up instead.
constexpr char kNiu[] = "\xC5\xA3";

// Labels of exact entries 2, 3 and 4+ in the packed and user-phrase lookups.
constexpr const char* kPackedLabels[] = {",", ".", "'"};
// Labels of exact entries 2 to 12 in the fixed-record lookup.
constexpr const char* kGbkLabels[] = {",", ".", "'", "5", "6", "~", ",", ".", "'", "5", "6"};
constexpr int kGbkExactMax = 12;

constexpr char kCodeLetters[] = "abcdefghijklmnopqrstuvwxyz;/";

// A list being appended to: once an entry does not fit, the list is closed.
struct ListWriter {
    char* text;
    size_t size;
    size_t length;
    bool closed;

    ListWriter(char* buffer, size_t bufferSize)
        : text(buffer), size(bufferSize), length(strnlen(buffer, bufferSize)), closed(length >= bufferSize) {}

    bool append(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
        size_t total = a.size() + b.size() + c.size();
        if (closed || length + total + 1 > size) {
            closed = true;
            return false;
        }
        for (std::string_view part : {a, b, c}) {
            if (part.empty()) continue;
            std::memcpy(text + length, part.data(), part.size());
            length += part.size();
        }
        text[length] = '\0';
        return true;
    }
};

// Appends an exact entry under the label its position earns; advances the state.
void appendExact(ListWriter& exact, std::string_view text, int& state) {
    bool added = state == 0 ? exact.append(text) : exact.append(" ", kPackedLabels[state - 1], text);
    if (added && state < 3) ++state;
}

// Letter of a packed 5-bit code value; 0 (no letter) and unused values give NUL and '?'.
char packedLetter(unsigned value) {
    if (value == 0) return '\0';
    return value <= 28 ? kCodeLetters[value - 1] : '?';
}

uint32_t readU32(TableCursor& cursor) {
    unsigned char b[4];
    cursor = readBytes(cursor, b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

const CodeTable* loaded(const CodeTable& table) { return table.data ? &table : nullptr; }

// 5-bit value of a typed code letter, or -1 for a character that is no code letter.
int packedValue(char letter) {
    int bucket = codeBucket(letter);
    return bucket < 0 ? -1 : bucket + 1;
}

void scanPackedBucket(const CodeTable* table, const char* code, size_t length, ListWriter& completions,
                      ListWriter& exact, int& state) {
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
    int v2 = length > 1 ? packedValue(code[1]) : 0;
    int v3 = length > 2 ? packedValue(code[2]) : 0;
    int v4 = length > 3 ? packedValue(code[3]) : 0;
    if (v2 < 0 || v3 < 0 || v4 < 0) return;  // a letter no record can hold
    static constexpr unsigned kMaskP[] = {0, 0, 0x1F, 0x1F, 0xFF};
    static constexpr unsigned kMaskQ[] = {0, 0, 0, 0x1F, 0xDF};
    const unsigned maskP = kMaskP[length], maskQ = kMaskQ[length];
    const unsigned wantP = static_cast<unsigned>(v2 | ((v4 >> 2) << 5));
    const unsigned wantQ = static_cast<unsigned>(v3 | ((v4 & 3) << 6));

    // Every record is bounds-checked against the bucket's end (itself within the table)
    // once, before any of its bytes is read.
    const unsigned char* data = table->data;
    uint32_t position = static_cast<uint32_t>(start);
    const uint32_t bucketEnd = static_cast<uint32_t>(end);
    while (bucketEnd - position >= 4) {
        const unsigned char* record = data + position;
        unsigned p = record[0], q = record[1];
        bool phrase = q & 0x20;
        size_t characters = 1;
        if (phrase) {
            if (bucketEnd - position < 6) break;
            // Gathers the four length bits (bit 7 of bytes 2-5, worth 8, 4, 2, 1) in one multiply.
            uint32_t word = record[2] | (record[3] << 8) | (record[4] << 16) | (uint32_t{record[5]} << 24);
            characters = ((((word >> 7) & 0x01010101u) * 0x08040201u) >> 24) & 0xF;
            // The format needs two characters at least: a shorter phrase is passed over as
            // its first six bytes, never read with a negative length.
            if (characters < 2) {
                position += 6;
                continue;
            }
            if (2 + 2 * characters > bucketEnd - position) break;
        }
        uint32_t recordStart = position;
        position += static_cast<uint32_t>(2 + 2 * characters);
        if ((p & maskP) != wantP || (q & maskQ) != wantQ) continue;

        char hint;
        switch (length) {
        case 1: hint = packedLetter(p & 0x1F); break;
        case 2: hint = packedLetter(q & 0x1F); break;
        case 3: hint = packedLetter(((p >> 5) << 2) | (q >> 6)); break;
        default: hint = '\0'; break;
        }
        unsigned char text[30];
        cursor = readBytes(tableAt(table, recordStart + 2), text, static_cast<uint32_t>(2 * characters));
        if (cursor.failed) break;
        for (size_t i = 0; i < 2 * characters; ++i) text[i] |= 0x80;
        std::string_view entry(reinterpret_cast<const char*>(text), 2 * characters);

        if (hint != '\0') {
            char letter[2] = {hint, '\0'};
            completions.append(" ", letter, entry);
        } else if (!(state == 2 && !phrase && entry == kNiu)) {
            appendExact(exact, entry, state);
        }
    }
}

// Runs the user-phrase lookup into scratch lists and carries them over.
void appendUserPhrases(const char* code, ListWriter& completions, ListWriter& exact, int& state) {
    char userCompletions[USER_COMPLETION_LIST_SIZE] = "";
    char userExact[USER_EXACT_LIST_SIZE] = "";
    lookupUserPhrases(code, userCompletions, userExact, &state);
    completions.append(userCompletions);
    exact.append(userExact);
}

}  // namespace

const CodeTable* currentCodeTable() {
    if (pinyinPhraseRequest) return loaded(tablePYCZ);
    if (wubiMode && !pinyinMode) return loaded(tableWBMB);
    if (pinyinMode) return wubiMode ? nullptr : loaded(tablePYMB);
    if (phraseLibraryMode && gbkLookup) return nullptr;
    if (phoneticEdition == 1) {
        if (gbkLookup) return loaded(tableYGBK);
        return loaded(phraseLibraryMode ? tableYCZMB : tableMB1);
    }
    if (gbkLookup) return loaded(tableXGBK);
    return loaded(phraseLibraryMode ? tableXCZMB : tableMB4);
}

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

int releaseCodeTable() { return 1; }

int codeBucket(char letter) {
    if (letter >= 'a' && letter <= 'z') return letter - 'a';
    if (letter == ';') return 26;
    if (letter == '/') return 27;
    return -1;
}

int lookupPacked(const char* code, char* completionList, char* exactList) {
    char typed[8];
    copyText(typed, sizeof typed, code);
    size_t length = std::strlen(typed);
    ListWriter completions(completionList, COMPLETION_LIST_SIZE);
    ListWriter exact(exactList, EXACT_LIST_SIZE);
    int state = 0;
    const CodeTable* table = currentCodeTable();
    if (table && length > 0) {
        scanPackedBucket(table, typed, length, completions, exact, state);
        releaseCodeTable();
    }
    if (tablesMissing == 0) appendUserPhrases(typed, completions, exact, state);
    return static_cast<int>(completions.length / 2);
}

int lookupGbk(const char* code, char* completionList, char* exactList) {
    char typed[8];
    copyText(typed, sizeof typed, code);
    size_t length = std::strlen(typed);
    ListWriter completions(completionList, COMPLETION_LIST_SIZE);
    ListWriter exact(exactList, EXACT_LIST_SIZE);
    const CodeTable* table = currentCodeTable();
    int bucket = codeBucket(typed[0]);
    if (!table || bucket < 0) return static_cast<int>(completions.length / 2);

    TableCursor cursor = tableAt(table, 0);
    uint32_t counts[TABLE_BUCKETS + 1];
    for (uint32_t& count : counts) count = readU32(cursor);
    uint64_t start = TABLE_HEADER_SIZE;
    for (int k = 0; k < bucket; ++k) start += FIXED_RECORD_SIZE * uint64_t{counts[k]};
    if (cursor.failed || start > table->size) return static_cast<int>(completions.length / 2);

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
        if (recordCode == std::string_view(typed, length)) {
            ++exactCount;
            if (exactCount == 1) exact.append(character);
            else if (exactCount <= kGbkExactMax) exact.append(" ", kGbkLabels[exactCount - 2], character);
        } else if (length < recordLength && recordCode.substr(0, length) == std::string_view(typed, length) &&
                   codeBucket(static_cast<char>(record[length])) >= 0) {
            char letter[2] = {static_cast<char>(record[length]), '\0'};
            completions.append(" ", letter, character);
        }
    }
    releaseCodeTable();
    return static_cast<int>(completions.length / 2);
}

int lookupUserPhrases(const char* code, char* completionList, char* exactList, int* exactState) {
    FILE* file = std::fopen(userPhraseFile, "r");
    if (!file) return 0;
    ListWriter completions(completionList, USER_COMPLETION_LIST_SIZE);
    ListWriter exact(exactList, USER_EXACT_LIST_SIZE);
    std::string_view typed(code, strnlen(code, 7));
    int state = *exactState;
    UserPhraseLine line;
    // A file of many matching phrases fills no more than a couple of candidate pages.
    while (completions.length <= 199 && readUserPhraseLine(file, line)) {
        char lineCode[5];
        size_t codeLength = userPhraseCode(line, lineCode, 4, false);
        std::string_view phrase = userPhraseText(line);
        if (phrase.empty()) continue;
        std::string_view lineCodeView(lineCode, codeLength);
        if (lineCodeView == typed) {
            appendExact(exact, phrase, state);
        } else if (typed.size() < codeLength && lineCodeView.substr(0, typed.size()) == typed) {
            char letter[2] = {lineCode[typed.size()], '\0'};
            completions.append(" ", letter, phrase);
        }
    }
    std::fclose(file);
    *exactState = state;
    return 0;
}

int findUserPhrasesExact(const char* code, char* output, size_t outputSize) {
    FILE* file = std::fopen(userPhraseFile, "r");
    if (!file) return 0;
    ListWriter found(output, outputSize);
    size_t maxLetters = pinyinMode ? 8 : 4;
    std::string_view wanted(code, strnlen(code, 64));
    UserPhraseLine line;
    while (readUserPhraseLine(file, line)) {
        char lineCode[9];
        size_t codeLength = userPhraseCode(line, lineCode, maxLetters, true);
        std::string_view phrase = userPhraseText(line);
        if (!phrase.empty() && std::string_view(lineCode, codeLength) == wanted) found.append(phrase, " ");
    }
    std::fclose(file);
    return 0;
}
