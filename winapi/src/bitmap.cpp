// Bitmaps and strings of resources (or of .bmp files): device-independent bitmaps of 1,
// 4, 8, 24 and 32 bits decoded into 32-bit pixels, every size checked against the data.
#include "screen_state.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace screen {

const unsigned char* resourceBytes(HINSTANCE instance, LPCSTR name, LPCSTR type, DWORD& size) {
    size = 0;
    HRSRC info = FindResourceA(instance, name, type);
    if (!info) return nullptr;
    HGLOBAL data = LoadResource(instance, info);
    if (!data) return nullptr;
    size = SizeofResource(instance, info);
    return static_cast<const unsigned char*>(LockResource(data));
}

std::u16string readUtf16(const unsigned char*& p, const unsigned char* end) {
    std::u16string s;
    while (end - p >= 2) {
        char16_t c = char16_t(p[0] | (p[1] << 8));
        p += 2;
        if (!c) return s;
        s.push_back(c);
    }
    p = end + 1;  // unterminated: the caller sees p past the end
    return s;
}

std::string utf16ToGbk(const std::u16string& s) {
    static iconv_t conv = iconv_open("GBK", "UTF-16LE");
    std::string out;
    if (conv == iconv_t(-1)) return out;
    std::string bytes(reinterpret_cast<const char*>(s.data()), s.size() * 2);
    out.resize(s.size() * 2 + 4);
    char* ip = bytes.data();
    char* op = out.data();
    size_t il = bytes.size(), ol = out.size();
    iconv(conv, nullptr, nullptr, nullptr, nullptr);
    while (il > 0) {
        if (iconv(conv, &ip, &il, &op, &ol) != size_t(-1)) break;
        // A character with no GBK form becomes "?", as the ANSI functions do.
        ip += 2;
        il -= 2;
        if (ol) {
            *op++ = '?';
            --ol;
        }
    }
    out.resize(out.size() - ol);
    return out;
}

std::u16string gbkToUtf16(const char* gbk) {
    static iconv_t conv = iconv_open("UTF-16LE", "GBK");
    std::u16string out;
    if (conv == iconv_t(-1) || !gbk) return out;
    std::string bytes(gbk);
    std::string wide(bytes.size() * 2 + 4, '\0');
    char* ip = bytes.data();
    char* op = wide.data();
    size_t il = bytes.size(), ol = wide.size();
    iconv(conv, nullptr, nullptr, nullptr, nullptr);
    while (il > 0) {
        if (iconv(conv, &ip, &il, &op, &ol) != size_t(-1)) break;
        // A byte that starts no GBK character stays as "?".
        ++ip;
        --il;
        if (ol >= 2) {
            *op++ = '?';
            *op++ = 0;
            ol -= 2;
        }
    }
    wide.resize(wide.size() - ol);
    out.resize(wide.size() / 2);
    std::memcpy(out.data(), wide.data(), out.size() * 2);
    return out;
}

static uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
static uint16_t get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

// Decodes a packed DIB (header, colour table, pixels). Returns null for anything that
// does not add up.
std::shared_ptr<Surface> decodeDib(const unsigned char* data, size_t size, bool map3d,
                                   int& bitsPixel) {
    if (size < 40) return nullptr;
    uint32_t headerSize = get32(data);
    if (headerSize < 40 || headerSize > size) return nullptr;
    int32_t width = int32_t(get32(data + 4)), height = int32_t(get32(data + 8));
    uint16_t bits = get16(data + 14);
    uint32_t compression = get32(data + 16), used = get32(data + 32);
    bool topDown = height < 0;
    int64_t h = topDown ? -int64_t(height) : height;
    if (width <= 0 || h <= 0 || width > 16384 || h > 16384) return nullptr;
    if (compression != BI_RGB && !(compression == BI_BITFIELDS && (bits == 16 || bits == 32)))
        return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
    size_t colors = bits <= 8 ? (used ? used : (1u << bits)) : 0;
    if (colors > 256) return nullptr;
    size_t tableBytes = colors * 4 + (compression == BI_BITFIELDS ? 12 : 0);
    if (headerSize + tableBytes > size) return nullptr;
    const unsigned char* table = data + headerSize;
    uint32_t palette[256] = {};
    for (size_t i = 0; i < colors; ++i) {
        uint32_t c = (uint32_t(table[i * 4 + 2]) << 16) | (uint32_t(table[i * 4 + 1]) << 8) | table[i * 4];
        if (map3d) {
            // The three greys of 3D pictures become the system's 3D colours.
            if (c == 0x808080) c = pixelFromColor(GetSysColor(COLOR_3DSHADOW));
            else if (c == 0xC0C0C0) c = pixelFromColor(GetSysColor(COLOR_3DFACE));
            else if (c == 0xDFDFDF) c = pixelFromColor(GetSysColor(COLOR_3DLIGHT));
        }
        palette[i] = c;
    }
    // An index past the table's end takes its last colour.
    for (size_t i = colors; colors > 0 && i < 256; ++i) palette[i] = palette[colors - 1];
    size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    const unsigned char* pixels = table + tableBytes;
    if (size_t(data + size - pixels) < stride * size_t(h)) return nullptr;
    auto s = std::make_shared<Surface>(width, int(h), 0);
    // A row at a time, one loop per depth: pictures are decoded as windows open.
    for (int64_t y = 0; y < h; ++y) {
        const unsigned char* row = pixels + stride * size_t(topDown ? y : h - 1 - y);
        uint32_t* out = s->at(0, int(y));
        switch (bits) {
        case 1:
            for (int32_t x = 0; x < width; ++x) out[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4: {
            int32_t x = 0;
            for (; x + 1 < width; x += 2) {
                out[x] = palette[row[x >> 1] >> 4];
                out[x + 1] = palette[row[x >> 1] & 15];
            }
            if (x < width) out[x] = palette[row[x >> 1] >> 4];
            break;
        }
        case 8:
            for (int32_t x = 0; x < width; ++x) out[x] = palette[row[x]];
            break;
        case 24:
            for (int32_t x = 0; x < width; ++x)
                out[x] = (uint32_t(row[x * 3 + 2]) << 16) | (uint32_t(row[x * 3 + 1]) << 8) | row[x * 3];
            break;
        default:
            for (int32_t x = 0; x < width; ++x) out[x] = get32(row + x * 4) & 0xFFFFFF;
        }
    }
    bitsPixel = bits;
    return s;
}

}  // namespace screen

