// Everything the tables are made from, read once from the Debian dictionaries.
#pragma once

#include "charsets.h"
#include "shapecode.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct Word {
    std::u32string text;
    std::vector<std::string> syllables;  // one per character
    double weight;
};

struct WubiEntry {
    std::u32string text;
    std::string code;
    double weight;
};

// A character with fixed codes in the hand-written lists.
struct FixedCode {
    char32_t character;
    std::string phoneticCode;  // phonetic-shape edition
    std::string shapeCode;     // shape-code edition; empty when the list gives none
};

struct Lexicon {
    CharSets sets;
    std::unordered_map<char32_t, std::string> shape;  // shape part from the Cangjie code
    // Readings by weight, most frequent first: the pinyin dictionary's where it has the
    // character, else Unihan's (weight 0).
    std::unordered_map<char32_t, std::vector<Reading>> readings;
    // The pinyin dictionary's own single characters, in its order, with their readings.
    struct CharReading {
        char32_t character;
        std::string syllable;
        double weight;
    };
    std::vector<CharReading> pinyinChars;
    std::unordered_map<char32_t, std::vector<std::string>> unihanReadings;
    std::vector<Word> words;  // two to four characters
    std::vector<WubiEntry> wubi;
    std::vector<FixedCode> frequent;  // the dialog's 26 frequent characters
    std::vector<FixedCode> symbols;   // punctuation and symbols
    // Vulgar and offensive words: offered after every other entry of their bucket.
    std::unordered_set<std::u32string> offensive;
};

struct SourcePaths {
    std::string wubi, pinyin, unihanDictionary, unihanReadings, frequent, symbols, offensive;
};

bool loadLexicon(const SourcePaths& paths, Lexicon& lexicon);
