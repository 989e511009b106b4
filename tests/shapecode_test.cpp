// The shape-code engine driven through the IME interface with small tables.
#include "imedriver.h"
#include "tablebuilder.h"

#include "frontend/uiwindow.h"
#include "shapecode/shapecode.h"
#include "ui/uiwindows.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

#include <algorithm>

namespace {

int messageBeeps() {
    auto beeps = winapiBeeps();
    return static_cast<int>(std::count_if(beeps.begin(), beeps.end(), [](const WinapiBeep& b) { return b.messageBeep; }));
}

class ShapeCode : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        ASSERT_TRUE(installSmallTables()) << "the table compiler could not build the test tables";
        winapiClearRecords();
    }
    std::string typed(const std::string& keys) { return utf8(ime.type(keys)); }
    std::string shown(const char* field) { return utf8(field); }

    ImeDriver ime;
    EngineContext& c = engineContext;
};

TEST_F(ShapeCode, SpaceAndLabelKeysChooseFromTheExactList) {
    EXPECT_EQ(typed("a"), "");
    EXPECT_EQ(shown(c.displayLine), "工");
    EXPECT_EQ(std::string(c.code), "a");
    EXPECT_EQ(shapeCode.inputPhase, 3);
    EXPECT_EQ(typed("b"), "");
    EXPECT_EQ(shown(c.displayLine), "甲 ,乙 .丙");
    EXPECT_EQ(typed("{Space}"), "甲");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    EXPECT_EQ(typed("ab,"), "乙");
    EXPECT_EQ(typed("ab."), "丙");
    EXPECT_EQ(typed("ab'"), "");  // no fourth entry: a wrong key, the code stays
    EXPECT_EQ(std::string(c.code), "ab");
    EXPECT_EQ(messageBeeps(), 1);
}

TEST_F(ShapeCode, CommittedTextReachesTheApplicationAsResultString) {
    KeyOutcome last;
    ime.type("ab");
    last = ime.space();
    ASSERT_EQ(last.messages.size(), 2u);
    EXPECT_EQ(last.messages[0].message, static_cast<UINT>(WM_IME_COMPOSITION));
    EXPECT_EQ(last.messages[0].lParam, GCS_RESULTSTR);
    EXPECT_EQ(last.messages[1].message, static_cast<UINT>(WM_IME_ENDCOMPOSITION));
    EXPECT_EQ(utf8(last.result), "甲");
    EXPECT_EQ(utf8(c.lastResult), "甲");
    EXPECT_EQ(c.result[0], '\0');
}

TEST_F(ShapeCode, FourLetterCodes) {
    // One exact match and nothing longer: committed by the fourth letter itself.
    EXPECT_EQ(typed("abcd"), "戊");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    // Two exact matches: a beep, and the user picks.
    EXPECT_EQ(typed("abce"), "");
    EXPECT_EQ(messageBeeps(), 1);
    EXPECT_EQ(shown(c.displayLine), "己 ,庚");
    EXPECT_EQ(typed(","), "庚");
}

TEST_F(ShapeCode, FifthLetterCommitsTheFirstEntryAndStartsTheNextCode) {
    EXPECT_EQ(typed("abcea"), "己");
    EXPECT_EQ(std::string(c.code), "a");
    EXPECT_EQ(shown(c.displayLine), "工");
    EXPECT_EQ(typed("{Space}"), "工");
    // A fifth letter that finds nothing still commits; the letter is dropped.
    EXPECT_EQ(typed("abcez"), "己");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
}

TEST_F(ShapeCode, EnterEscAndEmptySpaceDiscardTheCode) {
    for (const char* key : {"{Enter}", "{Esc}"}) {
        ime.type("ab");
        KeyOutcome o = std::string(key) == "{Enter}" ? ime.enter() : ime.escape();
        EXPECT_TRUE(o.messages.empty()) << key;
        EXPECT_EQ(c.codeLength, 0) << key;
        EXPECT_EQ(c.displayLine[0], '\0') << key;
        EXPECT_EQ(shapeCode.inputPhase, 1) << key;
    }
    // Only completions shown: Space ends the composition with an empty result.
    ime.type("p");
    ASSERT_EQ(c.displayLine[0], '\0');
    KeyOutcome o = ime.space();
    EXPECT_EQ(o.result, "");
    EXPECT_EQ(c.codeLength, 0);
}

