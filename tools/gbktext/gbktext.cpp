#include "gbktext.h"

#include <iconv.h>

#include <algorithm>
#include <vector>

namespace {

// One open converter for a whole call; converting many short pieces pays for it once.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (open()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool open() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Appends the whole of `in`, converted, to out; false when any of it does not convert
    // exactly (irreversible conversions are substitutions: they would change the text).
    bool append(std::string_view in, std::string& out) {
        if (!open()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::vector<char> buffer(in.size() * 4 + 16);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        const size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
        bool ok = rc == 0 && srcLeft == 0;
        if (ok) ok = iconv(cd_, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
        if (ok) out.append(buffer.data(), buffer.size() - dstLeft);
        return ok;
    }

private:
    iconv_t cd_;
};

// Length of the UTF-8 character that starts with `lead`, 1 for a stray byte.
size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

// Length of the GBK character at the start of text, 0 when none starts there.
size_t gbkLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return 1;
    return text.size() >= 2 && isGbk(lead, static_cast<unsigned char>(text[1])) ? 2 : 0;
}

// True when the GB18030 bytes are ASCII and two-byte codes only.
bool onlyGbk(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = gbkLength(text.substr(i));
        if (n == 0) return false;
        i += n;
    }
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
    if (!Converter("GB18030", "UTF-8").append(utf8, out) || !onlyGbk(out)) return false;
    gbk = std::move(out);
    return true;
}

bool gbkToUtf8(std::string_view gbk, std::string& utf8) {
    std::string out;
    if (!onlyGbk(gbk) || !Converter("UTF-8", "GB18030").append(gbk, out)) return false;
    utf8 = std::move(out);
    return true;
}

std::string gbkToUtf8(std::string_view gbk) {
    Converter converter("UTF-8", "GB18030");
    std::string out;
    size_t run = 0;  // start of the text not yet converted
    auto flush = [&](size_t end) {
        if (end > run && !converter.append(gbk.substr(run, end - run), out)) out += "\xEF\xBF\xBD";
    };
    for (size_t i = 0; i < gbk.size();) {
        const size_t n = gbkLength(gbk.substr(i));
        if (n > 0) {
            i += n;
            continue;
        }
        flush(i);
        out += "\xEF\xBF\xBD";
        run = ++i;
    }
    flush(gbk.size());
    return out;
}

std::string utf8ToGbk(std::string_view utf8) {
    Converter converter("GB18030", "UTF-8");
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const size_t n = std::min(utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        std::string one;
        if (converter.append(utf8.substr(i, n), one)) {
            out += onlyGbk(one) ? one : "?";
            i += n;
        } else {
            out += '?';  // a byte that starts no character; what follows is read afresh
            ++i;
        }
    }
    return out;
}

bool isDoubleByteText(std::string_view gbk) {
    if (gbk.empty() || gbk.size() % 2 != 0) return false;
    for (size_t i = 0; i < gbk.size(); i += 2)
        if (!isGbk(static_cast<unsigned char>(gbk[i]), static_cast<unsigned char>(gbk[i + 1])))
            return false;
    return true;
}
