// The fixed-record table format: 29 bucket counts, then 6-byte records (4 code bytes
// padded with spaces, one GBK character as it is).
#pragma once

#include "sourcelines.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

bool buildFixedTable(const std::vector<SourceLine>& lines, BuildOptions& options,
                     std::vector<uint8_t>& table, std::string& error);

bool decodeFixedTable(std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                      TableFault& fault);
