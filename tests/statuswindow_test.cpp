// The status bar: placement, buttons under the mouse (with and without an input
// context), dragging, and the menu with its commands.
#include "uitest.h"

#include "imedriver.h"

#include <imm.h>

namespace {

constexpr int WORK_RIGHT = 1024, WORK_BOTTOM = 768 - 28;

class StatusTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        CreateStatusWindow();
        bar = engineContext.statusWindow;
        ASSERT_NE(bar, nullptr);
        ShowWindow(bar, SW_SHOWNA);
        RepaintStatusWindow();
        winapiPumpMessages();
    }
    void TearDown() override {
        if (context != nullptr) {
            SetWindowLongPtrA(windows.uiHostWindow, 0, 0);
            ImmDestroyContext(context);
        }
        UiTest::TearDown();
    }
    void giveContext() {
        context = ImmCreateContext();
        SetWindowLongPtrA(windows.uiHostWindow, 0, reinterpret_cast<LONG_PTR>(context));
    }
    POINT screenOf(int x, int y) {
        const RECT r = windowRect(bar);
        return POINT{r.left + x, r.top + y};
    }
    void press(int x, int y) {
        const POINT p = screenOf(x, y);
        winapiMouseDown(0, p.x, p.y);
    }
    std::vector<WinapiDesktopEvent> events(const char* kind) {
        std::vector<WinapiDesktopEvent> found;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents())
            if (e.kind == kind) found.push_back(e);
        return found;
    }
    HWND bar = nullptr;
    HIMC context = nullptr;
};

