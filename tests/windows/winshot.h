// Pictures of real windows, as Wine draws them, for comparison with the host's drawing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace winshot {

// A window's pixels, top row first, 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Copies the whole window (frame included) from its own device context, so the picture
// does not depend on which windows overlap it on the screen.
bool capture(HWND window, Picture& out);

// Writes a 32-bit bottom-up BMP; false if the file cannot be written whole.
bool saveBmp(const Picture& picture, const char* path);

} // namespace winshot
