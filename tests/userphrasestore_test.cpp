// The user phrase store: counting, adding and deleting whole lines, backup copies, and
// what every failure leaves behind: the user's file byte for byte.
#include "phrases/userphrasestore.h"

#include "gbk.h"
#include "tablebuilder.h"
#include "userfiles.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = tablebuilder::scratchDir() + "/store-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".rt";
        std::remove(path.c_str());
    }
    void file(const std::string& bytes) { writeFileText(path, bytes); }
    std::string bytes() const { return fileText(path); }
    StoreResult add(const char* utf8Phrase, const char* code) {
        return addUserPhrase(path.c_str(), gbk(utf8Phrase).c_str(), code);
    }
    int uses(const char* code, const char* utf8Phrase) {
        return countCodeUse(path.c_str(), code, gbk(utf8Phrase).c_str());
    }
    // The path of this process's temporary file beside the user's file.
    std::string temporary() const { return path + "." + std::to_string(getpid()) + ".tmp"; }

    std::string path;
};

}  // namespace

TEST_F(StoreTest, CountCodeUseCountsACodesLinesOrFindsThePhraseAnywhere) {
    EXPECT_EQ(uses("ab", "工作"), 0);  // no file: empty
    file(gbk("ab      工作\r\nab      学习\nabc     节日\nzz      工人\n"));
    EXPECT_EQ(uses("ab", "新词"), 2);
    EXPECT_EQ(uses("abc", "新词"), 1);
    EXPECT_EQ(uses("a", "新词"), 0);          // a prefix is not the code
    EXPECT_EQ(uses("qq", "工人"), -1);        // the phrase under another code
    EXPECT_EQ(uses("ab", "工"), 2);           // part of a phrase is not the phrase
}

TEST_F(StoreTest, AddWritesTheLineAndMendsAMissingLastNewline) {
    ASSERT_EQ(add("工作", "ab"), StoreResult::done);  // creates the file
    EXPECT_EQ(bytes(), gbk("ab      工作\r\n"));
    file(gbk("xy      学习"));  // last line without its newline
    ASSERT_EQ(add("节日", "jr"), StoreResult::done);
    EXPECT_EQ(bytes(), gbk("xy      学习\r\njr      节日\r\n"));
    EXPECT_EQ(uses("xy", "学习"), -1);
    EXPECT_EQ(uses("jr", "节日"), -1);
    // Pinyin codes run to seven letters.
    ASSERT_EQ(add("中华人民共和国", "zhrmghg"), StoreResult::done);
    EXPECT_EQ(uses("zhrmghg", "x"), 1);
}

TEST_F(StoreTest, AddRefusesWhatCouldNotBeReadBack) {
    file("keep\n");
    EXPECT_EQ(add("工作", "a1"), StoreResult::refused);
    EXPECT_EQ(add("工作", "AB"), StoreResult::refused);  // the caller folds capitals
    EXPECT_EQ(add("工作", ""), StoreResult::refused);
    EXPECT_EQ(add("工作", "abcdefgh"), StoreResult::refused);
    EXPECT_EQ(add("", "ab"), StoreResult::refused);
    EXPECT_EQ(add("工作x", "ab"), StoreResult::refused);
    EXPECT_EQ(add("一二三四五六七八九十百千", "ab"), StoreResult::refused);  // 24 bytes
    // 丂 is 0x81 0x40: its trail byte is below 0x80, readers would lose it.
    EXPECT_EQ(addUserPhrase(path.c_str(), "\x81\x40", "ab"), StoreResult::refused);
    EXPECT_EQ(bytes(), "keep\n");
    std::string code, typed = "AbC";
    EXPECT_TRUE(foldUserCode(typed, false, 4, code));
    EXPECT_EQ(code, "abc");
    EXPECT_FALSE(foldUserCode("a;b", false, 4, code));
    EXPECT_TRUE(foldUserCode("a;b/", true, 4, code));
    EXPECT_FALSE(foldUserCode("ab\xB9\xA4", true, 4, code));
    EXPECT_FALSE(foldUserCode("abcde", true, 4, code));
}

