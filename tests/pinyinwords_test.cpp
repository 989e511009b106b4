// The sentence search's words file: what mkdata makes of a phrase table, a model and a
// dictionary of readings; the reader's refusals of damaged files; the search taking the
// built file's words exactly as it takes the phrase table's; and the engine without it.
#include "imedriver.h"
#include "support/testfiles.h"
#include "userfiles.h"

#include "frontend/driver.h"
#include "pinyin/languagemodel.h"
#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"
#include "pinyin/pinyinwords.h"
#include "pinyin/pinyinwordsformat.h"
#include "pinyin/sentencelattice.h"
#include "pinyin/sentencesearch.h"

#include "gbktext.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// 还 has two readings; 我 and 们 one each.
const char* const kSyllables =
    "hai\t孩还害\n"
    "huan\t还\n"
    "men\t们\n"
    "pa\t怕\n"
    "shi\t是\n"
    "wo\t我\n"
    "zi\t子\n";

const char* const kPhrases =
    "hai zi\t孩子\n"
    "hai pa\t害怕\n"
    "wo shi\t我是\n";

// 孩子 the table has; 孩子们 the dictionary reads; 我们 its characters read (its dictionary
// line has the wrong number of syllables); 还是 neither (还 has two readings); Ω is no
// character of the syllable table; 我是 and 孩子 the table has; 是是是是是 is too long; 害怕怕
// is rarer than one in a million.
const char* const kModel = R"(\data\
ngram 1=9

\1-grams:
-1.0	<unk>	0
-2.0	孩子	0
-3.0	孩子们	0
-2.5	我们	0
-2.2	还是	0
-1.5	是	0
-3.3	Ω是	0
-3.4	是是是是是	0
-6.2	害怕怕	0

\end\
)";

const char* const kReadings =
    "孩子们 hai'zi'men 0\n"
    "我们 wo 0\n"
    "Ω是 o'shi 0\n";

struct Closer {
    void operator()(const PinyinWords* w) const { closePinyinWords(w); }
};
using Words = std::unique_ptr<const PinyinWords, Closer>;

class PinyinWordsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("pinyinwords-test-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        writeFile(dir / "PYMB.txt", kSyllables);
        phrases = buildTable(kPhrases, "pycz");
        ASSERT_NE(phrases.data, nullptr);
        writeFile(dir / "PYCZ.bin", std::string(reinterpret_cast<const char*>(phrases.data), phrases.size));
        writeFile(dir / "model.arpa", kModel);
        writeFile(dir / "readings.txt", kReadings);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs mkdata pinyinwords; the file's bytes (empty when it failed).
    std::string build(const std::string& options) {
        const std::string command = std::string(QX_BIN_DIR) + "/mkdata pinyinwords '" +
                                    (dir / "PYMB.txt").string() + "' '" + (dir / "PYCZ.bin").string() +
                                    "' '" + (dir / "pywords.dat").string() + "' " + options + " >'" +
                                    (dir / "out").string() + "' 2>&1";
        const int status = std::system(command.c_str());
        output = readFile(dir / "out");
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
        return readFile(dir / "pywords.dat");
    }

    // The words (UTF-8) over syllables given by name, the heaviest first.
    std::vector<std::pair<std::string, float>> exact(const PinyinWords* w, std::vector<std::string> names) {
        uint16_t key[PINYIN_WORDS_PIECES_MAX] = {};
        for (size_t i = 0; i < names.size(); ++i) {
            const int id = pinyinWordsSyllableId(w, names[i]);
            if (id < 0) return {};
            key[i] = static_cast<uint16_t>(id);
        }
        uint32_t begin, end;
        pinyinWordsExact(w, key, static_cast<int>(names.size()), begin, end);
        std::vector<std::pair<std::string, float>> out;
        PinyinWord word{};
        for (uint32_t at = begin; at < end; ++at)
            if (pinyinWordsEntry(w, at, word)) out.emplace_back(gbkToUtf8(word.text), word.weight);
        return out;
    }
    std::vector<std::string> byInitials(const PinyinWords* w, const char* initials) {
        uint32_t begin, end;
        pinyinWordsInitials(w, initials, begin, end);
        std::vector<std::string> out;
        PinyinWord word{};
        for (uint32_t at = begin; at < end; ++at)
            if (pinyinWordsByInitials(w, at, word)) out.push_back(gbkToUtf8(word.text));
        return out;
    }

    fs::path dir;
    CodeTable phrases{};
    std::string output;
};

