// Device contexts and GDI objects: pens, brushes, fonts and bitmaps in one handle table.
#include "screen_state.h"

#include <algorithm>
#include <cstring>

namespace screen {

static std::map<uintptr_t, GdiObject>& objects() {
    static std::map<uintptr_t, GdiObject> all;
    return all;
}
static std::map<uintptr_t, DeviceContext>& dcs() {
    static std::map<uintptr_t, DeviceContext> all;
    return all;
}

GdiObject* findObject(HGDIOBJ h) {
    auto it = objects().find(reinterpret_cast<uintptr_t>(h));
    return it == objects().end() ? nullptr : &it->second;
}

DeviceContext* findDc(HDC hdc) {
    auto it = dcs().find(reinterpret_cast<uintptr_t>(hdc));
    return it == dcs().end() ? nullptr : &it->second;
}

HGDIOBJ addObject(GdiObject obj) {
    uintptr_t h = newHandle();
    objects().emplace(h, std::move(obj));
    return reinterpret_cast<HGDIOBJ>(h);
}

static HGDIOBJ stock(int index) {
    static HGDIOBJ table[18];
    static bool made = false;
    if (!made) {
        made = true;
        auto brush = [](COLORREF c, bool null = false) {
            GdiObject o(Kind::Brush);
            o.stock = true;
            o.color = c;
            o.nullBrush = null;
            return addObject(o);
        };
        auto pen = [](COLORREF c, int style) {
            GdiObject o(Kind::Pen);
            o.stock = true;
            o.color = c;
            o.penStyle = style;
            return addObject(o);
        };
        table[WHITE_BRUSH] = brush(RGB(255, 255, 255));
        table[LTGRAY_BRUSH] = brush(RGB(192, 192, 192));
        table[GRAY_BRUSH] = brush(RGB(128, 128, 128));
        table[DKGRAY_BRUSH] = brush(RGB(64, 64, 64));
        table[BLACK_BRUSH] = brush(RGB(0, 0, 0));
        table[NULL_BRUSH] = brush(0, true);
        table[WHITE_PEN] = pen(RGB(255, 255, 255), PS_SOLID);
        table[BLACK_PEN] = pen(0, PS_SOLID);
        table[NULL_PEN] = pen(0, PS_NULL);
        GdiObject font(Kind::Font);
        font.stock = true;
        font.font.lfHeight = 12;
        font.font.lfPitchAndFamily = FIXED_PITCH;
        std::strcpy(font.font.lfFaceName, "\xCB\xCE\xCC\xE5");  // 宋体
        for (int i : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT, DEFAULT_GUI_FONT})
            table[i] = addObject(font);
        GdiObject bitmap(Kind::Bitmap);
        bitmap.stock = true;
        bitmap.bitmap = std::make_shared<Surface>(1, 1, 0xFFFFFF);
        bitmap.bitmap->mono = true;
        bitmap.bitsPixel = 1;
        table[15] = addObject(bitmap);  // the 1 x 1 bitmap of a fresh memory context
    }
    return index >= 0 && index < 18 ? table[index] : nullptr;
}

static HDC addDc(DeviceContext dc) {
    dc.pen = stock(BLACK_PEN);
    dc.brush = stock(WHITE_BRUSH);
    dc.font = stock(SYSTEM_FONT);
    uintptr_t h = newHandle();
    dcs().emplace(h, std::move(dc));
    return reinterpret_cast<HDC>(h);
}

HDC newWindowDc(HWND hwnd, bool wholeWindow) {
    DeviceContext dc;
    if (!hwnd) {
        dc.kind = DcKind::Screen;
        dc.target = screenSurface();
        dc.clip = RECT{0, 0, dc.target->width, dc.target->height};
        return addDc(dc);
    }
    Window* w = findWindow(hwnd);
    if (!w) return nullptr;
    dc.kind = DcKind::Window;
    dc.hwnd = hwnd;
    dc.target = w->surface;
    if (wholeWindow) {
        dc.clip = RECT{0, 0, w->surface->width, w->surface->height};
    } else {
        RECT wr = screenRect(*w);
        POINT o = clientOrigin(*w);
        dc.origin = POINT{o.x - wr.left, o.y - wr.top};
        RECT c;
        GetClientRect(hwnd, &c);
        dc.clip = RECT{dc.origin.x, dc.origin.y, dc.origin.x + c.right, dc.origin.y + c.bottom};
    }
    return addDc(dc);
}