TEST_F(StatusTest, PlacedOnceInTheBottomRightCornerOfTheWorkArea) {
    const RECT r = windowRect(bar);
    EXPECT_EQ(r.left, WORK_RIGHT - 131);
    EXPECT_EQ(r.top, WORK_BOTTOM - 28);
    EXPECT_EQ(r.right - r.left, 131);
    EXPECT_EQ(r.bottom - r.top, 28);
    EXPECT_TRUE(GetWindowLongA(bar, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // A second creation while it exists makes no second bar.
    CreateStatusWindow();
    EXPECT_EQ(engineContext.statusWindow, bar);
    // A bar moved elsewhere comes back there; one moved to (0, 0) counts as never placed.
    DestroyStatusWindow();
    uiState.statusX = 10;
    uiState.statusY = 20;
    CreateStatusWindow();
    EXPECT_EQ(windowRect(engineContext.statusWindow).left, 10);
    DestroyStatusWindow();
    uiState.statusX = uiState.statusY = 0;
    CreateStatusWindow();
    EXPECT_EQ(windowRect(engineContext.statusWindow).left, WORK_RIGHT - 131);
}

TEST_F(StatusTest, ButtonsAreFramedAndAPressedOneSinks) {
    // The raised frame's dark right edge of button 0 at x = 26, its highlight at x = 4.
    EXPECT_EQ(clientPixel(bar, 26, 10, 0), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(clientPixel(bar, 4, 10, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(clientPixel(bar, 130, 10, 0), GetSysColor(COLOR_3DDKSHADOW));  // the bar's own frame
    press(10, 10);
    EXPECT_EQ(clientPixel(bar, 26, 10, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(clientPixel(bar, 4, 10, 0), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetCapture(), bar);
}

TEST_F(StatusTest, ButtonsShowThePicturesOfTheCurrentModes) {
    struct Case {
        int chinese, punct, full, wubi, pinyin, web, phonetic;
        int pictures[4];  // buttons 0-3
    } cases[] = {
        {1, 1, 0, 0, 0, 0, 0, {102, 220, 105, 107}},
        {0, 0, 1, 0, 0, 0, 1, {104, 204, 103, 106}},
        {1, 1, 0, 1, 1, 1, 1, {102, 232, 105, 107}},  // five-stroke wins over everything
        {1, 1, 0, 0, 1, 1, 1, {102, 245, 105, 107}},
        {1, 1, 0, 0, 0, 1, 1, {102, 242, 105, 107}},
    };
    // Where each picture lands: button 0 one pixel in, button 1 two, buttons 2 and 3 flush.
    // Compared: the part of each picture that the buttons' frames, drawn last, leave showing.
    const int at[4][6] = {
        {5, 5, 1, 0, 20, 17}, {29, 5, 0, 1, 48, 18}, {82, 5, 2, 0, 20, 17}, {106, 5, 2, 0, 20, 17}};
    for (const Case& c : cases) {
        engineContext.chineseMode = static_cast<int16_t>(c.chinese);
        engineContext.chinesePunct = static_cast<int16_t>(c.punct);
        engineContext.fullWidth = static_cast<int16_t>(c.full);
        modes.wubiMode = c.wubi;
        modes.pinyinMode = c.pinyin;
        modes.webMode = c.web;
        modes.phoneticEdition = c.phonetic;
        RepaintStatusWindow();
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(pictureMismatches(bar, c.pictures[b], at[b][0], at[b][1], at[b][2], at[b][3], at[b][4],
                                        at[b][5]),
                      0)
                << "button " << b << " picture " << c.pictures[b];
    }
    // A mode picture that is not the one shown does not match: the comparison can fail.
    EXPECT_GT(pictureMismatches(bar, 220, 29, 5, 0, 1, 48, 18), 0);
}

TEST_F(StatusTest, EachButtonHasItsOwnTooltip) {
    const char* texts[] = {"切换中/英文", "启动菜单", "切换中/英文标点", "切换半角/全角"};
    const int centres[] = {15, 53, 92, 116};
    for (int i = 0; i < 4; ++i) {
        const POINT p = screenOf(centres[i], 12);
        winapiMouseMove(p.x, p.y);
        winapiAdvanceClock(20);
        EXPECT_EQ(utf8(winapiShownTooltip()), texts[i]) << i;
        winapiAdvanceClock(20000);  // let it pop before the next button
    }
    EXPECT_EQ(winapiTooltipTools().size(), 4u);
}

TEST_F(StatusTest, CursorIsTheArrowOverButtonsAndTheFourWayArrowOverTheBorder) {
    POINT p = screenOf(1, 1);
    winapiMouseMove(p.x, p.y);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_SIZEALL));
    p = screenOf(50, 12);
    winapiMouseMove(p.x, p.y);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
    p = screenOf(129, 12);
    winapiMouseMove(p.x, p.y);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_SIZEALL));
}

TEST_F(StatusTest, ReleaseAnywhereSwitchesThePressedButton) {
    giveContext();
    DWORD conversion = 0, sentence = 0;
    ImmGetConversionStatus(context, &conversion, &sentence);
    press(90, 10);  // punctuation
    winapiMouseUp(0, 10, 10);  // far outside the bar
    DWORD after = 0;
    ImmGetConversionStatus(context, &after, &sentence);
    EXPECT_EQ(after, conversion ^ IME_CMODE_SYMBOL);
    EXPECT_EQ(GetCapture(), nullptr);

    press(110, 10);  // width
    winapiMouseUp(0, 500, 500);
    ImmGetConversionStatus(context, &after, &sentence);
    EXPECT_EQ(after, conversion ^ IME_CMODE_SYMBOL ^ IME_CMODE_FULLSHAPE);

    press(10, 10);  // Chinese/English
    winapiMouseUp(0, 10, 10);
    EXPECT_EQ(engineContext.chineseMode, 0);
    press(10, 10);
    winapiMouseUp(0, 10, 10);
    EXPECT_EQ(engineContext.chineseMode, 1);
}

TEST_F(StatusTest, WithoutAContextAPressSwitchesNothingAndFreesTheMouse) {
    press(10, 10);
    winapiMouseUp(0, 10, 10);
    EXPECT_EQ(engineContext.chineseMode, 1);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(uiState.statusPressed, -1);
}

TEST_F(StatusTest, DraggedByTheBorderAndClampedToTheWorkArea) {
    press(1, 1);
    winapiMouseMove(2000, 2000);
    winapiMouseUp(0, 2000, 2000);
    EXPECT_EQ(uiState.statusX, WORK_RIGHT - 131);
    EXPECT_EQ(uiState.statusY, WORK_BOTTOM - 28);
    press(1, 1);
    winapiMouseUp(0, 300, 200);
    EXPECT_EQ(uiState.statusX, 299);
    EXPECT_EQ(uiState.statusY, 199);
    EXPECT_EQ(windowRect(bar).left, 299);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(StatusTest, MenuButtonOpensTheMenuUpwardWithItsItemsInOrder) {
    giveContext();
    winapiPushMenuAnswer(1294);
    press(50, 10);
    winapiMouseUp(0, 50, 10);
    winapiPumpMessages();
    const auto menus = events("menu");
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].text,
              "1280 \xB7\xC3\xCE\xCA" "Tessel\n1293 \xCE\xD2\xCA\xC7\xCB\xAD?\n1294 \xD7\xEE\xD0\xC2\xB8\xC4\xBD\xF8\n"
              "1300 \xD7\xD6\xB8\xF9\xC1\xB7\xCF\xB0\n1301 \xC9\xC1\xB5\xE7\xC9\xFD\xBC\xB6\n"
              "1295 \xBC\xF2\xD2\xAA\xCA\xD6\xB2\xE1\n1297 \xCE\xD2\xB5\xC4\xB8\xF6\xD0\xD4\n"
              "1298 \xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9\n1299 \xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7\n"
              "1302 \xB9\xD8\xBC\xFC\xD7\xD6\xB2\xE9\xD1\xAF\n");
    EXPECT_EQ(menus[0].value, 1294);
    const auto programs = events("winexec");
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].text, "notepad.exe c:\\windows\\system\\new.txt");
    EXPECT_EQ(programs[0].value, SW_SHOW);
}

