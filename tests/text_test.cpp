// GBK text through FreeType: fixed cells as the Song face has them, glyphs inside their
// cells, and screenshots that decode.
#include <windows.h>
#include <winapi_desktop.h>

#include <gtest/gtest.h>
#include <png.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

HFONT songFont(int height, int weight = 0) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH;
    std::strcpy(lf.lfFaceName, "\xCB\xCE\xCC\xE5");  // 宋体
    return CreateFontIndirectA(&lf);
}

struct TextCanvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ oldBitmap, oldFont;
    HFONT font;
    TextCanvas(int w, int h, int fontHeight) {
        dc = CreateCompatibleDC(nullptr);
        HDC screen = GetDC(nullptr);  // colour, as the screen is
        bitmap = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        oldBitmap = SelectObject(dc, bitmap);
        RECT r{0, 0, w, h};
        FillRect(dc, &r, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
        font = songFont(fontHeight);
        oldFont = SelectObject(dc, font);
    }
    ~TextCanvas() {
        SelectObject(dc, oldFont);
        DeleteObject(font);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    int count(COLORREF c, RECT r) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += GetPixel(dc, x, y) == c;
        return n;
    }
};

TEST(Text, ExtentIsHalfTheHeightPerBytePlusTheCharacterExtra) {
    TextCanvas c(10, 10, 16);
    SIZE s;
    ASSERT_TRUE(GetTextExtentPoint32A(c.dc, "\xD6\xD0\xCE\xC4" "ab", 6, &s));  // 中文ab
    EXPECT_EQ(s.cx, 48);
    EXPECT_EQ(s.cy, 16);
    SetTextCharacterExtra(c.dc, 1);
    GetTextExtentPoint32A(c.dc, "\xD6\xD0\xCE\xC4" "ab", 6, &s);
    EXPECT_EQ(s.cx, 48 + 4);  // one pixel per character, not per byte
    GetTextExtentPoint32A(c.dc, "ab", 0, &s);
    EXPECT_EQ(s.cx, 0);
    // A lead byte at the end of the count is measured as one byte, never read past.
    SetTextCharacterExtra(c.dc, 0);
    GetTextExtentPoint32A(c.dc, "a\xD6\xD0", 2, &s);
    EXPECT_EQ(s.cx, 16);
}

TEST(Text, ChineseGlyphDrawsDarkPixelsInsideItsCellOnly) {
    TextCanvas c(80, 40, 16);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextColor(c.dc, RGB(0, 0, 0));
    TextOutA(c.dc, 10, 10, "\xD6\xD0", 2);  // 中
    int inside = c.count(RGB(0, 0, 0), RECT{10, 10, 26, 26});
    EXPECT_GT(inside, 20);
    EXPECT_EQ(c.count(RGB(0, 0, 0), RECT{0, 0, 80, 40}), inside);
    // The vertical stroke of 中 crosses the middle row of its cell.
    EXPECT_GT(c.count(RGB(0, 0, 0), RECT{16, 10, 20, 26}), 8);
}

TEST(Text, AnAbsurdFontHeightIsDrawnAtTheLargestCell) {
    // As a damaged dialog template can ask for: 17,000 pixels, and the extremes of an int.
    for (int height : {-17000, 17000, INT_MIN, INT_MAX}) {
        TextCanvas c(1100, 600, height);
        TEXTMETRICA tm{};
        ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
        EXPECT_EQ(tm.tmHeight, 512) << height;
        SIZE s;
        GetTextExtentPoint32A(c.dc, "\xD6\xD0" "a", 3, &s);  // 中a
        EXPECT_EQ(s.cx, 512 + 256);
        SetBkMode(c.dc, TRANSPARENT);
        SetTextColor(c.dc, RGB(0, 0, 0));
        TextOutA(c.dc, 0, 0, "\xD6\xD0", 2);
        const int inside = c.count(RGB(0, 0, 0), RECT{0, 0, 512, 512});
        EXPECT_GT(inside, 512 * 8);
        EXPECT_EQ(c.count(RGB(0, 0, 0), RECT{0, 0, 1100, 600}), inside);
    }
}

TEST(Text, RedTextKeepsItsExactColourAndOpaqueModeFillsTheCell) {
    TextCanvas c(60, 30, 16);
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(0, 0, 128));
    SetTextColor(c.dc, RGB(255, 0, 0));
    TextOutA(c.dc, 0, 0, " a", 2);
    int red = c.count(RGB(255, 0, 0), RECT{8, 0, 16, 16});
    EXPECT_GT(red, 3);
    EXPECT_EQ(c.count(RGB(0, 0, 128), RECT{0, 0, 16, 16}) + red, 16 * 16);
    EXPECT_EQ(c.count(RGB(255, 255, 255), RECT{16, 0, 60, 30}), 44 * 30);
}

TEST(Text, StringResourcesAndUnknownBytesDrawNothingHarmful) {
    TextCanvas c(40, 20, 12);
    SetBkMode(c.dc, TRANSPARENT);
    EXPECT_TRUE(TextOutA(c.dc, 0, 0, "\xFF\xFF\x81", 3));  // no such GBK characters
    EXPECT_FALSE(TextOutA(c.dc, 0, 0, "x", -1));
}

LRESULT CALLBACK textProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        FillRect(dc, &r, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        HFONT f = songFont(16);
        HGDIOBJ old = SelectObject(dc, f);
        SetBkMode(dc, TRANSPARENT);
        SetTextCharacterExtra(dc, 1);
        TextOutA(dc, 5, 5, "\xD6\xD0\xCE\xC4\xCA\xE4\xC8\xEB abc 123", 16);  // 中文输入
        SetTextColor(dc, RGB(255, 0, 0));
        TextOutA(dc, 5, 25, "\xC7\xD0\xBB\xBB\xD6\xD0/\xD3\xA2\xCE\xC4", 11);  // 切换中/英文
        SelectObject(dc, old);
        DeleteObject(f);
        EndPaint(h, &ps);
        return 0;
    }
    return DefWindowProcA(h, m, w, l);
}

TEST(Text, WindowScreenshotIsAPngThatDecodesToThePixelsShown) {
    winapiResetDesktop();
    WNDCLASSA wc{};
    wc.lpfnWndProc = textProc;
    wc.lpszClassName = "TEXTTEST";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "TEXTTEST", "", WS_POPUP | WS_BORDER, 40, 50, 180, 48, nullptr,
                             nullptr, nullptr, nullptr);
    ShowWindow(w, SW_SHOWNA);
    UpdateWindow(w);
    std::string path = testing::TempDir() + "text_window.png";
    ASSERT_TRUE(winapiSaveWindowPng(w, path.c_str()));
    ASSERT_TRUE(winapiSaveScreenPng((testing::TempDir() + "text_screen.png").c_str()));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    EXPECT_EQ(image.width, 180u);
    EXPECT_EQ(image.height, 48u);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    int differing = 0, red = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 180; ++x) {
            const unsigned char* p = &pixels[size_t(y * 180 + x) * 3];
            COLORREF shown = winapiWindowPixel(w, x, y);
            differing += RGB(p[0], p[1], p[2]) != shown;
            red += shown == RGB(255, 0, 0);
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(red, 50);
    EXPECT_FALSE(winapiSaveWindowPng(w, "/nonexistent-dir/x.png"));
}

}  // namespace
