// Reading the user phrase files: one entry a line, the code, spaces, the phrase (GBK).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// A line holds at most this many bytes before its newline.
constexpr size_t USER_PHRASE_LINE_MAX = 99;

struct UserPhraseLine {
    char text[USER_PHRASE_LINE_MAX + 1];
    size_t length;
};

// Makes sure the user file at path exists: a missing one is created empty, an existing
// one is left exactly as it is (opened for appending, never truncated). A file that can
// be neither is skipped.
void createUserFile(const char* path);

// Reads the next whole line (without its newline or a carriage return before it).
// A line longer than USER_PHRASE_LINE_MAX is passed over entirely, so it can neither
// show a cut phrase nor leave its tail to be read as the next line. False at end of file.
bool readUserPhraseLine(FILE* file, UserPhraseLine& line);

// The line's code: the leading ASCII bytes up to the first space, NUL or byte of 0x80 or
// above, of which only the first maxLetters count. With lettersOnly the code is the leading
// run of a-z instead. Writes at most maxLetters bytes and a terminator into code.
size_t userPhraseCode(const UserPhraseLine& line, char* code, size_t maxLetters, bool lettersOnly);

// The phrase: after the whole leading code and the spaces that follow it, the run of bytes
// of 0x80 or above. An odd byte at the end (half a character) is not part of it.
std::string_view userPhraseText(const UserPhraseLine& line);
