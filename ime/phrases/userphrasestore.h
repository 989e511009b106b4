// Changing a user phrase file: counting, adding and deleting whole lines. Every change is
// made under the user files' lock to the file as it is on the disk then, written whole
// into a temporary file of this process beside the user's file, each write and the close
// checked, and then moved over the file in one step: a failure at any point, a full disk
// or a crash, leaves the user's file exactly as it was, and a change another program made
// meanwhile stays.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Limits of the files' format and of what the add accepts.
constexpr int USER_PHRASE_LINE_LIMIT = 1999;    // an add to a file of this many lines is refused
constexpr int CODE_PHRASES_MAX = 4;             // phrases one code may carry
constexpr size_t USER_CODE_COLUMN = 8;          // the code and its padding
constexpr size_t SHAPE_CODE_LETTERS_MAX = 4;
constexpr size_t PINYIN_CODE_LETTERS_MAX = 7;   // one initial a character, one space left
constexpr size_t PHRASE_BYTES_MAX = 22;         // eleven characters
constexpr size_t PINYIN_PHRASE_BYTES_MAX = 20;
// A file larger than this is not a phrase file the module wrote; it is never rewritten.
constexpr size_t USER_FILE_BYTES_MAX = 4u << 20;

enum class StoreResult {
    done,
    full,      // the file holds USER_PHRASE_LINE_LIMIT lines or more
    refused,   // the code or the phrase cannot be written as a line that reads back
    notFound,  // no line equals the one to delete
    failed,    // the file could not be read or replaced; it is unchanged
    exists,    // some line holds the phrase already
    codeFull,  // the code carries CODE_PHRASES_MAX phrases already
};

// -1 when some line of the file holds exactly this phrase; otherwise the number of lines
// with a phrase whose code equals code (a line without one carries no phrase). A file that
// cannot be opened counts as empty (0).
int countCodeUse(const char* path, const char* code, const char* phrase);

// Lines of the file, counting a last line without a newline, up to limit.
int countUserPhraseLines(const char* path, int limit);

// Appends the line "code, spaces to column 8, phrase" to the file (created when missing),
// after a newline when the file does not end with one. Refused when the file already holds
// USER_PHRASE_LINE_LIMIT lines (full), or when the code is not 1 to 7 code letters (a-z,
// ';', '/') or the phrase not 1 to 11 whole double-byte characters (refused), when a line
// holds the phrase already (exists) and when the code carries four phrases (codeFull).
// Callers ask countCodeUse first for their messages; the add checks again against the
// file it changes, so two programs adding at once never double a line.
StoreResult addUserPhrase(const char* path, const char* phrase, const char* code);

// Removes the first line equal to lineText (compared without its line end); every other
// byte of the file stays as it was.
StoreResult deleteUserPhrase(const char* path, const char* lineText);

// The file's non-empty lines, whole and without their line ends. False when the file
// exists but cannot be read; a missing file has no lines.
bool readUserPhraseList(const char* path, std::vector<std::string>& lines);

// Copies the file from into to whole, through a temporary file beside to. A missing from
// is an error.
bool copyUserFile(const char* from, const char* to);

// Replaces each target with the file of the same index in sources, all or none: every
// source is copied completely beside its target and every old target copied aside first,
// then the copies are moved over the targets one by one; when a move fails, the targets
// already replaced get their old files back. Each target is always whole, old or new. A
// source that does not exist leaves its target alone. Returns the number of files
// replaced, -1 when nothing changed, or RESTORE_UNDONE_PARTLY when a failure could not be
// undone for every file (the old files it could not put back then remain beside their
// targets, named by asideFileOf).
constexpr int RESTORE_UNDONE_PARTLY = -2;
int replaceUserFiles(const std::vector<std::string>& sources, const std::vector<std::string>& targets);
// Where replaceUserFiles keeps a target's old file while it replaces it.
std::string asideFileOf(const std::string& target);

// What the add accepts. A code: letters a-z, and ';' and '/' where they are code letters,
// capitals folded to small ones, 1 to maxLetters of them. A phrase: whole double-byte
// characters, every byte 0x80 or above, at most maxBytes.
bool foldUserCode(std::string_view typed, bool semicolonAndSlash, size_t maxLetters, std::string& code);
bool validUserPhrase(std::string_view phrase, size_t maxBytes);

// Whether text holds an ASCII character (1 to 127) at a character boundary; the trail
// byte of a double-byte character is never one.
bool holdsAsciiCharacter(const char* text);

// The text up to its first space (the dialog's boxes take what comes before it).
std::string_view cutAtSpace(std::string_view text);
