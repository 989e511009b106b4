// The user phrase files as the dialog and the pinyin engine change them. A file is read
// whole, changed in memory and written back through a temporary file that replaces it:
// lines are never cut in pieces, and a file that cannot be written stays as it was.
#include "phrases/userphrasestore.h"

#include "core/userfile.h"

#include <io.h>
#include <windows.h>

#include "phrases/userphrasefile.h"

#include <cstdio>
#include <cstring>

namespace {

// Lines the store writes end as a text file on Windows does, on every system, so a file
// reads the same wherever it was written; readers take "\n" and "\r\n" alike.
constexpr char LINE_END[] = "\r\n";

bool fileMissing(const char* path) {
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The whole file. A missing file is empty when missingIsEmpty; a file that exists but
// cannot be read, or is larger than any phrase file, is a failure.
bool readWhole(const char* path, std::string& bytes, bool missingIsEmpty) {
    bytes.clear();
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return missingIsEmpty && fileMissing(path);
    char buffer[8192];
    bool ok = true;
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file);
        bytes.append(buffer, n);
        if (bytes.size() > USER_FILE_BYTES_MAX) {
            ok = false;
            break;
        }
        if (n < sizeof buffer) {
            ok = std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    return ok;
}

// The lookups' kept copies are read again after every write: a rewrite within one tick of
// the file system's clock can leave the file's size and time as they were.
bool replaceWhole(const char* path, const std::string& bytes) {
    forgetUserPhraseFileLines();
    return replaceFileWith(path, bytes);
}

// One line of a file: where it starts, its length without the line end, and with it.
struct LineSpan {
    size_t start;
    size_t length;
    size_t whole;
};

template <typename Visit>
void eachLine(const std::string& bytes, Visit visit) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t newline = bytes.find('\n', start);
        const size_t end = newline == std::string::npos ? bytes.size() : newline;
        size_t length = end - start;
        if (newline != std::string::npos && length > 0 && bytes[end - 1] == '\r') --length;
        const size_t whole = (newline == std::string::npos ? end : newline + 1) - start;
        if (!visit(LineSpan{start, length, whole})) return;
        start += whole;
    }
}

int countLines(const std::string& bytes, int limit) {
    int lines = 0;
    eachLine(bytes, [&](const LineSpan&) { return ++lines < limit; });
    return lines;
}

// Whether a line of the file holds phrase, and whether its code is code, as the lookups
// read a line (userphrasefile).
void lineUses(std::string_view text, std::string_view code, std::string_view phrase, bool& samePhrase,
              bool& sameCode) {
    UserPhraseLine line{};
    samePhrase = sameCode = false;
    if (text.size() > USER_PHRASE_LINE_MAX) return;  // the lookups pass over such a line
    std::memcpy(line.text, text.data(), text.size());
    line.length = text.size();
    const std::string_view held = userPhraseText(line);
    samePhrase = held == phrase;
    char lineCode[USER_CODE_COLUMN + 1] = {};
    const size_t length = userPhraseCode(line, lineCode, USER_CODE_COLUMN, false);
    // A line without a phrase carries none for its code.
    sameCode = !held.empty() && std::string_view(lineCode, length) == code;
}

bool codeLetter(char c, bool semicolonAndSlash) {
    return (c >= 'a' && c <= 'z') || (semicolonAndSlash && (c == ';' || c == '/'));
}

}  // namespace

std::string_view cutAtSpace(std::string_view text) { return text.substr(0, text.find(' ')); }

bool foldUserCode(std::string_view typed, bool semicolonAndSlash, size_t maxLetters, std::string& code) {
    code.clear();
    if (typed.empty() || typed.size() > maxLetters) return false;
    for (char c : typed) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (!codeLetter(c, semicolonAndSlash)) return false;
        code += c;
    }
    return true;
}