// Stands in for the status window: counts the commands it receives.
int userPhraseCommands = 0;
LRESULT CALLBACK statusSink(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == CMD_USER_PHRASES) ++userPhraseCommands;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND createStatusSink() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = statusSink;
        wc.lpszClassName = "QxTestStatusSink";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "QxTestStatusSink", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(ShapeCode, ThirdSameWrongKeyAsksForTheUserPhraseDialog) {
    c.statusWindow = createStatusSink();
    ASSERT_NE(c.statusWindow, nullptr);
    userPhraseCommands = 0;
    ime.type("abzz");
    EXPECT_EQ(userPhraseCommands, 0);
    ime.type("z");
    EXPECT_EQ(userPhraseCommands, 1);
    // Not while the GBK set is searched.
    modes.gbkSetting = modes.gbkLookup = 1;
    ime.type("ggxxx");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(userPhraseCommands, 1);
    DestroyWindow(c.statusWindow);
    c.statusWindow = nullptr;
}

TEST_F(ShapeCode, FirstLetterThatFindsNothingIsIgnored) {
    EXPECT_EQ(typed("q"), "");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    EXPECT_EQ(messageBeeps(), 0);
}

TEST_F(ShapeCode, WrongKeyHistory) {
    ime.type("ab");
    ime.type("z");
    EXPECT_EQ(shapeCode.messageLine[0], '\0');
    EXPECT_EQ(shapeCode.repeatArmed, 0);
    ime.type("z");
    EXPECT_EQ(utf8(shapeCode.messageLine), "对不起，您打错了！");
    EXPECT_EQ(shapeCode.repeatArmed, 1);
    EXPECT_EQ(std::string(c.code), "ab");
    ime.type("z");  // third time: the composition is dropped
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(messageBeeps(), 3);
    // and with it the list: a comma is punctuation again, not the label of "乙"
    EXPECT_EQ(shapeCode.inputPhase, 1);
    EXPECT_EQ(typed(","), "，");

    // A different key disarms the history before it is counted.
    ime.type("ab");
    ime.type("zz");
    ASSERT_EQ(shapeCode.repeatArmed, 1);
    ime.type("x");
    EXPECT_EQ(shapeCode.repeatArmed, 0);
    EXPECT_EQ(std::string(shapeCode.repeatKeys, 3), "^^x");
}

TEST_F(ShapeCode, BackspaceShortensTheCodeAndLooksItUpAgain) {
    ime.type("abc");
    EXPECT_EQ(shown(c.displayLine), "丁");
    ime.backspace();
    EXPECT_EQ(std::string(c.code), "ab");
    EXPECT_EQ(shown(c.displayLine), "甲 ,乙 .丙");
    EXPECT_EQ(typed("{Back}{Back}"), "");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    // With an empty code the key filter leaves Backspace to the application.
    EXPECT_FALSE(ime.backspace().taken);
}

TEST_F(ShapeCode, CandidatePagesNeverSplitAnEntry) {
    ime.type("p");
    // Seven characters fill units 0-13; the phrase's hint is unit 14 and would cross
    // the page edge, so it opens the next page.
    EXPECT_EQ(c.lastCell, 14);
    EXPECT_EQ(utf8(cellText()), " a天 b地 c玄 d黄 e日 f月 g盈→");
    EXPECT_EQ(typed("="), "");
    EXPECT_EQ(c.lastCell, 15);
    EXPECT_EQ(utf8(cellText()), " h宇宙洪荒 i昃 j辰 k宿 l列 m张→");
    ime.type("=");
    EXPECT_EQ(utf8(cellText()), " n寒○");
    ime.type("=");  // nothing after the last page
    EXPECT_EQ(utf8(cellText()), " n寒○");
    ime.type("-");
    EXPECT_EQ(utf8(cellText()), " h宇宙洪荒 i昃 j辰 k宿 l列 m张→");
    ime.type("-");
    EXPECT_EQ(utf8(cellText()), " a天 b地 c玄 d黄 e日 f月 g盈→");
    EXPECT_EQ(c.hintLength, 1);
    EXPECT_EQ(c.hintOffset, 0);
    // The bracket keys page as well once a code is typed.
    ime.type("]");
    EXPECT_EQ(utf8(cellText()), " h宇宙洪荒 i昃 j辰 k宿 l列 m张→");
    ime.type("[");
    EXPECT_EQ(utf8(cellText()), " a天 b地 c玄 d黄 e日 f月 g盈→");
}

TEST_F(ShapeCode, LeftoverCellDoesNotDecideWhereAPageEnds) {
    // The cell after a full page holds whatever an earlier page or message left there.
    copyText(c.cells[16], sizeof c.cells[16], " z");
    ime.type("p");
    EXPECT_EQ(c.lastCell, 14);
    EXPECT_EQ(utf8(cellText()), " a天 b地 c玄 d黄 e日 f月 g盈→");
}

