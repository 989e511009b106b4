// The shared routines: lines, 3D frames, the UI font and drag-to-move.
#include "uitest.h"

namespace {

constexpr int WORK_RIGHT = 1024, WORK_BOTTOM = 768 - 28;

// A memory context over a 40 x 30 bitmap filled with button face.
class Canvas {
public:
    Canvas() {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, 40, 30);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        RECT all{0, 0, 40, 30};
        FillFace(dc, all);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
    HDC dc;

private:
    HBITMAP bitmap;
    HGDIOBJ old;
};

TEST(UiRoutines, LinesStopBeforeTheirEndPoint) {
    Canvas canvas;
    DrawLine(canvas.dc, 2, 5, 10, 5, RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(2, 5), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(9, 5), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(10, 5), GetSysColor(COLOR_BTNFACE));
}

TEST(UiRoutines, RaisedAndSunkenFramesSwapTheirColours) {
    Canvas raised, sunken;
    DrawRaisedFrame(raised.dc, 0, 0, 40, 30);
    DrawSunkenFrame(sunken.dc, 0, 0, 40, 30);
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW), shadow = GetSysColor(COLOR_BTNSHADOW),
                   light = GetSysColor(COLOR_BTNHIGHLIGHT);
    EXPECT_EQ(raised.at(20, 29), dark);    // outer bottom
    EXPECT_EQ(raised.at(39, 15), dark);    // outer right
    EXPECT_EQ(raised.at(20, 28), shadow);  // inner bottom
    EXPECT_EQ(raised.at(38, 15), shadow);  // inner right
    EXPECT_EQ(raised.at(20, 1), light);    // inner top
    EXPECT_EQ(raised.at(1, 15), light);    // inner left
    EXPECT_EQ(sunken.at(20, 29), light);
    EXPECT_EQ(sunken.at(39, 15), light);
    EXPECT_EQ(sunken.at(20, 0), shadow);   // outer top
    EXPECT_EQ(sunken.at(0, 15), shadow);   // outer left
    EXPECT_EQ(sunken.at(20, 1), dark);
    EXPECT_EQ(sunken.at(1, 15), dark);
    // The sunken inner top reaches one pixel further right than the raised one.
    EXPECT_EQ(raised.at(38, 1), shadow);
    EXPECT_EQ(sunken.at(38, 1), dark);
}

TEST(UiRoutines, UiFontIsAFixedPitchSongFaceOfTheUiHeight) {
    uiState.uiFontHeight = 16;
    HFONT font = CreateUiFont();
    ASSERT_NE(font, nullptr);
    LOGFONTA described{};
    ASSERT_GT(GetObjectA(font, sizeof described, &described), 0);
    EXPECT_EQ(described.lfHeight, 16);
    EXPECT_EQ(described.lfPitchAndFamily & 3, FIXED_PITCH);
    EXPECT_STREQ(described.lfFaceName, "\xCB\xCE\xCC\xE5");
    DeleteObject(font);
}

class DragTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        CreateCompositionWindow();
        window = engineContext.compositionWindow;
        ShowWindow(window, SW_SHOWNA);
    }
    void drag(int fromX, int fromY, int toX, int toY) {
        winapiMouseDown(0, fromX, fromY);
        winapiMouseMove(toX, toY);
        winapiMouseUp(0, toX, toY);
        winapiPumpMessages();
    }
    HWND window = nullptr;
};

TEST_F(DragTest, WindowsDroppedOffTheWorkAreaLandFlushWithTheEdgeCrossed) {
    const RECT start = windowRect(window);
    drag(start.left + 2, start.top + 2, 5000, start.top + 2);
    EXPECT_EQ(windowRect(window).right, WORK_RIGHT);
    drag(WORK_RIGHT - 337, start.top + 2, -100, -100);
    EXPECT_EQ(windowRect(window).left, 0);
    EXPECT_EQ(windowRect(window).top, 0);
    EXPECT_EQ(uiState.compositionX, uiState.letterBoxWidth);  // the stored position leaves room for the box
}

TEST_F(DragTest, AWindowLargerThanTheWorkAreaEndsOnItsRightAndBottomEdges) {
    winapiSetDesktopSize(300, 100, 28);
    const RECT start = windowRect(window);
    drag(start.left + 1, start.top + 1, start.left - 50, start.top - 50);
    const RECT r = windowRect(window);
    EXPECT_EQ(r.right, 300);
    EXPECT_EQ(r.bottom, 72);
}

TEST_F(DragTest, PressAndReleaseInPlaceMoveNothingAndFreeTheMouse) {
    const RECT start = windowRect(window);
    winapiMouseDown(0, start.left + 3, start.top + 3);
    EXPECT_EQ(GetCapture(), window);
    winapiMouseUp(0, start.left + 3, start.top + 3);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(windowRect(window).left, start.left);
    EXPECT_EQ(windowRect(window).top, start.top);
}

TEST_F(DragTest, AResetForgetsWhereTheWindowsWereDroppedAndWhatRan) {
    CreateStatusWindow();
    HWND bar = engineContext.statusWindow;
    ShowWindow(bar, SW_SHOWNA);
    const RECT start = windowRect(window);
    drag(start.left + 2, start.top + 2, 300, 200);
    drag(windowRect(bar).left + 1, windowRect(bar).top + 1, 400, 300);
    uiState.introPending = uiState.firstShowPending = 0;
    DestroyCompositionWindow();
    DestroyStatusWindow();

    resetUiState();
    EXPECT_EQ(uiState.introPending, 1);
    EXPECT_EQ(uiState.firstShowPending, 1);
    EXPECT_EQ(uiState.letterBoxWidth, 40);  // as the class registration leaves it
    CreateCompositionWindow();
    CreateStatusWindow();
    EXPECT_EQ(windowRect(engineContext.compositionWindow).left, WORK_RIGHT / 8);
    EXPECT_EQ(windowRect(engineContext.compositionWindow).bottom, WORK_BOTTOM);
    EXPECT_EQ(windowRect(engineContext.statusWindow).left, WORK_RIGHT - STATUS_WIDTH);
    EXPECT_EQ(windowRect(engineContext.statusWindow).bottom, WORK_BOTTOM);
}

}  // namespace