TEST_F(PinyinWordsFile, TableWordsKeepTheirWeightsAndModelWordsJoinWithTheirReadings) {
    const std::string bytes = build("--model '" + (dir / "model.arpa").string() + "' --readings '" +
                                    (dir / "readings.txt").string() + "'");
    ASSERT_FALSE(bytes.empty()) << output;
    EXPECT_NE(output.find("3 table words, 2 more words of the model (1 read by the dictionary, 1 by their "
                          "characters; 1 rarer left out), 7 syllables"),
              std::string::npos)
        << output;
    Words w(openPinyinWords(bytes.data(), bytes.size()));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(pinyinWordsSyllableCount(w.get()), 7u);
    EXPECT_EQ(pinyinWordsSyllable(w.get(), 0), "hai");  // sorted by name
    EXPECT_EQ(pinyinWordsSyllableId(w.get(), "zi"), 6);
    EXPECT_EQ(pinyinWordsSyllableId(w.get(), "z"), -1);

    // The two words of h and two syllables have the weights of the first two ranks, in the
    // table's order; 孩子 comes once, though the model has it too.
    std::map<std::string, int> rankOf;
    forEachPhraseRecord(&phrases, [&](const std::string_view*, int, std::string_view phrase) {
        const std::string text = gbkToUtf8(phrase);
        if (text != "我是") rankOf.emplace(text, static_cast<int>(rankOf.size()));
    });
    const auto haiZi = exact(w.get(), {"hai", "zi"});
    ASSERT_EQ(haiZi.size(), 1u);
    EXPECT_EQ(haiZi[0].first, "孩子");
    EXPECT_NEAR(haiZi[0].second, pinyinTableWordWeight(2, rankOf["孩子"]), 0.001);
    const auto haiPa = exact(w.get(), {"hai", "pa"});
    ASSERT_EQ(haiPa.size(), 1u);
    EXPECT_NEAR(haiPa[0].second, pinyinTableWordWeight(2, rankOf["害怕"]), 0.001);
    EXPECT_NEAR(exact(w.get(), {"wo", "shi"}).at(0).second, pinyinTableWordWeight(2, 0), 0.001);

    // The model's words: weighted by their own probability, read as the dictionary or their
    // characters say; none where neither can.
    const auto haiZiMen = exact(w.get(), {"hai", "zi", "men"});
    ASSERT_EQ(haiZiMen.size(), 1u);
    EXPECT_EQ(haiZiMen[0].first, "孩子们");
    EXPECT_NEAR(haiZiMen[0].second, -3.0, 0.001);
    EXPECT_EQ(exact(w.get(), {"wo", "men"}).size(), 1u);
    EXPECT_TRUE(exact(w.get(), {"hai", "shi"}).empty());
    EXPECT_TRUE(exact(w.get(), {"huan", "shi"}).empty());
    EXPECT_TRUE(exact(w.get(), {"hai", "pa", "pa"}).empty()) << "rarer than the build's limit";
    const std::string withRare = build("--model '" + (dir / "model.arpa").string() + "' --rarest -6.5");
    Words all(openPinyinWords(withRare.data(), withRare.size()));
    ASSERT_NE(all, nullptr) << output;
    EXPECT_EQ(exact(all.get(), {"hai", "pa", "pa"}).size(), 1u) << "a lower limit lets it in";

    // By initials, the heaviest first within one length.
    const auto hz = byInitials(w.get(), "hz");
    EXPECT_EQ(hz, std::vector<std::string>{"孩子"});
    const auto hp = byInitials(w.get(), "hp");
    EXPECT_EQ(hp, std::vector<std::string>{"害怕"});
    EXPECT_EQ(byInitials(w.get(), "hzm"), std::vector<std::string>{"孩子们"});
    EXPECT_TRUE(byInitials(w.get(), "h").empty());
    EXPECT_TRUE(byInitials(w.get(), "hzmzz").empty());

    // The stamp: this table, not another.
    EXPECT_TRUE(pinyinWordsFitTable(w.get(), phrases.data, phrases.size));
    std::string other(reinterpret_cast<const char*>(phrases.data), phrases.size);
    other[0] ^= 1;
    EXPECT_FALSE(
        pinyinWordsFitTable(w.get(), reinterpret_cast<const unsigned char*>(other.data()), phrases.size));
    EXPECT_FALSE(pinyinWordsFitTable(w.get(), phrases.data, phrases.size - 60));
}

