// The two web-address list files: loading each on its own, counting what cannot be kept,
// writing only what changed and only through a temporary file, and merging another copy.
#include "gbk.h"
#include "weblistfiles.h"

#include <gtest/gtest.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include "core/engine.h"
#include "webaddress/weblists.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class WebLists : public ::testing::Test {
protected:
    void SetUp() override {
        winapiResetDesktop();
        freshWebLists();
    }
    void TearDown() override { winapiFailFileWrites(nullptr, 0); }

    static std::vector<std::string> block(int list, char letter) {
        std::vector<std::string> out;
        for (const std::string& record : webBlockRecords(list, letter)) out.push_back(utf8(record));
        return out;
    }
    // A folder of its own holding a list file, for the merges.
    static std::string folderWith(const std::string& name, const std::string& bytes,
                                  const std::string& folder = "merge") {
        const fs::path dir = fs::path(systemFile("")) / ".." / folder;
        fs::create_directories(dir);
        std::ofstream(dir / name, std::ios::binary | std::ios::trunc) << bytes;
        return fs::canonical(dir).string();
    }
    static WebMergeOutcome merge(int list, const std::string& folder) {
        winapiPushFolderAnswer(folder.c_str());
        WebMergeOutcome outcome;
        mergeWebList(list, nullptr, &outcome);
        return outcome;
    }
};

using Records = std::vector<std::string>;

TEST_F(WebLists, EachLetterGoesToItsBlockAndALaterRunAddsToIt) {
    writeSystemFile("zwwz.dat", webListFile({"bd 百度 www.baidu.com ", "aqy 爱奇艺 www.iqiyi.com ",
                                             "aly 阿里云 www.aliyun.com* ", "bdbk 百度百科 baike.baidu.com ",
                                             "ajk 安居客 www.anjuke.com "}));
    loadWebLists();
    ASSERT_TRUE(webListLoaded(WEB_PUBLIC_LIST));
    // The second run of 'b' and of 'a' come after the first, nothing is overwritten.
    EXPECT_EQ(block(0, 'a'), (Records{"aqy 爱奇艺 www.iqiyi.com ", "aly 阿里云 www.aliyun.com* ",
                                      "ajk 安居客 www.anjuke.com "}));
    EXPECT_EQ(block(0, 'b'), (Records{"bd 百度 www.baidu.com ", "bdbk 百度百科 baike.baidu.com "}));
    EXPECT_EQ(webListFiles.dropped[0], 0);
}

TEST_F(WebLists, LinesThatAreNoRecordsAreCountedAndLineEndsAreNotKept) {
    writeSystemFile("grwz.dat", gbk("aa 甲 a.cn \r\n"   // kept, without its carriage return
                                    "ab 乙 b.cn\n"      // two spaces
                                    "ac 丙 c.cn x y\n"  // four spaces
                                    "ad  d.cn \n"       // no name
                                    "ae 丁 * \n"        // a star but no address
                                    "Af 戊 f.cn \n"     // not a block letter
                                    "\r\n\n" +          // empty lines are nothing
                                    std::string("ag 己 ") +
                                    std::string(83, 'g') + " \n" +                         // 90 bytes
                                    std::string("ah 庚 ") + std::string(82, 'h') + " "));  // 89, last line
    loadWebLists();
    ASSERT_TRUE(webListLoaded(WEB_PERSONAL_LIST));
    const Records a = block(1, 'a');
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0], "aa 甲 a.cn ");
    EXPECT_EQ(a[1].size(), 89u - 2u + 3u);  // 庚 is 2 bytes in GBK, 3 in UTF-8
    EXPECT_EQ(webListFiles.dropped[1], 6);
}

TEST_F(WebLists, The201stRecordOfALetterIsCounted) {
    std::string file;
    for (int i = 0; i < 201; ++i)
        file += "a" + std::string(1, char('a' + i / 26)) + std::string(1, char('a' + i % 26)) + " x " +
                std::to_string(i) + ".cn \n";
    writeSystemFile("grwz.dat", gbk(file));
    loadWebLists();
    EXPECT_EQ(webBlockRecords(1, 'a').size(), 200u);
    EXPECT_EQ(webListFiles.dropped[1], 1);
    EXPECT_EQ(webBlockRecords(1, 'a').back(), "ahr x 199.cn ");
}

