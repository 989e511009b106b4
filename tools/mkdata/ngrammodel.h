// A back-off n-gram model of at most three words as the sentence model is made from it:
// read from a KenLM binary file (the trie layouts, format version 5) or from ARPA text,
// and written back as ARPA text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct NgramModel {
    // Word text (UTF-8) by id; id 0 is the unknown word "<unk>".
    std::vector<std::string> words;
    struct Unigram {
        float prob, backoff;
    };
    std::vector<Unigram> unigrams;  // by id
    // Entries in reading order: w1 w2 scores w2 after w1, w1 w2 w3 scores w3 after w1 w2.
    struct Bigram {
        uint32_t w1, w2;
        float prob, backoff;
    };
    struct Trigram {
        uint32_t w1, w2, w3;
        float prob;
    };
    std::vector<Bigram> bigrams;
    std::vector<Trigram> trigrams;
};

// Reads either format, told apart by the KenLM magic; false with a message in error.
bool readNgramModel(const std::string& path, NgramModel& model, std::string& error);
bool readKenlmBinary(const std::string& bytes, NgramModel& model, std::string& error);
bool readArpa(const std::string& text, NgramModel& model, std::string& error);

// ARPA text of the model: every entry, log10 values, entries in the order held.
std::string arpaText(const NgramModel& model);
