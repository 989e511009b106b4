// Windows of the stand-in: classes, creation order, words, positions, visibility,
// messages, timers, the mouse and tooltips.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <winapi_host.h>
#include <winapi_desktop.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
LRESULT mouseActivateAnswer = MA_ACTIVATE;

LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    seen.push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_MOUSEACTIVATE) return mouseActivateAnswer;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

std::vector<UINT> messagesTo(HWND hwnd) {
    std::vector<UINT> out;
    for (auto& s : seen)
        if (s.hwnd == hwnd) out.push_back(s.msg);
    return out;
}

int countOf(HWND hwnd, UINT msg) {
    int n = 0;
    for (auto& s : seen) n += s.hwnd == hwnd && s.msg == msg;
    return n;
}

HINSTANCE instance() { return reinterpret_cast<HINSTANCE>(0x400000); }

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        winapiResetDesktop();
        seen.clear();
        mouseActivateAnswer = MA_ACTIVATE;
        WNDCLASSA wc{};
        if (!GetClassInfoA(instance(), "TESTCLS", &wc)) {
            wc.style = CS_HREDRAW | CS_VREDRAW;
            wc.lpfnWndProc = recordingProc;
            wc.cbWndExtra = 8;
            wc.hInstance = instance();
            wc.hCursor = LoadCursorA(nullptr, IDC_SIZEALL);
            wc.lpszClassName = "TESTCLS";
            ASSERT_NE(RegisterClassA(&wc), 0);
        }
    }
    HWND popup(int x, int y, int w, int h, HWND owner = nullptr, DWORD style = WS_POPUP | WS_BORDER) {
        return CreateWindowExA(0, "TESTCLS", "", style, x, y, w, h, owner, nullptr, instance(), nullptr);
    }
};

TEST_F(WindowTest, ClassesAreRegisteredOncePerInstanceAndFoundByName) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = instance();
    wc.lpszClassName = "testcls";  // names compare without case
    EXPECT_EQ(RegisterClassA(&wc), 0);
    WNDCLASSA found{};
    ASSERT_TRUE(GetClassInfoA(instance(), "TestCls", &found));
    EXPECT_EQ(found.cbWndExtra, 8);
    EXPECT_EQ(found.lpfnWndProc, &recordingProc);
    EXPECT_FALSE(GetClassInfoA(instance(), "NOSUCHCLASS", &found));
    EXPECT_EQ(CreateWindowExA(0, "NOSUCHCLASS", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              instance(), nullptr),
              nullptr);
}

TEST_F(WindowTest, CreationSendsMessagesInWindowsOrderAndDestructionTakesOwnedWindowsFirst) {
    HWND owner = popup(10, 10, 100, 50);
    ASSERT_TRUE(IsWindow(owner));
    std::vector<UINT> expected{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE};
    EXPECT_EQ(messagesTo(owner), expected);
    EXPECT_FALSE(IsWindowVisible(owner));

    HWND owned = popup(0, 0, 10, 10, owner);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    seen.clear();
    EXPECT_TRUE(DestroyWindow(owner));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].hwnd, owned);
    EXPECT_EQ(seen[0].msg, UINT(WM_DESTROY));
    EXPECT_EQ(countOf(owner, WM_DESTROY), 1);
    EXPECT_FALSE(DestroyWindow(owner));  // a stale handle is refused, never reused
}

TEST_F(WindowTest, ExtraWordsHoldValuesAndRefuseIndexesPastTheClassSize) {
    HWND w = popup(0, 0, 10, 10);
    EXPECT_EQ(GetWindowLongPtrA(w, 0), 0);
    SetWindowLongPtrA(w, 0, LONG_PTR(0x1234567));
    EXPECT_EQ(GetWindowLongPtrA(w, 0), LONG_PTR(0x1234567));
    EXPECT_EQ(SetWindowLongA(w, 4, 77), LONG(GetWindowLongPtrA(w, 0) >> 32));
    EXPECT_EQ(GetWindowLongA(w, 4), 77);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(w, 4), 0);  // 4 + 8 bytes > 8
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(instance()));
    SetWindowLongPtrA(w, GWLP_USERDATA, 99);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 99);
    EXPECT_EQ(GetWindowLongPtrA(w, GWL_STYLE) & WS_BORDER, WS_BORDER);
}

