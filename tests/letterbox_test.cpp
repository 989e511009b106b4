// The letter box: what it shows in the pinyin and web-address modes, its caret, and that
// it never takes activation.
#include "uitest.h"

namespace {

class LetterBoxTest : public UiTest {
protected:
    HWND create() {
        CreateLetterBox();
        CreateCompositionWindow();
        return windows.letterBoxWindow;
    }
    void relayout() {
        RelayoutComposition();
        winapiPumpMessages();
    }
    // Rightmost column of ink in the box's text row, or -1.
    int inkEnd(HWND box) {
        RECT client{};
        GetClientRect(box, &client);
        for (int x = client.right - 3; x >= 3; --x)
            for (int y = 5; y < 21; ++y)
                if (dark(clientPixel(box, x, y))) return x;
        return -1;
    }
};

TEST_F(LetterBoxTest, PinyinShowsTheSpellingWhenThereIsOneElseTheLetters) {
    modes.pinyinMode = 1;
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "abc");
    engineContext.codeLength = 3;
    HWND box = create();
    relayout();
    const int letters = inkEnd(box);
    EXPECT_GT(letters, 5);
    EXPECT_LE(letters, 5 + 3 * 8);
    copyText(engineContext.syllables[SYLLABLE_SHOWN], sizeof engineContext.syllables[SYLLABLE_SHOWN], "ab'c");
    relayout();
    EXPECT_GT(inkEnd(box), 5 + 3 * 8);
    // Without letters typed the spelling is not shown either.
    engineContext.modeInput[0] = '\0';
    relayout();
    EXPECT_EQ(inkEnd(box), -1);
}

TEST_F(LetterBoxTest, WebAddressModeShowsTheTypedLetters) {
    modes.webMode = 1;
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "wwwxyz");
    HWND box = create();
    relayout();
    EXPECT_EQ(windowRect(box).right - windowRect(box).left, 80);
    EXPECT_GT(inkEnd(box), 5 + 5 * 8);
}

TEST_F(LetterBoxTest, CaretBlinksOnlyWhileSyllablesRemainUnconverted) {
    modes.pinyinMode = 1;
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "abcd");
    engineContext.caret = 2;
    HWND box = create();
    relayout();
    const int column = 2 * 8 + 5;
    const COLORREF before = clientPixel(box, column, 10);
    winapiAdvanceClock(300);
    EXPECT_EQ(clientPixel(box, column, 10), before);  // converted == syllables: no caret
    engineContext.webState[WS_SYLLABLE_COUNT] = 2;
    winapiAdvanceClock(300);
    EXPECT_EQ(clientPixel(box, column, 10) & 0xFFFFFF, ~before & 0xFFFFFF);
    winapiAdvanceClock(300);
    EXPECT_EQ(clientPixel(box, column, 10), before);
}

TEST_F(LetterBoxTest, NeverActivatedAndADropIsForgottenAtTheNextRelayout) {
    modes.pinyinMode = 1;
    HWND box = create();
    relayout();
    EXPECT_EQ(SendMessageA(box, WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
    const RECT placed = windowRect(box);
    winapiMouseDown(0, placed.left + 3, placed.top + 3);
    winapiMouseMove(400, 300);
    winapiMouseUp(0, 400, 300);
    EXPECT_EQ(windowRect(box).left, 397);
    relayout();
    EXPECT_EQ(windowRect(box).left, placed.left);
}

}  // namespace
