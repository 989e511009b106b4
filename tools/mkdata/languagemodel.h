// The pinyin sentence model ("pylm.dat", layout in ime/pinyin/languagemodelformat.h) made
// from an n-gram model: only words the pinyin tables can type and GBK encodes, entries
// pruned by what each is worth over its back-off to fit a size, values in 8 bits.
#pragma once

#include "ngrammodel.h"

#include <cstddef>
#include <string>
#include <unordered_set>

struct LanguageModelOptions {
    // Two- and three-word entries whose worth (the probability of the whole word sequence
    // times how far the entry's value lies from its back-off estimate, in log10) is below
    // this are dropped...
    double prune = 1e-9;
    // ...and the threshold rises just as far as the file needs to fit this size, so the
    // entries worth most that fit are kept. 7 MB and the search's words file (3 MB) together
    // stay within 10 MB of resident memory; on the held-out corpus 8 MB gained 0.1% of
    // characters.
    size_t maxBytes = 7000000;
};

struct LanguageModelCounts {
    size_t words = 0, bigrams = 0, trigrams = 0, bytes = 0;
    size_t wordsDropped = 0;  // not typable or not GBK
    double threshold = 0;     // the pruning threshold that was used
};

// The characters the pinyin syllable table holds: the source of "PYMB" (syllable<TAB>
// characters, UTF-8) as mkdata writes it. False when it cannot be read or holds none.
bool readTypableCharacters(const std::string& pymbSource, std::unordered_set<char32_t>& out);

// The file's bytes; false (with error) when no word is left or the model does not fit.
bool buildLanguageModel(const NgramModel& model, const std::unordered_set<char32_t>& typable,
                        const LanguageModelOptions& options, std::string& file, LanguageModelCounts& counts,
                        std::string& error);
