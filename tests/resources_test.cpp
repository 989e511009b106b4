// The module's resources as the host build carries them: the same compiled qx.rc the
// Windows module holds, read through the resource calls.
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>

// The array the host module carries; the module's objects hold it, so tests have it too.
extern "C" const unsigned char qxHostResources[];
extern "C" const size_t qxHostResourcesSize;

namespace {

HINSTANCE module() {
    static HMODULE m = winapiAttachResources(nullptr, qxHostResources, qxHostResourcesSize);
    return m;
}

std::string loadString(UINT id) {
    char buffer[64];
    int n = LoadStringA(module(), id, buffer, sizeof buffer);
    return std::string(buffer, size_t(n > 0 ? n : 0));
}

TEST(Resources, TooltipStringsAreTheGbkTexts) {
    ASSERT_NE(module(), nullptr);
    EXPECT_EQ(loadString(1), "\xC7\xD0\xBB\xBB\xD6\xD0/\xD3\xA2\xCE\xC4");          // 切换中/英文
    EXPECT_EQ(loadString(2), "\xC6\xF4\xB6\xAF\xB2\xCB\xB5\xA5");                  // 启动菜单
    EXPECT_EQ(loadString(3), "\xC7\xD0\xBB\xBB\xD6\xD0/\xD3\xA2\xCE\xC4\xB1\xEA\xB5\xE3");  // 切换中/英文标点
    EXPECT_EQ(loadString(4), "\xC7\xD0\xBB\xBB\xB0\xEB\xBD\xC7/\xC8\xAB\xBD\xC7");  // 切换半角/全角
    // 连击三次错键进入自造词组！
    EXPECT_EQ(loadString(5), "\xC1\xAC\xBB\xF7\xC8\xFD\xB4\xCE\xB4\xED\xBC\xFC\xBD\xF8\xC8\xEB"
                             "\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9\xA3\xA1");
    EXPECT_EQ(loadString(6), "");
    char small[6];
    // Cut to the buffer, never inside a double-byte character: "切换" and no half of 中.
    EXPECT_EQ(LoadStringA(module(), 1, small, sizeof small), 4);
    EXPECT_STREQ(small, "\xC7\xD0\xBB\xBB");
}

TEST(Resources, BitmapsHaveTheirSizesAndButtonFaceBackground) {
    // The bottom-right pixel: button face, except the big pictures' black outer frame.
    const COLORREF face = GetSysColor(COLOR_BTNFACE), black = RGB(0, 0, 0);
    struct {
        int id, width, height;
        COLORREF corner;
    } expected[] = {{102, 22, 17, face},   {103, 22, 17, face},   {104, 22, 17, face},
                    {105, 22, 17, face},   {106, 22, 17, face},   {107, 22, 17, face},
                    {204, 50, 20, face},   {220, 50, 20, face},   {232, 50, 20, face},
                    {242, 50, 20, face},   {245, 50, 20, face},   {222, 366, 405, black},
                    {234, 366, 405, black}, {237, 366, 405, black}};
    HDC dc = CreateCompatibleDC(nullptr);
    for (auto& e : expected) {
        SCOPED_TRACE(e.id);
        HBITMAP b = static_cast<HBITMAP>(
            LoadImageA(module(), MAKEINTRESOURCEA(e.id), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
        ASSERT_NE(b, nullptr);
        BITMAP bm{};
        GetObjectA(b, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, e.width);
        EXPECT_EQ(bm.bmHeight, e.height);
        EXPECT_EQ(bm.bmBitsPixel, e.width == 50 ? 8 : 4);
        HGDIOBJ old = SelectObject(dc, b);
        EXPECT_EQ(GetPixel(dc, e.width - 1, e.height - 1), e.corner);
        SelectObject(dc, old);
        DeleteObject(b);
    }
    DeleteDC(dc);
    EXPECT_EQ(LoadImageA(module(), MAKEINTRESOURCEA(999), IMAGE_BITMAP, 0, 0, 0), nullptr);
}

int count(HDC dc, int w, int h, COLORREF c) {
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) n += GetPixel(dc, x, y) == c;
    return n;
}

TEST(Resources, StatusPicturesShowTheirCharactersInTheirColours) {
    HDC dc = CreateCompatibleDC(nullptr);
    struct {
        int id;
        COLORREF ink;
    } pictures[] = {{102, RGB(255, 0, 0)}, {104, RGB(255, 0, 0)}, {106, RGB(255, 0, 0)},
                    {107, RGB(0, 0, 0)},   {105, RGB(0, 0, 128)}, {103, RGB(255, 0, 0)}};
    for (auto& p : pictures) {
        SCOPED_TRACE(p.id);
        HBITMAP b = LoadBitmapA(module(), MAKEINTRESOURCEA(p.id));
        HGDIOBJ old = SelectObject(dc, b);
        EXPECT_GT(count(dc, 22, 17, p.ink), 4);
        SelectObject(dc, old);
        DeleteObject(b);
    }
    // The big pictures: a navy caption bar and a white text panel.
    HBITMAP b = LoadBitmapA(module(), MAKEINTRESOURCEA(222));
    HGDIOBJ old = SelectObject(dc, b);
    EXPECT_EQ(GetPixel(dc, 100, 4), RGB(0, 0, 128));
    EXPECT_EQ(GetPixel(dc, 340, 290), RGB(255, 255, 255));
    EXPECT_GT(count(dc, 366, 60, RGB(255, 0, 0)), 30);  // the red title 我有一个梦
    SelectObject(dc, old);
    DeleteObject(b);
    DeleteDC(dc);
}

// Loads of one picture share its decoded pixels until one is drawn into: every way of
// drawing gives that bitmap pixels of its own and leaves the picture as it was.
TEST(Resources, APictureDrawnIntoChangesThatBitmapAlone) {
    HDC dc = CreateCompatibleDC(nullptr), other = CreateCompatibleDC(nullptr);
    const COLORREF green = RGB(0, 255, 0);
    HDC screen = GetDC(nullptr);  // a memory context's own would be monochrome
    HBITMAP greenBitmap = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    SelectObject(other, greenBitmap);
    HBRUSH brush = CreateSolidBrush(green);
    const RECT all{0, 0, 8, 8};
    FillRect(other, &all, brush);
    // 222 is 366 x 405 with a navy caption bar across its top.
    const COLORREF navy = RGB(0, 0, 128);
    const std::function<void(HDC)> draws[] = {
        [&](HDC d) { SetPixel(d, 100, 4, green); },
        [&](HDC d) {
            const RECT r{100, 4, 101, 5};
            FillRect(d, &r, brush);
        },
        [&](HDC d) { PatBlt(d, 100, 4, 1, 1, DSTINVERT); },
        [&](HDC d) { BitBlt(d, 100, 4, 1, 1, other, 0, 0, SRCCOPY); },
        [&](HDC d) { StretchBlt(d, 100, 4, 2, 2, other, 0, 0, 1, 1, SRCCOPY); },
        [&](HDC d) { BitBlt(d, 100, 4, 1, 1, d, 340, 290, SRCCOPY); },  // onto itself: white
    };
    for (size_t i = 0; i < std::size(draws); ++i) {
        SCOPED_TRACE(i);
        HBITMAP drawn = LoadBitmapA(module(), MAKEINTRESOURCEA(222));
        HBITMAP kept = LoadBitmapA(module(), MAKEINTRESOURCEA(222));
        HGDIOBJ old = SelectObject(dc, drawn);
        const int saved = SaveDC(dc);
        draws[i](dc);
        RestoreDC(dc, saved);
        SelectObject(dc, old);
        SelectObject(dc, drawn);  // what was drawn stays with the bitmap
        EXPECT_NE(GetPixel(dc, 100, 4), navy);
        EXPECT_EQ(GetPixel(dc, 101, 4), i == 4 ? green : navy);
        SelectObject(dc, kept);
        EXPECT_EQ(GetPixel(dc, 100, 4), navy);
        SelectObject(dc, old);
        DeleteObject(drawn);
        DeleteObject(kept);
        HBITMAP again = LoadBitmapA(module(), MAKEINTRESOURCEA(222));
        SelectObject(dc, again);
        EXPECT_EQ(GetPixel(dc, 100, 4), navy);
        SelectObject(dc, old);
        DeleteObject(again);
    }
    DeleteObject(brush);
    DeleteDC(other);
    DeleteObject(greenBitmap);
    DeleteDC(dc);
}

TEST(Resources, SoftKeyboardMenuListsTheLayoutsInOrderWithSeparators) {
    HMENU bar = LoadMenuA(module(), MAKEINTRESOURCEA(200));
    ASSERT_NE(bar, nullptr);
    HMENU menu = GetSubMenu(bar, 0);
    ASSERT_NE(menu, nullptr);
    const int expected[] = {1280, 0,    1281, 1292, 1291, 0,    1288, 1289, 1290,
                            0,    1284, 1283, 1285, 1286, 1287, 1282};
    ASSERT_EQ(GetMenuItemCount(menu), 16);
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        if (expected[i] == 0)
            EXPECT_NE(GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_SEPARATOR, 0u);
        else
            EXPECT_EQ(GetMenuItemID(menu, i), UINT(expected[i]));
    }
    char text[64];
    GetMenuStringA(menu, 1280, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "\xB3\xA3\xD3\xC3\xB7\xFB\xBA\xC5   \xA2\xC5\xA1\xF4\xA1\xE7 ");  // 常用符号   ⑴◆＄
    GetMenuStringA(menu, 1282, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "\xB6\xED\xCE\xC4\xD7\xD6\xC4\xB8 \xA1\xA1\xA7\xDE\xA7\xDF\xA7\xE1");  // 俄文字母 　мнп
    EXPECT_TRUE(SetMenuDefaultItem(menu, 1285, FALSE));
    EXPECT_EQ(GetMenuDefaultItem(menu, TRUE, 0), 12u);
    DestroyMenu(bar);
}

}  // namespace
