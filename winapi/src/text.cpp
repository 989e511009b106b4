// Drawing GBK text: glyphs from FreeType, one-bit rendering as the Song face's bitmaps
// look on Windows, each character centred in its fixed cell.
#include "screen_state.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace screen {

FT_Face songFace();
int gbkCharLength(const char* text, int i, int length);
unsigned long gbkToUnicode(const char* ch, int length);

static const LOGFONTA& fontOf(DeviceContext& dc) {
    static LOGFONTA fallback{};
    GdiObject* f = findObject(dc.font);
    return f && f->kind == Kind::Font ? f->font : fallback;
}

// A glyph as FreeType renders it for one cell size, kept so that a window repainted on
// every key does not render the same characters again.
struct Glyph {
    bool present = false;  // false: the face has no glyph, nothing is drawn
    int left = 0, top = 0;  // from the cell's left and the baseline
    int advance = 0;
    unsigned rows = 0, width = 0;
    int pitch = 0;
    std::vector<unsigned char> bits;
};

static Glyph renderGlyph(unsigned long code, int cellWidth, int cell) {
    Glyph glyph;
    FT_Face face = songFace();
    if (!face || !code) return glyph;
    // The Song face fills its cell: the em is the cell, the baseline 7/8 down.
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(cell));
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (!index || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT)) return glyph;
    FT_Matrix squeeze{0x10000, 0, 0, 0x10000};
    long advance = face->glyph->advance.x >> 6;
    if (advance > cellWidth && advance > 0) {
        // Latin glyphs wider than a half cell are narrowed to fit it.
        squeeze.xx = FT_Fixed(0x10000L * cellWidth / advance);
        FT_Set_Transform(face, &squeeze, nullptr);
        FT_Load_Glyph(face, index, FT_LOAD_DEFAULT);
        FT_Set_Transform(face, nullptr, nullptr);
        advance = cellWidth;
    }
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)) return glyph;
    const FT_Bitmap& bm = face->glyph->bitmap;
    glyph.present = true;
    glyph.left = face->glyph->bitmap_left;
    glyph.top = face->glyph->bitmap_top;
    glyph.advance = int(advance);
    glyph.rows = bm.rows;
    glyph.width = bm.width;
    glyph.pitch = bm.pitch < 0 ? -bm.pitch : bm.pitch;
    glyph.bits.resize(size_t(glyph.pitch) * bm.rows);
    for (unsigned row = 0; row < bm.rows; ++row)
        std::memcpy(glyph.bits.data() + size_t(row) * glyph.pitch, bm.buffer + long(row) * bm.pitch, glyph.pitch);
    return glyph;
}

// The glyph of the GBK character ch (n bytes) in a cell; rendered once per size.
static const Glyph& cachedGlyph(const char* ch, int n, int cellWidth, int cell) {
    static std::unordered_map<uint64_t, Glyph> cache;
    static size_t cachedBytes = 0;
    const uint64_t bytes = n == 2 ? (uint64_t(uint8_t(ch[0])) << 8 | uint8_t(ch[1])) : uint8_t(ch[0]);
    const uint64_t key = bytes | uint64_t(n) << 16 | uint64_t(uint16_t(cellWidth)) << 20 |
                         uint64_t(uint16_t(cell)) << 36;
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    // Bounded in count and in bytes: a long session sees many sizes, some of them large.
    if (cache.size() >= 16384 || cachedBytes >= (16u << 20)) {
        cache.clear();
        cachedBytes = 0;
    }
    const Glyph& glyph = cache.emplace(key, renderGlyph(gbkToUnicode(ch, n), cellWidth, cell)).first->second;
    cachedBytes += glyph.bits.size() + sizeof(Glyph);
    return glyph;
}

static void drawGlyph(DeviceContext& dc, const Glyph& glyph, int cellX, int y, int cellWidth, int cell,
                      uint32_t color, int weight) {
    if (!glyph.present) return;
    int baseline = y + cell * 7 / 8;
    int left = cellX + (cellWidth - glyph.advance) / 2 + glyph.left;
    int top = baseline - glyph.top;
    for (unsigned row = 0; row < glyph.rows; ++row) {
        const unsigned char* line = glyph.bits.data() + size_t(row) * glyph.pitch;
        for (unsigned col = 0; col < glyph.width; ++col) {
            if (!(line[col >> 3] & (0x80 >> (col & 7)))) continue;
            putPixel(dc, left + int(col), top + int(row), color, R2_COPYPEN);
            if (weight >= FW_BOLD) putPixel(dc, left + int(col) + 1, top + int(row), color, R2_COPYPEN);
        }
    }
}

