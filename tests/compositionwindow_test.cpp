// The composition window and the letter box: placement, sizes, clamps, caret following,
// and what the painting puts on the screen.
#include "uitest.h"

#include "imedriver.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int WORK_RIGHT = 1024, WORK_BOTTOM = 768 - 28;

class CompositionTest : public UiTest {
protected:
    HWND create() {
        CreateLetterBox();
        CreateCompositionWindow();
        return engineContext.compositionWindow;
    }
    void relayout() {
        RelayoutComposition();
        winapiPumpMessages();
    }
    void setCode(const char* code) {
        copyText(engineContext.code, sizeof engineContext.code, code);
        engineContext.codeLength = static_cast<int16_t>(std::strlen(code));
        engineContext.caret = engineContext.codeLength;
    }
};

TEST_F(CompositionTest, FirstPlacementIsAnEighthInAndFlushWithTheWorkAreaBottom) {
    HWND window = create();
    ASSERT_NE(window, nullptr);
    const RECT r = windowRect(window);
    EXPECT_EQ(r.left, WORK_RIGHT / 8);
    EXPECT_EQ(r.bottom, WORK_BOTTOM);
    EXPECT_EQ(r.right - r.left, 339);
    EXPECT_EQ(r.bottom - r.top, 48);
    EXPECT_FALSE(IsWindowVisible(window));
    // A stored position is kept on the next creation.
    DestroyCompositionWindow();
    uiState.compositionX = 300;
    uiState.compositionY = 200;
    window = create();
    EXPECT_EQ(windowRect(window).left, 300);
    EXPECT_EQ(windowRect(window).top, 200);
}

TEST_F(CompositionTest, SizeFollowsTheModeAndTheLowerEdgeStaysOnTheWorkArea) {
    HWND window = create();
    relayout();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(uiState.firstShowPending, 0);
    RECT r = windowRect(window);
    EXPECT_EQ(r.right - r.left, 339);
    EXPECT_EQ(r.bottom - r.top, 48);

    modes.pinyinMode = 1;
    relayout();
    r = windowRect(window);
    EXPECT_EQ(r.right - r.left, 147);
    EXPECT_EQ(r.bottom - r.top, 178);
    EXPECT_EQ(r.bottom, WORK_BOTTOM);  // raised so that the tall list fits

    modes.webMode = 1;
    relayout();
    r = windowRect(window);
    EXPECT_EQ(r.right - r.left, 499);
    EXPECT_EQ(r.bottom - r.top, 178);

    modes.pinyinMode = modes.webMode = 0;
    uiState.uiFontHeight = 20;
    relayout();
    EXPECT_EQ(windowRect(window).right - windowRect(window).left, 16 * 20 + 83);
}

TEST_F(CompositionTest, SimpleWindowWidensWithTheDisplayLine) {
    modes.simpleWindow = 1;
    HWND window = create();
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, "\xB0\xA1\xB0\xA2");  // 4 bytes
    relayout();
    RECT r = windowRect(window);
    EXPECT_EQ(r.right - r.left, 108);
    EXPECT_EQ(r.bottom - r.top, 28);
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, "0123456789");
    relayout();
    EXPECT_EQ(windowRect(window).right - windowRect(window).left, 178);
    // Never wider than the full window.
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, "0123456789012345678901234567890123456789");
    relayout();
    EXPECT_EQ(windowRect(window).right - windowRect(window).left, 339);
}

TEST_F(CompositionTest, RoutinesDoNothingWithoutTheirWindows) {
    RelayoutComposition();
    ShowCompositionWindow(1);
    RepaintStatusWindow();
    EXPECT_EQ(engineContext.compositionWindow, nullptr);
    EXPECT_EQ(uiState.firstShowPending, 1);
    // The position is still clamped for the window to come.
    uiState.compositionY = 730;
    RelayoutComposition();
    EXPECT_EQ(uiState.compositionY, WORK_BOTTOM - 48);
}

