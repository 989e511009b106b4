// The table sources: one text file per table, in the table compiler's input format.
#pragma once

#include "lexicon.h"

#include <string>
#include <vector>

struct Record {
    std::string code;
    std::u32string text;
    double weight;  // larger first within one code
};

// Character and phrase tables of an edition ("MB1"/"MB4"): every GB2312 character and
// the most frequent words.
std::vector<Record> buildMainTable(const Lexicon& lex, Edition edition, size_t wordCount);
// Phrase libraries ("XCZMB"/"YCZMB"): every word of the pinyin dictionary.
std::vector<Record> buildPhraseTable(const Lexicon& lex, Edition edition);
// Large character set ("XGBK"/"YGBK"): every GBK character the sources can code.
std::vector<Record> buildGbkTable(const Lexicon& lex, Edition edition);
// Five-stroke ("WBMB").
std::vector<Record> buildWubiTable(const Lexicon& lex);

// Sorted by code, then by weight, and written as code<TAB>text lines.
bool writeRecords(const std::string& path, std::vector<Record> records);

// "PYMB" (syllable<TAB>characters) and "PYCZ" (syllables<TAB>phrase).
bool writeSyllableTable(const std::string& path, const Lexicon& lex);
bool writePinyinPhraseTable(const std::string& path, const Lexicon& lex);
