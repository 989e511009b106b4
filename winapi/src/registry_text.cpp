// Text form of registry names and values (see registry_text.h).
#include "registry_text.h"

#include "winapi/registry.h"

#include <cstdio>
#include <cstring>
#include <iconv.h>

namespace registryText {
namespace {

// One converter per direction and thread; iconv state is not shared between threads.
struct Converter {
    iconv_t cd;
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    bool run(const std::string& in, std::string* out) {
        if (cd == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::string buffer(in.size() * 4 + 8, '\0');
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft)
            return false;
        buffer.resize(buffer.size() - dstLeft);
        *out = buffer;
        return true;
    }
};

bool gbkCharToUtf8(const std::string& gbk, std::string* utf8) {
    thread_local Converter toUtf8("UTF-8", "GBK");
    thread_local Converter back("GBK", "UTF-8");
    std::string check;
    return toUtf8.run(gbk, utf8) && back.run(*utf8, &check) && check == gbk;
}

bool isLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool isTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string hexByte(unsigned char c, const char* prefix) {
    char buffer[8];
    snprintf(buffer, sizeof buffer, "%s%02X", prefix, c);
    return buffer;
}

// Shared display walk: `escape` decides which printable ASCII bytes need escaping.
template <typename Escape>
std::string display(const std::string& gbk, const char* prefix, Escape escape) {
    std::string out;
    for (size_t i = 0; i < gbk.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        if (c >= 0x20 && c < 0x7F) {
            if (!escape(c)) out += static_cast<char>(c);
            else if (prefix[0] == '\\') out += std::string("\\") + static_cast<char>(c);
            else out += hexByte(c, prefix);
            continue;
        }
        if (isLead(c) && i + 1 < gbk.size() && isTrail(static_cast<unsigned char>(gbk[i + 1]))) {
            std::string utf8;
            if (gbkCharToUtf8(gbk.substr(i, 2), &utf8)) {
                out += utf8;
                ++i;
                continue;
            }
        }
        out += hexByte(c, prefix);
    }
    return out;
}

size_t utf8Length(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return 2;
    if (c >= 0xE0 && c <= 0xEF) return 3;
    if (c >= 0xF0 && c <= 0xF4) return 4;
    return 0;
}

// Reverse of display: escapes start with `prefix` followed by two hex digits;
// multi-byte UTF-8 goes back to GBK.
bool parseDisplay(const std::string& text, char prefix, bool quotedForm, std::string* gbk) {
    gbk->clear();
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (quotedForm && c == '\\') {
            if (i + 1 >= text.size()) return false;
            char next = text[i + 1];
            if (next == '\\' || next == '"') {
                *gbk += next;
                i += 2;
                continue;
            }
            if (next != 'x' || i + 3 >= text.size()) return false;
            int hi = hexValue(text[i + 2]), lo = hexValue(text[i + 3]);
            if (hi < 0 || lo < 0) return false;
            *gbk += static_cast<char>(hi * 16 + lo);
            i += 4;
            continue;
        }
        if (!quotedForm && c == static_cast<unsigned char>(prefix)) {
            if (i + 2 >= text.size()) return false;
            int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            *gbk += static_cast<char>(hi * 16 + lo);
            i += 3;
            continue;
        }
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F || (quotedForm && c == '"')) return false;
            *gbk += static_cast<char>(c);
            ++i;
            continue;
        }
        size_t n = utf8Length(c);
        if (!n || i + n > text.size()) return false;
        std::string converted;
        if (!fromUtf8(text.substr(i, n), &converted)) return false;
        *gbk += converted;
        i += n;
    }
    return true;
}

const struct {
    DWORD type;
    const char* name;
} stringTypes[] = {{REG_SZ, "sz"}, {REG_EXPAND_SZ, "expand_sz"}};

}  // namespace

std::string toUtf8(const std::string& gbk) {
    return display(gbk, "\\x", [](unsigned char) { return false; });
}

bool fromUtf8(const std::string& utf8, std::string* gbk) {
    thread_local Converter convert("GBK", "UTF-8");
    return convert.run(utf8, gbk);
}

