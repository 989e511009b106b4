// The web-address mode through the IME interface: entering it with a bracket, the rows
// of a code, paging, the choice and its delivery, the move of a chosen record, and the
// ways the mode is left.
#include "gbk.h"
#include "imedriver.h"
#include "weblistfiles.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

#include "webaddress/webaddress.h"
#include "webaddress/weblists.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class WebAddressMode : public ::testing::Test {
protected:
    void SetUp() override {
        freshWebLists();
        resetEngineForTest();
        ASSERT_TRUE(installSmallTables());
        writeSystemFile("zwwz.dat", webListFile({"bd 百度 www.baidu.com ", "bdbk 百度百科 baike.baidu.com ",
                                                 "bddt 百度地图 map.baidu.com ", "bfw 北方网 www.enorth.com.cn ",
                                                 "xl 新浪 www.sina.com.cn* ", "xlwb 新浪微博 weibo.com "}));
        writeSystemFile("grwz.dat", webListFile({"wd 我的 my.example.cn "}));
        winapiClearRecords();
    }
    std::string typed(const std::string& keys) { return utf8(ime.type(keys)); }
    std::string row(int k) { return utf8(c.rowNote[k]) + "|" + c.rowText[k]; }
    static int beeps(bool message) {
        const auto all = winapiBeeps();
        return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const WinapiBeep& b) {
            return b.messageBeep == message && (message || (b.frequency == 200 && b.duration == 200));
        }));
    }
    // A block of the public list given record by record, as the dialog or a merge leaves
    // it in the file (the mode reads the file again when it changed).
    static void setBlock(char letter, const std::vector<std::string>& records) {
        loadWebLists();
        WebBlock& block = webList(WEB_PUBLIC_LIST)[letter - 'a'];
        std::memset(block, 0, sizeof block);
        for (size_t i = 0; i < records.size(); ++i) copyText(block[i], WEB_RECORD_SIZE, gbk(records[i]).c_str());
        std::string text;
        for (const WebBlock& b : webList(WEB_PUBLIC_LIST))
            for (int i = 0; i < webBlockCount(b); ++i) text += std::string(b[i]) + "\r\n";
        writeSystemFile("zwwz.dat", text);
    }

    ImeDriver ime;
    EngineContext& c = engineContext;
};

TEST_F(WebAddressMode, ABracketACodeAndARowDigitTypeTheAddress) {
    ime.typeChar('[');
    ime.typeChar('b');
    EXPECT_EQ(modes.webMode, 1);
    EXPECT_EQ(modes.webListIndex, 0);
    EXPECT_EQ(std::string(c.modeInput), "b");
    EXPECT_EQ(typed("d2"), "baike.baidu.com");
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(modes.webResultPending, 0);
    EXPECT_EQ(c.modeInput[0], '\0');
    EXPECT_EQ(c.rowText[0][0], '\0');

    // ']' searches the personal list; Space takes the first row.
    EXPECT_EQ(typed("]w{Space}"), "my.example.cn");
    EXPECT_EQ(modes.webListIndex, 1);
    // Back in the shape-code mode.
    EXPECT_EQ(typed("a{Space}"), "工");
}

TEST_F(WebAddressMode, RowsShowTheNameWithTheNextLetterAndTheAddressWithoutItsStar) {
    ime.type("[bd");
    EXPECT_EQ(row(0), "百度|www.baidu.com");  // the code is all typed: no hint
    EXPECT_EQ(row(1), "百度百科b|baike.baidu.com");
    EXPECT_EQ(row(2), "百度地图d|map.baidu.com");
    EXPECT_EQ(c.rowText[3][0], '\0');
    EXPECT_EQ(c.rowMore, 3);
    ime.key("{Esc}");
    ime.type("[x");
    EXPECT_EQ(row(0), "新浪l|www.sina.com.cn");
    EXPECT_EQ(c.webState[WS_FIXED_COUNT], 1);  // drawn on white
    EXPECT_EQ(typed("1"), "www.sina.com.cn");
}

