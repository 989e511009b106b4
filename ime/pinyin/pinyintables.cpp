// Pinyin table lookups: the written scans and the indexes that answer the same.
//
// A key in pinyin mode looks syllables and phrases up several times. Walking "PYMB" from
// its start and a whole letter of "PYCZ" (up to a few hundred kilobytes) on each of them
// costs more than a key may, so each table gets an index once, built by the same walks the
// scans make: it only skips records that cannot match, and so returns exactly what the
// scan returns, for any bytes the table holds.
#include "pinyin/pinyintables.h"

#include "core/lookuplist.h"
#include "pinyin/sentencesearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

namespace {

bool isLetter(char c) { return c >= 'a' && c <= 'z'; }

bool isGbkPair(unsigned char lead, unsigned char trail) {
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

std::string_view bounded(const char* s, size_t max) { return {s, strnlen(s, max)}; }

// Whether a table syllable matches the typed one: equal, or longer and beginning with it.
bool syllableMatches(std::string_view tableSyllable, std::string_view typed) {
    return tableSyllable.size() >= typed.size() && tableSyllable.substr(0, typed.size()) == typed;
}

// ---------------------------------------------------------------------------------------
// "PYMB": a walk over units. The search for a letter's first header accepts only "11"
// headers; inside the letter's group any unit beginning with '1' is a header, and the
// group ends at a header of another letter, a unit beginning with '3' or the table's end.
// ---------------------------------------------------------------------------------------

// Offset of the first "11" header whose syllable begins with letter; false when none.
bool findSyllableGroup(const CodeTable* table, char letter, uint32_t& offset) {
    TableCursor cursor = tableAt(table, 0);
    while (true) {
        unsigned char unit[2];
        cursor = readBytes(cursor, unit, 2);
        if (cursor.failed || unit[0] == '3') return false;
        if (unit[0] == '1' && unit[1] == '1') {
            char syllable[PYMB_SYLLABLE_SIZE];
            cursor = readBytes(cursor, syllable, PYMB_SYLLABLE_SIZE);
            if (cursor.failed) return false;
            if (syllable[0] == letter) {
                offset = cursor.offset - 2 - PYMB_SYLLABLE_SIZE;
                return true;
            }
        }
    }
}

// Walks the group that starts at offset: header(name) for each header of the letter,
// character(unit) for each GBK character unit after a header. Either may return false
// to end the walk.
template <typename Header, typename Character>
void walkSyllableGroup(const CodeTable* table, uint32_t offset, char letter, Header header, Character character) {
    TableCursor cursor = tableAt(table, offset);
    while (true) {
        unsigned char unit[2];
        cursor = readBytes(cursor, unit, 2);
        if (cursor.failed || unit[0] == '3') return;
        if (unit[0] == '1') {
            char syllable[PYMB_SYLLABLE_SIZE];
            cursor = readBytes(cursor, syllable, PYMB_SYLLABLE_SIZE);
            if (cursor.failed || syllable[0] != letter) return;
            std::string_view name(syllable, PYMB_SYLLABLE_SIZE);
            name = name.substr(0, std::min(name.find(' '), name.size()));
            if (!header(name)) return;
        } else if (isGbkPair(unit[0], unit[1])) {
            if (!character(reinterpret_cast<const char*>(unit))) return;
        }
    }
}

// ---------------------------------------------------------------------------------------
// "PYCZ": records of a letter run from the letter's skip while their pinyin begins with
// the letter.
// ---------------------------------------------------------------------------------------

struct PhraseRecord {
    int count = 0;
    std::array<std::string_view, PINYIN_SYLLABLES_MAX> syllables;
    std::string_view phrase;  // empty when the phrase field is not whole GBK characters
};

// A field's content: up to its first double space.
std::string_view fieldContent(const char* field) {
    std::string_view f(field, PYCZ_FIELD_SIZE);
    size_t cut = f.find("  ");
    return f.substr(0, std::min(cut, f.size()));
}

PhraseRecord parseRecord(const char* record) {
    PhraseRecord parsed;
    std::string_view pinyin = fieldContent(record);
    size_t start = 0;
    for (size_t i = 0; i <= pinyin.size() && parsed.count < PINYIN_SYLLABLES_MAX; ++i) {
        if (i == pinyin.size() || pinyin[i] == ' ') {
            if (i > start) parsed.syllables[parsed.count++] = pinyin.substr(start, i - start);
            start = i + 1;
        }
    }
    std::string_view phrase = fieldContent(record + PYCZ_FIELD_SIZE);
    if (!phrase.empty() && phrase.back() == ' ') phrase.remove_suffix(1);
    bool whole = !phrase.empty() && phrase.size() % 2 == 0;
    for (size_t i = 0; whole && i < phrase.size(); i += 2)
        whole = isGbkPair(static_cast<unsigned char>(phrase[i]), static_cast<unsigned char>(phrase[i + 1]));
    if (whole) parsed.phrase = phrase;
    return parsed;
}

// A record qualifies when it has from one to as many syllables as are left unconverted
// and each typed syllable fits the record's syllable in its place: equals it when typed
// whole, begins it otherwise. ("ni" must not take 年 of nian: a prefix is an
// abbreviation only when it is not a syllable itself.)
bool qualifies(const PhraseRecord& record, const TypedSyllables& typed) {
    if (record.phrase.empty() || record.count < 1 || record.count > typed.count - typed.first) return false;
    for (int j = 0; j < record.count; ++j) {
        const int i = typed.first + j;
        const std::string_view syllable = bounded(typed.list[i], 31);
        const bool whole = i < 32 && (typed.whole >> i & 1u);
        if (whole ? record.syllables[j] != syllable : !syllableMatches(record.syllables[j], syllable)) return false;
    }
    return true;
}

// The offset and length of a letter's run of records; false when it has none.
bool phraseRun(const CodeTable* table, char letter, uint64_t& start) {
    TableCursor cursor = tableAt(table, 0);
    unsigned char counts[PYCZ_HEADER_SIZE];
    cursor = readBytes(cursor, counts, PYCZ_HEADER_SIZE);
    if (cursor.failed) return false;
    // Counted in 64 bits: 26 counts of up to 2^32 records of 60 bytes never wrap.
    start = PYCZ_HEADER_SIZE;
    for (int k = 0; k < letter - 'a'; ++k) {
        const unsigned char* c = counts + 4 * k;
        uint64_t count = c[0] | (c[1] << 8) | (c[2] << 16) | (uint64_t{c[3]} << 24);
        start += PYCZ_RECORD_SIZE * count;
    }
    return start <= table->size;
}

// The gathered phrases, appended longest first: 2 × (n − u) bytes down to 4.
struct Gathered {
    std::array<std::string_view, 64> phrases;
    int count = 0;
};

void appendByLength(const Gathered& gathered, const TypedSyllables& typed, char* out, size_t outSize) {
    ListWriter list(out, outSize);
    for (size_t length = 2 * static_cast<size_t>(typed.count - typed.first); length >= 4; length -= 2)
        for (int i = 0; i < gathered.count; ++i)
            if (gathered.phrases[i].size() == length) list.append(gathered.phrases[i], " ");
}

int gatherLimit(int limit) { return std::clamp(limit, 0, 64); }

bool phraseLookupApplies(const CodeTable* table, const TypedSyllables& typed) {
    if (!table || !table->data || typed.first < 0 || typed.count > PINYIN_SYLLABLES_MAX) return false;
    // Phrases are gathered only for two unconverted syllables or more.
    if (typed.count - typed.first < 2) return false;
    return isLetter(typed.list[typed.first][0]);
}

// ---------------------------------------------------------------------------------------
// Indexes.
// ---------------------------------------------------------------------------------------

struct SyllableHeader {
    std::string_view name;  // into the table
    uint32_t firstChar;     // into SyllableIndex::chars, in units
    uint32_t charCount;
};

struct SyllableIndex {
    const unsigned char* data = nullptr;
    uint32_t size = 0;
    std::array<std::vector<SyllableHeader>, 26> groups;
    std::vector<const char*> chars;  // units, into the table
};

// Records of one letter, by their first syllable, and among those of two syllables or
// more by the second; each list in table order (record ordinals within the letter's run).
struct FirstSyllable {
    std::vector<uint32_t> alone;
    std::map<std::string_view, std::vector<uint32_t>> bySecond;
};

struct PhraseIndex {
    const unsigned char* data = nullptr;
    uint32_t size = 0;
    std::array<uint64_t, 26> runStart{};
    std::array<std::map<std::string_view, FirstSyllable>, 26> letters;
};

// Ordinal lists merged in table order.
struct ListCursor {
    const uint32_t* next;
    const uint32_t* end;
};

// The lookups' process-wide record: the two indexes, built on first use and kept while
// their tables are, and room reused from key to key. releasePinyinIndexes resets it.
struct PinyinTableState {
    std::unique_ptr<SyllableIndex> syllableIndex;
    std::unique_ptr<PhraseIndex> phraseIndex;
    std::vector<ListCursor> mergeHeap;
    char longerChars[PINYIN_LIST_SIZE];  // characters of the syllables longer than the typed one
};
PinyinTableState pinyinTables;

const SyllableIndex* syllableIndexFor(const CodeTable* table) {
    std::unique_ptr<SyllableIndex>& syllableIndex = pinyinTables.syllableIndex;
    if (syllableIndex && syllableIndex->data == table->data && syllableIndex->size == table->size)
        return syllableIndex.get();
    auto index = std::make_unique<SyllableIndex>();
    index->data = table->data;
    index->size = table->size;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        uint32_t offset;
        if (!findSyllableGroup(table, letter, offset)) continue;
        auto& group = index->groups[letter - 'a'];
        // The walk of walkSyllableGroup, recording where the names and units lie in the
        // table rather than copying them.
        TableCursor cursor = tableAt(table, offset);
        while (true) {
            unsigned char unit[2];
            const uint32_t at = cursor.offset;
            cursor = readBytes(cursor, unit, 2);
            if (cursor.failed || unit[0] == '3') break;
            if (unit[0] == '1') {
                char syllable[PYMB_SYLLABLE_SIZE];
                cursor = readBytes(cursor, syllable, PYMB_SYLLABLE_SIZE);
                if (cursor.failed || syllable[0] != letter) break;
                std::string_view name(reinterpret_cast<const char*>(table->data) + at + 2, PYMB_SYLLABLE_SIZE);
                name = name.substr(0, std::min(name.find(' '), name.size()));
                group.push_back({name, static_cast<uint32_t>(index->chars.size()), 0});
            } else if (isGbkPair(unit[0], unit[1])) {
                index->chars.push_back(reinterpret_cast<const char*>(table->data) + at);
                group.back().charCount++;
            }
        }
    }
    syllableIndex = std::move(index);
    return syllableIndex.get();
}

const PhraseIndex* phraseIndexFor(const CodeTable* table) {
    std::unique_ptr<PhraseIndex>& phraseIndex = pinyinTables.phraseIndex;
    if (phraseIndex && phraseIndex->data == table->data && phraseIndex->size == table->size)
        return phraseIndex.get();
    auto index = std::make_unique<PhraseIndex>();
    index->data = table->data;
    index->size = table->size;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        uint64_t start;
        if (!phraseRun(table, letter, start)) {
            index->runStart[letter - 'a'] = UINT64_MAX;
            continue;
        }
        index->runStart[letter - 'a'] = start;
        auto& byFirst = index->letters[letter - 'a'];
        for (uint32_t ordinal = 0;; ++ordinal) {
            const uint64_t at = start + uint64_t{PYCZ_RECORD_SIZE} * ordinal;
            if (at > table->size || table->size - at < PYCZ_RECORD_SIZE) break;
            const char* record = reinterpret_cast<const char*>(table->data) + at;
            if (record[0] != letter) break;
            PhraseRecord parsed = parseRecord(record);
            if (parsed.phrase.empty() || parsed.count < 1) continue;  // qualifies for nothing
            FirstSyllable& first = byFirst[parsed.syllables[0]];
            if (parsed.count == 1) first.alone.push_back(ordinal);
            else first.bySecond[parsed.syllables[1]].push_back(ordinal);
        }
    }
    phraseIndex = std::move(index);
    return phraseIndex.get();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Written scans.
// ---------------------------------------------------------------------------------------

void checkSyllableScan(const CodeTable* table, const char* syllable, char* out, size_t outSize) {
    std::string_view typed = bounded(syllable, 31);
    if (!table || !table->data || typed.empty() || !isLetter(typed[0])) return;
    uint32_t offset;
    if (!findSyllableGroup(table, typed[0], offset)) return;
    ListWriter list(out, outSize);
    bool matching = false;
    walkSyllableGroup(
        table, offset, typed[0],
        [&](std::string_view name) {
            matching = syllableMatches(name, typed);
            return true;
        },
        [&](const char* unit) {
            if (!matching) return true;
            list.append(std::string_view(unit, 2), " ");
            return false;
        });
}

bool wholeSyllableScan(const CodeTable* table, const char* syllable) {
    std::string_view typed = bounded(syllable, 31);
    if (!table || !table->data || typed.empty() || !isLetter(typed[0])) return false;
    uint32_t offset;
    if (!findSyllableGroup(table, typed[0], offset)) return false;
    bool found = false;
    walkSyllableGroup(
        table, offset, typed[0],
        [&](std::string_view name) {
            found = name == typed;
            return !found;
        },
        [](const char*) { return true; });
    return found;
}

void lookupSyllableCharsScan(const CodeTable* table, const char* syllable, int limit, char* out, size_t outSize) {
    std::string_view typed = bounded(syllable, 31);
    if (!table || !table->data || typed.empty() || !isLetter(typed[0])) return;
    uint32_t offset;
    if (!findSyllableGroup(table, typed[0], offset)) return;
    char* side = pinyinTables.longerChars;
    side[0] = '\0';
    ListWriter list(out, outSize), longer(side, sizeof pinyinTables.longerChars);
    int counted = 0;
    enum { other, equal, beginning } kind = other;
    walkSyllableGroup(
        table, offset, typed[0],
        [&](std::string_view name) {
            if (counted > limit) return false;
            kind = name == typed ? equal : syllableMatches(name, typed) ? beginning : other;
            return true;
        },
        [&](const char* unit) {
            if (kind == other) return true;
            (kind == equal ? list : longer).append(std::string_view(unit, 2), " ");
            ++counted;
            return true;
        });
    list.append(std::string_view(side, longer.length));
}

void lookupPhrasesScan(const CodeTable* table, const TypedSyllables& typed, int limit, char* out, size_t outSize) {
    if (!phraseLookupApplies(table, typed)) return;
    const char letter = typed.list[typed.first][0];
    uint64_t start;
    if (!phraseRun(table, letter, start)) return;
    Gathered gathered;
    const int wanted = gatherLimit(limit);
    TableCursor cursor = tableAt(table, static_cast<uint32_t>(start));
    while (gathered.count < wanted) {
        char record[PYCZ_RECORD_SIZE];
        const uint32_t at = cursor.offset;
        cursor = readBytes(cursor, record, PYCZ_RECORD_SIZE);
        if (cursor.failed || record[0] != letter) break;
        PhraseRecord parsed = parseRecord(record);
        if (!qualifies(parsed, typed)) continue;
        // The phrase is kept as it lies in the table, not in the local record.
        gathered.phrases[gathered.count++] =
            std::string_view(reinterpret_cast<const char*>(table->data) + at + PYCZ_FIELD_SIZE, parsed.phrase.size());
    }
    appendByLength(gathered, typed, out, outSize);
}

// ---------------------------------------------------------------------------------------
// Indexed lookups.
// ---------------------------------------------------------------------------------------

void checkSyllableIndexed(const CodeTable* table, const char* syllable, char* out, size_t outSize) {
    std::string_view typed = bounded(syllable, 31);
    if (!table || !table->data || typed.empty() || !isLetter(typed[0])) return;
    const SyllableIndex* index = syllableIndexFor(table);
    ListWriter list(out, outSize);
    for (const SyllableHeader& header : index->groups[typed[0] - 'a']) {
        if (header.charCount == 0 || !syllableMatches(header.name, typed)) continue;
        list.append(std::string_view(index->chars[header.firstChar], 2), " ");
        return;
    }
}

bool wholeSyllableIndexed(const CodeTable* table, const char* syllable) {
    std::string_view typed = bounded(syllable, 31);
    if (!table || !table->data || typed.empty() || !isLetter(typed[0])) return false;
    const auto& group = syllableIndexFor(table)->groups[typed[0] - 'a'];
    return std::any_of(group.begin(), group.end(), [&](const SyllableHeader& h) { return h.name == typed; });
}

void lookupSyllableCharsIndexed(const CodeTable* table, const char* syllable, int limit, char* out,
                                size_t outSize) {
    std::string_view typed = bounded(syllable, 31);
    if (!table || !table->data || typed.empty() || !isLetter(typed[0])) return;
    const SyllableIndex* index = syllableIndexFor(table);
    char* side = pinyinTables.longerChars;
    side[0] = '\0';
    ListWriter list(out, outSize), longer(side, sizeof pinyinTables.longerChars);
    int counted = 0;
    for (const SyllableHeader& header : index->groups[typed[0] - 'a']) {
        if (counted > limit) break;
        const bool equal = header.name == typed;
        if (!equal && !syllableMatches(header.name, typed)) continue;
        ListWriter& to = equal ? list : longer;
        for (uint32_t i = 0; i < header.charCount; ++i)
            to.append(std::string_view(index->chars[header.firstChar + i], 2), " ");
        counted += static_cast<int>(header.charCount);
    }
    list.append(std::string_view(side, longer.length));
}

void lookupPhrasesIndexed(const CodeTable* table, const TypedSyllables& typed, int limit, char* out,
                          size_t outSize) {
    if (!phraseLookupApplies(table, typed)) return;
    const PhraseIndex* index = phraseIndexFor(table);
    const int letter = typed.list[typed.first][0] - 'a';
    const uint64_t start = index->runStart[letter];
    if (start == UINT64_MAX) return;
    const std::string_view first = bounded(typed.list[typed.first], 31);
    const std::string_view second = bounded(typed.list[typed.first + 1], 31);

    // Every record that can qualify is in one of these lists: its first syllable begins
    // with the first typed one, and it has one syllable or its second begins with the
    // second typed one.
    std::vector<ListCursor>& mergeHeap = pinyinTables.mergeHeap;
    mergeHeap.clear();
    const auto& byFirst = index->letters[letter];
    for (auto f = byFirst.lower_bound(first); f != byFirst.end() && syllableMatches(f->first, first); ++f) {
        const FirstSyllable& entry = f->second;
        if (!entry.alone.empty()) mergeHeap.push_back({entry.alone.data(), entry.alone.data() + entry.alone.size()});
        for (auto s = entry.bySecond.lower_bound(second); s != entry.bySecond.end() && syllableMatches(s->first, second);
             ++s)
            mergeHeap.push_back({s->second.data(), s->second.data() + s->second.size()});
    }
    auto later = [](const ListCursor& a, const ListCursor& b) { return *a.next > *b.next; };
    std::make_heap(mergeHeap.begin(), mergeHeap.end(), later);

    Gathered gathered;
    const int wanted = gatherLimit(limit);
    while (gathered.count < wanted && !mergeHeap.empty()) {
        std::pop_heap(mergeHeap.begin(), mergeHeap.end(), later);
        ListCursor& top = mergeHeap.back();
        const uint32_t ordinal = *top.next++;
        if (top.next == top.end) mergeHeap.pop_back();
        else std::push_heap(mergeHeap.begin(), mergeHeap.end(), later);
        const char* record = reinterpret_cast<const char*>(table->data) + start + uint64_t{PYCZ_RECORD_SIZE} * ordinal;
        PhraseRecord parsed = parseRecord(record);
        if (!qualifies(parsed, typed)) continue;
        gathered.phrases[gathered.count++] = std::string_view(record + PYCZ_FIELD_SIZE, parsed.phrase.size());
    }
    appendByLength(gathered, typed, out, outSize);
}

void releasePinyinIndexes() {
    pinyinTables.syllableIndex.reset();
    pinyinTables.phraseIndex.reset();
    pinyinTables.mergeHeap = {};
    pinyinTables.longerChars[0] = '\0';
    releasePinyinSentence();  // its dictionary points into the tables
}

void forEachSyllableIndexed(
    const CodeTable* table,
    const std::function<void(std::string_view, const char* const*, uint32_t)>& visit) {
    if (!table || !table->data) return;
    const SyllableIndex* index = syllableIndexFor(table);
    for (const auto& group : index->groups)
        for (const SyllableHeader& header : group)
            visit(header.name, index->chars.data() + header.firstChar, header.charCount);
}

void forEachPhraseRecord(const CodeTable* table,
                         const std::function<void(const std::string_view*, int, std::string_view)>& visit) {
    if (!table || !table->data) return;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        uint64_t start;
        if (!phraseRun(table, letter, start)) continue;
        for (uint64_t at = start; at <= table->size && table->size - at >= PYCZ_RECORD_SIZE;
             at += PYCZ_RECORD_SIZE) {
            const char* record = reinterpret_cast<const char*>(table->data) + at;
            if (record[0] != letter) break;
            const PhraseRecord parsed = parseRecord(record);
            if (parsed.phrase.empty() || parsed.count < 1) continue;
            // The phrase as it lies in the table, so that views of it outlive this record.
            visit(parsed.syllables.data(), parsed.count,
                  std::string_view(record + PYCZ_FIELD_SIZE, parsed.phrase.size()));
        }
    }
}
