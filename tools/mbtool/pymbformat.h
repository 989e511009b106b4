// The pinyin syllable table: 2-byte units; "11" and an 8-byte syllable begin a header,
// the GBK characters of that syllable follow, "33" ends the table.
#pragma once

#include "sourcelines.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

bool buildPymbTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                    std::vector<uint8_t>& table, std::string& error);

// One entry per syllable: code = syllable, text = its characters.
bool decodePymbTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                     TableFault& fault);

// The characters of the syllable, in table order (exact), and the characters of the longer
// syllables that begin with it (completions), each followed by a space, GBK.
void lookupPymb(std::span<const uint8_t> table, const std::string& syllable, std::string& exact,
                std::string& completions);