TEST_F(WindowTest, BorderedWindowHasClientInsideTheBorderAndPointsConvert) {
    HWND w = popup(100, 200, 50, 30);
    RECT r, c;
    GetWindowRect(w, &r);
    GetClientRect(w, &c);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.bottom, 230);
    EXPECT_EQ(c.right, 48);
    EXPECT_EQ(c.bottom, 28);
    POINT p{0, 0};
    ClientToScreen(w, &p);
    EXPECT_EQ(p.x, 101);
    EXPECT_EQ(p.y, 201);
    ScreenToClient(w, &p);
    EXPECT_EQ(p.x, 0);

    HWND plain = popup(5, 5, 40, 20, nullptr, WS_POPUP);
    GetClientRect(plain, &c);
    EXPECT_EQ(c.right, 40);
}

TEST_F(WindowTest, SetWindowPosHonoursItsFlagsAndReportsSizeChanges) {
    HWND w = popup(10, 20, 30, 40);
    seen.clear();
    SetWindowPos(w, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 30);
    EXPECT_EQ(countOf(w, WM_SIZE), 0);
    EXPECT_EQ(countOf(w, WM_MOVE), 1);

    SetWindowPos(w, nullptr, 0, 0, 100, 25, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.right, 150);
    EXPECT_EQ(r.bottom, 85);
    EXPECT_EQ(countOf(w, WM_SIZE), 1);

    MoveWindow(w, 1, 2, 3, 4, TRUE);
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 6);
}

// A window far larger than any screen (a damaged dialog template with a huge font makes
// one) keeps its size and paints where it can be seen, without a store of its size.
TEST_F(WindowTest, WindowOfAbsurdSizeKeepsItsSizeAndPaintsItsVisiblePart) {
    HWND w = popup(0, 0, 60000, 50000, nullptr, WS_POPUP);
    ASSERT_NE(w, nullptr);
    RECT r;
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 60000);
    EXPECT_EQ(r.bottom, 50000);
    SetWindowPos(w, nullptr, 0, 0, 70000, 70000, SWP_NOMOVE | SWP_NOZORDER);
    HDC dc = GetDC(w);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 70000, 70000};
    FillRect(dc, &all, red);
    DeleteObject(red);
    ReleaseDC(w, dc);
    EXPECT_EQ(winapiWindowPixel(w, 500, 700), RGB(255, 0, 0));
    DestroyWindow(w);
}

TEST_F(WindowTest, ShowingWithoutActivationLeavesTheActiveWindowAndPaintsOnUpdate) {
    HWND app = popup(0, 0, 200, 100);
    ShowWindow(app, SW_SHOW);
    EXPECT_EQ(GetActiveWindow(), app);
    HWND box = popup(10, 10, 50, 20, app);
    seen.clear();
    ShowWindow(box, SW_SHOWNA);
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(GetActiveWindow(), app);
    EXPECT_EQ(countOf(box, WM_PAINT), 0);
    UpdateWindow(box);
    EXPECT_EQ(countOf(box, WM_PAINT), 1);
    UpdateWindow(box);  // validated by the default procedure
    EXPECT_EQ(countOf(box, WM_PAINT), 1);
    InvalidateRect(box, nullptr, FALSE);
    winapiPumpMessages();
    EXPECT_EQ(countOf(box, WM_PAINT), 2);
    ShowWindow(box, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(box));
    auto visible = winapiVisibleWindows();
    EXPECT_EQ(visible, std::vector<HWND>{app});
}

TEST_F(WindowTest, TopmostWindowsStayAboveOthers) {
    HWND top = CreateWindowExA(WS_EX_TOPMOST, "TESTCLS", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                               nullptr, instance(), nullptr);
    HWND later = popup(0, 0, 10, 10);
    ShowWindow(top, SW_SHOWNA);
    ShowWindow(later, SW_SHOW);
    auto visible = winapiVisibleWindows();
    ASSERT_EQ(visible.size(), 2u);
    EXPECT_EQ(visible.back(), top);
    EXPECT_EQ(WindowFromPoint(POINT{5, 5}), top);
}