bool validUserPhrase(std::string_view phrase, size_t maxBytes) {
    if (phrase.empty() || phrase.size() % 2 != 0 || phrase.size() > maxBytes) return false;
    for (size_t i = 0; i < phrase.size(); i += 2) {
        const auto lead = static_cast<unsigned char>(phrase[i]);
        const auto trail = static_cast<unsigned char>(phrase[i + 1]);
        // Readers take a phrase as the run of bytes of 0x80 and above, so a character with
        // a trail byte below 0x80 could never be read back.
        if (lead < 0x81 || lead > 0xFE || trail < 0x80 || trail > 0xFE) return false;
    }
    return true;
}

bool holdsAsciiCharacter(const char* text) {
    for (size_t i = 0; text[i] != '\0';) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) return true;
        i += (b >= 0x81 && b <= 0xFE && text[i + 1] != '\0') ? 2 : 1;
    }
    return false;
}

int countCodeUse(const char* path, const char* code, const char* phrase) {
    const std::string_view wanted(code, strnlen(code, 64));
    const std::string_view wantedPhrase(phrase, strnlen(phrase, 64));
    int uses = 0;
    // Through the kept lines, looked at against the file first: every learned sentence asks
    // this, and reading the whole file for it set the slowest keys of pinyin typing.
    auto count = [&](const UserPhraseEntry& entry) {
        if (!wantedPhrase.empty() && entry.phrase() == wantedPhrase) {
            uses = -1;
            return false;
        }
        // The code as userPhraseCode reads it: leading ASCII up to a space, at most a column.
        size_t length = 0;
        while (length < entry.line.size() && length < USER_CODE_COLUMN) {
            const auto b = static_cast<unsigned char>(entry.line[length]);
            if (b == ' ' || b == 0 || b >= 0x80) break;
            ++length;
        }
        if (entry.line.substr(0, length) == wanted) ++uses;
        return true;
    };
    if (path && path[0]) forEachUserPhrase(path, '\0', true, count);
    return uses;
}

int countUserPhraseLines(const char* path, int limit) {
    std::string bytes;
    if (!readWhole(path, bytes, true)) return 0;
    return countLines(bytes, limit);
}

StoreResult addUserPhrase(const char* path, const char* phrase, const char* code) {
    const std::string_view text(phrase, strnlen(phrase, PHRASE_BYTES_MAX + 1));
    const std::string_view letters(code, strnlen(code, PINYIN_CODE_LETTERS_MAX + 1));
    std::string folded;
    if (!foldUserCode(letters, true, PINYIN_CODE_LETTERS_MAX, folded) || folded != letters ||
        !validUserPhrase(text, PHRASE_BYTES_MAX))
        return StoreResult::refused;
    if (path == nullptr || path[0] == '\0') return StoreResult::failed;
    UserFileLock lock(path);
    std::string bytes;
    if (!readWhole(path, bytes, true)) return StoreResult::failed;
    if (countLines(bytes, USER_PHRASE_LINE_LIMIT) >= USER_PHRASE_LINE_LIMIT) return StoreResult::full;
    // The file as it is now, which another program may have changed since the caller looked.
    int uses = 0;
    bool duplicate = false;
    eachLine(bytes, [&](const LineSpan& line) {
        bool samePhrase, sameCode;
        lineUses(std::string_view(bytes).substr(line.start, line.length), letters, text, samePhrase,
                 sameCode);
        duplicate = samePhrase;
        uses += sameCode ? 1 : 0;
        return !duplicate;
    });
    if (duplicate) return StoreResult::exists;
    if (uses >= CODE_PHRASES_MAX) return StoreResult::codeFull;
    // A last line without its newline would be glued to the new one.
    if (!bytes.empty() && bytes.back() != '\n') bytes += LINE_END;
    bytes += letters;
    bytes.append(USER_CODE_COLUMN - letters.size(), ' ');
    bytes += text;
    bytes += LINE_END;
    return replaceWhole(path, bytes) ? StoreResult::done : StoreResult::failed;
}

