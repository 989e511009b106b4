// The pinyin sentence model: what mkdata makes of a model (words kept, values, pruning),
// the reader's refusals of damaged files, and the built pylm.dat against its source.
#include "pinyin/languagemodel.h"
#include "support/testfiles.h"
#include "pinyin/languagemodelformat.h"

#include "core/userfile.h"
#include "gbktext.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const KENLM_SOURCE = "/usr/lib/x86_64-linux-gnu/libime/zh_CN.lm";

// The syllable table source as mkdata writes it: which characters can be typed. Ω is not
// among them; 𠀀 is, but GBK has no code for it.
const char* const SYLLABLES =
    "men\t们們\nqiu\t\xF0\xA0\x80\x80\nren\t人\nshi\t是\nwo\t我\nzhong\t中\nguo\t国國\n";

const char* const SMALL_MODEL = R"(\data\
ngram 1=10
ngram 2=7
ngram 3=2

\1-grams:
-1.0	<unk>	0
-1.2	我	-0.3
-2.0	们	-0.2
-1.5	我们	-0.4
-1.3	是	-0.25
-2.2	中国	-0.5
-2.5	人	-0.1
-3.0	𠀀	-0.05
-3.1	Ω	0
-2.8	國	0

\2-grams:
-0.5	我们 是	-0.15
-0.7	是 中国	-0.2
-0.9	中国 人	0
-1.1	我 是	0
-0.4	𠀀 是	0
-0.6	是 Ω	0
-0.8	我们 國	0

\3-grams:
-0.3	我们 是 中国
-0.2	是 中国 人

\end\
)";

struct Closer {
    void operator()(const LanguageModel* m) const { closeLanguageModel(m); }
};
using Model = std::unique_ptr<const LanguageModel, Closer>;

class LanguageModelFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("languagemodel-test-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        writeFile(dir / "PYMB.txt", SYLLABLES);
    }
    void TearDown() override { fs::remove_all(dir); }

    // mkdata's exit status; its standard output in output, its errors in errors.
    int mkdata(const std::string& arguments) {
        std::string command = std::string(QX_BIN_DIR) + "/mkdata " + arguments + " >'" +
                              (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
        int status = std::system(command.c_str());
        output = readFile(dir / "out");
        errors = readFile(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Builds the model from ARPA text; the file's bytes.
    std::string build(const std::string& arpa, const std::string& options = "") {
        writeFile(dir / "model.arpa", arpa);
        EXPECT_EQ(mkdata("languagemodel '" + (dir / "model.arpa").string() + "' '" +
                         (dir / "PYMB.txt").string() + "' '" + (dir / "pylm.dat").string() + "' " + options),
                  0)
            << errors;
        return readFile(dir / "pylm.dat");
    }

    fs::path dir;
    std::string output, errors;
};

uint32_t word(const LanguageModel* m, const char* utf8) { return languageModelWord(m, utf8ToGbk(utf8)); }

// Score of the words (UTF-8, space-separated, the last scored after the others).
float score(const LanguageModel* m, const std::string& words) {
    std::istringstream in(words);
    std::vector<uint32_t> ids;
    for (std::string w; in >> w;) ids.push_back(w == "-" ? 0 : word(m, w.c_str()));
    while (ids.size() < 3) ids.insert(ids.begin(), 0);
    return languageModelScore(m, ids[ids.size() - 3], ids[ids.size() - 2], ids.back());
}

TEST_F(LanguageModelFile, KeepsTypableGbkWordsWithTheirValues) {
    const std::string bytes = build(SMALL_MODEL);
    Model m(openLanguageModel(bytes.data(), bytes.size()));
    ASSERT_TRUE(m);
    // 國 is GBK and typable; 𠀀 has no GBK code, Ω no reading; the markers are no words.
    for (const char* known : {"我", "们", "我们", "是", "中国", "人", "國"})
        EXPECT_NE(word(m.get(), known), 0u) << known;
    EXPECT_EQ(word(m.get(), "Ω"), 0u);
    EXPECT_EQ(languageModelWord(m.get(), "<unk>"), 0u);
    EXPECT_EQ(languageModelWord(m.get(), ""), 0u);
    EXPECT_EQ(word(m.get(), "中"), 0u);      // a prefix of a word is not that word
    EXPECT_EQ(word(m.get(), "中国人"), 0u);  // nor is a longer text
    EXPECT_NE(output.find("7 words (2 dropped), 5 two-word and 2 three-word entries"), std::string::npos)
        << output;

    // Few distinct values: every one comes back exactly.
    const struct {
        const char* words;
        float expected;
    } cases[] = {
        {"人", -2.5f},
        {"我们 是", -0.5f},
        {"我们 是 中国", -0.3f},
        {"是 中国 人", -0.2f},
        {"我 是 中国", -0.7f},                  // back-off of "我 是" is 0
        {"我们 是 人", -0.15f - 0.25f - 2.5f},  // both back-offs, then the word alone
        {"- 中国 人", -0.9f},                   // unknown first word: the bigram alone
        {"- 是 國", -0.25f - 2.8f},
        {"我们 國", -0.8f},
        {"-", -1.0f},  // an unknown word scores as <unk>
        {"是 -", -0.25f - 1.0f},
    };
    for (const auto& c : cases) EXPECT_NEAR(score(m.get(), c.words), c.expected, 1e-6) << c.words;
    // Ids past the words count as unknown.
    EXPECT_NEAR(languageModelScore(m.get(), 0, 0, 1000), -1.0f, 1e-6);
    EXPECT_EQ(languageModelScore(nullptr, 1, 2, 3), 0.0f);
    EXPECT_EQ(languageModelWord(nullptr, "x"), 0u);
}

TEST_F(LanguageModelFile, PruningDropsUnlikelySequencesAndFitsTheSize) {
    // An entry is weighed by the likelihood of its sequence times what it adds over the
    // estimate that backs off for it. "中国 人": 10^(-2.2-0.9) * |-0.9 - (-0.5-2.5)| is below
    // 10^-2.5, so it goes and backs off. "是 中国 人" adds 0.9 to a likelier sequence and
    // stays; "我们 是 中国" adds only 0.55 over "我们 是"'s back-off and "是 中国", and goes.
    // A context's back-off then takes the mass its dropped entries held: "中国" kept none
    // of its entries, so its back-off becomes -0.5 + log10(1 / ((1 - 10^-0.9) / (1 - 10^-2.5)));
    // "我们 是" likewise, over "是 中国"'s 10^-0.7. The dropped entries score nearer their
    // source values than the plain back-off would have them.
    std::string bytes = build(SMALL_MODEL, "--prune 0.00316");
    Model m(openLanguageModel(bytes.data(), bytes.size()));
    ASSERT_TRUE(m);
    auto regained = [](double prob, double lower) {
        return -std::log10((1 - std::pow(10.0, prob)) / (1 - std::pow(10.0, lower)));
    };
    EXPECT_NEAR(score(m.get(), "中国 人"), -0.5 + regained(-0.9, -2.5) - 2.5, 1e-5);
    EXPECT_NEAR(score(m.get(), "是 中国 人"), -0.2f, 1e-6);
    EXPECT_NEAR(score(m.get(), "我们 是 中国"), -0.15 + regained(-0.3, -0.7) - 0.7, 1e-5);
    EXPECT_GT(score(m.get(), "我们 是 中国"), -0.15f - 0.7f);
    // A context that lost nothing keeps its back-off: "是" still holds both its entries.
    EXPECT_NEAR(score(m.get(), "是 人"), -0.25f - 2.5f, 1e-6);
    // Below a lower threshold every entry stays.
    bytes = build(SMALL_MODEL, "--prune 0.001");
    m.reset(openLanguageModel(bytes.data(), bytes.size()));
    ASSERT_TRUE(m);
    EXPECT_NEAR(score(m.get(), "中国 人"), -0.9f, 1e-6);
    EXPECT_NEAR(score(m.get(), "我们 是 中国"), -0.3f, 1e-6);

    // A size below the whole model raises the threshold until the entries fit.
    const std::string whole = build(SMALL_MODEL, "--prune 1e-12");
    bytes = build(SMALL_MODEL, "--prune 1e-12 --max-bytes " + std::to_string(whole.size() - 4));
    EXPECT_LE(bytes.size(), whole.size() - 4);
    m.reset(openLanguageModel(bytes.data(), bytes.size()));
    ASSERT_TRUE(m);
    EXPECT_NE(word(m.get(), "中国"), 0u) << "words are never pruned";

    // Not even the words fit: no file, and the old one stays.
    writeFile(dir / "pylm.dat", "old");
    EXPECT_EQ(mkdata("languagemodel '" + (dir / "model.arpa").string() + "' '" + (dir / "PYMB.txt").string() +
                     "' '" + (dir / "pylm.dat").string() + "' --max-bytes 5200"),
              1);
    EXPECT_EQ(readFile(dir / "pylm.dat"), "old");
}

TEST_F(LanguageModelFile, ManyValuesComeBackWithinTheirBin) {
    // 2000 words of distinct probabilities over six decades: more than 256 codes hold.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> logProb(-7.0f, -1.0f);
    std::string syllables = "a\t", arpa;
    std::map<std::string, float> expected;
    std::string words;
    for (int i = 0; i < 2000; ++i) {
        std::string w = gbkToUtf8(std::string{char(0xB0 + i / 94), char(0xA1 + i % 94)});
        float p = logProb(random);
        expected[w] = p;
        syllables += w;
        char line[64];
        std::snprintf(line, sizeof line, "%.6f\t%s\t0\n", p, w.c_str());
        words += line;
    }
    writeFile(dir / "PYMB.txt", syllables + "\n");
    const std::string bytes = build("\\data\\\nngram 1=2000\n\n\\1-grams:\n" + words + "\n\\end\\\n");
    Model m(openLanguageModel(bytes.data(), bytes.size()));
    ASSERT_TRUE(m);
    double worst = 0;
    for (const auto& [w, p] : expected) worst = std::max(worst, std::fabs(double(score(m.get(), w)) - p));
    // 256 centres over six decades: no value further than about 6/512 from its own.
    EXPECT_LT(worst, 0.015);
    EXPECT_GT(worst, 0.0) << "2000 values cannot all be exact in 8 bits";
}

TEST_F(LanguageModelFile, RefusesWhatIsNotAWholeModel) {
    const std::string good = build(SMALL_MODEL);
    ASSERT_TRUE(Model(openLanguageModel(good.data(), good.size())));
    // Every truncation, and a byte too many.
    for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(Model(openLanguageModel(good.data(), n))) << n;
    std::string longer = good + '\0';
    EXPECT_FALSE(Model(openLanguageModel(longer.data(), longer.size())));
    EXPECT_FALSE(Model(openLanguageModel(nullptr, 100)));

    auto damaged = [&](size_t at, const void* bytes, size_t size) {
        std::string copy = good;
        std::memcpy(&copy[at], bytes, size);
        return Model(openLanguageModel(copy.data(), copy.size()));
    };
    const uint32_t two = 2, huge = 0x01000000, badSize = uint32_t(good.size() + 4);
    const float nan = std::nanf(""), infinity = INFINITY;
    EXPECT_FALSE(damaged(0, "QXPYLM\x1a\x01", 8));                           // magic
    const uint32_t one = 1;
    EXPECT_FALSE(damaged(offsetof(LanguageModelHeader, version), &one, 4));  // the format before
    EXPECT_FALSE(damaged(offsetof(LanguageModelHeader, trigramContexts), &huge, 4));  // more than entries
    EXPECT_FALSE(damaged(offsetof(LanguageModelHeader, words), &huge, 4));   // counts
    EXPECT_FALSE(damaged(offsetof(LanguageModelHeader, bigrams), &two, 4));  // size mismatch
    EXPECT_FALSE(damaged(offsetof(LanguageModelHeader, fileSize), &badSize, 4));
    EXPECT_FALSE(damaged(offsetof(LanguageModelHeader, unknownScore), &nan, 4));
    EXPECT_FALSE(damaged(sizeof(LanguageModelHeader) + 4 * 300, &infinity, 4));  // a value table

    // A file that is another format, and none at all.
    writeFile(dir / "other.dat", "\\data\\\nngram 1=1\n");
    EXPECT_FALSE(Model(openLanguageModelFile((dir / "other.dat").c_str())));
    writeFile(dir / "empty.dat", "");
    EXPECT_FALSE(Model(openLanguageModelFile((dir / "empty.dat").c_str())));
    EXPECT_FALSE(Model(openLanguageModelFile((dir / "missing.dat").c_str())));
    EXPECT_FALSE(Model(openLanguageModelFile(dir.c_str())));
    EXPECT_TRUE(Model(openLanguageModelFile((dir / "pylm.dat").c_str())));
}

// Whatever the arrays hold once the header is sound, lookups stay inside the file.
TEST_F(LanguageModelFile, ScrambledArraysGiveScoresNotCrashes) {
    const std::string good = build(SMALL_MODEL);
    LanguageModelHeader header;
    std::memcpy(&header, good.data(), sizeof header);
    LanguageModelLayout layout;
    ASSERT_TRUE(languageModelLayout(header, layout));
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::string copy = good;
        for (size_t i = layout.wordEnd; i < copy.size(); ++i)
            if (random() % 3 == 0) copy[i] = char(random() % 4 == 0 ? 0xff : random());
        Model m(openLanguageModel(copy.data(), copy.size()));
        ASSERT_TRUE(m);
        for (uint32_t a = 0; a <= header.words + 1; ++a)
            for (uint32_t b = 0; b <= header.words + 1; ++b)
                for (uint32_t c = 0; c <= header.words + 1; ++c)
                    EXPECT_TRUE(std::isfinite(languageModelScore(m.get(), a, b, c)));
        for (const char* w : {"我们", "是", "國", "zz"}) EXPECT_LE(word(m.get(), w), header.words);
    }
}

// The process's model is the file in the system directory, opened once.
TEST_F(LanguageModelFile, ProcessModelIsTheSystemDirectoryFile) {
    const std::string bytes = build(SMALL_MODEL);
    const std::string path = userFilePath(LANGUAGE_MODEL_FILE);
    ASSERT_FALSE(path.empty());
    std::string host = path;
    for (char& c : host)
        if (c == '\\') c = '/';
    releasePinyinLanguageModel();
    fs::remove(host);
    EXPECT_EQ(pinyinLanguageModel(), nullptr);
    fs::copy_file(dir / "pylm.dat", host);
    EXPECT_EQ(pinyinLanguageModel(), nullptr) << "a missing file is not looked for on every call";
    releasePinyinLanguageModel();
    const LanguageModel* m = pinyinLanguageModel();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(pinyinLanguageModel(), m);
    EXPECT_NEAR(score(m, "我们 是 中国"), -0.3f, 1e-6);
    // A replaced file is read at the next open; the mapped one stays whole meanwhile.
    fs::remove(host);
    writeFile(host, bytes.substr(0, 100));
    EXPECT_NEAR(score(m, "我们 是 中国"), -0.3f, 1e-6);
    releasePinyinLanguageModel();
    EXPECT_EQ(pinyinLanguageModel(), nullptr);
    releasePinyinLanguageModel();
    fs::remove(host);
}

// ---------------------------------------------------------------------------------------
// The real model, when the build made it from the Debian package.
// ---------------------------------------------------------------------------------------

// One entry of an ARPA dump: its order, log10 probability, words and back-off.
struct ArpaEntry {
    int order;
    float prob, backoff;
    std::string_view words[3];
};

// Calls back with every entry of ARPA text; the views point into the text.
template <typename Entry>
void forEachArpaEntry(const std::string& text, Entry entry) {
    int order = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (line.size() > 2 && line[0] == '\\' && line[2] == '-') order = line[1] - '0';
        size_t tab = line.find('\t');
        if (order < 1 || order > 3 || tab == std::string_view::npos) continue;
        size_t tab2 = line.find('\t', tab + 1);
        ArpaEntry e{order, std::strtof(std::string(line.substr(0, tab)).c_str(), nullptr), 0.0f, {}};
        std::string_view words =
            line.substr(tab + 1, tab2 == std::string_view::npos ? line.npos : tab2 - tab - 1);
        if (tab2 != std::string_view::npos)
            e.backoff = std::strtof(std::string(line.substr(tab2 + 1)).c_str(), nullptr);
        for (int i = 0; i < order; ++i) {
            size_t space = words.find(' ');
            e.words[i] = words.substr(0, space);
            words = space == words.npos ? std::string_view() : words.substr(space + 1);
        }
        entry(e);
    }
}