void dropDcsOf(HWND hwnd) {
    for (auto& [h, dc] : dcs())
        if (dc.hwnd == hwnd) dc.target = std::make_shared<Surface>(0, 0, 0);
}

static void releaseSelections(HDC hdc) {
    for (auto& [h, o] : objects())
        if (o.selectedInto == hdc) o.selectedInto = nullptr;
}

}  // namespace screen

using namespace screen;

HDC WINAPI GetDC(HWND hwnd) { return newWindowDc(hwnd, false); }
HDC WINAPI GetWindowDC(HWND hwnd) { return newWindowDc(hwnd, true); }

int WINAPI ReleaseDC(HWND, HDC hdc) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || dc->kind == DcKind::Memory) return 0;
    releaseSelections(hdc);
    // What was drawn on a window shows on the screen; what was drawn on the screen
    // itself stays there until something changes under it.
    if (dc->kind == DcKind::Window) markScreenDirty();
    dcs().erase(reinterpret_cast<uintptr_t>(hdc));
    return 1;
}

HWND WINAPI WindowFromDC(HDC hdc) {
    DeviceContext* dc = findDc(hdc);
    return dc ? dc->hwnd : nullptr;
}

HDC WINAPI CreateCompatibleDC(HDC) {
    DeviceContext dc;
    dc.kind = DcKind::Memory;
    dc.bitmap = stock(15);
    dc.target = findObject(dc.bitmap)->bitmap;
    dc.clip = RECT{0, 0, 1, 1};
    return addDc(dc);
}

BOOL WINAPI DeleteDC(HDC hdc) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return FALSE;
    if (dc->kind != DcKind::Memory) return ReleaseDC(dc->hwnd, hdc);
    releaseSelections(hdc);
    dcs().erase(reinterpret_cast<uintptr_t>(hdc));
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object) {
    DeviceContext* dc = findDc(hdc);
    GdiObject* o = findObject(object);
    if (!dc || !o) return nullptr;
    HGDIOBJ old = nullptr;
    switch (o->kind) {
    case Kind::Pen: old = dc->pen; dc->pen = object; break;
    case Kind::Brush: old = dc->brush; dc->brush = object; break;
    case Kind::Font: old = dc->font; dc->font = object; break;
    case Kind::Bitmap:
        // Only memory contexts take bitmaps, and a bitmap lives in one context at a time.
        if (dc->kind != DcKind::Memory) return nullptr;
        if (o->selectedInto && o->selectedInto != hdc && !o->stock) return nullptr;
        old = dc->bitmap;
        if (GdiObject* prev = findObject(old)) prev->selectedInto = nullptr;
        dc->bitmap = object;
        o->selectedInto = hdc;
        dc->target = o->bitmap;
        dc->clip = RECT{0, 0, o->bitmap->width, o->bitmap->height};
        break;
    case Kind::Dc: return nullptr;
    }
    if (o->kind != Kind::Bitmap) o->selectedInto = hdc;
    return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    GdiObject* o = findObject(object);
    if (!o) return FALSE;
    if (o->stock) return TRUE;
    // Windows refuses to delete a bitmap that is still selected into a context.
    if (o->kind == Kind::Bitmap && o->selectedInto && findDc(static_cast<HDC>(o->selectedInto)))
        return FALSE;
    objects().erase(reinterpret_cast<uintptr_t>(object));
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int index) {
    if (index == 15 || index == 9 || index == 14 || index == 16) return nullptr;
    return stock(index);
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_FONT: return dc->font;
    case OBJ_BITMAP: return dc->bitmap;
    }
    return nullptr;
}