TEST_F(PinyinWordsFile, WithoutAModelOnlyTheTablesWordsAreThere) {
    const std::string bytes = build("");
    ASSERT_FALSE(bytes.empty()) << output;
    Words w(openPinyinWords(bytes.data(), bytes.size()));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(exact(w.get(), {"hai", "zi"}).size(), 1u);
    EXPECT_TRUE(exact(w.get(), {"hai", "zi", "men"}).empty());
    EXPECT_TRUE(exact(w.get(), {"wo", "men"}).empty());
    // A syllable source that is not one, and a missing table, are refused.
    writeFile(dir / "PYMB.txt", "hai\n");
    EXPECT_TRUE(build("").empty());
    EXPECT_NE(output.find("no syllable table source"), std::string::npos) << output;
}

TEST_F(PinyinWordsFile, DamagedFilesAreRefusedOrReadWithinTheirBounds) {
    std::string bytes = build("--model '" + (dir / "model.arpa").string() + "'");
    ASSERT_FALSE(bytes.empty()) << output;
    Words whole(openPinyinWords(bytes.data(), bytes.size()));
    ASSERT_NE(whole, nullptr);
    for (size_t size = 0; size < bytes.size(); ++size)
        EXPECT_EQ(openPinyinWords(bytes.data(), size), nullptr) << size;
    for (size_t at :
         {size_t(0), offsetof(PinyinWordsHeader, version), offsetof(PinyinWordsHeader, headerSize),
          offsetof(PinyinWordsHeader, words), offsetof(PinyinWordsHeader, fileSize)}) {
        std::string damaged = bytes;
        damaged[at] ^= 0x40;
        EXPECT_EQ(openPinyinWords(damaged.data(), damaged.size()), nullptr) << at;
    }

    // Entries whose text, syllables or count lie outside their bounds are no words.
    PinyinWordsHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    PinyinWordsLayout layout;
    ASSERT_TRUE(pinyinWordsLayout(header, layout));
    ASSERT_GE(header.words, 3u);
    auto entry = [&](uint32_t i) { return &bytes[layout.entries + sizeof(PinyinWordEntry) * i]; };
    PinyinWordEntry e;
    std::memcpy(&e, entry(0), sizeof e);
    e.text = header.textSize - 1;
    std::memcpy(entry(0), &e, sizeof e);
    std::memcpy(&e, entry(1), sizeof e);
    e.syllables[0] = static_cast<uint16_t>(header.syllables);
    std::memcpy(entry(1), &e, sizeof e);
    std::memcpy(&e, entry(2), sizeof e);
    e.count = 9;
    std::memcpy(entry(2), &e, sizeof e);
    const uint32_t pastTheEntries = header.words + 5;
    std::memcpy(&bytes[layout.byInitials], &pastTheEntries, 4);
    Words damaged(openPinyinWords(bytes.data(), bytes.size()));
    ASSERT_NE(damaged, nullptr);
    PinyinWord word{};
    EXPECT_FALSE(pinyinWordsEntry(damaged.get(), 0, word));
    EXPECT_FALSE(pinyinWordsEntry(damaged.get(), 1, word));
    EXPECT_FALSE(pinyinWordsEntry(damaged.get(), 2, word));
    EXPECT_FALSE(pinyinWordsByInitials(damaged.get(), 0, word));
    EXPECT_FALSE(pinyinWordsEntry(damaged.get(), header.words, word));
    uint32_t begin, end;
    pinyinWordsInitials(damaged.get(), "hz", begin, end);
    EXPECT_LE(end, header.words);
    EXPECT_EQ(pinyinWordsSyllableCount(nullptr), 0u);
    EXPECT_FALSE(pinyinWordsEntry(nullptr, 0, word));
}

