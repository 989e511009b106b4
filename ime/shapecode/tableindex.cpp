// The second-letter index of the packed tables.
#include "shapecode/tableindex.h"

#include "shapecode/packedrecord.h"

#include <cstring>
#include <iterator>

namespace {

// One index for each packed table slot; a reload overwrites them.
PackedIndex indexStore[5];

// A table slot whose index is to be built on its first lookup, and the table it held then.
struct Pending {
    CodeTable* slot = nullptr;
    const unsigned char* data = nullptr;
    uint32_t size = 0;
};
Pending pending[5];

uint32_t readU32(const unsigned char* b) {
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void appendNumber(std::vector<uint8_t>& out, uint32_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<uint8_t>(value));
}

}  // namespace

bool buildPackedIndex(const CodeTable& table, PackedIndex& index) {
    std::memset(index.first, 0, sizeof index.first);
    std::memset(index.exactEnd, 0, sizeof index.exactEnd);
    index.deltas.clear();
    for (FirstLetterLists& lists : index.firstLetter) lists = FirstLetterLists{};
    if (!table.data || table.size < TABLE_HEADER_SIZE) return false;
    const size_t budget = table.size / 4;
    uint32_t offsets[TABLE_BUCKETS + 1];
    for (int k = 0; k <= TABLE_BUCKETS; ++k) offsets[k] = readU32(table.data + 4 * k);
    std::vector<uint8_t> bySecond[INDEX_SECOND_LETTERS];
    for (int bucket = 0; bucket < TABLE_BUCKETS; ++bucket) {
        for (auto& group : bySecond) group.clear();
        uint32_t last[INDEX_SECOND_LETTERS];
        uint64_t start = TABLE_HEADER_SIZE + uint64_t{offsets[bucket]};
        uint64_t end = TABLE_HEADER_SIZE + uint64_t{offsets[bucket + 1]};
        if (end > table.size) end = table.size;
        uint32_t position = start < end ? static_cast<uint32_t>(start) : 0;
        const uint32_t bucketEnd = start < end ? static_cast<uint32_t>(end) : 0;
        for (uint32_t& at : last) at = position;
        // The same walk as the lookup's, stopping where it stops.
        while (bucketEnd - position >= packed::CHARACTER_RECORD_SIZE) {
            const unsigned char* record = table.data + position;
            unsigned characters = 1;
            if (packed::isPhrase(record[1])) {
                if (bucketEnd - position < packed::PHRASE_HEADER_SIZE) break;
                characters = packed::phraseLength(record + 2);
                if (characters < packed::PHRASE_MIN) {
                    position += packed::PHRASE_HEADER_SIZE;
                    continue;
                }
                if (packed::recordSize(characters) > bucketEnd - position) break;
            }
            const uint32_t recordStart = position;
            position += packed::recordSize(characters);
            const unsigned second = packed::secondLetter(record[0], record[1]);
            if (second == 0) index.exactEnd[bucket] = position;
            if (second >= INDEX_SECOND_LETTERS) continue;  // no typed code of two letters reaches it
            // Every step of the walk is a whole number of two-byte units.
            appendNumber(bySecond[second], (recordStart - last[second]) / 2);
            last[second] = recordStart;
        }
        for (int second = 0; second < INDEX_SECOND_LETTERS; ++second) {
            index.first[bucket * INDEX_SECOND_LETTERS + second] = static_cast<uint32_t>(index.deltas.size());
            index.deltas.insert(index.deltas.end(), bySecond[second].begin(), bySecond[second].end());
        }
        if (packedIndexSize(index) > budget) {
            index.deltas.clear();
            return false;
        }
    }
    index.first[TABLE_BUCKETS * INDEX_SECOND_LETTERS] = static_cast<uint32_t>(index.deltas.size());
    index.deltas.shrink_to_fit();
    return true;
}

void indexCodeTables(CodeTables& tables) {
    indexCodeTablesWhenUsed(tables);
    for (const Pending& table : pending)
        if (table.slot) packedIndexOf(table.slot);
}

void indexCodeTablesWhenUsed(CodeTables& tables) {
    CodeTable* packedTables[] = {&tables.MB1, &tables.MB4, &tables.XCZMB, &tables.YCZMB, &tables.WBMB};
    static_assert(std::size(packedTables) == std::size(indexStore));
    for (size_t i = 0; i < std::size(packedTables); ++i) {
        CodeTable& table = *packedTables[i];
        table.index = nullptr;
        pending[i] = table.data ? Pending{&table, table.data, table.size} : Pending{};
    }
}

const PackedIndex* packedIndexOf(const CodeTable* table) {
    if (table->index) return table->index;
    for (size_t i = 0; i < std::size(pending); ++i) {
        Pending& waiting = pending[i];
        // Only the slot itself, still holding the table it was given: a slot emptied or
        // loaded again since has nothing waiting.
        if (waiting.slot != table || waiting.data != table->data || waiting.size != table->size) continue;
        waiting.slot->index = buildPackedIndex(*table, indexStore[i]) ? &indexStore[i] : nullptr;
        waiting = Pending{};
        return table->index;
    }
    return nullptr;
}
