// The sentence search's words read in place from a file beside the data libraries: the
// phrase table's words with their weights, ready to look up by syllables or by initials,
// and words of the sentence model that the table lacks. Every function is safe on words
// that failed to open: there are then none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct PinyinWords;

constexpr char PINYIN_WORDS_FILE[] = "pywords.dat";

// A word as the file holds it; syllables are the file's syllable ids.
struct PinyinWord {
    std::string_view text;  // GBK, two bytes a syllable
    float weight;           // log10
    int count;
    uint16_t syllables[4];
    bool fromTable;
};

// Words over bytes in memory (tests, fuzzing, benchmarks): header, counts and the place of
// every array are checked here, once; lookups then stay inside the bytes whatever the
// arrays hold. nullptr when the bytes are not whole words of this format. The bytes must
// outlive the words.
const PinyinWords* openPinyinWords(const void* bytes, size_t size);
// Maps a file read-only and opens it as above; nullptr when it cannot be.
const PinyinWords* openPinyinWordsFile(const char* path);
void closePinyinWords(const PinyinWords* words);

// The process's words, opened at the first call; nullptr when the file is missing or
// damaged. The search then takes the phrase table's words from the table itself.
const PinyinWords* pinyinWords();
// Unmaps them (detach, process reset); the next pinyinWords() opens them again.
void releasePinyinWords();

uint32_t pinyinWordsSyllableCount(const PinyinWords* words);
// The name of syllable id (empty when out of range) and the id of a name (-1 when none).
std::string_view pinyinWordsSyllable(const PinyinWords* words, uint32_t id);
int pinyinWordsSyllableId(const PinyinWords* words, std::string_view name);

// Whether the table's words in the file were taken from this phrase table.
bool pinyinWordsFitTable(const PinyinWords* words, const unsigned char* table, uint32_t size);

// Entries [begin, end) that are exactly these syllables (file ids), the heaviest first.
void pinyinWordsExact(const PinyinWords* words, const uint16_t* syllables, int count, uint32_t& begin,
                      uint32_t& end);
// Positions [begin, end) of the initials index whose words have these first letters, the
// heaviest first; pinyinWordsByInitials(words, position, word) reads them.
void pinyinWordsInitials(const PinyinWords* words, std::string_view initials, uint32_t& begin, uint32_t& end);
// Entry at, or the entry at position `at` of the initials index; false when it is out of
// range or damaged (a syllable, count or text out of bounds).
bool pinyinWordsEntry(const PinyinWords* words, uint32_t at, PinyinWord& word);
bool pinyinWordsByInitials(const PinyinWords* words, uint32_t at, PinyinWord& word);
