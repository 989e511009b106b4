#include "packedformat.h"

#include "gbktext.h"

#include <array>

namespace {

constexpr uint32_t kHeader = 116;
constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz;/";

// 5-bit letter value: 1-26 a-z, 27 ';', 28 '/'.
uint8_t letterValue(char c) { return static_cast<uint8_t>(packedBucket(c) + 1); }

char letterOf(unsigned value) { return kLetters[value - 1]; }

struct Pending {
    int bucket;
    std::vector<uint8_t> bytes;
};

bool encodeRecord(const SourceLine& line, const std::string& gbk, std::vector<uint8_t>& out,
                  std::string& error) {
    const std::string& code = line.code;
    uint8_t c2 = code.size() > 1 ? letterValue(code[1]) : 0;
    uint8_t c3 = code.size() > 2 ? letterValue(code[2]) : 0;
    uint8_t c4 = code.size() > 3 ? letterValue(code[3]) : 0;
    size_t n = gbk.size() / 2;
    bool phrase = n > 1;
    if (n > 15) {
        error = lineMessage(line, "phrase longer than 15 characters");
        return false;
    }
    out.push_back(static_cast<uint8_t>(c2 | ((c4 >> 2) << 5)));
    out.push_back(static_cast<uint8_t>(c3 | (phrase ? 0x20 : 0) | ((c4 & 3) << 6)));
    size_t start = out.size();
    for (char b : gbk) out.push_back(static_cast<uint8_t>(b) & 0x7F);
    if (phrase) {
        // The character count rides in bit 7 of the first four text bytes, 8-4-2-1.
        for (int i = 0; i < 4; ++i)
            if (n & (8u >> i)) out[start + i] |= 0x80;
    }
    return true;
}

}  // namespace

int packedBucket(char letter) {
    if (letter >= 'a' && letter <= 'z') return letter - 'a';
    if (letter == ';') return 26;
    if (letter == '/') return 27;
    return -1;
}

bool checkCode(const SourceLine& line, std::string& error) {
    if (line.code.empty() || line.code.size() > 4) {
        error = lineMessage(line, "code must have 1 to 4 letters");
        return false;
    }
    for (char c : line.code)
        if (packedBucket(c) < 0) {
            error = lineMessage(line, "code letter outside a-z ; /");
            return false;
        }
    return true;
}

bool buildPackedTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                      std::vector<uint8_t>& table, std::string& error) {
    std::array<std::vector<uint8_t>, 28> buckets;
    for (const SourceLine& line : lines) {
        if (!checkCode(line, error)) return false;
        std::string gbk;
        bool encodable = utf8ToGbk(line.text, gbk) && isDoubleByteText(gbk);
        for (size_t i = 0; encodable && i < gbk.size(); i += 2)
            encodable = isGb2312(static_cast<unsigned char>(gbk[i]),
                                 static_cast<unsigned char>(gbk[i + 1]));
        if (!encodable) {
            if (options.skipUnencodable) {
                ++options.skipped;
                continue;
            }
            error = lineMessage(line, "text is not GB2312 Chinese characters: " + line.text);
            return false;
        }
        if (!encodeRecord(line, gbk, buckets[packedBucket(line.code[0])], error)) return false;
    }
    table.assign(kHeader, 0);
    uint32_t offset = 0;
    for (int k = 0; k < 28; ++k) {
        putU32(table, 4 * k, offset);
        table.insert(table.end(), buckets[k].begin(), buckets[k].end());
        offset += static_cast<uint32_t>(buckets[k].size());
    }
    putU32(table, 4 * 28, offset);
    return true;
}

bool decodePackedTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                       TableFault& fault) {
    auto fail = [&](uint32_t at, std::string message) {
        fault = {at, std::move(message)};
        return false;
    };
    if (table.size() < kHeader) return fail(0, "table shorter than its 116-byte header");
    uint32_t offsets[29];
    for (int k = 0; k < 29; ++k) offsets[k] = getU32(&table[4 * k]);
    uint64_t body = table.size() - kHeader;
    if (offsets[0] != 0) return fail(0, "first bucket does not start after the header");
    for (int k = 1; k < 29; ++k)
        if (offsets[k] < offsets[k - 1]) return fail(4 * k, "bucket offsets decrease");
    if (offsets[28] > body) return fail(4 * 28, "buckets run past the end of the table");
    if (offsets[28] < body) return fail(kHeader + offsets[28], "bytes after the last bucket");

    for (int k = 0; k < 28; ++k) {
        uint32_t at = kHeader + offsets[k];
        uint32_t end = kHeader + offsets[k + 1];
        while (at < end) {
            if (end - at < 4) return fail(at, "record runs past its bucket");
            uint8_t p = table[at], q = table[at + 1];
            unsigned c2 = p & 0x1F, c3 = q & 0x1F;
            unsigned c4 = ((p >> 5) << 2) | (q >> 6);
            if (c2 > 28 || c3 > 28 || c4 > 28) return fail(at, "code letter value above 28");
            if ((c2 == 0 && c3 != 0) || (c3 == 0 && c4 != 0))
                return fail(at, "gap inside the code");
            bool phrase = q & 0x20;
            size_t n = 1;
            if (phrase) {
                if (end - at < 6) return fail(at, "record runs past its bucket");
                n = ((table[at + 2] >> 7) << 3) | ((table[at + 3] >> 7) << 2) |
                    ((table[at + 4] >> 7) << 1) | (table[at + 5] >> 7);
                if (n < 2) return fail(at, "phrase length below 2");
                if (end - at < 2 + 2 * n) return fail(at, "record runs past its bucket");
            }
            TableEntry entry;
            entry.code.push_back(kLetters[k]);
            for (unsigned v : {c2, c3, c4})
                if (v) entry.code.push_back(letterOf(v));
            for (size_t i = 0; i < 2 * n; ++i)
                entry.text.push_back(static_cast<char>(table[at + 2 + i] | 0x80));
            for (size_t i = 0; i < 2 * n; i += 2)
                if (!isGbk(static_cast<unsigned char>(entry.text[i]),
                           static_cast<unsigned char>(entry.text[i + 1])))
                    return fail(at + 2 + i, "character is no GBK code");
            entries.push_back(std::move(entry));
            at += static_cast<uint32_t>(2 + 2 * n);
        }
    }
    return true;
}
