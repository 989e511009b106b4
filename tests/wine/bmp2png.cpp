// Turns the pictures the Wine tier takes (32-bit BMP files written by the Windows test
// programs) into PNG files, so they can be set beside the host runner's pictures.
//   bmp2png IN.bmp OUT.png
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

bool writePng(const char* path, int width, int height, const std::vector<unsigned char>& rgb)
{
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(&rgb[size_t(y) * width * 3]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bmp2png IN.bmp OUT.png\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Only what the test programs write: uncompressed 32 bits per pixel, either row order.
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') {
        std::fprintf(stderr, "%s: not a BMP file\n", argv[1]);
        return 1;
    }
    const std::uint32_t offset = le32(&bmp[10]);
    const std::int32_t width = std::int32_t(le32(&bmp[18]));
    std::int32_t height = std::int32_t(le32(&bmp[22]));
    const unsigned bits = bmp[28] | (bmp[29] << 8);
    const std::uint32_t compression = le32(&bmp[30]);
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (bits != 32 || compression != 0 || width <= 0 || height <= 0 || width > 16384 || height > 16384
        || offset > bmp.size() || (bmp.size() - offset) / 4 / std::uint64_t(width) < std::uint64_t(height)) {
        std::fprintf(stderr, "%s: not a 32-bit uncompressed BMP of its stated size\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const int row = topDown ? y : height - 1 - y;
        const unsigned char* src = &bmp[offset + size_t(row) * width * 4];
        for (int x = 0; x < width; ++x) {
            unsigned char* dst = &rgb[(size_t(y) * width + x) * 3];
            dst[0] = src[x * 4 + 2];
            dst[1] = src[x * 4 + 1];
            dst[2] = src[x * 4 + 0];
        }
    }
    if (!writePng(argv[2], width, height, rgb)) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
