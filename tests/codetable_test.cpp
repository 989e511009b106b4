// Code-table lookups over small tables built with mbtool, and over damaged tables built
// by hand.
#include "shapecode/codetable.h"

#include "core/engine.h"
#include "shapecode/shapecode.h"

#include "tablebuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using tablebuilder::buildTable;
using tablebuilder::gbk;

namespace {

class CodeTableTest : public ::testing::Test {
protected:
    void usePacked(const std::string& source) { usePackedBytes(buildTable("packed", source)); }
    void usePackedBytes(std::vector<uint8_t> bytes) { table = std::move(bytes); }
    void useFixed(const std::string& source) { table = buildTable("fixed", source); }
    // The lookups on the table in use, without user phrases.
    int packed(const char* code) {
        completions[0] = exact[0] = '\0';
        const CodeTable t = current();
        return lookupPacked(present ? &t : nullptr, nullptr, code, completions, exact);
    }
    int fixed(const char* code) {
        completions[0] = exact[0] = '\0';
        const CodeTable t = current();
        return lookupGbk(&t, code, completions, exact);
    }
    CodeTable current() const { return {table.data(), static_cast<uint32_t>(table.size())}; }

    std::vector<uint8_t> table;
    bool present = true;
    char completions[COMPLETION_LIST_SIZE];
    char exact[EXACT_LIST_SIZE];
};

// Packed table bytes by hand: a header whose bucket 'a' holds the given records.
std::vector<uint8_t> packedWithBucketA(const std::vector<uint8_t>& records) {
    std::vector<uint8_t> bytes(TABLE_HEADER_SIZE, 0);
    for (int k = 1; k <= TABLE_BUCKETS; ++k) bytes[4 * k] = static_cast<uint8_t>(records.size());
    bytes.insert(bytes.end(), records.begin(), records.end());
    return bytes;
}

}  // namespace

TEST_F(CodeTableTest, OneLetterCodeListsItsWholeBucket) {
    usePacked("a\t工\nab\t节\nabc\t花\nb\t了\na\t戈\n");
    int half = packed("a");
    EXPECT_EQ(gbk("工 ,戈"), exact);
    // Every longer code of the bucket, with its second letter as hint; "b" stays out.
    EXPECT_EQ(gbk(" b节 b花"), completions);
    EXPECT_EQ(static_cast<int>(std::strlen(completions) / 2), half);
}

TEST_F(CodeTableTest, HintIsTheLetterAfterTheTypedCode) {
    usePacked("abcd\t花\nabc\t节\nabcd\t工作\nabd\t戈\n");
    packed("ab");
    EXPECT_STREQ("", exact);
    EXPECT_EQ(gbk(" c花 c节 c工作 d戈"), completions);
    packed("abc");
    EXPECT_EQ(gbk("节"), exact);
    EXPECT_EQ(gbk(" d花 d工作"), completions);
}

TEST_F(CodeTableTest, FourLetterCodeGivesExactEntriesOnly) {
    usePacked("abcd\t花\nabcd\t工作\nabc\t节\n");
    EXPECT_EQ(0, packed("abcd"));
    EXPECT_EQ(gbk("花 ,工作"), exact);
    EXPECT_STREQ("", completions);
    // Longer than four letters matches nothing.
    EXPECT_EQ(0, packed("abcda"));
    EXPECT_STREQ("", exact);
}

// The fourth letter is split over both code bytes, next to the phrase bit: every part of
// it must decide the match, and the phrase bit none of it.
TEST_F(CodeTableTest, FourthLetterMatchesInBothItsParts) {
    usePacked("abcz\t花\nabcy\t节\nabc/\t工作\nabc;\t戈\nabcz\t工作\nabcx\t了\n");
    packed("abcz");
    EXPECT_EQ(gbk("花 ,工作"), exact);
    packed("abc/");
    EXPECT_EQ(gbk("工作"), exact);
    packed("abc;");
    EXPECT_EQ(gbk("戈"), exact);
    packed("abc");
    EXPECT_STREQ("", exact);
    EXPECT_EQ(gbk(" z花 y节 /工作 ;戈 z工作 x了"), completions);
    // A typed character that is no code letter matches no record.
    EXPECT_EQ(0, packed("ab?"));
    EXPECT_STREQ("", exact);
    EXPECT_EQ(0, packed("abcA"));
    EXPECT_STREQ("", exact);
}

