// mkdata: writes the text sources of the code tables from the Debian dictionaries.
//   mkdata --wubi F --pinyin F --unihan-dictionary F --unihan-readings F
//          --frequent F --symbols F --offensive F --out DIR
// One file per table (MB1.txt ... PYCZ.txt) goes into DIR, for the table compiler.
//   mkdata addresses SOURCE OUT
// Checks the public web-address list and writes it in GBK ("zwwz.dat").
#include "addresses.h"
#include "lexicon.h"
#include "outputs.h"
#include "tables.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Words of the character tables: the most frequent ones, enough for everyday text while
// the long tail stays in the phrase libraries.
constexpr size_t MAIN_TABLE_WORDS = 15000;

int usage() {
    std::fprintf(stderr,
                 "usage: mkdata --wubi F --pinyin F --unihan-dictionary F --unihan-readings F "
                 "--frequent F --symbols F --offensive F --out DIR\n"
                 "       mkdata addresses SOURCE OUT\n");
    return 2;
}

int addresses(const std::string& source, const std::string& target) {
    std::ifstream in(source, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "mkdata: cannot read %s\n", source.c_str());
        return 1;
    }
    std::string gbk, error;
    if (!convertAddressList(text, gbk, error)) {
        std::fprintf(stderr, "mkdata: %s:%s\n", source.c_str(), error.c_str());
        return 1;
    }
    Outputs out;
    out.add(target, gbk);
    return out.commit() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "addresses") == 0) return addresses(argv[2], argv[3]);
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
                              : name == "--offensive"         ? &paths.offensive
                              : name == "--out"               ? &out
                                                              : nullptr;
        if (!target) return usage();
        *target = argv[i + 1];
    }
    if (argc % 2 == 0 || out.empty() || paths.wubi.empty() || paths.pinyin.empty() ||
        paths.unihanDictionary.empty() || paths.unihanReadings.empty() || paths.frequent.empty() ||
        paths.symbols.empty() || paths.offensive.empty())
        return usage();

    Lexicon lex;
    if (!loadLexicon(paths, lex)) return 1;
    out += '/';
    Outputs files;
    files.add(out + "MB1.txt",
              packedSource("MB1", buildMainTable(lex, Edition::PhoneticShape, MAIN_TABLE_WORDS), lex));
    files.add(out + "MB4.txt",
              packedSource("MB4", buildMainTable(lex, Edition::ShapeCode, MAIN_TABLE_WORDS), lex));
    files.add(out + "YCZMB.txt", packedSource("YCZMB", buildPhraseTable(lex, Edition::PhoneticShape), lex));
    files.add(out + "XCZMB.txt", packedSource("XCZMB", buildPhraseTable(lex, Edition::ShapeCode), lex));
    files.add(out + "WBMB.txt", packedSource("WBMB", buildWubiTable(lex), lex));
    files.add(out + "YGBK.txt", fixedSource("YGBK", buildGbkTable(lex, Edition::PhoneticShape)));
    files.add(out + "XGBK.txt", fixedSource("XGBK", buildGbkTable(lex, Edition::ShapeCode)));
    files.add(out + "PYMB.txt", syllableSource(lex));
    files.add(out + "PYCZ.txt", pinyinPhraseSource(lex));
    return files.commit() ? 0 : 1;
}
