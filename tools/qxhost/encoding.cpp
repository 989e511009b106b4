// Conversions through iconv, byte by byte past anything it cannot convert.
#include "encoding.h"

#include <iconv.h>

#include <cerrno>

static std::string convert(std::string_view input, const char* from, const char* to, const char* replacement) {
    std::string output;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done = iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<size_t>(out - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            output += replacement;  // skip one byte and carry on
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return output;
}

std::string gbkToUtf8(std::string_view gbk) { return convert(gbk, "GBK", "UTF-8", "\xEF\xBF\xBD"); }

std::string utf8ToGbk(std::string_view utf8) { return convert(utf8, "UTF-8", "GBK", "?"); }