TEST_F(CompositionTest, FollowCaretPlacesTheWindowAnEighthBelowOrAboveTheCaret) {
    HWND window = create();
    FollowCaret(100, 100);  // following is off: nothing moves
    EXPECT_EQ(windowRect(window).left, WORK_RIGHT / 8);

    engineContext.caretFollow = 1;
    FollowCaret(100, 100);
    EXPECT_EQ(windowRect(window).left, 100);
    EXPECT_EQ(windowRect(window).top, 100 + WORK_BOTTOM / 8);

    FollowCaret(100, 700);  // bottom eighth: above the caret
    EXPECT_EQ(windowRect(window).top, 700 - WORK_BOTTOM / 8);

    FollowCaret(1000, 5);  // right edge, and never left of the letter box's width
    EXPECT_EQ(windowRect(window).left, WORK_RIGHT - 339);
    FollowCaret(-50, 5);
    EXPECT_EQ(windowRect(window).left, uiState.letterBoxWidth);
    EXPECT_EQ(uiState.compositionX, uiState.letterBoxWidth);

    modes.pinyinMode = 1;  // row modes relayout, and the tall window stays on the work area
    FollowCaret(200, 600);
    EXPECT_EQ(windowRect(window).bottom, WORK_BOTTOM);
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(CompositionTest, LetterBoxSitsLeftOfTheWindowAndPushesItOffTheLeftEdge) {
    modes.pinyinMode = 1;
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "abcdefgh");
    HWND window = create();
    EXPECT_EQ(windowRect(windows.letterBoxWindow).right - windowRect(windows.letterBoxWindow).left, 120);

    uiState.compositionX = 30;
    relayout();
    const RECT box = windowRect(windows.letterBoxWindow);
    EXPECT_EQ(box.right - box.left, 100);
    EXPECT_EQ(box.bottom - box.top, 25);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(windowRect(window).left, 100);
    EXPECT_EQ(box.top, windowRect(window).top);
    EXPECT_TRUE(IsWindowVisible(windows.letterBoxWindow));

    modes.pinyinMode = 0;
    relayout();
    EXPECT_FALSE(IsWindowVisible(windows.letterBoxWindow));
}

TEST_F(CompositionTest, LetterBoxFollowsTheWindowRaisedForTheRows) {
    HWND window = create();  // the shape-code window, flush with the work-area bottom
    relayout();
    // Entering a row mode makes the window tall: it moves up, and the box goes with it
    // in the same relayout.
    modes.pinyinMode = 1;
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "ni");
    relayout();
    EXPECT_EQ(windowRect(window).bottom, WORK_BOTTOM);
    EXPECT_EQ(windowRect(windows.letterBoxWindow).top, windowRect(window).top);
    EXPECT_EQ(windowRect(windows.letterBoxWindow).right, windowRect(window).left);
}

TEST_F(CompositionTest, BothWindowsTipTheWayIntoUserPhrasesOverTheirWholeClientArea) {
    modes.pinyinMode = 1;
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "ni");
    HWND window = create();
    relayout();
    const std::pair<HWND, UINT> tools[] = {{window, 200}, {windows.letterBoxWindow, 300}};
    for (const auto& [owner, id] : tools) {
        bool found = false;
        for (const WinapiTool& tool : winapiTooltipTools()) {
            if (tool.hwnd != owner) continue;
            found = true;
            EXPECT_EQ(tool.id, id);
            RECT client{};
            GetClientRect(owner, &client);
            EXPECT_EQ(tool.rect.right, client.right) << id;  // re-registered at the new size
            EXPECT_EQ(tool.rect.bottom, client.bottom) << id;
            EXPECT_EQ(utf8(tool.text), "连击三次错键进入自造词组！");
        }
        EXPECT_TRUE(found) << id;
        const RECT frame = windowRect(owner);
        winapiMouseMove(frame.left + 8, frame.top + 8);
        winapiAdvanceClock(20);
        EXPECT_EQ(utf8(winapiShownTooltip()), "连击三次错键进入自造词组！") << id;
        winapiAdvanceClock(20000);
    }
}

