// Table sources: UTF-8 text, one record a line as code<TAB>text; '#' lines and empty
// lines are comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SourceLine {
    int number;        // 1-based line number, for messages
    std::string code;  // as written
    std::string text;  // UTF-8, as written
};

// Reads every record line. False with a message when the file cannot be read or a line
// has no TAB.
bool readSourceLines(const std::string& path, std::vector<SourceLine>& lines, std::string& error);

// What a builder does with text that its format cannot hold.
struct BuildOptions {
    bool skipUnencodable = false;
    int skipped = 0;  // records (or characters) left out
};

// A decoded table record, for dumps and verification: text in GBK.
struct TableEntry {
    std::string code;
    std::string text;
};

// The first fault found in a table, with its byte offset from the table's start.
struct TableFault {
    uint32_t offset = 0;
    std::string message;
};

std::string lineMessage(const SourceLine& line, const std::string& message);

// Little-endian helpers shared by the format files.
inline void putU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint32_t getU32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
