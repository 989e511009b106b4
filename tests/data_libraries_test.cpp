// The data libraries as the build made them, read through the module's own lookups:
// what a user can type with them, and whether start-up can load them at all.
#include "pinyin/pinyintables.h"
#include "shapecode/codetable.h"

#include "gbk.h"
#include "imedriver.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct Library {
    HMODULE module = nullptr;
    CodeTable table(const char* name) const
    {
        HRSRC found = module ? FindResourceA(module, name, "mb") : nullptr;
        if (!found)
            return {nullptr, 0};
        HGLOBAL loaded = LoadResource(module, found);
        return {static_cast<const unsigned char*>(LockResource(loaded)), SizeofResource(module, found)};
    }
};

Library load(const char* file)
{
    return {LoadLibraryA((std::string(QX_BIN_DIR) + "/" + file).c_str())};
}

enum class Mode { MB1, MB4, XCZMB, YCZMB, XGBK, YGBK, WBMB };

struct Lists {
    std::string exact;
    std::string completions;
    int units;
};

class DataLibraries : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qxmb = load("Qxmb.dll");
        dede = load("Dede.dll");
        gbkLib = load("gbk.dll");
        pymb = load("pymb.dll");
        codeTables.MB1 = qxmb.table("MB1");
        codeTables.MB4 = qxmb.table("MB4");
        codeTables.XCZMB = qxmb.table("XCZMB");
        codeTables.YCZMB = qxmb.table("YCZMB");
        codeTables.WBMB = dede.table("WBMB");
        codeTables.XGBK = gbkLib.table("XGBK");
        codeTables.YGBK = gbkLib.table("YGBK");
        codeTables.PYMB = pymb.table("PYMB");
        codeTables.PYCZ = pymb.table("PYCZ");
    }

    static const CodeTable* modeTable(Mode mode)
    {
        switch (mode) {
        case Mode::MB1: return &codeTables.MB1;
        case Mode::MB4: return &codeTables.MB4;
        case Mode::XCZMB: return &codeTables.XCZMB;
        case Mode::YCZMB: return &codeTables.YCZMB;
        case Mode::XGBK: return &codeTables.XGBK;
        case Mode::YGBK: return &codeTables.YGBK;
        case Mode::WBMB: return &codeTables.WBMB;
        }
        return nullptr;
    }

    // The library's table alone: no user phrases take part.
    static Lists lookup(Mode mode, const char* code)
    {
        static char completions[COMPLETION_LIST_SIZE];
        static char exact[EXACT_LIST_SIZE];
        completions[0] = exact[0] = 0;
        const bool fixed = mode == Mode::XGBK || mode == Mode::YGBK;
        int units = fixed ? lookupGbk(modeTable(mode), code, completions, exact)
                          : lookupPacked(modeTable(mode), nullptr, code, completions, exact);
        return {exact, completions, units};
    }

    // Every single character a table lists under a one-letter code (exact or completion).
    static std::set<std::string> charactersOf(Mode mode)
    {
        std::set<std::string> found;
        for (const char* letter : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n",
                                   "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z", ";", "/"}) {
            Lists l = lookup(mode, letter);
            for (const std::string& list : {l.completions, " x" + l.exact}) {
                // Entries are a space, a hint or label, then the text.
                size_t at = 0;
                while ((at = list.find(' ', at)) != std::string::npos) {
                    size_t end = list.find(' ', at + 2);
                    std::string text = list.substr(at + 2, end == std::string::npos ? end : end - at - 2);
                    if (text.size() == 2)
                        found.insert(text);
                    at += 2;
                }
            }
        }
        return found;
    }

    static Library qxmb, dede, gbkLib, pymb;
};
Library DataLibraries::qxmb, DataLibraries::dede, DataLibraries::gbkLib, DataLibraries::pymb;

// GB2312's ideographs, rows 16 to 87.
std::vector<std::string> gb2312Ideographs()
{
    std::vector<std::string> list;
    iconv_t cd = iconv_open("UTF-8", "GB2312");
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char out[8];
            char* src = in;
            char* dst = out;
            size_t srcLeft = 2, dstLeft = sizeof(out);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
                list.emplace_back(in, 2);
        }
    }
    iconv_close(cd);
    return list;
}