// A fresh installation has no personal list: the public one is usable all the same, and
// the missing file is created empty.
TEST_F(WebLists, AMissingFileIsAnEmptyListThatDoesNotStopTheOther) {
    writeSystemFile("zwwz.dat", webListFile({"bd 百度 www.baidu.com "}));
    loadWebLists();
    EXPECT_TRUE(webListLoaded(WEB_PUBLIC_LIST));
    EXPECT_TRUE(webListLoaded(WEB_PERSONAL_LIST));
    EXPECT_EQ(block(0, 'b'), Records{"bd 百度 www.baidu.com "});
    EXPECT_EQ(readSystemFile("grwz.dat"), "");

    // Without the public list the personal one still loads, and nothing writes it over.
    freshWebLists();
    const std::string personal = webListFile({"wd 我的 my.example.cn "});
    writeSystemFile("grwz.dat", personal);
    loadWebLists();
    EXPECT_EQ(block(1, 'w'), Records{"wd 我的 my.example.cn "});
    EXPECT_EQ(saveWebLists(), 1);
    EXPECT_EQ(readSystemFile("grwz.dat"), personal);
}

TEST_F(WebLists, AFileThatCannotBeReadLeavesItsListUnloadedAndUnwritten) {
    fs::create_directories(systemFile("grwz.dat"));  // there, but no file to read
    writeSystemFile("zwwz.dat", webListFile({"bd 百度 www.baidu.com "}));
    loadWebLists();
    EXPECT_TRUE(webListLoaded(WEB_PUBLIC_LIST));
    EXPECT_FALSE(webListLoaded(WEB_PERSONAL_LIST));
    webListFiles.changed[1] = 1;
    EXPECT_EQ(saveWebList(WEB_PERSONAL_LIST), 1);  // nothing to write: the list is not the file's
    EXPECT_TRUE(fs::is_directory(systemFile("grwz.dat")));
    // Every later load tries again.
    removeSystemFile("grwz.dat");
    writeSystemFile("grwz.dat", webListFile({"wd 我的 my.example.cn "}));
    loadWebLists();
    EXPECT_TRUE(webListLoaded(WEB_PERSONAL_LIST));
}

TEST_F(WebLists, OnlyAChangedListIsWrittenAndItLoadsBackTheSame) {
    const std::string original = webListFile({"bd 百度 www.baidu.com ", "aly 阿里云 www.aliyun.com* "});
    writeSystemFile("zwwz.dat", original);
    writeSystemFile("grwz.dat", "");
    loadWebLists();
    EXPECT_EQ(saveWebLists(), 1);
    EXPECT_EQ(readSystemFile("zwwz.dat"), original);  // unchanged: not rewritten

    // An edit that changes nothing still has the list written, from the file as it is.
    recordWebEdit(WEB_PUBLIC_LIST, WebEditKind::add, gbk("bd 百度 www.baidu.com ").c_str());
    ASSERT_EQ(saveWebLists(), 1);
    // Blocks a to z, lines ended as Windows ends them, the last line without an end.
    EXPECT_EQ(utf8(readSystemFile("zwwz.dat")), "aly 阿里云 www.aliyun.com* \r\nbd 百度 www.baidu.com ");
    EXPECT_EQ(readSystemFile("grwz.dat"), "");
    EXPECT_FALSE(fs::exists(systemFile(webListTemporary("zwwz.dat"))));
    EXPECT_EQ(webListFiles.changed[0], 0);

    const Records a = block(0, 'a'), b = block(0, 'b');
    resetProcessState();
    loadWebLists();
    EXPECT_EQ(block(0, 'a'), a);
    EXPECT_EQ(block(0, 'b'), b);
}

TEST_F(WebLists, AFailedWriteLeavesTheOldFileByteForByte) {
    const std::string original = webListFile({"wd 我的 my.example.cn ", "wx 无线 wx.example.cn "}) + "junk\n";
    writeSystemFile("grwz.dat", original);
    loadWebLists();
    recordWebEdit(WEB_PERSONAL_LIST, WebEditKind::add, gbk("wd 我的 my.example.cn ").c_str());
    for (long acceptedBytes : {-1L, 0L, 10L}) {
        winapiFailFileWrites(webListTemporary("grwz.dat").c_str(), acceptedBytes);
        EXPECT_EQ(saveWebList(WEB_PERSONAL_LIST), 0) << acceptedBytes;
        EXPECT_EQ(readSystemFile("grwz.dat"), original) << acceptedBytes;
        EXPECT_FALSE(fs::exists(systemFile(webListTemporary("grwz.dat")))) << acceptedBytes;
        EXPECT_EQ(webListFiles.changed[1], 1) << acceptedBytes;
    }
    winapiFailFileWrites(nullptr, 0);
    EXPECT_EQ(saveWebList(WEB_PERSONAL_LIST), 1);
    EXPECT_EQ(utf8(readSystemFile("grwz.dat")), "wd 我的 my.example.cn \r\nwx 无线 wx.example.cn ");
}