TEST_F(StatusTest, CommandsStartTheirProgramsOnlyWithAContext) {
    SendMessageA(bar, WM_COMMAND, 1295, 0);
    EXPECT_TRUE(events("winexec").empty());
    giveContext();
    const std::pair<UINT, const char*> commands[] = {
        {1295, "winhlp32.exe manaul.hlp"},
        {1300, "qxzg.exe"},
        {1301, "winhlp32.exe stsj.hlp"},
    };
    for (const auto& [id, line] : commands) {
        winapiClearDesktopEvents();
        SendMessageA(bar, WM_COMMAND, id, 0);
        const auto programs = events("winexec");
        ASSERT_EQ(programs.size(), 1u) << id;
        EXPECT_EQ(programs[0].text, line);
    }
}

TEST_F(StatusTest, LayoutIdsSelectASoftKeyboardAndTheFirstAlsoOpensTheSite) {
    uiState.softLayout = 3;
    SendMessageA(bar, WM_COMMAND, 1285, 0);  // no application: the layout stays
    EXPECT_EQ(uiState.softLayout, 3);
    giveContext();
    SendMessageA(bar, WM_COMMAND, 1285, 0);
    EXPECT_EQ(uiState.softLayout, 5);
    SendMessageA(bar, WM_COMMAND, 1292, 0);
    EXPECT_EQ(uiState.softLayout, 12);
    SendMessageA(bar, WM_COMMAND, 1287, 0);
    EXPECT_TRUE(events("winexec").empty());
    SendMessageA(bar, WM_COMMAND, 1280, 0);
    EXPECT_EQ(uiState.softLayout, 0);
    const auto programs = events("winexec");
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].text, "C:\\Program Files\\Internet Explorer\\iexplore.exe http://qx.example.org/");
}

TEST_F(StatusTest, PressOnTheBarClosesTheFirstIntroductionPicture) {
    windows.introWindow = CreatePictureWindow(INTRO_CLASS);
    ASSERT_NE(windows.introWindow, nullptr);
    press(1, 1);
    winapiMouseUp(0, 1, 1);
    EXPECT_EQ(windows.introWindow, nullptr);
}

}  // namespace
