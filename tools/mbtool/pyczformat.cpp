#include "pyczformat.h"

#include "gbktext.h"

#include <array>

namespace {

constexpr uint32_t kHeader = 104;
constexpr uint32_t kRecord = 60;
constexpr uint32_t kField = 30;

// A field's content: up to its first double space, trailing spaces dropped.
std::string fieldContent(const uint8_t* field) {
    std::string s(reinterpret_cast<const char*>(field), kField);
    size_t cut = s.find("  ");
    if (cut != std::string::npos) s.resize(cut);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::vector<std::string> splitSyllables(const std::string& pinyin) {
    std::vector<std::string> out;
    std::string current;
    for (char c : pinyin) {
        if (c == ' ' || c == '\'') {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

bool validPinyin(const std::string& s) {
    if (s.empty() || s.size() > kField || s.front() == ' ' || s.back() == ' ') return false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ' ') {
            if (s[i + 1] == ' ') return false;
        } else if (s[i] < 'a' || s[i] > 'z') {
            return false;
        }
    }
    return true;
}

}  // namespace

bool buildPyczTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                    std::vector<uint8_t>& table, std::string& error) {
    std::array<std::vector<uint8_t>, 26> groups;
    for (const SourceLine& line : lines) {
        if (!validPinyin(line.code)) {
            error = lineMessage(line, "pinyin must be syllables a-z separated by single spaces, at most 30 bytes");
            return false;
        }
        std::string gbk;
        if (!utf8ToGbk(line.text, gbk) || !isDoubleByteText(gbk) || gbk.size() > kField) {
            if (options.skipUnencodable) {
                ++options.skipped;
                continue;
            }
            error = lineMessage(line, "phrase is not 1 to 15 GBK characters: " + line.text);
            return false;
        }
        auto& group = groups[line.code[0] - 'a'];
        std::string pinyin = line.code;
        pinyin.resize(kField, ' ');
        gbk.resize(kField, ' ');
        group.insert(group.end(), pinyin.begin(), pinyin.end());
        group.insert(group.end(), gbk.begin(), gbk.end());
    }
    table.assign(kHeader, 0);
    for (int k = 0; k < 26; ++k) {
        putU32(table, 4 * k, static_cast<uint32_t>(groups[k].size() / kRecord));
        table.insert(table.end(), groups[k].begin(), groups[k].end());
    }
    table.push_back('1');
    table.insert(table.end(), kRecord - 1, ' ');
    return true;
}

bool decodePyczTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                     TableFault& fault) {
    auto fail = [&](uint64_t at, std::string message) {
        fault = {static_cast<uint32_t>(at), std::move(message)};
        return false;
    };
    if (table.size() < kHeader) return fail(0, "table shorter than its 104-byte header");
    uint64_t at = kHeader;
    for (int k = 0; k < 26; ++k) {
        uint32_t count = getU32(&table[4 * k]);
        if (count > (table.size() - at) / kRecord) return fail(4 * k, "letter's records run past the end of the table");
        for (uint32_t r = 0; r < count; ++r, at += kRecord) {
            const uint8_t* rec = &table[at];
            std::string pinyin = fieldContent(rec);
            std::string phrase = fieldContent(rec + kField);
            if (!validPinyin(pinyin)) return fail(at, "pinyin is not syllables a-z separated by single spaces");
            if (pinyin[0] != 'a' + k) return fail(at, "record stands under another letter's count");
            if (!isDoubleByteText(phrase)) return fail(at + kField, "phrase is not GBK characters");
            // Bytes hidden behind a double space would be lost by every reader.
            for (uint32_t i = static_cast<uint32_t>(pinyin.size()); i < kField; ++i)
                if (rec[i] != ' ') return fail(at + i, "bytes after the end of the pinyin");
            for (uint32_t i = static_cast<uint32_t>(phrase.size()); i < kField; ++i)
                if (rec[kField + i] != ' ') return fail(at + kField + i, "bytes after the end of the phrase");
            entries.push_back({pinyin, phrase});
        }
    }
    if (at == table.size()) return true;
    if (table.size() - at != kRecord || table[at] != '1') return fail(at, "bytes after the last record");
    return true;
}

void lookupPycz(std::span<const uint8_t> table, const std::string& pinyin, std::string& exact,
                std::string& completions) {
    std::vector<std::string> typed = splitSyllables(pinyin);
    if (typed.empty() || typed[0][0] < 'a' || typed[0][0] > 'z' || table.size() < kHeader) return;
    int letter = typed[0][0] - 'a';
    // Skip the records of the earlier letters, as the pinyin engine does.
    uint64_t at = kHeader;
    for (int k = 0; k < letter; ++k) at += uint64_t{getU32(&table[4 * k])} * kRecord;
    for (; at + kRecord <= table.size(); at += kRecord) {
        const uint8_t* rec = &table[at];
        if (rec[0] != typed[0][0] || rec[0] == '1') break;
        std::vector<std::string> syllables = splitSyllables(fieldContent(rec));
        if (syllables.size() < typed.size()) continue;
        bool prefix = true, same = syllables.size() == typed.size();
        for (size_t j = 0; j < typed.size() && prefix; ++j) {
            prefix = syllables[j].compare(0, typed[j].size(), typed[j]) == 0;
            same = same && syllables[j] == typed[j];
        }
        if (!prefix) continue;
        std::string& out = same ? exact : completions;
        out += fieldContent(rec + kField);
        out.push_back(' ');
    }
}
