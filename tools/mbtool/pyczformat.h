// The pinyin phrase table: 26 counts by first letter, then 60-byte records (30 bytes of
// space-separated syllables, 30 bytes of GBK phrase, both padded with spaces), closed
// by a record whose pinyin begins with '1'.
#pragma once

#include "sourcelines.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

bool buildPyczTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                    std::vector<uint8_t>& table, std::string& error);

bool decodePyczTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                     TableFault& fault);

// Phrases whose syllables are exactly the given ones (exact), and phrases whose pinyin
// begins with them, each given syllable a prefix of the phrase's (completions); each
// phrase followed by a space, GBK. Syllables are separated by spaces or apostrophes.
void lookupPycz(std::span<const uint8_t> table, const std::string& pinyin, std::string& exact,
                std::string& completions);
