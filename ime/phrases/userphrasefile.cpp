#include "phrases/userphrasefile.h"

void createUserFile(const char* path) {
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
            if (line.length < USER_PHRASE_LINE_MAX) line.text[line.length++] = static_cast<char>(c);
            else tooLong = true;
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