TEST_F(StoreTest, TheLineCapCountsALastLineWithoutNewline) {
    std::string lines;
    for (int i = 0; i < USER_PHRASE_LINE_LIMIT - 1; ++i) lines += "a       " + gbk("工") + "\n";
    file(lines + "b       " + gbk("人"));  // line 1999 has no newline
    EXPECT_EQ(countUserPhraseLines(path.c_str(), 5000), USER_PHRASE_LINE_LIMIT);
    EXPECT_EQ(add("工作", "gz"), StoreResult::full);
    file(lines);
    EXPECT_EQ(add("工作", "gz"), StoreResult::done);
    EXPECT_EQ(add("学习", "xx"), StoreResult::full);
}

TEST_F(StoreTest, DeleteDropsOnlyTheFirstEqualLineAndKeepsEveryOtherByte) {
    const std::string longLine(140, 'q');  // longer than any reader's line
    const std::string before = gbk("ab      工作\r\n") + longLine + "\n" + gbk("ab      工作\nab      工作\n\nzz      尾巴");
    file(before);
    ASSERT_EQ(deleteUserPhrase(path.c_str(), gbk("ab      工作").c_str()), StoreResult::done);
    EXPECT_EQ(bytes(), longLine + "\n" + gbk("ab      工作\nab      工作\n\nzz      尾巴"));
    // The last line, without a newline, is a whole line too.
    ASSERT_EQ(deleteUserPhrase(path.c_str(), gbk("zz      尾巴").c_str()), StoreResult::done);
    EXPECT_EQ(bytes(), longLine + "\n" + gbk("ab      工作\nab      工作\n\n"));
    // A piece of a line is not the line.
    EXPECT_EQ(deleteUserPhrase(path.c_str(), gbk("ab      工").c_str()), StoreResult::notFound);
    EXPECT_EQ(deleteUserPhrase(path.c_str(), longLine.substr(0, 30).c_str()), StoreResult::notFound);
    ASSERT_EQ(deleteUserPhrase(path.c_str(), longLine.c_str()), StoreResult::done);
    EXPECT_EQ(bytes(), gbk("ab      工作\nab      工作\n\n"));
    std::remove(path.c_str());
    EXPECT_EQ(deleteUserPhrase(path.c_str(), "x"), StoreResult::notFound);
}

TEST_F(StoreTest, ListHoldsWholeLinesOfAnyLength) {
    // 8 + 22 bytes: the longest legal line, which pieces of 30 bytes would have cut.
    const std::string longest = gbk("abcd    一二三四五六七八九十百");
    file(longest + "\r\n\n" + gbk("x       人"));
    std::vector<std::string> lines;
    ASSERT_TRUE(readUserPhraseList(path.c_str(), lines));
    EXPECT_EQ(lines, (std::vector<std::string>{longest, gbk("x       人")}));
    std::remove(path.c_str());
    EXPECT_TRUE(readUserPhraseList(path.c_str(), lines));
    EXPECT_TRUE(lines.empty());
}

// Failures while writing: the temporary file cannot be made, or the disk fills up. The
// user's file stays byte for byte and nothing is left beside it.
TEST_F(StoreTest, AWriteThatFailsLeavesTheFileAsItWas) {
    const std::string before = gbk("ab      工作\nab      学习\n");
    file(before);
    ASSERT_EQ(mkdir(temporary().c_str(), 0700), 0);  // the temporary file cannot be created
    EXPECT_EQ(deleteUserPhrase(path.c_str(), gbk("ab      工作").c_str()), StoreResult::failed);
    EXPECT_EQ(add("节日", "jr"), StoreResult::failed);
    EXPECT_EQ(bytes(), before);
    rmdir(temporary().c_str());

    // A full disk: writes past a few bytes fail (the file-size limit stands in for it).
    std::string big;
    for (int i = 0; i < 200; ++i) big += "ab      " + gbk("工作") + "\n";
    file(big);
    struct sigaction ignore {}, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit limit{}, saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit.rlim_cur = 100;
    limit.rlim_max = saved.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const StoreResult deleted = deleteUserPhrase(path.c_str(), gbk("ab      工作").c_str());
    const StoreResult added = add("节日", "jr");
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(deleted, StoreResult::failed);
    EXPECT_EQ(added, StoreResult::failed);
    EXPECT_EQ(bytes(), big);
    EXPECT_NE(access(temporary().c_str(), F_OK), 0);
}