TEST_F(WebLists, MergingDropsStarsAndAddsOnlyWhatIsNew) {
    writeSystemFile("grwz.dat", webListFile({"bd 百度 www.baidu.com* "}));
    loadWebLists();
    const std::string folder =
        folderWith("grwz.dat", webListFile({"bd 百度 www.baidu.com ",  // the starred one
                                            "xl 新浪 www.sina.com.cn* ",
                                            "xl 新浪 www.sina.com.cn ",  // twice in the file
                                            "bad line"}));
    WebMergeOutcome first = merge(WEB_PERSONAL_LIST, folder);
    EXPECT_EQ(first.status, WEB_MERGE_DONE);
    EXPECT_EQ(first.added, 1);
    EXPECT_EQ(first.duplicates, 2);
    EXPECT_EQ(first.invalid, 1);
    EXPECT_EQ(block(1, 'x'), Records{"xl 新浪 www.sina.com.cn "});
    EXPECT_EQ(block(1, 'b'), Records{"bd 百度 www.baidu.com* "});
    EXPECT_EQ(webListFiles.changed[1], 1);

    WebMergeOutcome second = merge(WEB_PERSONAL_LIST, folder);
    EXPECT_EQ(second.added, 0);
    EXPECT_EQ(block(1, 'x').size(), 1u);
}

TEST_F(WebLists, AMergeCountsWhatFindsNoRoom) {
    std::string full;
    for (int i = 0; i < 199; ++i)
        full += "a" + std::string(1, char('a' + i / 26)) + std::string(1, char('a' + i % 26)) + " x " +
                std::to_string(i) + ".cn \n";
    writeSystemFile("zwwz.dat", full);
    loadWebLists();
    const WebMergeOutcome outcome =
        merge(WEB_PUBLIC_LIST, folderWith("zwwz.dat", "an x 1.cn \nao x 2.cn \nap x 3.cn \n"));
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(outcome.noRoom, 2);
    EXPECT_EQ(webBlockRecords(0, 'a').size(), 200u);
}

// Another program fills the "m" block after this one read the list: this one's merged
// address and its added one find no room when their edits are made on the file. The save
// writes the rest and names the two it could not store; neither is reported stored.
TEST_F(WebLists, AnAddThatFindsItsBlockFullOnTheFileIsReportedNotStored) {
    std::string file;
    for (int i = 0; i < 198; ++i)
        file += "m" + std::string(1, char('a' + i / 26)) + std::string(1, char('a' + i % 26)) + " x " +
                std::to_string(i) + ".cn \n";
    writeSystemFile("grwz.dat", file + "wd x w.cn \n");
    loadWebLists();
    ASSERT_EQ(merge(WEB_PERSONAL_LIST, folderWith("grwz.dat", "mqcarba m1 merged.mqcarba.cn \n")).added, 1);
    WebEdit added{WebEditKind::add, "mqcasda m2 merged.mqcasda.cn "};
    ASSERT_TRUE(applyWebEdit(webList(WEB_PERSONAL_LIST), added));
    recordWebEdit(WEB_PERSONAL_LIST, added.kind, added.record);
    recordWebEdit(WEB_PERSONAL_LIST, WebEditKind::remove, "wd x w.cn ");
    writeSystemFile("grwz.dat",
                    file + "mzy other 199.cn \nmzz other 200.cn \nwd x w.cn \n");  // the other program's save

    EXPECT_EQ(saveWebList(WEB_PERSONAL_LIST), 1);
    Records refused;
    for (const WebEdit& edit : webListFiles.refused[1]) refused.push_back(edit.record);
    EXPECT_EQ(refused, (Records{"mqcarba m1 merged.mqcarba.cn ", "mqcasda m2 merged.mqcasda.cn "}));
    EXPECT_EQ(readSystemFile("grwz.dat").find("mqca"), std::string::npos);
    EXPECT_EQ(block(1, 'm').size(), 200u);
    EXPECT_EQ(block(1, 'm').back(), "mzz other 200.cn ");
    EXPECT_TRUE(block(1, 'w').empty());  // the rest of the edits went in

    // The next save starts afresh: nothing refused when nothing was.
    recordWebEdit(WEB_PERSONAL_LIST, WebEditKind::add, "wd x w.cn ");
    EXPECT_EQ(saveWebList(WEB_PERSONAL_LIST), 1);
    EXPECT_TRUE(webListFiles.refused[1].empty());
    EXPECT_EQ(block(1, 'w'), Records{"wd x w.cn "});
}

