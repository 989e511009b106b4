// Fuzzes the user phrase file reader, both user phrase lookups and the store that the
// dialog changes files through, with arbitrary files.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target userphrase_lines_fuzz
//      && build/host-fuzz/bin/userphrase_lines_fuzz -max_total_time=60
// Input: the file's bytes; the first byte also picks the typed code and the mode.
#include "phrases/userphrasefile.h"
#include "phrases/userphrases.h"
#include "phrases/userphrasestore.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/qx-userphrase-fuzz-" + std::to_string(getpid()) + ".rt";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    static const char* codes[] = {"a", "ab", "abc", "abcd", "zg", "abcdefgh", ";", ""};
    unsigned pick = size ? data[0] : 0;
    const char* code = codes[pick % 8];
    const size_t maxLetters = (pick >> 3) & 1 ? 8 : 4;  // the pinyin engine's codes are longer

    char completions[USER_COMPLETION_LIST_SIZE] = "";
    char exact[USER_EXACT_LIST_SIZE] = "";
    int state = (pick >> 4) & 3;
    lookupUserPhrases(path.c_str(), code, completions, exact, &state);
    if (state < 0 || state > 3 || std::strlen(completions) >= sizeof completions) std::abort();

    char found[200] = "";
    findUserPhrasesExact(path.c_str(), code, maxLetters, found, sizeof found);
    if (std::strlen(found) >= sizeof found) std::abort();

    // The line reader on its own: every line it returns fits its buffer.
    FILE* memory = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (memory) {
        UserPhraseLine line;
        char lineCode[9];
        while (readUserPhraseLine(memory, line)) {
            if (line.length > USER_PHRASE_LINE_MAX) std::abort();
            userPhraseCode(line, lineCode, 8, (pick & 1) != 0);
            if (userPhraseText(line).size() % 2) std::abort();
        }
        std::fclose(memory);
    }
    // The store: every listed line deletes, and the delete takes exactly that line and
    // its line end.
    countCodeUse(path.c_str(), code, "\xB9\xA4");
    std::vector<std::string> lines;
    if (!readUserPhraseList(path.c_str(), lines)) std::abort();
    if (!lines.empty()) {
        const std::string& line = lines[pick % lines.size()];
        if (line.find('\0') == std::string::npos) {
            if (deleteUserPhrase(path.c_str(), line.c_str()) != StoreResult::done) std::abort();
            FILE* after = std::fopen(path.c_str(), "rb");
            if (!after) std::abort();
            std::fseek(after, 0, SEEK_END);
            const long left = std::ftell(after);
            std::fclose(after);
            const long removed = static_cast<long>(size) - left;
            if (removed < static_cast<long>(line.size()) || removed > static_cast<long>(line.size()) + 2) std::abort();
        }
    }
    addUserPhrase(path.c_str(), "\xB9\xA4\xD7\xF7", "ab");
    return 0;
}
