// What it costs to type each entry of a packed code table as the shape-code engine takes
// keys: the letters of a code, then Space or the label that chooses the entry.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One record of a packed table: full code and GBK text, in table order.
struct TableRecord {
    std::string code;
    std::string text;
};

// Decodes a compiled packed table; false when its header or a record is malformed.
bool decodePackedTable(const std::vector<uint8_t>& table, std::vector<TableRecord>& records);

// The cheapest way to type one text.
struct Way {
    int keys = 0;
    std::string script;  // in the key-script language: letters, {Space}, labels, {}}
    // True when the way ends on a full four-letter code without a choosing key: the next
    // code letter commits it (and starts the next code), anything else needs a Space.
    bool open = false;
};

// For every text of the table, its cheapest closed way and, where there is one, its
// cheapest open way. A closed way ends with the key that commits the text.
struct Ways {
    Way closed;
    Way open;
    bool hasOpen = false;
};
std::map<std::string, Ways> typingWays(const std::vector<TableRecord>& records);