TEST_F(WebAddressMode, PagesOfTenRows) {
    std::vector<std::string> records;
    for (int i = 0; i < 23; ++i) records.push_back("a" + std::string(1, char('a' + i)) + " 站 s" + std::to_string(i) + ".cn ");
    setBlock('a', records);
    ime.type("[a");
    EXPECT_EQ(std::string(c.rowText[9]), "s9.cn");
    ime.typeChar('-');  // nothing before the first page
    EXPECT_EQ(c.rowFirst, 0);
    ime.type("==");
    EXPECT_EQ(c.rowFirst, 20);
    EXPECT_EQ(std::string(c.rowText[2]), "s22.cn");
    EXPECT_EQ(c.rowText[3][0], '\0');
    // A page with rows always has a next one, empty when no match is left.
    ime.typeChar('=');
    EXPECT_EQ(c.rowFirst, 30);
    EXPECT_EQ(c.rowText[0][0], '\0');
    ime.key("{Space}");
    ime.typeChar('3');
    EXPECT_EQ(modes.webMode, 1);
    ime.typeChar('=');
    EXPECT_EQ(c.rowFirst, 30);
    ime.typeChar('-');
    EXPECT_EQ(c.rowFirst, 20);
    ime.typeChar('a');  // any letter starts again on the first page
    EXPECT_EQ(c.rowFirst, 0);
    EXPECT_EQ(std::string(c.modeInput), "aa");
    ime.key("{Back}");
    EXPECT_EQ(typed("0"), "s9.cn");  // 0 is the tenth row
}

TEST_F(WebAddressMode, ALetterThatLeavesNoMatchBeepsAndGoes) {
    setBlock('a', {"abcdefghijkl 长 long.cn "});
    ime.type("[abcdefghij");
    EXPECT_EQ(std::string(c.modeInput), "abcdefghij");
    EXPECT_EQ(beeps(false), 0);
    ime.typeChar('k');  // only ten letters of a code count
    EXPECT_EQ(std::string(c.modeInput), "abcdefghij");
    EXPECT_EQ(beeps(false), 1);
    EXPECT_EQ(utf8(c.rowNote[0]), "长k");
    for (int i = 0; i < 10; ++i) ime.key("{Back}");
    EXPECT_EQ(c.modeInput[0], '\0');
    EXPECT_EQ(beeps(false), 2);  // nothing typed matches nothing: the mode stays
    EXPECT_EQ(modes.webMode, 1);
    EXPECT_EQ(c.rowText[0][0], '\0');
}

TEST_F(WebAddressMode, AChoiceMovesItsRecordUpToTheFrequentOnes) {
    std::vector<std::string> records;
    for (int i = 0; i < 14; ++i) records.push_back("a" + std::string(1, char('a' + i)) + " 站 s" + std::to_string(i) + ".cn" + (i < 3 ? "*" : "") + " ");
    setBlock('a', records);
    ime.type("[a=");
    EXPECT_EQ(typed("2"), "s11.cn");  // the 12th record
    std::vector<std::string> after = webBlockRecords(0, 'a');
    ASSERT_EQ(after.size(), 14u);
    EXPECT_EQ(after[3], "al \xD5\xBE s11.cn ");
    EXPECT_EQ(after[4], "ad \xD5\xBE s3.cn ");
    EXPECT_EQ(after[11], "ak \xD5\xBE s10.cn ");
    EXPECT_EQ(after[12], "am \xD5\xBE s12.cn ");
    EXPECT_EQ(webListFiles.changed[0], 1);

    // A frequent record, or the one just after them, stays where it is.
    webListFiles.changed[0] = 0;
    ime.type("[ab");
    EXPECT_EQ(typed("1"), "s1.cn");
    ime.type("[al");
    EXPECT_EQ(typed("1"), "s11.cn");
    EXPECT_EQ(webBlockRecords(0, 'a'), after);
    EXPECT_EQ(webListFiles.changed[0], 0);
}

