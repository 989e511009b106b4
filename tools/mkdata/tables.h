// The table sources: one text file per table, in the table compiler's input format
// (code<TAB>text lines; the compiler keeps their order within each bucket).
#pragma once

#include "lexicon.h"

#include <string>
#include <vector>

// Where a record stands in its bucket: the one-letter short codes first, words a typist
// would not want offered last, everything else between them by frequency.
enum class Rank { ShortCode, Normal, Offensive };

struct Record {
    std::string code;
    std::u32string text;
    double weight;  // how often the entry is typed; larger first
    Rank rank = Rank::Normal;
    bool pinned = false;  // first under its own code, with no weight of its own elsewhere
};

// Character and phrase tables of an edition ("MB1"/"MB4"): every GB2312 character, the
// most frequent words and the short codes of the 26 frequent characters.
std::vector<Record> buildMainTable(const Lexicon& lex, Edition edition, size_t wordCount);
// Phrase libraries ("XCZMB"/"YCZMB"): every word of the pinyin dictionary.
std::vector<Record> buildPhraseTable(const Lexicon& lex, Edition edition);
// Large character set ("XGBK"/"YGBK"): every GBK character the sources can code.
std::vector<Record> buildGbkTable(const Lexicon& lex, Edition edition);
// Five-stroke ("WBMB").
std::vector<Record> buildWubiTable(const Lexicon& lex);

// A packed table's source: each bucket by rank, then by weight, ties by code, so that the
// first completion of any code is its most frequent continuation. Listed offensive words
// take the last rank.
std::string packedSource(const std::string& name, std::vector<Record> records, const Lexicon& lex);
// A fixed-record table's source: by code, then by weight.
std::string fixedSource(const std::string& name, std::vector<Record> records);

// "PYMB" (syllable<TAB>characters) and "PYCZ" (syllables<TAB>phrase).
std::string syllableSource(const Lexicon& lex);
std::string pinyinPhraseSource(const Lexicon& lex);