TEST_F(ShapeCode, FirstKeySpecialsCommitNoAbandonedText) {
    // A code with only an exact match, erased with Backspace, leaves its text behind;
    // the bracket and the five-stroke "z" must not send it to the application.
    EXPECT_EQ(typed("i{Back}"), "");
    ASSERT_EQ(c.codeLength, 0);
    KeyOutcome o = ime.typeChar('[');
    EXPECT_EQ(o.result, "");
    EXPECT_EQ(o.text, "");
    EXPECT_EQ(shapeCode.inputPhase, 2);
    ime.space();

    modes.wubiMode = 1;
    EXPECT_EQ(typed("a{Back}"), "");
    ASSERT_EQ(c.codeLength, 0);
    o = ime.typeChar('z');
    EXPECT_EQ(o.result, "");
    EXPECT_EQ(o.text, "");
    EXPECT_EQ(utf8(ime.type("{Space}")), "…");
}

TEST_F(ShapeCode, DisplayHalvesOfALongGbkList) {
    modes.gbkSetting = modes.gbkLookup = 1;
    ime.type("gg");
    // Twelve exact entries fill 46 bytes; the thirteenth is not listed.
    EXPECT_EQ(shown(c.displayLine), "甲 ,乙 .丙 '丁 5戊 6己 ~庚 ,辛 .壬 '癸 5子 6丑");
    EXPECT_EQ(typed(","), "乙");
    ime.type("gg}");
    EXPECT_EQ(shapeCode.displayHalf, 1);
    EXPECT_EQ(typed(","), "辛");
    ime.type("gg}");
    EXPECT_EQ(typed("{Space}"), "庚");
    ime.type("gg}{{}");
    EXPECT_EQ(shapeCode.displayHalf, 0);
    EXPECT_EQ(typed("{Space}"), "甲");
}

TEST_F(ShapeCode, TildeInsideACharacterIsNoLabel) {
    // 亊 is 81 7E in GBK: its second byte is the "~" sign.
    codeTables.XGBK = buildTable("gg\t甲\ngg\t乙\ngg\t丙\ngg\t丁\ngg\t戊\ngg\t己\n"
                           "gg\t庚\ngg\t亊\ngg\t壬\ngg\t癸\ngg\t子\ngg\t丑\n",
                           "fixed");
    ASSERT_NE(codeTables.XGBK.data, nullptr);
    modes.gbkSetting = modes.gbkLookup = 1;
    ime.type("gg");
    ASSERT_EQ(shown(c.displayLine), "甲 ,乙 .丙 '丁 5戊 6己 ~庚 ,亊 .壬 '癸 5子 6丑");
    EXPECT_EQ(typed("}{Space}"), "庚");
    EXPECT_EQ(typed("gg},"), "亊");
}

TEST_F(ShapeCode, SecondHalfWithoutItsEntries) {
    // Six entries (22 bytes) may be switched to the second half, which is empty there:
    // Space and the labels find nothing and count as wrong keys.
    codeTables.XGBK = buildTable("hh\t甲\nhh\t乙\nhh\t丙\nhh\t丁\nhh\t戊\nhh\t己\n", "fixed");
    ASSERT_NE(codeTables.XGBK.data, nullptr);
    modes.gbkSetting = modes.gbkLookup = 1;
    ime.type("hh}");  // several exact matches and nothing longer: already one beep
    ASSERT_EQ(shapeCode.displayHalf, 1);
    winapiClearRecords();
    EXPECT_EQ(typed("{Space}"), "");
    EXPECT_EQ(typed("6"), "");
    EXPECT_EQ(messageBeeps(), 2);
    EXPECT_EQ(std::string(c.code), "hh");
    EXPECT_EQ(typed("{{}6"), "己");
    // A short list has one half only.
    modes.gbkSetting = modes.gbkLookup = 0;
    ime.type("ab}");
    EXPECT_EQ(shapeCode.displayHalf, 0);
    EXPECT_EQ(typed("{Space}"), "甲");
}

TEST_F(ShapeCode, CodeHoldsAtMostSixCharacters) {
    for (char k : std::string("abcdef")) appendCodeKey(&c, k);
    EXPECT_EQ(std::string(c.code), "abcdef");
    winapiClearRecords();
    appendCodeKey(&c, 'g');
    EXPECT_EQ(std::string(c.code), "abcdef");
    EXPECT_EQ(c.codeLength, 6);
    EXPECT_EQ(messageBeeps(), 1);
    prepareLookupCode(&c, 'g');
    EXPECT_EQ(std::string(c.codeCopy), "abcdef");
}

