#include "phrases/userphrasefile.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

void createUserFile(const char* path) {
    // A start that finds its files opens none of them for writing.
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return;
    // Opening for reading first and writing when that fails would truncate a file that
    // exists but cannot be read just now: append mode creates it and never cuts it.
    if (FILE* file = std::fopen(path, "a")) std::fclose(file);
}

bool readUserPhraseLine(FILE* file, UserPhraseLine& line) {
    for (;;) {
        line.length = 0;
        bool tooLong = false;
        int c;
        while ((c = std::fgetc(file)) != EOF && c != '\n') {
            if (line.length < USER_PHRASE_LINE_MAX)
                line.text[line.length++] = static_cast<char>(c);
            else
                tooLong = true;
        }
        if (c == EOF && line.length == 0 && !tooLong) return false;
        // Text mode on Windows drops the carriage return; do the same everywhere.
        if (!tooLong && line.length > 0 && line.text[line.length - 1] == '\r') --line.length;
        line.text[line.length] = '\0';
        if (!tooLong) return true;
        if (c == EOF) return false;
    }
}

size_t userPhraseCode(const UserPhraseLine& line, char* code, size_t maxLetters, bool lettersOnly) {
    size_t n = 0;
    for (size_t i = 0; i < line.length && n < maxLetters; ++i) {
        auto b = static_cast<unsigned char>(line.text[i]);
        bool part = lettersOnly ? (b >= 'a' && b <= 'z') : (b != ' ' && b != 0 && b < 0x80);
        if (!part) break;
        code[n++] = static_cast<char>(b);
    }
    code[n] = '\0';
    return n;
}

std::string_view userPhraseText(const UserPhraseLine& line) {
    size_t i = 0;
    while (i < line.length) {
        auto b = static_cast<unsigned char>(line.text[i]);
        if (b == ' ' || b == 0 || b >= 0x80) break;
        ++i;
    }
    while (i < line.length && line.text[i] == ' ') ++i;
    size_t start = i;
    while (i < line.length && static_cast<unsigned char>(line.text[i]) >= 0x80) ++i;
    size_t length = (i - start) & ~size_t{1};
    return {line.text + start, length};
}

namespace {

// File times count 100 ns; a file written less than this long before it was read may be
// rewritten within the same tick of its file system's clock (two seconds on some), with
// the same size, and nothing would show it.
constexpr uint64_t UNTRUSTED_TICKS = 2 * 10000000ull;

// Larger files are read line by line on every call instead of being kept: the module
// writes at most 1,999 short lines, and memory must not grow with whatever file is there.
constexpr uint64_t KEPT_BYTES_MAX = 1u << 20;

uint64_t ticksOf(const FILETIME& time) { return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

// An entry as kept: its line's place in the kept text.
struct KeptEntry {
    uint32_t offset;
    uint8_t length, codeLength, lettersLength, phraseStart, phraseLength;
};

// A kept file: its path, the size and time it was read with, whether that reading may be
// kept while they stay the same, and its lines with a phrase, by the first byte of code.
struct KeptFile {
    std::string path;
    bool present = false;
    bool trusted = false;
    bool forgotten = false;
    bool tooLarge = false;
    uint64_t written = 0;
    uint64_t size = 0;
    uint64_t version = 0;  // of the reading kept now
    std::string text;
    std::vector<KeptEntry> entries;
    std::vector<uint32_t> byFirstByte[128];
};
// One for each user-phrase file a mode reads; the oldest is dropped for a fifth.
constexpr size_t KEPT_FILES = 4;
KeptFile kept[KEPT_FILES];
size_t nextSlot = 0;
uint64_t lastVersion = 0;

// The entry of a line just read; false when it has no phrase.
bool entryOf(const UserPhraseLine& line, UserPhraseEntry& entry) {
    const std::string_view phrase = userPhraseText(line);
    if (phrase.empty()) return false;
    char code[9];
    entry.line = std::string_view(line.text, line.length);
    entry.codeLength = static_cast<uint8_t>(userPhraseCode(line, code, 4, false));
    entry.lettersLength = static_cast<uint8_t>(userPhraseCode(line, code, 8, true));
    entry.phraseStart = static_cast<uint8_t>(phrase.data() - line.text);
    entry.phraseLength = static_cast<uint8_t>(phrase.size());
    return true;
}

bool startsWith(const UserPhraseEntry& entry, char first) {
    return first == '\0' || (entry.codeLength > 0 && entry.line[0] == first);
}

void parseFile(const char* path, KeptFile& file) {
    file.text.clear();
    file.entries.clear();
    for (auto& list : file.byFirstByte) list.clear();
    FILE* stream = std::fopen(path, "r");
    if (!stream) return;
    UserPhraseLine line;
    UserPhraseEntry entry;
    while (readUserPhraseLine(stream, line)) {
        if (!entryOf(line, entry)) continue;
        const auto index = static_cast<uint32_t>(file.entries.size());
        file.entries.push_back({static_cast<uint32_t>(file.text.size()), static_cast<uint8_t>(line.length),
                                entry.codeLength, entry.lettersLength, entry.phraseStart,
                                entry.phraseLength});
        file.text.append(line.text, line.length);
        if (entry.codeLength > 0)
            file.byFirstByte[static_cast<unsigned char>(line.text[0]) & 0x7F].push_back(index);
    }
    std::fclose(stream);
}

bool sameEntries(const std::vector<KeptEntry>& a, const std::vector<KeptEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const KeptEntry& x, const KeptEntry& y) {
        return x.offset == y.offset && x.length == y.length && x.codeLength == y.codeLength &&
               x.lettersLength == y.lettersLength && x.phraseStart == y.phraseStart &&
               x.phraseLength == y.phraseLength;
    });
}

