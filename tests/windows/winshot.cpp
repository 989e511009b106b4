#include "winshot.h"

#include <cstdio>

namespace winshot {

bool capture(HWND window, Picture& out)
{
    RECT frame;
    if (!IsWindow(window) || !GetWindowRect(window, &frame))
        return false;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0)
        return false;

    HDC source = GetWindowDC(window);
    if (!source)
        return false;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
    SelectObject(memory, previous);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<size_t>(width) * height, 0);
    const int rows = copied ? GetDIBits(memory, bitmap, 0, height, out.pixels.data(), &info, DIB_RGB_COLORS) : 0;

    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    for (auto& p : out.pixels)
        p &= 0x00FFFFFF;
    return rows == height;
}

bool saveBmp(const Picture& picture, const char* path)
{
    const std::uint32_t imageBytes = static_cast<std::uint32_t>(picture.pixels.size() * 4);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + imageBytes;
    header.biSize = sizeof(header);
    header.biWidth = picture.width;
    header.biHeight = picture.height; // bottom-up, as every viewer expects
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = imageBytes;

    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(&file, sizeof(file), 1, f) == 1 && std::fwrite(&header, sizeof(header), 1, f) == 1;
    for (int y = picture.height - 1; ok && y >= 0; --y)
        ok = std::fwrite(&picture.pixels[static_cast<size_t>(y) * picture.width], 4, picture.width, f)
            == static_cast<size_t>(picture.width);
    return std::fclose(f) == 0 && ok;
}

} // namespace winshot
