// The key translation driver: mode switches, full width, pass-through, the commit into
// the composition-string block and the engine dispatch, through the IME interface.
#include "imedriver.h"
#include "userfiles.h"

#include "frontend/driver.h"
#include "frontend/uiwindow.h"
#include "shapecode/shapecode.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        ASSERT_TRUE(installSmallTables());
        winapiClearRecords();
    }
    std::string typed(const std::string& keys) { return utf8(ime.type(keys)); }
    static int messageBeeps() {
        auto beeps = winapiBeeps();
        auto isMessageBeep = [](const WinapiBeep& b) { return b.messageBeep; };
        return static_cast<int>(std::count_if(beeps.begin(), beeps.end(), isMessageBeep));
    }
    DWORD conversion() {
        DWORD conv = 0, sentence = 0;
        ImmGetConversionStatus(ime.context(), &conv, &sentence);
        return conv;
    }
    UINT translate(UINT vk, unsigned char ch, TRANSMSG* out, UINT room = 8) {
        std::vector<unsigned char> buffer(sizeof(TRANSMSGLIST) + room * sizeof(TRANSMSG));
        auto* list = reinterpret_cast<TRANSMSGLIST*>(buffer.data());
        list->uMsgCount = room;
        UINT n = ImeToAsciiEx(vk | (ch << 8), 0, ime.keyState, list, 0, ime.context());
        for (UINT i = 0; i < n && i < room; ++i) out[i] = list->TransMsg[i];
        return n;
    }

    ImeDriver ime;
    EngineContext& c = engineContext;
};

TEST_F(Driver, CtrlSwitchesLanguageInTheShapeCodeEdition) {
    const DWORD before = conversion();
    KeyOutcome o = ime.ctrl();
    EXPECT_TRUE(o.taken);
    EXPECT_EQ(c.chineseMode, 0);
    EXPECT_EQ(utf8(cellText()), "按CTRL键切换回中文状态！");
    EXPECT_EQ(c.lastCell, 11);
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ((conversion() ^ before) & IME_CMODE_NATIVE, static_cast<DWORD>(IME_CMODE_NATIVE));
    EXPECT_EQ(typed("a"), "a");  // English: letters go back to the application
    ime.ctrl();
    EXPECT_EQ(c.chineseMode, 1);
    EXPECT_EQ(utf8(cellText()), "按CTRL键切换回英文状态！");
    EXPECT_EQ(typed("ab{Space}"), "甲");
}

