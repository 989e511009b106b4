// Drawing into a context's pixels: lines, rectangles, inversions and block transfers.
#include "screen_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace screen {

static uint32_t applyRop2(uint32_t dst, uint32_t pen, int rop2) {
    switch (rop2) {
    case R2_BLACK: return 0;
    case R2_NOTMERGEPEN: return ~(dst | pen) & 0xFFFFFF;
    case R2_MASKNOTPEN: return dst & ~pen & 0xFFFFFF;
    case R2_NOTCOPYPEN: return ~pen & 0xFFFFFF;
    case R2_MASKPENNOT: return pen & ~dst & 0xFFFFFF;
    case R2_NOT: return ~dst & 0xFFFFFF;
    case R2_XORPEN: return (dst ^ pen) & 0xFFFFFF;
    case R2_NOTMASKPEN: return ~(dst & pen) & 0xFFFFFF;
    case R2_MASKPEN: return dst & pen;
    case R2_NOTXORPEN: return ~(dst ^ pen) & 0xFFFFFF;
    case R2_NOP: return dst;
    case R2_MERGENOTPEN: return (dst | ~pen) & 0xFFFFFF;
    case R2_MERGEPENNOT: return (pen | ~dst) & 0xFFFFFF;
    case R2_MERGEPEN: return dst | pen;
    case R2_WHITE: return 0xFFFFFF;
    }
    return pen;
}

Surface& drawable(DeviceContext& dc) {
    if (dc.target->sharedPicture) {
        auto own = std::make_shared<Surface>(*dc.target);
        if (GdiObject* bitmap = findObject(dc.bitmap); bitmap && bitmap->bitmap == dc.target) bitmap->bitmap = own;
        dc.target = std::move(own);
    }
    return *dc.target;
}

void putPixel(DeviceContext& dc, int x, int y, uint32_t color, int rop2) {
    int tx = x + dc.origin.x, ty = y + dc.origin.y;
    if (tx < dc.clip.left || ty < dc.clip.top || tx >= dc.clip.right || ty >= dc.clip.bottom)
        return;
    if (tx < 0 || ty < 0 || tx >= dc.target->width || ty >= dc.target->height) return;
    Surface& s = drawable(dc);
    uint32_t* p = s.at(tx, ty);
    *p = storable(s, applyRop2(*p, color, rop2));
}

// Fills a rectangle in client coordinates, clipped; returns it in target coordinates.
static bool clipRect(DeviceContext& dc, RECT r, RECT& out) {
    OffsetRect(&r, dc.origin.x, dc.origin.y);
    RECT bounds{0, 0, dc.target->width, dc.target->height};
    RECT c;
    return IntersectRect(&c, &r, &dc.clip) && IntersectRect(&out, &c, &bounds);
}

void fillSolid(DeviceContext& dc, RECT r, uint32_t color) {
    RECT t;
    if (!clipRect(dc, r, t)) return;
    Surface& s = drawable(dc);
    for (int y = t.top; y < t.bottom; ++y) std::fill(s.at(t.left, y), s.at(t.left, y) + (t.right - t.left), storable(s, color));
}

static void xorRect(DeviceContext& dc, RECT r, uint32_t mask) {
    RECT t;
    if (!clipRect(dc, r, t)) return;
    Surface& s = drawable(dc);
    for (int y = t.top; y < t.bottom; ++y)
        for (int x = t.left; x < t.right; ++x) *s.at(x, y) ^= mask;
}

// A brush handle, or a system colour index + 1 as window classes pass it.
static bool brushColor(HBRUSH brush, uint32_t& color) {
    if (GdiObject* o = findObject(brush)) {
        if (o->kind != Kind::Brush || o->nullBrush) return false;
        color = pixelFromColor(o->color);
        return true;
    }
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v >= 1 && v <= 31) {
        color = pixelFromColor(GetSysColor(int(v - 1)));
        return true;
    }
    return false;
}

static void penLine(DeviceContext& dc, int x0, int y0, int x1, int y1, bool lastPixel) {
    GdiObject* pen = findObject(dc.pen);
    if (!pen || pen->penStyle == PS_NULL) return;
    uint32_t color = pixelFromColor(pen->color);
    int width = std::max(pen->penWidth, 1);
    if (width == 1 && dc.rop2 == R2_COPYPEN && (x0 == x1) != (y0 == y1)) {
        // A plain level or upright line (the frames drawn on every key) is the run of
        // pixels the walk below would visit, filled at once.
        const int last = x0 == x1 ? (lastPixel ? y1 : y1 + (y0 < y1 ? -1 : 1))
                                  : (lastPixel ? x1 : x1 + (x0 < x1 ? -1 : 1));
        if (x0 == x1)
            fillSolid(dc, RECT{x0, std::min(y0, last), x0 + 1, std::max(y0, last) + 1}, color);
        else
            fillSolid(dc, RECT{std::min(x0, last), y0, std::max(x0, last) + 1, y0 + 1}, color);
        return;
    }
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int x = x0, y = y0;
    for (;;) {
        bool atEnd = x == x1 && y == y1;
        if (atEnd && !lastPixel) break;
        for (int oy = 0; oy < width; ++oy)
            for (int ox = 0; ox < width; ++ox)
                putPixel(dc, x + ox - width / 2, y + oy - width / 2, color, dc.rop2);
        if (atEnd) break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

}  // namespace screen

using namespace screen;

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return FALSE;
    if (previous) *previous = dc->current;
    dc->current = POINT{x, y};
    return TRUE;
}

