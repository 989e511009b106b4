// The file of the pinyin sentence model ("pylm.dat"): written by mkdata at build time,
// read in place by the module. Little-endian; a header, then sorted arrays, each starting
// on a four-byte boundary, in the order of LanguageModelLayout:
//
//   values          float[5][256]: the 8-bit codes of each kind (LanguageModelValues)
//                   decoded to log10 values
//   wordEnd         uint32[N1 + 1]: word i (1..N1) is text[wordEnd[i-1], wordEnd[i]); the
//                   words are GBK and sorted by their bytes, so an id is a rank
//   firstBigram     uint32[N1 + 2]: the two-word entries of context word i are
//                   [firstBigram[i], firstBigram[i+1]); id 0 has none
//   unigramProb     uint8[N1 + 1], unigramBackoff uint8[N1 + 1]
//   bigramWord      3-byte ids [N2], sorted within each context word
//   bigramProb      uint8[N2], bigramBackoff uint8[N2]
//   trigramContext  uint32[C]: the two-word entries that three-word entries continue, in
//                   ascending order (most have none, so they take no room)
//   trigramFirst    uint32[C + 1]: the three-word entries under trigramContext[k] are
//                   [trigramFirst[k], trigramFirst[k+1])
//   trigramWord     3-byte ids [N3], sorted within each two-word entry
//   trigramProb     uint8[N3]
//   text            GBK bytes of every word, no separators
//
// A two-word entry j under context word a holding word b scores b after a (log10 P(b|a))
// and carries the back-off of the context "a b"; a three-word entry under it holding c
// scores c after "a b". Words of entries are ids 1..N1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr char LANGUAGE_MODEL_MAGIC[8] = {'Q', 'X', 'P', 'Y', 'L', 'M', '\x1a', '\0'};
constexpr uint32_t LANGUAGE_MODEL_VERSION = 2;
constexpr size_t LANGUAGE_MODEL_CODES = 256;
// Ids take three bytes in the entry arrays.
constexpr uint32_t LANGUAGE_MODEL_MAX_WORDS = (1u << 24) - 1;

enum LanguageModelValues {
    UnigramProbValues,
    UnigramBackoffValues,
    BigramProbValues,
    BigramBackoffValues,
    TrigramProbValues,
    LANGUAGE_MODEL_VALUE_TABLES
};

struct LanguageModelHeader {
    char magic[8];
    uint32_t version;
    uint32_t headerSize;  // sizeof(LanguageModelHeader)
    uint32_t words;       // N1
    uint32_t bigrams;     // N2
    uint32_t trigrams;    // N3
    uint32_t textSize;
    uint32_t fileSize;   // the whole file; nothing follows the text
    float unknownScore;  // log10 probability of a word the model does not know
    uint32_t trigramContexts;  // C
    uint32_t reserved[5];
};
static_assert(sizeof(LanguageModelHeader) == 64);

// Byte offsets of the arrays; end is the file size the header's counts call for.
struct LanguageModelLayout {
    uint64_t values, wordEnd, firstBigram, unigramProb, unigramBackoff, bigramWord, bigramProb, bigramBackoff,
        trigramContext, trigramFirst, trigramWord, trigramProb, text, end;
};

inline uint64_t languageModelAlign4(uint64_t n) { return (n + 3) & ~uint64_t(3); }

// False when the counts are out of range; 64-bit sums cannot overflow with 31-bit counts.
inline bool languageModelLayout(const LanguageModelHeader& h, LanguageModelLayout& l) {
    if (h.words > LANGUAGE_MODEL_MAX_WORDS || h.bigrams > 0x7fffffffu || h.trigrams > 0x7fffffffu ||
        h.textSize > 0x7fffffffu || h.trigramContexts > h.bigrams)
        return false;
    const uint64_t n1 = h.words, n2 = h.bigrams, n3 = h.trigrams, contexts = h.trigramContexts;
    uint64_t at = sizeof(LanguageModelHeader);
    auto take = [&at](uint64_t& field, uint64_t bytes) {
        field = at;
        at = languageModelAlign4(at + bytes);
    };
    take(l.values, sizeof(float) * LANGUAGE_MODEL_VALUE_TABLES * LANGUAGE_MODEL_CODES);
    take(l.wordEnd, 4 * (n1 + 1));
    take(l.firstBigram, 4 * (n1 + 2));
    take(l.unigramProb, n1 + 1);
    take(l.unigramBackoff, n1 + 1);
    take(l.bigramWord, 3 * n2);
    take(l.bigramProb, n2);
    take(l.bigramBackoff, n2);
    take(l.trigramContext, 4 * contexts);
    take(l.trigramFirst, 4 * (contexts + 1));
    take(l.trigramWord, 3 * n3);
    take(l.trigramProb, n3);
    take(l.text, h.textSize);
    l.end = at;
    return true;
}

inline uint32_t languageModelId(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16;
}
