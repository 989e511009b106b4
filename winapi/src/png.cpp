// Saving what is on screen as PNG.
#include "screen_state.h"

#include <png.h>

#include <cstdio>
#include <string>

namespace screen {

// Written to a temporary name and renamed, so a reader never sees half a picture.
static bool savePng(const Surface& s, int x0, int y0, int width, int height, const char* path) {
    if (!path || width <= 0 || height <= 0) return false;
    std::string temp = std::string(path) + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::remove(temp.c_str());
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t p = s.pixels[size_t(y0 + y) * size_t(s.width) + size_t(x0 + x)];
            row[size_t(x) * 3] = png_byte(p >> 16);
            row[size_t(x) * 3 + 1] = png_byte(p >> 8);
            row[size_t(x) * 3 + 2] = png_byte(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return std::rename(temp.c_str(), path) == 0;
}

}  // namespace screen

using namespace screen;

bool winapiSaveScreenPng(const char* path) {
    auto s = screenSurface();
    return savePng(*s, 0, 0, s->width, s->height, path);
}

// The window as it looks on screen: its own pixels with its child windows over them.
static void composeInto(Surface& dst, const Window& w, int x0, int y0) {
    if (!w.surface) return;
    const Surface& s = *w.surface;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            int dx = x0 + x, dy = y0 + y;
            if (dx >= 0 && dy >= 0 && dx < dst.width && dy < dst.height) *dst.at(dx, dy) = s.pixels[size_t(y) * size_t(s.width) + size_t(x)];
        }
    POINT origin = clientOrigin(w);
    RECT frame = screenRect(w);
    for (auto& [h, c] : windows())
        if (c->parent == w.handle && (c->style & WS_VISIBLE))
            composeInto(dst, *c, x0 + (origin.x - frame.left) + c->rect.left, y0 + (origin.y - frame.top) + c->rect.top);
}

bool winapiSaveWindowPng(HWND hwnd, const char* path) {
    Window* w = findWindow(hwnd);
    if (!w || !w->surface) return false;
    Surface composed(w->surface->width, w->surface->height, 0);
    composeInto(composed, *w, 0, 0);
    return savePng(composed, 0, 0, composed.width, composed.height, path);
}
