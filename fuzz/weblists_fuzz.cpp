// Fuzzes the web-address list reader and the merge with arbitrary files, then checks the
// lists against what the mode and the dialog rely on.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target weblists_fuzz
//      && build/host-fuzz/bin/weblists_fuzz -max_total_time=60
// Input: the first byte splits the rest into the list file and the file merged into it.
#include "webaddress/weblists.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

WebList list;
WebList before;

void check(bool condition) {
    if (!condition) std::abort();
}

// Every block packed from its first entry, every record a record of its own letter.
void checkList(const WebList& l) {
    for (int b = 0; b < WEB_BLOCKS; ++b) {
        const int count = webBlockCount(l[b]);
        for (int i = 0; i < WEB_BLOCK_RECORDS; ++i) {
            check(l[b][i][WEB_RECORD_SIZE - 1] == '\0');
            if (i >= count) {
                check(l[b][i][0] == '\0');
                continue;
            }
            WebFields fields;
            check(splitWebRecord(l[b][i], fields));
            check(webBlockOf(l[b][i][0]) == b);
        }
    }
}

// An empty file is one fmemopen cannot make.
FILE* openBytes(const uint8_t* data, size_t size) {
    return size ? fmemopen(const_cast<uint8_t*>(data), size, "r") : std::fopen("/dev/null", "r");
}

int lines(const uint8_t* data, size_t size) {
    int n = 0;
    for (size_t i = 0; i < size; ++i) n += data[i] == '\n';
    return n + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t split = 1 + (size - 1) * data[0] / 255;
    const uint8_t* file = data + 1;
    const size_t fileSize = split - 1;
    const uint8_t* merged = data + split;
    const size_t mergedSize = size - split;

    FILE* in = openBytes(file, fileSize);
    if (!in) return 0;
    int dropped = -1;
    const bool read = readWebListFile(in, list, &dropped);
    std::fclose(in);
    check(read);
    checkList(list);
    int kept = 0;
    for (const WebBlock& block : list) kept += webBlockCount(block);
    check(dropped >= 0 && kept + dropped <= lines(file, fileSize));

    std::memcpy(before, list, sizeof before);
    FILE* other = openBytes(merged, mergedSize);
    if (!other) return 0;
    WebMergeOutcome outcome;
    check(mergeWebListFile(other, list, outcome));
    std::fclose(other);
    checkList(list);
    int added = 0;
    for (int b = 0; b < WEB_BLOCKS; ++b) {
        const int old = webBlockCount(before[b]), now = webBlockCount(list[b]);
        // A merge only adds, after what was there, and nothing twice.
        check(now >= old);
        check(std::memcmp(before[b], list[b], static_cast<size_t>(old) * WEB_RECORD_SIZE) == 0);
        for (int i = old; i < now; ++i) {
            check(std::strchr(list[b][i], '*') == nullptr);
            WebFields fields;
            splitWebRecord(list[b][i], fields);
            check(findWebRecord(list[b], fields) == i);
        }
        added += now - old;
    }
    check(added == outcome.added);

    // Starring and unstarring keep a block packed with its frequent records at its head.
    for (size_t i = 0; i < mergedSize && i < 64; ++i) {
        WebBlock& block = list[merged[i] % WEB_BLOCKS];
        const int count = webBlockCount(block);
        if (count == 0) continue;
        const bool headWhole = webStarredCount(block) == webFixedCount(block);
        toggleWebRecordStar(block, merged[i] % count);
        check(webBlockCount(block) == count);
        if (headWhole) check(webStarredCount(block) == webFixedCount(block));
    }
    checkList(list);
    return 0;
}
