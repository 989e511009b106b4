// ImeProcessKey: which keys the module takes, by mode and modifier.
#include "imedriver.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

namespace {

class KeyFilter : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        std::fill(std::begin(state), std::end(state), 0);
        himc = ime.context();
    }
    BOOL take(UINT vk) { return ImeProcessKey(himc, vk, 0x00010001, state); }
    BOOL takeWith(UINT vk, int modifier) {
        state[modifier] = 0x80;
        BOOL taken = take(vk);
        state[modifier] = 0;
        return taken;
    }

    ImeDriver ime;
    HIMC himc = nullptr;
    BYTE state[256] = {};
    EngineContext& c = engineContext;
};

TEST_F(KeyFilter, NoContextTakesNothing) {
    EXPECT_FALSE(ImeProcessKey(nullptr, 'A', 0, state));
    EXPECT_FALSE(ImeProcessKey(nullptr, VK_SHIFT, 0, state));
}

TEST_F(KeyFilter, LettersDigitsAndPunctuationKeys) {
    EXPECT_TRUE(take('A'));
    EXPECT_TRUE(takeWith('A', VK_SHIFT));
    EXPECT_FALSE(takeWith('A', VK_CONTROL));
    EXPECT_FALSE(takeWith('A', VK_MENU));
    EXPECT_TRUE(take('7'));
    state[VK_CAPITAL] = 0x01;
    EXPECT_FALSE(take('A'));
    EXPECT_TRUE(take(0xBE)) << "Caps Lock does not matter for punctuation keys";
    state[VK_CAPITAL] = 0;
    for (UINT vk : {0xBAu, 0xC0u, 0xDBu, 0xDEu}) {
        EXPECT_TRUE(take(vk)) << vk;
        EXPECT_TRUE(takeWith(vk, VK_SHIFT)) << vk;
        EXPECT_FALSE(takeWith(vk, VK_CONTROL)) << vk;
    }
    EXPECT_FALSE(take(0xC1));
    EXPECT_FALSE(take(VK_F1));
    EXPECT_FALSE(take(VK_TAB));
    EXPECT_TRUE(take(VK_SHIFT));
    EXPECT_TRUE(take(VK_CONTROL));
    // English mode changes nothing here: the driver hands letters back.
    c.chineseMode = 0;
    EXPECT_TRUE(take('A'));
}

TEST_F(KeyFilter, KeyDataIsKeptForPassThrough) {
    ImeProcessKey(himc, 'A', 0x401E0001, state);
    EXPECT_EQ(frontEnd.keyData, 0x401E0001u);
}

TEST_F(KeyFilter, CtrlAltSArmsTheSwallow) {
    state[VK_CONTROL] = state[VK_MENU] = 0x80;
    EXPECT_TRUE(take('S'));
    EXPECT_EQ(frontEnd.swallowNextKey, 1);
    frontEnd.swallowNextKey = 0;
    EXPECT_FALSE(take('T'));
    EXPECT_EQ(frontEnd.swallowNextKey, 0);
}

TEST_F(KeyFilter, EditingKeysNeedSomethingTyped) {
    for (UINT vk : {VK_BACK, VK_ESCAPE, VK_SPACE, VK_INSERT, VK_DELETE}) EXPECT_FALSE(take(vk)) << vk;
    c.codeLength = 2;
    for (UINT vk : {VK_BACK, VK_ESCAPE, VK_SPACE, VK_INSERT, VK_DELETE}) {
        EXPECT_TRUE(take(vk)) << vk;
        EXPECT_FALSE(takeWith(vk, VK_SHIFT)) << vk;
    }
    // Address mode with nothing typed: only Escape, which leaves the mode.
    modes.webMode = 1;
    EXPECT_TRUE(take(VK_ESCAPE));
    EXPECT_FALSE(take(VK_BACK));
    copyText(c.modeInput, sizeof c.modeInput, "ab");
    EXPECT_TRUE(take(VK_BACK));
    // Pinyin mode goes by modeInput, not by the shape code.
    modes.webMode = 0;
    modes.pinyinMode = 1;
    EXPECT_TRUE(take(VK_SPACE));
    c.modeInput[0] = '\0';
    EXPECT_FALSE(take(VK_ESCAPE));
}

TEST_F(KeyFilter, EnterKey) {
    EXPECT_TRUE(take(VK_RETURN));
    EXPECT_FALSE(takeWith(VK_RETURN, VK_CONTROL));
    // English mode: Enter switches back to Chinese with a beep.
    c.chineseMode = 0;
    shapeCode.inputPhase = 1;
    winapiClearRecords();
    EXPECT_TRUE(takeWith(VK_RETURN, VK_SHIFT));
    EXPECT_EQ(c.chineseMode, 1);
    EXPECT_EQ(shapeCode.inputPhase, 3);
    EXPECT_EQ(winapiBeeps().size(), 1u);
    // Pinyin mode: nothing typed is the application's Enter; typed text is discarded.
    modes.pinyinMode = 1;
    EXPECT_FALSE(take(VK_RETURN));
    copyText(c.modeInput, sizeof c.modeInput, "zhong");
    copyText(c.syllables[SYLLABLE_SHOWN], sizeof c.syllables[SYLLABLE_SHOWN], "zhong");
    copyText(c.rowText[0], sizeof c.rowText[0], "x");
    c.rowFirst = 10;
    c.webState[WS_CONVERTED_COUNT] = 5;
    EXPECT_TRUE(take(VK_RETURN));
    EXPECT_EQ(c.modeInput[0], '\0');
    EXPECT_EQ(c.syllables[SYLLABLE_SHOWN][0], '\0');
    EXPECT_EQ(c.rowText[0][0], '\0');
    EXPECT_EQ(c.rowFirst, 0);
    EXPECT_EQ(c.webState[WS_CONVERTED_COUNT], 0);
}

TEST_F(KeyFilter, KeywordDialogInAddressModeTakesNothing) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "QxTestKeyword";
    RegisterClassA(&wc);
    windows.keywordDialog =
        CreateWindowExA(0, "QxTestKeyword", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(windows.keywordDialog, nullptr);
    modes.webMode = 1;
    copyText(c.modeInput, sizeof c.modeInput, "ab");
    EXPECT_FALSE(take('A'));
    EXPECT_FALSE(take(VK_SHIFT));
    modes.webMode = 0;
    EXPECT_TRUE(take('A'));
    DestroyWindow(windows.keywordDialog);
    windows.keywordDialog = nullptr;
}

TEST_F(KeyFilter, NavigationKeys) {
    for (UINT vk : {VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN}) {
        c.codeLength = 3;
        EXPECT_FALSE(take(vk)) << vk;
    }
    // With nothing typed a visible composition window is put away first.
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "QxTestComposition";
    RegisterClassA(&wc);
    c.compositionWindow =
        CreateWindowExA(0, "QxTestComposition", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(IsWindowVisible(c.compositionWindow));
    c.codeLength = 1;
    EXPECT_FALSE(take(VK_HOME));
    EXPECT_TRUE(IsWindowVisible(c.compositionWindow));
    c.codeLength = 0;
    EXPECT_FALSE(take(VK_HOME));
    EXPECT_FALSE(IsWindowVisible(c.compositionWindow));
    DestroyWindow(c.compositionWindow);
    c.compositionWindow = nullptr;

    modes.pinyinMode = 1;
    EXPECT_FALSE(take(VK_LEFT));
    copyText(c.modeInput, sizeof c.modeInput, "ni");
    EXPECT_TRUE(take(VK_LEFT));
    EXPECT_TRUE(take(VK_NEXT));
}

}  // namespace