class RealModel : public LanguageModelFile {
protected:
    void SetUp() override {
        LanguageModelFile::SetUp();
        if (!fs::exists(KENLM_SOURCE) || !fs::exists(fs::path(QX_BIN_DIR) / "pylm.dat"))
            GTEST_SKIP() << "libime-data-language-model not installed or pylm.dat not built";
        ASSERT_EQ(mkdata("arpa " + std::string(KENLM_SOURCE) + " '" + (dir / "zh.arpa").string() + "'"), 0)
            << errors;
    }
};

TEST_F(RealModel, DumpRebuildsToTheOriginalSize) {
    if (std::system("command -v libime_slm_build_binary >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "libime_slm_build_binary (libime-bin) not installed";
    const std::string command = "libime_slm_build_binary -s -q 8 -b 8 -a 22 trie '" +
                                (dir / "zh.arpa").string() + "' '" + (dir / "rebuilt.lm").string() +
                                "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fs::file_size(dir / "rebuilt.lm"), fs::file_size(KENLM_SOURCE));
    // The rebuilt file reads back to the same entries: same count and same sum of hashes
    // of their words, whatever their order.
    ASSERT_EQ(mkdata("arpa '" + (dir / "rebuilt.lm").string() + "' '" + (dir / "again.arpa").string() + "'"),
              0);
    auto keys = [](const fs::path& path) {
        std::pair<size_t, size_t> countAndHash{0, 0};
        forEachArpaEntry(readFile(path), [&](const ArpaEntry& e) {
            ++countAndHash.first;
            for (int i = 0; i < e.order; ++i)
                countAndHash.second += std::hash<std::string_view>()(e.words[i]) * (i + 1);
        });
        return countAndHash;
    };
    const auto original = keys(dir / "zh.arpa");
    EXPECT_EQ(original.first, 164887u + 1983152u + 634213u);
    EXPECT_EQ(keys(dir / "again.arpa"), original);
}

TEST_F(RealModel, LikelyEntriesKeepTheirValues) {
    Model m(openLanguageModelFile((fs::path(QX_BIN_DIR) / "pylm.dat").c_str()));
    ASSERT_TRUE(m);
    // Pruning weighs an entry by its sequence's probability times how far its value lies
    // from the back-off estimate; the 7 MB file keeps those worth more than about 1.2e-7.
    // Likely sequences worth far more come back exactly (the source's own 8-bit values;
    // single words within their bin); a likely one worth less was dropped only because its
    // back-off predicts it: within 10^(-6.8 - log P(sequence)) of its value, the bins, and
    // what its context's back-off regained from the dropped entries.
    const double likely = -6.0, kept = -6.0, threshold = -6.8;
    struct Value {
        float prob, backoff;
    };
    std::unordered_map<std::string_view, Value> unigram;
    std::unordered_map<std::string, Value> likelyBigram;
    int checked[4] = {0, 0, 0, 0}, estimated = 0;
    double renormalisedError = 0, plainError = 0;
    int dropped = 0;
    forEachArpaEntry(readFile(dir / "zh.arpa"), [&](const ArpaEntry& e) {
        double joint = 0, estimate = 0;
        if (e.order == 1) {
            unigram[e.words[0]] = {e.prob, e.backoff};
            if (e.prob < -5 || checked[1] >= 3000) return;
        } else if (e.order == 2) {
            joint = unigram[e.words[0]].prob + e.prob;
            if (joint >= -8 && joint < -7 && dropped < 3000) {
                const uint32_t a = word(m.get(), std::string(e.words[0]).c_str()),
                               b = word(m.get(), std::string(e.words[1]).c_str());
                const float score = a && b ? languageModelScore(m.get(), 0, a, b) : e.prob;
                if (std::fabs(score - e.prob) > 0.02) {  // dropped
                    ++dropped;
                    renormalisedError += std::fabs(score - e.prob);
                    plainError +=
                        std::fabs(unigram[e.words[0]].backoff + unigram[e.words[1]].prob - e.prob);
                }
            }
            if (joint < likely) return;
            likelyBigram[std::string(e.words[0]) + ' ' + std::string(e.words[1])] = {e.prob, e.backoff};
            if (checked[2] >= 3000) return;
            estimate = unigram[e.words[0]].backoff + unigram[e.words[1]].prob;
        } else {
            auto context = likelyBigram.find(std::string(e.words[0]) + ' ' + std::string(e.words[1]));
            auto shorter = likelyBigram.find(std::string(e.words[1]) + ' ' + std::string(e.words[2]));
            if (context == likelyBigram.end() || shorter == likelyBigram.end() || checked[3] >= 3000) return;
            joint = unigram[e.words[0]].prob + context->second.prob + e.prob;
            if (joint < likely) return;
            estimate = context->second.backoff + shorter->second.prob;
        }
        uint32_t id[3] = {0, 0, 0};
        for (int i = 0; i < e.order; ++i) {
            id[3 - e.order + i] = word(m.get(), std::string(e.words[i]).c_str());
            if (!id[3 - e.order + i]) return;  // a word the file does not keep (not GBK or not typable)
        }
        const float score = languageModelScore(m.get(), id[0], id[1], id[2]);
        if (e.order == 1) {
            ++checked[1];
            EXPECT_NEAR(score, e.prob, 0.02) << e.words[0];
            return;
        }
        const double difference = std::fabs(e.prob - estimate);
        if (joint + std::log10(difference + 1e-6) >= kept) {
            ++checked[e.order];
            EXPECT_NEAR(score, e.prob, 1e-6) << e.words[0] << ' ' << e.words[1] << ' ' << e.words[2];
        } else {
            ++estimated;
            EXPECT_NEAR(score, e.prob, std::pow(10.0, threshold - joint) + 0.3)
                << e.words[0] << ' ' << e.words[1] << ' ' << e.words[2];
        }
    });
    EXPECT_GT(estimated, 0);
    // Over the two-word entries of sequences between 10^-8 and 10^-7, where pruning drops
    // most, regaining the dropped mass brings the dropped entries nearer their values.
    EXPECT_GT(dropped, 500);
    EXPECT_LT(renormalisedError, 0.9 * plainError) << dropped << " dropped entries";
    for (int order = 1; order <= 3; ++order) EXPECT_GE(checked[order], 1500) << order;
    // Everyday words are there.
    for (const char* w : {"的", "我们", "中国", "孩子", "今天", "天气"}) EXPECT_NE(word(m.get(), w), 0u) << w;
    EXPECT_GT(score(m.get(), "今天 天气"), score(m.get(), "今天 天骑"))
        << "a known pair beats an unknown word";
}

}  // namespace
