// The packed table format: 29 bucket offsets, then 4-byte character records and
// (2 + 2n)-byte phrase records whose code letters and phrase length live in spare bits.
#pragma once

#include "sourcelines.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Bucket of a code letter (a-z 0-25, ';' 26, '/' 27), -1 for none.
int packedBucket(char letter);
// A source code of 1 to 4 code letters (both table formats take the same codes).
bool checkCode(const SourceLine& line, std::string& error);

bool buildPackedTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                      std::vector<uint8_t>& table, std::string& error);

// Decodes every record in table order; stops at the first fault (false).
bool decodePackedTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                       TableFault& fault);
