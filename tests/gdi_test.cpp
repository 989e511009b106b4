// Drawing of the stand-in, checked pixel by pixel.
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);

// A memory context over a fresh bitmap filled with one colour.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    Canvas(int w, int h, COLORREF fill) {
        dc = CreateCompatibleDC(nullptr);
        HDC screen = GetDC(nullptr);  // colour, as the screen is
        bitmap = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        RECT r{0, 0, w, h};
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    ~Canvas() {
        SelectObject(dc, old);
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

void line(HDC dc, int x1, int y1, int x2, int y2, COLORREF c) {
    HPEN pen = CreatePen(PS_SOLID, 1, c);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

TEST(Gdi, LineLeavesItsEndPointUnpainted) {
    Canvas c(20, 20, RGB(255, 255, 255));
    line(c.dc, 2, 5, 10, 5, kRed);
    EXPECT_EQ(c.count(kRed, RECT{0, 0, 20, 20}), 8);
    EXPECT_EQ(GetPixel(c.dc, 2, 5), kRed);
    EXPECT_EQ(GetPixel(c.dc, 9, 5), kRed);
    EXPECT_EQ(GetPixel(c.dc, 10, 5), RGB(255, 255, 255));
    line(c.dc, 15, 10, 15, 2, kRed);  // upward: (15, 2) is the end, not painted
    EXPECT_EQ(GetPixel(c.dc, 15, 10), kRed);
    EXPECT_EQ(GetPixel(c.dc, 15, 3), kRed);
    EXPECT_EQ(GetPixel(c.dc, 15, 2), RGB(255, 255, 255));
    line(c.dc, 0, 0, 4, 4, kRed);  // diagonal: four pixels
    EXPECT_EQ(c.count(kRed, RECT{0, 0, 5, 5}), 4);
}

TEST(Gdi, XorPenTwiceAndInvertTwiceRestoreThePixels) {
    Canvas c(16, 16, RGB(192, 192, 192));
    SetROP2(c.dc, R2_XORPEN);
    line(c.dc, 0, 3, 16, 3, RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(c.dc, 4, 3), RGB(63, 63, 63));
    line(c.dc, 0, 3, 16, 3, RGB(255, 255, 255));
    EXPECT_EQ(c.count(RGB(192, 192, 192), RECT{0, 0, 16, 16}), 256);

    SetROP2(c.dc, R2_COPYPEN);
    RECT r{2, 2, 6, 12};
    InvertRect(c.dc, &r);
    EXPECT_EQ(c.count(RGB(63, 63, 63), RECT{0, 0, 16, 16}), 40);
    EXPECT_EQ(GetPixel(c.dc, 6, 2), RGB(192, 192, 192));
    InvertRect(c.dc, &r);
    EXPECT_EQ(c.count(RGB(192, 192, 192), RECT{0, 0, 16, 16}), 256);
}

TEST(Gdi, FocusRectangleIsADottedOutlineThatADrawingAtTheSamePlaceRemoves) {
    Canvas c(30, 30, RGB(0, 0, 0));
    RECT r{5, 5, 25, 15};
    DrawFocusRect(c.dc, &r);
    int lit = c.count(RGB(255, 255, 255), RECT{0, 0, 30, 30});
    EXPECT_GT(lit, 20);
    EXPECT_LT(lit, 2 * 20 + 2 * 8);                        // dotted, not solid
    EXPECT_EQ(c.count(RGB(255, 255, 255), RECT{6, 6, 24, 14}), 0);  // hollow
    EXPECT_EQ(c.count(RGB(255, 255, 255), RECT{25, 0, 30, 30}), 0);  // right edge excluded
    DrawFocusRect(c.dc, &r);
    EXPECT_EQ(c.count(RGB(0, 0, 0), RECT{0, 0, 30, 30}), 900);
}

TEST(Gdi, FillRectTakesBrushesAndSystemColourIndexesAndRectangleFramesWithThePen) {
    Canvas c(10, 10, RGB(255, 255, 255));
    RECT r{1, 1, 4, 3};
    FillRect(c.dc, &r, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_EQ(c.count(GetSysColor(COLOR_BTNFACE), RECT{0, 0, 10, 10}), 6);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
    EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), RGB(0, 0, 0));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));

    Canvas d(10, 10, RGB(255, 255, 255));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ oldBrush = SelectObject(d.dc, blue);
    Rectangle(d.dc, 2, 2, 7, 6);  // outline black pen, inside blue, right/bottom exclusive
    EXPECT_EQ(GetPixel(d.dc, 2, 2), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(d.dc, 6, 5), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(d.dc, 7, 5), RGB(255, 255, 255));
    EXPECT_EQ(d.count(RGB(0, 0, 255), RECT{0, 0, 10, 10}), 3 * 2);
    SelectObject(d.dc, oldBrush);
    DeleteObject(blue);
}