// Through the engine: the model's words join the sentence row, typed whole or as initials,
// whether the file was made from the table in use (its table words are then taken from it)
// or from another one (the table's words then come from the table).
TEST_F(PinyinWordsFile, TheModelsWordsJoinTheSentenceRow) {
    const std::string bytes = build("--model '" + (dir / "model.arpa").string() + "' --readings '" +
                                    (dir / "readings.txt").string() + "'");
    ASSERT_FALSE(bytes.empty()) << output;
    resetEngineForTest();
    std::remove(systemFilePath(LANGUAGE_MODEL_FILE).c_str());
    releasePinyinLanguageModel();
    codeTables.PYMB = buildTable(kSyllables, "pymb");
    codeTables.PYCZ = phrases;
    modes.pinyinMode = 1;
    modes.sentenceInput = 1;
    setUserPhraseFile("PYCZ.rt");
    std::remove(modes.userPhraseFile);
    const std::string installed = systemFilePath(PINYIN_WORDS_FILE);
    writeFile(installed, bytes);
    releasePinyinWords();
    ImeDriver ime;
    EXPECT_EQ(utf8(ime.type("haizimen{Space}")), "孩子们");
    EXPECT_TRUE(pinyinSentence().dictionary.tableWordsFromFile());
    EXPECT_EQ(utf8(ime.type("hzm{Space}")), "孩子们");
    EXPECT_EQ(utf8(ime.type("haipa{Space}")), "害怕");

    // The same file beside a table with one more phrase.
    codeTables.PYCZ = buildTable(std::string(kPhrases) + "wo men\t我们\n", "pycz");
    EXPECT_EQ(utf8(ime.type("haizimen{Space}")), "孩子们");
    EXPECT_FALSE(pinyinSentence().dictionary.tableWordsFromFile());
    EXPECT_EQ(utf8(ime.type("haipa{Space}")), "害怕");
    std::remove(installed.c_str());
    releasePinyinWords();
}

