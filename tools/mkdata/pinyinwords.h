// The sentence search's words ("pywords.dat", layout in ime/pinyin/pinyinwordsformat.h):
// the compiled phrase table's words with the weights the search gives them, and the words
// of the sentence model's vocabulary that the table lacks, with readings from an open
// pinyin dictionary or, failing that, from the syllable table where each character has one.
#pragma once

#include "ngrammodel.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct PinyinWordsSources {
    // The syllable table's source (syllable<TAB>characters, UTF-8), as mkdata writes it.
    std::string syllableSource;
    // The compiled phrase table "PYCZ" (the bytes the module reads).
    std::string phraseTable;
    // Optional: the model whose words join, and readings of words (UTF-8 word, then a space
    // and syllables joined by apostrophes, one reading a line; anything after is ignored).
    const NgramModel* model = nullptr;
    std::string readings;
    // The model's words rarer than this (log10 probability) stay out: on a held-out corpus
    // (scripts/pinyin-corpus) words below one in a million won no line, and they are 40% of
    // the extra words.
    double rarestExtraWord = -6.0;
};

struct PinyinWordsCounts {
    size_t syllables = 0, tableWords = 0, extraWords = 0, fromReadings = 0, fromCharacters = 0, bytes = 0;
    size_t tooRare = 0;  // the model's words left out as rarer than rarestExtraWord
};

// The file's bytes; false (with error) when the syllable source or the phrase table cannot
// be read.
bool buildPinyinWords(const PinyinWordsSources& sources, std::string& file, PinyinWordsCounts& counts,
                      std::string& error);
