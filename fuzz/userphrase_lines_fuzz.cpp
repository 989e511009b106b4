// Fuzzes the user phrase file reader and both user phrase lookups with arbitrary files.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target userphrase_lines_fuzz
//      && build/host-fuzz/bin/userphrase_lines_fuzz -max_total_time=60
// Input: the file's bytes; the first byte also picks the typed code and the mode.
#include "phrases/userphrasefile.h"
#include "phrases/userphrases.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    return 0;
}
