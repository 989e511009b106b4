// Code-table lookups. Tables are used in place from the data libraries' resources and
// every read goes through a bounds-checked cursor, so a damaged table can shorten a
// lookup but never make it read outside the table or write past a list.
#include "shapecode/codetable.h"

#include "phrases/userphrases.h"
#include "core/lookuplist.h"
#include "shapecode/packedrecord.h"
#include "shapecode/tableindex.h"

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

// Matches records of one bucket against the typed code and lists those that match.
// Completions are written straight into the list (a one-letter code lists a whole
// bucket), under the same rule as ListWriter::append: an entry that does not fit closes
// the list, and nothing more is listed in it.
class RecordScan {
public:
    RecordScan(const CodeTable* table, Lookup& lookup, int& state)
        : data_(table->data), lookup_(lookup), state_(state), length_(lookup.length),
          out_(lookup.completions.text), room_(lookup.completions.size), used_(lookup.completions.length),
          closed_(lookup.completions.closed) {
        // The typed letters after the first, as the bits they take in P and Q: a record
        // matches when its code bytes agree under the masks, decided before its text is
        // touched.
        const char* code = lookup.typed;
        unsigned v2 = length_ > 1 ? packed::letterValue(code[1]) : 0;
        unsigned v3 = length_ > 2 ? packed::letterValue(code[2]) : 0;
        unsigned v4 = length_ > 3 ? packed::letterValue(code[3]) : 0;
        static constexpr unsigned kMaskP[] = {0, 0, 0x1F, 0x1F, 0xFF};
        static constexpr unsigned kMaskQ[] = {0, 0, 0, 0x1F, 0xFF & ~packed::PHRASE_BIT};
        maskP_ = kMaskP[length_];
        maskQ_ = kMaskQ[length_];
        wantP_ = packed::codeByteP(v2, v4);
        wantQ_ = packed::codeByteQ(v3, v4, false);
    }
    ~RecordScan() {
        lookup_.completions.length = used_;
        lookup_.completions.closed = closed_;
        if (used_ < room_) out_[used_] = '\0';
    }
    bool closed() const { return closed_; }

    // Visits the record at position, which lies before bucketEnd (itself within the
    // table): every record is bounds-checked once, before any of its bytes is read, and
    // its text is then read in place. Returns where the next record starts, or 0 where
    // the walk ends (a record cut short by the bucket's end).
    uint32_t visit(uint32_t position, uint32_t bucketEnd) {
        const unsigned char* record = data_ + position;
        const uint8_t p = record[0], q = record[1];
        const bool phrase = packed::isPhrase(q);
        unsigned characters = 1;
        if (phrase) {
            if (bucketEnd - position < packed::PHRASE_HEADER_SIZE) return 0;
            // Gathers the four length bits (bit 7 of bytes 2-5, worth 8, 4, 2, 1) in one
            // multiply: packed::phraseLength, on the hot path.
            uint32_t word = record[2] | (record[3] << 8) | (record[4] << 16) | (uint32_t{record[5]} << 24);
            characters = ((((word >> 7) & 0x01010101u) * 0x08040201u) >> 24) & 0xF;
            // The format needs two characters at least: a shorter phrase is passed over as
            // its first six bytes, never read with a negative length.
            if (characters < packed::PHRASE_MIN) return position + packed::PHRASE_HEADER_SIZE;
            if (packed::recordSize(characters) > bucketEnd - position) return 0;
        }
        const uint32_t next = position + packed::recordSize(characters);
        if ((p & maskP_) != wantP_ || (q & maskQ_) != wantQ_) return next;

        char hint;
        switch (length_) {
        case 1: hint = packed::letterOf(packed::secondLetter(p, q)); break;
        case 2: hint = packed::letterOf(packed::thirdLetter(p, q)); break;
        case 3: hint = packed::letterOf(packed::fourthLetter(p, q)); break;
        default: hint = '\0'; break;
        }
        const size_t textBytes = 2 * characters;
        if (hint != '\0') {
            if (closed_) return next;  // it could not be listed
            if (used_ + 2 + textBytes + 1 > room_) {
                closed_ = true;
                return next;
            }
            char* entry = out_ + used_;
            entry[0] = ' ';
            entry[1] = hint;
            for (size_t i = 0; i < textBytes; ++i) entry[2 + i] = static_cast<char>(record[2 + i] | 0x80);
            used_ += 2 + textBytes;
            return next;
        }
        unsigned char text[2 * packed::PHRASE_MAX];
        for (size_t i = 0; i < textBytes; ++i) text[i] = record[2 + i] | 0x80;
        std::string_view entry(reinterpret_cast<const char*>(text), textBytes);
        if (!(state_ == 2 && !phrase && entry == kNiu)) appendExact(lookup_.exact, entry, state_);
        return next;
    }

private:
    const unsigned char* data_;
    Lookup& lookup_;
    int& state_;
    const size_t length_;
    char* const out_;
    const size_t room_;
    size_t used_;
    bool closed_;
    unsigned maskP_, maskQ_, wantP_, wantQ_;
};