TEST_F(DataLibraries, LoadWithTheirVersionMarks)
{
    ASSERT_NE(qxmb.module, nullptr);
    ASSERT_NE(dede.module, nullptr);
    ASSERT_NE(gbkLib.module, nullptr);
    ASSERT_NE(pymb.module, nullptr);
    // Start-up refuses every table unless both marks are there.
    EXPECT_NE(FindResourceA(qxmb.module, "QX_40", "Ver"), nullptr);
    EXPECT_NE(FindResourceA(dede.module, "QX_40", "Ver"), nullptr);
    const CodeTables& c = codeTables;
    for (const CodeTable* t : {&c.MB1, &c.MB4, &c.XCZMB, &c.YCZMB, &c.WBMB, &c.XGBK, &c.YGBK, &c.PYMB, &c.PYCZ})
        EXPECT_GT(t->size, TABLE_HEADER_SIZE);
}

TEST_F(DataLibraries, HostLibrariesAreX64Images)
{
    for (const char* file : {"Qxmb.dll", "Dede.dll", "gbk.dll", "pymb.dll"}) {
        std::ifstream in(std::string(QX_BIN_DIR) + "/" + file, std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(image.size(), 0x100u) << file;
        uint32_t pe;
        std::memcpy(&pe, image.data() + 0x3C, 4);
        ASSERT_LT(pe + 6, image.size()) << file;
        EXPECT_EQ(image.compare(pe, 4, std::string("PE\0\0", 4)), 0) << file;
        EXPECT_EQ(static_cast<unsigned char>(image[pe + 4]) | static_cast<unsigned char>(image[pe + 5]) << 8,
                  0x8664)
            << file;
    }
}

TEST_F(DataLibraries, FiveStrokeCodes)
{
    EXPECT_EQ(lookup(Mode::WBMB, "khk").exact.substr(0, 2), gbk("中"));
    EXPECT_EQ(lookup(Mode::WBMB, "khlg").exact.substr(0, 4), gbk("中国"));
    // "z" belongs to the mode's English and ellipsis prefix, not to the table.
    Lists z = lookup(Mode::WBMB, "z");
    EXPECT_EQ(z.units, 0);
    EXPECT_EQ(z.exact, "");
}

// The mode commands start with "i" and the English prefix with "v": the engine only keeps
// a first letter that finds something.
TEST_F(DataLibraries, ModeCommandLettersFindSomethingInEveryShapeTable)
{
    for (Mode mode : {Mode::MB1, Mode::MB4, Mode::XCZMB, Mode::YCZMB, Mode::XGBK, Mode::YGBK, Mode::WBMB}) {
        Lists i = lookup(mode, "i");
        EXPECT_TRUE(i.units > 0 || !i.exact.empty()) << "table " << static_cast<int>(mode);
    }
    for (Mode mode : {Mode::MB1, Mode::YCZMB, Mode::YGBK})
        EXPECT_EQ(lookup(mode, "v").exact, gbk("ü")) << "table " << static_cast<int>(mode);
    EXPECT_EQ(lookup(Mode::MB1, "izsy").exact, gbk("“"));
    EXPECT_EQ(lookup(Mode::MB1, "islh").exact, gbk("…"));
    EXPECT_EQ(lookup(Mode::YGBK, "ijth").exact, gbk("！"));
}

// The user-phrase dialog's frequent characters must type what the dialog proposes.
TEST_F(DataLibraries, FrequentCharactersStandFirstUnderTheDialogsCodes)
{
    struct Frequent {
        const char* character;
        const char* phonetic;
        const char* shape;
    };
    const Frequent list[] = {
        {"地", "dat", "atd"},   {"我", "ww", "ww"},     {"在", "zsha", "shaz"}, {"人", "rk", "kr"},
        {"他", "tkt", "ktt"},   {"要", "yzw", "zwy"},   {"“", "izsy", "zsy"},   {"”", "iysy", "ysy"},
        {"《", "izsm", "zsm"},  {"》", "iysm", "ysm"},  {"又", "ye", "ey"},     {"是", "sjp", "jps"},
        {"的", "dhjg", "hjgd"}, {"也", "yt", "ty"},     {"中", "zlh", "lhz"},   {"和", "hfl", "flh"},
        {"就", "jilr", "ilrj"}, {"有", "ysc", "scy"},   {"了", "lw", "wl"},     {"这", "zeo", "eoz"},
        {"…", "islh", "slh"},   {"用", "yc", "cy"},     {"！", "ijth", "jthi"}, {"不", "bp", "pb"},
        {"你", "nkgn", "kgnn"}, {"、", "idh", "dh"},
    };
    for (const Frequent& f : list) {
        EXPECT_EQ(lookup(Mode::MB1, f.phonetic).exact.substr(0, 2), gbk(f.character)) << f.phonetic;
        EXPECT_EQ(lookup(Mode::MB4, f.shape).exact.substr(0, 2), gbk(f.character)) << f.shape;
    }
}

TEST_F(DataLibraries, CharacterTablesHoldEveryGb2312Ideograph)
{
    std::vector<std::string> all = gb2312Ideographs();
    ASSERT_EQ(all.size(), 6763u);
    for (Mode mode : {Mode::MB1, Mode::MB4, Mode::XGBK, Mode::YGBK}) {
        std::set<std::string> found = charactersOf(mode);
        size_t missing = 0;
        for (const std::string& c : all)
            missing += !found.count(c);
        EXPECT_EQ(missing, 0u) << "table " << static_cast<int>(mode);
    }
}

TEST_F(DataLibraries, GbkTablesReachBeyondGb2312)
{
    for (Mode mode : {Mode::XGBK, Mode::YGBK}) {
        std::set<std::string> found = charactersOf(mode);
        EXPECT_GT(found.size(), 20000u);
        EXPECT_TRUE(found.count(gbk("丂")));  // 0x8140, the first GBK ideograph
        EXPECT_TRUE(found.count(gbk("齄")));  // the last GB2312 one
    }
}

// A character read two ways is typed under either initial; phrases follow their reading.
TEST_F(DataLibraries, ReadingsDecideTheInitials)
{
    auto holds = [](Mode mode, const char* code, const char* text) {
        std::string exact = lookup(mode, code).exact;
        return exact.find(gbk(text)) != std::string::npos;
    };
    EXPECT_TRUE(holds(Mode::MB1, "zl", "中"));
    EXPECT_TRUE(holds(Mode::MB4, "lz", "中"));
    EXPECT_TRUE(holds(Mode::MB1, "xhon", "行"));
    EXPECT_TRUE(holds(Mode::MB1, "hhon", "行"));
    EXPECT_TRUE(holds(Mode::YCZMB, "zlgw", "中国"));
    EXPECT_TRUE(holds(Mode::MB1, "yohh", "银行"));
}

// The pinyin engine reads "PYMB" as headers "11" + syllable padded to 8, then characters.
TEST_F(DataLibraries, SyllableTableListsTheMostFrequentCharacterFirst)
{
    std::string table(reinterpret_cast<const char*>(codeTables.PYMB.data), codeTables.PYMB.size);
    size_t at = table.find("11zhong   ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(table.substr(at + 10, 2), gbk("中"));
    EXPECT_EQ(table.find("11i"), std::string::npos);  // no syllable begins with i
}

// A few GB2312 radicals (冫, 辶, 疒...) are missing from the pinyin dictionary but must
// still be typable in pinyin mode.
TEST_F(DataLibraries, SyllableTableCoversEveryGb2312Ideograph)
{
    std::set<std::string> found;
    const unsigned char* p = codeTables.PYMB.data;
    const unsigned char* end = p + codeTables.PYMB.size;
    while (p + 2 <= end && *p != '3') {
        if (*p == '1') {
            p += 10;  // the header unit and the padded syllable
            continue;
        }
        found.emplace(reinterpret_cast<const char*>(p), 2);
        p += 2;
    }
    ASSERT_LT(p, end) << "the table has no end unit";
    size_t missing = 0;
    for (const std::string& c : gb2312Ideographs())
        missing += !found.count(c);
    EXPECT_EQ(missing, 0u);
    EXPECT_TRUE(found.count(gbk("辶")));
}

// ---- Candidate order, checked against the open dictionaries the tables are made from ----

// One record of a packed table: its full code and its GBK text.
struct Entry {
    std::string code;
    std::string text;
};

// The records of every bucket of a packed table, in table order (the candidate order).
std::vector<std::vector<Entry>> packedBuckets(const CodeTable& table)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz;/";
    std::vector<std::vector<Entry>> buckets(TABLE_BUCKETS);
    auto word = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, table.data + at, 4);
        return v;
    };
    auto letter = [&](unsigned v) { return v >= 1 && v <= 28 ? std::string(1, letters[v - 1]) : std::string(); };
    for (int b = 0; b < TABLE_BUCKETS; ++b) {
        size_t at = TABLE_HEADER_SIZE + word(4 * b), end = TABLE_HEADER_SIZE + word(4 * (b + 1));
        while (at + 4 <= end) {
            unsigned p = table.data[at], q = table.data[at + 1];
            Entry e{std::string(1, letters[b]) + letter(p & 31) + letter(q & 31) + letter((p >> 5) << 2 | q >> 6), ""};
            size_t n = 1;
            if (q & 0x20) {
                const unsigned char* t = table.data + at + 2;
                n = (t[0] >> 7) * 8 + (t[1] >> 7) * 4 + (t[2] >> 7) * 2 + (t[3] >> 7);
            }
            for (size_t i = 0; i < 2 * n && at + 2 + i < end; ++i)
                e.text.push_back(static_cast<char>(table.data[at + 2 + i] | 0x80));
            buckets[b].push_back(e);
            at += 2 + 2 * n;
        }
    }
    return buckets;
}