void drawText(DeviceContext& dc, int x, int y, const char* text, int length, const INT* dx) {
    const LOGFONTA& lf = fontOf(dc);
    int cell = fontCellHeight(lf), half = (cell + 1) / 2;
    uint32_t color = pixelFromColor(dc.textColor);
    int pen = x;
    int k = 0;
    for (int i = 0; i < length; ++k) {
        int n = gbkCharLength(text, i, length);
        int width = n == 2 ? cell : half;
        drawGlyph(dc, cachedGlyph(text + i, n, width, cell), pen, y, width, cell, color, int(lf.lfWeight));
        if (lf.lfUnderline)
            for (int u = 0; u < width + dc.charExtra; ++u)
                putPixel(dc, pen + u, y + cell - 1, color, R2_COPYPEN);
        pen += dx ? dx[i] + (n == 2 ? dx[std::min(i + 1, length - 1)] : 0) : width + dc.charExtra;
        i += n;
    }
}

}  // namespace screen

using namespace screen;

BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text,
                        UINT length, const INT* dx) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return FALSE;
    if (!text) length = 0;
    const LOGFONTA& lf = fontOf(*dc);
    int cell = fontCellHeight(lf);
    int width = 0;
    if (dx) {
        for (UINT i = 0; i < length; ++i) width += dx[i];
    } else {
        width = textWidth(lf, text, int(length), dc->charExtra);
    }
    if (dc->textAlign & TA_CENTER) {
        if ((dc->textAlign & TA_CENTER) == TA_CENTER)
            x -= width / 2;
        else if (dc->textAlign & TA_RIGHT)
            x -= width;
    }
    if ((dc->textAlign & TA_BASELINE) == TA_BASELINE)
        y -= cell * 7 / 8;
    else if (dc->textAlign & TA_BOTTOM)
        y -= cell;
    if ((dc->textAlign & TA_UPDATECP)) {
        x = dc->current.x;
        y = dc->current.y;
        dc->current.x += width;
    }
    uint32_t bk = pixelFromColor(dc->bkColor);
    if (rect && (options & ETO_OPAQUE)) fillSolid(*dc, *rect, bk);
    DeviceContext drawn = *dc;
    if (rect && (options & ETO_CLIPPED)) {
        RECT r = *rect;
        OffsetRect(&r, dc->origin.x, dc->origin.y);
        IntersectRect(&drawn.clip, &drawn.clip, &r);
    }
    if (dc->bkMode == OPAQUE) fillSolid(drawn, RECT{x, y, x + width, y + cell}, bk);
    drawText(drawn, x, y, text, int(length), dx);
    return TRUE;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    if (length < 0) return FALSE;
    return ExtTextOutA(hdc, x, y, 0, nullptr, text, UINT(length), nullptr);
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR text, int length, LPSIZE size) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || !size || length < 0 || (!text && length)) return FALSE;
    const LOGFONTA& lf = fontOf(*dc);
    size->cx = textWidth(lf, text, length, dc->charExtra);
    size->cy = fontCellHeight(lf);
    return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || !tm) return FALSE;
    const LOGFONTA& lf = fontOf(*dc);
    int cell = fontCellHeight(lf);
    std::memset(tm, 0, sizeof *tm);
    tm->tmHeight = cell;
    tm->tmAscent = cell * 7 / 8;
    tm->tmDescent = cell - tm->tmAscent;
    tm->tmAveCharWidth = (cell + 1) / 2;
    tm->tmMaxCharWidth = cell;
    tm->tmWeight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmPitchAndFamily = FF_MODERN;  // the low bit clear means fixed pitch
    tm->tmCharSet = GB2312_CHARSET;
    return TRUE;
}

namespace {

// One line of DrawTextA's layout: its text and the byte offset of the character that a
// '&' prefix underlines (-1 for none).
struct TextLine {
    std::string text;
    int underline = -1;
};

// Removes '&' prefixes: "&&" is one '&', "&x" underlines x.
TextLine stripPrefix(const char* text, int length) {
    TextLine line;
    for (int i = 0; i < length;) {
        if (text[i] == '&') {
            if (i + 1 < length && text[i + 1] == '&') {
                line.text += '&';
                i += 2;
                continue;
            }
            if (i + 1 >= length) break;
            line.underline = int(line.text.size());
            ++i;
            continue;
        }
        int n = gbkCharLength(text, i, length);
        line.text.append(text + i, size_t(n));
        i += n;
    }
    return line;
}

std::string expandTabs(const std::string& text) {
    std::string out;
    int column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t') {
            do {
                out += ' ';
                ++column;
            } while (column % 8);
            continue;
        }
        out += text[i];
        ++column;
    }
    return out;
}

