// Character sets the tables are cut to, and the UTF-8 handling of the sources.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The two-byte code sets, enumerated through iconv so that the tables agree with the
// conversion the table compiler does.
struct CharSets {
    std::vector<char32_t> gb2312Hanzi;    // rows 16-87, in code order
    std::unordered_set<char32_t> gb2312;  // every character of GB2312
    std::vector<char32_t> gbk;            // every two-byte GBK character, in code order
    std::unordered_set<char32_t> gbkSet;
};

// Fills the sets; false (with a message on stderr) when iconv lacks a code set.
bool loadCharSets(CharSets& sets);

// Decodes UTF-8; false on malformed input (the caller skips the line).
bool decodeUtf8(std::string_view text, std::u32string& out);
std::string encodeUtf8(std::u32string_view text);
std::string encodeUtf8(char32_t c);

bool allIn(std::u32string_view text, const std::unordered_set<char32_t>& set);
bool isHanzi(char32_t c);
