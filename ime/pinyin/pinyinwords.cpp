// The search's words read in place. Opening checks the header, the counts and that each
// array lies whole inside the file, and reads nothing else, so that it costs the first key
// no pass over the words. What the arrays hold is not trusted: an entry whose syllables,
// count or text fall outside their bounds is no word, and the initials index is cut to
// the entries, so a damaged file gives wrong words, never a read outside.
#include "pinyin/pinyinwords.h"

#include "core/engine.h"
#include "core/userfile.h"
#include "pinyin/pinyinwordsformat.h"

#include "pinyin/mappeddata.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

static_assert(sizeof(PinyinWord::syllables) / sizeof(uint16_t) == PINYIN_WORDS_PIECES_MAX);

struct PinyinWords {
    uint32_t syllables, words, textSize, phraseTableSize;
    uint8_t stamp[PINYIN_WORDS_STAMP_BYTES];
    const char* names;
    const uint8_t *entries, *byInitials;
    const char* text;
    MappedData mapped;  // set when it maps a file of its own
};

namespace {

PinyinWordEntry loadEntry(const PinyinWords& w, uint32_t at) {
    PinyinWordEntry entry;
    std::memcpy(&entry, w.entries + sizeof entry * size_t(at), sizeof entry);
    return entry;
}

std::string_view syllableName(const PinyinWords& w, uint32_t id) {
    const char* name = w.names + PINYIN_WORDS_SYLLABLE_BYTES * size_t(id);
    return std::string_view(name, strnlen(name, PINYIN_WORDS_SYLLABLE_BYTES));
}

// Orders an entry against a key of syllables (count first, as the entries are sorted).
int compareSyllables(const PinyinWordEntry& e, const uint16_t* syllables, int count) {
    if (e.count != count) return e.count < count ? -1 : 1;
    for (int i = 0; i < count; ++i)
        if (e.syllables[i] != syllables[i]) return e.syllables[i] < syllables[i] ? -1 : 1;
    return 0;
}

// The first letters of an entry's syllables, as initials are compared; false when damaged.
bool entryInitials(const PinyinWords& w, const PinyinWordEntry& e, char* out) {
    if (e.count < 2 || e.count > PINYIN_WORDS_PIECES_MAX) return false;
    for (int i = 0; i < e.count; ++i) {
        if (e.syllables[i] >= w.syllables) return false;
        out[i] = w.names[PINYIN_WORDS_SYLLABLE_BYTES * size_t(e.syllables[i])];
    }
    return true;
}

int compareInitials(const PinyinWords& w, uint32_t position, std::string_view initials) {
    uint32_t at;
    std::memcpy(&at, w.byInitials + 4 * size_t(position), 4);
    char mine[PINYIN_WORDS_PIECES_MAX];
    // A damaged entry sorts first: the search stays a bisection whatever the file holds.
    if (at >= w.words) return -1;
    const PinyinWordEntry e = loadEntry(w, at);
    if (!entryInitials(w, e, mine)) return -1;
    const std::string_view own(mine, e.count);
    if (own.size() != initials.size()) return own.size() < initials.size() ? -1 : 1;
    return own.compare(initials);
}

bool fill(PinyinWords& w, const void* bytes, size_t size) {
    PinyinWordsHeader header;
    if (!bytes || size < sizeof header) return false;
    std::memcpy(&header, bytes, sizeof header);
    PinyinWordsLayout layout;
    if (std::memcmp(header.magic, PINYIN_WORDS_MAGIC, sizeof header.magic) != 0 ||
        header.version != PINYIN_WORDS_VERSION || header.headerSize != sizeof header ||
        !pinyinWordsLayout(header, layout) || header.fileSize != size || layout.end != size)
        return false;
    const uint8_t* base = static_cast<const uint8_t*>(bytes);
    w.syllables = header.syllables;
    w.words = header.words;
    w.textSize = header.textSize;
    w.phraseTableSize = header.phraseTableSize;
    std::memcpy(w.stamp, header.phraseTableStamp, sizeof w.stamp);
    w.names = reinterpret_cast<const char*>(base + layout.syllables);
    w.entries = base + layout.entries;
    w.byInitials = base + layout.byInitials;
    w.text = reinterpret_cast<const char*>(base + layout.text);
    return true;
}

struct ProcessWords {
    bool tried = false;
    const PinyinWords* words = nullptr;
};
ProcessWords processWords;

}  // namespace

const PinyinWords* openPinyinWords(const void* bytes, size_t size) {
    PinyinWords* words = new (std::nothrow) PinyinWords{};
    if (words && !fill(*words, bytes, size)) {
        delete words;
        words = nullptr;
    }
    return words;
}

