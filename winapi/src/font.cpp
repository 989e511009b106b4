// Fonts: every face is drawn with the Song-style CJK face, in fixed cells like the
// Windows Song face: a cell of height h is h pixels wide for a double-byte character and
// half of h, rounded, for a single byte.
#include "screen_state.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <iconv.h>

#include <cstring>
#include <mutex>

#ifndef QX_SONG_FONT
#define QX_SONG_FONT "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc"
#endif

namespace screen {

static FT_Library library;
static FT_Face face;
static bool fontTried = false;

// The collection holds one face per region; the simplified-Chinese one is wanted.
FT_Face songFace() {
    if (fontTried) return face;
    fontTried = true;
    const char* path = getenv("QX_SONG_FONT");
    if (!path || !*path) path = QX_SONG_FONT;
    if (FT_Init_FreeType(&library)) return nullptr;
    FT_Face probe;
    if (FT_New_Face(library, path, -1, &probe)) return nullptr;
    long count = probe->num_faces;
    FT_Done_Face(probe);
    for (long i = 0; i < count; ++i) {
        FT_Face f;
        if (FT_New_Face(library, path, i, &f)) continue;
        if (f->family_name && std::strstr(f->family_name, " SC")) {
            face = f;
            return face;
        }
        FT_Done_Face(f);
    }
    FT_New_Face(library, path, 0, &face);
    return face;
}

int fontCellHeight(const LOGFONTA& lf) {
    // No cell is taller than a quarter of the largest window store: a larger character
    // can never be seen whole, and each costs its area to render, keep and draw (a damaged
    // dialog template can ask for 17,000 pixels). Also keeps INT_MIN from being negated.
    constexpr int MAX_CELL = 512;
    if (lf.lfHeight == 0) return 12;
    if (lf.lfHeight < -MAX_CELL || lf.lfHeight > MAX_CELL) return MAX_CELL;
    return lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
}

// Byte length of the GBK character at text[i] (1 or 2), never past length.
int gbkCharLength(const char* text, int i, int length) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < length) {
        unsigned char t = static_cast<unsigned char>(text[i + 1]);
        if (t >= 0x40 && t <= 0xFE && t != 0x7F) return 2;
    }
    return 1;
}

// One GBK character as a Unicode code point; 0 when it has none.
unsigned long gbkToUnicode(const char* ch, int length) {
    if (length == 1) {
        unsigned char c = static_cast<unsigned char>(ch[0]);
        return c < 0x80 ? c : (c == 0x80 ? 0x20AC : 0);
    }
    static iconv_t conv = iconv_open("UTF-32LE", "GBK");
    if (conv == iconv_t(-1)) return 0;
    char in[2] = {ch[0], ch[1]};
    unsigned char out[8];
    char* ip = in;
    char* op = reinterpret_cast<char*>(out);
    size_t il = 2, ol = sizeof out;
    iconv(conv, nullptr, nullptr, nullptr, nullptr);
    if (iconv(conv, &ip, &il, &op, &ol) == size_t(-1) || ol != 4) return 0;
    return out[0] | (out[1] << 8) | (out[2] << 16) | (unsigned long)(out[3]) << 24;
}

int textWidth(const LOGFONTA& lf, const char* text, int length, int extra) {
    // A Song face's half-width glyphs advance by half the em, rounded as GDI rounds it.
    int h = fontCellHeight(lf), half = (h + 1) / 2;
    int width = 0;
    for (int i = 0; i < length;) {
        int n = gbkCharLength(text, i, length);
        width += n == 2 ? h : half;
        width += extra;
        i += n;
    }
    return width;
}

}  // namespace screen
