// The code the dialog "自造词组" proposes for a phrase, from the codes of its characters in
// the main table of the current mode. A function of its inputs, so the rules can be run on
// any table.
#pragma once

#include "shapecode/codetable.h"

#include <cstddef>
#include <string>
#include <string_view>

// Which code scheme the table holds: the two editions fix their one-letter short codes
// from a list of 26 frequent characters; five-stroke codes pass short codes over.
enum class CodeScheme { phoneticShape, shapeCode, fiveStroke };

// A frequent character (two GBK bytes) and its full code in each edition.
struct FrequentCode {
    const char* character;
    const char* phoneticShape;
    const char* shapeCode;
};
inline constexpr size_t FREQUENT_CODE_COUNT = 26;
extern const FrequentCode FREQUENT_CODES[FREQUENT_CODE_COUNT];

// The code of one character (two GBK bytes): the code of its first character record in
// table order (phrase records are passed over). In the two editions a code of fewer than
// two letters is replaced by the character's full code from the frequent list, when it is
// there; in five-stroke mode the first record of two letters or more counts. Empty when
// the table has no such record.
std::string characterCode(const CodeTable* table, CodeScheme scheme, std::string_view character);

// The proposed code of a phrase of whole double-byte characters:
//   1 character: its code; 2: two letters of each; 3: one letter of the first two and two
//   of the third; 4 or more: one letter of characters 1, 2, 3 and of the last.
// Empty when the phrase is empty or one of the characters it takes has no code.
std::string proposeUserCode(const CodeTable* table, CodeScheme scheme, std::string_view phrase);
