// Fuzzes the fixed-record (GBK) lookup with arbitrary tables and codes.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target lookup_gbk_fuzz
//      && build/host-fuzz/bin/lookup_gbk_fuzz -max_total_time=60
// Input: the typed code (up to the first NUL, at most 7 bytes), then the table bytes.
#include "shapecode/codetable.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t codeLength = 0;
    while (codeLength < size && codeLength < 7 && data[codeLength] != 0) ++codeLength;
    char code[8] = {};
    std::memcpy(code, data, codeLength);
    size_t skip = codeLength < size ? codeLength + 1 : size;
    std::vector<unsigned char> table(data + skip, data + size);

    pinyinMode = wubiMode = phraseLibraryMode = pinyinPhraseRequest = 0;
    gbkLookup = 1;
    phoneticEdition = 1;
    tableYGBK = CodeTable{table.data(), static_cast<uint32_t>(table.size())};
    if (table.empty()) tableYGBK.data = reinterpret_cast<const unsigned char*>(code);

    static char completions[COMPLETION_LIST_SIZE];
    char exact[EXACT_LIST_SIZE];
    completions[0] = exact[0] = '\0';
    int half = lookupGbk(code, completions, exact);
    if (static_cast<size_t>(half) != std::strlen(completions) / 2) std::abort();
    if (std::strlen(exact) >= EXACT_LIST_SIZE) std::abort();
    tableYGBK = CodeTable{};
    return 0;
}
