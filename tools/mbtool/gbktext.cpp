// GB18030 is used as the converter's code page: its two-byte codes are exactly GBK's and
// it names the few GBK codes that the plain GBK converter leaves unmapped, so every
// table byte pair survives a dump and a rebuild. Four-byte GB18030 results are refused.
#include "gbktext.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

bool convert(const char* to, const char* from, std::string_view in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = buffer.data();
    size_t dstLeft = buffer.size();
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    bool ok = rc != static_cast<size_t>(-1) && srcLeft == 0;
    // Irreversible conversions are substitutions: they would change the text.
    if (ok && rc != 0) ok = false;
    if (ok) ok = iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return false;
    out.assign(buffer.data(), buffer.size() - dstLeft);
    return true;
}

}  // namespace

bool isGbk(unsigned char lead, unsigned char trail) {
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

bool isGb2312(unsigned char lead, unsigned char trail) {
    bool row = (lead >= 0xA1 && lead <= 0xA9) || (lead >= 0xB0 && lead <= 0xF7);
    return row && trail >= 0xA1 && trail <= 0xFE;
}

bool utf8ToGbk(std::string_view utf8, std::string& gbk) {
    std::string out;
    if (!convert("GB18030", "UTF-8", utf8, out)) return false;
    // Walk the result: ASCII single bytes and GBK pairs only.
    for (size_t i = 0; i < out.size();) {
        auto b = static_cast<unsigned char>(out[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (i + 1 >= out.size() || !isGbk(b, static_cast<unsigned char>(out[i + 1]))) return false;
        i += 2;
    }
    gbk = std::move(out);
    return true;
}

bool gbkToUtf8(std::string_view gbk, std::string& utf8) {
    for (size_t i = 0; i < gbk.size();) {
        auto b = static_cast<unsigned char>(gbk[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (i + 1 >= gbk.size() || !isGbk(b, static_cast<unsigned char>(gbk[i + 1]))) return false;
        i += 2;
    }
    return convert("UTF-8", "GB18030", gbk, utf8);
}

bool isDoubleByteText(std::string_view gbk) {
    if (gbk.empty() || gbk.size() % 2 != 0) return false;
    for (size_t i = 0; i < gbk.size(); i += 2)
        if (!isGbk(static_cast<unsigned char>(gbk[i]), static_cast<unsigned char>(gbk[i + 1])))
            return false;
    return true;
}
