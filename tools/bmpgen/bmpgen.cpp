// bmpgen OUTDIR: draws the module's pictures with the stand-in's GDI and writes them as
// palette bitmaps: the status pictures (22 x 17, 16 colours), the mode labels (50 x 20,
// 256 colours), the three full-size picture windows (366 x 405, 16 colours) and the about
// box's picture (451 x 217, 16 colours).
#include <windows.h>

#include "gbktext.h"
#include "resources/resource.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The texts are written here in UTF-8 and drawn as the GBK the module's fonts take.
std::string gbk(const char* utf8) {
    std::string out;
    if (!utf8ToGbk(utf8, out)) {
        std::fprintf(stderr, "bmpgen: text not in GBK: %s\n", utf8);
        std::exit(1);
    }
    return out;
}

constexpr COLORREF kFace = RGB(192, 192, 192);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kMaroon = RGB(128, 0, 0);

struct Picture {
    int width, height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    Picture(int w, int h) : width(w), height(h) {
        dc = CreateCompatibleDC(nullptr);
        HDC screen = GetDC(nullptr);  // colour, as the screen is
        bitmap = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        fill(0, 0, w, h, kFace);
        SetBkMode(dc, TRANSPARENT);
    }
    ~Picture() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void fill(int l, int t, int r, int b, COLORREF c) {
        RECT rc{l, t, r, b};
        HBRUSH brush = CreateSolidBrush(c);
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
    }
    void line(int x1, int y1, int x2, int y2, COLORREF c) {
        HPEN pen = CreatePen(PS_SOLID, 1, c);
        HGDIOBJ o = SelectObject(dc, pen);
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
        SelectObject(dc, o);
        DeleteObject(pen);
    }
    // Text in the Song face of the given cell height; returns its width.
    int text(int x, int y, const std::string& s, COLORREF c, int height, bool bold = false) {
        LOGFONTA lf{};
        lf.lfHeight = height;
        lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        lf.lfPitchAndFamily = FIXED_PITCH;
        std::strcpy(lf.lfFaceName, "\xCB\xCE\xCC\xE5");
        HFONT f = CreateFontIndirectA(&lf);
        HGDIOBJ o = SelectObject(dc, f);
        SetTextColor(dc, c);
        TextOutA(dc, x, y, s.data(), int(s.size()));
        SIZE size;
        GetTextExtentPoint32A(dc, s.data(), int(s.size()), &size);
        SelectObject(dc, o);
        DeleteObject(f);
        return size.cx;
    }
    // Wraps a paragraph at the width, never inside a double-byte character.
    int paragraph(int x, int y, int width, const std::string& s, COLORREF c, int height, int lead) {
        size_t start = 0;
        int half = height / 2;
        while (start < s.size()) {
            size_t end = start;
            int used = 0;
            while (end < s.size()) {
                int n = static_cast<unsigned char>(s[end]) >= 0x81 ? 2 : 1;
                if (used + n * half > width) break;
                used += n * half;
                end += size_t(n);
            }
            // Closing punctuation never begins a line: it stays with the line before.
            static const std::string closers = gbk("，。、；：！？）”");
            if (end + 1 < s.size() && static_cast<unsigned char>(s[end]) >= 0x81) {
                for (size_t k = 0; k + 1 < closers.size(); k += 2)
                    if (s.compare(end, 2, closers, k, 2) == 0) {
                        end += 2;
                        break;
                    }
            }
            text(x, y, s.substr(start, end - start), c, height);
            y += lead;
            start = end;
        }
        return y;
    }
};

// The standard 16 colours of VGA: the pictures are drawn in these only.
const COLORREF kVga[16] = {RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
                           RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
                           RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
                           RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};

std::vector<COLORREF> palette(int colours) {
    std::vector<COLORREF> p(kVga, kVga + 16);
    if (colours == 256) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) p.push_back(RGB(r * 51, g * 51, b * 51));
        for (int i = 0; i < 24; ++i) p.push_back(RGB(8 + i * 10, 8 + i * 10, 8 + i * 10));
    }
    return p;
}

