// mkdata: writes the text sources of the code tables from the Debian dictionaries.
//   mkdata --wubi F --pinyin F --unihan-dictionary F --unihan-readings F
//          --frequent F --symbols F --out DIR
// One file per table (MB1.txt ... PYCZ.txt) goes into DIR, for the table compiler.
#include "lexicon.h"
#include "tables.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Words of the character tables: the most frequent ones, enough for everyday text while
// the long tail stays in the phrase libraries.
constexpr size_t MAIN_TABLE_WORDS = 15000;

int usage()
{
    std::fprintf(stderr,
                 "usage: mkdata --wubi F --pinyin F --unihan-dictionary F --unihan-readings F "
                 "--frequent F --symbols F --out DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    SourcePaths paths;
    std::string out;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        std::string* target = name == "--wubi"                ? &paths.wubi
                              : name == "--pinyin"            ? &paths.pinyin
                              : name == "--unihan-dictionary" ? &paths.unihanDictionary
                              : name == "--unihan-readings"   ? &paths.unihanReadings
                              : name == "--frequent"          ? &paths.frequent
                              : name == "--symbols"           ? &paths.symbols
                              : name == "--out"               ? &out
                                                              : nullptr;
        if (!target)
            return usage();
        *target = argv[i + 1];
    }
    if (argc % 2 == 0 || out.empty() || paths.wubi.empty() || paths.pinyin.empty() ||
        paths.unihanDictionary.empty() || paths.unihanReadings.empty() || paths.frequent.empty() ||
        paths.symbols.empty())
        return usage();

    Lexicon lex;
    if (!loadLexicon(paths, lex))
        return 1;
    out += '/';
    bool ok = writeRecords(out + "MB1.txt", buildMainTable(lex, Edition::PhoneticShape, MAIN_TABLE_WORDS)) &&
              writeRecords(out + "MB4.txt", buildMainTable(lex, Edition::ShapeCode, MAIN_TABLE_WORDS)) &&
              writeRecords(out + "YCZMB.txt", buildPhraseTable(lex, Edition::PhoneticShape)) &&
              writeRecords(out + "XCZMB.txt", buildPhraseTable(lex, Edition::ShapeCode)) &&
              writeRecords(out + "YGBK.txt", buildGbkTable(lex, Edition::PhoneticShape)) &&
              writeRecords(out + "XGBK.txt", buildGbkTable(lex, Edition::ShapeCode)) &&
              writeRecords(out + "WBMB.txt", buildWubiTable(lex)) &&
              writeSyllableTable(out + "PYMB.txt", lex) && writePinyinPhraseTable(out + "PYCZ.txt", lex);
    return ok ? 0 : 1;
}