// The built file against the phrase table it was made from: for random runs of real
// syllables, whole and as initials, the search offers every word the table gives it, with
// the same weight, and besides them only words of the model.
TEST(BuiltPinyinWords, TheSearchTakesTheTablesWordsFromTheFileAsFromTheTable) {
    const CodeTable syllables = libraryTable("pymb.dll", "PYMB");
    const CodeTable table = libraryTable("pymb.dll", "PYCZ");
    Words words(openPinyinWordsFile((fs::path(QX_BIN_DIR) / PINYIN_WORDS_FILE).c_str()));
    if (!syllables.data || !table.data || !words) GTEST_SKIP() << "pymb.dll or pywords.dat not built";
    SentenceDictionary fromTable, fromFile;
    fromTable.prepare(&syllables, &table);
    fromFile.prepare(&syllables, &table, words.get());
    ASSERT_FALSE(fromTable.tableWordsFromFile());
    ASSERT_TRUE(fromFile.tableWordsFromFile());

    std::vector<std::string> names;
    forEachSyllableIndexed(&syllables, [&](std::string_view name, const char* const*, uint32_t) {
        if (name.size() <= LATTICE_SYLLABLE_LETTERS_MAX) names.emplace_back(name);
    });
    std::mt19937 random(21);
    int runs = 0, extras = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        LatticeLine line;
        line.boundary.push_back(BOUNDARY_HARD);
        std::vector<Piece> path;
        const int count = 2 + static_cast<int>(random() % 3);
        for (int i = 0; i < count; ++i) {
            std::string s = names[random() % names.size()];
            const bool initial = random() % 4 == 0;
            if (initial) s = s.substr(0, 1);
            const auto start = static_cast<uint16_t>(line.letters.size());
            line.letters += s;
            line.boundary.resize(line.letters.size(), BOUNDARY_NONE);
            line.boundary.push_back(BOUNDARY_SOFT);
            const int id = fromTable.syllableId(s);
            path.push_back({start, static_cast<uint16_t>(line.letters.size()), !initial || id >= 0,
                            static_cast<uint16_t>(std::max(id, 0))});
            if (initial && id >= 0) path.back().whole = true;
        }
        line.boundary.back() = BOUNDARY_HARD;
        std::vector<LatticeWord> a, b;
        fromTable.wordsOver(line, path.data(), count, a);
        fromFile.wordsOver(line, path.data(), count, b);
        ++runs;
        std::multimap<std::string, float> offered;
        for (const LatticeWord& w : b) offered.emplace(std::string(w.view()), w.weight);
        for (const LatticeWord& w : a) {
            auto [first, last] = offered.equal_range(std::string(w.view()));
            auto same = std::find_if(first, last,
                                     [&](const auto& o) { return std::fabs(o.second - w.weight) < 0.001f; });
            ASSERT_NE(same, last) << gbkToUtf8(line.letters) << ": " << gbkToUtf8(w.view());
            offered.erase(same);
        }
        // What is left came from the model's words: the table has none of them over this run.
        for (const auto& [text, weight] : offered) {
            ++extras;
            EXPECT_TRUE(
                std::none_of(a.begin(), a.end(), [&](const LatticeWord& w) { return w.view() == text; }))
                << line.letters << ": " << gbkToUtf8(text);
        }
    }
    EXPECT_EQ(runs, 3000);
    EXPECT_GT(extras, 0);
}

// The engine with no words file, or a damaged one, types as it did before there was one.
class PinyinWithoutWordsFile : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        std::remove(systemFilePath(LANGUAGE_MODEL_FILE).c_str());
        releasePinyinLanguageModel();
        codeTables.PYMB = buildTable("guo\t国过\nhao\t好号\nni\t你泥\nren\t人认\nzhong\t中种\n", "pymb");
        codeTables.PYCZ = buildTable("ni hao\t你好\nzhong guo\t中国\nzhong guo ren\t中国人\n", "pycz");
        ASSERT_NE(codeTables.PYCZ.data, nullptr);
        modes.pinyinMode = 1;
        modes.sentenceInput = 1;
        setUserPhraseFile("PYCZ.rt");
        std::remove(modes.userPhraseFile);
    }
    void TearDown() override {
        std::remove(systemFilePath(PINYIN_WORDS_FILE).c_str());
        releasePinyinWords();
    }
    ImeDriver ime;
};

TEST_F(PinyinWithoutWordsFile, MissingOrDamagedTheTableGivesTheWords) {
    std::remove(systemFilePath(PINYIN_WORDS_FILE).c_str());
    releasePinyinWords();
    EXPECT_EQ(pinyinWords(), nullptr);
    EXPECT_EQ(utf8(ime.type("nihaozhongguoren{Space}")), "你好中国人");

    // A file cut short: refused, and the same again.
    const std::string built = readFile(fs::path(QX_BIN_DIR) / PINYIN_WORDS_FILE);
    writeFile(systemFilePath(PINYIN_WORDS_FILE),
              built.empty() ? std::string("QXPYWD\x1a", 7) : built.substr(0, 4000));
    releasePinyinWords();
    EXPECT_EQ(pinyinWords(), nullptr);
    EXPECT_EQ(utf8(ime.type("nihaozhongguoren{Space}")), "你好中国人");
    EXPECT_FALSE(pinyinSentence().dictionary.tableWordsFromFile());
}

}  // namespace
