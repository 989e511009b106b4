// Reading the user phrase files: one entry a line, the code, spaces, the phrase (GBK).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// A line holds at most this many bytes before its newline.
constexpr size_t USER_PHRASE_LINE_MAX = 99;

struct UserPhraseLine {
    char text[USER_PHRASE_LINE_MAX + 1];
    size_t length;
};

// Makes sure the user file at path exists: a missing one is created empty (opened for
// appending, which never truncates), an existing one is not opened at all. A file that
// can be neither is skipped.
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

// A line of a user phrase file as the lookups see it: the line (as readUserPhraseLine
// gives it), the lengths of its two codes, which are both leading parts of the line, and
// its phrase.
struct UserPhraseEntry {
    std::string_view line;
    uint8_t codeLength;                 // userPhraseCode(line, 4, any ASCII)
    uint8_t lettersLength;              // userPhraseCode(line, 8, letters only)
    uint8_t phraseStart, phraseLength;  // userPhraseText(line) within line
    std::string_view code() const { return line.substr(0, codeLength); }
    std::string_view letters(size_t maxLetters) const {
        return line.substr(0, lettersLength < maxLetters ? lettersLength : maxLetters);
    }
    std::string_view phrase() const { return line.substr(phraseStart, phraseLength); }
};

// Called for each entry; false stops the walk.
class UserPhraseVisit {
public:
    template <typename F>
    UserPhraseVisit(F& f)
        : object_(&f), call_([](void* o, const UserPhraseEntry& e) { return (*static_cast<F*>(o))(e); }) {}
    bool operator()(const UserPhraseEntry& entry) const { return call_(object_, entry); }

private:
    void* object_;
    bool (*call_)(void*, const UserPhraseEntry&);
};

// Visits, in file order, the lines of the file at path that have a phrase and whose code
// starts with the byte first, or every line with a phrase when first is '\0'; a missing
// or unreadable file has none. Lines without a phrase are never visited: no lookup lists
// them.
//
// The file is parsed once and kept in memory (up to four files, one for each path). With
// lookAtFile its size and time of last write are looked at, and it is read again when
// they changed, so another process's additions show at once; without it the kept lines
// are used as they are, unless this process has written a user file since. A reading
// taken less than two seconds after the file's last write is never kept past the next
// look: file times are coarse, and a rewrite of the same size within one tick of the clock
// would leave both as they were. A file larger than any phrase file is not kept: it is read
// line by line on every call.
void forEachUserPhrase(const char* path, char first, bool lookAtFile, UserPhraseVisit visit);

// A number that changes whenever the lines of the file at path change (looking at the file
// as forEachUserPhrase does); reading the same lines again keeps it. Whoever derives data
// from the lines rebuilds it when the number changes. 0 without a path; a file too large to
// keep has a new number at every call.
uint64_t userPhraseFileVersion(const char* path, bool lookAtFile);

// Forgets the kept files, so that the next call reads them again: every write of a user
// phrase file through this module calls it, since a write within the file system's time
// resolution may leave size and time as they were.
void forgetUserPhraseFileLines();