StoreResult deleteUserPhrase(const char* path, const char* lineText) {
    if (path == nullptr || path[0] == '\0') return StoreResult::failed;
    UserFileLock lock(path);
    std::string bytes;
    if (!readWhole(path, bytes, false))
        return fileMissing(path) ? StoreResult::notFound : StoreResult::failed;
    const std::string_view wanted(lineText);
    bool found = false;
    LineSpan match{};
    eachLine(bytes, [&](const LineSpan& line) {
        if (std::string_view(bytes).substr(line.start, line.length) != wanted) return true;
        found = true;
        match = line;
        return false;
    });
    if (!found) return StoreResult::notFound;
    bytes.erase(match.start, match.whole);
    return replaceWhole(path, bytes) ? StoreResult::done : StoreResult::failed;
}

bool readUserPhraseList(const char* path, std::vector<std::string>& lines) {
    lines.clear();
    std::string bytes;
    if (!readWhole(path, bytes, true)) return false;
    eachLine(bytes, [&](const LineSpan& line) {
        if (line.length > 0) lines.emplace_back(bytes, line.start, line.length);
        return true;
    });
    return true;
}

bool copyUserFile(const char* from, const char* to) {
    UserFileLock lock(to);
    std::string bytes;
    return readWhole(from, bytes, false) && replaceWhole(to, bytes);
}

std::string asideFileOf(const std::string& target) { return target + ".qxold"; }

int replaceUserFiles(const std::vector<std::string>& sources, const std::vector<std::string>& targets) {
    if (sources.size() != targets.size()) return -1;
    if (targets.empty()) return 0;
    UserFileLock lock(targets[0].c_str());
    forgetUserPhraseFileLines();
    // Each target's copy of its source beside it, or empty where the source is missing.
    std::vector<std::string> written(targets.size());
    int copies = 0;
    auto dropCopies = [&] {
        for (const std::string& temporary : written)
            if (!temporary.empty()) DeleteFileA(temporary.c_str());
    };
    for (size_t i = 0; i < sources.size(); ++i) {
        if (fileMissing(sources[i].c_str())) continue;
        std::string bytes;
        const std::string temporary = temporaryFileOf(targets[i].c_str());
        if (!readWhole(sources[i].c_str(), bytes, false) || !writeTemporaryFile(temporary, [&](FILE* file) {
                return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            })) {
            dropCopies();
            return -1;
        }
        written[i] = temporary;
        ++copies;
    }
    // A copy of each old file beside it, to put back should a later file fail: the files
    // themselves never leave their place, so a crash leaves each one old or new.
    std::vector<bool> hadFile(targets.size(), false);
    auto dropAsides = [&] {
        for (size_t i = 0; i < targets.size(); ++i)
            if (hadFile[i]) DeleteFileA(asideFileOf(targets[i]).c_str());
    };
    for (size_t i = 0; i < targets.size(); ++i) {
        if (written[i].empty() || fileMissing(targets[i].c_str())) continue;
        std::string bytes;
        hadFile[i] = true;
        if (!readWhole(targets[i].c_str(), bytes, false) ||
            !writeTemporaryFile(asideFileOf(targets[i]), [&](FILE* file) {
                return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            })) {
            dropCopies();
            dropAsides();
            return -1;
        }
    }
    // Each copy takes its target's place; when one cannot (on Windows while another
    // program has the file open) those already replaced get their old files back.
    size_t done = 0;
    for (; done < targets.size(); ++done) {
        if (written[done].empty()) continue;
        if (!moveFileReplacing(written[done], targets[done].c_str())) break;
        written[done].clear();
    }
    if (done == targets.size()) {
        dropAsides();
        return copies;
    }
    dropCopies();
    bool undone = true;
    for (size_t n = done; n-- > 0;) {
        if (fileMissing(sources[n].c_str())) continue;  // never touched
        const std::string aside = asideFileOf(targets[n]);
        if (hadFile[n]) {
            const bool back = moveFileReplacing(aside, targets[n].c_str());
            hadFile[n] = !back;  // an old file that could not go back stays beside its target
            undone = back && undone;
        } else {
            undone = DeleteFileA(targets[n].c_str()) && undone;
        }
    }
    if (undone) dropAsides();
    for (size_t i = done; i < targets.size(); ++i)
        if (hadFile[i]) DeleteFileA(asideFileOf(targets[i]).c_str());
    return undone ? -1 : RESTORE_UNDONE_PARTLY;
}