TEST_F(Driver, PhoneticEditionSwitchesWithThePrefixNotCtrl) {
    modes.phoneticEdition = 1;
    KeyOutcome o = ime.ctrl();
    EXPECT_EQ(c.chineseMode, 1);
    ASSERT_EQ(o.messages.size(), 2u);  // the engine leaves Ctrl to the application
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(o.messages[0].wParam, static_cast<WPARAM>(VK_CONTROL));

    ime.type("v");
    ASSERT_EQ(std::string(c.code), "v");
    o = ime.typeChar('a');
    EXPECT_EQ(c.chineseMode, 0);
    EXPECT_EQ(utf8(cellText()), "按回车键切换回中文状态！");
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(c.code[0], '\0');
    ASSERT_EQ(o.messages.size(), 2u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(o.messages[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(o.messages[1].message, static_cast<UINT>(WM_KEYUP));

    // Enter brings Chinese back, with a beep.
    winapiClearRecords();
    o = ime.enter();
    EXPECT_TRUE(o.taken);
    EXPECT_EQ(c.chineseMode, 1);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    EXPECT_FALSE(winapiBeeps().empty());
    EXPECT_EQ(typed("ab{Space}"), "啊");
}

TEST_F(Driver, LoneBracketTypesItselfOnSpaceOrOpensAddressMode) {
    ime.typeChar('[');
    KeyOutcome o = ime.space();
    ASSERT_EQ(o.count, 3u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(o.messages[0].wParam, static_cast<WPARAM>('['));
    EXPECT_EQ(o.messages[1].message, static_cast<UINT>(WM_IME_STARTCOMPOSITION));
    EXPECT_EQ(o.messages[2].message, static_cast<UINT>(WM_IME_ENDCOMPOSITION));
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    EXPECT_EQ(c.result[0], '\0');
}

TEST_F(Driver, IThenSixEntersPinyinMode) {
    ime.type("i");
    ime.typeChar('6');
    EXPECT_EQ(modes.pinyinMode, 1);
    EXPECT_EQ(modes.pinyinStartFlag, 1);
    EXPECT_EQ(std::string(c.code), "");
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\PYCZ.rt")) << modes.userPhraseFile;
    // The first digit after the switch is not typed; the next is.
    EXPECT_EQ(typed("6"), "");
    EXPECT_EQ(typed("6"), "6");
}

TEST_F(Driver, FullWidthCharacters) {
    c.fullWidth = 8;
    c.chineseMode = 0;
    KeyOutcome o = ime.typeChar('A');
    ASSERT_EQ(o.count, 3u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_IME_CHAR));
    EXPECT_EQ(o.messages[0].wParam, static_cast<WPARAM>(0xA3C1));
    EXPECT_EQ(o.messages[1].message, static_cast<UINT>(WM_IME_STARTCOMPOSITION));
    EXPECT_EQ(o.messages[2].message, static_cast<UINT>(WM_IME_ENDCOMPOSITION));
    EXPECT_EQ(utf8(o.text), "Ａ");
    EXPECT_EQ(ime.typeChar('~').messages.at(0).wParam, static_cast<WPARAM>(0xA1AB));
    // A key without a printable character goes to the application unchanged.
    TRANSMSG m[8];
    ASSERT_EQ(translate(VK_F1, 0, m), 2u);
    EXPECT_EQ(m[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(m[0].wParam, static_cast<WPARAM>(VK_F1));

    // In Chinese mode only digits typed while idle are widened.
    c.chineseMode = 1;
    EXPECT_EQ(typed("1"), "１");
    EXPECT_EQ(typed("ab{Space}"), "甲");
}

TEST_F(Driver, PassThroughKeyUpCarriesScanAndExtendedBits) {
    c.chineseMode = 0;
    const LPARAM keyData = 0x21590003;  // repeat 3, scan 0x59, extended, context bit
    ASSERT_TRUE(ImeProcessKey(ime.context(), 'Q', keyData, ime.keyState));
    TRANSMSG m[8];
    ASSERT_EQ(translate('Q', 'q', m), 2u);
    EXPECT_EQ(m[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(static_cast<uint32_t>(m[0].lParam), 0x21590003u);
    EXPECT_EQ(m[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(static_cast<uint32_t>(m[1].lParam), 0xC1590001u);
}

TEST_F(Driver, ResultBlockIsResizedToHoldTheWholeResult) {
    INPUTCONTEXT* imc = ImmLockIMC(ime.context());
    ASSERT_NE(imc, nullptr);
    const DWORD sizeBefore = ImmGetIMCCSize(imc->hCompStr);
    ImmUnlockIMC(ime.context());
    EXPECT_LT(sizeBefore, sizeof(COMPOSITIONSTRING) + RESULT_CAPACITY);

    EXPECT_EQ(typed("abfg"), "中华人民共和国万岁万万岁");  // 24 bytes, committed by the fourth letter
    EXPECT_EQ(typed("abf{Space}"), "中华人民共和国万岁");

    imc = ImmLockIMC(ime.context());
    ASSERT_NE(imc, nullptr);
    EXPECT_GE(ImmGetIMCCSize(imc->hCompStr), sizeof(COMPOSITIONSTRING) + RESULT_CAPACITY);
    auto* block = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(imc->hCompStr));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->dwResultStrLen, 18u);
    EXPECT_EQ(reinterpret_cast<char*>(block)[block->dwResultStrOffset + 18], '\0');
    EXPECT_EQ(block->dwCompStrLen, 0u);  // nothing else of the block is touched
    ImmUnlockIMCC(imc->hCompStr);
    ImmUnlockIMC(ime.context());
}

TEST_F(Driver, ResultStartingWithDotOrSpaceArrivesAsADot) {
    // The tables hold Chinese text only, so the exact list is set up by hand.
    EngineContext& c = engineContext;
    auto composing = [&](const char* line) {
        copyText(c.code, sizeof c.code, "a");
        c.codeLength = c.caret = 1;
        shapeCode.inputPhase = 3;
        copyText(c.displayLine, sizeof c.displayLine, line);
    };
    composing(".com");
    KeyOutcome o = ime.space();
    EXPECT_EQ(o.result, ".");
    EXPECT_EQ(std::string(c.lastResult), ".com");  // the text the engine chose is kept
    composing("x.y");
    EXPECT_EQ(ime.space().result, "x.y");  // a dot further in changes nothing
}

TEST_F(Driver, EditionSwitchTogglesEditionAndPhraseFile) {
    KeyOutcome o;
    ime.type("i");
    o = ime.typeChar('9');
    EXPECT_EQ(o.count, 0u);
    EXPECT_EQ(modes.phoneticEdition, 1);
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\fread.rt")) << modes.userPhraseFile;
    FILE* created =
        std::fopen(modes.userPhraseFile, "r");  // the stand-in's C library, as the module opens it
    EXPECT_NE(created, nullptr) << "the phrase file of the edition is created empty";
    if (created) std::fclose(created);
    EXPECT_EQ(utf8(cellText()), "切换《音形版》、《形码版》！");
    EXPECT_EQ(c.lastCell, 13);
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);

    ime.type("i9");
    EXPECT_EQ(modes.phoneticEdition, 0);
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\freadx.rt")) << modes.userPhraseFile;

    // From five-stroke mode the switch always lands in the phonetic-shape edition.
    modes.wubiMode = 1;
    modes.phoneticEdition = 1;
    modes.gbkSetting = 1;
    ime.type("i9");
    EXPECT_EQ(modes.wubiMode, 0);
    EXPECT_EQ(modes.phoneticEdition, 1);
    EXPECT_EQ(modes.gbkLookup, 1);
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\fread.rt")) << modes.userPhraseFile;
}

TEST_F(Driver, FiveStrokeAndPinyinSwitches) {
    RegisterUiClasses();
    ime.type("i5");
    EXPECT_EQ(modes.wubiMode, 1);
    EXPECT_TRUE(windows.wubiNoteWindow && IsWindowVisible(windows.wubiNoteWindow))
        << "the five-stroke note is shown";
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\WBCZ.rt")) << modes.userPhraseFile;
    auto beeps = winapiBeeps();
    EXPECT_TRUE(std::any_of(beeps.begin(), beeps.end(), [](const WinapiBeep& b) {
        return !b.messageBeep && b.frequency == 200 && b.duration == 500;
    }));
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(typed("7"), "7");  // the mode is idle: a digit types itself
    EXPECT_EQ(typed("khk{Space}"), "中");

    // i then 9 typed in pinyin mode (the pinyin engine leaves the i in modeInput) leaves it.
    modes.pinyinMode = 1;
    modes.wubiMode = 0;
    copyText(c.modeInput, sizeof c.modeInput, "i");
    ime.typeChar('9');
    EXPECT_EQ(modes.pinyinMode, 0);
    EXPECT_EQ(c.modeInput[0], '\0');
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\freadx.rt")) << modes.userPhraseFile;
    EXPECT_EQ(typed("ab{Space}"), "甲");
}

// The i of the switch was a code being typed; the switch leaves the mode idle, so full-width
// digits come at once instead of choosing from rows that were just cleared.
TEST_F(Driver, FullWidthDigitsRightAfterTheFiveStrokeSwitch) {
    RegisterUiClasses();
    c.fullWidth = 1;
    ime.type("i5");
    ASSERT_EQ(modes.wubiMode, 1);
    EXPECT_EQ(typed("78"), "７８");
}

TEST_F(Driver, EngineCallsByCommand) {
    EngineRequest request{0, sizeof(EngineContext), &c};
    EXPECT_EQ(engineCall(0x47494D03, &request), 0);
    EXPECT_EQ(frontEnd.currentRequest, &request);
    EXPECT_EQ(engineCall(ZOZ_KEY, &request), 1);

    ime.type("ab");
    EXPECT_EQ(engineRequest(ZOZ_RESET, 0), 1);
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(shapeCode.inputPhase, 1);
    engineRequest(ZOZ_KEY, 'A' | ('a' << 8));
    EXPECT_EQ(std::string(c.code), "a");
}

TEST_F(Driver, CtrlAltSSwallowsTheNextKey) {
    // The filter arms the swallow; the translation of that same key then produces nothing.
    // Ctrl goes down first, on its own, and switches the language as Ctrl alone does.
    KeyOutcome o = ime.key("{Ctrl+Alt+S}");
    EXPECT_TRUE(o.taken);
    EXPECT_EQ(o.count, 0u);
    EXPECT_TRUE(o.messages.empty());
    EXPECT_EQ(frontEnd.swallowNextKey, 0);
    EXPECT_EQ(c.codeLength, 0);
    EXPECT_EQ(c.chineseMode, 0);
    ime.ctrl();
    EXPECT_EQ(typed("a{Space}"), "工");
}

TEST_F(Driver, IntroductionWindowSwallowsKeys) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "QxTestIntro";
    RegisterClassA(&wc);
    windows.introWindow =
        CreateWindowExA(0, "QxTestIntro", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(windows.introWindow, nullptr);
    KeyOutcome o = ime.typeChar('a');
    EXPECT_TRUE(o.taken);
    EXPECT_EQ(o.count, 0u);
    EXPECT_EQ(c.codeLength, 0);
    DestroyWindow(windows.introWindow);
    EXPECT_EQ(typed("a{Space}"), "工");  // a destroyed window no longer swallows
    windows.introWindow = nullptr;
}

// Without an input context a key changes nothing: no message, no mode switch, no
// conversion status written.
TEST_F(Driver, NoContextNoMessagesAndNoSwitches) {
    std::vector<unsigned char> buffer(sizeof(TRANSMSGLIST) + 8 * sizeof(TRANSMSG));
    auto* list = reinterpret_cast<TRANSMSGLIST*>(buffer.data());
    list->uMsgCount = 8;
    EXPECT_EQ(ImeToAsciiEx('A' | ('a' << 8), 0, ime.keyState, list, 0, nullptr), 0u);
    EXPECT_EQ(c.codeLength, 0);

    ime.type("i");
    const DWORD before = conversion();
    EXPECT_EQ(ImeToAsciiEx('9' | ('9' << 8), 0, ime.keyState, list, 0, nullptr), 0u);
    EXPECT_EQ(modes.phoneticEdition, 0);  // no edition switch
    EXPECT_EQ(std::string(c.code), "i");
    ime.escape();
    EXPECT_EQ(ImeToAsciiEx(VK_CONTROL, 0x1D, ime.keyState, list, 0, nullptr), 0u);
    EXPECT_EQ(c.chineseMode, 1);  // no Chinese/English switch
    EXPECT_EQ(conversion(), before);
}

// The context is locked for the translation and unlocked again on every way out.
TEST_F(Driver, EveryKeyLeavesTheContextUnlocked) {
    ime.type("ab{Space}");  // a commit
    ime.type("x");          // a key the table ignores
    ime.ctrl();             // a switch
    ime.type("a");          // English: passed through
    ime.ctrl();
    ime.type("i9");           // the edition switch returns early
    ime.key("{Ctrl+Alt+S}");  // the swallowed key returns early
    c.fullWidth = 8;
    ime.type("1");  // full width
    EXPECT_EQ(ImmGetIMCLockCount(ime.context()), 0u);
}

// A list that announces room for n messages gets n at most: none for 0, and a group that
// belongs together (one WM_CHAR a byte and the composition pair) whole or not at all.
TEST_F(Driver, MessagesNeverExceedTheRoomOfTheList) {
    struct Sentinel {
        TRANSMSGLIST list;
        TRANSMSG rest[7];
    } buffer;
    auto fill = [&](UINT room) {
        std::memset(&buffer, 0xAB, sizeof buffer);
        buffer.list.uMsgCount = room;
    };
    auto untouched = [&] {
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.list.TransMsg);
        return std::all_of(bytes, bytes + 8 * sizeof(TRANSMSG), [](unsigned char b) { return b == 0xAB; });
    };
    c.chineseMode = 0;  // a letter passes through: two messages
    fill(0);
    EXPECT_EQ(ImeToAsciiEx('Q' | ('q' << 8), 0, ime.keyState, &buffer.list, 0, ime.context()), 0u);
    EXPECT_TRUE(untouched());
    fill(1);
    EXPECT_EQ(ImeToAsciiEx('Q' | ('q' << 8), 0, ime.keyState, &buffer.list, 0, ime.context()), 0u);
    EXPECT_TRUE(untouched());
    c.chineseMode = 1;

    ime.typeChar('[');
    fill(2);  // '[' then Space needs three
    winapiClearRecords();
    EXPECT_EQ(ImeToAsciiEx(VK_SPACE | (' ' << 8), 0, ime.keyState, &buffer.list, 0, ime.context()), 0u);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(messageBeeps(), 1);
    fill(3);
    EXPECT_EQ(ImeToAsciiEx(VK_SPACE | (' ' << 8), 0, ime.keyState, &buffer.list, 0, ime.context()), 3u);
    EXPECT_EQ(buffer.list.TransMsg[0].message, static_cast<UINT>(WM_CHAR));
}

// The engine has let go of a committed text; when the result block cannot be used it
// reaches the application as characters instead of vanishing.
TEST_F(Driver, CommitWithoutAUsableResultBlockArrivesAsCharacters) {
    ime.type("ab");
    INPUTCONTEXT* imc = ImmLockIMC(ime.context());
    ASSERT_NE(imc, nullptr);
    const HIMCC block = imc->hCompStr;
    imc->hCompStr = nullptr;  // no block to lock
    ImmUnlockIMC(ime.context());
    KeyOutcome o = ime.space();
    ASSERT_EQ(o.messages.size(), 3u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_IME_CHAR));
    EXPECT_EQ(o.messages[0].wParam, static_cast<WPARAM>(0xBCD7));  // 甲
    EXPECT_EQ(o.messages[1].message, static_cast<UINT>(WM_IME_STARTCOMPOSITION));
    EXPECT_EQ(o.messages[2].message, static_cast<UINT>(WM_IME_ENDCOMPOSITION));
    EXPECT_EQ(utf8(o.text), "甲");
    EXPECT_EQ(utf8(c.lastResult), "甲");
    imc = ImmLockIMC(ime.context());
    imc->hCompStr = block;
    ImmUnlockIMC(ime.context());
    EXPECT_EQ(typed("ab,"), "乙");  // and with the block back, the result string again
}

// A commit the list has no room for is refused before the driver lets go of anything:
// the text stays where the engine put it, whether it was to go as the result string or,
// without a usable block, as characters.
TEST_F(Driver, ACommitWithoutRoomKeepsItsText) {
    TRANSMSG out[8];
    ime.type("ab");
    EXPECT_EQ(translate(VK_SPACE, ' ', out, 1), 0u);
    EXPECT_EQ(messageBeeps(), 1);
    EXPECT_EQ(utf8(c.result), "甲");

    INPUTCONTEXT* imc = ImmLockIMC(ime.context());
    ASSERT_NE(imc, nullptr);
    const HIMCC block = imc->hCompStr;
    imc->hCompStr = nullptr;  // characters then: 甲 and the composition pair are three
    ImmUnlockIMC(ime.context());
    ime.escape();
    ime.type("ab");
    EXPECT_EQ(translate(VK_SPACE, ' ', out, 2), 0u);
    EXPECT_EQ(messageBeeps(), 2);
    EXPECT_EQ(utf8(c.result), "甲");
    imc = ImmLockIMC(ime.context());
    imc->hCompStr = block;
    ImmUnlockIMC(ime.context());
    EXPECT_EQ(typed("ab,"), "乙");  // with room again the next commit goes as ever
}

TEST_F(Driver, FiveStrokeWithTheRealTable) {
    codeTables.WBMB = libraryTable("Dede.dll", "WBMB");
    if (!codeTables.WBMB.data) GTEST_SKIP() << "Dede.dll is not built next to the tests";
    modes.wubiMode = 1;
    // A unique four-letter code commits itself; otherwise Space takes the first entry.
    auto choose = [&](const char* code) {
        std::string text = ime.type(code);
        if (c.codeLength > 0) text += ime.space().text;
        return utf8(text);
    };
    EXPECT_EQ(choose("khk"), "中");
    EXPECT_EQ(choose("wqiy"), "你");
    EXPECT_EQ(choose("rqyy"), "的");
}

}  // namespace

namespace {

// Switching the edition makes sure its phrase file exists; one that cannot be read just
// now is not emptied.
TEST_F(Driver, EditionSwitchNeverTruncatesAnUnreadablePhraseFile) {
    const std::string path = systemFilePath("fread.rt");
    writeFileText(path, "ab phrase\n");
    {
        UnreadableFile locked(path);
        ASSERT_TRUE(locked.unreadable());
        ime.type("i9");
        ASSERT_EQ(modes.phoneticEdition, 1);
    }
    EXPECT_EQ(fileText(path), "ab phrase\n");
}

// The cells show a message only while a code is typed; what stays on screen afterwards is
// the display line, and there the whole message of the last switch must stand.
TEST_F(Driver, CtrlSwitchLeavesItsWholeMessageOnScreen) {
    RegisterUiClasses();
    CreateCompositionWindow();
    ASSERT_NE(c.compositionWindow, nullptr);
    ime.ctrl();
    EXPECT_EQ(c.chineseMode, 0);
    EXPECT_EQ(utf8(c.displayLine), "按CTRL键切换回中文状态！");
    ime.type("a");  // English typing leaves it
    EXPECT_EQ(utf8(c.displayLine), "按CTRL键切换回中文状态！");
    ime.ctrl();
    EXPECT_EQ(c.chineseMode, 1);
    EXPECT_EQ(utf8(c.displayLine), "按CTRL键切换回英文状态！");
    EXPECT_EQ(typed("ab{Space}"), "甲");
    DestroyCompositionWindow();
}

}  // namespace