// A record holds up to 89 bytes; its address is delivered whole.
TEST_F(WebAddressMode, ALongAddressIsDeliveredWhole) {
    const std::string address = "www." + std::string(70, 'x') + ".com.cn";
    setBlock('l', {"lg 长 " + address + " "});
    ime.type("[lg");
    EXPECT_EQ(std::string(c.rowText[0]), address);
    EXPECT_EQ(typed("1"), address);
}

// A record without a name must not pair the next site's name with this one's address.
TEST_F(WebAddressMode, EachRowComesFromItsOwnRecord) {
    setBlock('a', {"aa  www.x.com ", "ab 乙 www.y.com ", "ac 丙 www.z.com "});
    ime.type("[a");
    EXPECT_EQ(row(0), "乙b|www.y.com");
    EXPECT_EQ(row(1), "丙c|www.z.com");
}

// The rows stay on screen while the list may change under them (a merge, the dialog): a
// choice must not move an empty entry into the block and end it early.
TEST_F(WebAddressMode, AChoiceOfARowWhoseRecordWentMovesNothing) {
    ime.type("[b");
    ASSERT_EQ(row(3), "北方网f|www.enorth.com.cn");
    WebBlock& block = webList(WEB_PUBLIC_LIST)['b' - 'a'];
    removeWebRecord(block, 3);
    removeWebRecord(block, 0);
    EXPECT_EQ(typed("4"), "www.enorth.com.cn");  // what the row showed
    EXPECT_EQ(webBlockRecords(0, 'b').size(), 2u);
    EXPECT_EQ(utf8(webBlockRecords(0, 'b')[0]), "bdbk 百度百科 baike.baidu.com ");
}

TEST_F(WebAddressMode, EscLeavesEvenWhenTheListIsGone) {
    ime.type("[bd");
    ime.key("{Esc}");
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(c.modeInput[0], '\0');
    EXPECT_EQ(c.rowText[0][0], '\0');

    ime.type("[b");
    c.webListsLoaded = 0;  // as after a failed reload
    ime.typeChar('d');
    EXPECT_EQ(std::string(c.modeInput), "b");
    KeyOutcome o = ime.key("{Esc}");
    EXPECT_TRUE(o.taken);
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(typed("a{Space}"), "工");
}

TEST_F(WebAddressMode, AListThatCannotBeReadIsNotEntered) {
    removeSystemFile("grwz.dat");
    std::filesystem::create_directories(systemFile("grwz.dat"));
    ime.typeChar(']');
    ime.typeChar('a');
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(beeps(true), 1);
    EXPECT_EQ(std::string(c.code), "a");  // the bracket is dropped, the letter is a code
    EXPECT_EQ(typed("{Space}"), "工");
    // The other list is not held back by it.
    EXPECT_EQ(typed("[bd1"), "www.baidu.com");
}

TEST_F(WebAddressMode, TheWebEngineTakesTheKeysEvenInPinyinMode) {
    ime.type("[b");
    modes.pinyinMode = 1;
    ime.typeChar('d');
    EXPECT_EQ(std::string(c.modeInput), "bd");
    EXPECT_EQ(c.code[0], '\0');
}

TEST_F(WebAddressMode, TypingACodeShowsItsPage) {
    ASSERT_EQ(enterWebMode(WEB_PUBLIC_LIST), 1);
    typeWebCode(&c, "bdbk");
    EXPECT_EQ(std::string(c.modeInput), "bdbk");
    EXPECT_EQ(c.codeLength, 4);
    EXPECT_EQ(row(0), "百度百科|baike.baidu.com");
    EXPECT_EQ(typed("1"), "baike.baidu.com");
}

}  // namespace