std::string quoted(const std::string& gbk) {
    return "\"" + display(gbk, "\\x", [](unsigned char c) { return c == '\\' || c == '"'; }) +
           "\"";
}

std::string formatKeyName(const std::string& gbk) {
    return display(gbk, "%", [](unsigned char c) { return c == '%' || c == '\\'; });
}

bool unquote(const std::string& text, std::string* gbk) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    return parseDisplay(text.substr(1, text.size() - 2), '\\', true, gbk);
}

bool parseKeyPath(const std::string& text, std::vector<std::string>* parts) {
    parts->clear();
    size_t start = 0;
    while (true) {
        size_t slash = text.find('\\', start);
        std::string piece = text.substr(start, slash == std::string::npos ? slash : slash - start);
        std::string name;
        if (piece.empty() || !parseDisplay(piece, '%', false, &name)) return false;
        parts->push_back(name);
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

std::string formatValueLine(const std::string& name, DWORD type, const std::string& data) {
    std::string line = name.empty() ? "@" : quoted(name);
    line += "=";
    if (type == REG_DWORD && data.size() == 4) {
        DWORD v;
        memcpy(&v, data.data(), 4);
        char buffer[16];
        snprintf(buffer, sizeof buffer, "dword:%08x", v);
        return line + buffer;
    }
    for (const auto& t : stringTypes) {
        // Only a string stored with exactly one zero at its end is written as text,
        // so the bytes read back are the bytes stored.
        if (type == t.type && !data.empty() && data.back() == 0 &&
            data.find('\0') == data.size() - 1)
            return line + t.name + ":" + quoted(data.substr(0, data.size() - 1));
    }
    line += "hex(" + std::to_string(type) + "):";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) line += ",";
        line += hexByte(static_cast<unsigned char>(data[i]), "");
    }
    return line;
}

bool parseValueLine(const std::string& line, std::string* name, DWORD* type, std::string* data) {
    size_t equals;
    if (line.compare(0, 2, "@=") == 0) {
        name->clear();
        equals = 1;
    } else {
        if (line.empty() || line[0] != '"') return false;
        // The name ends at the first quote that no backslash escapes.
        size_t i = 1;
        while (i < line.size() && line[i] != '"') i += line[i] == '\\' ? 2 : 1;
        if (i >= line.size() || !unquote(line.substr(0, i + 1), name)) return false;
        equals = i + 1;
        if (equals >= line.size() || line[equals] != '=') return false;
    }
    std::string rest = line.substr(equals + 1);
    if (rest.compare(0, 6, "dword:") == 0) {
        std::string digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        DWORD v = 0;
        for (char c : digits) {
            int h = hexValue(c);
            if (h < 0) return false;
            v = v * 16 + static_cast<DWORD>(h);
        }
        *type = REG_DWORD;
        data->assign(reinterpret_cast<const char*>(&v), 4);
        return true;
    }
    for (const auto& t : stringTypes) {
        std::string prefix = std::string(t.name) + ":";
        if (rest.compare(0, prefix.size(), prefix) == 0) {
            if (!unquote(rest.substr(prefix.size()), data)) return false;
            *type = t.type;
            *data += '\0';
            return true;
        }
    }
    if (rest.compare(0, 4, "hex(") != 0) return false;
    size_t close = rest.find("):");
    if (close == std::string::npos || close == 4 || close > 14) return false;
    uint64_t t = 0;
    for (size_t i = 4; i < close; ++i) {
        if (rest[i] < '0' || rest[i] > '9') return false;
        t = t * 10 + static_cast<uint64_t>(rest[i] - '0');
    }
    if (t > 0xFFFFFFFFu) return false;
    std::string bytes;
    std::string list = rest.substr(close + 2);
    for (size_t i = 0; i < list.size();) {
        if (i + 2 > list.size()) return false;
        int hi = hexValue(list[i]), lo = hexValue(list[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes += static_cast<char>(hi * 16 + lo);
        i += 2;
        if (i < list.size()) {
            if (list[i] != ',') return false;
            ++i;
            if (i == list.size()) return false;
        }
    }
    *type = static_cast<DWORD>(t);
    *data = bytes;
    return true;
}

}  // namespace registryText
