// mkdata: writes the text sources of the code tables from the Debian dictionaries.
//   mkdata --wubi F --pinyin F --unihan-dictionary F --unihan-readings F
//          --frequent F --symbols F --offensive F --out DIR
// One file per table (MB1.txt ... PYCZ.txt) goes into DIR, for the table compiler.
//   mkdata addresses SOURCE OUT
// Checks the public web-address list and writes it in GBK ("zwwz.dat").
//   mkdata languagemodel MODEL PYMB.txt OUT [--prune P] [--max-bytes N]
// Writes the pinyin sentence model ("pylm.dat") from a KenLM binary or ARPA model, keeping
// the words whose characters PYMB.txt (as written above) holds.
//   mkdata arpa MODEL OUT
// Writes a KenLM binary or ARPA model as ARPA text, to check what is read.
//   mkdata pinyinwords PYMB.txt PYCZ.bin OUT [--model MODEL] [--readings DUMP] [--rarest LOG10P]
// Writes the sentence search's words ("pywords.dat"): those of the compiled phrase table
// and, with a model, the model's words the table lacks and not rarer than LOG10P (-6), read
// with the dictionary dump's readings (word, space, syllables joined by apostrophes).
#include "addresses.h"
#include "languagemodel.h"
#include "lexicon.h"
#include "outputs.h"
#include "pinyinwords.h"
#include "tables.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_set>

namespace {

// Words of the character tables: the most frequent ones, enough for everyday text while
// the long tail stays in the phrase libraries.
constexpr size_t MAIN_TABLE_WORDS = 15000;

int usage() {
    std::fprintf(stderr,
                 "usage: mkdata --wubi F --pinyin F --unihan-dictionary F --unihan-readings F "
                 "--frequent F --symbols F --offensive F --out DIR\n"
                 "       mkdata addresses SOURCE OUT\n"
                 "       mkdata languagemodel MODEL PYMB.txt OUT [--prune P] [--max-bytes N]\n"
                 "       mkdata arpa MODEL OUT\n"
                 "       mkdata pinyinwords PYMB.txt PYCZ.bin OUT [--model MODEL] [--readings DUMP] "
                 "[--rarest LOG10P]\n");
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

int arpa(const std::string& source, const std::string& target) {
    NgramModel model;
    std::string error;
    if (!readNgramModel(source, model, error)) {
        std::fprintf(stderr, "mkdata: %s: %s\n", source.c_str(), error.c_str());
        return 1;
    }
    Outputs out;
    out.add(target, arpaText(model));
    return out.commit() ? 0 : 1;
}

int languageModel(int argc, char** argv) {
    if (argc < 5 || argc % 2 == 0) return usage();
    LanguageModelOptions options;
    for (int i = 5; i + 1 < argc; i += 2) {
        char* end = nullptr;
        double value = std::strtod(argv[i + 1], &end);
        if (*end != '\0' || !(value > 0)) return usage();
        if (std::strcmp(argv[i], "--prune") == 0)
            options.prune = value;
        else if (std::strcmp(argv[i], "--max-bytes") == 0)
            options.maxBytes = size_t(value);
        else
            return usage();
    }
    std::unordered_set<char32_t> typable;
    if (!readTypableCharacters(argv[3], typable)) {
        std::fprintf(stderr, "mkdata: %s: no syllable table source\n", argv[3]);
        return 1;
    }
    NgramModel model;
    std::string error, file;
    LanguageModelCounts counts;
    if (!readNgramModel(argv[2], model, error) ||
        !buildLanguageModel(model, typable, options, file, counts, error)) {
        std::fprintf(stderr, "mkdata: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    std::printf(
        "%-10s %7zu words (%zu dropped), %zu two-word and %zu three-word entries, %zu bytes, "
        "pruned below %.3g\n",
        "pylm", counts.words, counts.wordsDropped, counts.bigrams, counts.trigrams, counts.bytes,
        counts.threshold);
    Outputs out;
    out.add(argv[4], file);
    return out.commit() ? 0 : 1;
}

bool readWhole(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int pinyinWords(int argc, char** argv) {
    if (argc < 5 || argc % 2 == 0) return usage();
    PinyinWordsSources sources;
    sources.syllableSource = argv[2];
    std::string modelPath, readingsPath;
    for (int i = 5; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--model") == 0)
            modelPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--readings") == 0)
            readingsPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--rarest") == 0) {
            char* end = nullptr;
            sources.rarestExtraWord = std::strtod(argv[i + 1], &end);
            if (*end != '\0' || !std::isfinite(sources.rarestExtraWord)) return usage();
        } else
            return usage();
    }
    if (!readWhole(argv[3], sources.phraseTable)) {
        std::fprintf(stderr, "mkdata: cannot read %s\n", argv[3]);
        return 1;
    }
    if (!readingsPath.empty() && !readWhole(readingsPath, sources.readings)) {
        std::fprintf(stderr, "mkdata: cannot read %s\n", readingsPath.c_str());
        return 1;
    }
    NgramModel model;
    std::string error, file;
    if (!modelPath.empty()) {
        if (!readNgramModel(modelPath, model, error)) {
            std::fprintf(stderr, "mkdata: %s: %s\n", modelPath.c_str(), error.c_str());
            return 1;
        }
        sources.model = &model;
    }
    PinyinWordsCounts counts;
    if (!buildPinyinWords(sources, file, counts, error)) {
        std::fprintf(stderr, "mkdata: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "%-10s %7zu table words, %zu more words of the model (%zu read by the dictionary, %zu by their "
        "characters; %zu rarer left out), %zu syllables, %zu bytes\n",
        "pywords", counts.tableWords, counts.extraWords, counts.fromReadings, counts.fromCharacters,
        counts.tooRare, counts.syllables, counts.bytes);
    Outputs out;
    out.add(argv[4], file);
    return out.commit() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "addresses") == 0) return addresses(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "arpa") == 0) return arpa(argv[2], argv[3]);
    if (argc >= 2 && std::strcmp(argv[1], "languagemodel") == 0) return languageModel(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "pinyinwords") == 0) return pinyinWords(argc, argv);
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