TEST_F(ShapeCode, FiveStrokeMode) {
    modes.wubiMode = 1;
    EXPECT_EQ(typed("khk{Space}"), "中");
    EXPECT_EQ(typed("khk,"), "口");
    EXPECT_EQ(typed(";"), "；");
    // "z" first: the ellipsis waits for Space, which types it as two characters.
    ime.type("z");
    EXPECT_EQ(shown(c.displayLine), "…");
    KeyOutcome o = ime.space();
    ASSERT_EQ(o.messages.size(), 4u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(o.messages[2].message, static_cast<UINT>(WM_IME_STARTCOMPOSITION));
    EXPECT_EQ(o.messages[3].message, static_cast<UINT>(WM_IME_ENDCOMPOSITION));
    EXPECT_EQ(utf8(o.text), "…");
    EXPECT_EQ(o.count, 4u);
    // Enter after "z" forgets it.
    ime.type("z");
    ime.enter();
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(c.displayLine[0], '\0');
}

TEST_F(ShapeCode, SemicolonAndSlashByEdition) {
    EXPECT_EQ(typed(";a{Space}"), "来");  // code letters in the shape-code edition
    EXPECT_EQ(typed("/a{Space}"), "暑");
    modes.phoneticEdition = 1;
    EXPECT_EQ(typed(";"), "；");
    EXPECT_EQ(typed("/"), "/");
    c.chinesePunct = 0;
    EXPECT_EQ(typed(";"), ";");
}

TEST_F(ShapeCode, BracketFirstShowsTheAddressTitle) {
    ime.type("[");
    EXPECT_EQ(shapeCode.inputPhase, 2);
    EXPECT_EQ(std::string(c.displayLine), "[");
    EXPECT_EQ(utf8(cellText()), "正在加载简中文网址○");
    resetEngineForTest();
    installSmallTables();
    c.webListsLoaded = 1;
    ime.type("]");
    EXPECT_EQ(utf8(cellText()), "Dalvo精简个人网址○");
    // While the GBK set is searched, a bracket is an ordinary key for the application.
    resetEngineForTest();
    installSmallTables();
    modes.gbkSetting = modes.gbkLookup = 1;
    KeyOutcome o = ime.typeChar('[');
    EXPECT_EQ(o.text, "[");
    EXPECT_EQ(shapeCode.inputPhase, 1);
}

TEST_F(ShapeCode, LeavingTheGbkSetOnClearShowsTheMessage) {
    modes.gbkLookup = 1;  // switched on for one composition only
    clearComposition(&c);
    EXPECT_EQ(modes.gbkLookup, 0);
    EXPECT_EQ(utf8(shapeCode.messageLine), " 退出GBK大字库! ");
    modes.gbkSetting = modes.gbkLookup = 1;
    shapeCode.messageLine[0] = '\0';
    clearComposition(&c);
    EXPECT_EQ(modes.gbkLookup, 1);
    EXPECT_EQ(shapeCode.messageLine[0], '\0');
}

}  // namespace

TEST_F(ShapeCode, UserPhrasesJoinTheTableUnlessTheLibrariesAreMissing) {
    const std::string path = tablebuilder::writeScratchFile("engine-user.rt", gbk("ab 工作\nabz 节日\n"));
    copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, path.c_str());
    ime.type("ab");
    EXPECT_EQ(shown(c.displayLine), "甲 ,乙 .丙 '工作");
    ime.escape();
    // Start-up found no valid libraries: the phrase file is not read either.
    codeTables.tablesMissing = 1;
    ime.type("ab");
    EXPECT_EQ(shown(c.displayLine), "甲 ,乙 .丙");
}

// With no exact match the composition window shows the first completion of the page on
// its display line, and Space commits it: paging moves both to the page now on screen.
TEST_F(ShapeCode, PagingMovesTheDisplayLineAndSpaceToThePageOnScreen) {
    RegisterUiClasses();
    CreateCompositionWindow();
    ASSERT_NE(c.compositionWindow, nullptr);
    ime.type("p");  // a天 ... g盈 on page 1, h宇宙洪荒 ... m张 on page 2
    EXPECT_EQ(shown(c.displayLine), "天");
    ime.type("=");
    EXPECT_EQ(utf8(cellText()).rfind(" h宇宙洪荒", 0), 0u);
    EXPECT_EQ(shown(c.displayLine), "宇宙洪荒");
    ime.type("-");
    EXPECT_EQ(shown(c.displayLine), "天");
    ime.type("=");
    EXPECT_EQ(typed("{Space}"), "宇宙洪荒");
    DestroyCompositionWindow();
}