const PinyinWords* openPinyinWordsFile(const char* path) {
    MappedData mapped;
    if (!mapDataFile(path, sizeof(PinyinWordsHeader), mapped)) return nullptr;
    PinyinWords* words = const_cast<PinyinWords*>(openPinyinWords(mapped.view, mapped.size));
    if (!words) {
        unmapDataFile(mapped);
        return nullptr;
    }
    words->mapped = mapped;
    return words;
}

void closePinyinWords(const PinyinWords* words) {
    if (!words) return;
    MappedData mapped = words->mapped;
    unmapDataFile(mapped);
    delete words;
}

const PinyinWords* pinyinWords() {
    if (!processWords.tried) {
        processWords.tried = true;
        char path[QX_PATH_SIZE];
        if (systemDirectoryFile(PINYIN_WORDS_FILE, path, sizeof path))
            processWords.words = openPinyinWordsFile(path);
    }
    return processWords.words;
}

void releasePinyinWords() {
    closePinyinWords(processWords.words);
    processWords = ProcessWords();
}

uint32_t pinyinWordsSyllableCount(const PinyinWords* words) { return words ? words->syllables : 0; }

std::string_view pinyinWordsSyllable(const PinyinWords* words, uint32_t id) {
    if (!words || id >= words->syllables) return {};
    return syllableName(*words, id);
}

int pinyinWordsSyllableId(const PinyinWords* words, std::string_view name) {
    if (!words || name.empty()) return -1;
    uint32_t begin = 0, end = words->syllables;
    while (begin < end) {
        const uint32_t middle = begin + (end - begin) / 2;
        const int order = syllableName(*words, middle).compare(name);
        if (order == 0) return static_cast<int>(middle);
        if (order < 0)
            begin = middle + 1;
        else
            end = middle;
    }
    return -1;
}

bool pinyinWordsFitTable(const PinyinWords* words, const unsigned char* table, uint32_t size) {
    return words && table && size == words->phraseTableSize && size >= PINYIN_WORDS_STAMP_BYTES &&
           std::memcmp(table, words->stamp, PINYIN_WORDS_STAMP_BYTES) == 0;
}

void pinyinWordsExact(const PinyinWords* words, const uint16_t* syllables, int count, uint32_t& begin,
                      uint32_t& end) {
    begin = end = 0;
    if (!words || count < 2 || count > PINYIN_WORDS_PIECES_MAX) return;
    const PinyinWords& w = *words;
    uint32_t low = 0, high = w.words;
    while (low < high) {  // the first entry not below the key
        const uint32_t middle = low + (high - low) / 2;
        if (compareSyllables(loadEntry(w, middle), syllables, count) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    begin = low;
    high = w.words;
    while (low < high) {  // the first entry above it
        const uint32_t middle = low + (high - low) / 2;
        if (compareSyllables(loadEntry(w, middle), syllables, count) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    end = low;
}

void pinyinWordsInitials(const PinyinWords* words, std::string_view initials, uint32_t& begin,
                         uint32_t& end) {
    begin = end = 0;
    if (!words || initials.size() < 2 || initials.size() > PINYIN_WORDS_PIECES_MAX) return;
    const PinyinWords& w = *words;
    uint32_t low = 0, high = w.words;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (compareInitials(w, middle, initials) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    begin = low;
    high = w.words;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (compareInitials(w, middle, initials) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    end = low;
}

bool pinyinWordsEntry(const PinyinWords* words, uint32_t at, PinyinWord& word) {
    if (!words || at >= words->words) return false;
    const PinyinWords& w = *words;
    const PinyinWordEntry e = loadEntry(w, at);
    if (e.count < 2 || e.count > PINYIN_WORDS_PIECES_MAX) return false;
    const uint32_t bytes = 2u * e.count;
    if (e.text > w.textSize || w.textSize - e.text < bytes) return false;
    for (int i = 0; i < e.count; ++i)
        if (e.syllables[i] >= w.syllables) return false;
    word.text = std::string_view(w.text + e.text, bytes);
    word.weight = static_cast<float>(e.weight) / 1000.0f;
    word.count = e.count;
    std::memcpy(word.syllables, e.syllables, sizeof word.syllables);
    word.fromTable = e.source == PinyinWordFromTable;
    return true;
}

bool pinyinWordsByInitials(const PinyinWords* words, uint32_t at, PinyinWord& word) {
    if (!words || at >= words->words) return false;
    uint32_t entry;
    std::memcpy(&entry, words->byInitials + 4 * size_t(at), 4);
    return pinyinWordsEntry(words, entry, word);
}