TEST_F(StoreTest, NoFileNamedIsAFailureThatWritesNothing) {
    // Without a file name a save once wrote and synced ".PID.tmp" in the current folder.
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(tablebuilder::scratchDir().c_str()), 0);
    const std::string stray = "." + std::to_string(getpid()) + ".tmp";
    std::remove(stray.c_str());
    // A file made and removed again would change the folder's time of last change; the
    // clock behind it is coarse, so one of its ticks passes first.
    struct stat before {}, after {};
    ASSERT_EQ(stat(".", &before), 0);
    usleep(30000);
    EXPECT_EQ(addUserPhrase("", gbk("节日").c_str(), "jr"), StoreResult::failed);
    ASSERT_EQ(stat(".", &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_NE(access(stray.c_str(), F_OK), 0);
    EXPECT_EQ(countCodeUse("", "jr", gbk("节日").c_str()), 0);
    ASSERT_EQ(chdir(here), 0);
}

TEST_F(StoreTest, RestoreReplacesNothingUntilEveryCopyIsComplete) {
    const std::string dir = tablebuilder::scratchDir();
    const std::vector<std::string> sources = {dir + "/src-a.rt", dir + "/src-b.rt", dir + "/src-missing.rt"};
    const std::vector<std::string> targets = {dir + "/dst-a.rt", dir + "/dst-b.rt", dir + "/dst-c.rt"};
    std::remove(sources[2].c_str());
    writeFileText(sources[0], "new a\n");
    writeFileText(sources[1], "new b\n");
    for (const std::string& target : targets) writeFileText(target, "old\n");

    {
        // The second source cannot be read: the first target must not have been replaced.
        UnreadableFile unreadable(sources[1]);
        ASSERT_TRUE(unreadable.unreadable());
        EXPECT_EQ(replaceUserFiles(sources, targets), -1);
    }
    for (const std::string& target : targets) EXPECT_EQ(fileText(target), "old\n");

    // A source that is missing leaves its target alone.
    EXPECT_EQ(replaceUserFiles(sources, targets), 2);
    EXPECT_EQ(fileText(targets[0]), "new a\n");
    EXPECT_EQ(fileText(targets[1]), "new b\n");
    EXPECT_EQ(fileText(targets[2]), "old\n");

    EXPECT_TRUE(copyUserFile(sources[0].c_str(), targets[2].c_str()));
    EXPECT_EQ(fileText(targets[2]), "new a\n");
    EXPECT_FALSE(copyUserFile(sources[2].c_str(), targets[2].c_str()));
    EXPECT_EQ(fileText(targets[2]), "new a\n");
}

TEST(PhraseText, AsciiIsFoundByCharacterNotByByte) {
    EXPECT_FALSE(holdsAsciiCharacter(""));
    EXPECT_FALSE(holdsAsciiCharacter(gbk("工作").c_str()));
    // 丂 (0x81 0x40) and 丟 (0x81 0x47): trail bytes in the ASCII range are not ASCII.
    EXPECT_FALSE(holdsAsciiCharacter("\x81\x40\x81\x47"));
    EXPECT_TRUE(holdsAsciiCharacter("\x81\x40" "a"));
    EXPECT_TRUE(holdsAsciiCharacter(gbk("工 作").c_str()));
    EXPECT_TRUE(validUserPhrase(gbk("工作"), 22));
    EXPECT_FALSE(validUserPhrase(gbk("工作"), 2));
    EXPECT_FALSE(validUserPhrase("\xB9", 22));
    EXPECT_EQ(cutAtSpace("ab cd"), "ab");
    EXPECT_EQ(cutAtSpace(" ab"), "");
}