// Lines of a data file of ours (tab-separated, '#' comments), first column only.
std::vector<std::string> listColumn(const char* file, size_t column)
{
    std::ifstream in(std::string(QX_SOURCE_DIR) + "/data/" + file);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string f;
        for (size_t i = 0; i <= column && std::getline(fields, f, '\t'); ++i)
            if (i == column)
                out.push_back(f);
    }
    return out;
}

// The weights of the two Debian dictionaries, keyed by UTF-8 text.
struct Dictionaries {
    struct Reading {
        std::vector<std::string> syllables;
        double weight;
    };
    std::unordered_map<std::string, std::vector<Reading>> pinyin;
    std::map<std::pair<std::string, std::string>, double> wubi;  // (text, code)

    static void read(const char* path, const std::function<void(const std::vector<std::string>&)>& entry)
    {
        std::ifstream in(path);
        std::string line;
        bool body = false;
        while (std::getline(in, line)) {
            if (!body) {
                body = line == "...";
                continue;
            }
            if (line.empty() || line[0] == '#')
                continue;
            std::vector<std::string> f;
            std::istringstream fields(line);
            std::string one;
            while (std::getline(fields, one, '\t'))
                f.push_back(one);
            if (f.size() >= 2)
                entry(f);
        }
    }
    Dictionaries()
    {
        read(QX_PINYIN_DICT, [&](const std::vector<std::string>& f) {
            Reading r{{}, f.size() > 2 ? std::atof(f[2].c_str()) : 0};
            std::istringstream syllables(f[1]);
            std::string s;
            while (syllables >> s)
                r.syllables.push_back(s);
            pinyin[f[0]].push_back(r);
        });
        read(QX_WUBI_DICT, [&](const std::vector<std::string>& f) {
            double& w = wubi[{f[0], f[1]}];
            w = std::max(w, f.size() > 2 ? std::atof(f[2].c_str()) : 0);
        });
    }
    // How often a character is read with this initial (every reading when it is 0).
    double character(const std::string& c, char initial) const
    {
        double sum = 0;
        if (auto it = pinyin.find(c); it != pinyin.end())
            for (const Reading& r : it->second)
                if (!initial || r.syllables[0][0] == initial)
                    sum += r.weight;
        return sum;
    }
    // A word's weight under the readings whose initials match those positions of the code
    // (all readings when none does); positions given as (syllable, code letter).
    double word(const std::string& text, const std::vector<std::pair<size_t, char>>& initials) const
    {
        double matching = 0, any = 0;
        bool matched = false;
        if (auto it = pinyin.find(text); it != pinyin.end())
            for (const Reading& r : it->second) {
                any = std::max(any, r.weight);
                bool fits = std::all_of(initials.begin(), initials.end(), [&](auto p) {
                    return p.first < r.syllables.size() && r.syllables[p.first][0] == p.second;
                });
                if (fits) {
                    matching = std::max(matching, r.weight);
                    matched = true;
                }
            }
        return matched ? matching : any;
    }
};