UserPhraseEntry entryAt(const KeptFile& file, uint32_t index) {
    const KeptEntry& kept = file.entries[index];
    return {std::string_view(file.text).substr(kept.offset, kept.length), kept.codeLength, kept.lettersLength,
            kept.phraseStart, kept.phraseLength};
}

// The kept file for path, read again when it may have changed; null when there is none.
KeptFile* keptFile(const char* path, bool lookAtFile) {
    if (!path || !path[0]) return nullptr;
    KeptFile* slot = nullptr;
    for (KeptFile& file : kept)
        if (file.path == path) slot = &file;
    if (slot && !lookAtFile && !slot->forgotten) return slot;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool present = GetFileAttributesExA(path, GetFileExInfoStandard, &data) != 0;
    const uint64_t written = present ? ticksOf(data.ftLastWriteTime) : 0;
    const uint64_t size = present ? (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
    if (slot && slot->trusted && !slot->forgotten && slot->present == present && slot->written == written &&
        slot->size == size)
        return slot;
    if (!slot) {
        slot = &kept[nextSlot];
        nextSlot = (nextSlot + 1) % KEPT_FILES;
        slot->path = path;
        slot->version = 0;  // another file's lines are no reading of this one
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    slot->present = present;
    slot->written = written;
    slot->size = size;
    slot->forgotten = false;
    // A missing file's appearing shows; a present one is kept once it was read late enough.
    slot->trusted = !present || written + UNTRUSTED_TICKS <= ticksOf(now);
    const bool wasKept = slot->version != 0 && !slot->tooLarge;
    slot->tooLarge = size > KEPT_BYTES_MAX;
    if (slot->tooLarge) {
        slot->version = ++lastVersion;
        slot->text.clear();
        slot->text.shrink_to_fit();
        slot->entries.clear();
        slot->entries.shrink_to_fit();
        for (auto& list : slot->byFirstByte) std::vector<uint32_t>().swap(list);
        return slot;
    }
    // Most readings find the lines as they were (a look within two seconds of a write, a
    // write that changed nothing): the version then stands, and nothing derived is rebuilt.
    std::string before;
    std::vector<KeptEntry> entriesBefore;
    before.swap(slot->text);
    entriesBefore.swap(slot->entries);
    parseFile(path, *slot);
    if (!wasKept || slot->text != before || !sameEntries(slot->entries, entriesBefore))
        slot->version = ++lastVersion;
    return slot;
}

}  // namespace

void forEachUserPhrase(const char* path, char first, bool lookAtFile, UserPhraseVisit visit) {
    if (static_cast<unsigned char>(first) >= 0x80) return;  // no line's code holds such a byte
    const KeptFile* file = keptFile(path, lookAtFile);
    if (!file || !file->present) return;
    if (file->tooLarge) {
        FILE* stream = std::fopen(path, "r");
        if (!stream) return;
        UserPhraseLine line;
        UserPhraseEntry entry;
        while (readUserPhraseLine(stream, line))
            if (entryOf(line, entry) && startsWith(entry, first) && !visit(entry)) break;
        std::fclose(stream);
        return;
    }
    if (first == '\0') {
        for (uint32_t index = 0; index < file->entries.size(); ++index)
            if (!visit(entryAt(*file, index))) return;
        return;
    }
    for (uint32_t index : file->byFirstByte[static_cast<unsigned char>(first)])
        if (!visit(entryAt(*file, index))) return;
}

uint64_t userPhraseFileVersion(const char* path, bool lookAtFile) {
    const KeptFile* file = keptFile(path, lookAtFile);
    if (!file) return 0;
    // A file too large to keep is read on every walk: it never stays the same.
    return file->tooLarge ? ++lastVersion : file->version;
}

void forgetUserPhraseFileLines() {
    for (KeptFile& file : kept) file.forgotten = true;
}
