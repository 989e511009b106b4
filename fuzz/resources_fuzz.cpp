// The resource readers of the window manager over any bytes: the input becomes the data
// of a bitmap, a menu and a string block of a .res blob, which are then loaded and used,
// and is drawn as GBK text.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target resources_fuzz &&
//      build/host-fuzz/bin/resources_fuzz -max_total_time=60 -max_len=4096
#include <windows.h>
#include <winapi_host.h>

#include "resblob.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> blob;
    static HMODULE module = nullptr;
    blob.clear();
    entry(blob, 0, 0, nullptr, 0);
    entry(blob, 2, 1, data, size);  // RT_BITMAP
    entry(blob, 4, 1, data, size);  // RT_MENU
    entry(blob, 6, 1, data, size);  // RT_STRING, ids 0-15
    module = winapiAttachResources(module, blob.data(), blob.size());
    if (!module) return 0;

    HDC dc = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 64, 32);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldCanvas = SelectObject(dc, canvas);
    if (HANDLE image = LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)) {
        HDC src = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(src, image);
        BitBlt(dc, 0, 0, 64, 32, src, 0, 0, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
        DeleteObject(image);
    }
    if (HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(1))) {
        char text[64];
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
            GetSubMenu(menu, i);
        }
        DestroyMenu(menu);
    }
    char text[32];
    for (UINT id = 0; id < 16; ++id) LoadStringA(module, id, text, sizeof text);

    LOGFONTA lf{};
    lf.lfHeight = 16;
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ oldFont = SelectObject(dc, font);
    int length = int(size < 256 ? size : 256);
    TextOutA(dc, 0, 0, reinterpret_cast<const char*>(data), length);
    SIZE extent;
    GetTextExtentPoint32A(dc, reinterpret_cast<const char*>(data), length, &extent);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldCanvas);
    DeleteObject(canvas);
    DeleteDC(dc);
    return 0;
}
