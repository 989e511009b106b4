#include "pymbformat.h"

#include "gbktext.h"

#include <algorithm>

namespace {

constexpr size_t kSyllable = 8;

bool validSyllable(const std::string& s) {
    if (s.empty() || s.size() > kSyllable) return false;
    for (char c : s)
        if (c < 'a' || c > 'z') return false;
    return true;
}

}  // namespace

bool buildPymbTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                    std::vector<uint8_t>& table, std::string& error) {
    table.clear();
    std::vector<std::string> seen;
    std::string current;
    for (const SourceLine& line : lines) {
        if (!validSyllable(line.code)) {
            error = lineMessage(line, "syllable must be 1 to 8 letters a-z");
            return false;
        }
        if (line.code != current) {
            for (const std::string& s : seen)
                if (s == line.code) {
                    error = lineMessage(line, "syllable " + line.code + " given again after others");
                    return false;
                }
            // The reader stops at the first header of another letter, so each letter's
            // syllables must stand together.
            if (!current.empty() && line.code[0] != current[0])
                for (const std::string& s : seen)
                    if (s[0] == line.code[0]) {
                        error = lineMessage(line, "syllables of letter " + line.code.substr(0, 1) +
                                                      " are not grouped together");
                        return false;
                    }
            seen.push_back(line.code);
            current = line.code;
            table.push_back('1');
            table.push_back('1');
            std::string padded = line.code;
            padded.resize(kSyllable, ' ');
            table.insert(table.end(), padded.begin(), padded.end());
        }
        // Character by character so that one unencodable character costs only itself.
        std::string text = line.text;
        size_t i = 0;
        while (i < text.size()) {
            size_t len = 1;
            auto b = static_cast<unsigned char>(text[i]);
            if (b >= 0xF0) len = 4;
            else if (b >= 0xE0) len = 3;
            else if (b >= 0xC0) len = 2;
            std::string one;
            std::string utf8 = text.substr(i, len);
            i += len;
            if (!utf8ToGbk(utf8, one) || !isDoubleByteText(one)) {
                if (options.skipUnencodable) {
                    ++options.skipped;
                    continue;
                }
                error = lineMessage(line, "not a GBK character: " + utf8);
                return false;
            }
            table.insert(table.end(), one.begin(), one.end());
        }
    }
    table.push_back('3');
    table.push_back('3');
    return true;
}

bool decodePymbTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                     TableFault& fault) {
    auto fail = [&](size_t at, std::string message) {
        fault = {static_cast<uint32_t>(at), std::move(message)};
        return false;
    };
    std::string lettersDone;
    size_t at = 0;
    while (true) {
        if (at + 2 > table.size()) return fail(at, "table ends without its end mark");
        uint8_t a = table[at], b = table[at + 1];
        if (a == '3') {
            if (b != '3') return fail(at, "end mark is not \"33\"");
            if (at + 2 != table.size()) return fail(at + 2, "bytes after the end mark");
            return true;
        }
        if (a == '1') {
            if (b != '1') return fail(at, "header mark is not \"11\"");
            if (at + 2 + kSyllable > table.size()) return fail(at, "header runs past the end");
            std::string syllable(reinterpret_cast<const char*>(&table[at + 2]), kSyllable);
            syllable.erase(syllable.find_last_not_of(' ') + 1);
            if (!validSyllable(syllable)) return fail(at + 2, "syllable is not 1 to 8 letters a-z");
            // The builder writes each syllable once; a second header of it is no table it made.
            for (const TableEntry& e : entries)
                if (e.code == syllable) return fail(at + 2, "syllable " + syllable + " given again");
            if (!entries.empty() && entries.back().code[0] != syllable[0]) {
                if (lettersDone.find(syllable[0]) != std::string::npos)
                    return fail(at, "syllables of one letter are not grouped together");
                lettersDone.push_back(entries.back().code[0]);
            }
            entries.push_back({syllable, {}});
            at += 2 + kSyllable;
            continue;
        }
        if (entries.empty()) return fail(at, "character before the first header");
        if (!isGbk(a, b)) return fail(at, "unit is neither a mark nor a GBK character");
        entries.back().text.push_back(static_cast<char>(a));
        entries.back().text.push_back(static_cast<char>(b));
        at += 2;
    }
}

void lookupPymb(std::span<const uint8_t> table, const std::string& syllable, std::string& exact,
                std::string& completions) {
    if (syllable.empty()) return;
    size_t at = 0;
    // The first header whose syllable begins with the searched letter.
    bool inGroup = false;
    bool matching = false, equal = false;
    while (at + 2 <= table.size()) {
        uint8_t a = table[at], b = table[at + 1];
        if (a == '3') break;
        if (a == '1' && (inGroup || b == '1')) {
            if (at + 2 + kSyllable > table.size()) break;
            std::string s(reinterpret_cast<const char*>(&table[at + 2]), kSyllable);
            s.erase(std::min(s.find(' '), s.size()));
            at += 2 + kSyllable;
            if (s.empty() || s[0] != syllable[0]) {
                if (inGroup) break;  // the letter's group has ended
                matching = false;
                continue;
            }
            inGroup = true;
            equal = s == syllable;
            matching = equal || (s.size() > syllable.size() && s.compare(0, syllable.size(), syllable) == 0);
            continue;
        }
        if (matching) {
            std::string& out = equal ? exact : completions;
            out.push_back(static_cast<char>(a));
            out.push_back(static_cast<char>(b));
            out.push_back(' ');
        }
        at += 2;
    }
}
