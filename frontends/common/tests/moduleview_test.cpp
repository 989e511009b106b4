// The module's records read as preedit, lookup table and auxiliary text.
#include "moduleview.h"

#include "gbktext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

std::string gbk(const char* utf8) {
    std::string out;
    EXPECT_TRUE(utf8ToGbk(utf8, out)) << utf8;
    return out;
}

template <size_t N>
void put(char (&field)[N], const char* utf8) {
    const std::string text = gbk(utf8);
    ASSERT_LT(text.size(), N);
    std::memcpy(field, text.c_str(), text.size() + 1);
}

struct Records {
    std::unique_ptr<EngineContext> context = std::make_unique<EngineContext>();
    ModeState modes;
    ShapeCodeState shapeCode;
    Records() { std::memset(context.get(), 0, sizeof(EngineContext)); }
    ModuleView view() const { return moduleView(*context, modes, shapeCode); }
};

TEST(ModuleView, ShapeCodeLinesBecomeLabelledCandidatesAndHints) {
    Records r;
    EngineContext& c = *r.context;
    std::strcpy(c.code, "zlz");
    c.codeLength = 3;
    c.caret = 2;
    put(c.displayLine, "在 ,中国 .这");
    const char* cells[] = {" y", "这", "个", " h", "自", "己", "→"};
    for (int i = 0; i < 7; ++i) put(c.cells[i], cells[i]);
    c.lastCell = 6;
    r.shapeCode.nextPageStart = 6;

    const ModuleView v = r.view();
    EXPECT_EQ(v.preedit, "zlz");
    EXPECT_EQ(v.caret, 2);
    ASSERT_EQ(v.candidates.size(), 3u);
    EXPECT_EQ(v.candidates[0].text, "在");
    EXPECT_EQ(v.candidates[0].key, ' ');
    EXPECT_EQ(v.candidates[0].label, "␣");
    EXPECT_EQ(v.candidates[1].text, "中国");
    EXPECT_EQ(v.candidates[1].label, ",");
    EXPECT_EQ(v.candidates[2].text, "这");
    EXPECT_EQ(candidateKey(v, 2), '.');
    EXPECT_EQ(candidateKey(v, 3), 0);
    EXPECT_EQ(v.aux, "y这个 h自己→");
    EXPECT_TRUE(v.laterPage);
    EXPECT_FALSE(v.earlierPage);

    // The last page: no page after it, one before.
    put(c.cells[6], "○");
    r.shapeCode.nextPageStart = 20;
    const ModuleView last = r.view();
    EXPECT_FALSE(last.laterPage);
    EXPECT_TRUE(last.earlierPage);

    // The second half of a long line is the one the label keys search.
    put(c.displayLine, "一 ,二 .三 'a~ 5四 6五k~k~k~ ,六");
    r.shapeCode.displayHalf = 1;
    const ModuleView second = r.view();
    ASSERT_EQ(second.candidates.size(), 1u);
    EXPECT_EQ(second.candidates[0].text, "六");
    EXPECT_EQ(second.candidates[0].key, ',');
    r.shapeCode.displayHalf = 0;
    const ModuleView first = r.view();
    ASSERT_EQ(first.candidates.size(), 5u);  // the filler a~ is no candidate
    EXPECT_EQ(first.candidates[3].text, "四");
    EXPECT_EQ(first.candidates[3].key, '5');
}

TEST(ModuleView, NothingTypedShowsMessagesButNotTheLastCommit) {
    Records r;
    EngineContext& c = *r.context;
    put(c.displayLine, "中");
    put(c.lastResult, "中");
    ModuleView v = r.view();
    EXPECT_TRUE(v.preedit.empty());
    EXPECT_TRUE(v.candidates.empty());
    EXPECT_TRUE(v.aux.empty());

    put(c.displayLine, "按CTRL键切换回英文状态！");
    EXPECT_EQ(r.view().aux, "按CTRL键切换回英文状态！");
    put(r.shapeCode.messageLine, "重码太多");
    EXPECT_EQ(r.view().aux, "重码太多");
}

TEST(ModuleView, PinyinRowsAreNumberedAndTheSpellingIsThePreedit) {
    Records r;
    EngineContext& c = *r.context;
    r.modes.pinyinMode = 1;
    std::strcpy(c.modeInput, "zhongguoren");
    std::strcpy(c.syllables[SYLLABLE_SHOWN], "zhong'guo'ren");
    c.webState[WS_SYLLABLE_COUNT] = 3;
    c.caret = 5;
    put(c.rowText[0], "中国人");
    put(c.rowText[1], "中国");
    std::memcpy(&c.rowLabels[3], gbk("钟").c_str(), 2);
    c.rowMore = 10;  // a full page: pinyin reads no further than the page
    const ModuleView v = r.view();
    EXPECT_EQ(v.preedit, "zhong'guo'ren");
    EXPECT_EQ(v.caret, 5);
    ASSERT_EQ(v.candidates.size(), 2u);
    EXPECT_EQ(v.candidates[0].label, "1");
    EXPECT_EQ(v.candidates[0].text, "中国人");
    EXPECT_EQ(v.candidates[1].text, "中国 钟");
    EXPECT_EQ(candidateKey(v, 1), '2');
    EXPECT_TRUE(v.laterPage);
    EXPECT_FALSE(v.earlierPage);
    c.rowMore = 2;
    c.rowFirst = 10;
    EXPECT_FALSE(r.view().laterPage);
    EXPECT_TRUE(r.view().earlierPage);
}

TEST(ModuleView, WebAddressRowsShowNameAndAddress) {
    Records r;
    EngineContext& c = *r.context;
    r.modes.webMode = 1;
    EXPECT_EQ(r.view().aux, "ESC退出中文网址,E-mail地址!");
    std::strcpy(c.modeInput, "bd");
    put(c.rowNote[0], "百度");
    std::strcpy(c.rowText[0], "www.baidu.com");
    const ModuleView v = r.view();
    EXPECT_EQ(v.preedit, "bd");
    EXPECT_EQ(v.caret, 2);
    ASSERT_EQ(v.candidates.size(), 1u);
    EXPECT_EQ(v.candidates[0].label, "1");
    EXPECT_EQ(v.candidates[0].text, "百度 www.baidu.com");
    EXPECT_TRUE(v.aux.empty());
    // The lists count every match from the page on: ten are this page, eleven one more.
    c.rowMore = 10;
    EXPECT_FALSE(r.view().laterPage);
    c.rowMore = 11;
    EXPECT_TRUE(r.view().laterPage);
}

}  // namespace
