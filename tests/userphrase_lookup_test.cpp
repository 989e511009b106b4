// Lookups in the user phrase file, alone and after a table lookup.
#include "phrases/userphrasefile.h"
#include "phrases/userphrases.h"
#include "shapecode/codetable.h"

#include "tablebuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using tablebuilder::gbk;

namespace {

class UserPhraseTest : public ::testing::Test {
protected:
    // The file holds GBK: the lines are given in UTF-8 and converted.
    void phraseFile(const std::string& utf8Lines) { path = tablebuilder::writeScratchFile("user.rt", gbk(utf8Lines)); }
    void user(const char* code, int state = 0) {
        completions[0] = exact[0] = '\0';
        exactState = state;
        EXPECT_EQ(0, lookupUserPhrases(path.c_str(), code, completions, exact, &exactState));
    }
    std::string found(const char* code, size_t maxLetters = 4) {
        char out[200] = "";
        findUserPhrasesExact(path.c_str(), code, maxLetters, out, sizeof out);
        return out;
    }

    std::string path;
    char completions[USER_COMPLETION_LIST_SIZE];
    char exact[USER_EXACT_LIST_SIZE];
    int exactState = 0;
};

}  // namespace

TEST_F(UserPhraseTest, ExactAndCompletionLines) {
    phraseFile("ab 工作\nabc   节日\nab 学习\nb 了\nabcde 长码\nx\nab\n");
    user("ab");
    EXPECT_EQ(gbk("工作 ,学习"), exact);
    EXPECT_EQ(2, exactState);
    // Only four code letters count: "abcde" is "abcd".
    EXPECT_EQ(gbk(" c节日 c长码"), completions);
    user("abcd");
    EXPECT_EQ(gbk("长码"), exact);
}

TEST_F(UserPhraseTest, LabelsContinueAfterTheTableEntries) {
    std::vector<uint8_t> bytes = tablebuilder::buildTable("packed", "ab\t工\nab\t戈\nab\t七\n");
    const CodeTable table{bytes.data(), static_cast<uint32_t>(bytes.size())};
    phraseFile("ab 工作\nab 学习\nabc 节日\n");
    char tableCompletions[COMPLETION_LIST_SIZE] = "";
    char tableExact[EXACT_LIST_SIZE] = "";
    int half = lookupPacked(&table, path.c_str(), "ab", tableCompletions, tableExact);
    EXPECT_EQ(gbk("工 ,戈 .七 '工作 '学习"), tableExact);
    EXPECT_EQ(gbk(" c节日"), tableCompletions);
    EXPECT_EQ(3, half);

    // Without a file the table's entries stand alone.
    tableCompletions[0] = tableExact[0] = '\0';
    lookupPacked(&table, nullptr, "ab", tableCompletions, tableExact);
    EXPECT_EQ(gbk("工 ,戈 .七"), tableExact);
    EXPECT_STREQ("", tableCompletions);
}

TEST_F(UserPhraseTest, UserPhrasesAloneWhenTheSlotIsEmpty) {
    phraseFile("q 去\n");
    char tableCompletions[COMPLETION_LIST_SIZE] = "";
    char tableExact[EXACT_LIST_SIZE] = "";
    lookupPacked(nullptr, path.c_str(), "q", tableCompletions, tableExact);
    EXPECT_EQ(gbk("去"), tableExact);
}

TEST_F(UserPhraseTest, OverlongLineDoesNotDisturbTheNext) {
    std::string longLine = "ab ";
    for (int i = 0; i < 60; ++i) longLine += "长";  // 123 bytes
    phraseFile(longLine + "\nab 工作\r\nabc 节日\n");
    user("ab");
    EXPECT_EQ(gbk("工作"), exact);
    EXPECT_EQ(gbk(" c节日"), completions);
}

TEST_F(UserPhraseTest, LineOfExactlyTheLimitIsRead) {
    // 99 bytes before the newline is the longest line; one more and it is passed over.
    std::string fits = "a" + std::string(94, ' ') + "一二";
    std::string over = "b" + std::string(95, ' ') + "一二";
    ASSERT_EQ(USER_PHRASE_LINE_MAX, gbk(fits).size());
    phraseFile(fits + "\n" + over + "\nb 工\n");
    user("a");
    EXPECT_EQ(gbk("一二"), exact);
    user("b");
    EXPECT_EQ(gbk("工"), exact);
}

TEST_F(UserPhraseTest, PhraseIsTheHighByteRunAfterTheSpaces) {
    phraseFile("ab    中国 人\nac中文\nad x汉字\nae \n");
    user("a");
    EXPECT_EQ(gbk(" b中国 c中文"), completions);
    EXPECT_STREQ("", exact);
}

TEST_F(UserPhraseTest, CompletionsStopOnceTheListPassesTwoHundredBytes) {
    std::string lines;
    for (int i = 0; i < 100; ++i) lines += "ab 工作\n";
    phraseFile(lines);
    user("a");
    // Each entry is 6 bytes; reading stops after the list grows past 199 bytes.
    EXPECT_EQ(204u, std::strlen(completions));
}

TEST_F(UserPhraseTest, MissingFileIsSkipped) {
    path = "/nonexistent/qx/fread.rt";
    user("ab", 2);
    EXPECT_STREQ("", exact);
    EXPECT_EQ(2, exactState);
}

TEST_F(UserPhraseTest, FindExactReadsLetterCodes) {
    phraseFile("zg      中国\nzgr     中国人\nzg 证过\nzgrmgh  中华人民共和国\nZG 大写\n");
    EXPECT_EQ(gbk("中国 证过 "), found("zg"));
    // Four letters at most for the shape codes, eight for the pinyin engine.
    EXPECT_EQ(gbk("中华人民共和国 "), found("zgrm"));
    EXPECT_EQ(gbk("中华人民共和国 "), found("zgrmgh", 8));
    // A small output takes only whole entries.
    char small[8] = "";
    findUserPhrasesExact(path.c_str(), "zg", 4, small, sizeof small);
    EXPECT_EQ(gbk("中国 "), small);
}

TEST(UserPhraseLineTest, ReadsWholeLinesAndSkipsOverlongOnes) {
    std::string text = std::string(250, 'a') + "\nshort\r\n" + std::string(100, 'b') + "\nlast";
    FILE* file = fmemopen(text.data(), text.size(), "r");
    ASSERT_NE(nullptr, file);
    UserPhraseLine line;
    ASSERT_TRUE(readUserPhraseLine(file, line));
    EXPECT_STREQ("short", line.text);
    ASSERT_TRUE(readUserPhraseLine(file, line));
    EXPECT_STREQ("last", line.text);
    EXPECT_FALSE(readUserPhraseLine(file, line));
    std::fclose(file);
}
