// The data libraries as the build made them, read through the module's own lookups:
// what a user can type with them, and whether start-up can load them at all.
#include "shapecode/codetable.h"

#include "gbk.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
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
        tableMB1 = qxmb.table("MB1");
        tableMB4 = qxmb.table("MB4");
        tableXCZMB = qxmb.table("XCZMB");
        tableYCZMB = qxmb.table("YCZMB");
        tableWBMB = dede.table("WBMB");
        tableXGBK = gbkLib.table("XGBK");
        tableYGBK = gbkLib.table("YGBK");
        tablePYMB = pymb.table("PYMB");
        tablePYCZ = pymb.table("PYCZ");
    }

    // Chooses the table the way start-up's settings and the engine would.
    static Lists lookup(Mode mode, const char* code)
    {
        pinyinMode = 0;
        pinyinPhraseRequest = 0;
        wubiMode = mode == Mode::WBMB;
        phoneticEdition = mode == Mode::MB1 || mode == Mode::YCZMB || mode == Mode::YGBK;
        gbkLookup = mode == Mode::XGBK || mode == Mode::YGBK;
        phraseLibraryMode = mode == Mode::XCZMB || mode == Mode::YCZMB;
        // No user phrases take part: only the library is under test.
        std::strcpy(userPhraseFile, "/nonexistent/qx-user-phrases");
        tablesMissing = 0;
        static char completions[COMPLETION_LIST_SIZE];
        static char exact[EXACT_LIST_SIZE];
        completions[0] = exact[0] = 0;
        int units = gbkLookup ? lookupGbk(code, completions, exact) : lookupPacked(code, completions, exact);
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
    for (const CodeTable* t : {&tableMB1, &tableMB4, &tableXCZMB, &tableYCZMB, &tableWBMB, &tableXGBK,
                               &tableYGBK, &tablePYMB, &tablePYCZ})
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
    std::string table(reinterpret_cast<const char*>(tablePYMB.data), tablePYMB.size);
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
    const unsigned char* p = tablePYMB.data;
    const unsigned char* end = p + tablePYMB.size;
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

}  // namespace