const Dictionaries& dictionaries()
{
    static const Dictionaries d;
    return d;
}

// How often an entry of a packed table is typed, from the dictionaries alone: a
// character by its reading under the code's initial (first letter in the phonetic-shape
// edition, last in the shape-code edition), a word by its reading, a five-stroke entry by
// its weight under its own code. A character that one letter types adds no weight of its
// own at its longer codes: there it weighs what the heaviest other entry of the code does.
class TypedFrequency {
public:
    TypedFrequency(Mode mode, const std::vector<Entry>& bucket) : mode_(mode)
    {
        for (const std::string& c : listColumn("frequent.txt", 0))
            oneKey_.insert(gbk(c));
        for (const Entry& e : bucket)
            if (!pinned(e)) {
                double w = own(e);
                known_[{e.code, e.text}] = w;
                double& h = heaviest_[e.code];
                h = std::max(h, w);
            }
        for (const Entry& e : bucket)
            if (pinned(e))
                known_[{e.code, e.text}] = heaviest_.count(e.code) ? heaviest_[e.code] : 0;
    }
    double operator()(const Entry& e) const { return known_.at({e.code, e.text}); }

private:
    bool pinned(const Entry& e) const
    {
        return (mode_ == Mode::MB1 || mode_ == Mode::MB4) && e.code.size() > 1 && oneKey_.count(e.text);
    }
    double own(const Entry& e) const
    {
        const Dictionaries& d = dictionaries();
        std::string text = utf8(e.text);
        if (mode_ == Mode::WBMB) {
            auto it = d.wubi.find({text, e.code});
            return it == d.wubi.end() ? 0 : it->second;
        }
        size_t n = e.text.size() / 2;
        if (n == 1)
            return d.character(text, mode_ == Mode::MB4 ? e.code.back() : e.code[0]);
        if (mode_ == Mode::YCZMB) {  // initials stand at known places of a phonetic-shape phrase code
            if (n == 2)
                return d.word(text, {{0, e.code[0]}, {1, e.code[2]}});
            if (n == 3)
                return d.word(text, {{0, e.code[0]}, {1, e.code[1]}, {2, e.code[2]}});
            return d.word(text, {{0, e.code[0]}, {1, e.code[1]}, {2, e.code[2]}, {3, e.code[3]}});
        }
        return d.word(text, {});  // the words of the character tables take their most frequent reading
    }
    Mode mode_;
    std::set<std::string> oneKey_;
    std::map<std::string, double> heaviest_;
    std::map<std::pair<std::string, std::string>, double> known_;
};