DWORD WINAPI GetObjectType(HGDIOBJ object) {
    if (DeviceContext* dc = findDc(static_cast<HDC>(object)))
        return dc->kind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
    GdiObject* o = findObject(object);
    if (!o) return 0;
    switch (o->kind) {
    case Kind::Pen: return OBJ_PEN;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Font: return OBJ_FONT;
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Dc: return OBJ_DC;
    }
    return 0;
}

int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID out) {
    GdiObject* o = findObject(object);
    if (!o) return 0;
    switch (o->kind) {
    case Kind::Bitmap: {
        BITMAP bm{};
        bm.bmWidth = o->bitmap->width;
        bm.bmHeight = o->bitmap->height;
        bm.bmBitsPixel = WORD(o->bitsPixel);
        bm.bmPlanes = 1;
        bm.bmWidthBytes = ((bm.bmWidth * o->bitsPixel + 15) / 16) * 2;
        if (!out) return sizeof bm;
        int n = std::min<int>(size, sizeof bm);
        std::memcpy(out, &bm, size_t(std::max(n, 0)));
        return n;
    }
    case Kind::Font: {
        if (!out) return sizeof(LOGFONTA);
        int n = std::min<int>(size, sizeof(LOGFONTA));
        std::memcpy(out, &o->font, size_t(std::max(n, 0)));
        return n;
    }
    case Kind::Pen: {
        LOGPEN lp{UINT(o->penStyle), POINT{o->penWidth, 0}, o->color};
        if (!out) return sizeof lp;
        int n = std::min<int>(size, sizeof lp);
        std::memcpy(out, &lp, size_t(std::max(n, 0)));
        return n;
    }
    case Kind::Brush: {
        LOGBRUSH lb{UINT(o->nullBrush ? BS_NULL : BS_SOLID), o->color, 0};
        if (!out) return sizeof lb;
        int n = std::min<int>(size, sizeof lb);
        std::memcpy(out, &lb, size_t(std::max(n, 0)));
        return n;
    }
    case Kind::Dc: break;
    }
    return 0;
}

// Saved states: enough for code that brackets its drawing with SaveDC/RestoreDC.
static std::map<uintptr_t, std::vector<DeviceContext>>& savedStates() {
    static std::map<uintptr_t, std::vector<DeviceContext>> all;
    return all;
}

int WINAPI SaveDC(HDC hdc) {
    DeviceContext* dc = findDc(hdc);
    if (!dc) return 0;
    auto& v = savedStates()[reinterpret_cast<uintptr_t>(hdc)];
    v.push_back(*dc);
    return int(v.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int saved) {
    DeviceContext* dc = findDc(hdc);
    auto& v = savedStates()[reinterpret_cast<uintptr_t>(hdc)];
    if (!dc || v.empty()) return FALSE;
    size_t index = saved < 0 ? v.size() - std::min<size_t>(v.size(), size_t(-saved)) : size_t(saved - 1);
    if (index >= v.size()) return FALSE;
    DeviceContext keep = v[index];
    keep.target = dc->target;
    keep.bitmap = dc->bitmap;
    keep.clip = dc->clip;
    *dc = keep;
    v.resize(index);
    return TRUE;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    GdiObject o(Kind::Pen);
    o.penStyle = style;
    o.penWidth = std::max(width, 1);
    o.color = color & 0xFFFFFF;
    return static_cast<HPEN>(addObject(o));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    GdiObject o(Kind::Brush);
    o.color = color & 0xFFFFFF;
    return static_cast<HBRUSH>(addObject(o));
}

HBRUSH WINAPI GetSysColorBrush(int index) {
    static std::map<int, HGDIOBJ> brushes;
    auto it = brushes.find(index);
    if (it != brushes.end()) return static_cast<HBRUSH>(it->second);
    GdiObject o(Kind::Brush);
    o.stock = true;
    o.color = GetSysColor(index);
    HGDIOBJ h = addObject(o);
    brushes[index] = h;
    return static_cast<HBRUSH>(h);
}

// As on Windows, a memory context still holding its initial 1 x 1 bitmap is monochrome,
// and so is a bitmap made compatible with it.
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height) {
    if (width < 0 || height < 0 || int64_t(width) * height > (1 << 26)) return nullptr;
    GdiObject o(Kind::Bitmap);
    o.bitmap = std::make_shared<Surface>(width, height, 0);
    DeviceContext* dc = findDc(hdc);
    if (dc && dc->kind == DcKind::Memory) {
        GdiObject* selected = findObject(dc->bitmap);
        if (selected && selected->bitsPixel == 1) {
            o.bitmap->mono = true;
            o.bitsPixel = 1;
        }
    }
    return static_cast<HBITMAP>(addObject(o));
}