TEST_F(CompositionTest, FrameAndGroovesOfTheShapeCodeWindow) {
    HWND window = create();
    relayout();
    // Client 337 x 46: mid = 23.
    EXPECT_EQ(clientPixel(window, 100, 22), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(clientPixel(window, 100, 23), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(clientPixel(window, 49, 10), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(clientPixel(window, 50, 10), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(clientPixel(window, 49, 30), GetSysColor(COLOR_BTNFACE));  // upper half only
    EXPECT_EQ(clientPixel(window, 200, 45), GetSysColor(COLOR_3DDKSHADOW));  // raised frame
    EXPECT_EQ(clientPixel(window, 336, 20), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(clientPixel(window, 200, 44), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(clientPixel(window, 200, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(CompositionTest, PinyinListHasAnInsetRectangleAndNoGrooves) {
    modes.pinyinMode = 1;
    HWND window = create();
    relayout();
    EXPECT_EQ(clientPixel(window, 60, 3), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(clientPixel(window, 3, 60), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(clientPixel(window, 49, 10), GetSysColor(COLOR_BTNFACE));
}

TEST_F(CompositionTest, KeyCellsAreRedAndTheHalvesShareCellEleven) {
    HWND window = create();
    // 22 cells: digits, with cell 11 a key cell.
    char line[48] = {};
    for (int i = 0; i < 22; ++i) {
        line[2 * i] = static_cast<char>('a' + i % 26);
        line[2 * i + 1] = 'x';
    }
    line[22] = ' ';
    line[23] = 'k';
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, line);
    // Space 9 pixels wide, cells 18: half 0 draws cell 11 at 50 + 9 + 11 * 18 = 257.
    relayout();
    EXPECT_TRUE(anyPixel(window, 257, 5, 275, 21, reddish));
    EXPECT_FALSE(anyPixel(window, 59, 5, 250, 21, reddish));
    shapeCode.displayHalf = 1;
    relayout();
    EXPECT_TRUE(anyPixel(window, 59, 5, 77, 21, reddish));
    EXPECT_FALSE(anyPixel(window, 80, 5, 330, 21, reddish));
}

TEST_F(CompositionTest, TildeLabelAndCharactersEndingInTildeAreDrawnFillersAreNot) {
    HWND window = create();
    setCode("gg");
    // Eight entries as the fixed-record lookup lists them: half 1 begins with the key
    // cell " ~", followed by the GBK character 81 7E, whose second byte is "~" too.
    std::string line = "\xB0\xA1";
    const char* labels = ",.'56~,";
    for (int i = 0; i < 7; ++i) line += std::string(" ") + labels[i] + (i == 5 ? "\x81\x7E" : "\xB0\xA2");
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, line.c_str());
    shapeCode.displayHalf = 1;
    relayout();
    // From x = 59, cells of 18 pixels: " ~" (red), the character, " ," (red), a character.
    EXPECT_TRUE(anyPixel(window, 68, 5, 77, 21, reddish));
    EXPECT_TRUE(anyPixel(window, 77, 5, 95, 21, dark));
    EXPECT_FALSE(anyPixel(window, 77, 5, 95, 21, reddish));
    EXPECT_TRUE(anyPixel(window, 95, 5, 113, 21, reddish));
    EXPECT_TRUE(anyPixel(window, 113, 5, 131, 21, dark));
    EXPECT_FALSE(anyPixel(window, 131, 5, 200, 21, dark));

    // A filler cell ("k~") still takes no room while a code is typed.
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, "a~ ,");
    shapeCode.displayHalf = 0;
    relayout();
    EXPECT_TRUE(anyPixel(window, 59, 5, 77, 21, reddish));
    // With nothing typed it shows as a blank cell.
    setCode("");
    relayout();
    EXPECT_FALSE(anyPixel(window, 59, 5, 77, 21, reddish));
    EXPECT_TRUE(anyPixel(window, 77, 5, 95, 21, reddish));
}

TEST_F(CompositionTest, CandidateLineSetsThePageMarkerApart) {
    HWND window = create();
    setCode("ab");
    copyText(engineContext.cells[0], 20, "1\xB0\xA1");
    copyText(engineContext.cells[1], 20, "\xA1\xFA");  // →
    engineContext.lastCell = 1;
    copyText(engineContext.displayLine, sizeof engineContext.displayLine, "\xB0\xA1");
    relayout();
    // Cell 0: 3 bytes of 9 pixels from x = 5; the marker 10 pixels after its end (32).
    EXPECT_TRUE(anyPixel(window, 5, 25, 32, 43, dark));
    EXPECT_FALSE(anyPixel(window, 33, 25, 42, 43, dark));
    EXPECT_TRUE(anyPixel(window, 42, 25, 60, 43, dark));
    // While a code is typed the display line is drawn on the highlight-text colour.
    EXPECT_EQ(clientPixel(window, 51, 6), GetSysColor(COLOR_HIGHLIGHTTEXT));
}

TEST_F(CompositionTest, EmptyDisplayLineIsBuiltFromPlainCandidates) {
    create();
    setCode("a");
    copyText(engineContext.cells[0], 20, "a");
    copyText(engineContext.cells[1], 20, "\xB0\xA1");
    copyText(engineContext.cells[2], 20, "\xB0\xA2");
    copyText(engineContext.cells[3], 20, "\xA1\xF0" "b");  // ○ marker ends the line
    copyText(engineContext.cells[4], 20, "\xB0\xA3");
    engineContext.lastCell = 4;
    copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, "old");
    relayout();
    EXPECT_STREQ(engineContext.displayLine, "\xB0\xA1\xB0\xA2");
    EXPECT_EQ(shapeCode.messageLine[0], '\0');  // typing clears the message line

    engineContext.displayLine[0] = '\0';
    copyText(engineContext.cells[2], 20, " b");  // a key cell stops it too
    relayout();
    EXPECT_STREQ(engineContext.displayLine, "\xB0\xA1");
}

TEST_F(CompositionTest, MessageLineShowsWithNothingTypedOrWhileTheRepeatIsArmed) {
    HWND window = create();
    copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, "\xB6\xD4\xB2\xBB\xC6\xF0");
    relayout();
    EXPECT_TRUE(anyPixel(window, 5, 25, 60, 43, dark));
    // The row lists show it only while the wrong-key repeat is armed.
    modes.pinyinMode = 1;
    relayout();
    EXPECT_FALSE(anyPixel(window, 5, 25, 60, 43, dark));
    shapeCode.repeatArmed = 1;
    relayout();
    EXPECT_TRUE(anyPixel(window, 5, 25, 60, 43, dark));
}

TEST_F(CompositionTest, WrongKeyMessageOutlastsTheRefreshesWhileArmed) {
    HWND window = create();
    setCode("ab");
    copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, "\xB6\xD4\xB2\xBB\xC6\xF0");  // 对不起
    shapeCode.repeatArmed = 1;
    relayout();  // the engine's refresh that shows it
    relayout();  // the driver's refresh after the key
    EXPECT_TRUE(anyPixel(window, 5, 25, 60, 43, dark));
    EXPECT_NE(shapeCode.messageLine[0], '\0');
    // Disarmed, the next key typed ends it.
    shapeCode.repeatArmed = 0;
    relayout();
    EXPECT_EQ(shapeCode.messageLine[0], '\0');
    relayout();
    EXPECT_FALSE(anyPixel(window, 5, 25, 60, 43, dark));
}

TEST_F(CompositionTest, CaretBlinksByInvertingAColumnAfterTheCode) {
    HWND window = create();
    setCode("ab");
    relayout();
    // Two bytes of 9 pixels: the caret column is x = 22.
    const COLORREF before = clientPixel(window, 22, 10);
    winapiAdvanceClock(400);
    const COLORREF lit = clientPixel(window, 22, 10);
    EXPECT_NE(lit, before);
    EXPECT_EQ(lit & 0xFFFFFF, ~before & 0xFFFFFF);
    winapiAdvanceClock(400);
    EXPECT_EQ(clientPixel(window, 22, 10), before);
}

TEST_F(CompositionTest, PinyinRowsCarryTheirDigitAndAGreyLabel) {
    modes.pinyinMode = 1;
    HWND window = create();
    copyText(engineContext.rowText[2], 41, "\xB0\xA1");
    copyText(&engineContext.rowLabels[6], 3, "ab");
    relayout();
    const int y = 5 + 17 * 2;
    EXPECT_TRUE(anyPixel(window, 5, y, 13, y + 16, dark));     // the digit "3"
    EXPECT_TRUE(anyPixel(window, 15, y, 31, y + 16, dark));    // the candidate
    EXPECT_FALSE(anyPixel(window, 5, 5, 60, 5 + 16, dark));    // empty rows draw nothing
    auto grey = [](COLORREF c) { return GetRValue(c) == GetGValue(c) && GetRValue(c) > 40 && GetRValue(c) < 140; };
    EXPECT_TRUE(anyPixel(window, 115, y, 135, y + 16, grey));
}

TEST_F(CompositionTest, WebRowsOutsideTheFrequentBlockStandOnWhite) {
    modes.webMode = 1;
    HWND window = create();
    relayout();
    EXPECT_TRUE(anyPixel(window, 5, 5, 60, 21, dark));  // the prompt while nothing is typed
    copyText(engineContext.modeInput, sizeof engineContext.modeInput, "x");
    engineContext.webState[WS_FIXED_COUNT] = 5;  // entries below 5 are the frequent ones
    engineContext.rowFirst = 10;
    engineContext.webMarks[10] = 2;
    engineContext.webMarks[11] = 7;
    copyText(engineContext.rowNote[0], 73, "A b");
    copyText(engineContext.rowNote[1], 73, "A b");
    copyText(engineContext.rowText[1], 41, "a.b");
    relayout();
    const COLORREF white = RGB(255, 255, 255);
    auto isWhite = [&](COLORREF c) { return c == white; };
    EXPECT_TRUE(anyPixel(window, 15, 5, 40, 21, isWhite));
    EXPECT_FALSE(anyPixel(window, 15, 22, 40, 38, isWhite));
    EXPECT_TRUE(anyPixel(window, 165, 22, 190, 38, dark));  // the address column
}

TEST_F(CompositionTest, RowsAreSeventeenPixelsApart) {
    EXPECT_EQ(CompositionRowAt(4), -1);
    EXPECT_EQ(CompositionRowAt(5), 0);
    EXPECT_EQ(CompositionRowAt(22), 0);  // rows overlap by one pixel: the upper wins
    EXPECT_EQ(CompositionRowAt(23), 1);
    EXPECT_EQ(CompositionRowAt(5 + 17 * 2 + 8), 2);
    EXPECT_EQ(CompositionRowAt(5 + 17 * 9), 8);
    EXPECT_EQ(CompositionRowAt(5 + 17 * 9 + 1), 9);
    EXPECT_EQ(CompositionRowAt(5 + 17 * 9 + 18), -1);
}

TEST_F(CompositionTest, DroppedWindowKeepsItsPlaceAndTakesTheLetterBoxAlong) {
    modes.pinyinMode = 1;
    HWND window = create();
    relayout();
    const RECT start = windowRect(window);
    winapiMouseDown(0, start.left + 60, start.top + 2);  // above the first row
    winapiMouseMove(start.left - 100, 300);
    winapiMouseUp(0, start.left - 100, 300);
    winapiPumpMessages();
    EXPECT_EQ(uiState.compositionX, std::max<int>(start.left - 160, uiState.letterBoxWidth));
    EXPECT_EQ(uiState.compositionY, 298);
    EXPECT_EQ(windowRect(windows.letterBoxWindow).right, uiState.compositionX);
    EXPECT_EQ(windowRect(windows.letterBoxWindow).top, 298);
}

}  // namespace

namespace {

int compositionPaints = 0;
WNDPROC compositionProc = nullptr;

LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) ++compositionPaints;
    return CallWindowProcA(compositionProc, window, message, wParam, lParam);
}

std::vector<COLORREF> windowPixels(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < r.bottom - r.top; ++y)
        for (int x = 0; x < r.right - r.left; ++x) pixels.push_back(winapiWindowPixel(window, x, y));
    return pixels;
}

}  // namespace

TEST_F(CompositionTest, AKeyPaintsTheWindowOnceWithWhatItLeft) {
    HWND window = create();
    ASSERT_TRUE(installSmallTables());
    engineContext.chinesePunct = 1;
    engineRequest(ZOZ_RESET, 1);
    relayout();
    compositionProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&countingProc)));
    ImeDriver ime;
    // A letter, another, a label, paging, Backspace: the engine and the driver each ask
    // for a relayout, the window is painted once a key.
    for (const char* key : {"a", "b", "=", "{Back}", "{Space}", "p", "-"}) {
        SCOPED_TRACE(key);
        compositionPaints = 0;
        ime.key(key);
        EXPECT_EQ(compositionPaints, 1);
        // What is on screen is what a full repaint of the state the key left shows.
        const std::vector<COLORREF> shown = windowPixels(window);
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        EXPECT_EQ(windowPixels(window), shown);
    }
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(compositionProc));
}