std::set<std::string> offensiveWords()
{
    std::set<std::string> words;
    for (const std::string& w : listColumn("offensive.txt", 0))
        words.insert(gbk(w));
    return words;
}

std::vector<std::string> codesOfOneAndTwoLetters()
{
    static const std::string letters = "abcdefghijklmnopqrstuvwxyz;/";
    std::vector<std::string> codes;
    for (char a : letters) {
        codes.push_back(std::string(1, a));
        for (char b : letters)
            codes.push_back(std::string{a, b});
    }
    return codes;
}

// The texts of a completion list, in order (each entry is a space, a hint letter, the text).
std::vector<std::string> completionTexts(const std::string& list)
{
    std::vector<std::string> texts;
    for (size_t at = list.find(' '); at != std::string::npos;) {
        size_t end = list.find(' ', at + 2);
        texts.push_back(list.substr(at + 2, end == std::string::npos ? end : end - at - 2));
        at = end;
    }
    return texts;
}

const std::pair<Mode, const char*> packedTables[] = {
    {Mode::MB1, "MB1"}, {Mode::MB4, "MB4"}, {Mode::XCZMB, "XCZMB"}, {Mode::YCZMB, "YCZMB"}, {Mode::WBMB, "WBMB"}};

const CodeTable& tableOf(Mode mode)
{
    switch (mode) {
    case Mode::MB1: return codeTables.MB1;
    case Mode::MB4: return codeTables.MB4;
    case Mode::XCZMB: return codeTables.XCZMB;
    case Mode::YCZMB: return codeTables.YCZMB;
    default: return codeTables.WBMB;
    }
}