TEST(Gdi, SelectedBitmapCannotBeDeletedAndBitBltCopiesBetweenContexts) {
    Canvas src(8, 8, RGB(1, 2, 3));
    EXPECT_FALSE(DeleteObject(src.bitmap));
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(src.bitmap, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 8);
    Canvas dst(10, 10, RGB(255, 255, 255));
    BitBlt(dst.dc, 6, 6, 8, 8, src.dc, 0, 0, SRCCOPY);  // clipped at the bitmap's edge
    EXPECT_EQ(dst.count(RGB(1, 2, 3), RECT{0, 0, 10, 10}), 16);
    EXPECT_EQ(GetPixel(dst.dc, 5, 5), RGB(255, 255, 255));
}

TEST(Gdi, BitmapCompatibleWithAFreshMemoryContextIsMonochromeAsOnWindows) {
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(memory, 4, 4);
    BITMAP bm{};
    GetObjectA(mono, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    HGDIOBJ old = SelectObject(memory, mono);
    RECT r{0, 0, 2, 4};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(memory, &r, red);
    DeleteObject(red);
    EXPECT_EQ(GetPixel(memory, 0, 0), RGB(0, 0, 0));  // red is nearer black
    SetPixel(memory, 3, 3, RGB(200, 200, 200));
    EXPECT_EQ(GetPixel(memory, 3, 3), RGB(255, 255, 255));
    SelectObject(memory, old);
    DeleteObject(mono);
    DeleteDC(memory);

    Canvas colour(4, 4, RGB(255, 0, 0));  // compatible with a context holding a colour bitmap
    HBITMAP second = CreateCompatibleBitmap(colour.dc, 2, 2);
    GetObjectA(second, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    DeleteObject(second);
}

LRESULT CALLBACK plainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

HWND borderedWindow(int x, int y, int w, int h) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = "GDITEST";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "GDITEST", "", WS_POPUP | WS_BORDER, x, y, w, h, nullptr, nullptr,
                           nullptr, nullptr);
}

TEST(Gdi, WindowContextDrawsInsideTheClientAreaAndShowsOnTheScreen) {
    winapiResetDesktop();
    HWND w = borderedWindow(100, 100, 20, 10);
    ShowWindow(w, SW_SHOWNA);
    winapiPumpMessages();
    HDC dc = GetDC(w);
    RECT all{-5, -5, 50, 50};
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    FillRect(dc, &all, green);
    DeleteObject(green);
    ReleaseDC(w, dc);
    EXPECT_EQ(winapiWindowPixel(w, 0, 0), RGB(0, 0, 0));  // the border stays
    EXPECT_EQ(winapiWindowPixel(w, 1, 1), RGB(0, 255, 0));
    EXPECT_EQ(winapiWindowPixel(w, 18, 8), RGB(0, 255, 0));
    EXPECT_EQ(winapiWindowPixel(w, 19, 9), RGB(0, 0, 0));
    EXPECT_EQ(winapiScreenPixel(101, 101), RGB(0, 255, 0));
    EXPECT_EQ(winapiScreenPixel(99, 101), GetSysColor(COLOR_DESKTOP));
    EXPECT_EQ(winapiScreenPixel(5, 767), GetSysColor(COLOR_BTNFACE));  // the taskbar
    ShowWindow(w, SW_HIDE);
    EXPECT_EQ(winapiScreenPixel(101, 101), GetSysColor(COLOR_DESKTOP));
}

TEST(Gdi, XorOutlineOnTheScreenIsGoneAfterASecondDrawing) {
    winapiResetDesktop();
    HWND w = borderedWindow(10, 10, 50, 50);
    ShowWindow(w, SW_SHOWNA);
    winapiPumpMessages();
    COLORREF before = winapiScreenPixel(20, 20);
    RECT r{20, 20, 80, 60};
    HDC screen = GetDC(nullptr);
    SetROP2(screen, R2_XORPEN);
    DrawFocusRect(screen, &r);
    ReleaseDC(nullptr, screen);
    EXPECT_NE(winapiScreenPixel(20, 20), before);
    screen = GetDC(nullptr);
    DrawFocusRect(screen, &r);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(winapiScreenPixel(20, 20), before);
    EXPECT_EQ(winapiScreenPixel(70, 20), GetSysColor(COLOR_DESKTOP));
}

