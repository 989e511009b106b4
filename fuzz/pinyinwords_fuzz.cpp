// Fuzzes the reader of the sentence search's words file: arbitrary bytes as the file.
// Whatever opens is then looked up by syllables and initials taken from the input, and
// every entry is read; nothing may read outside the bytes, and what is read must be whole.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target pinyinwords_fuzz
//      && build/host-fuzz/bin/pinyinwords_fuzz -max_total_time=60
// Input: the words file. A copy whose header states the input's own size is opened too,
// so that mutations which change the size still reach the arrays.
#include "pinyin/pinyinwords.h"
#include "pinyin/pinyinwordsformat.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void checkWord(const PinyinWord& w, uint32_t syllables) {
    check(w.count >= 2 && w.count <= PINYIN_WORDS_PIECES_MAX);
    check(w.text.size() == 2u * static_cast<size_t>(w.count));
    for (int i = 0; i < w.count; ++i) check(w.syllables[i] < syllables);
    volatile char sink = 0;
    for (char c : w.text) sink = static_cast<char>(sink ^ c);  // the text lies inside the bytes
}

void exercise(const std::vector<uint8_t>& bytes) {
    const PinyinWords* words = openPinyinWords(bytes.data(), bytes.size());
    if (!words) return;
    PinyinWordsHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    const uint32_t syllables = pinyinWordsSyllableCount(words);
    check(syllables == header.syllables);
    for (uint32_t id = 0; id <= syllables && id < 2000; ++id) {
        const std::string_view name = pinyinWordsSyllable(words, id);
        check(name.size() <= PINYIN_WORDS_SYLLABLE_BYTES);
        // Names of a damaged file need not be sorted: a bisection may miss, never stray.
        check(pinyinWordsSyllableId(words, name) < static_cast<int>(syllables));
    }
    PinyinWord w{};
    for (uint32_t at = 0; at < header.words + 2 && at < 20000; ++at) {
        if (pinyinWordsEntry(words, at, w)) checkWord(w, syllables);
        if (pinyinWordsByInitials(words, at, w)) checkWord(w, syllables);
    }
    // Keys from the input itself.
    for (size_t i = 0; i + 8 <= bytes.size() && i < 8192; i += 61) {
        uint16_t key[PINYIN_WORDS_PIECES_MAX];
        std::memcpy(key, &bytes[i], sizeof key);
        const int count = 1 + bytes[i] % 5;
        for (int k = 0; k < PINYIN_WORDS_PIECES_MAX; ++k)
            key[k] = syllables ? key[k] % (syllables + 1) : key[k];
        uint32_t begin, end;
        pinyinWordsExact(words, key, count, begin, end);
        check(begin <= end && end <= header.words);
        for (uint32_t at = begin; at < end && at < begin + 64; ++at)
            if (pinyinWordsEntry(words, at, w)) checkWord(w, syllables);
        const std::string_view initials(reinterpret_cast<const char*>(&bytes[i]), static_cast<size_t>(count));
        pinyinWordsInitials(words, initials, begin, end);
        check(begin <= end && end <= header.words);
        for (uint32_t at = begin; at < end && at < begin + 64; ++at)
            if (pinyinWordsByInitials(words, at, w)) checkWord(w, syllables);
    }
    const unsigned char* table = bytes.data();
    pinyinWordsFitTable(words, table, static_cast<uint32_t>(bytes.size()));
    closePinyinWords(words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A buffer of its own, exactly the input's size, so a read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    exercise(bytes);
    if (size >= sizeof(PinyinWordsHeader) && size <= 0xffffffffu) {
        const uint32_t own = uint32_t(size);
        std::memcpy(&bytes[offsetof(PinyinWordsHeader, fileSize)], &own, sizeof own);
        exercise(bytes);
    }
    return 0;
}
