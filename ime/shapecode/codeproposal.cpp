// Proposing a user phrase's code: one pass over the table's records finds the first
// character record of each character the rule takes.
#include "shapecode/codeproposal.h"

#include "shapecode/packedrecord.h"

#include <array>

// The same list the data libraries' short codes come from (data/frequent.txt).
const FrequentCode FREQUENT_CODES[FREQUENT_CODE_COUNT] = {
    {"\xB5\xD8", "dat", "atd"},    // 地
    {"\xCE\xD2", "ww", "ww"},      // 我
    {"\xD4\xDA", "zsha", "shaz"},  // 在
    {"\xC8\xCB", "rk", "kr"},      // 人
    {"\xCB\xFB", "tkt", "ktt"},    // 他
    {"\xD2\xAA", "yzw", "zwy"},    // 要
    {"\xA1\xB0", "izsy", "zsy"},   // “
    {"\xA1\xB1", "iysy", "ysy"},   // ”
    {"\xA1\xB6", "izsm", "zsm"},   // 《
    {"\xA1\xB7", "iysm", "ysm"},   // 》
    {"\xD3\xD6", "ye", "ey"},      // 又
    {"\xCA\xC7", "sjp", "jps"},    // 是
    {"\xB5\xC4", "dhjg", "hjgd"},  // 的
    {"\xD2\xB2", "yt", "ty"},      // 也
    {"\xD6\xD0", "zlh", "lhz"},    // 中
    {"\xBA\xCD", "hfl", "flh"},    // 和
    {"\xBE\xCD", "jilr", "ilrj"},  // 就
    {"\xD3\xD0", "ysc", "scy"},    // 有
    {"\xC1\xCB", "lw", "wl"},      // 了
    {"\xD5\xE2", "zeo", "eoz"},    // 这
    {"\xA1\xAD", "islh", "slh"},   // …
    {"\xD3\xC3", "yc", "cy"},      // 用
    {"\xA3\xA1", "ijth", "jthi"},  // ！
    {"\xB2\xBB", "bp", "pb"},      // 不
    {"\xC4\xE3", "nkgn", "kgnn"},  // 你
    {"\xA1\xA2", "idh", "dh"},     // 、
};

namespace {

constexpr size_t PICKED_MAX = 4;

uint32_t headerWord(const CodeTable* table, int index) {
    const unsigned char* b = table->data + 4 * index;
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// For each wanted character, the code of its first character record that is long enough.
// Reads within the table only: a damaged bucket ends where its records stop fitting.
void firstCodes(const CodeTable* table, const std::string_view* wanted, size_t count, size_t minLetters,
                std::string* codes) {
    if (table == nullptr || table->data == nullptr || table->size < TABLE_HEADER_SIZE) return;
    size_t missing = count;
    for (int bucket = 0; bucket < TABLE_BUCKETS && missing > 0; ++bucket) {
        uint64_t position = TABLE_HEADER_SIZE + uint64_t{headerWord(table, bucket)};
        uint64_t end = TABLE_HEADER_SIZE + uint64_t{headerWord(table, bucket + 1)};
        if (end > table->size) end = table->size;
        while (position + packed::CHARACTER_RECORD_SIZE <= end && missing > 0) {
            const unsigned char* record = table->data + position;
            const uint8_t p = record[0], q = record[1];
            if (packed::isPhrase(q)) {
                if (position + packed::PHRASE_HEADER_SIZE > end) break;
                const unsigned characters = packed::phraseLength(record + 2);
                position += characters < packed::PHRASE_MIN ? packed::PHRASE_HEADER_SIZE : packed::recordSize(characters);
                continue;
            }
            position += packed::CHARACTER_RECORD_SIZE;
            const char character[2] = {static_cast<char>(record[2] | 0x80), static_cast<char>(record[3] | 0x80)};
            std::string code(1, packed::LETTERS[bucket]);
            for (unsigned value : {packed::secondLetter(p, q), packed::thirdLetter(p, q), packed::fourthLetter(p, q)}) {
                const char letter = packed::letterOf(value);
                if (letter == '\0') break;
                code += letter;
            }
            if (code.size() < minLetters) continue;
            for (size_t i = 0; i < count; ++i) {
                if (!codes[i].empty() || wanted[i] != std::string_view(character, 2)) continue;
                codes[i] = code;
                --missing;
            }
        }
    }
}

void fixShortCode(CodeScheme scheme, std::string_view character, std::string& code) {
    if (scheme == CodeScheme::fiveStroke || code.size() >= 2) return;
    for (const FrequentCode& frequent : FREQUENT_CODES)
        if (character == frequent.character)
            code = scheme == CodeScheme::phoneticShape ? frequent.phoneticShape : frequent.shapeCode;
}

}  // namespace

std::string characterCode(const CodeTable* table, CodeScheme scheme, std::string_view character) {
    if (character.size() != 2) return {};
    std::string code;
    firstCodes(table, &character, 1, scheme == CodeScheme::fiveStroke ? 2 : 1, &code);
    if (!code.empty()) fixShortCode(scheme, character, code);
    return code;
}

std::string proposeUserCode(const CodeTable* table, CodeScheme scheme, std::string_view phrase) {
    const size_t characters = phrase.size() / 2;
    if (characters == 0) return {};
    std::array<std::string_view, PICKED_MAX> picked;
    const size_t count = characters < PICKED_MAX ? characters : PICKED_MAX;
    for (size_t i = 0; i < count; ++i) {
        // Longer phrases take characters 1, 2, 3 and the last one.
        const size_t index = (i == PICKED_MAX - 1) ? characters - 1 : i;
        picked[i] = phrase.substr(2 * index, 2);
    }
    std::array<std::string, PICKED_MAX> codes;
    firstCodes(table, picked.data(), count, scheme == CodeScheme::fiveStroke ? 2 : 1, codes.data());
    for (size_t i = 0; i < count; ++i) {
        if (codes[i].empty()) return {};
        fixShortCode(scheme, picked[i], codes[i]);
    }
    auto first = [&](size_t i, size_t letters) { return codes[i].substr(0, letters); };
    switch (count) {
    case 1: return codes[0];
    case 2: return first(0, 2) + first(1, 2);
    case 3: return first(0, 1) + first(1, 1) + first(2, 2);
    default: return first(0, 1) + first(1, 1) + first(2, 1) + first(3, 1);
    }
}