// BitBlt against the pixels GetPixel reads before it: every raster operation, rectangles
// reaching past either bitmap's edges, and copies within one bitmap that overlap.
TEST(Gdi, BitBltMatchesAPixelByPixelCopy) {
    std::mt19937 random(7);
    auto fill = [&](Canvas& canvas, int w, int h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) SetPixel(canvas.dc, x, y, RGB(random() % 256, random() % 256, random() % 256));
    };
    auto snapshot = [](HDC dc, int w, int h) {
        std::vector<COLORREF> pixels(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) pixels[size_t(y) * size_t(w) + size_t(x)] = GetPixel(dc, x, y);
        return pixels;
    };
    const DWORD rops[] = {SRCCOPY, SRCPAINT, SRCAND, SRCINVERT, NOTSRCCOPY};
    for (int round = 0; round < 200; ++round) {
        const int sw = 1 + int(random() % 24), sh = 1 + int(random() % 24);
        const int dw = 1 + int(random() % 24), dh = 1 + int(random() % 24);
        const bool within = round % 4 == 0;  // source and destination the same bitmap
        Canvas source(sw, sh, RGB(0, 0, 0));
        Canvas other(dw, dh, RGB(0, 0, 0));
        Canvas& destination = within ? source : other;
        const int tw = within ? sw : dw, th = within ? sh : dh;
        fill(source, sw, sh);
        if (!within) fill(other, dw, dh);
        const int x = int(random() % 40) - 10, y = int(random() % 40) - 10;
        const int sx = int(random() % 40) - 10, sy = int(random() % 40) - 10;
        const int w = 1 + int(random() % 30), h = 1 + int(random() % 30);
        const DWORD rop = rops[random() % 5];
        const auto from = snapshot(source.dc, sw, sh);
        auto want = snapshot(destination.dc, tw, th);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const int fx = sx + i, fy = sy + j, tx = x + i, ty = y + j;
                if (fx < 0 || fy < 0 || fx >= sw || fy >= sh || tx < 0 || ty < 0 || tx >= tw || ty >= th) continue;
                const COLORREF s = from[size_t(fy) * size_t(sw) + size_t(fx)];
                COLORREF& d = want[size_t(ty) * size_t(tw) + size_t(tx)];
                d = rop == SRCCOPY ? s : rop == SRCPAINT ? d | s : rop == SRCAND ? d & s : rop == SRCINVERT ? d ^ s
                                                                                                     : ~s & 0xFFFFFF;
            }
        ASSERT_TRUE(BitBlt(destination.dc, x, y, w, h, source.dc, sx, sy, rop));
        ASSERT_EQ(want, snapshot(destination.dc, tw, th)) << "round " << round;
    }
}

}  // namespace

TEST(Gdi, ABitmapOrWindowMadeAfterOneDroppedStartsCleanAndAsLarge) {
    // Dropped pixel stores are reused: what was drawn in them must never show through.
    for (int size : {200, 300, 150}) {
        { Canvas drawn(size, size, kRed); }
        HDC dc = CreateCompatibleDC(nullptr);
        HDC screen = GetDC(nullptr);
        HBITMAP fresh = CreateCompatibleBitmap(screen, size, size);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, fresh);
        int black = 0;
        for (int y = 0; y < size; y += 7)
            for (int x = 0; x < size; x += 3) black += GetPixel(dc, x, y) == RGB(0, 0, 0);
        EXPECT_EQ(black, ((size + 6) / 7) * ((size + 2) / 3)) << size;
        EXPECT_EQ(GetPixel(dc, size - 1, size - 1), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc, size, 0), CLR_INVALID);  // no larger than asked
        SelectObject(dc, old);
        DeleteObject(fresh);
        DeleteDC(dc);
    }
    // A window takes the window colour, and its copy on the screen shows no red either.
    { Canvas drawn(400, 300, kRed); }
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(window, nullptr);
    HDC dc = GetWindowDC(window);
    int red = 0;
    for (int y = 0; y < 300; y += 5)
        for (int x = 0; x < 400; x += 5) red += GetPixel(dc, x, y) == kRed;
    EXPECT_EQ(red, 0);
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