TEST_F(WindowTest, FindWindowMatchesClassAndTitleAndFindsHiddenWindows) {
    const char* title = "\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9";  // 自造词组
    HWND w = CreateWindowExA(0, "TESTCLS", title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             instance(), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, title), w);
    EXPECT_EQ(FindWindowA("testcls", nullptr), w);
    EXPECT_EQ(FindWindowA("TESTCLS", title), w);
    EXPECT_EQ(FindWindowA("OTHER", title), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "\xD7\xD4\xD4\xEC"), nullptr);
    char buffer[16];
    EXPECT_EQ(GetWindowTextA(w, buffer, sizeof buffer), 8);
    EXPECT_STREQ(buffer, title);
    EXPECT_EQ(GetWindowTextA(w, buffer, 5), 4);  // bounded by the buffer
}

TEST_F(WindowTest, SentMessagesRunAtOncePostedOnesInOrderWhenPumped) {
    HWND w = popup(0, 0, 10, 10);
    seen.clear();
    PostMessageA(w, WM_USER + 1, 1, 0);
    PostMessageA(w, WM_USER + 2, 2, 0);
    SendMessageA(w, WM_USER + 3, 3, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, UINT(WM_USER + 3));
    EXPECT_EQ(winapiPumpMessages(), 2);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].msg, UINT(WM_USER + 1));
    EXPECT_EQ(seen[2].msg, UINT(WM_USER + 2));
    PostMessageA(w, WM_USER + 4, 0, 0);
    DestroyWindow(w);
    EXPECT_EQ(winapiPumpMessages(), 0);  // messages of a destroyed window are dropped
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
}

TEST_F(WindowTest, TimersTickByTheClockAndStopWhenKilled) {
    HWND w = popup(0, 0, 10, 10);
    seen.clear();
    SetTimer(w, 200, 300, nullptr);
    winapiAdvanceClock(299);
    EXPECT_EQ(countOf(w, WM_TIMER), 0);
    winapiAdvanceClock(1);
    EXPECT_EQ(countOf(w, WM_TIMER), 1);
    winapiAdvanceClock(600);
    EXPECT_EQ(countOf(w, WM_TIMER), 3);
    for (auto& s : seen) {
        if (s.msg == WM_TIMER) { EXPECT_EQ(s.wParam, WPARAM(200)); }
    }
    KillTimer(w, 200);
    winapiAdvanceClock(1000);
    EXPECT_EQ(countOf(w, WM_TIMER), 3);
    SetTimer(w, 1, 100, nullptr);
    DestroyWindow(w);
    winapiAdvanceClock(1000);  // a destroyed window's timers die with it
    EXPECT_EQ(countOf(w, WM_TIMER), 3);
}

TEST_F(WindowTest, ClickAsksForActivationAndSetsTheClassCursor) {
    HWND app = popup(0, 0, 300, 300);
    ShowWindow(app, SW_SHOW);
    HWND bar = popup(100, 100, 50, 20, app);
    ShowWindow(bar, SW_SHOWNA);
    mouseActivateAnswer = MA_NOACTIVATE;
    winapiPumpMessages();  // the first paints
    seen.clear();
    winapiClick(110, 105);
    auto got = messagesTo(bar);
    std::vector<UINT> expected{WM_NCHITTEST, WM_MOUSEACTIVATE, WM_SETCURSOR, WM_LBUTTONDOWN,
                               WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONUP};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(GetActiveWindow(), app);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_SIZEALL));
    for (auto& s : seen) {
        if (s.msg != WM_LBUTTONDOWN) continue;
        EXPECT_EQ(short(LOWORD(s.lParam)), 9);  // client coordinates inside the border
        EXPECT_EQ(short(HIWORD(s.lParam)), 4);
    }
}

TEST_F(WindowTest, CapturedMouseReachesTheWindowOutsideItsRectangle) {
    HWND bar = popup(100, 100, 50, 20);
    ShowWindow(bar, SW_SHOWNA);
    SetCapture(bar);
    seen.clear();
    winapiMouseUp(0, 10, 10);
    ASSERT_EQ(countOf(bar, WM_LBUTTONUP), 1);
    for (auto& s : seen) {
        if (s.msg == WM_LBUTTONUP) { EXPECT_EQ(short(LOWORD(s.lParam)), 10 - 101); }
    }
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(countOf(bar, WM_CAPTURECHANGED), 1);
}