// Breaks a line into pieces no wider than `width`: after a space, or between two
// double-byte characters. A word wider than the line stays whole.
std::vector<TextLine> wrap(const TextLine& line, const LOGFONTA& lf, int extra, int width) {
    std::vector<TextLine> out;
    const std::string& t = line.text;
    size_t start = 0;
    const int length = int(t.size());
    while (start < t.size()) {
        size_t end = start, lastBreak = std::string::npos;
        int w = 0;
        while (end < t.size()) {
            int n = gbkCharLength(t.data(), int(end), length);
            int cw = textWidth(lf, t.data() + end, n, extra);
            if (w + cw > width && end > start) {
                // A double-byte character may start a new line anywhere.
                if (n == 2 || (end > start && static_cast<unsigned char>(t[end - 1]) >= 0x80)) lastBreak = end;
                break;
            }
            w += cw;
            if (t[end] == ' ') lastBreak = end + 1;
            end += size_t(n);
        }
        if (end >= t.size()) lastBreak = t.size();
        if (lastBreak == std::string::npos || lastBreak <= start) {
            // No break inside: the word runs to the next space.
            lastBreak = end;
            while (lastBreak < t.size() && t[lastBreak] != ' ') ++lastBreak;
            if (lastBreak < t.size()) ++lastBreak;
        }
        TextLine piece;
        piece.text = t.substr(start, lastBreak - start);
        while (!piece.text.empty() && piece.text.back() == ' ' && lastBreak < t.size()) piece.text.pop_back();
        if (line.underline >= int(start) && line.underline < int(lastBreak)) piece.underline = line.underline - int(start);
        out.push_back(piece);
        start = lastBreak;
        while (start < t.size() && t[start] == ' ') ++start;
    }
    if (out.empty()) out.push_back(TextLine{});
    return out;
}

}  // namespace

// Lines split at line breaks (unless DT_SINGLELINE), '&' prefixes (unless DT_NOPREFIX),
// tabs (DT_EXPANDTABS) and word wrapping (DT_WORDBREAK) as Windows lays them out.
int WINAPI DrawTextA(HDC hdc, LPCSTR text, int length, LPRECT rect, UINT format) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || !text || !rect) return 0;
    if (length < 0) length = int(std::strlen(text));
    const LOGFONTA& lf = fontOf(*dc);
    int cell = fontCellHeight(lf);
    std::vector<TextLine> lines;
    int start = 0;
    while (start <= length) {
        int end = start;
        if (!(format & DT_SINGLELINE))
            while (end < length && text[end] != '\n' && text[end] != '\r') end += gbkCharLength(text, end, length);
        else
            end = length;
        TextLine line;
        if (format & DT_NOPREFIX)
            line.text.assign(text + start, size_t(end - start));
        else
            line = stripPrefix(text + start, end - start);
        if (format & DT_SINGLELINE) {
            std::string flat;
            for (char c : line.text)
                if (c != '\r' && c != '\n') flat += c;
            line.text = flat;
        }
        if (format & DT_EXPANDTABS) line.text = expandTabs(line.text);
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
            for (TextLine& piece : wrap(line, lf, dc->charExtra, int(rect->right - rect->left))) lines.push_back(piece);
        } else {
            lines.push_back(line);
        }
        if (end >= length) break;
        start = end + 1;
        if (start < length && text[end] == '\r' && text[start] == '\n') ++start;
    }
    int y = rect->top, maxWidth = 0;
    uint32_t ink = pixelFromColor(dc->textColor);
    for (const TextLine& line : lines) {
        int width = textWidth(lf, line.text.data(), int(line.text.size()), dc->charExtra);
        maxWidth = std::max(maxWidth, width);
        if (!(format & DT_CALCRECT)) {
            int x = rect->left;
            if (format & DT_CENTER) x = (rect->left + rect->right - width) / 2;
            if (format & DT_RIGHT) x = rect->right - width;
            int ly = y;
            if (format & DT_SINGLELINE) {
                if (format & DT_VCENTER) ly = (rect->top + rect->bottom - cell) / 2;
                if (format & DT_BOTTOM) ly = rect->bottom - cell;
            }
            UINT opts = (format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
            ExtTextOutA(hdc, x, ly, opts, rect, line.text.data(), UINT(line.text.size()), nullptr);
            if (line.underline >= 0 && line.underline < int(line.text.size())) {
                int n = gbkCharLength(line.text.data(), line.underline, int(line.text.size()));
                int ux = x + textWidth(lf, line.text.data(), line.underline, dc->charExtra);
                int uw = textWidth(lf, line.text.data() + line.underline, n, dc->charExtra);
                DeviceContext drawn = *dc;
                if (!(format & DT_NOCLIP)) {
                    RECT r = *rect;
                    OffsetRect(&r, dc->origin.x, dc->origin.y);
                    IntersectRect(&drawn.clip, &drawn.clip, &r);
                }
                fillSolid(drawn, RECT{ux, ly + cell * 7 / 8 + 1, ux + uw, ly + cell * 7 / 8 + 2}, ink);
            }
        }
        y += cell;
        if (format & DT_SINGLELINE) break;
    }
    if (format & DT_CALCRECT) {
        rect->right = rect->left + maxWidth;
        rect->bottom = y;
    }
    return y - rect->top;
}
