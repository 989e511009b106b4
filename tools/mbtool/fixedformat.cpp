#include "fixedformat.h"

#include "gbktext.h"
#include "packedformat.h"

#include <array>

namespace {
constexpr uint32_t kHeader = 116;
constexpr uint32_t kRecord = 6;
}  // namespace

bool buildFixedTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                     std::vector<uint8_t>& table, std::string& error) {
    std::array<std::vector<uint8_t>, 28> buckets;
    for (const SourceLine& line : lines) {
        if (!checkCode(line, error)) return false;
        std::string gbk;
        if (!utf8ToGbk(line.text, gbk) || gbk.size() != 2 || !isDoubleByteText(gbk)) {
            if (options.skipUnencodable) {
                ++options.skipped;
                continue;
            }
            error = lineMessage(line, "text is not one GBK character: " + line.text);
            return false;
        }
        auto& bucket = buckets[packedBucket(line.code[0])];
        std::string code = line.code;
        code.resize(4, ' ');
        bucket.insert(bucket.end(), code.begin(), code.end());
        bucket.insert(bucket.end(), gbk.begin(), gbk.end());
    }
    table.assign(kHeader, 0);
    for (int k = 0; k < 28; ++k) {
        putU32(table, 4 * k, static_cast<uint32_t>(buckets[k].size() / kRecord));
        table.insert(table.end(), buckets[k].begin(), buckets[k].end());
    }
    return true;
}

bool decodeFixedTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                      TableFault& fault) {
    auto fail = [&](uint64_t at, std::string message) {
        fault = {static_cast<uint32_t>(at), std::move(message)};
        return false;
    };
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz;/";
    if (table.size() < kHeader) return fail(0, "table shorter than its 116-byte header");
    uint64_t at = kHeader;
    for (int k = 0; k < 28; ++k) {
        uint32_t count = getU32(&table[4 * k]);
        if (count > (table.size() - at) / kRecord) return fail(4 * k, "bucket runs past the end of the table");
        for (uint32_t r = 0; r < count; ++r, at += kRecord) {
            const uint8_t* rec = &table[at];
            size_t length = 0;
            while (length < 4 && rec[length] != ' ') ++length;
            for (size_t i = length; i < 4; ++i)
                if (rec[i] != ' ') return fail(at + i, "code letter after the padding");
            if (length == 0) return fail(at, "empty code");
            if (rec[0] != static_cast<uint8_t>(kLetters[k]))
                return fail(at, "code does not begin with its bucket's letter");
            for (size_t i = 1; i < length; ++i)
                if (packedBucket(static_cast<char>(rec[i])) < 0)
                    return fail(at + i, "code letter outside a-z ; /");
            if (!isGbk(rec[4], rec[5])) return fail(at + 4, "character is no GBK code");
            entries.push_back({std::string(reinterpret_cast<const char*>(rec), length),
                               std::string(reinterpret_cast<const char*>(rec + 4), 2)});
        }
    }
    if (at != table.size()) return fail(at, "bytes after the last bucket");
    return true;
}