TEST_F(CodeTableTest, ExactEntriesAreLabelledInOrder) {
    usePacked("k\t一\nk\t二\nk\t三\nk\t四\nk\t五\n");
    packed("k");
    EXPECT_EQ(gbk("一 ,二 .三 '四 '五"), exact);
}

TEST_F(CodeTableTest, NiuNeverStandsThird) {
    usePacked("n\t你\nn\t那\nn\t牛\nn\t年\nn\t牛\n");
    packed("n");
    // Skipped as third; the fourth entry takes the place; later it may stand fourth.
    EXPECT_EQ(gbk("你 ,那 .年 '牛"), exact);

    usePacked("n\t牛\nn\t那\n");
    packed("n");
    EXPECT_EQ(gbk("牛 ,那"), exact);
}

TEST_F(CodeTableTest, SemicolonAndSlashHaveTheirOwnBuckets) {
    usePacked(";\t中\n;a\t国\n/\t人\n/b\t民\nz\t在\n");
    packed(";");
    EXPECT_EQ(gbk("中"), exact);
    EXPECT_EQ(gbk(" a国"), completions);
    packed("/");
    EXPECT_EQ(gbk("人"), exact);
    EXPECT_EQ(gbk(" b民"), completions);
    packed("/b");
    EXPECT_EQ(gbk("民"), exact);
}

TEST_F(CodeTableTest, NothingWithoutBucketOrTable) {
    usePacked("a\t工\n");
    EXPECT_EQ(0, packed("A"));
    EXPECT_EQ(0, packed("1"));
    EXPECT_STREQ("", exact);
    present = false;
    EXPECT_EQ(0, packed("a"));
    EXPECT_STREQ("", exact);
    EXPECT_STREQ("", completions);
}

TEST_F(CodeTableTest, TwoCharacterPhraseTakesExactlyFourTextBytes) {
    // A two-character phrase, then a character and a fifteen-character phrase: each
    // record must begin exactly where the one before ends.
    usePacked("a\t工作\na\t式\na\t中华人民共和国中华人民共和国中\n");
    packed("a");
    EXPECT_EQ(gbk("工作 ,式 .中华人民共和国中华人民共和国中"), exact);
}

TEST_F(CodeTableTest, PhraseOfLengthZeroOrOneIsPassedOver) {
    // Phrase bit set, length bits 0001 and 0000, then a valid character record.
    std::vector<uint8_t> records = {0x00, 0x20, 0x36, 0x21, 0x39, 0xA4,   // n = 1
                                    0x00, 0x20, 0x36, 0x21, 0x39, 0x24,   // n = 0
                                    0x00, 0x00, 0x39, 0x24};              // 工
    usePackedBytes(packedWithBucketA(records));
    packed("a");
    EXPECT_EQ(gbk("工"), exact);
}

TEST_F(CodeTableTest, RecordRunningPastItsBucketEndsTheScan) {
    // A phrase of 15 characters whose bytes are cut off by the bucket's end; the
    // next bucket holds a character the scan must not take for the phrase's tail.
    std::vector<uint8_t> records = {0x00, 0x00, 0x39, 0x24,               // a: 工
                                    0x00, 0x20, 0xB9, 0xA4, 0xB9, 0xA4};  // a: 15 characters, 4 bytes given
    std::vector<uint8_t> bytes = packedWithBucketA(records);
    for (int k = 2; k <= TABLE_BUCKETS; ++k) bytes[4 * k] = static_cast<uint8_t>(records.size() + 4);
    for (uint8_t b : {0x00, 0x00, 0x39, 0x24}) bytes.push_back(b);  // b: 工
    usePackedBytes(bytes);
    packed("a");
    EXPECT_EQ(gbk("工"), exact);
    EXPECT_STREQ("", completions);
}