HBITMAP WINAPI CreateBitmap(int width, int height, UINT, UINT bitCount, const VOID* bits) {
    if (width < 0 || height < 0 || int64_t(width) * height > (1 << 26)) return nullptr;
    GdiObject o(Kind::Bitmap);
    o.bitmap = std::make_shared<Surface>(width, height, 0);
    o.bitsPixel = int(bitCount);
    if (bits && bitCount == 32)
        std::memcpy(o.bitmap->pixels.data(), bits, o.bitmap->pixels.size() * 4);
    return static_cast<HBITMAP>(addObject(o));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* font) {
    if (!font) return nullptr;
    GdiObject o(Kind::Font);
    o.font = *font;
    o.font.lfFaceName[sizeof o.font.lfFaceName - 1] = 0;
    return static_cast<HFONT>(addObject(o));
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR faceName) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = BYTE(italic);
    lf.lfUnderline = BYTE(underline);
    lf.lfStrikeOut = BYTE(strikeOut);
    lf.lfCharSet = BYTE(charSet);
    lf.lfOutPrecision = BYTE(outPrecision);
    lf.lfClipPrecision = BYTE(clipPrecision);
    lf.lfQuality = BYTE(quality);
    lf.lfPitchAndFamily = BYTE(pitchAndFamily);
    if (faceName) {
        std::strncpy(lf.lfFaceName, faceName, sizeof lf.lfFaceName - 1);
    }
    return CreateFontIndirectA(&lf);
}

// ---- state of a context ----

#define DC_SETTER(name, field, type, invalid)       \
    type WINAPI name(HDC hdc, type value) {        \
        DeviceContext* dc = findDc(hdc);           \
        if (!dc) return invalid;                   \
        type old = dc->field;                      \
        dc->field = value;                         \
        return old;                                \
    }

DC_SETTER(SetTextColor, textColor, COLORREF, CLR_INVALID)
DC_SETTER(SetBkColor, bkColor, COLORREF, CLR_INVALID)
DC_SETTER(SetTextCharacterExtra, charExtra, int, 0x80000000)
DC_SETTER(SetTextAlign, textAlign, UINT, 0xFFFFFFFF)

int WINAPI SetROP2(HDC hdc, int mode) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || mode < R2_BLACK || mode > R2_WHITE) return 0;
    int old = dc->rop2;
    dc->rop2 = mode;
    return old;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    DeviceContext* dc = findDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

int WINAPI GetROP2(HDC hdc) { DeviceContext* dc = findDc(hdc); return dc ? dc->rop2 : 0; }
COLORREF WINAPI GetTextColor(HDC hdc) { DeviceContext* dc = findDc(hdc); return dc ? dc->textColor : CLR_INVALID; }
COLORREF WINAPI GetBkColor(HDC hdc) { DeviceContext* dc = findDc(hdc); return dc ? dc->bkColor : CLR_INVALID; }
int WINAPI GetBkMode(HDC hdc) { DeviceContext* dc = findDc(hdc); return dc ? dc->bkMode : 0; }
int WINAPI GetTextCharacterExtra(HDC hdc) { DeviceContext* dc = findDc(hdc); return dc ? dc->charExtra : 0x80000000; }
