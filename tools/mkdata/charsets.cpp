#include "charsets.h"

#include <iconv.h>

#include <cstdio>

namespace {

// Converts one two-byte code; 0 when the code set has no character there.
char32_t decodePair(iconv_t cd, unsigned char lead, unsigned char trail) {
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char32_t out[2] = {0, 0};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 2;
    size_t outLeft = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
    // A pair that decodes to two characters is two single bytes, not one character.
    if (inLeft != 0 || sizeof(out) - outLeft != sizeof(char32_t)) return 0;
    return out[0];
}

}  // namespace

bool loadCharSets(CharSets& sets) {
    // The table compiler encodes through GB18030, whose two-byte codes are GBK's: its
    // characters are the ones the tables can hold. GB2312 only says which positions
    // belong to the smaller set (the two converters disagree on a few marks, e.g. A1A4).
    iconv_t gb = iconv_open("UTF-32LE", "GB2312");
    iconv_t gbk = iconv_open("UTF-32LE", "GB18030");
    if (gb == reinterpret_cast<iconv_t>(-1) || gbk == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "mkdata: iconv cannot convert GB2312 or GB18030\n");
        return false;
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            char32_t c = decodePair(gbk, lead, trail);
            // Private-use positions carry no character anyone can look up.
            if (c == 0 || (c >= 0xE000 && c <= 0xF8FF) || !sets.gbkSet.insert(c).second) continue;
            sets.gbk.push_back(c);
            if (lead >= 0xA1 && trail >= 0xA1 && decodePair(gb, lead, trail) != 0) {
                sets.gb2312.insert(c);
                if (lead >= 0xB0) sets.gb2312Hanzi.push_back(c);
            }
        }
    }
    iconv_close(gb);
    iconv_close(gbk);
    return !sets.gb2312Hanzi.empty() && !sets.gbk.empty();
}

bool decodeUtf8(std::string_view text, std::u32string& out) {
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        int extra;
        char32_t c;
        if (b < 0x80) {
            extra = 0;
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size() && extra > 0) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        out.push_back(c);
        i += extra + 1;
    }
    return true;
}

std::string encodeUtf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (c >> 6)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | (c >> 12)));
        s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xF0 | (c >> 18)));
        s.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return s;
}

std::string encodeUtf8(std::u32string_view text) {
    std::string s;
    for (char32_t c : text) s += encodeUtf8(c);
    return s;
}

bool allIn(std::u32string_view text, const std::unordered_set<char32_t>& set) {
    for (char32_t c : text)
        if (!set.count(c)) return false;
    return !text.empty();
}

bool isHanzi(char32_t c) {
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0x20000 && c <= 0x3134F);
}
