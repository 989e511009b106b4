// Readers of the open dictionaries the tables are made from.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A rime dictionary (text<TAB>code<TAB>weight...): the YAML header up to the "..." line
// is skipped, as are commented-out entries. A missing weight reads as 0.
using RimeEntry = std::function<void(std::string_view text, std::string_view code, double weight)>;
bool readRimeDictionary(const std::string& path, const RimeEntry& entry);

// A Unihan data file, plain or bzip2-compressed (as Debian ships it): calls back with the
// code point and value of every line of the given field.
using UnihanEntry = std::function<void(char32_t codePoint, std::string_view value)>;
bool readUnihanField(const std::string& path, std::string_view field, const UnihanEntry& entry);

// A hand-written list: tab-separated columns, '#' comments and empty lines ignored.
using ListEntry = std::function<void(size_t lineNumber, const std::vector<std::string_view>& columns)>;
bool readList(const std::string& path, const ListEntry& entry);

// Splits at every occurrence of the separator.
std::vector<std::string_view> splitFields(std::string_view line, char separator);