// A record moved to another letter by 修改 is an add there and a remove here: when the add
// finds no room on the file, the old record stays, so the address is not lost.
TEST_F(WebLists, AMoveToAFullBlockKeepsTheOldRecord) {
    std::string full;
    for (int i = 0; i < 200; ++i)
        full += "m" + std::string(1, char('a' + i / 26)) + std::string(1, char('a' + i % 26)) + " x " +
                std::to_string(i) + ".cn \n";
    writeSystemFile("grwz.dat", "wd x w.cn \n");
    loadWebLists();
    recordWebEdit(WEB_PERSONAL_LIST, WebEditKind::add, "md x w.cn ");
    recordWebEdit(WEB_PERSONAL_LIST, WebEditKind::remove, "wd x w.cn ", true);
    writeSystemFile("grwz.dat", full + "wd x w.cn \n");
    EXPECT_EQ(saveWebList(WEB_PERSONAL_LIST), 1);
    EXPECT_EQ(webListFiles.refused[1].size(), 1u);
    EXPECT_EQ(block(1, 'w'), Records{"wd x w.cn "});
    std::string written;
    for (char c : full) written += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(readSystemFile("grwz.dat"), written + "wd x w.cn ");
}

// A merge that does not happen must not throw away edits not yet saved.
TEST_F(WebLists, ACancelledOrFailedMergeChangesNothing) {
    writeSystemFile("grwz.dat", webListFile({"wd 我的 my.example.cn "}));
    loadWebLists();
    copyText(webList(1)[0][0], WEB_RECORD_SIZE, "aa x edited.cn ");
    webListFiles.changed[1] = 1;
    const Records before = block(1, 'a');

    WebMergeOutcome cancelled;
    EXPECT_EQ(mergeWebList(WEB_PERSONAL_LIST, nullptr, &cancelled), 0);  // no folder chosen
    EXPECT_EQ(cancelled.status, WEB_MERGE_CANCELLED);
    EXPECT_EQ(merge(WEB_PERSONAL_LIST, folderWith("zwwz.dat", "", "other")).status, WEB_MERGE_UNREADABLE);
    fs::create_directories(fs::path(folderWith("x", "", "unreadable")) / "grwz.dat");
    EXPECT_EQ(merge(WEB_PERSONAL_LIST, folderWith("x", "", "unreadable")).status, WEB_MERGE_UNREADABLE);

    EXPECT_TRUE(webListLoaded(WEB_PERSONAL_LIST));
    EXPECT_EQ(block(1, 'a'), before);
    EXPECT_EQ(block(1, 'w'), Records{"wd 我的 my.example.cn "});
    EXPECT_EQ(webListFiles.changed[1], 1);
}

// A folder whose path, with the file's name after it, is longer than MAX_PATH.
TEST_F(WebLists, AFolderWithALongPathIsMerged) {
    loadWebLists();
    const std::string base = folderWith("x", "", "merge");
    std::string deep = "merge";
    for (size_t length = base.size(); length < 255;) {
        const size_t left = 255 - length;
        const size_t n = left <= 21 ? left - 1 : left == 22 ? 10 : 20;
        deep += "/" + std::string(n, 'd');
        length += n + 1;
    }
    const std::string folder = folderWith("grwz.dat", "wd x deep.example.cn \n", deep);
    ASSERT_EQ(folder.size(), 255u);
    EXPECT_EQ(merge(WEB_PERSONAL_LIST, folder).added, 1);
    EXPECT_EQ(webBlockRecords(1, 'w'), Records{"wd x deep.example.cn "});
}

}  // namespace