// Walks the bucket's records from start to bucketEnd. With stopAt, the walk ends at
// stopAt once the completion list is closed: nothing after it could still be listed.
void walkBucket(RecordScan& scan, uint32_t position, uint32_t bucketEnd, uint32_t stopAt) {
    while (bucketEnd - position >= packed::CHARACTER_RECORD_SIZE) {
        if (position >= stopAt && scan.closed()) break;
        position = scan.visit(position, bucketEnd);
        if (position == 0) break;
    }
}

// Visits the records of one second-letter group of the index, in table order.
void visitGroup(RecordScan& scan, const PackedIndex& index, unsigned group, uint32_t bucketStart,
                uint32_t bucketEnd) {
    const uint8_t* at = index.deltas.data() + index.first[group];
    const uint8_t* const end = index.deltas.data() + index.first[group + 1];
    uint64_t position = bucketStart;
    while (at < end) {
        uint64_t delta = 0;
        for (int shift = 0; at < end && shift < 35; shift += 7) {
            const uint8_t byte = *at++;
            delta |= uint64_t{byte & 0x7Fu} << shift;
            if (!(byte & 0x80)) break;
        }
        position += 2 * delta;
        if (position >= bucketEnd || bucketEnd - position < packed::CHARACTER_RECORD_SIZE) return;
        if (scan.visit(static_cast<uint32_t>(position), bucketEnd) == 0) return;
    }
}

// The table part of a one-letter lookup into empty lists, kept, and given back: the same
// bytes, terminators, closed flags and label state the walk left.
void keepLists(const Lookup& lookup, int state, FirstLetterLists& kept) {
    kept.completions.assign(lookup.completions.text, lookup.completions.length);
    kept.completionsClosed = lookup.completions.closed;
    kept.exact.assign(lookup.exact.text, lookup.exact.length);
    kept.exactClosed = lookup.exact.closed;
    kept.state = state;
    kept.kept = true;
}

void copyKeptLists(const FirstLetterLists& kept, Lookup& lookup, int& state) {
    // A list is never filled to its last byte (an entry needs room for the terminator),
    // so each copy with its terminator fits.
    std::memcpy(lookup.completions.text, kept.completions.c_str(), kept.completions.size() + 1);
    lookup.completions.length = kept.completions.size();
    lookup.completions.closed = kept.completionsClosed;
    std::memcpy(lookup.exact.text, kept.exact.c_str(), kept.exact.size() + 1);
    lookup.exact.length = kept.exact.size();
    lookup.exact.closed = kept.exactClosed;
    state = kept.state;
}

void scanPackedBucket(const CodeTable* table, Lookup& lookup, int& state) {
    const size_t length = lookup.length;
    const char* code = lookup.typed;
    int bucket = codeBucket(code[0]);
    if (bucket < 0 || length > 4) return;
    for (size_t i = 1; i < length; ++i)
        if (packed::bucketOf(code[i]) < 0) return;  // a letter no record can hold
    TableCursor cursor = tableAt(table, 0);
    uint32_t offsets[TABLE_BUCKETS + 1];
    for (uint32_t& offset : offsets) offset = readU32(cursor);
    if (cursor.failed) return;
    uint64_t start = TABLE_HEADER_SIZE + uint64_t{offsets[bucket]};
    uint64_t end = TABLE_HEADER_SIZE + uint64_t{offsets[bucket + 1]};
    if (end > table->size) end = table->size;
    if (start >= end) return;
    const uint32_t bucketStart = static_cast<uint32_t>(start), bucketEnd = static_cast<uint32_t>(end);

    const PackedIndex* index = packedIndexOf(table);
    if (!index || index->first[TABLE_BUCKETS * INDEX_SECOND_LETTERS] != index->deltas.size()) {
        RecordScan scan(table, lookup, state);
        walkBucket(scan, bucketStart, bucketEnd, bucketEnd);
    } else if (length == 1) {
        // Lists kept from an earlier walk serve a lookup that starts as that walk did.
        FirstLetterLists& kept = index->firstLetter[bucket];
        const bool fresh = lookup.completions.length == 0 && !lookup.completions.closed &&
                           lookup.exact.length == 0 && !lookup.exact.closed && state == 0;
        if (fresh && kept.kept) {
            copyKeptLists(kept, lookup, state);
            return;
        }
        {
            // The whole bucket, but its exact entries (no second letter) all lie before
            // exactEnd: past it, a full completion list ends the walk.
            RecordScan scan(table, lookup, state);
            walkBucket(scan, bucketStart, bucketEnd, index->exactEnd[bucket]);
        }
        if (fresh) keepLists(lookup, state, kept);
    } else {
        RecordScan scan(table, lookup, state);
        const unsigned group = static_cast<unsigned>(bucket) * INDEX_SECOND_LETTERS + packed::letterValue(code[1]);
        visitGroup(scan, *index, group, bucketStart, bucketEnd);
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