using namespace screen;

namespace {

// A resource bitmap as decoded last time: windows paint the same pictures again and again.
struct DecodedPicture {
    std::vector<unsigned char> bytes;  // the packed DIB, compared whole: a module loaded
    bool map3d = false;                // later may put other bytes at the same address
    int bitsPixel = 0;
    std::shared_ptr<const Surface> surface;
};

// The decoded picture of a packed DIB, decoded now when none of the last few is the same;
// null when it does not decode.
const DecodedPicture* decodedPicture(const unsigned char* data, size_t size, bool map3d) {
    static DecodedPicture kept[8];
    static size_t next = 0;
    for (const DecodedPicture& picture : kept)
        if (picture.surface && picture.map3d == map3d && picture.bytes.size() == size &&
            std::memcmp(picture.bytes.data(), data, size) == 0)
            return &picture;
    DecodedPicture picture;
    std::shared_ptr<Surface> decoded = decodeDib(data, size, map3d, picture.bitsPixel);
    if (!decoded) return nullptr;
    decoded->sharedPicture = true;
    picture.surface = std::move(decoded);
    picture.bytes.assign(data, data + size);
    picture.map3d = map3d;
    DecodedPicture& slot = kept[next];
    next = (next + 1) % std::size(kept);
    slot = std::move(picture);
    return &slot;
}

}  // namespace

HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int, int, UINT flags) {
    if (type != IMAGE_BITMAP || !name) return nullptr;
    std::vector<unsigned char> file;
    const unsigned char* data;
    size_t size;
    if (flags & LR_LOADFROMFILE) {
        if (reinterpret_cast<uintptr_t>(name) < 0x10000) return nullptr;
        FILE* f = std::fopen(name, "rb");
        if (!f) return nullptr;
        unsigned char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && file.size() < (64u << 20))
            file.insert(file.end(), buffer, buffer + n);
        std::fclose(f);
        if (file.size() < 14 || file[0] != 'B' || file[1] != 'M') return nullptr;
        data = file.data() + 14;
        size = file.size() - 14;
    } else {
        DWORD n;
        data = resourceBytes(instance, name, RT_BITMAP, n);
        size = n;
        if (!data) return nullptr;
    }
    GdiObject o(Kind::Bitmap);
    const bool map3d = (flags & LR_LOADMAP3DCOLORS) != 0;
    if (flags & LR_LOADFROMFILE) {
        o.bitmap = decodeDib(data, size, map3d, o.bitsPixel);
    } else if (const DecodedPicture* picture = decodedPicture(data, size, map3d)) {
        // Every load is a bitmap of its own, which its owner may draw into: it shares the
        // decoded pixels until then, and most pictures are only ever shown.
        o.bitmap = std::const_pointer_cast<Surface>(picture->surface);
        o.bitsPixel = picture->bitsPixel;
    }
    if (!o.bitmap) return nullptr;
    return addObject(o);
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    return static_cast<HBITMAP>(LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, 0));
}

// String tables come in blocks of 16 counted UTF-16 strings; block b holds ids 16(b-1)..
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    DWORD n;
    const unsigned char* data = resourceBytes(instance, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING, n);
    if (!data) return 0;
    const unsigned char* p = data;
    const unsigned char* end = data + n;
    for (UINT i = 0; i < (id & 15); ++i) {
        if (end - p < 2) return 0;
        size_t len = get16(p);
        p += 2;
        if (size_t(end - p) < len * 2) return 0;
        p += len * 2;
    }
    if (end - p < 2) return 0;
    size_t len = get16(p);
    p += 2;
    if (!len || size_t(end - p) < len * 2) return 0;
    std::u16string text(len, u'\0');
    for (size_t i = 0; i < len; ++i) text[i] = char16_t(get16(p + i * 2));
    std::string gbk = utf16ToGbk(text);
    int copied = std::min<int>(size - 1, int(gbk.size()));
    // Never end inside a double-byte character.
    int k = 0;
    while (k < copied) {
        unsigned char c = static_cast<unsigned char>(gbk[size_t(k)]);
        int step = (c >= 0x81 && c <= 0xFE) ? 2 : 1;
        if (k + step > copied) break;
        k += step;
    }
    std::memcpy(buffer, gbk.data(), size_t(k));
    buffer[k] = 0;
    return k;
}