// The end point is not painted, so joined lines never paint a corner twice.
BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return FALSE;
    penLine(*dc, dc->current.x, dc->current.y, x, y, false);
    dc->current = POINT{x, y};
    return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return FALSE;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    uint32_t fill;
    if (brushColor(static_cast<HBRUSH>(dc->brush), fill))
        fillSolid(*dc, RECT{left + 1, top + 1, right - 1, bottom - 1}, fill);
    penLine(*dc, left, top, right - 1, top, false);
    penLine(*dc, right - 1, top, right - 1, bottom - 1, false);
    penLine(*dc, right - 1, bottom - 1, left, bottom - 1, false);
    penLine(*dc, left, bottom - 1, left, top, false);
    return TRUE;
}

int WINAPI FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    DeviceContext* dc = findDc(hdc);
    uint32_t color;
    if (!dc || !rect || !brushColor(brush, color)) return 0;
    fillSolid(*dc, *rect, color);
    return 1;
}

int WINAPI FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    DeviceContext* dc = findDc(hdc);
    uint32_t color;
    if (!dc || !rect || !brushColor(brush, color)) return 0;
    const RECT& r = *rect;
    fillSolid(*dc, RECT{r.left, r.top, r.right, r.top + 1}, color);
    fillSolid(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, color);
    fillSolid(*dc, RECT{r.left, r.top, r.left + 1, r.bottom}, color);
    fillSolid(*dc, RECT{r.right - 1, r.top, r.right, r.bottom}, color);
    return 1;
}

BOOL WINAPI InvertRect(HDC hdc, const RECT* rect) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || !rect) return FALSE;
    xorRect(*dc, *rect, 0xFFFFFF);
    return TRUE;
}

// A dotted outline drawn by XOR: every other pixel along the edges, so that drawing it
// twice at one place leaves the pixels as they were.
BOOL WINAPI DrawFocusRect(HDC hdc, const RECT* rect) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || !rect) return FALSE;
    const RECT& r = *rect;
    if (IsRectEmpty(&r)) return TRUE;
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0) putPixel(*dc, x, y, 0xFFFFFF, R2_XORPEN);
    };
    for (int x = r.left; x < r.right; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        dot(r.left, y);
        if (r.right - 1 > r.left) dot(r.right - 1, y);
    }
    return TRUE;
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return CLR_INVALID;
    putPixel(*dc, x, y, pixelFromColor(color), R2_COPYPEN);
    return color & 0xFFFFFF;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return CLR_INVALID;
    if (dc->kind == DcKind::Screen) dc->target = screenSurface();
    int tx = x + dc->origin.x, ty = y + dc->origin.y;
    if (tx < dc->clip.left || ty < dc->clip.top || tx >= dc->clip.right || ty >= dc->clip.bottom ||
        tx >= dc->target->width || ty >= dc->target->height)
        return CLR_INVALID;
    return colorFromPixel(*dc->target->at(tx, ty));
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return FALSE;
    RECT r{x, y, x + width, y + height};
    if (width < 0) std::swap(r.left, r.right);
    if (height < 0) std::swap(r.top, r.bottom);
    uint32_t color;
    switch (rop) {
    case PATCOPY:
        if (brushColor(static_cast<HBRUSH>(dc->brush), color)) fillSolid(*dc, r, color);
        return TRUE;
    case PATINVERT:
        if (brushColor(static_cast<HBRUSH>(dc->brush), color)) xorRect(*dc, r, color);
        return TRUE;
    case DSTINVERT: xorRect(*dc, r, 0xFFFFFF); return TRUE;
    case BLACKNESS: fillSolid(*dc, r, 0); return TRUE;
    case WHITENESS: fillSolid(*dc, r, 0xFFFFFF); return TRUE;
    }
    return FALSE;
}