// What a typist sees first after one or two letters, and what Space takes when the code
// has no exact entry, is the most frequent entry under that code.
TEST_F(DataLibraries, FirstCompletionOfEveryShortCodeIsItsMostFrequentEntry)
{
    std::set<std::string> offensive = offensiveWords();
    for (auto [mode, name] : packedTables) {
        auto buckets = packedBuckets(tableOf(mode));
        std::vector<TypedFrequency> weights;
        for (const std::vector<Entry>& bucket : buckets)
            weights.emplace_back(mode, bucket);
        int faults = 0;
        for (const std::string& code : codesOfOneAndTwoLetters()) {
            const std::vector<Entry>& bucket = buckets[codeBucket(code[0])];
            const TypedFrequency& weight = weights[codeBucket(code[0])];
            std::vector<const Entry*> completions;
            for (const Entry& e : bucket)
                if (e.code.size() > code.size() && e.code.compare(0, code.size(), code) == 0)
                    completions.push_back(&e);
            if (completions.empty())
                continue;
            // The lookup offers them in table order.
            ASSERT_EQ(completionTexts(lookup(mode, code.c_str()).completions).front(), completions.front()->text)
                << name << " " << code;
            double first = weight(*completions.front()), most = 0;
            const Entry* heaviest = nullptr;
            for (const Entry* e : completions)
                if (!offensive.count(e->text) && weight(*e) > most) {
                    most = weight(*e);
                    heaviest = e;
                }
            if (first < most && ++faults <= 5)
                ADD_FAILURE() << name << " " << code << ": first " << utf8(completions.front()->text) << " ("
                              << completions.front()->code << ", " << first << "), most frequent "
                              << utf8(heaviest->text) << " (" << heaviest->code << ", " << most << ")";
        }
        EXPECT_EQ(faults, 0) << name;
    }
    // The word the phonetic-shape edition's "wh" is typed for.
    EXPECT_EQ(completionTexts(lookup(Mode::MB1, "wh").completions).front(), gbk("我们"));
}

// Listed words close their bucket, so a prefix offers every other entry before them; a
// code with a page of other completions never shows one among its first 16.
TEST_F(DataLibraries, OffensiveWordsComeAfterEveryOtherEntry)
{
    std::set<std::string> offensive = offensiveWords();
    ASSERT_GT(offensive.size(), 10u);
    for (auto [mode, name] : packedTables) {
        for (const std::vector<Entry>& bucket : packedBuckets(tableOf(mode))) {
            auto listed = [&](const Entry& e) { return offensive.count(e.text) > 0; };
            auto first = std::find_if(bucket.begin(), bucket.end(), listed);
            auto later = std::find_if_not(first, bucket.end(), listed);
            EXPECT_EQ(later, bucket.end()) << name << " " << later->code << ": " << utf8(later->text)
                                           << " after the listed " << utf8(first->text);
        }
        for (const std::string& code : codesOfOneAndTwoLetters()) {
            std::vector<std::string> texts = completionTexts(lookup(mode, code.c_str()).completions);
            size_t others = std::count_if(texts.begin(), texts.end(), [&](auto& t) { return !offensive.count(t); });
            if (others < 16)
                continue;
            for (size_t i = 0; i < 16; ++i)
                EXPECT_FALSE(offensive.count(texts[i])) << name << " " << code << ": " << utf8(texts[i]);
        }
    }
    // Typed by its own code, a listed word still comes, after the others of that code.
    EXPECT_NE(lookup(Mode::WBMB, "rhgk").exact.find(gbk("牛逼")), std::string::npos);
    std::vector<std::string> nh = completionTexts(lookup(Mode::MB1, "nh").completions);
    EXPECT_EQ(nh.back(), gbk("牛逼"));
}

