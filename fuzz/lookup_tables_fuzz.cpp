// Fuzzes both table lookups, packed and fixed-record, with arbitrary tables and codes, and
// holds the indexed packed lookup, and the first-letter lists it keeps, to the whole-bucket walk.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target lookup_tables_fuzz
//      && build/host-fuzz/bin/lookup_tables_fuzz -max_total_time=60
// Input: the typed code (up to the first NUL, at most 7 bytes), then the table bytes.
#include "shapecode/codetable.h"
#include "shapecode/tableindex.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t codeLength = 0;
    while (codeLength < size && codeLength < 7 && data[codeLength] != 0) ++codeLength;
    char code[8] = {};
    std::memcpy(code, data, codeLength);
    size_t skip = codeLength < size ? codeLength + 1 : size;
    // A table of exactly its own size, so a read past its end is caught.
    std::vector<unsigned char> bytes(data + skip, data + size);
    CodeTable table{bytes.data(), static_cast<uint32_t>(bytes.size())};
    if (bytes.empty()) table.data = reinterpret_cast<const unsigned char*>(code);

    static char completions[COMPLETION_LIST_SIZE];
    char exact[EXACT_LIST_SIZE];
    for (bool fixed : {false, true}) {
        completions[0] = exact[0] = '\0';
        // The table alone; the user phrase file has its own fuzzer.
        int half = fixed ? lookupGbk(&table, code, completions, exact)
                         : lookupPacked(&table, nullptr, code, completions, exact);
        if (static_cast<size_t>(half) != std::strlen(completions) / 2) std::abort();
        if (std::strlen(exact) >= EXACT_LIST_SIZE) std::abort();
    }
    // The indexed packed lookup finds exactly what the whole-bucket walk finds.
    static PackedIndex index;
    if (!buildPackedIndex(table, index)) return 0;
    static char walkCompletions[COMPLETION_LIST_SIZE];
    char walkExact[EXACT_LIST_SIZE];
    completions[0] = exact[0] = walkCompletions[0] = walkExact[0] = '\0';
    int walkHalf = lookupPacked(&table, nullptr, code, walkCompletions, walkExact);
    CodeTable indexed = table;
    indexed.index = &index;
    // Twice: a one-letter code is walked, then served from the lists the index kept.
    for (int pass = 0; pass < 2; ++pass) {
        completions[0] = exact[0] = '\0';
        int half = lookupPacked(&indexed, nullptr, code, completions, exact);
        if (half != walkHalf || std::strcmp(completions, walkCompletions) != 0 || std::strcmp(exact, walkExact) != 0)
            std::abort();
    }
    return 0;
}
