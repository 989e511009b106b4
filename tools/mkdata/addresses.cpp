#include "addresses.h"

#include "sources.h"

#include "gbktext.h"

#include <algorithm>

namespace {

// Limits of the module's lists and of the management dialog's fields.
constexpr size_t MAX_RECORD = 89;
constexpr size_t MAX_CODE = 10;
constexpr size_t MAX_NAME = 20;
constexpr size_t MAX_ADDRESS = 40;
constexpr size_t BLOCK_RECORDS = 200;

bool lowerLetters(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool printableAscii(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

std::string checkRecord(const std::string& gbk) {
    if (gbk.empty()) return "an empty line";
    if (gbk.size() > MAX_RECORD) return "longer than 89 bytes in GBK";
    if (std::count(gbk.begin(), gbk.end(), ' ') != 3 || gbk.back() != ' ')
        return "not \"code name address \" (three single spaces, one at the end)";
    std::vector<std::string_view> f = splitFields(gbk, ' ');
    if (!lowerLetters(f[0]) || f[0].size() > MAX_CODE) return "the code must be 1 to 10 letters a-z";
    if (!isDoubleByteText(f[1]) || f[1].size() > MAX_NAME)
        return "the name must be 1 to 10 Chinese characters";
    if (!printableAscii(f[2]) || f[2].size() > MAX_ADDRESS)
        return "the address must be 1 to 40 ASCII characters";
    return {};
}

}  // namespace

bool convertAddressList(const std::string& utf8, std::string& gbk, std::string& error) {
    gbk.clear();
    size_t number = 0;
    char letter = 0;
    size_t inBlock = 0;
    std::string_view text = utf8;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    for (std::string_view line : splitFields(text, '\n')) {
        ++number;
        std::string record;
        std::string fault =
            !utf8ToGbk(line, record) ? "not UTF-8 text that GBK can hold" : checkRecord(record);
        if (fault.empty() && record[0] != letter) {
            if (record[0] < letter) fault = "codes are not grouped by first letter in alphabetical order";
            letter = record[0];
            inBlock = 0;
        }
        if (fault.empty() && ++inBlock > BLOCK_RECORDS) fault = "more than 200 records under one letter";
        if (!fault.empty()) {
            error = std::to_string(number) + ": " + fault;
            return false;
        }
        gbk += record + '\n';
    }
    if (gbk.empty()) error = "no records";
    return !gbk.empty();
}