// The 26 frequent characters are typed with one letter and Space (or a label): first in
// their bucket, the most frequent first. Their longer codes still type them.
TEST_F(DataLibraries, FrequentCharactersHaveOneLetterCodes)
{
    std::vector<std::string> characters = listColumn("frequent.txt", 0);
    std::vector<std::string> phonetic = listColumn("frequent.txt", 1), shape = listColumn("frequent.txt", 2);
    ASSERT_EQ(characters.size(), 26u);
    for (auto [mode, codes] : {std::pair{Mode::MB1, phonetic}, std::pair{Mode::MB4, shape}}) {
        auto buckets = packedBuckets(tableOf(mode));
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            std::vector<std::string> expected;
            for (size_t i = 0; i < characters.size(); ++i)
                if (codes[i][0] == letter)
                    expected.push_back(gbk(characters[i]));
            std::stable_sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
                return dictionaries().character(utf8(a), 0) > dictionaries().character(utf8(b), 0);
            });
            const std::vector<Entry>& bucket = buckets[letter - 'a'];
            ASSERT_GE(bucket.size(), expected.size());
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(bucket[i].code, std::string(1, letter));
                EXPECT_EQ(utf8(bucket[i].text), utf8(expected[i])) << letter << " " << i;
            }
            if (!expected.empty()) {
                EXPECT_EQ(lookup(mode, std::string(1, letter).c_str()).exact.substr(0, expected[0].size()),
                          expected[0]);
            }
        }
    }
    EXPECT_EQ(lookup(Mode::MB1, "w").exact, gbk("我"));
    EXPECT_EQ(lookup(Mode::MB1, "d").exact, gbk("的 ,地"));
    EXPECT_EQ(lookup(Mode::MB4, "h").exact, gbk("的"));
    EXPECT_EQ(lookup(Mode::MB4, "w").exact, gbk("了 ,我"));
}

// Every ideograph of the shape tables can be typed by itself: under one of its codes Space
// or a label (in either display half) takes it. Typed through the module's own engine;
// ordering must not leave a character fourth among longer entries, shown yet out of reach.
TEST_F(DataLibraries, EveryCharacterCanBeChosenUnderOneOfItsCodes)
{
    for (Mode mode : {Mode::MB1, Mode::MB4, Mode::WBMB}) {
        const CodeTable table = mode == Mode::WBMB ? dede.table("WBMB") : qxmb.table(mode == Mode::MB1 ? "MB1" : "MB4");
        ASSERT_NE(table.data, nullptr);
        std::map<std::string, std::vector<std::string>> codes;
        for (const std::vector<Entry>& bucket : packedBuckets(table))
            for (const Entry& e : bucket)
                if (e.text.size() == 2)
                    codes[e.text].push_back(e.code);
        resetEngineForTest();
        (mode == Mode::MB1 ? codeTables.MB1 : mode == Mode::MB4 ? codeTables.MB4 : codeTables.WBMB) = table;
        modes.phoneticEdition = mode == Mode::MB1;
        modes.wubiMode = mode == Mode::WBMB;
        ImeDriver ime;
        std::vector<std::string> unreachable;
        size_t tried = 0;
        for (const std::string& c : gb2312Ideographs()) {
            if (codes[c].empty())
                continue;  // the character tables hold every one (tested above), five-stroke nearly
            ++tried;
            bool typed = false;
            for (const std::string& code : codes[c]) {
                for (const char* choose : {" ", ",", ".", "'", "},", "}.", "}'"}) {
                    std::string result;
                    for (char k : code + choose) {
                        KeyOutcome o = k == ' ' ? ime.space() : ime.typeChar(k);
                        result += o.result;
                    }
                    ime.escape();
                    if ((typed = result == c))
                        break;
                }
                if (typed)
                    break;
            }
            if (!typed)
                unreachable.push_back(utf8(c));
        }
        EXPECT_GT(tried, 6700u);
        EXPECT_TRUE(unreachable.empty()) << "table " << static_cast<int>(mode) << ": " << ::testing::PrintToString(unreachable);
    }
    // The other tests read the tables the engine reset put away.
    SetUpTestSuite();
}