TEST(Gdi, LevelAndUprightLinesPaintWhatTheWalkPaints) {
    // Copy-pen lines of one pixel are filled as runs; on black, an XOR pen of the same
    // colour paints exactly the pixels of the walk. Both ways, every direction, lines of
    // one pixel and none, lines leaving the bitmap, and LineTo's open end and Rectangle's
    // closed frame.
    std::mt19937 random(5);
    constexpr COLORREF kColour = RGB(10, 200, 30);
    for (int round = 0; round < 400; ++round) {
        int x0 = int(random() % 60) - 10, y0 = int(random() % 50) - 10;
        int x1 = x0, y1 = y0;
        const int length = int(random() % 30) - 15;
        (round % 2 ? x1 : y1) += round % 7 == 0 ? 0 : length;
        std::vector<COLORREF> painted[2];
        for (int rop : {R2_COPYPEN, R2_XORPEN}) {
            Canvas c(40, 30, RGB(0, 0, 0));
            SetROP2(c.dc, rop);
            HPEN pen = CreatePen(PS_SOLID, 1, kColour);
            HGDIOBJ old = SelectObject(c.dc, pen);
            if (round % 5 == 0) {
                SelectObject(c.dc, GetStockObject(NULL_BRUSH));
                Rectangle(c.dc, std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 2, std::max(y0, y1) + 2);
            } else {
                MoveToEx(c.dc, x0, y0, nullptr);
                LineTo(c.dc, x1, y1);
            }
            SelectObject(c.dc, old);
            DeleteObject(pen);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) painted[rop == R2_XORPEN].push_back(GetPixel(c.dc, x, y));
        }
        EXPECT_EQ(painted[0], painted[1]) << "round " << round << ": " << x0 << "," << y0 << " to " << x1 << "," << y1;
    }
}

// A .bmp file of the given depth: palette indexes (or colours, past 8 bits) a row at a
// time from the top, written bottom-up unless topDown.
static std::vector<unsigned char> bmpFile(int width, int height, int bits, bool topDown, const std::vector<uint32_t>& palette,
                                   const std::vector<uint32_t>& values) {
    auto put32 = [](std::vector<unsigned char>& out, uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    const size_t stride = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
    std::vector<unsigned char> pixels(stride * size_t(height));
    for (int y = 0; y < height; ++y) {
        unsigned char* row = pixels.data() + stride * size_t(topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = values[size_t(y) * size_t(width) + size_t(x)];
            if (bits < 8) row[x * bits / 8] |= static_cast<unsigned char>(v << (8 - bits - (x * bits) % 8));
            else
                for (int b = 0; b < bits / 8; ++b) row[x * (bits / 8) + b] = static_cast<unsigned char>(v >> (8 * b));
        }
    }
    std::vector<unsigned char> out{'B', 'M'};
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 40);
    put32(out, uint32_t(width));
    put32(out, uint32_t(topDown ? -height : height));
    out.push_back(1), out.push_back(0);
    out.push_back(static_cast<unsigned char>(bits)), out.push_back(0);
    put32(out, BI_RGB);
    put32(out, uint32_t(pixels.size()));
    put32(out, 0);
    put32(out, 0);
    put32(out, uint32_t(palette.size()));  // colours used: may be fewer than the depth holds
    put32(out, 0);
    for (uint32_t c : palette) put32(out, c);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// Every depth, odd widths and both row orders decode to the pixels written; an index past
// a short colour table takes its last colour.
TEST(Gdi, PicturesOfEveryDepthDecodeToTheirPixels) {
    std::mt19937 random(7);
    const std::string path = std::string(winapiHome()) + "/picture.bmp";
    HDC dc = CreateCompatibleDC(nullptr);
    for (int bits : {1, 4, 8, 24, 32})
        for (int width : {1, 2, 3, 7, 8, 9, 33})
            for (bool topDown : {false, true}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, " << width << " wide" << (topDown ? ", top down" : ""));
                const int height = 3;
                std::vector<uint32_t> palette;
                if (bits <= 8) palette.resize(bits == 8 ? 200 : bits == 4 ? 12 : 2);
                for (uint32_t& c : palette) c = random() & 0xFFFFFF;
                std::vector<uint32_t> values(size_t(width) * height);
                for (uint32_t& v : values) v = bits <= 8 ? random() % (1u << bits) : random() & 0xFFFFFF;
                if (bits == 32)
                    for (uint32_t& v : values) v |= 0xAB000000;  // the fourth byte is not colour
                const std::vector<unsigned char> file = bmpFile(width, height, bits, topDown, palette, values);
                std::ofstream(path, std::ios::binary | std::ios::trunc)
                    .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
                HBITMAP picture = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
                ASSERT_NE(picture, nullptr);
                HGDIOBJ old = SelectObject(dc, picture);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const uint32_t v = values[size_t(y) * size_t(width) + size_t(x)];
                        const uint32_t pixel =
                            bits > 8 ? v & 0xFFFFFF : palette[std::min<size_t>(v, palette.size() - 1)];
                        const COLORREF expected = RGB(pixel >> 16, (pixel >> 8) & 0xFF, pixel & 0xFF);
                        ASSERT_EQ(GetPixel(dc, x, y), expected) << x << "," << y;
                    }
                SelectObject(dc, old);
                DeleteObject(picture);
            }
    DeleteDC(dc);
}
