// The file of the sentence search's words ("pywords.dat"): written by mkdata at build time,
// read in place by the module. It holds every word of two to four syllables the search
// offers: the phrase table's, with the weights the search gives them (so that the first key
// builds nothing), and words of the sentence model's vocabulary that the phrase table lacks,
// with their readings. Little-endian; a header, then arrays, each starting on a four-byte
// boundary, in the order of PinyinWordsLayout:
//
//   syllables   char[S][8]: syllable names, zero-padded, sorted by their bytes; an entry's
//               syllables are indexes into them, so an initial's syllables are a range
//   entries     PinyinWordEntry[W], sorted by syllable count, then syllables, then weight
//               (the heaviest first)
//   byInitials  uint32[W]: the entries sorted by syllable count, then the first letters of
//               their syllables, then weight (the heaviest first)
//   text        GBK bytes of every word, no separators
//
// A stamp of the phrase table the words were taken from (its size and its header of letter
// counts) tells whether the table's words in the file are those of the table in use.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

constexpr char PINYIN_WORDS_MAGIC[8] = {'Q', 'X', 'P', 'Y', 'W', 'D', '\x1a', '\0'};
constexpr uint32_t PINYIN_WORDS_VERSION = 1;
constexpr size_t PINYIN_WORDS_SYLLABLE_BYTES = 8;
constexpr int PINYIN_WORDS_PIECES_MAX = 4;
constexpr size_t PINYIN_WORDS_STAMP_BYTES = 104;  // the phrase table's header

enum PinyinWordSource : uint8_t { PinyinWordFromTable = 0, PinyinWordExtra = 1 };

struct PinyinWordEntry {
    uint16_t syllables[PINYIN_WORDS_PIECES_MAX];  // unused ones 0
    uint32_t text;                                // offset into the text; 2 * count bytes
    int16_t weight;                               // log10, in thousandths
    uint8_t count;                                // 2 .. PINYIN_WORDS_PIECES_MAX
    uint8_t source;                               // PinyinWordSource
};
static_assert(sizeof(PinyinWordEntry) == 16);

struct PinyinWordsHeader {
    char magic[8];
    uint32_t version;
    uint32_t headerSize;  // sizeof(PinyinWordsHeader)
    uint32_t syllables;   // S
    uint32_t words;       // W
    uint32_t textSize;
    uint32_t fileSize;         // the whole file; nothing follows the text
    uint32_t phraseTableSize;  // of the phrase table the table's words came from
    uint8_t phraseTableStamp[PINYIN_WORDS_STAMP_BYTES];
    uint32_t reserved[3];
};
static_assert(sizeof(PinyinWordsHeader) == 152);

struct PinyinWordsLayout {
    uint64_t syllables, entries, byInitials, text, end;
};

inline uint64_t pinyinWordsAlign4(uint64_t n) { return (n + 3) & ~uint64_t(3); }

// False when the counts are out of range.
inline bool pinyinWordsLayout(const PinyinWordsHeader& h, PinyinWordsLayout& l) {
    if (h.syllables > 0xffffu || h.words > 0x7fffffu || h.textSize > 0x7fffffffu) return false;
    uint64_t at = sizeof(PinyinWordsHeader);
    auto take = [&at](uint64_t& field, uint64_t bytes) {
        field = at;
        at = pinyinWordsAlign4(at + bytes);
    };
    take(l.syllables, PINYIN_WORDS_SYLLABLE_BYTES * uint64_t(h.syllables));
    take(l.entries, sizeof(PinyinWordEntry) * uint64_t(h.words));
    take(l.byInitials, 4 * uint64_t(h.words));
    take(l.text, h.textSize);
    l.end = at;
    return true;
}

// The weight the search gives a word of the phrase table (log10 scale): by its number of
// characters and its place among the table's phrases of its first letter and length.
inline float pinyinTableWordWeight(int characters, int rank) {
    static constexpr float base[] = {0, -2.9f, -2.6f, -3.2f, -3.6f};
    const float b = characters >= 1 && characters <= 4 ? base[characters] : -4.0f;
    return b - 0.8f * std::log10(static_cast<float>(rank) + 1.0f);
}