namespace {

// One pixel of a raster operation with a source.
inline uint32_t ropPixel(DWORD rop, uint32_t destination, uint32_t source) {
    switch (rop) {
    case SRCCOPY: return source;
    case SRCPAINT: return destination | source;
    case SRCAND: return destination & source;
    case SRCINVERT: return destination ^ source;
    case NOTSRCCOPY: return ~source & 0xFFFFFF;
    default: return source;
    }
}

// StretchBlt without stretching, a row at a time: the pixels inside both the source
// surface and the destination's clip and surface, exactly those the stretching copy
// writes. Painting a double-buffered window copies its whole surface on every paint.
BOOL copyBlock(DeviceContext& d, int x, int y, int width, int height, DeviceContext& s, int srcX, int srcY,
               DWORD rop) {
    Surface& to = drawable(d);  // first: a context blitting onto itself reads what it writes
    Surface& from = *s.target;
    const int64_t sx0 = int64_t(srcX) + s.origin.x, sy0 = int64_t(srcY) + s.origin.y;
    const int64_t tx0 = int64_t(x) + d.origin.x, ty0 = int64_t(y) + d.origin.y;
    const int64_t left = std::max({int64_t(0), -sx0, int64_t(d.clip.left) - tx0, -tx0});
    const int64_t right = std::min({int64_t(width), int64_t(from.width) - sx0, int64_t(d.clip.right) - tx0,
                                    int64_t(to.width) - tx0});
    const int64_t top = std::max({int64_t(0), -sy0, int64_t(d.clip.top) - ty0, -ty0});
    const int64_t bottom = std::min({int64_t(height), int64_t(from.height) - sy0, int64_t(d.clip.bottom) - ty0,
                                     int64_t(to.height) - ty0});
    if (left >= right || top >= bottom) return TRUE;
    const size_t columns = size_t(right - left);
    // Source and destination may be the same pixels: the source rows are read first.
    std::vector<uint32_t> rows;
    const bool same = &from == &to;
    if (same) {
        rows.resize(columns * size_t(bottom - top));
        for (int64_t j = top; j < bottom; ++j)
            std::memcpy(rows.data() + size_t(j - top) * columns, from.at(int(sx0 + left), int(sy0 + j)),
                        columns * sizeof(uint32_t));
    }
    for (int64_t j = top; j < bottom; ++j) {
        const uint32_t* source = same ? rows.data() + size_t(j - top) * columns : from.at(int(sx0 + left), int(sy0 + j));
        uint32_t* target = to.at(int(tx0 + left), int(ty0 + j));
        if (rop == SRCCOPY && !to.mono) {
            std::memcpy(target, source, columns * sizeof(uint32_t));
            continue;
        }
        for (size_t i = 0; i < columns; ++i) target[i] = storable(to, ropPixel(rop, target[i], source[i]));
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                       int srcWidth, int srcHeight, DWORD rop) {
    DeviceContext* d = findDc(dst);
    DeviceContext* s = findDc(src);
    if (!d) return FALSE;
    if (rop == BLACKNESS || rop == WHITENESS || rop == DSTINVERT || rop == PATCOPY)
        return PatBlt(dst, x, y, width, height, rop);
    if (!s || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return FALSE;
    if (s->kind == DcKind::Screen) s->target = screenSurface();
    if (width == srcWidth && height == srcHeight) return copyBlock(*d, x, y, width, height, *s, srcX, srcY, rop);
    // Copy through a snapshot: source and destination may be the same pixels.
    std::vector<uint32_t> block(size_t(width) * size_t(height));
    std::vector<bool> valid(block.size());
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            int sx = srcX + int(int64_t(i) * srcWidth / width) + s->origin.x;
            int sy = srcY + int(int64_t(j) * srcHeight / height) + s->origin.y;
            if (sx < 0 || sy < 0 || sx >= s->target->width || sy >= s->target->height) continue;
            block[size_t(j) * size_t(width) + size_t(i)] = *s->target->at(sx, sy);
            valid[size_t(j) * size_t(width) + size_t(i)] = true;
        }
    drawable(*d);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            size_t k = size_t(j) * size_t(width) + size_t(i);
            if (!valid[k]) continue;
            int tx = x + i + d->origin.x, ty = y + j + d->origin.y;
            if (tx < d->clip.left || ty < d->clip.top || tx >= d->clip.right || ty >= d->clip.bottom ||
                tx < 0 || ty < 0 || tx >= d->target->width || ty >= d->target->height)
                continue;
            uint32_t* p = d->target->at(tx, ty);
            switch (rop) {
            case SRCCOPY: *p = block[k]; break;
            case SRCPAINT: *p |= block[k]; break;
            case SRCAND: *p &= block[k]; break;
            case SRCINVERT: *p ^= block[k]; break;
            case NOTSRCCOPY: *p = ~block[k] & 0xFFFFFF; break;
            default: *p = block[k];
            }
            *p = storable(*d->target, *p);
        }
    return TRUE;
}

BOOL WINAPI BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                   DWORD rop) {
    return StretchBlt(dst, x, y, width, height, src, srcX, srcY, width, height, rop);
}