TEST_F(CodeTableTest, OffsetsBeyondTheTableFindNothing) {
    std::vector<uint8_t> bytes(TABLE_HEADER_SIZE, 0);
    for (int k = 1; k <= TABLE_BUCKETS; ++k) bytes[4 * k] = 0xFF, bytes[4 * k + 1] = 0xFF, bytes[4 * k + 3] = 0x7F;
    usePackedBytes(bytes);
    EXPECT_EQ(0, packed("a"));
    EXPECT_STREQ("", exact);
    // A table shorter than its header.
    usePackedBytes(std::vector<uint8_t>(40, 0));
    EXPECT_EQ(0, packed("a"));
}

TEST_F(CodeTableTest, ListsStopBeforeOverflowing) {
    std::string source;
    for (int i = 0; i < 30; ++i) source += "q\t一\n";
    for (int i = 0; i < 10000; ++i) source += "qa\t二\n";
    usePacked(source);
    int half = packed("q");
    size_t exactLength = std::strlen(exact);
    EXPECT_LT(exactLength, EXACT_LIST_SIZE);
    // Only whole entries: "一" then " ,一" ... each further entry 4 bytes.
    EXPECT_EQ(2u, exactLength % 4);
    EXPECT_GT(exactLength, EXACT_LIST_SIZE - 6);
    size_t completionLength = std::strlen(completions);
    EXPECT_LT(completionLength, COMPLETION_LIST_SIZE);
    EXPECT_EQ(0u, completionLength % 4);
    EXPECT_EQ(static_cast<int>(completionLength / 2), half);
}

TEST_F(CodeTableTest, ChooserFollowsTheModeFlags) {
    static const unsigned char byte = 0;
    CodeTables& t = codeTables;
    CodeTable* slots[] = {&t.MB1, &t.MB4, &t.XCZMB, &t.YCZMB, &t.XGBK,
                          &t.YGBK, &t.WBMB, &t.PYMB, &t.PYCZ};
    for (CodeTable* slot : slots) *slot = CodeTable{&byte, 1};
    struct Case {
        int phrase, wubi, pinyin, phonetic, library, gbk;
        const CodeTable* expected;
    } cases[] = {
        {1, 1, 1, 1, 1, 1, &t.PYCZ}, {0, 1, 0, 1, 1, 1, &t.WBMB}, {0, 0, 1, 1, 0, 0, &t.PYMB},
        {0, 1, 1, 0, 0, 0, nullptr},    {0, 0, 0, 1, 0, 0, &t.MB1},  {0, 0, 0, 1, 0, 1, &t.YGBK},
        {0, 0, 0, 1, 1, 0, &t.YCZMB}, {0, 0, 0, 0, 0, 0, &t.MB4}, {0, 0, 0, 0, 0, 1, &t.XGBK},
        {0, 0, 0, 0, 1, 0, &t.XCZMB}, {0, 0, 0, 0, 1, 1, nullptr},   {0, 0, 0, 1, 1, 1, nullptr},
    };
    for (const Case& c : cases) {
        modes.pinyinPhraseRequest = c.phrase, modes.wubiMode = c.wubi, modes.pinyinMode = c.pinyin;
        modes.phoneticEdition = c.phonetic, shapeCode.phraseLibraryMode = c.library, modes.gbkLookup = c.gbk;
        EXPECT_EQ(c.expected, currentCodeTable()) << c.phrase << c.wubi << c.pinyin << c.phonetic << c.library << c.gbk;
    }
    // An unloaded slot is no table.
    modes = {};
    shapeCode.phraseLibraryMode = 0;
    codeTables.MB4 = CodeTable{};
    EXPECT_EQ(nullptr, currentCodeTable());
    resetProcessState();
}

