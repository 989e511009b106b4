// The system icons (IDI_*) that message boxes show, drawn at 32 x 32 as Windows 98 shows
// them: the red stop sign with its cross, the yellow warning triangle, and the white
// balloons of the question and the information.
#include "screen_state.h"

#include <cmath>

namespace screen {

namespace {

constexpr int SIZE = 32;

void put(HDC dc, int x0, int y0, int x, int y, COLORREF c) {
    if (x >= 0 && y >= 0 && x < SIZE && y < SIZE) SetPixel(dc, x0 + x, y0 + y, c);
}

// A disc with a one-pixel outline; `tail` adds the balloon's pointer at its lower left.
void disc(HDC dc, int x0, int y0, COLORREF fill, COLORREF outline, bool tail) {
    const double cx = 15.5, cy = tail ? 13.5 : 15.5, r = tail ? 13.0 : 14.5;
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            double d = std::hypot(x - cx, y - cy);
            if (d <= r - 1) put(dc, x0, y0, x, y, fill);
            else if (d <= r) put(dc, x0, y0, x, y, outline);
        }
    if (!tail) return;
    for (int row = 0; row < 6; ++row) {
        int y = 25 + row;
        int from = 7 - row, to = 11 - row / 2;
        for (int x = from; x <= to; ++x) put(dc, x0, y0, x, y, x == from || x == to || row == 5 ? outline : fill);
    }
}

void bar(HDC dc, int x0, int y0, int left, int top, int right, int bottom, COLORREF c) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) put(dc, x0, y0, x, y, c);
}

void stop(HDC dc, int x0, int y0) {
    disc(dc, x0, y0, RGB(255, 0, 0), RGB(128, 0, 0), false);
    for (int i = 0; i < 13; ++i)
        for (int t = 0; t < 3; ++t) {
            put(dc, x0, y0, 9 + i + t, 9 + i, RGB(255, 255, 255));
            put(dc, x0, y0, 22 - i + t - 1, 9 + i, RGB(255, 255, 255));
        }
}

void warning(HDC dc, int x0, int y0) {
    for (int y = 2; y < 30; ++y) {
        int half = (y - 2) / 2 + 1;
        for (int x = 16 - half; x < 16 + half; ++x)
            put(dc, x0, y0, x, y, (x == 16 - half || x == 15 + half || y == 29) ? RGB(0, 0, 0) : RGB(255, 255, 0));
    }
    bar(dc, x0, y0, 15, 10, 17, 22, RGB(0, 0, 0));
    bar(dc, x0, y0, 15, 24, 17, 26, RGB(0, 0, 0));
}

void question(HDC dc, int x0, int y0) {
    disc(dc, x0, y0, RGB(255, 255, 255), RGB(0, 0, 0), true);
    COLORREF blue = RGB(0, 0, 255);
    bar(dc, x0, y0, 12, 6, 20, 8, blue);
    bar(dc, x0, y0, 10, 8, 13, 11, blue);
    bar(dc, x0, y0, 19, 8, 22, 13, blue);
    bar(dc, x0, y0, 16, 13, 20, 15, blue);
    bar(dc, x0, y0, 15, 15, 18, 18, blue);
    bar(dc, x0, y0, 15, 20, 18, 23, blue);
}

void information(HDC dc, int x0, int y0) {
    disc(dc, x0, y0, RGB(255, 255, 255), RGB(0, 0, 0), true);
    COLORREF blue = RGB(0, 0, 255);
    bar(dc, x0, y0, 14, 5, 18, 9, blue);
    bar(dc, x0, y0, 12, 11, 18, 13, blue);
    bar(dc, x0, y0, 14, 13, 18, 21, blue);
    bar(dc, x0, y0, 12, 21, 20, 23, blue);
}

void application(HDC dc, int x0, int y0) {
    bar(dc, x0, y0, 2, 4, 30, 28, RGB(0, 0, 0));
    bar(dc, x0, y0, 3, 5, 29, 27, RGB(255, 255, 255));
    bar(dc, x0, y0, 3, 5, 29, 9, RGB(0, 0, 128));
}

}  // namespace

bool drawIconAt(HDC dc, int x, int y, HICON icon) {
    uintptr_t h = reinterpret_cast<uintptr_t>(icon);
    if (h < 0x7100000 || h > 0x710FFFF) return false;
    switch (h - 0x7100000) {
    case 32512: application(dc, x, y); return true;
    case 32513: stop(dc, x, y); return true;
    case 32514: question(dc, x, y); return true;
    case 32515: warning(dc, x, y); return true;
    case 32516: information(dc, x, y); return true;
    }
    return false;
}

}  // namespace screen

BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON icon) { return screen::drawIconAt(hdc, x, y, icon) ? TRUE : FALSE; }