// "PYCZ": within each letter the longer words first, within one length the most frequent
// first, so the pinyin engine's first row is the likeliest phrase of the longest that fits.
TEST_F(DataLibraries, PinyinPhrasesLongestThenMostFrequentFirst)
{
    const unsigned char* t = codeTables.PYCZ.data;
    ASSERT_GT(codeTables.PYCZ.size, 104u);
    std::set<std::string> offensive = offensiveWords();
    auto field = [](const unsigned char* p) {
        std::string s(reinterpret_cast<const char*>(p), 30);
        s.resize(std::min(s.find("  "), s.find_last_not_of(' ') + 1));
        return s;
    };
    size_t at = 104, records = 0, faults = 0;
    for (int letter = 0; letter < 26; ++letter) {
        uint32_t count;
        std::memcpy(&count, t + 4 * letter, 4);
        size_t lastLength = 99;
        bool offensiveTail = false;
        std::map<std::string, double> firstWeight;  // pinyin -> weight of its first phrase
        for (uint32_t i = 0; i < count; ++i, at += 60, ++records) {
            ASSERT_LE(at + 60, codeTables.PYCZ.size);
            std::string pinyin = field(t + at), text = field(t + at + 30);
            ASSERT_EQ(pinyin[0], 'a' + letter);
            if (offensive.count(text)) {
                offensiveTail = true;
                continue;
            }
            EXPECT_FALSE(offensiveTail) << pinyin << " after an offensive word";
            EXPECT_LE(text.size() / 2, lastLength) << pinyin;
            lastLength = text.size() / 2;
            double weight = 0;
            for (const auto& r : dictionaries().pinyin.at(utf8(text))) {
                std::string joined;
                for (const std::string& s : r.syllables)
                    joined += (joined.empty() ? "" : " ") + s;
                if (joined == pinyin)
                    weight = std::max(weight, r.weight);
            }
            auto [first, fresh] = firstWeight.emplace(pinyin, weight);
            if (!fresh && weight > first->second && ++faults <= 5)
                ADD_FAILURE() << pinyin << ": " << utf8(text) << " (" << weight << ") after a less frequent phrase";
        }
    }
    EXPECT_EQ(faults, 0u);
    EXPECT_GT(records, 40000u);
    EXPECT_EQ(t[at], '1');  // the end mark
}

// A syllable typed whole fits only itself, and Space takes the first phrase of the longest
// that fit: so a pinyin typed in full, its syllables whole, lists first the first phrase of
// its own of that length ("wo xi" never gives a phrase of "wo xiang").
TEST_F(DataLibraries, PinyinPhrasesOfATypedPinyinComeFirst)
{
    const unsigned char* t = codeTables.PYCZ.data;
    ASSERT_GT(codeTables.PYCZ.size, 104u);
    auto field = [](const unsigned char* p) {
        std::string s(reinterpret_cast<const char*>(p), 30);
        return s.substr(0, s.find("  "));
    };
    std::map<std::pair<std::string, size_t>, std::string> first;  // (pinyin, bytes) -> its first phrase
    for (size_t at = 104; at + 60 <= codeTables.PYCZ.size && t[at] != '1'; at += 60) {
        const std::string text = field(t + at + 30);
        first.emplace(std::make_pair(field(t + at), text.size()), text);
    }
    ASSERT_GT(first.size(), 35000u);
    size_t faults = 0, checked = 0, n = 0;
    for (const auto& [key, text] : first) {
        if (n++ % 4) continue;  // a quarter of the pinyins reaches every letter
        char list[PINYIN_SYLLABLES_MAX][31] = {};
        int count = 0;
        uint32_t whole = 0;
        bool allWhole = true;
        for (size_t start = 0; start <= key.first.size() && count < PINYIN_SYLLABLES_MAX; ++count) {
            const size_t end = std::min(key.first.find(' ', start), key.first.size());
            std::strncpy(list[count], key.first.substr(start, end - start).c_str(), 30);
            const bool isWhole = end - start >= 2 && wholeSyllableIndexed(&codeTables.PYMB, list[count]);
            whole |= isWhole ? 1u << count : 0u;
            allWhole = allWhole && isWhole;
            start = end + 1;
        }
        if (!allWhole || static_cast<size_t>(count) * 2 != key.second) continue;
        std::vector<char> out(PINYIN_LIST_SIZE);
        lookupPhrasesIndexed(&codeTables.PYCZ, {list, 0, count, whole}, 11, out.data(), out.size());
        const std::string got(out.data(), strnlen(out.data(), out.size()));
        ++checked;
        if (got.substr(0, got.find(' ')) != text && ++faults <= 5)
            ADD_FAILURE() << key.first << " gives " << utf8(got.substr(0, got.find(' '))) << " before " << utf8(text);
    }
    EXPECT_EQ(faults, 0u);
    EXPECT_GT(checked, 8000u);
}

}  // namespace