int nearest(const std::vector<COLORREF>& p, COLORREF c) {
    int best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < p.size(); ++i) {
        long dr = long(GetRValue(p[i])) - GetRValue(c), dg = long(GetGValue(p[i])) - GetGValue(c),
             db = long(GetBValue(p[i])) - GetBValue(c);
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

void put16(std::vector<unsigned char>& v, unsigned x) {
    v.push_back(static_cast<unsigned char>(x));
    v.push_back(static_cast<unsigned char>(x >> 8));
}
void put32(std::vector<unsigned char>& v, unsigned x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

bool writeBmp(const Picture& pic, int colours, const std::string& path) {
    auto pal = palette(colours);
    int bits = colours == 16 ? 4 : 8;
    size_t stride = ((size_t(pic.width) * size_t(bits) + 31) / 32) * 4;
    std::vector<unsigned char> pixels(stride * size_t(pic.height), 0);
    for (int y = 0; y < pic.height; ++y) {
        unsigned char* row = &pixels[stride * size_t(pic.height - 1 - y)];
        for (int x = 0; x < pic.width; ++x) {
            int index = nearest(pal, GetPixel(pic.dc, x, y));
            if (bits == 8)
                row[x] = static_cast<unsigned char>(index);
            else
                row[x / 2] |= static_cast<unsigned char>(x % 2 ? index : index << 4);
        }
    }
    std::vector<unsigned char> out;
    unsigned offset = 14 + 40 + unsigned(pal.size()) * 4;
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + unsigned(pixels.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, unsigned(pic.width));
    put32(out, unsigned(pic.height));
    put16(out, 1);
    put16(out, unsigned(bits));
    put32(out, 0);  // BI_RGB
    put32(out, unsigned(pixels.size()));
    put32(out, 3780);
    put32(out, 3780);
    put32(out, unsigned(pal.size()));
    put32(out, 0);
    for (COLORREF c : pal) {
        out.push_back(GetBValue(c));
        out.push_back(GetGValue(c));
        out.push_back(GetRValue(c));
        out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = std::fclose(f) == 0 && ok;
    return ok && std::rename(temp.c_str(), path.c_str()) == 0;
}

// A status-bar picture: one or two characters on the button face.
void statusPicture(Picture& p, const char* utf8, COLORREF c, int height, int x, int y) {
    p.text(x, y, gbk(utf8), c, height);
}

// A mode label: the product word or a short label, with an optional two-colour underline.
void underline(Picture& p) {
    p.line(1, 17, 49, 17, kYellow);
    p.line(1, 18, 49, 18, kGreen);
}

void bigPicture(Picture& p, const char* title, const std::vector<const char*>& paragraphs) {
    // Raised outer frame.
    const int r = PICTURE_WIDTH, b = PICTURE_HEIGHT;
    p.line(0, 0, r - 1, 0, RGB(223, 223, 223));
    p.line(0, 0, 0, b - 1, RGB(223, 223, 223));
    p.line(1, 1, r - 2, 1, kWhite);
    p.line(1, 1, 1, b - 2, kWhite);
    p.line(0, b - 1, r, b - 1, kBlack);
    p.line(r - 1, 0, r - 1, b, kBlack);
    p.line(1, b - 2, r - 1, b - 2, kGrey);
    p.line(r - 2, 1, r - 2, b - 1, kGrey);
    // Caption bar with its close box.
    p.fill(3, 3, 363, 21, kNavy);
    p.text(8, 6, gbk("Tessel 输入法"), kWhite, 12, true);
    p.fill(345, 5, 361, 19, kFace);
    p.line(345, 5, 360, 5, kWhite);
    p.line(345, 5, 345, 18, kWhite);
    p.line(345, 18, 361, 18, kBlack);
    p.line(360, 5, 360, 19, kBlack);
    for (int i = 0; i < 7; ++i) {
        p.line(349 + i, 8 + i, 351 + i, 8 + i, kBlack);
        p.line(355 - i, 8 + i, 357 - i, 8 + i, kBlack);
    }
    // White text panel in a sunken frame.
    p.fill(12, 30, 354, 300, kWhite);
    p.line(11, 29, 355, 29, kGrey);
    p.line(11, 29, 11, 301, kGrey);
    p.line(11, 300, 355, 300, kWhite);
    p.line(354, 29, 354, 301, kWhite);
    std::string t = gbk(title);
    p.text(183 - int(t.size()) * 8 / 2 * 1, 40, t, kRed, 16, true);
    int y = 70;
    for (const char* para : paragraphs) y = p.paragraph(24, y, 318, gbk(para), kBlack, 16, 22) + 8;
    // Product name, version and our contact lines.
    p.text(24, 312, gbk("Tessel 输入法 4.0"), kNavy, 16, true);
    p.text(24, 336, gbk("版本 4.0.0 (2026)  形码版 · 音形版"), kBlack, 12);
    p.text(24, 356, gbk("开发：qx project"), kBlack, 12);
    p.text(24, 374, gbk("网址：http://qx.example.org/"), kBlack, 12);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bmpgen OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = true;
    auto save = [&](Picture& p, int colours, int id) {
        if (!writeBmp(p, colours, dir + "/" + std::to_string(id) + ".bmp")) {
            std::fprintf(stderr, "bmpgen: cannot write %s/%d.bmp\n", dir.c_str(), id);
            ok = false;
        }
    };
    struct Status {
        int id;
        const char* text;
        COLORREF color;
        int height, x, y;
    } status[] = {
        {IDB_CHINESE, "中", kRed, 16, 3, 1},     {IDB_ENGLISH, "英", kRed, 16, 3, 1},
        {IDB_ASCII_PUNCT, ",.", kRed, 12, 6, 3}, {IDB_CHINESE_PUNCT, "，", kNavy, 16, 0, -2},
        {IDB_FULL_WIDTH, "全", kRed, 16, 3, 1},  {IDB_HALF_WIDTH, "半", kBlack, 16, 3, 1},
    };
    for (auto& s : status) {
        Picture p(22, 17);
        statusPicture(p, s.text, s.color, s.height, s.x, s.y);
        // The Chinese full stop shares the picture with the comma: both sit low in their
        // cells, so the stop is drawn half a cell to the right of the comma.
        if (s.id == IDB_CHINESE_PUNCT) statusPicture(p, "。", s.color, 16, 9, -2);
        save(p, 16, s.id);
    }
    {
        Picture p(50, 20);  // phonetic-shape edition: the product word and a red colon
        int w = p.text(2, 4, "Tessel", kBlack, 12, true);
        p.text(2 + w, 4, ":", kRed, 12, true);
        save(p, 256, IDB_MODE_PHONETIC);
    }
    {
        Picture p(50, 20);  // shape-code edition: the product word and a small red 形
        int w = p.text(1, 5, "Tessel", kBlack, 12);
        p.text(1 + w, 3, gbk("形"), kRed, 12);
        save(p, 256, IDB_MODE_SHAPE);
    }
    {
        Picture p(50, 20);
        int w = p.text(1, 4, "Ts", kNavy, 12, true);
        p.text(2 + w, 4, gbk("五笔"), kMaroon, 12);
        save(p, 256, IDB_MODE_WUBI);
    }
    {
        Picture p(50, 20);
        int w = p.text(1, 3, "Ts", kNavy, 12, true);
        p.text(2 + w, 3, gbk("拼音"), kBlue, 12);
        underline(p);
        save(p, 256, IDB_MODE_PINYIN);
    }
    {
        Picture p(50, 20);
        int w = p.text(1, 3, gbk("中文"), kBlue, 12);
        p.text(1 + w, 3, gbk("网址"), kRed, 12);
        underline(p);
        save(p, 256, IDB_MODE_WEB);
    }
    {
        Picture p(PICTURE_WIDTH, PICTURE_HEIGHT);
        bigPicture(p, "我有一个梦",
                   {"我有一个梦：有一天，每一个会写汉字的人都能放下手中的笔，用键盘像写字一样自然地把中文写进电脑。",
                    "字形是汉字的根本。记住字的样子就够了，不必会读，也不必背规则，敲几下键，字就出来了。",
                    "愿这支键盘上的笔，陪伴您写下的每一个字。"});
        save(p, 16, IDB_INTRO);
    }
    {
        Picture p(PICTURE_WIDTH, PICTURE_HEIGHT);
        bigPicture(p, "闪电升级",
                   {"请把您的电子邮件地址留给我们。",
                    "每当 Tessel 有了改进的新版本，我们就通过电子邮件把它寄给您：不用等待，也不用到处寻找。",
                    "您的地址只用来寄送新版本，决不转给他人。"});
        save(p, 16, IDB_UPGRADE);
    }
    {
        Picture p(PICTURE_WIDTH, PICTURE_HEIGHT);
        bigPicture(p, "特别提示!",
                   {"您现在使用的是五笔优先方式：键入的编码先按五笔字型查找。",
                    "在这种方式下，Tessel 自己的字形编码暂时不起作用。",
                    "键入 i 再键入 9，即可回到 Tessel 自己的编码。"});
        save(p, 16, IDB_WUBI_NOTE);
    }
    {
        // The about box: a two-line slogan in large blue strokes on white, the product
        // name underlined in red at the lower right.
        Picture p(ABOUT_PICTURE_WIDTH, ABOUT_PICTURE_HEIGHT);
        p.fill(0, 0, ABOUT_PICTURE_WIDTH, ABOUT_PICTURE_HEIGHT, kWhite);
        p.text(28, 26, gbk("记住字的样子，"), kBlue, 48, true);
        p.text(76, 92, gbk("敲几下就写出来"), kBlue, 48, true);
        const int nameWidth = 6 * 14;  // "Tessel" in a 28-pixel cell: 14 pixels a letter
        const int x = ABOUT_PICTURE_WIDTH - 24 - nameWidth, y = 166;
        p.text(x, y, "Tessel", kRed, 28, true);
        p.fill(x, y + 30, x + nameWidth, y + 33, kRed);
        save(p, 16, IDB_ABOUT);
    }
    return ok ? 0 : 1;
}