TEST_F(WindowTest, WorkAreaIsTheDesktopLessTheTaskbar) {
    RECT wa;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0));
    EXPECT_EQ(wa.right, 1024);
    EXPECT_EQ(wa.bottom, 740);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    winapiSetDesktopSize(800, 600, 30);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
    EXPECT_EQ(wa.right, 800);
    EXPECT_EQ(wa.bottom, 570);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
}

TEST_F(WindowTest, DefaultSizeIsForOverlappedWindowsOnly) {
    RECT r{};
    HWND overlapped = CreateWindowExA(0, "TESTCLS", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance(), nullptr);
    ASSERT_TRUE(GetWindowRect(overlapped, &r));
    EXPECT_GT(r.right - r.left, 0);
    EXPECT_GT(r.bottom - r.top, 0);
    HWND pop = popup(CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
    ASSERT_TRUE(GetWindowRect(pop, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    DestroyWindow(pop);
    DestroyWindow(overlapped);
}

TEST_F(WindowTest, TooltipShowsItsToolTextAfterTheInitialDelayAndForgetsDeletedTools) {
    HWND w = popup(100, 100, 60, 30);
    ShowWindow(w, SW_SHOWNA);
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | WS_DISABLED | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w,
                               nullptr, instance(), nullptr);
    ASSERT_TRUE(IsWindow(tip));
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(1, 0));
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(10000, 0));
    TOOLINFOA ti{};
    ti.cbSize = 44;  // the size the module passes
    ti.hwnd = w;
    ti.uId = 300;
    GetClientRect(w, &ti.rect);
    char text[] = "tip";
    ti.lpszText = text;
    ASSERT_TRUE(SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)));
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);

    MSG m{w, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5), 0, {}};
    SendMessageA(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
    EXPECT_EQ(winapiShownTooltip(), "");
    winapiAdvanceClock(10);
    EXPECT_EQ(winapiShownTooltip(), "tip");
    winapiAdvanceClock(10000);
    EXPECT_EQ(winapiShownTooltip(), "");

    SendMessageA(tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 0);
    ti.cbSize = 8;  // too small to hold the tool
    EXPECT_FALSE(SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)));
    DestroyWindow(w);
    EXPECT_FALSE(IsWindow(tip));  // owned by the window
}

std::vector<std::string> imeCalls;

BOOL WINAPI fakeNotifyIme(HIMC, DWORD action, DWORD index, DWORD value) {
    imeCalls.push_back("NotifyIME " + std::to_string(action) + " " + std::to_string(index) + " " +
                       std::to_string(value));
    return TRUE;
}

LRESULT CALLBACK uiProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_IME_NOTIFY) imeCalls.push_back("WM_IME_NOTIFY " + std::to_string(wParam));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(WindowTest, StatusChangesTellTheImeFirstThenItsUiWindow) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = uiProc;
    wc.cbWndExtra = 8;
    wc.lpszClassName = "UITEST";
    RegisterClassA(&wc);
    HWND ui = CreateWindowExA(0, "UITEST", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HIMC context = ImmCreateContext();
    winapiImmSetUiWindow(context, ui);
    winapiImmBindIme(fakeNotifyIme);
    imeCalls.clear();
    DWORD conversion, sentence;
    ImmGetConversionStatus(context, &conversion, &sentence);
    ImmSetConversionStatus(context, conversion ^ IME_CMODE_SYMBOL, sentence);
    ImmSetConversionStatus(context, conversion ^ IME_CMODE_SYMBOL, sentence);  // no change
    ImmSetOpenStatus(context, !ImmGetOpenStatus(context));
    std::vector<std::string> expected{
        "NotifyIME " + std::to_string(NI_CONTEXTUPDATED) + " 0 " + std::to_string(IMC_SETCONVERSIONMODE),
        "WM_IME_NOTIFY " + std::to_string(IMN_SETCONVERSIONMODE),
        "NotifyIME " + std::to_string(NI_CONTEXTUPDATED) + " 0 " + std::to_string(IMC_SETOPENSTATUS),
        "WM_IME_NOTIFY " + std::to_string(IMN_SETOPENSTATUS)};
    EXPECT_EQ(imeCalls, expected);
    winapiImmBindIme(nullptr);
    DestroyWindow(ui);
    imeCalls.clear();
    ImmSetOpenStatus(context, !ImmGetOpenStatus(context));  // no window, no IME: nothing
    EXPECT_TRUE(imeCalls.empty());
    ImmDestroyContext(context);
}

}  // namespace
