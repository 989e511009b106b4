// The ground every other Windows test program stands on: the Chinese code page (the
// module's texts are GBK bytes), a user language that matches the layout's, and windows
// that can be drawn and read back as pictures.
#include "winshot.h"
#include "wintest.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr COLORREF kLeft = RGB(200, 30, 40);
constexpr COLORREF kRight = RGB(20, 60, 220);

LRESULT CALLBACK paintHalves(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        RECT left = client, right = client;
        left.right = right.left = client.right / 2;
        HBRUSH red = CreateSolidBrush(kLeft);
        HBRUSH blue = CreateSolidBrush(kRight);
        FillRect(dc, &left, red);
        FillRect(dc, &right, blue);
        DeleteObject(red);
        DeleteObject(blue);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::uint32_t rgbOf(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

void checkCodePage()
{
    wintest::check(GetACP() == 936, "ansi code page is 936", "GetACP() = %u", GetACP());
    const LANGID lang = GetUserDefaultLangID();
    wintest::check(lang == 0x0804, "user language is zh-CN", "GetUserDefaultLangID() = %04x", lang);

    // "中文" in GBK must round-trip through the ANSI code page unchanged.
    const char gbk[] = "\xD6\xD0\xCE\xC4";
    wchar_t wide[8] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, gbk, 4, wide, 8);
    wintest::check(n == 2 && wide[0] == 0x4E2D && wide[1] == 0x6587, "gbk bytes decode",
        "%d characters, %04x %04x", n, wide[0], wide[1]);
    char back[8] = {};
    const int m = WideCharToMultiByte(CP_ACP, 0, wide, n, back, sizeof back, nullptr, nullptr);
    wintest::check(m == 4 && std::string(back, 4) == std::string(gbk, 4), "gbk bytes encode", "%d bytes", m);
}

void checkPicture(const char* shotDir)
{
    WNDCLASSA cls{};
    cls.lpfnWndProc = paintHalves;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "QxTierHalves";
    if (!wintest::check(RegisterClassA(&cls) != 0, "register window class", "error %lu", GetLastError()))
        return;
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "QxTierHalves", "", WS_POPUP, 30, 40, 64, 24, nullptr,
        nullptr, cls.hInstance, nullptr);
    if (!wintest::check(window != nullptr, "create popup window", "error %lu", GetLastError()))
        return;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);

    winshot::Picture picture;
    if (wintest::check(winshot::capture(window, picture), "capture window")) {
        wintest::check(picture.width == 64 && picture.height == 24, "picture has the window's size", "%dx%d",
            picture.width, picture.height);
        const std::uint32_t left = picture.at(5, 12), right = picture.at(58, 12);
        wintest::check(left == rgbOf(kLeft) && right == rgbOf(kRight), "picture holds what was painted",
            "left %06x right %06x", left, right);
        if (shotDir) {
            const std::string path = std::string(shotDir) + "\\env-halves.bmp";
            wintest::check(winshot::saveBmp(picture, path.c_str()), "save picture as bmp", "%s", path.c_str());
        }
    }
    DestroyWindow(window);
}

} // namespace

int main(int argc, char** argv)
{
    wintest::begin();
    checkCodePage();
    checkPicture(argc > 1 ? argv[1] : nullptr);
    return wintest::finish();
}
