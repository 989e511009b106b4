#include "packedformat.h"

#include "gbktext.h"

#include "shapecode/packedrecord.h"

#include <array>

namespace {

constexpr uint32_t kHeader = packed::HEADER_SIZE;

bool encodeRecord(const SourceLine& line, const std::string& gbk, std::vector<uint8_t>& out,
                  std::string& error) {
    const std::string& code = line.code;
    unsigned c2 = code.size() > 1 ? packed::letterValue(code[1]) : 0;
    unsigned c3 = code.size() > 2 ? packed::letterValue(code[2]) : 0;
    unsigned c4 = code.size() > 3 ? packed::letterValue(code[3]) : 0;
    size_t n = gbk.size() / 2;
    bool phrase = n > 1;
    if (n > packed::PHRASE_MAX) {
        error = lineMessage(line, "phrase longer than 15 characters");
        return false;
    }
    out.push_back(packed::codeByteP(c2, c4));
    out.push_back(packed::codeByteQ(c3, c4, phrase));
    size_t start = out.size();
    for (char b : gbk) out.push_back(static_cast<uint8_t>(b) & 0x7F);
    if (phrase) packed::markPhraseLength(&out[start], static_cast<unsigned>(n));
    return true;
}

}  // namespace

int packedBucket(char letter) { return packed::bucketOf(letter); }

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
    std::array<std::vector<uint8_t>, packed::BUCKETS> buckets;
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
    for (int k = 0; k < packed::BUCKETS; ++k) {
        putU32(table, 4 * k, offset);
        table.insert(table.end(), buckets[k].begin(), buckets[k].end());
        offset += static_cast<uint32_t>(buckets[k].size());
    }
    putU32(table, 4 * packed::BUCKETS, offset);
    return true;
}

bool decodePackedTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                       TableFault& fault) {
    auto fail = [&](uint32_t at, std::string message) {
        fault = {at, std::move(message)};
        return false;
    };
    if (table.size() < kHeader) return fail(0, "table shorter than its 116-byte header");
    uint32_t offsets[packed::BUCKETS + 1];
    for (int k = 0; k <= packed::BUCKETS; ++k) offsets[k] = getU32(&table[4 * k]);
    uint64_t body = table.size() - kHeader;
    if (offsets[0] != 0) return fail(0, "first bucket does not start after the header");
    for (int k = 1; k <= packed::BUCKETS; ++k)
        if (offsets[k] < offsets[k - 1]) return fail(4 * k, "bucket offsets decrease");
    const uint32_t bodyEnd = offsets[packed::BUCKETS];
    if (bodyEnd > body) return fail(4 * packed::BUCKETS, "buckets run past the end of the table");
    if (bodyEnd < body) return fail(kHeader + bodyEnd, "bytes after the last bucket");

    for (int k = 0; k < packed::BUCKETS; ++k) {
        uint32_t at = kHeader + offsets[k];
        uint32_t end = kHeader + offsets[k + 1];
        while (at < end) {
            if (end - at < 4) return fail(at, "record runs past its bucket");
            uint8_t p = table[at], q = table[at + 1];
            unsigned c2 = packed::secondLetter(p, q), c3 = packed::thirdLetter(p, q);
            unsigned c4 = packed::fourthLetter(p, q);
            if (c2 > 28 || c3 > 28 || c4 > 28) return fail(at, "code letter value above 28");
            if ((c2 == 0 && c3 != 0) || (c3 == 0 && c4 != 0))
                return fail(at, "gap inside the code");
            bool phrase = packed::isPhrase(q);
            unsigned n = 1;
            if (phrase) {
                if (end - at < packed::PHRASE_HEADER_SIZE) return fail(at, "record runs past its bucket");
                n = packed::phraseLength(&table[at + 2]);
                if (n < packed::PHRASE_MIN) return fail(at, "phrase length below 2");
                if (end - at < packed::recordSize(n)) return fail(at, "record runs past its bucket");
            }
            TableEntry entry;
            entry.code.push_back(packed::LETTERS[k]);
            for (unsigned v : {c2, c3, c4})
                if (v) entry.code.push_back(packed::letterOf(v));
            for (size_t i = 0; i < 2 * n; ++i)
                entry.text.push_back(static_cast<char>(table[at + 2 + i] | 0x80));
            for (size_t i = 0; i < 2 * n; i += 2)
                if (!isGbk(static_cast<unsigned char>(entry.text[i]),
                           static_cast<unsigned char>(entry.text[i + 1])))
                    return fail(at + 2 + i, "character is no GBK code");
            entries.push_back(std::move(entry));
            at += packed::recordSize(n);
        }
    }
    return true;
}