TEST_F(CodeTableTest, CursorNeverReadsPastTheTable) {
    const unsigned char bytes[] = {1, 2, 3, 4, 5};
    CodeTable t{bytes, sizeof bytes};
    unsigned char out[4] = {9, 9, 9, 9};
    TableCursor c = readBytes(tableAt(&t, 2), out, 3);
    EXPECT_FALSE(c.failed);
    EXPECT_EQ(5u, c.offset);
    EXPECT_EQ(3, out[0]);
    c = readBytes(tableAt(&t, 3), out, 4);
    EXPECT_TRUE(c.failed);
    EXPECT_EQ(0, out[0] | out[1] | out[2] | out[3]);
    // Once failed, stays failed even for a read that would fit.
    c = readBytes(c, out, 1);
    EXPECT_TRUE(c.failed);
    EXPECT_TRUE(tableAt(&t, 6).failed);
}

TEST_F(CodeTableTest, FixedTableListsTwelveLabelledExactEntries) {
    std::string source;
    const char* chars[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九", "十", "百", "千", "万"};
    for (const char* c : chars) source += std::string("ab\t") + c + "\n";
    source += "abc\t丂\nabd\t亐\nb\t了\n";
    useFixed(source);
    int half = fixed("ab");
    EXPECT_EQ(gbk("一 ,二 .三 '四 5五 6六 ~七 ,八 .九 '十 5百 6千"), exact);
    // GBK characters beyond GB2312 are held as they are.
    EXPECT_EQ(gbk(" c丂 d亐"), completions);
    EXPECT_EQ(4, half);
}

TEST_F(CodeTableTest, FixedTableBucketsAndMisses) {
    useFixed("a\t工\nb\t了\nbc\t子\n;\t中\n/\t人\n");
    fixed("b");
    EXPECT_EQ(gbk("了"), exact);
    EXPECT_EQ(gbk(" c子"), completions);
    fixed("/");
    EXPECT_EQ(gbk("人"), exact);
    EXPECT_EQ(0, fixed("bcd"));
    EXPECT_STREQ("", exact);
    EXPECT_EQ(0, fixed("#"));
    // Counts that put a bucket beyond the table's end find nothing there.
    table[1] = 0xFF, table[2] = 0xFF;
    EXPECT_EQ(0, fixed("bc"));
    EXPECT_STREQ("", exact);
    // A count larger than the table holds stops at the table's end.
    table[1] = table[2] = 0;
    table[4] = 0xFF, table[5] = 0xFF;
    fixed("bc");
    EXPECT_EQ(gbk("子"), exact);
}

TEST_F(CodeTableTest, FixedRecordsThatAreNoCharacterAreLeftOut) {
    useFixed("ab\t工\nab\t了\nabc\t子\nabd\t中\n");
    // First record's character becomes "\0\xA4"; third record's next letter becomes NUL.
    table[TABLE_HEADER_SIZE + 4] = 0;
    table[TABLE_HEADER_SIZE + 12 + 2] = 0;
    int half = fixed("ab");
    EXPECT_EQ(gbk("了"), exact);
    EXPECT_EQ(gbk(" d中"), completions);
    EXPECT_EQ(2, half);
}

TEST_F(CodeTableTest, PhraseHeaderCutByTheTableEndStopsTheScan) {
    // The last bucket's final record claims to be a phrase but only four bytes remain.
    std::vector<uint8_t> bytes = packedWithBucketA({0x00, 0x00, 0x39, 0x24, 0x00, 0x20, 0x36, 0x21});
    usePackedBytes(bytes);
    packed("a");
    EXPECT_EQ(gbk("工"), exact);
}
